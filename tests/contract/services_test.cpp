// Service control manager behaviour the program relies on: opening the manager, the listing with
// its sizing call, the database lock, opening by key name, and the stop control.
#include "contract.h"

#include <winsvc.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const char kService[] = "KelvaneContractSvc";
const char kDisplay[] = "Kelvane Contract Service";
const char kSecond[] = "KelvaneContractSvc2";
constexpr DWORD kDriversAndServices = SERVICE_DRIVER | SERVICE_WIN32;

// The small service program built beside this test program (Windows builds only; the
// simulated manager does not run the binary).
std::string ServiceProgram() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string text = path;
    return text.substr(0, text.find_last_of('\\') + 1) + "kv_contract_service.exe";
}

bool WaitForState(SC_HANDLE service, DWORD wanted) {
    for (int i = 0; i < 100; ++i) {
        SERVICE_STATUS status = {};
        if (!QueryServiceStatus(service, &status))
            return false;
        if (status.dwCurrentState == wanted)
            return true;
        Sleep(100);
    }
    return false;
}

struct Listed {
    std::string name;
    std::string display;
    SERVICE_STATUS status;
};

// Lists with the sizing call first, then into a buffer of the size it reported.
std::vector<Listed> ListServices(SC_HANDLE manager, DWORD type, DWORD state) {
    DWORD needed = 0, count = 0, resume = 0;
    std::vector<Listed> out;
    if (EnumServicesStatusA(manager, type, state, nullptr, 0, &needed, &count, &resume) ||
        needed == 0)
        return out;
    std::vector<char> buffer(needed);
    auto* records = reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data());
    resume = 0;
    if (!EnumServicesStatusA(manager, type, state, records, needed, &needed, &count, &resume))
        return out;
    for (DWORD i = 0; i < count; ++i)
        out.push_back(
            {records[i].lpServiceName, records[i].lpDisplayName, records[i].ServiceStatus});
    return out;
}

const Listed* FindListed(const std::vector<Listed>& listed, const char* name) {
    for (auto& entry : listed)
        if (entry.name == name)
            return &entry;
    return nullptr;
}

// Each test gets the test's own service installed (stopped, demand start) and removed after.
class ServiceContract : public contract::Test {
protected:
    void SetUp() override {
        contract::Test::SetUp();
        manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(nullptr, manager) << GetLastError();
        Remove(kService);
        Remove(kSecond);
        service = Create(kService, kDisplay);
        ASSERT_NE(nullptr, service) << GetLastError();
    }

    void TearDown() override {
        for (SC_HANDLE handle : {service, second}) {
            if (!handle)
                continue;
            SERVICE_STATUS status;
            if (ControlService(handle, SERVICE_CONTROL_STOP, &status))
                WaitForState(handle, SERVICE_STOPPED);
            DeleteService(handle);
            CloseServiceHandle(handle);
        }
        if (manager)
            CloseServiceHandle(manager);
    }

    SC_HANDLE Create(const char* name, const char* display) {
        return CreateServiceA(manager, name, display, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                              SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, ServiceProgram().c_str(),
                              nullptr, nullptr, nullptr, nullptr, nullptr);
    }

    // Left over by an interrupted earlier run.
    void Remove(const char* name) {
        SC_HANDLE old = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
        if (!old)
            return;
        SERVICE_STATUS status;
        if (ControlService(old, SERVICE_CONTROL_STOP, &status))
            WaitForState(old, SERVICE_STOPPED);
        DeleteService(old);
        CloseServiceHandle(old);
    }

    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
    SC_HANDLE second = nullptr;
};

} // namespace

