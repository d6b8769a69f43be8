// COM and WMI behaviour the Security Center step relies on: per-thread initialisation, the
// locator, namespaces by path, instance deletion, GUID text and BSTRs.
#include "contract.h"

#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <cwchar>

namespace {

// COM for the test's thread, undone at the end of the test.
class WmiContract : public contract::Test {
protected:
    void SetUp() override {
        contract::Test::SetUp();
        HRESULT hr = CoInitialize(nullptr);
        ASSERT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
    }
    void TearDown() override { CoUninitialize(); }

    IWbemLocator* Locator() {
        IWbemLocator* locator = nullptr;
        HRESULT hr =
            CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                             IID_IWbemLocator, reinterpret_cast<LPVOID*>(&locator));
        EXPECT_EQ(S_OK, hr);
        return locator;
    }

    HRESULT Connect(const wchar_t* path, IWbemServices** services) {
        IWbemLocator* locator = Locator();
        if (!locator)
            return E_FAIL;
        BSTR resource = SysAllocString(path);
        HRESULT hr = locator->ConnectServer(resource, nullptr, nullptr, nullptr, 0, nullptr,
                                            nullptr, services);
        SysFreeString(resource);
        locator->Release();
        return hr;
    }
};

DWORD WINAPI CreateWithoutCom(LPVOID result) {
    void* object = nullptr;
    *static_cast<HRESULT*>(result) =
        CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                         IID_IWbemLocator, &object);
    if (object)
        static_cast<IUnknown*>(object)->Release();
    return 0;
}

} // namespace

TEST_F(WmiContract, SecondInitialisationOnTheThreadReportsFalse) {
    EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
    CoUninitialize();
}

TEST_F(WmiContract, ThreadWithoutComCannotCreateTheLocator) {
    HRESULT result = S_OK;
    HANDLE thread = CreateThread(nullptr, 0, CreateWithoutCom, &result, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(thread, INFINITE));
    CloseHandle(thread);
    EXPECT_EQ(CO_E_NOTINITIALIZED, result);
}

TEST_F(WmiContract, UnknownClassIsNotRegistered) {
    const CLSID unknown = {
        0x4B564E4F, 0x434C, 0x5353, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(unknown, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, &object));
    EXPECT_EQ(nullptr, object);
}

TEST_F(WmiContract, MissingNamespaceCannotBeOpened) {
    IWbemServices* services = nullptr;
    EXPECT_EQ(WBEM_E_INVALID_NAMESPACE, Connect(L"\\\\.\\root\\KelvaneMissing", &services));
    EXPECT_EQ(nullptr, services);
}

TEST_F(WmiContract, SecurityCenterNamespaceDeletesOnlyInstancesItHas) {
    IWbemServices* services = nullptr;
    HRESULT hr = Connect(L"\\\\.\\ROOT\\securitycenter", &services);
    EXPECT_WINDOWS_OR_WINE(hr, WBEM_S_NO_ERROR, WBEM_E_INVALID_NAMESPACE);
    if (!services)
        return;
    BSTR path =
        SysAllocString(L"AntiVirusProduct.instanceGuid=\"{4B564E4F-0000-0000-0000-000000000001}\"");
    EXPECT_EQ(WBEM_E_NOT_FOUND, services->DeleteInstance(path, 0, nullptr, nullptr));
    SysFreeString(path);
    services->Release();
}

TEST_F(WmiContract, GuidTextIsBracedUpperCaseHex) {
    const GUID guid = {
        0x0123abcd, 0x4567, 0x89ef, {0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10}};
    OLECHAR text[128];
    EXPECT_EQ(39, StringFromGUID2(guid, text, 128));
    EXPECT_EQ(0, wcscmp(L"{0123ABCD-4567-89EF-FEDC-BA9876543210}", text));
    EXPECT_EQ(39, StringFromGUID2(guid, text, 39));
    EXPECT_EQ(0, StringFromGUID2(guid, text, 38));
}

