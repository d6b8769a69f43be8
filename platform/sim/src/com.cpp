// Simulated COM run time: per-thread initialisation, instance creation, GUID text and BSTRs.
#include "com_classes.h"
#include "core.h"

#include "sim/control_wmi.h"

#include <oleauto.h>
#include <wbemidl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <set>

const IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

struct ComState {
    std::map<DWORD, int> initialised; // thread id → outstanding CoInitialize calls
    std::set<BSTR> bstrs;
    int invalidFrees = 0;
};

ComState& State() {
    static ComState state;
    return state;
}

void ResetCom() {
    // BSTRs still live belong to a test that leaked them; forgetting them only leaks memory.
    State() = ComState();
}

simcore::ResetHook hook(ResetCom);

// A BSTR carries its byte length in the four bytes before the text, as on Windows.
constexpr size_t kPrefix = sizeof(DWORD) < alignof(OLECHAR) ? alignof(OLECHAR) : sizeof(DWORD);

} // namespace

namespace sim {

int ComInitCount() {
    simcore::Guard guard(simcore::MachineLock());
    int total = 0;
    for (auto& entry : State().initialised)
        total += entry.second;
    return total;
}

int LiveBstrs() {
    simcore::Guard guard(simcore::MachineLock());
    return static_cast<int>(State().bstrs.size());
}

int InvalidBstrFrees() {
    simcore::Guard guard(simcore::MachineLock());
    return State().invalidFrees;
}

} // namespace sim

HRESULT WINAPI CoInitialize(LPVOID reserved) {
    SIM_API_ENTRY(error, error ? static_cast<HRESULT>(error) : E_FAIL);
    if (reserved)
        return E_INVALIDARG;
    int& count = State().initialised[GetCurrentThreadId()];
    return count++ == 0 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize(void) {
    simcore::Guard guard(simcore::MachineLock());
    auto it = State().initialised.find(GetCurrentThreadId());
    if (it != State().initialised.end() && it->second > 0)
        --it->second;
}

HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                                LPVOID* object) {
    simcore::Guard guard(simcore::MachineLock());
    if (!object)
        return E_POINTER;
    *object = nullptr;
    auto it = State().initialised.find(GetCurrentThreadId());
    if (it == State().initialised.end() || it->second == 0)
        return CO_E_NOTINITIALIZED;
    SIM_API_FAULT(error, error ? static_cast<HRESULT>(error) : E_FAIL);
    if (outer)
        return CLASS_E_NOAGGREGATION;
    if (clsid != CLSID_WbemLocator || !(context & (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER)))
        return REGDB_E_CLASSNOTREG;
    return simcom::CreateWbemLocator(iid, object);
}

int WINAPI StringFromGUID2(REFGUID guid, LPOLESTR text, int size) {
    constexpr int kLength = 39; // braces, 32 digits, 4 dashes and the terminator
    if (!text || size < kLength)
        return 0;
    char narrow[kLength + 1];
    snprintf(narrow, sizeof(narrow), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
             guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
             guid.Data4[6], guid.Data4[7]);
    for (int i = 0; i < kLength; ++i)
        text[i] = static_cast<OLECHAR>(narrow[i]);
    return kLength;
}

BSTR WINAPI SysAllocString(const OLECHAR* text) {
    if (!text)
        return nullptr;
    SIM_API_ENTRY(error, nullptr);
    size_t length = wcslen(text);
    char* block = static_cast<char*>(malloc(kPrefix + (length + 1) * sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    DWORD bytes = static_cast<DWORD>(length * sizeof(OLECHAR));
    memcpy(block + kPrefix - sizeof(DWORD), &bytes, sizeof(bytes));
    BSTR result = reinterpret_cast<BSTR>(block + kPrefix);
    memcpy(result, text, (length + 1) * sizeof(OLECHAR));
    State().bstrs.insert(result);
    return result;
}

void WINAPI SysFreeString(BSTR text) {
    simcore::Guard guard(simcore::MachineLock());
    if (!text)
        return;
    // A pointer that is not a live BSTR (freed twice, never allocated) is counted, not freed:
    // on Windows it would corrupt the heap.
    if (!State().bstrs.erase(text)) {
        ++State().invalidFrees;
        return;
    }
    free(reinterpret_cast<char*>(text) - kPrefix);
}
