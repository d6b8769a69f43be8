// Service entries of the profile resolved into names: installed services by key name on the NT
// family, running programs by executable file name everywhere else.
#include "Zelm.h"

#include "engine_support.h"
#include "helpers/helper.h"
#include "helpers/owned.h"
#include "protected_services.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <cstring>

using engine_support::LastErrorOr;

namespace {

// Kernel, file-system and recognizer drivers, own-process and shared-process services.
const DWORD LISTED_SERVICE_TYPES = SERVICE_DRIVER | SERVICE_WIN32;
// The service list is read into the size it asked for plus this much.
const DWORD SERVICE_LIST_SLACK = 100;

// A pattern of wildcards alone ('*', '?*') names no product: it reaches only programs that lie
// outside the Windows folder.
bool OnlyWildcards(const char* pattern) {
    for (; *pattern; ++pattern)
        if (*pattern != '*' && *pattern != '?')
            return false;
    return true;
}

} // namespace

DWORD CUninstallEngine::FindServicesByValue(TSet& destination, char* pattern) {
    if (GetPlatformId() == VER_PLATFORM_WIN32_NT)
        return MatchInstalledServices(destination, pattern);
    return MatchRunningProcesses(destination, pattern);
}

DWORD CUninstallEngine::MatchInstalledServices(TSet& destination, const char* pattern) {
    // A literal name is taken as it stands, installed or not.
    if (!HasWildcards(pattern))
        return destination.Add(pattern);

    OwnedService manager(OpenSCManagerA(nullptr, nullptr, GENERIC_READ));
    if (!manager.get())
        return LastErrorOr(ERROR_ACCESS_DENIED);

    TSet installed;
    EnumServiceNames(manager.get(), installed);
    // Ignore entries are resolved as written: sparing more is never a risk.
    const bool removing = &destination != &m_ignoreServices;
    const bool wildcardsOnly = OnlyWildcards(pattern);
    installed.ForEach([&](const char* name) {
        if (!MatchWildcard(name, pattern))
            return;
        if (removing &&
            (protected_services::IsProtectedService(name) ||
             (wildcardsOnly && protected_services::RunsFromWindowsFolder(manager.get(), name)))) {
            protected_services::LogProtectedService(name);
            return;
        }
        destination.Add(name);
    });
    return 0;
}

DWORD CUninstallEngine::EnumServiceNames(SC_HANDLE manager, TSet& set) {
    DWORD needed = 0;
    DWORD returned = 0;
    DWORD resume = 0;
    EnumServicesStatusA(manager, LISTED_SERVICE_TYPES, SERVICE_STATE_ALL, nullptr, 0, &needed,
                        &returned, &resume);
    if (needed == 0)
        return GetLastError();

    OwnedBlock<void> buffer(malloc(static_cast<size_t>(needed) + SERVICE_LIST_SLACK));
    if (!buffer)
        return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    ENUM_SERVICE_STATUSA* records = static_cast<ENUM_SERVICE_STATUSA*>(buffer.get());
    DWORD size = needed;
    returned = 0;
    resume = 0;
    // A listing that changed in between comes back partial; what arrived is used as it is.
    EnumServicesStatusA(manager, LISTED_SERVICE_TYPES, SERVICE_STATE_ALL, records, size, &needed,
                        &returned, &resume);
    // Never read records beyond what the buffer can hold, whatever count came back.
    DWORD capacity = size / static_cast<DWORD>(sizeof(ENUM_SERVICE_STATUSA));
    if (returned > capacity)
        returned = capacity;
    for (DWORD index = 0; index < returned; ++index)
        if (records[index].lpServiceName)
            set.Add(records[index].lpServiceName);
    return 0;
}

DWORD CUninstallEngine::MatchRunningProcesses(TSet& destination, const char* pattern) {
    OwnedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.get() == INVALID_HANDLE_VALUE)
        return LastErrorOr(ERROR_INVALID_HANDLE);

    const bool removing = &destination != &m_ignoreServices;
    const bool wildcardsOnly = OnlyWildcards(pattern);
    PROCESSENTRY32 process;
    memset(&process, 0, sizeof(process));
    process.dwSize = sizeof(PROCESSENTRY32);
    for (BOOL more = Process32First(snapshot.get(), &process); more;
         more = Process32Next(snapshot.get(), &process)) {
        process.szExeFile[sizeof(process.szExeFile) - 1] = '\0';
        const char* name = PathFindFileNameA(process.szExeFile);
        if (!name || !MatchWildcard(name, pattern))
            continue;
        if (removing &&
            (protected_services::IsProtectedProcess(name) ||
             (wildcardsOnly && protected_services::IsInWindowsFolder(process.szExeFile)))) {
            protected_services::LogProtectedService(name);
            continue;
        }
        destination.Add(name);
    }
    return 0;
}
