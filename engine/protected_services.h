// The services and processes of the operating system that a service entry never stops or ends,
// whatever its pattern matches: one list, here. Internal to the engine.
#pragma once

#include <windows.h>

namespace protected_services {

// True for a core service of the system (by key name, in any letter case).
bool IsProtectedService(const char* name);
// True for a session, logon or shell process of the system, or this program itself (by
// executable file name, in any letter case; a full path is judged by its file name).
bool IsProtectedProcess(const char* name);
// True when the program of an installed service lies in the Windows folder, or cannot be told:
// such a service belongs to the system. Asked only for patterns made of wildcards alone.
bool RunsFromWindowsFolder(SC_HANDLE manager, const char* name);
// True when a process's executable path lies in the Windows folder (a bare name cannot be told
// and counts as the system's).
bool IsInWindowsFolder(const char* path);

// Writes the refusal line "%04d ProtectedService: %s\n" with 5 (ERROR_ACCESS_DENIED).
void LogProtectedService(const char* name);

} // namespace protected_services
