// Simulated processes: the running list, snapshots, process handles, termination and waits.
#include "core.h"

#include "sim/control_kernel.h"
#include "sim/control_services.h"

#include <tlhelp32.h>

#include <condition_variable>
#include <cstring>
#include <vector>

namespace {

// The part of a process that its handles keep alive after it has ended.
struct Life {
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    DWORD exitCode = STILL_ACTIVE;
};

struct Process {
    DWORD pid;
    std::string path; // empty for this program itself: the module's file name, asked when listed
    DWORD parent;
    bool refuseOpen = false;
    bool refuseToDie = false;
    std::shared_ptr<Life> life = std::make_shared<Life>();
};

struct ProcessHandle : simcore::Object {
    DWORD pid = 0;
    DWORD access = 0;
    std::shared_ptr<Life> life;

    DWORD Wait(DWORD milliseconds) override {
        if (!(access & SYNCHRONIZE)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return WAIT_FAILED;
        }
        std::unique_lock<std::mutex> held(life->lock);
        if (milliseconds == INFINITE) {
            life->ended.wait(held, [this] { return life->done; });
            return WAIT_OBJECT_0;
        }
        // Another thread may still end it within a short real moment; past that, the wait
        // counts as the full timeout on the virtual clock.
        DWORD real = milliseconds < 10 ? milliseconds : 10;
        if (life->ended.wait_for(held, std::chrono::milliseconds(real),
                                 [this] { return life->done; }))
            return WAIT_OBJECT_0;
        held.unlock();
        simcore::Advance(milliseconds);
        return WAIT_TIMEOUT;
    }
};

// The primary thread of a started program: signalled when the program ends.
struct StartedThread : ProcessHandle {};

struct Snapshot : simcore::Object {
    std::vector<PROCESSENTRY32> rows;
    size_t next = 0;
};

struct ProcessTable {
    std::vector<Process> running;
    std::vector<sim::ProcessRecord> terminated;
    std::vector<std::weak_ptr<ProcessHandle>> handles;
    DWORD nextPid = 1000;
    DWORD nextThreadId = 5000;
};

// A fresh machine: the idle process, the system and this program.
ProcessTable Fresh() {
    ProcessTable table;
    Process idle{0, "[System Process]", 0};
    idle.refuseOpen = true;
    Process system{4, "System", 0};
    system.refuseOpen = true;
    Process self{GetCurrentProcessId(), "", 4};
    table.running = {idle, system, self};
    return table;
}

ProcessTable& Table() {
    static ProcessTable table = Fresh();
    return table;
}

void ResetProcesses() {
    Table() = Fresh();
}

simcore::ResetHook hook(ResetProcesses);

const char* FileNamePart(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    return path.c_str() + (cut == std::string::npos ? 0 : cut + 1);
}

std::string ShownPath(const Process& process) {
    if (!process.path.empty())
        return process.path;
    return FileNamePart(sim::ModulePath());
}

Process* Find(DWORD pid) {
    for (auto& process : Table().running)
        if (process.pid == pid)
            return &process;
    return nullptr;
}

DWORD NewPid() {
    DWORD pid = Table().nextPid;
    Table().nextPid += 4;
    return pid;
}

template <class T> HANDLE NewHandle(const Process& process, DWORD access) {
    auto object = std::make_shared<T>();
    object->pid = process.pid;
    object->access = access;
    object->life = process.life;
    Table().handles.push_back(object);
    return simcore::AddHandle(object);
}

// Ends a running process with its exit code; `terminated` records it as terminated.
void End(DWORD pid, DWORD exitCode, bool terminated) {
    auto& running = Table().running;
    for (auto it = running.begin(); it != running.end(); ++it) {
        if (it->pid != pid)
            continue;
        {
            std::lock_guard<std::mutex> held(it->life->lock);
            it->life->done = true;
            it->life->exitCode = exitCode;
            it->life->ended.notify_all();
        }
        if (terminated)
            Table().terminated.push_back({pid, ShownPath(*it), exitCode});
        running.erase(it);
        return;
    }
}

// Process32First and Process32Next, called with the machine lock held.
BOOL Deliver(HANDLE snapshot, LPPROCESSENTRY32 entry, bool first) {
    auto object = simcore::HandleAs<Snapshot>(snapshot);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!entry) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (entry->dwSize < sizeof(PROCESSENTRY32)) {
        SetLastError(ERROR_BAD_LENGTH);
        return FALSE;
    }
    if (first)
        object->next = 0;
    if (object->next >= object->rows.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    DWORD size = entry->dwSize;
    *entry = object->rows[object->next++];
    entry->dwSize = size;
    return TRUE;
}

} // namespace

