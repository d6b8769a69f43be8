// The contract tests' resources: the dialog's ids and frame and the string ids, shared by the .rc
// and the native table.
#pragma once

#define KV_CONTRACT_DIALOG 700
#define KV_CONTRACT_GO 710
#define KV_CONTRACT_LABEL 711
#define KV_CONTRACT_CAPTION "Contract Dialog"
#define KV_CONTRACT_STYLE (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT)
#define KV_CONTRACT_SIZE 120, 50
#define KV_CONTRACT_FONT "MS Shell Dlg"
#define KV_CONTRACT_HELLO 720
#define KV_CONTRACT_TEN 721
