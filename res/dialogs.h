// Frames of the two dialog templates, shared by the .rc and the native resource table.
#pragma once

#define KV_UNINSTALL_STYLE (WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT)
#define KV_UNINSTALL_EXSTYLE WS_EX_APPWINDOW
#define KV_UNINSTALL_SIZE 323, 169
#define KV_ABOUT_STYLE (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT)
#define KV_ABOUT_SIZE 235, 55