TEST_F(ServiceContract, SizingCallReportsTheBytesThenTheListingFitsInThem) {
    DWORD needed = 0, count = 7, resume = 0;
    SetLastError(contract::kMarker);
    EXPECT_FALSE(EnumServicesStatusA(manager, kDriversAndServices, SERVICE_STATE_ALL, nullptr, 0,
                                     &needed, &count, &resume));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), GetLastError());
    EXPECT_EQ(0u, count);
    ASSERT_GT(needed, sizeof(ENUM_SERVICE_STATUSA));

    // The buffer is a little larger than reported, but only the reported size is offered.
    std::vector<char> buffer(needed + 100, '\x55');
    auto* records = reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data());
    DWORD size = needed;
    resume = 0;
    SetLastError(contract::kMarker);
    ASSERT_TRUE(EnumServicesStatusA(manager, kDriversAndServices, SERVICE_STATE_ALL, records, size,
                                    &needed, &count, &resume))
        << GetLastError();
    ASSERT_GE(count, 1u);
    bool found = false;
    for (DWORD i = 0; i < count; ++i) {
        const char* name = records[i].lpServiceName;
        const char* display = records[i].lpDisplayName;
        ASSERT_GE(name, buffer.data());
        ASSERT_LT(name + strlen(name), buffer.data() + size);
        ASSERT_GE(display, buffer.data());
        ASSERT_LT(display + strlen(display), buffer.data() + size);
        if (strcmp(name, kService) == 0) {
            found = true;
            EXPECT_STREQ(kDisplay, display);
            EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), records[i].ServiceStatus.dwCurrentState);
            EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS),
                      records[i].ServiceStatus.dwServiceType & SERVICE_WIN32);
        }
    }
    EXPECT_TRUE(found);
}

TEST_F(ServiceContract, ShortBufferGivesPartOfTheListingAndAResumePoint) {
    second = Create(kSecond, "Kelvane Contract Service 2");
    ASSERT_NE(nullptr, second) << GetLastError();
    size_t total = ListServices(manager, kDriversAndServices, SERVICE_STATE_ALL).size();
    ASSERT_GE(total, 2u);

    // Half of what the whole listing needs, again and again from the resume point.
    DWORD needed = 0, count = 0, resume = 0;
    EnumServicesStatusA(manager, kDriversAndServices, SERVICE_STATE_ALL, nullptr, 0, &needed,
                        &count, &resume);
    std::vector<char> buffer(needed);
    DWORD size = needed / 2;
    if (KV_WINE_DIFFERS("Wine fills no part of a short buffer: ERROR_INSUFFICIENT_BUFFER")) {
        EXPECT_FALSE(EnumServicesStatusA(manager, kDriversAndServices, SERVICE_STATE_ALL,
                                         reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data()),
                                         size, &needed, &count, &resume));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
        return;
    }
    std::vector<std::string> names;
    bool sawPartial = false;
    for (int round = 0; round < 1000; ++round) {
        count = 0;
        SetLastError(contract::kMarker);
        BOOL done = EnumServicesStatusA(manager, kDriversAndServices, SERVICE_STATE_ALL,
                                        reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data()),
                                        size, &needed, &count, &resume);
        auto* records = reinterpret_cast<ENUM_SERVICE_STATUSA*>(buffer.data());
        for (DWORD i = 0; i < count; ++i)
            names.push_back(records[i].lpServiceName);
        if (done)
            break;
        ASSERT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), GetLastError());
        sawPartial = true;
        if (needed > size) {
            size = needed;
            buffer.resize(needed);
        }
    }
    EXPECT_TRUE(sawPartial);
    EXPECT_EQ(total, names.size());
    int ours = 0;
    for (auto& name : names)
        ours += (name == kService || name == kSecond) ? 1 : 0;
    EXPECT_EQ(2, ours);
}

TEST_F(ServiceContract, ListingFiltersByStateAndType) {
    EXPECT_NE(nullptr,
              FindListed(ListServices(manager, SERVICE_WIN32, SERVICE_INACTIVE), kService));
    EXPECT_EQ(nullptr, FindListed(ListServices(manager, SERVICE_WIN32, SERVICE_ACTIVE), kService));
    EXPECT_EQ(nullptr,
              FindListed(ListServices(manager, SERVICE_DRIVER, SERVICE_STATE_ALL), kService));
}

