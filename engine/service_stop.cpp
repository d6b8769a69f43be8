// Stopping what the plan names before anything is deleted: services on the NT family, running
// processes by executable name elsewhere.
#include "Zelm.h"

#include "engine_support.h"
#include "helpers/helper.h"
#include "helpers/owned.h"
#include "protected_services.h"

#include <shlwapi.h>
#include <tlhelp32.h>
#include <winsvc.h>

#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace {

using engine_support::LastErrorOr;

// How long the terminated processes of one wait group are given to end.
const DWORD kTerminateWaitMs = 10000;
// The pause after the wait, whatever the wait returned.
const DWORD kAfterTerminatePauseMs = 1000;

// The handles of the processes that were sent the terminate request; owns and closes every one.
class TerminatedProcesses {
public:
    explicit TerminatedProcesses(size_t expected) {
        try {
            m_handles.reserve(expected);
        } catch (const std::bad_alloc&) {
            // Keep() finds the room or does without.
        }
    }
    ~TerminatedProcesses() {
        for (HANDLE process : m_handles)
            CloseHandle(process);
    }
    TerminatedProcesses(const TerminatedProcesses&) = delete;
    TerminatedProcesses& operator=(const TerminatedProcesses&) = delete;

    // Takes the handle over; without room to keep it, it is closed at once (the process is still
    // ended, only not waited for).
    void Keep(OwnedHandle process) {
        try {
            m_handles.push_back(process.get());
            process.release();
        } catch (const std::bad_alloc&) {
        }
    }

    // The platform waits for at most MAXIMUM_WAIT_OBJECTS handles at once, so the handles are
    // waited for in groups of that size, each with the full time allowed.
    void WaitForAll(DWORD milliseconds) const {
        for (size_t first = 0; first < m_handles.size(); first += MAXIMUM_WAIT_OBJECTS) {
            size_t group = m_handles.size() - first;
            if (group > MAXIMUM_WAIT_OBJECTS)
                group = MAXIMUM_WAIT_OBJECTS;
            WaitForMultipleObjects(static_cast<DWORD>(group), m_handles.data() + first, TRUE,
                                   milliseconds);
        }
    }

private:
    std::vector<HANDLE> m_handles;
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
        OwnedHandle process(
            OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (!process)
            continue;
        TerminateProcess(process.get(), 0xFFFFFFFF);
        terminated.Keep(std::move(process));
    }
}

} // namespace

DWORD CUninstallEngine::StopServices() {
    if (GetPlatformId() == VER_PLATFORM_WIN32_NT)
        return StopPlanServices();
    return TerminateServiceProcesses();
}

DWORD CUninstallEngine::StopPlanServices() {
    OwnedService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return LastErrorOr(ERROR_CAN_NOT_COMPLETE);

    // One attempt; the stop requests go out with or without the lock.
    SC_LOCK lock = LockServiceDatabase(manager.get());

    m_planServices.ForEach([&manager](const char* name) {
        OwnedService service(OpenServiceA(manager.get(), name, SERVICE_ALL_ACCESS));
        if (!service)
            return;
        SERVICE_STATUS state;
        memset(&state, 0, sizeof(state));
        ControlService(service.get(), SERVICE_CONTROL_STOP, &state);
    });

    if (lock)
        UnlockServiceDatabase(lock);
    return ERROR_SUCCESS;
}

DWORD CUninstallEngine::TerminateServiceProcesses() {
    OwnedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return LastErrorOr(ERROR_CAN_NOT_COMPLETE);

    // The plan, not the remove list: what the ignore entries spare and what the plan step
    // refused is never ended.
    TerminatedProcesses terminated(m_planServices.Count());
    TerminateNamedProcesses(snapshot.get(), m_planServices, terminated);
    terminated.WaitForAll(kTerminateWaitMs);
    Sleep(kAfterTerminatePauseMs);
    return ERROR_SUCCESS;
}
