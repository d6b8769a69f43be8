// The administrator check: membership of the enabled BUILTIN\Administrators group in the token.
#include "KelvaneDlg.h"

#include "helpers/owned.h"

#include <cstdlib>

BOOL IsAdministrator() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (GetVersionExA(&version) && version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return TRUE;

    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    OwnedSid administrators;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, administrators.out()))
        return FALSE;

    OwnedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.out()))
        return FALSE;
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &size);
    OwnedBlock<TOKEN_GROUPS> groups(size ? static_cast<TOKEN_GROUPS*>(malloc(size)) : nullptr);
    if (!groups || !GetTokenInformation(token.get(), TokenGroups, groups.get(), size, &size))
        return FALSE;
    for (DWORD i = 0; i < groups.get()->GroupCount; ++i) {
        const SID_AND_ATTRIBUTES& group = groups.get()->Groups[i];
        if (EqualSid(group.Sid, administrators.get()) && (group.Attributes & SE_GROUP_ENABLED))
            return TRUE;
    }
    return FALSE;
}
