// The Security Center step: COM start-up for the worker thread, the connection to its WMI
// namespace and the deletion of the product's two instances.
#include "security_center.h"

#include "helper.h"
#include "owned.h"
#include "security_center_ids.h"

#include <oleauto.h>

#include <cstring>
#include <cwchar>

namespace {

const int kGuidTextChars = 128;
const int kObjectPathChars = 228;
const wchar_t kNamespace[] = L"\\\\.\\root\\SecurityCenter";

// Deletes the instance whose object path `format` builds from the instance GUID's text.
HRESULT DeleteProductInstance(const GUID& instance, const wchar_t* format) {
    OwnedCom<IWbemServices> services;
    HRESULT result = ConnectSecurityCenter(services.out());
    if (FAILED(result))
        return result;
    if (!services)
        return E_POINTER;

    OLECHAR guidText[kGuidTextChars];
    guidText[0] = L'\0';
    StringFromGUID2(instance, guidText, kGuidTextChars);

    wchar_t path[kObjectPathChars];
    int written = swprintf(path, kObjectPathChars, format, guidText);
    if (written > 0) {
        OwnedBstr objectPath(SysAllocString(path));
        if (!objectPath)
            result = E_OUTOFMEMORY;
        else
            result = services.get()->DeleteInstance(objectPath.get(), 0, nullptr, nullptr);
    }
    return result;
}

} // namespace

int UnregisterSecurityCenter() {
    if (GetPlatformId() != VER_PLATFORM_WIN32_NT)
        return 0;
    DWORD init = SecurityCenterInit();
    if (init != 0)
        return static_cast<int>(init);
    // A failed first deletion does not stop the second.
    DeleteAntiVirusProduct();
    DeleteFirewallProduct();
    SecurityCenterUninit();
    return 0;
}

int IsSecurityCenterUnavailable() {
    OSVERSIONINFOEXA version;
    memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    // A system that cannot describe itself this way predates the Security Center.
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version)))
        return 1;
    if (version.dwMajorVersion < 5)
        return 1;
    if (version.dwMajorVersion == 5 && version.dwMinorVersion == 0)
        return 1;
    if (version.dwMajorVersion == 5 && version.dwMinorVersion == 1 && version.wServicePackMajor < 2)
        return 1;
    return 0;
}

DWORD SecurityCenterInit() {
    if (IsSecurityCenterUnavailable())
        return ERROR_CAN_NOT_COMPLETE;
    // S_FALSE (already initialised on this thread) is a success that still needs balancing.
    if (FAILED(CoInitialize(nullptr)))
        return ERROR_CAN_NOT_COMPLETE;
    return 0;
}

void SecurityCenterUninit() {
    if (!IsSecurityCenterUnavailable())
        CoUninitialize();
}

HRESULT ConnectSecurityCenter(IWbemServices** services) {
    OwnedCom<IWbemLocator> locator;
    HRESULT result =
        CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                         IID_IWbemLocator, reinterpret_cast<LPVOID*>(locator.out()));
    if (FAILED(result))
        return result;
    if (!locator)
        return E_POINTER;

    OwnedBstr name(SysAllocString(kNamespace));
    if (!name)
        return E_OUTOFMEMORY;
    return locator.get()->ConnectServer(name.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                        services);
}

HRESULT DeleteAntiVirusProduct() {
    return DeleteProductInstance(kAntiVirusInstanceGuid, L"AntiVirusProduct.instanceGuid=\"%ls\"");
}

HRESULT DeleteFirewallProduct() {
    return DeleteProductInstance(kFirewallInstanceGuid, L"FirewallProduct.instanceGuid=\"%ls\"");
}
