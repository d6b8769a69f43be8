// Simulated security: SIDs, the process token with its groups and privileges, privilege lookup.
#include "core.h"

#include "sim/control_security.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <vector>

namespace {

struct Privilege {
    const char* name;
    DWORD luid;
};

// Privilege names and the locally unique ids Windows gives them.
const Privilege kPrivileges[] = {
    {"SeCreateTokenPrivilege", 2},
    {"SeAssignPrimaryTokenPrivilege", 3},
    {"SeLockMemoryPrivilege", 4},
    {"SeIncreaseQuotaPrivilege", 5},
    {"SeMachineAccountPrivilege", 6},
    {"SeTcbPrivilege", 7},
    {"SeSecurityPrivilege", 8},
    {"SeTakeOwnershipPrivilege", 9},
    {"SeLoadDriverPrivilege", 10},
    {"SeSystemProfilePrivilege", 11},
    {"SeSystemtimePrivilege", 12},
    {"SeProfileSingleProcessPrivilege", 13},
    {"SeIncreaseBasePriorityPrivilege", 14},
    {"SeCreatePagefilePrivilege", 15},
    {"SeCreatePermanentPrivilege", 16},
    {"SeBackupPrivilege", 17},
    {"SeRestorePrivilege", 18},
    {"SeShutdownPrivilege", 19},
    {"SeDebugPrivilege", 20},
    {"SeAuditPrivilege", 21},
    {"SeSystemEnvironmentPrivilege", 22},
    {"SeChangeNotifyPrivilege", 23},
    {"SeRemoteShutdownPrivilege", 24},
    {"SeUndockPrivilege", 25},
    {"SeManageVolumePrivilege", 28},
    {"SeImpersonatePrivilege", 29},
    {"SeCreateGlobalPrivilege", 30},
};

// Held privileges of an administrator's and of a standard user's token; ids 23, 29 and 30
// (change notify, impersonate, create global) are enabled by default.
const DWORD kAdminHeld[] = {5,  8,  9,  10, 11, 12, 13, 14, 15, 17,
                            18, 19, 20, 22, 23, 24, 25, 28, 29, 30};
const DWORD kUserHeld[] = {19, 23, 25};

const char* NameOf(DWORD luid) {
    for (auto& p : kPrivileges)
        if (p.luid == luid)
            return p.name;
    return nullptr;
}

struct TokenState {
    sim::Admin admin = sim::Admin::Enabled;
    std::map<DWORD, bool> held; // id → enabled
    std::set<void*> sids;
};

void GivePrivileges(TokenState& token, bool administrator) {
    token.held.clear();
    if (administrator) {
        for (DWORD id : kAdminHeld)
            token.held[id] = false;
    } else {
        for (DWORD id : kUserHeld)
            token.held[id] = false;
    }
    for (DWORD id : {23u, 29u, 30u})
        if (token.held.count(id))
            token.held[id] = true;
}

TokenState Fresh() {
    TokenState token;
    GivePrivileges(token, true);
    return token;
}

TokenState& Token() {
    static TokenState token = Fresh();
    return token;
}

void ResetToken() {
    // SIDs still allocated belong to a test that leaked them; forgetting them only leaks memory.
    Token() = Fresh();
}

simcore::ResetHook hook(ResetToken);

struct TokenObject : simcore::Object {
    DWORD access = 0;
};

struct GroupSpec {
    BYTE authority;
    std::vector<DWORD> rids;
    DWORD attributes;
};

constexpr DWORD kDefaultGroup = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;

std::vector<GroupSpec> Groups() {
    std::vector<GroupSpec> groups = {{1, {0}, kDefaultGroup}}; // Everyone
    switch (Token().admin) {
    case sim::Admin::Enabled:
        groups.push_back({5, {32, 544}, kDefaultGroup | SE_GROUP_OWNER});
        break;
    case sim::Admin::DenyOnly:
        groups.push_back({5, {32, 544}, SE_GROUP_USE_FOR_DENY_ONLY});
        break;
    case sim::Admin::Absent:
        break;
    }
    groups.push_back({5, {32, 545}, kDefaultGroup}); // Users
    groups.push_back({5, {4}, kDefaultGroup});       // Interactive
    groups.push_back({5, {11}, kDefaultGroup});      // Authenticated Users
    groups.push_back({2, {0}, kDefaultGroup});       // Local
    return groups;
}

size_t SidSize(size_t subAuthorities) {
    return offsetof(SID, SubAuthority) + subAuthorities * sizeof(DWORD);
}

bool ValidSid(const SID* sid) {
    return sid && sid->Revision == SID_REVISION &&
           sid->SubAuthorityCount <= SID_MAX_SUB_AUTHORITIES;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

std::shared_ptr<TokenObject> Lookup(HANDLE token, DWORD needed, DWORD* error) {
    auto object = simcore::HandleAs<TokenObject>(token);
    if (!object)
        *error = ERROR_INVALID_HANDLE;
    else if ((object->access & needed) != needed)
        *error = ERROR_ACCESS_DENIED;
    return *error ? nullptr : object;
}

BOOL WriteGroups(LPVOID data, DWORD size, PDWORD needed) {
    std::vector<GroupSpec> groups = Groups();
    size_t header = offsetof(TOKEN_GROUPS, Groups) + groups.size() * sizeof(SID_AND_ATTRIBUTES);
    size_t total = header;
    for (auto& group : groups)
        total += SidSize(group.rids.size());
    *needed = static_cast<DWORD>(total);
    if (size < total)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (!data)
        return Fail(ERROR_NOACCESS);
    // The SIDs follow the array inside the caller's buffer, as on Windows.
    TOKEN_GROUPS* out = static_cast<TOKEN_GROUPS*>(data);
    BYTE* next = static_cast<BYTE*>(data) + header;
    out->GroupCount = static_cast<DWORD>(groups.size());
    for (size_t i = 0; i < groups.size(); ++i) {
        SID* sid = reinterpret_cast<SID*>(next);
        sid->Revision = SID_REVISION;
        sid->SubAuthorityCount = static_cast<BYTE>(groups[i].rids.size());
        memset(sid->IdentifierAuthority.Value, 0, 6);
        sid->IdentifierAuthority.Value[5] = groups[i].authority;
        for (size_t r = 0; r < groups[i].rids.size(); ++r)
            sid->SubAuthority[r] = groups[i].rids[r];
        out->Groups[i].Sid = sid;
        out->Groups[i].Attributes = groups[i].attributes;
        next += SidSize(groups[i].rids.size());
    }
    return TRUE;
}

BOOL WritePrivileges(LPVOID data, DWORD size, PDWORD needed) {
    const auto& held = Token().held;
    size_t total =
        offsetof(TOKEN_PRIVILEGES, Privileges) + held.size() * sizeof(LUID_AND_ATTRIBUTES);
    *needed = static_cast<DWORD>(total);
    if (size < total)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (!data)
        return Fail(ERROR_NOACCESS);
    TOKEN_PRIVILEGES* out = static_cast<TOKEN_PRIVILEGES*>(data);
    out->PrivilegeCount = static_cast<DWORD>(held.size());
    size_t i = 0;
    for (auto& entry : held) {
        out->Privileges[i].Luid.LowPart = entry.first;
        out->Privileges[i].Luid.HighPart = 0;
        out->Privileges[i].Attributes = entry.second ? SE_PRIVILEGE_ENABLED : 0;
        ++i;
    }
    return TRUE;
}

} // namespace

namespace sim {

void SetAdministrator(Admin membership) {
    simcore::Guard guard(simcore::MachineLock());
    Token().admin = membership;
    GivePrivileges(Token(), membership == Admin::Enabled);
}

void SetPrivilegeHeld(const char* name, bool held) {
    simcore::Guard guard(simcore::MachineLock());
    for (auto& p : kPrivileges) {
        if (!name || !simcore::EqualNoCase(p.name, name))
            continue;
        if (!held)
            Token().held.erase(p.luid);
        else if (!Token().held.count(p.luid))
            Token().held[p.luid] = false;
    }
}

std::vector<std::string> EnabledPrivileges() {
    simcore::Guard guard(simcore::MachineLock());
    std::vector<std::string> names;
    for (auto& entry : Token().held)
        if (entry.second)
            names.push_back(NameOf(entry.first));
    return names;
}

int LiveSids() {
    simcore::Guard guard(simcore::MachineLock());
    return static_cast<int>(Token().sids.size());
}

} // namespace sim

BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD sub0,
                                     DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5,
                                     DWORD sub6, DWORD sub7, PSID* sid) {
    SIM_API_ENTRY(error, Fail(error));
    if (!authority || !sid)
        return Fail(ERROR_INVALID_PARAMETER);
    if (count > 8)
        return Fail(ERROR_INVALID_SID);
    SID* made = static_cast<SID*>(calloc(1, SidSize(count < 1 ? 1 : count)));
    if (!made)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    made->Revision = SID_REVISION;
    made->SubAuthorityCount = count;
    made->IdentifierAuthority = *authority;
    const DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
    for (BYTE i = 0; i < count; ++i)
        made->SubAuthority[i] = subs[i];
    Token().sids.insert(made);
    *sid = made;
    return TRUE;
}

