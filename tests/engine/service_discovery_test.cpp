// Service entries resolved into names: installed services by key name on the NT family, running
// programs by executable file name on every other platform.
#include "engine_fixture.h"

#include "helpers/helper.h"

#include <cstring>
#include <string>

using namespace enginetest;

namespace {

class ServiceDiscoveryTest : public EngineTest {
protected:
    // Resolves one entry as the profile reader does: normalised, into `found`.
    DWORD Find(const std::string& data) {
        std::string text = data;
        NormalizeEntry(&text[0]);
        text.resize(strlen(text.c_str()));
        return engine.FindServicesByValue(found, &text[0]);
    }
    static void AddService(const char* name, const char* display, DWORD type, DWORD state) {
        sim::ServiceRecord service;
        service.name = name;
        service.displayName = display;
        service.type = type;
        service.state = state;
        sim::AddService(service);
    }
    TSet found;
};

// NT family.

TEST_F(ServiceDiscoveryTest, LiteralNameIsTakenWithoutAskingTheManager) {
    sim::DenyServiceManager(true);
    EXPECT_EQ(0u, Find("\"ExampleSvc\""));
    EXPECT_EQ(Lines{"EXAMPLESVC"}, Items(found));
    EXPECT_EQ(0u, sim::CallCount("OpenSCManagerA"));
}

TEST_F(ServiceDiscoveryTest, WildcardMatchesKeyNamesOfServicesAndDriversInAnyState) {
    AddService("ExampleSvc", "Example Service", SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING);
    AddService("exampleDrv", "", SERVICE_KERNEL_DRIVER, SERVICE_STOPPED);
    AddService("ExampleFs", "", SERVICE_FILE_SYSTEM_DRIVER, SERVICE_STOPPED);
    AddService("ExampleShared", "", SERVICE_WIN32_SHARE_PROCESS, SERVICE_RUNNING);
    AddService("Other", "Example Display", SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING);

    EXPECT_EQ(0u, Find("Example*"));
    EXPECT_EQ((Lines{"exampleDrv", "ExampleFs", "ExampleShared", "ExampleSvc"}), Items(found));
    EXPECT_EQ(0u, Find("Vendor?Svc"));
    EXPECT_EQ(4u, found.Count());
    EXPECT_EQ(0, sim::OpenServiceHandles());
}

TEST_F(ServiceDiscoveryTest, EveryWildcardEntryTakesAFreshListing) {
    AddService("ExampleSvc", "", SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING);
    EXPECT_EQ(0u, Find("Example*"));
    AddService("ExampleLate", "", SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED);
    EXPECT_EQ(0u, Find("Example*"));
    EXPECT_EQ(2u, sim::CallCount("OpenSCManagerA"));
    EXPECT_EQ((Lines{"ExampleLate", "ExampleSvc"}), Items(found));
}

TEST_F(ServiceDiscoveryTest, LongListingIsReadWhole) {
    for (int index = 0; index < 300; ++index)
        AddService(
            ("Svc" + std::to_string(index)).c_str(),
            ("A rather long display name for service number " + std::to_string(index)).c_str(),
            SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED);
    EXPECT_EQ(0u, Find("SVC*"));
    EXPECT_EQ(300u, found.Count());
}

TEST_F(ServiceDiscoveryTest, FailedListingResolvesToNothing) {
    AddService("ExampleSvc", "", SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING);
    sim::InjectFault("EnumServicesStatusA", ERROR_ACCESS_DENIED, 0, sim::Always);
    EXPECT_EQ(0u, Find("Example*"));
    EXPECT_TRUE(found.IsEmpty());
    EXPECT_EQ(0, sim::OpenServiceHandles());
}

TEST_F(ServiceDiscoveryTest, DeniedManagerFailsTheProfileWithTheEntry) {
    sim::DenyServiceManager(true);
    WriteProfile("[service 1]\n"
                 "remove=SERVICE_NAME,BY_VALUE,ExampleSvc\n"
                 "remove=SERVICE_NAME,BY_VALUE,Ex*\n"
                 "[registry key 1]\n[registry value 1]\n[file 1]\n");
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), engine.CreateProfile());
    EXPECT_EQ(Lines{"EXAMPLESVC"}, Items(engine.m_removeServices));
    Lines lines = LogLines();
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ("0005 InitRemoveServiceList: remove=SERVICE_NAME,BY_VALUE,Ex*", lines[3]);
}

// Other platforms: running processes.

TEST_F(ServiceDiscoveryTest, OnOtherPlatformsRunningProgramsAreMatchedByFileName) {
    sim::SetWindows98();
    sim::AddProcess("C:\\PROGRAM FILES\\SUITE\\Tray.exe");
    sim::AddProcess("C:\\WINDOWS\\EXPLORER.EXE");
    sim::AddProcess("C:\\Program Files\\Suite\\TrayHelper.exe");
    AddService("Tray.exe", "", SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING);

    EXPECT_EQ(0u, Find("NotRunning.exe"));
    EXPECT_TRUE(found.IsEmpty());
    EXPECT_EQ(0u, Find("tray.exe"));
    EXPECT_EQ(Lines{"Tray.exe"}, Items(found));
    EXPECT_EQ(0u, Find("TRAY*"));
    EXPECT_EQ((Lines{"Tray.exe", "TrayHelper.exe"}), Items(found));
    EXPECT_EQ(0u, sim::CallCount("OpenSCManagerA"));
}

TEST_F(ServiceDiscoveryTest, UnknownPlatformTakesTheProcessBranch) {
    sim::SetVersionQueryFails(true);
    sim::AddProcess("agent.exe");
    EXPECT_EQ(0u, Find("AGENT.EXE"));
    EXPECT_EQ(Lines{"agent.exe"}, Items(found));
}

TEST_F(ServiceDiscoveryTest, FailedSnapshotFailsTheEntry) {
    sim::SetWindows98();
    sim::InjectFault("CreateToolhelp32Snapshot", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), Find("agent.exe"));
    EXPECT_TRUE(found.IsEmpty());
    EXPECT_EQ(0, sim::OpenProcessHandles());
}

} // namespace
