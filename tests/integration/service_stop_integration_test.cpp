// The service stop on a real service control manager (the throwaway Wine prefix): a wildcard entry
// finds the installed services by key name, the planned one is stopped and the ignored one is
// left running.
#include "contract.h"
#include "engine/Zelm.h"
#include "run_state.h"

#include <winsvc.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const char kStopped[] = "KelvaneStopSvc";
const char kKept[] = "KelvaneStopSvcKeep";

// The project's small service program, built beside the contract tests.
std::string ServiceProgram() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string text = path;
    text = text.substr(0, text.find_last_of('\\'));
    return text.substr(0, text.find_last_of('\\') + 1) + "contract\\kv_contract_service.exe";
}

DWORD StateOf(SC_HANDLE service) {
    SERVICE_STATUS status = {};
    return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

bool WaitForState(SC_HANDLE service, DWORD wanted) {
    for (int i = 0; i < 100 && StateOf(service) != wanted; ++i)
        Sleep(100);
    return StateOf(service) == wanted;
}

class ServiceStopIntegration : public ::testing::Test {
protected:
    void SetUp() override {
        manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, manager) << GetLastError();
        stopped = Install(kStopped);
        kept = Install(kKept);
        ASSERT_TRUE(stopped && kept) << GetLastError();
        engine.SetStateReader(&dialog);
    }

    void TearDown() override {
        for (SC_HANDLE service : {stopped, kept})
            Uninstall(service);
        if (manager)
            CloseServiceHandle(manager);
    }

    SC_HANDLE Install(const char* name) {
        Uninstall(OpenServiceA(manager, name, SERVICE_ALL_ACCESS));
        SC_HANDLE service =
            CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                           SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, ServiceProgram().c_str(),
                           nullptr, nullptr, nullptr, nullptr, nullptr);
        if (service &&
            (!StartServiceA(service, 0, nullptr) || !WaitForState(service, SERVICE_RUNNING))) {
            Uninstall(service);
            return nullptr;
        }
        return service;
    }

    static void Uninstall(SC_HANDLE service) {
        if (!service)
            return;
        SERVICE_STATUS status;
        if (ControlService(service, SERVICE_CONTROL_STOP, &status))
            WaitForState(service, SERVICE_STOPPED);
        DeleteService(service);
        CloseServiceHandle(service);
    }

    SC_HANDLE manager = nullptr;
    SC_HANDLE stopped = nullptr;
    SC_HANDLE kept = nullptr;
    TestRunState dialog;
    CUninstallEngine engine;
};

} // namespace

TEST_F(ServiceStopIntegration, PlannedServiceStopsAndTheIgnoredOneKeepsRunning) {
    char pattern[] = "KELVANESTOPSVC*";
    ASSERT_EQ(0u, engine.FindServicesByValue(engine.m_removeServices, pattern));
    EXPECT_TRUE(engine.m_removeServices.Contains(kStopped));
    EXPECT_TRUE(engine.m_removeServices.Contains(kKept));
    // Ignore entries match the plan by case-sensitive substring, as the key names are listed.
    ASSERT_EQ(0u, engine.m_ignoreServices.Add("Keep"));

    ASSERT_EQ(0u, engine.PopulateRemoveServiceList());
    EXPECT_EQ(1u, engine.m_planServices.Count());
    ASSERT_EQ(0u, engine.StopServices());

    EXPECT_TRUE(WaitForState(stopped, SERVICE_STOPPED));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), StateOf(kept));
}
