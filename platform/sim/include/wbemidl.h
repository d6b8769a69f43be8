// Stand-in for the SDK's wbemidl.h on the native target: the WMI locator and the one services
// call this program makes.
#pragma once

#include <objbase.h>
#include <oleauto.h>

#define WBEM_S_NO_ERROR 0
#define WBEM_E_FAILED ((HRESULT)0x80041001L)
#define WBEM_E_NOT_FOUND ((HRESULT)0x80041002L)
#define WBEM_E_ACCESS_DENIED ((HRESULT)0x80041003L)
#define WBEM_E_INVALID_PARAMETER ((HRESULT)0x80041008L)
#define WBEM_E_INVALID_NAMESPACE ((HRESULT)0x8004100EL)
#define WBEM_E_INVALID_OBJECT_PATH ((HRESULT)0x8004103AL)

struct IWbemContext;
struct IWbemCallResult;

struct IWbemServices : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR objectPath, LONG flags,
                                                     IWbemContext* context,
                                                     IWbemCallResult** callResult) = 0;
};

struct IWbemLocator : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR networkResource, const BSTR user,
                                                    const BSTR password, const BSTR locale,
                                                    LONG securityFlags, const BSTR authority,
                                                    IWbemContext* context,
                                                    IWbemServices** services) = 0;
};

extern const CLSID CLSID_WbemLocator;
extern const IID IID_IWbemLocator;
extern const IID IID_IWbemServices;