PVOID WINAPI FreeSid(PSID sid) {
    simcore::Guard guard(simcore::MachineLock());
    // Only a SID this allocator handed out is released; anything else comes back as the failure.
    if (!sid || !Token().sids.erase(sid))
        return sid;
    free(sid);
    return nullptr;
}

BOOL WINAPI EqualSid(PSID a, PSID b) {
    const SID* x = static_cast<const SID*>(a);
    const SID* y = static_cast<const SID*>(b);
    if (!ValidSid(x) || !ValidSid(y))
        return Fail(ERROR_INVALID_SID);
    SetLastError(ERROR_SUCCESS);
    return x->SubAuthorityCount == y->SubAuthorityCount &&
           memcmp(x, y, SidSize(x->SubAuthorityCount)) == 0;
}

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    SIM_API_ENTRY(error, Fail(error));
    if (!token)
        return Fail(ERROR_NOACCESS);
    // Only this program's own token is modelled.
    if (process != GetCurrentProcess())
        return Fail(ERROR_INVALID_HANDLE);
    auto object = std::make_shared<TokenObject>();
    object->access = access;
    *token = simcore::AddHandle(object);
    return TRUE;
}

BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID data, DWORD size,
                                PDWORD needed) {
    SIM_API_ENTRY(error, Fail(error));
    if (!Lookup(token, TOKEN_QUERY, &error))
        return Fail(error);
    if (!needed)
        return Fail(ERROR_NOACCESS);
    if (kind == TokenGroups)
        return WriteGroups(data, size, needed);
    if (kind == TokenPrivileges)
        return WritePrivileges(data, size, needed);
    return Fail(ERROR_INVALID_PARAMETER);
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) {
    SIM_API_ENTRY(error, Fail(error));
    if (!name || !luid)
        return Fail(ERROR_INVALID_PARAMETER);
    if (system && *system)
        return Fail(RPC_S_SERVER_UNAVAILABLE);
    for (auto& p : kPrivileges) {
        if (simcore::EqualNoCase(p.name, name)) {
            luid->LowPart = p.luid;
            luid->HighPart = 0;
            return TRUE;
        }
    }
    return Fail(ERROR_NO_SUCH_PRIVILEGE);
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state,
                                  DWORD size, PTOKEN_PRIVILEGES previous, PDWORD needed) {
    SIM_API_ENTRY(error, Fail(error));
    if (!Lookup(token, TOKEN_ADJUST_PRIVILEGES, &error))
        return Fail(error);
    if (!disableAll && !state)
        return Fail(ERROR_INVALID_PARAMETER);
    auto& held = Token().held;
    // The new state of every held privilege the request names.
    std::map<DWORD, bool> changes;
    bool allAssigned = true;
    if (disableAll) {
        for (auto& entry : held)
            changes[entry.first] = false;
    } else {
        for (DWORD i = 0; i < state->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& asked = state->Privileges[i];
            if (asked.Luid.HighPart != 0 || !held.count(asked.Luid.LowPart)) {
                allAssigned = false;
                continue;
            }
            changes[asked.Luid.LowPart] = (asked.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    if (previous) {
        size_t wanted =
            offsetof(TOKEN_PRIVILEGES, Privileges) + changes.size() * sizeof(LUID_AND_ATTRIBUTES);
        if (size < wanted) {
            if (needed)
                *needed = static_cast<DWORD>(wanted);
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        }
        previous->PrivilegeCount = 0;
        for (auto& change : changes) {
            LUID_AND_ATTRIBUTES& old = previous->Privileges[previous->PrivilegeCount++];
            old.Luid.LowPart = change.first;
            old.Luid.HighPart = 0;
            old.Attributes = held[change.first] ? SE_PRIVILEGE_ENABLED : 0;
        }
        if (needed)
            *needed = static_cast<DWORD>(wanted);
    }
    for (auto& change : changes)
        held[change.first] = change.second;
    SetLastError(allAssigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
}
