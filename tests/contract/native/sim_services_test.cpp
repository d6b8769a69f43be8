// The simulated services and processes beyond what real Windows can be made to show: installed
// services in every state, refusals, recorded stop requests, terminations and virtual-clock waits.
#include "contract.h"

#include "sim/sim.h"

#include <tlhelp32.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> ListedNames(SC_HANDLE manager, DWORD type, DWORD state) {
    DWORD needed = 0, count = 0, resume = 0;
    EnumServicesStatusA(manager, type, state, nullptr, 0, &needed, &count, &resume);
    std::vector<char> buffer(needed);
    auto* records = reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data());
    std::vector<std::string> names;
    if (EnumServicesStatusA(manager, type, state, records, needed, &needed, &count, &resume))
        for (DWORD i = 0; i < count; ++i)
            names.push_back(records[i].lpServiceName);
    return names;
}

std::vector<DWORD> Pids(const std::vector<sim::ProcessRecord>& records) {
    std::vector<DWORD> pids;
    for (auto& record : records)
        pids.push_back(record.pid);
    return pids;
}

class SimServices : public contract::Test {
protected:
    void SetUp() override {
        contract::Test::SetUp();
        sim::AddService(
            {"Zeta", "A display that sorts first", SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING});
        sim::AddService({"alpha", "Alpha", SERVICE_WIN32_SHARE_PROCESS, SERVICE_STOPPED});
        sim::AddService({"Beta", "", SERVICE_KERNEL_DRIVER, SERVICE_RUNNING});
        sim::AddService({"Gamma", "Gamma", SERVICE_ADAPTER, SERVICE_RUNNING});
        manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, manager);
    }
    void TearDown() override { CloseServiceHandle(manager); }

    SC_HANDLE manager = nullptr;
};

using SimProcesses = contract::Test;

} // namespace

TEST_F(SimServices, ListingIsInKeyOrderAndFiltersTypeAndState) {
    EXPECT_EQ((std::vector<std::string>{"alpha", "Beta", "Zeta"}),
              ListedNames(manager, SERVICE_DRIVER | SERVICE_WIN32, SERVICE_STATE_ALL));
    EXPECT_EQ((std::vector<std::string>{"Beta", "Zeta"}),
              ListedNames(manager, SERVICE_DRIVER | SERVICE_WIN32, SERVICE_ACTIVE));
    EXPECT_EQ((std::vector<std::string>{"alpha"}),
              ListedNames(manager, SERVICE_WIN32, SERVICE_INACTIVE));
    EXPECT_EQ((std::vector<std::string>{"Gamma"}),
              ListedNames(manager, SERVICE_ADAPTER, SERVICE_STATE_ALL));

    DWORD needed = 0, count = 0;
    SetLastError(contract::kMarker);
    EXPECT_FALSE(
        EnumServicesStatusA(manager, 0, SERVICE_STATE_ALL, nullptr, 0, &needed, &count, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(SimServices, PartialListingReportsTheRestAndResumesThere) {
    const DWORD first = static_cast<DWORD>(sizeof(ENUM_SERVICE_STATUSA) + strlen("alpha") + 1 +
                                           strlen("Alpha") + 1);
    std::vector<char> buffer(1024);
    auto* records = reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data());
    DWORD needed = 0, count = 0, resume = 0;
    SetLastError(contract::kMarker);
    EXPECT_FALSE(EnumServicesStatusA(manager, SERVICE_DRIVER | SERVICE_WIN32, SERVICE_STATE_ALL,
                                     records, first, &needed, &count, &resume));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), GetLastError());
    ASSERT_EQ(1u, count);
    EXPECT_STREQ("alpha", records[0].lpServiceName);
    EXPECT_EQ(1u, resume);
    const DWORD rest = static_cast<DWORD>(2 * sizeof(ENUM_SERVICE_STATUSA) + 5 + 5 + 5 +
                                          strlen("A display that sorts first") + 1);
    EXPECT_EQ(rest, needed);

    EXPECT_TRUE(EnumServicesStatusA(manager, SERVICE_DRIVER | SERVICE_WIN32, SERVICE_STATE_ALL,
                                    records, needed, &needed, &count, &resume));
    ASSERT_EQ(2u, count);
    EXPECT_STREQ("Beta", records[0].lpServiceName);
    EXPECT_STREQ("Zeta", records[1].lpServiceName);
    EXPECT_EQ(0u, resume);
}

