// Stopping before deletion: planned services on the NT family; running instances of the named
// executables elsewhere, waited for in groups the platform accepts.
#include "runtime_fixture.h"

#include <shlwapi.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

class ServiceStopTest : public runtimetest::RuntimeTest {
protected:
    void AddRunning(const char* name) {
        sim::ServiceRecord record;
        record.name = name;
        record.state = SERVICE_RUNNING;
        sim::AddService(record);
    }
    static Names TerminatedPaths() {
        Names paths;
        for (const sim::ProcessRecord& record : sim::TerminatedProcesses()) {
            EXPECT_EQ(record.exitCode, 0xFFFFFFFFu) << record.path;
            paths.push_back(record.path);
        }
        return paths;
    }
};

TEST_F(ServiceStopTest, NtStopsEveryPlannedServiceAndSkipsTheMissingOnes) {
    for (const char* name : {"AGENT", "DENIED", "GUARD", "OTHER"})
        AddRunning(name);
    sim::DenyService("DENIED");
    for (const char* name : {"AGENT", "DENIED", "GUARD", "MISSING"})
        m_engine.m_planServices.Add(name);

    EXPECT_EQ(m_engine.StopServices(), 0u);

    EXPECT_EQ(sim::StopRequests(), (Names{"AGENT", "GUARD"}));
    EXPECT_EQ(sim::ServiceState("OTHER"), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(sim::CallCount("LockServiceDatabase"), 1u);
    EXPECT_FALSE(sim::DatabaseLocked());
    EXPECT_EQ(sim::OpenServiceHandles(), 0);
    EXPECT_TRUE(sim::TerminatedProcesses().empty());
}

TEST_F(ServiceStopTest, NtStopsWithoutTheDatabaseLockWhenItIsRefused) {
    AddRunning("AGENT");
    m_engine.m_planServices.Add("AGENT");
    sim::RefuseDatabaseLock(true);

    EXPECT_EQ(m_engine.StopServices(), 0u);
    EXPECT_EQ(sim::StopRequests(), Names{"AGENT"});
    EXPECT_EQ(sim::CallCount("UnlockServiceDatabase"), 0u);
    EXPECT_EQ(sim::OpenServiceHandles(), 0);
}

TEST_F(ServiceStopTest, NtReturnsTheErrorOfADeniedManager) {
    AddRunning("AGENT");
    m_engine.m_planServices.Add("AGENT");
    sim::DenyServiceManager(true);

    EXPECT_EQ(m_engine.StopServices(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(sim::StopRequests().empty());
}

TEST_F(ServiceStopTest, NineXEndsAllSeventyInstancesAndWaitsForBothGroups) {
    sim::SetWindows98();
    std::vector<DWORD> pids;
    for (int i = 0; i < 70; ++i)
        pids.push_back(sim::AddProcess("C:\\APP\\AGENT.EXE"));
    sim::AddProcess("C:\\WINDOWS\\EXPLORER.EXE");
    // One instance in each group lingers, so each group's wait runs its full time.
    sim::RefuseToDie(pids[3]);
    sim::RefuseToDie(pids[66]);
    m_engine.m_planServices.Add("AGENT.EXE");
    uint64_t start = sim::ClockMilliseconds();

    EXPECT_EQ(m_engine.StopServices(), 0u);

    EXPECT_EQ(TerminatedPaths(), Names(68, "C:\\APP\\AGENT.EXE"));
    EXPECT_EQ(sim::CallCount("WaitForMultipleObjects"), 2u);
    EXPECT_EQ(sim::ClockMilliseconds() - start, 2 * 10000u + 1000u);
    EXPECT_EQ(sim::OpenProcessHandles(), 0);
}

TEST_F(ServiceStopTest, NineXSkipsRefusedProcessesAndThisProgram) {
    sim::SetWindows98();
    DWORD refused = sim::AddProcess("C:\\APP\\AGENT.EXE");
    sim::RefuseOpen(refused);
    sim::AddProcess("C:\\APP\\AGENT.EXE");
    // A pattern resolved against the running processes can name this program's own file: no
    // process of that name is ended, nor one of the system's own.
    std::string self = PathFindFileNameA(sim::ModulePath().c_str());
    sim::AddProcess(("C:\\OTHER\\" + self).c_str());
    sim::AddProcess("C:\\WINDOWS\\EXPLORER.EXE");
    m_engine.m_planServices.Add("AGENT.EXE");
    m_engine.m_planServices.Add(self.c_str());
    m_engine.m_planServices.Add("EXPLORER.EXE");

    EXPECT_EQ(m_engine.StopServices(), 0u);

    EXPECT_EQ(TerminatedPaths(), Names{"C:\\APP\\AGENT.EXE"});
    // idle, System, refused, this program, its namesake, the shell
    EXPECT_EQ(sim::RunningProcesses().size(), 6u);
}

TEST_F(ServiceStopTest, NineXWithNoMatchStillPausesOneSecond) {
    sim::SetWindows98();
    m_engine.m_planServices.Add("AGENT.EXE");
    uint64_t start = sim::ClockMilliseconds();

    EXPECT_EQ(m_engine.StopServices(), 0u);
    EXPECT_EQ(sim::ClockMilliseconds() - start, 1000u);
    EXPECT_EQ(sim::CallCount("WaitForMultipleObjects"), 0u);
    EXPECT_EQ(sim::OpenProcessHandles(), 0);
}

TEST_F(ServiceStopTest, NineXReturnsTheErrorOfAFailedSnapshot) {
    sim::SetWindows98();
    sim::InjectFault("CreateToolhelp32Snapshot", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(m_engine.StopServices(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

} // namespace
