// Stopping what the plan names before anything is deleted: services on the NT family, running
// processes by executable name elsewhere.
#include "Zelm.h"

#include "helpers/helper.h"
#include "protected_services.h"

#include <shlwapi.h>
#include <tlhelp32.h>
#include <winsvc.h>

#include <cstdlib>
#include <cstring>

namespace {

// How long the terminated processes of one wait group are given to end.
const DWORD kTerminateWaitMs = 10000;
// The pause after the wait, whatever the wait returned.
const DWORD kAfterTerminatePauseMs = 1000;

// The reason of the last failed call; never 0, so that a failure is never taken for success.
DWORD LastErrorOf() {
    DWORD error = GetLastError();
    return error ? error : ERROR_CAN_NOT_COMPLETE;
}

// The handles of the processes that were sent the terminate request. Starts with one slot per
// planned name and grows when more instances are running; owns and closes every handle.
class TerminatedProcesses {
public:
    explicit TerminatedProcesses(unsigned slots) : m_handles(nullptr), m_count(0), m_capacity(0) {
        if (slots > 0) {
            m_handles = static_cast<HANDLE*>(calloc(slots, sizeof(HANDLE)));
            if (m_handles)
                m_capacity = slots;
        }
    }
    ~TerminatedProcesses() {
        for (unsigned i = 0; i < m_count; ++i)
            CloseHandle(m_handles[i]);
        free(m_handles);
    }
    TerminatedProcesses(const TerminatedProcesses&) = delete;
    TerminatedProcesses& operator=(const TerminatedProcesses&) = delete;

    // Keeps the handle; false when no room could be made (the caller still owns it then).
    bool Keep(HANDLE process) {
        if (m_count == m_capacity && !Grow())
            return false;
        m_handles[m_count++] = process;
        return true;
    }

    // The platform waits for at most MAXIMUM_WAIT_OBJECTS handles at once, so the handles are
    // waited for in groups of that size, each with the full time allowed.
    void WaitForAll(DWORD milliseconds) const {
        for (unsigned first = 0; first < m_count; first += MAXIMUM_WAIT_OBJECTS) {
            unsigned group = m_count - first;
            if (group > MAXIMUM_WAIT_OBJECTS)
                group = MAXIMUM_WAIT_OBJECTS;
            WaitForMultipleObjects(group, m_handles + first, TRUE, milliseconds);
        }
    }

private:
    bool Grow() {
        unsigned capacity = m_capacity ? m_capacity * 2 : 8;
        if (capacity <= m_capacity)
            return false;
        void* grown = realloc(m_handles, static_cast<size_t>(capacity) * sizeof(HANDLE));
        if (!grown)
            return false;
        m_handles = static_cast<HANDLE*>(grown);
        m_capacity = capacity;
        return true;
    }

    HANDLE* m_handles;
    unsigned m_count;
    unsigned m_capacity;
};

// Ends every running instance of a planned executable and keeps its handle for the wait.
void TerminateNamedProcesses(HANDLE snapshot, const TSet& names, TerminatedProcesses& terminated) {
    // A profile pattern resolved against the running processes may have named this program.
    const DWORD self = GetCurrentProcessId();
    PROCESSENTRY32 entry;
    memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        entry.szExeFile[MAX_PATH - 1] = '\0';
        const char* name = PathFindFileNameA(entry.szExeFile);
        if (!name || !names.Contains(name) || entry.th32ProcessID == self ||
            protected_services::IsProtectedProcess(name))
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        TerminateProcess(process, 0xFFFFFFFF);
        // Without room to keep it the process is still ended, only not waited for.
        if (!terminated.Keep(process))
            CloseHandle(process);
    }
}

} // namespace

DWORD CUninstallEngine::StopServices() {
    if (GetPlatformId() == VER_PLATFORM_WIN32_NT)
        return StopPlanServices();
    return TerminateServiceProcesses();
}

DWORD CUninstallEngine::StopPlanServices() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return LastErrorOf();

    // One attempt; the stop requests go out with or without the lock.
    SC_LOCK lock = LockServiceDatabase(manager);

    char* name = nullptr;
    for (DWORD status = m_planServices.GetFirst(&name); status == ERROR_SUCCESS;
         status = m_planServices.GetNext(&name)) {
        SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
        if (!service)
            continue;
        SERVICE_STATUS state;
        memset(&state, 0, sizeof(state));
        ControlService(service, SERVICE_CONTROL_STOP, &state);
        CloseServiceHandle(service);
    }

    if (lock)
        UnlockServiceDatabase(lock);
    CloseServiceHandle(manager);
    return ERROR_SUCCESS;
}

DWORD CUninstallEngine::TerminateServiceProcesses() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return LastErrorOf();

    {
        // The plan, not the remove list: what the ignore entries spare and what the plan step
        // refused is never ended.
        TerminatedProcesses terminated(m_planServices.Count());
        TerminateNamedProcesses(snapshot, m_planServices, terminated);
        terminated.WaitForAll(kTerminateWaitMs);
        Sleep(kAfterTerminatePauseMs);
    }
    CloseHandle(snapshot);
    return ERROR_SUCCESS;
}