TEST_F(SimServices, RefusalsOfManagerLockAndService) {
    sim::RefuseDatabaseLock(true);
    SetLastError(contract::kMarker);
    EXPECT_EQ(nullptr, LockServiceDatabase(manager));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DATABASE_LOCKED), GetLastError());
    EXPECT_FALSE(sim::DatabaseLocked());

    sim::DenyService("zeta");
    SetLastError(contract::kMarker);
    EXPECT_EQ(nullptr, OpenServiceA(manager, "Zeta", SERVICE_ALL_ACCESS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

    sim::DenyServiceManager(true);
    SetLastError(contract::kMarker);
    EXPECT_EQ(nullptr, OpenSCManagerA(nullptr, nullptr, GENERIC_READ));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

TEST_F(SimServices, StopRequestsAreRecordedWhateverTheState) {
    SC_HANDLE running = OpenServiceA(manager, "ZETA", SERVICE_ALL_ACCESS);
    SC_HANDLE stopped = OpenServiceA(manager, "alpha", SERVICE_ALL_ACCESS);
    ASSERT_NE(nullptr, running);
    ASSERT_NE(nullptr, stopped);
    SERVICE_STATUS status = {};
    EXPECT_TRUE(ControlService(running, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), status.dwCurrentState);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), sim::ServiceState("Zeta"));
    SetLastError(contract::kMarker);
    EXPECT_FALSE(ControlService(stopped, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE), GetLastError());
    // Names as installed, not as the caller spelled them.
    EXPECT_EQ((std::vector<std::string>{"Zeta", "alpha"}), sim::StopRequests());
    CloseServiceHandle(running);
    CloseServiceHandle(stopped);
}

TEST_F(SimServices, ServiceThatCannotStopKeepsRunning) {
    sim::AddService(
        {"Stubborn", "", SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, SERVICE_AUTO_START, false});
    sim::AddService({"Base", "", SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING});
    sim::AddService({"OnTop",
                     "",
                     SERVICE_WIN32_OWN_PROCESS,
                     SERVICE_RUNNING,
                     SERVICE_AUTO_START,
                     true,
                     {"base"}});
    SERVICE_STATUS status;
    SC_HANDLE stubborn = OpenServiceA(manager, "Stubborn", SERVICE_STOP);
    SetLastError(contract::kMarker);
    EXPECT_FALSE(ControlService(stubborn, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), sim::ServiceState("Stubborn"));

    SC_HANDLE base = OpenServiceA(manager, "Base", SERVICE_STOP);
    SetLastError(contract::kMarker);
    EXPECT_FALSE(ControlService(base, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DEPENDENT_SERVICES_RUNNING), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), sim::ServiceState("Base"));

    SC_HANDLE reader = OpenServiceA(manager, "OnTop", SERVICE_QUERY_STATUS);
    SetLastError(contract::kMarker);
    EXPECT_FALSE(ControlService(reader, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ((std::vector<std::string>{"Stubborn", "Base"}), sim::StopRequests());
    for (SC_HANDLE h : {stubborn, base, reader})
        CloseServiceHandle(h);
}

TEST_F(SimServices, DeletedServiceLeavesWithItsLastHandle) {
    SC_HANDLE created =
        CreateServiceA(manager, "Temp", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "C:\\temp.exe", nullptr, nullptr,
                       nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, created);
    SC_HANDLE other = OpenServiceA(manager, "Temp", SERVICE_QUERY_STATUS);
    EXPECT_EQ(3, sim::OpenServiceHandles());
    EXPECT_TRUE(DeleteService(created));
    SetLastError(contract::kMarker);
    EXPECT_FALSE(DeleteService(created));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE), GetLastError());
    CloseServiceHandle(created);
    EXPECT_TRUE(sim::ServiceInstalled("Temp"));
    CloseServiceHandle(other);
    EXPECT_FALSE(sim::ServiceInstalled("Temp"));
    EXPECT_EQ(1, sim::OpenServiceHandles());
}

