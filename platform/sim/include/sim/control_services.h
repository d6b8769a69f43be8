// Controls of the simulated services and processes: install, refuse, inspect what was stopped.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace sim {

// An installed Win32 service or driver, as the service control manager lists it.
struct ServiceRecord {
    std::string name;        // key name
    std::string displayName; // empty: the key name
    DWORD type = SERVICE_WIN32_OWN_PROCESS;
    DWORD state = SERVICE_STOPPED;
    DWORD startType = SERVICE_DEMAND_START;
    bool acceptsStop = true;
    // Key names of the services this one needs; a service with a running dependant refuses to stop.
    std::vector<std::string> dependsOn;
    // The program's command line as QueryServiceConfigA reports it.
    std::string imagePath;
};

// Installs (or replaces) a service, e.g. AddService({"ExampleSvc", "Example Service",
// SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING}).
void AddService(const ServiceRecord& service);
// OpenSCManagerA fails with ERROR_ACCESS_DENIED while set.
void DenyServiceManager(bool deny);
// LockServiceDatabase fails with ERROR_SERVICE_DATABASE_LOCKED while set.
void RefuseDatabaseLock(bool refuse);
// OpenServiceA of that service fails with ERROR_ACCESS_DENIED.
void DenyService(const char* name, bool deny = true);

// Key names of every service that a stop control reached, in order, whatever its state was.
std::vector<std::string> StopRequests();
// The service's current state (SERVICE_RUNNING, ...), 0 when it is not installed.
DWORD ServiceState(const char* name);
bool ServiceInstalled(const char* name);
bool DatabaseLocked();
// Manager and service handles not yet closed with CloseServiceHandle.
int OpenServiceHandles();

// A running process and, once ended, its exit code. `path` is the text the process snapshot
// shows in szExeFile: a bare file name as on the NT family, or a full path as on 9x.
struct ProcessRecord {
    DWORD pid;
    std::string path;
    DWORD exitCode;
};

// Starts a process (it runs until terminated) and returns its id. A fresh machine runs the
// idle process (0), "System" (4, which refuses to be opened) and this program itself, listed by
// the file name of sim::ModulePath() under GetCurrentProcessId(). Terminating this program's own
// entry only records it: the simulation cannot end the test.
DWORD AddProcess(const char* path);
// OpenProcess of that process fails with ERROR_ACCESS_DENIED.
void RefuseOpen(DWORD pid, bool refuse = true);
// TerminateProcess of that process reports success but the process keeps running, so a wait for
// it times out. (A termination that fails outright: InjectFault("TerminateProcess", ...).)
void RefuseToDie(DWORD pid, bool refuse = true);
// Ends a process on its own (as if it exited between a snapshot and an open).
void EndProcess(DWORD pid, DWORD exitCode = 0);
// Processes ended by TerminateProcess, in order, with the exit code they were given.
std::vector<ProcessRecord> TerminatedProcesses();
// Processes still running, in start order.
std::vector<ProcessRecord> RunningProcesses();
// Process and thread handles from OpenProcess and CreateProcessA not yet closed.
int OpenProcessHandles();

} // namespace sim