namespace sim {

DWORD AddProcess(const char* path) {
    simcore::Guard guard(simcore::MachineLock());
    Process process{NewPid(), path && *path ? path : "unnamed.exe", GetCurrentProcessId()};
    Table().running.push_back(process);
    return process.pid;
}

void RefuseOpen(DWORD pid, bool refuse) {
    simcore::Guard guard(simcore::MachineLock());
    if (Process* process = Find(pid))
        process->refuseOpen = refuse;
}

void RefuseToDie(DWORD pid, bool refuse) {
    simcore::Guard guard(simcore::MachineLock());
    if (Process* process = Find(pid))
        process->refuseToDie = refuse;
}

void EndProcess(DWORD pid, DWORD exitCode) {
    simcore::Guard guard(simcore::MachineLock());
    End(pid, exitCode, false);
}

std::vector<ProcessRecord> TerminatedProcesses() {
    simcore::Guard guard(simcore::MachineLock());
    return Table().terminated;
}

std::vector<ProcessRecord> RunningProcesses() {
    simcore::Guard guard(simcore::MachineLock());
    std::vector<ProcessRecord> out;
    for (auto& process : Table().running)
        out.push_back({process.pid, ShownPath(process), static_cast<DWORD>(STILL_ACTIVE)});
    return out;
}

int OpenProcessHandles() {
    simcore::Guard guard(simcore::MachineLock());
    int count = 0;
    for (auto& weak : Table().handles)
        count += weak.expired() ? 0 : 1;
    return count;
}

} // namespace sim

HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD) {
    SIM_API_ENTRY(error, simcore::FailWith(error, INVALID_HANDLE_VALUE));
    // The snapshot is a frozen copy: later starts and ends do not show in it.
    auto snapshot = std::make_shared<Snapshot>();
    if (flags & TH32CS_SNAPPROCESS) {
        for (auto& process : Table().running) {
            PROCESSENTRY32 row;
            memset(&row, 0, sizeof(row));
            row.dwSize = sizeof(row);
            row.th32ProcessID = process.pid;
            row.cntThreads = 1;
            row.th32ParentProcessID = process.parent;
            row.pcPriClassBase = 8;
            std::string shown = ShownPath(process);
            size_t n = shown.size() < MAX_PATH - 1 ? shown.size() : MAX_PATH - 1;
            memcpy(row.szExeFile, shown.data(), n);
            row.szExeFile[n] = '\0';
            snapshot->rows.push_back(row);
        }
    }
    return simcore::AddHandle(snapshot);
}

BOOL WINAPI Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry) {
    SIM_API_ENTRY(error, simcore::FailWith(error, FALSE));
    return Deliver(snapshot, entry, true);
}

BOOL WINAPI Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry) {
    SIM_API_ENTRY(error, simcore::FailWith(error, FALSE));
    return Deliver(snapshot, entry, false);
}

HANDLE WINAPI OpenProcess(DWORD access, BOOL, DWORD processId) {
    SIM_API_ENTRY(error, simcore::FailWith(error, nullptr));
    Process* process = processId ? Find(processId) : nullptr;
    if (!process) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (process->refuseOpen) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return NewHandle<ProcessHandle>(*process, access);
}

BOOL WINAPI TerminateProcess(HANDLE handle, UINT exitCode) {
    SIM_API_ENTRY(error, simcore::FailWith(error, FALSE));
    auto object = simcore::HandleAs<ProcessHandle>(handle);
    if (!object || std::dynamic_pointer_cast<StartedThread>(object)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Process* process = Find(object->pid);
    // An ended process can no longer be terminated, as on Windows.
    if (!(object->access & PROCESS_TERMINATE) || !process || process->life != object->life) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!process->refuseToDie)
        End(object->pid, exitCode, true);
    return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE handle, LPDWORD exitCode) {
    SIM_API_ENTRY(error, simcore::FailWith(error, FALSE));
    auto object = simcore::HandleAs<ProcessHandle>(handle);
    if (!object || std::dynamic_pointer_cast<StartedThread>(object)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(object->access & (PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!exitCode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> held(object->life->lock);
    *exitCode = object->life->exitCode;
    return TRUE;
}

BOOL WINAPI CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR, LPSTARTUPINFOA,
                           LPPROCESS_INFORMATION info) {
    SIM_API_ENTRY(error, simcore::FailWith(error, FALSE));
    if (!info || (!application && !commandLine)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The program is the application name, or the command line's first (maybe quoted) word.
    std::string program;
    if (application) {
        program = application;
    } else {
        const char* p = commandLine;
        while (*p == ' ' || *p == '\t')
            ++p;
        const char* end = *p == '"' ? strchr(p + 1, '"') : strpbrk(p, " \t");
        if (*p == '"')
            program.assign(p + 1, end ? end : p + strlen(p));
        else
            program.assign(p, end ? end : p + strlen(p));
    }
    const char* name = FileNamePart(program);
    if (!*name) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    // The NT family lists a started program by its file name alone.
    Process process{NewPid(), name, GetCurrentProcessId()};
    Table().running.push_back(process);
    info->hProcess = NewHandle<ProcessHandle>(process, PROCESS_ALL_ACCESS);
    info->hThread = NewHandle<StartedThread>(process, SYNCHRONIZE);
    info->dwProcessId = process.pid;
    info->dwThreadId = Table().nextThreadId;
    Table().nextThreadId += 4;
    return TRUE;
}
