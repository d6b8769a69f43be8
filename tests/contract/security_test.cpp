// Token behaviour the administrator check and the restart rely on: the Administrators SID, the
// token's groups with their sizing call, privilege lookup and enabling.
#include "contract.h"

#include <cstring>
#include <vector>

namespace {

PSID AdministratorsSid() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, &sid))
        return nullptr;
    return sid;
}

// The token's groups through the sizing call; empty on failure.
std::vector<BYTE> TokenGroupsOf(HANDLE token) {
    DWORD needed = 0;
    if (GetTokenInformation(token, TokenGroups, nullptr, 0, &needed) || needed == 0)
        return {};
    std::vector<BYTE> buffer(needed);
    if (!GetTokenInformation(token, TokenGroups, buffer.data(), needed, &needed))
        return {};
    return buffer;
}

} // namespace

using SecurityContract = contract::Test;

TEST_F(SecurityContract, AdministratorsSidIsEqualToItselfOnly) {
    PSID admins = AdministratorsSid();
    ASSERT_NE(nullptr, admins);
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID users = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                         DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, &users));
    PSID again = AdministratorsSid();
    EXPECT_TRUE(EqualSid(admins, again));
    EXPECT_FALSE(EqualSid(admins, users));
    EXPECT_EQ(nullptr, FreeSid(admins));
    EXPECT_EQ(nullptr, FreeSid(again));
    EXPECT_EQ(nullptr, FreeSid(users));
}

TEST_F(SecurityContract, TokenGroupsNeedASizingCallAndHoldTheEnabledAdministrators) {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) << GetLastError();
    DWORD needed = 0;
    SetLastError(contract::kMarker);
    EXPECT_FALSE(GetTokenInformation(token, TokenGroups, nullptr, 0, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_GT(needed, sizeof(TOKEN_GROUPS));

    std::vector<BYTE> buffer = TokenGroupsOf(token);
    ASSERT_FALSE(buffer.empty());
    const TOKEN_GROUPS* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    PSID admins = AdministratorsSid();
    ASSERT_NE(nullptr, admins);
    bool enabled = false;
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        // The SIDs lie inside the returned block.
        const BYTE* sid = static_cast<const BYTE*>(groups->Groups[i].Sid);
        EXPECT_GE(sid, buffer.data());
        EXPECT_LT(sid, buffer.data() + buffer.size());
        if (EqualSid(groups->Groups[i].Sid, admins))
            enabled = (groups->Groups[i].Attributes & SE_GROUP_ENABLED) != 0;
    }
    EXPECT_TRUE(enabled);
    FreeSid(admins);
    CloseHandle(token);
}

TEST_F(SecurityContract, TokenOpenedWithoutQueryRightCannotBeRead) {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    DWORD needed = 0;
    SetLastError(contract::kMarker);
    EXPECT_FALSE(GetTokenInformation(token, TokenGroups, nullptr, 0, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    CloseHandle(token);
}

TEST_F(SecurityContract, PrivilegeNamesLookUpToTheirIds) {
    LUID luid = {};
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &luid)) << GetLastError();
    EXPECT_EQ(19u, luid.LowPart);
    EXPECT_EQ(0, luid.HighPart);
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "seshutdownprivilege", &luid));
    EXPECT_EQ(19u, luid.LowPart);
    SetLastError(contract::kMarker);
    EXPECT_FALSE(LookupPrivilegeValueA(nullptr, "SeKelvanePrivilege", &luid));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_SUCH_PRIVILEGE), GetLastError());
}

TEST_F(SecurityContract, EnablingAHeldPrivilegeSucceedsAndAnUnheldOneIsReported) {
    HANDLE token = nullptr;
    ASSERT_TRUE(
        OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    TOKEN_PRIVILEGES wanted = {};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &wanted.Privileges[0].Luid));
    SetLastError(contract::kMarker);
    EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &wanted, 0, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());

    // No administrator's token holds the right to create tokens.
    ASSERT_TRUE(
        LookupPrivilegeValueA(nullptr, "SeCreateTokenPrivilege", &wanted.Privileges[0].Luid));
    SetLastError(contract::kMarker);
    EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &wanted, 0, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED), GetLastError());
    CloseHandle(token);
}
