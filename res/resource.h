// Resource identifiers shared by the .rc, the application and the native resource table.
#pragma once

#define IDD_ABOUT 100
#define IDD_UNINSTALL 102
#define IDI_MAIN 128

#define IDC_ACTION 1000
#define IDC_MESSAGE 1001
#define IDC_STATUS 1003

#define IDS_ABOUT_MENU 101
#define IDS_READY 102
#define IDS_CANCELLED 103
#define IDS_RESTART 104
#define IDS_FAILED 105
#define IDS_STAGE_PROFILE 106
#define IDS_STAGE_FILES 107
#define IDS_STAGE_REGISTRY 108
#define IDS_PROCESSING 109
#define IDS_STAGE_DEFAULTS 110
#define IDS_NO_RIGHTS 111
#define IDS_STAGE_SERVICES 112
#define IDS_CONFIRM 113
#define IDS_ALREADY_RUNNING 114

#define ID_SYSCMD_ABOUT 0x0010

// Texts of the two dialogs that are not controlled by the program.
#define KV_MAIN_CAPTION "Uninstallation Tool"
#define KV_ABOUT_CAPTION "About Kelvane"
#define KV_ABOUT_VERSION "Uninstallation Tool  Version 1.01"
#define KV_NOTICE "Copyright (C) 2026 The Kelvane developers"
#define KV_DIALOG_FONT "MS Sans Serif"
