// The simulated token and version resource beyond what Wine can show: administrators that are
// absent or deny-only, privileges that are not held, SID accounting and a changed or missing
// version resource.
#include "contract.h"

#include "sim/sim.h"

#include <algorithm>
#include <vector>

namespace {

// The Administrators group's attributes in the token, or -1 when the token lacks the group.
long AdministratorsAttributes() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return -2;
    DWORD needed = 0;
    GetTokenInformation(token, TokenGroups, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    long found = -1;
    if (GetTokenInformation(token, TokenGroups, buffer.data(), needed, &needed)) {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        PSID admins = nullptr;
        AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                 0, 0, 0, 0, &admins);
        const TOKEN_GROUPS* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
        for (DWORD i = 0; i < groups->GroupCount; ++i)
            if (EqualSid(groups->Groups[i].Sid, admins))
                found = static_cast<long>(groups->Groups[i].Attributes);
        FreeSid(admins);
    }
    CloseHandle(token);
    return found;
}

// AdjustTokenPrivileges enabling one privilege; the last error it left.
DWORD Enable(const char* name) {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
    TOKEN_PRIVILEGES wanted = {};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    LookupPrivilegeValueA(nullptr, name, &wanted.Privileges[0].Luid);
    SetLastError(contract::kMarker);
    DWORD error = AdjustTokenPrivileges(token, FALSE, &wanted, 0, nullptr, nullptr)
                      ? GetLastError()
                      : contract::kMarker;
    CloseHandle(token);
    return error;
}

bool Enabled(const char* name) {
    auto names = sim::EnabledPrivileges();
    return std::find(names.begin(), names.end(), name) != names.end();
}

using SimSecurity = contract::Test;
using SimVersion = contract::Test;

VS_FIXEDFILEINFO OwnVersion(bool* ok) {
    VS_FIXEDFILEINFO out = {};
    std::string path = sim::ModulePath();
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    std::vector<BYTE> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    *ok = size && GetFileVersionInfoA(path.c_str(), 0, size, block.data()) &&
          VerQueryValueA(block.data(), "\\", reinterpret_cast<LPVOID*>(&info), &length);
    if (*ok)
        out = *info;
    return out;
}

} // namespace

TEST_F(SimSecurity, AdministratorsGroupFollowsTheSetting) {
    EXPECT_TRUE(AdministratorsAttributes() & SE_GROUP_ENABLED);
    sim::SetAdministrator(sim::Admin::DenyOnly);
    long denyOnly = AdministratorsAttributes();
    ASSERT_GE(denyOnly, 0);
    EXPECT_TRUE(denyOnly & SE_GROUP_USE_FOR_DENY_ONLY);
    EXPECT_FALSE(denyOnly & SE_GROUP_ENABLED);
    sim::SetAdministrator(sim::Admin::Absent);
    EXPECT_EQ(-1, AdministratorsAttributes());
    EXPECT_EQ(0, sim::LiveSids());
}

TEST_F(SimSecurity, PrivilegesEnableOnlyWhenHeld) {
    EXPECT_FALSE(Enabled(SE_SHUTDOWN_NAME));
    EXPECT_TRUE(Enabled("SeChangeNotifyPrivilege"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), Enable(SE_SHUTDOWN_NAME));
    EXPECT_TRUE(Enabled(SE_SHUTDOWN_NAME));

    sim::SetPrivilegeHeld(SE_SHUTDOWN_NAME, false);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED), Enable(SE_SHUTDOWN_NAME));
    EXPECT_FALSE(Enabled(SE_SHUTDOWN_NAME));
}

TEST_F(SimSecurity, StandardUserHoldsTheShutdownButNotTheDebugPrivilege) {
    sim::SetAdministrator(sim::Admin::DenyOnly);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), Enable(SE_SHUTDOWN_NAME));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED), Enable("SeDebugPrivilege"));
    EXPECT_FALSE(Enabled("SeDebugPrivilege"));
}

TEST_F(SimVersion, ResourceFollowsTheSettingAndTheModule) {
    sim::SetVersionResource(2, 3, 4, 5, 0);
    bool ok = false;
    VS_FIXEDFILEINFO info = OwnVersion(&ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(0x00020003u, info.dwFileVersionMS);
    EXPECT_EQ(0x00040005u, info.dwFileVersionLS);
    EXPECT_EQ(0u, info.dwFileFlags);

    sim::SetModulePath("C:\\Other\\Renamed.exe");
    EXPECT_TRUE((OwnVersion(&ok), ok));
    sim::AddFile("C:\\Tools\\Kelvane.exe", "MZ");
    SetLastError(contract::kMarker);
    EXPECT_EQ(0u, GetFileVersionInfoSizeA("C:\\Tools\\Kelvane.exe", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND), GetLastError());
}

TEST_F(SimVersion, RemovedResourceHasNoSize) {
    sim::RemoveVersionResource();
    SetLastError(contract::kMarker);
    EXPECT_EQ(0u, GetFileVersionInfoSizeA(sim::ModulePath().c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND), GetLastError());
}

TEST_F(SimVersion, ShortCopyCannotBeQueriedPastItsEnd) {
    std::string path = sim::ModulePath();
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size, 0xFE);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size / 2, block.data()));
    LPVOID info = nullptr;
    UINT length = 0;
    EXPECT_FALSE(VerQueryValueA(block.data(), "\\", &info, &length));
    EXPECT_FALSE(
        VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\FileVersion", &info, &length));
}
