// Controls of the simulated process token (groups, privileges) and of the module's version
// resource.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace sim {

// How the BUILTIN Administrators group (S-1-5-32-544) stands in the process token. A fresh machine
// has it Enabled. DenyOnly is the filtered token of an administrator without elevation: the group
// is present with SE_GROUP_USE_FOR_DENY_ONLY and not enabled. The privileges follow: an
// administrator's set when Enabled, a standard user's set otherwise.
enum class Admin { Enabled, DenyOnly, Absent };
void SetAdministrator(Admin membership);
// Grants or withdraws a privilege by name ("SeShutdownPrivilege"); a withdrawn one cannot be
// enabled (AdjustTokenPrivileges reports ERROR_NOT_ALL_ASSIGNED).
void SetPrivilegeHeld(const char* name, bool held);
// Names of the token's enabled privileges, in the order of their ids.
std::vector<std::string> EnabledPrivileges();
// SIDs from AllocateAndInitializeSid not yet released with FreeSid.
int LiveSids();

// The program module's version resource (a fresh machine: 1.1.213.0 with VS_FF_DEBUG).
void SetVersionResource(WORD major, WORD minor, WORD build, WORD revision, DWORD flags = 0);
// The module has no version resource: GetFileVersionInfoSizeA gives 0 and
// ERROR_RESOURCE_TYPE_NOT_FOUND.
void RemoveVersionResource();

} // namespace sim