TEST_F(SimProcesses, FreshMachineRunsIdleSystemAndThisProgram) {
    sim::SetModulePath("D:\\Apps\\Tool.exe");
    std::vector<sim::ProcessRecord> running = sim::RunningProcesses();
    ASSERT_EQ(3u, running.size());
    EXPECT_EQ(0u, running[0].pid);
    EXPECT_EQ(4u, running[1].pid);
    EXPECT_EQ(GetCurrentProcessId(), running[2].pid);
    EXPECT_EQ("Tool.exe", running[2].path);
    SetLastError(contract::kMarker);
    EXPECT_EQ(nullptr, OpenProcess(PROCESS_TERMINATE, FALSE, 4));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

TEST_F(SimProcesses, SnapshotShowsThePathAsGivenAndTerminationIsRecorded) {
    const char* path = "C:\\Program Files\\Vendor\\agent.exe";
    DWORD pid = sim::AddProcess(path);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ProcessID == pid)
            found = strcmp(entry.szExeFile, path) == 0;
    CloseHandle(snapshot);
    EXPECT_TRUE(found);

    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    ASSERT_NE(nullptr, process);
    EXPECT_EQ(1, sim::OpenProcessHandles());
    EXPECT_TRUE(TerminateProcess(process, 0xFFFFFFFF));
    ASSERT_EQ(1u, sim::TerminatedProcesses().size());
    EXPECT_EQ(pid, sim::TerminatedProcesses()[0].pid);
    EXPECT_EQ(path, sim::TerminatedProcesses()[0].path);
    EXPECT_EQ(0xFFFFFFFFu, sim::TerminatedProcesses()[0].exitCode);
    EXPECT_EQ((std::vector<DWORD>{0, 4, GetCurrentProcessId()}), Pids(sim::RunningProcesses()));
    CloseHandle(process);
    EXPECT_EQ(0, sim::OpenProcessHandles());
}

TEST_F(SimProcesses, RefusedOpenAndProcessEndedAfterTheSnapshot) {
    DWORD guarded = sim::AddProcess("guard.exe");
    DWORD leaving = sim::AddProcess("leaving.exe");
    sim::RefuseOpen(guarded);
    SetLastError(contract::kMarker);
    EXPECT_EQ(nullptr, OpenProcess(PROCESS_TERMINATE, FALSE, guarded));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    sim::EndProcess(leaving);
    PROCESSENTRY32 entry;
    memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry);
    bool listed = false;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        listed = listed || entry.th32ProcessID == leaving;
    CloseHandle(snapshot);
    EXPECT_TRUE(listed);
    SetLastError(contract::kMarker);
    EXPECT_EQ(nullptr, OpenProcess(PROCESS_TERMINATE, FALSE, leaving));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_TRUE(sim::TerminatedProcesses().empty());
}

TEST_F(SimProcesses, ProcessThatRefusesToDieTimesTheWaitOutOnTheVirtualClock) {
    DWORD pid = sim::AddProcess("stuck.exe");
    sim::RefuseToDie(pid);
    HANDLE process =
        OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    ASSERT_NE(nullptr, process);
    EXPECT_TRUE(TerminateProcess(process, 1));
    uint64_t before = sim::ClockMilliseconds();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForMultipleObjects(1, &process, TRUE, 10000));
    EXPECT_GE(sim::ClockMilliseconds() - before, 10000u);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    EXPECT_TRUE(sim::TerminatedProcesses().empty());
    CloseHandle(process);
}

TEST_F(SimProcesses, WaitForAllEndsAtOnceWhenAllWereTerminated) {
    HANDLE handles[2];
    for (HANDLE& handle : handles) {
        handle = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, sim::AddProcess("two.exe"));
        ASSERT_NE(nullptr, handle);
        ASSERT_TRUE(TerminateProcess(handle, 0xFFFFFFFF));
    }
    uint64_t before = sim::ClockMilliseconds();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForMultipleObjects(2, handles, TRUE, 10000));
    EXPECT_EQ(before, sim::ClockMilliseconds());
    EXPECT_EQ(2u, sim::TerminatedProcesses().size());
    for (HANDLE handle : handles)
        CloseHandle(handle);
}

TEST_F(SimProcesses, UnboundedWaitEndsWhenAnotherThreadTerminates) {
    DWORD pid = sim::AddProcess("waited.exe");
    HANDLE waitable = OpenProcess(SYNCHRONIZE, FALSE, pid);
    HANDLE killer = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    ASSERT_NE(nullptr, waitable);
    DWORD result = WAIT_FAILED;
    std::thread waiter([&] { result = WaitForSingleObject(waitable, INFINITE); });
    EXPECT_TRUE(TerminateProcess(killer, 3));
    waiter.join();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), result);
    CloseHandle(waitable);
    CloseHandle(killer);
}

