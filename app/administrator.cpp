// The administrator check: membership of the enabled BUILTIN\Administrators group in the token.
#include "KelvaneDlg.h"

#include <cstdlib>

BOOL IsAdministrator() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (GetVersionExA(&version) && version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return TRUE;

    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators))
        return FALSE;

    BOOL member = FALSE;
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        DWORD size = 0;
        GetTokenInformation(token, TokenGroups, nullptr, 0, &size);
        TOKEN_GROUPS* groups = size ? static_cast<TOKEN_GROUPS*>(malloc(size)) : nullptr;
        if (groups && GetTokenInformation(token, TokenGroups, groups, size, &size)) {
            for (DWORD i = 0; i < groups->GroupCount; ++i) {
                if (EqualSid(groups->Groups[i].Sid, administrators) &&
                    (groups->Groups[i].Attributes & SE_GROUP_ENABLED)) {
                    member = TRUE;
                    break;
                }
            }
        }
        free(groups);
        CloseHandle(token);
    }
    FreeSid(administrators);
    return member;
}
