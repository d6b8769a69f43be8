// The simulated COM and WMI beyond what Wine can show: the Security Center namespace with
// instances, namespace paths, the per-thread initialisation balance, references and faults.
#include "contract.h"

#include "sim/sim.h"

#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <thread>

namespace {

const char kAntiVirus[] =
    "AntiVirusProduct.instanceGuid=\"{11111111-2222-3333-4444-555555555555}\"";
const char kFirewall[] = "FirewallProduct.instanceGuid=\"{66666666-7777-8888-9999-AAAAAAAAAAAA}\"";

std::wstring Wide(const char* text) {
    return std::wstring(text, text + strlen(text));
}

class SimWmi : public contract::Test {
protected:
    void SetUp() override {
        contract::Test::SetUp();
        ASSERT_EQ(S_OK, CoInitialize(nullptr));
    }
    void TearDown() override { CoUninitialize(); }

    HRESULT Connect(const wchar_t* path, IWbemServices** services) {
        IWbemLocator* locator = nullptr;
        HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IWbemLocator, reinterpret_cast<LPVOID*>(&locator));
        if (FAILED(hr))
            return hr;
        BSTR resource = SysAllocString(path);
        hr = locator->ConnectServer(resource, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                    services);
        SysFreeString(resource);
        locator->Release();
        return hr;
    }

    HRESULT Delete(IWbemServices* services, const char* path) {
        BSTR text = SysAllocString(Wide(path).c_str());
        HRESULT hr = services->DeleteInstance(text, 0, nullptr, nullptr);
        SysFreeString(text);
        return hr;
    }
};

} // namespace

TEST_F(SimWmi, DeleteInstanceRemovesOnlyTheNamedInstance) {
    sim::AddWmiInstance("root\\SecurityCenter", kAntiVirus);
    sim::AddWmiInstance("root\\SecurityCenter", kFirewall);
    IWbemServices* services = nullptr;
    ASSERT_EQ(WBEM_S_NO_ERROR, Connect(L"\\\\.\\root\\SecurityCenter", &services));
    EXPECT_EQ(WBEM_S_NO_ERROR, Delete(services, kAntiVirus));
    EXPECT_EQ(std::vector<std::string>{kFirewall}, sim::WmiInstances("root\\SecurityCenter"));
    EXPECT_EQ(WBEM_E_NOT_FOUND, Delete(services, kAntiVirus));
    EXPECT_EQ(WBEM_E_INVALID_OBJECT_PATH, Delete(services, "AntiVirusProduct"));
    services->Release();
}

TEST_F(SimWmi, NamespaceRemovedWhileConnectedFailsTheDeletion) {
    sim::AddWmiInstance("root\\SecurityCenter", kAntiVirus);
    IWbemServices* services = nullptr;
    ASSERT_EQ(WBEM_S_NO_ERROR, Connect(L"\\\\.\\root\\SecurityCenter", &services));
    sim::RemoveNamespace("root\\SecurityCenter");
    EXPECT_EQ(WBEM_E_INVALID_NAMESPACE, Delete(services, kAntiVirus));
    services->Release();
    IWbemServices* again = nullptr;
    EXPECT_EQ(WBEM_E_INVALID_NAMESPACE, Connect(L"\\\\.\\root\\SecurityCenter", &again));
}

TEST_F(SimWmi, InitialisationsAreCountedPerThread) {
    EXPECT_EQ(1, sim::ComInitCount());
    EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
    HRESULT other = E_FAIL;
    int during = 0, after = 0;
    std::thread([&] {
        other = CoInitialize(nullptr);
        during = sim::ComInitCount();
        CoUninitialize();
        after = sim::ComInitCount();
    }).join();
    EXPECT_EQ(S_OK, other);
    EXPECT_EQ(3, during);
    EXPECT_EQ(2, after);
    CoUninitialize();
    EXPECT_EQ(1, sim::ComInitCount());
    // A thread that never initialised COM cannot undo another thread's initialisation.
    std::thread([] { CoUninitialize(); }).join();
    EXPECT_EQ(1, sim::ComInitCount());
}

TEST_F(SimWmi, ReferencesKeepObjectsUntilTheLastRelease) {
    IWbemLocator* locator = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_LOCAL_SERVER,
                                     IID_IWbemLocator, reinterpret_cast<LPVOID*>(&locator)));
    EXPECT_EQ(1, sim::LiveComObjects());
    EXPECT_EQ(2u, locator->AddRef());
    EXPECT_EQ(1u, locator->Release());
    BSTR path = SysAllocString(L"root\\SecurityCenter");
    IWbemServices* services = nullptr;
    ASSERT_EQ(WBEM_S_NO_ERROR, locator->ConnectServer(path, nullptr, nullptr, nullptr, 0, nullptr,
                                                      nullptr, &services));
    EXPECT_EQ(2, sim::LiveComObjects());
    EXPECT_EQ(0u, locator->Release());
    EXPECT_EQ(0u, services->Release());
    EXPECT_EQ(0, sim::LiveComObjects());
    EXPECT_EQ(1, sim::LiveBstrs());
    SysFreeString(path);
    EXPECT_EQ(0, sim::LiveBstrs());
    SysFreeString(path);
    EXPECT_EQ(1, sim::InvalidBstrFrees());
}

TEST_F(SimWmi, FaultsOnRequest) {
    CoUninitialize();
    sim::InjectFault("CoInitialize", static_cast<DWORD>(E_OUTOFMEMORY));
    EXPECT_EQ(E_OUTOFMEMORY, CoInitialize(nullptr));
    EXPECT_EQ(0, sim::ComInitCount());
    ASSERT_EQ(S_OK, CoInitialize(nullptr));

    sim::InjectFault("SysAllocString", 0);
    EXPECT_EQ(nullptr, SysAllocString(L"x"));
    sim::InjectFault("CoCreateInstance", static_cast<DWORD>(0x80070005L));
    IWbemServices* services = nullptr;
    EXPECT_EQ(static_cast<HRESULT>(0x80070005L), Connect(L"root\\SecurityCenter", &services));
    sim::InjectFault("ConnectServer", static_cast<DWORD>(WBEM_E_ACCESS_DENIED));
    EXPECT_EQ(WBEM_E_ACCESS_DENIED, Connect(L"root\\SecurityCenter", &services));
    EXPECT_EQ(nullptr, services);
    EXPECT_EQ(0, sim::LiveComObjects());
}
