// Protected services and processes: the system's own, which no service entry may stop or end,
// and the rule that a pattern of wildcards alone reaches only programs outside the Windows folder.
#include "protected_services.h"

#include "containers/TSet.h"
#include "helpers/helper.h"
#include "helpers/owned.h"
#include "refusal_observer.h"
#include "trace/trace.h"

#include <shlwapi.h>

#include <cstring>

namespace protected_services {

namespace {

// Core services by key name: remote procedure calls and the DCOM launcher, the event log, Plug
// and Play, power, security accounts, WMI, the task scheduler, cryptographic services, the DHCP
// and DNS clients, workstation and server, the network store, the base filtering engine and the
// firewall (with the older systems' firewall and connection sharing service).
const char* const kCoreServices[] = {
    "RpcSs", "RpcEptMapper", "DcomLaunch",        "EventLog",     "PlugPlay",
    "Power", "SamSs",        "Winmgmt",           "Schedule",     "CryptSvc",
    "Dhcp",  "Dnscache",     "LanmanWorkstation", "LanmanServer", "nsi",
    "BFE",   "MpsSvc",       "SharedAccess",
};

// Session, logon and shell processes of the NT family, and the 9x family's core processes.
const char* const kSystemProcesses[] = {
    "System",       "[System Process]", "smss.exe",   "csrss.exe",   "wininit.exe",  "winlogon.exe",
    "services.exe", "lsass.exe",        "lsm.exe",    "svchost.exe", "explorer.exe", "dwm.exe",
    "KERNEL32.DLL", "MSGSRV32.EXE",     "MPREXE.EXE", "MMTASK.TSK",
};

bool SameName(const char* a, const char* b) {
    return CompareNoCase(a, b) == 0;
}

template <size_t N> bool InList(const char* name, const char* const (&list)[N]) {
    for (const char* entry : list)
        if (SameName(name, entry))
            return true;
    return false;
}

// The Windows folder with a trailing separator, upper-cased; empty when the system names none.
bool WindowsFolder(char* folder) {
    UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
    if (length == 0 || length + 2 > MAX_PATH)
        return false;
    if (folder[length - 1] != '\\') {
        folder[length] = '\\';
        folder[length + 1] = '\0';
    }
    UpperCase(folder);
    return true;
}

} // namespace

bool IsProtectedService(const char* name) {
    return name && InList(name, kCoreServices);
}

bool IsProtectedProcess(const char* name) {
    if (!name)
        return false;
    const char* file = PathFindFileNameA(name);
    if (!file)
        file = name;
    if (InList(file, kSystemProcesses))
        return true;
    char self[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH - 1);
    const char* selfName = length > 0 && length < MAX_PATH - 1 ? PathFindFileNameA(self) : nullptr;
    return selfName && *selfName && SameName(file, selfName);
}

bool IsInWindowsFolder(const char* path) {
    if (!path)
        return true;
    // A command line may quote its program; kernel names start '\??\' or '\SystemRoot\'.
    while (*path == '"' || *path == ' ')
        ++path;
    if (ComparePrefixNoCase(path, "\\??\\", 4) == 0)
        path += 4;
    if (ComparePrefixNoCase(path, "\\SystemRoot\\", 12) == 0 ||
        ComparePrefixNoCase(path, "System32\\", 9) == 0 ||
        ComparePrefixNoCase(path, "SysWOW64\\", 9) == 0 ||
        ComparePrefixNoCase(path, "%SystemRoot%", 12) == 0 ||
        ComparePrefixNoCase(path, "%windir%", 8) == 0)
        return true;
    // Without a drive the place cannot be told: it counts as the system's.
    if (!path[0] || path[1] != ':')
        return true;
    char folder[MAX_PATH + 2];
    if (!WindowsFolder(folder))
        return true;
    return ComparePrefixNoCase(path, folder, strlen(folder)) == 0;
}

bool RunsFromWindowsFolder(SC_HANDLE manager, const char* name) {
    OwnedService service(OpenServiceA(manager, name, SERVICE_QUERY_CONFIG));
    if (!service)
        return true;
    // The documented largest answer is 8 KiB.
    union {
        QUERY_SERVICE_CONFIGA config;
        char bytes[8192];
    } buffer;
    DWORD needed = 0;
    BOOL read = QueryServiceConfigA(service.get(), &buffer.config, sizeof(buffer), &needed);
    if (!read || !buffer.config.lpBinaryPathName)
        return true;
    buffer.bytes[sizeof(buffer.bytes) - 1] = '\0';
    return IsInWindowsFolder(buffer.config.lpBinaryPathName);
}

void LogProtectedService(const char* name) {
    LogStepLine("%04d ProtectedService: %s\n", static_cast<int>(ERROR_ACCESS_DENIED), name);
    refusal_observer::Report("service", name,
                             "a service or process of the system, or this program");
}

} // namespace protected_services
