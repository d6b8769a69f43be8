// The restart of the computer: the shutdown privilege on the NT family, then a forced reboot.
#include "KelvaneDlg.h"

#include "helpers/helper.h"
#include "helpers/owned.h"

void RestartComputer() {
    OwnedHandle token;
    if (GetPlatformId() == VER_PLATFORM_WIN32_NT &&
        OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.out())) {
        TOKEN_PRIVILEGES privileges = {};
        LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
    ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0);
}