TEST_F(ServiceContract, OpenFindsTheKeyNameInAnyCaseButNotTheDisplayName) {
    SC_HANDLE upper = OpenServiceA(manager, "KELVANECONTRACTSVC", SERVICE_QUERY_STATUS);
    EXPECT_NE(nullptr, upper) << GetLastError();
    if (upper)
        CloseServiceHandle(upper);

    SetLastError(contract::kMarker);
    EXPECT_EQ(nullptr, OpenServiceA(manager, kDisplay, SERVICE_QUERY_STATUS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), GetLastError());
}

TEST_F(ServiceContract, ConfigurationNamesTheProgramAfterASizingCall) {
    SetLastError(contract::kMarker);
    DWORD needed = 0;
    EXPECT_FALSE(QueryServiceConfigA(service, nullptr, 0, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    ASSERT_GT(needed, static_cast<DWORD>(sizeof(QUERY_SERVICE_CONFIGA)));

    std::vector<char> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    ASSERT_TRUE(QueryServiceConfigA(service, config, needed, &needed)) << GetLastError();
    EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), config->dwServiceType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), config->dwStartType);
    EXPECT_STREQ(ServiceProgram().c_str(), config->lpBinaryPathName);
    EXPECT_STREQ(kDisplay, config->lpDisplayName);
}

TEST_F(ServiceContract, OpenOfAMissingServiceFails) {
    SetLastError(contract::kMarker);
    EXPECT_EQ(nullptr, OpenServiceA(manager, "KelvaneNoSuchService", SERVICE_ALL_ACCESS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), GetLastError());
}

TEST_F(ServiceContract, DatabaseLockIsHeldUntilReleased) {
    SC_LOCK lock = LockServiceDatabase(manager);
    ASSERT_NE(nullptr, lock) << GetLastError();
    if (KV_WINE_DIFFERS("Wine's lock is a no-op that is always granted, as since Windows Vista")) {
        EXPECT_TRUE(UnlockServiceDatabase(lock));
        return;
    }
    SetLastError(contract::kMarker);
    SC_LOCK again = LockServiceDatabase(manager);
    EXPECT_EQ(nullptr, again);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DATABASE_LOCKED), GetLastError());
    if (again)
        UnlockServiceDatabase(again);
    EXPECT_TRUE(UnlockServiceDatabase(lock));

    lock = LockServiceDatabase(manager);
    EXPECT_NE(nullptr, lock) << GetLastError();
    if (lock) {
        EXPECT_TRUE(UnlockServiceDatabase(lock));
    }
}

TEST_F(ServiceContract, ManagerOpenedForReadingCannotLock) {
    SC_HANDLE reader = OpenSCManagerA(nullptr, nullptr, GENERIC_READ);
    ASSERT_NE(nullptr, reader) << GetLastError();
    SetLastError(contract::kMarker);
    SC_LOCK lock = LockServiceDatabase(reader);
    if (KV_WINE_DIFFERS("Wine's lock is a no-op that is always granted, as since Windows Vista")) {
        EXPECT_NE(nullptr, lock);
    } else {
        EXPECT_EQ(nullptr, lock);
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    }
    if (lock)
        UnlockServiceDatabase(lock);
    CloseServiceHandle(reader);
}

TEST_F(ServiceContract, StopOfAServiceThatNeverRanIsNotActive) {
    SERVICE_STATUS status = {};
    SetLastError(contract::kMarker);
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE), GetLastError());
}

TEST_F(ServiceContract, StopControlEndsARunningService) {
    ASSERT_TRUE(StartServiceA(service, 0, nullptr)) << GetLastError();
    ASSERT_TRUE(WaitForState(service, SERVICE_RUNNING));

    SERVICE_STATUS status = {};
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status)) << GetLastError();
    EXPECT_TRUE(status.dwCurrentState == SERVICE_STOP_PENDING ||
                status.dwCurrentState == SERVICE_STOPPED)
        << status.dwCurrentState;
    EXPECT_TRUE(WaitForState(service, SERVICE_STOPPED));

    SetLastError(contract::kMarker);
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE), GetLastError());
}
