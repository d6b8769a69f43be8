// Simulated WMI: the locator, namespaces reached by path, and instances deleted by object path.
#include "com_classes.h"
#include "core.h"

#include "sim/control_wmi.h"

#include <wbemidl.h>

#include <atomic>
#include <map>
#include <vector>

const CLSID CLSID_WbemLocator = {
    0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID IID_IWbemLocator = {
    0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID IID_IWbemServices = {
    0x9556DC99, 0x828C, 0x11CF, {0xA3, 0x7E, 0x00, 0xAA, 0x00, 0x32, 0x40, 0xC7}};

namespace {

// The HRESULT of RPC_S_SERVER_UNAVAILABLE: a namespace path naming another computer.
constexpr HRESULT kServerUnavailable = static_cast<HRESULT>(0x800706BAL);

struct WmiState {
    std::map<std::string, std::vector<std::string>, simcore::LessNoCase> namespaces;
    int liveObjects = 0;
    unsigned epoch = 0;
};

WmiState Fresh(unsigned epoch) {
    WmiState state;
    state.namespaces["root\\SecurityCenter"];
    state.epoch = epoch;
    return state;
}

WmiState& State() {
    static WmiState state = Fresh(0);
    return state;
}

void ResetWmi() {
    // Objects of an earlier machine no longer count when they are released.
    State() = Fresh(State().epoch + 1);
}

simcore::ResetHook hook(ResetWmi);

// "\\\\.\\root\\X", "//./root/X" and "root\\X" name the same namespace; trailing separators go.
std::string CanonicalNamespace(std::string path) {
    for (char& c : path)
        if (c == '/')
            c = '\\';
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

// Narrow copy of a wide text holding only ASCII; false for anything else.
bool Narrow(const OLECHAR* text, std::string* out) {
    out->clear();
    for (; *text; ++text) {
        if (*text < 1 || *text > 0x7E)
            return false;
        out->push_back(static_cast<char>(*text));
    }
    return true;
}

// Class.key=value, or Class=@ for a singleton.
bool WellFormedObjectPath(const std::string& path) {
    size_t equals = path.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == path.size())
        return false;
    if (path.compare(equals, 2, "=@") == 0)
        return true;
    size_t dot = path.find('.');
    return dot != std::string::npos && dot > 0 && dot + 1 < equals;
}

// Reference counting shared by the simulated COM objects.
template <class Interface> class ComObject : public Interface {
public:
    ComObject() : m_epoch(State().epoch) { ++State().liveObjects; }
    ~ComObject() override {
        simcore::Guard guard(simcore::MachineLock());
        if (m_epoch == State().epoch)
            --State().liveObjects;
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    HRESULT Answer(REFIID asked, REFIID own, void** object) {
        if (!object)
            return E_POINTER;
        if (asked != IID_IUnknown && asked != own) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *object = static_cast<Interface*>(this);
        return S_OK;
    }

private:
    std::atomic<ULONG> m_references{1};
    unsigned m_epoch;
};

class Services : public ComObject<IWbemServices> {
public:
    explicit Services(std::string name) : m_namespace(std::move(name)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return Answer(iid, IID_IWbemServices, object);
    }

    HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR objectPath, LONG, IWbemContext*,
                                             IWbemCallResult** callResult) override {
        simcore::Guard guard(simcore::MachineLock());
        if (callResult)
            *callResult = nullptr;
        SIM_API_FAULT(error, error ? static_cast<HRESULT>(error) : WBEM_E_FAILED);
        if (!objectPath)
            return WBEM_E_INVALID_PARAMETER;
        std::string path;
        if (!Narrow(objectPath, &path) || !WellFormedObjectPath(path))
            return WBEM_E_INVALID_OBJECT_PATH;
        auto ns = State().namespaces.find(m_namespace);
        if (ns == State().namespaces.end())
            return WBEM_E_INVALID_NAMESPACE;
        for (auto it = ns->second.begin(); it != ns->second.end(); ++it) {
            if (simcore::EqualNoCase(*it, path)) {
                ns->second.erase(it);
                return WBEM_S_NO_ERROR;
            }
        }
        return WBEM_E_NOT_FOUND;
    }

private:
    std::string m_namespace;
};

class Locator : public ComObject<IWbemLocator> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return Answer(iid, IID_IWbemLocator, object);
    }

    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR resource, const BSTR, const BSTR, const BSTR,
                                            LONG, const BSTR, IWbemContext*,
                                            IWbemServices** services) override {
        simcore::Guard guard(simcore::MachineLock());
        if (!services)
            return WBEM_E_INVALID_PARAMETER;
        *services = nullptr;
        SIM_API_FAULT(error, error ? static_cast<HRESULT>(error) : WBEM_E_FAILED);
        if (!resource)
            return WBEM_E_INVALID_PARAMETER;
        std::string path;
        if (!Narrow(resource, &path))
            return WBEM_E_INVALID_NAMESPACE;
        path = CanonicalNamespace(path);
        if (path.compare(0, 2, "\\\\") == 0) {
            size_t end = path.find('\\', 2);
            std::string computer = path.substr(2, end == std::string::npos ? end : end - 2);
            if (computer != "." && !simcore::EqualNoCase(computer, "localhost"))
                return kServerUnavailable;
            path = end == std::string::npos ? "" : path.substr(end + 1);
        }
        auto ns = State().namespaces.find(path);
        if (ns == State().namespaces.end())
            return WBEM_E_INVALID_NAMESPACE;
        *services = new Services(ns->first);
        return WBEM_S_NO_ERROR;
    }
};

} // namespace

namespace simcom {

HRESULT CreateWbemLocator(REFIID iid, void** object) {
    Locator* locator = new Locator();
    HRESULT result = locator->QueryInterface(iid, object);
    locator->Release();
    return result;
}

} // namespace simcom

namespace sim {

void AddNamespace(const char* name) {
    simcore::Guard guard(simcore::MachineLock());
    State().namespaces[CanonicalNamespace(name ? name : "")];
}

void RemoveNamespace(const char* name) {
    simcore::Guard guard(simcore::MachineLock());
    State().namespaces.erase(CanonicalNamespace(name ? name : ""));
}

void AddWmiInstance(const char* name, const char* objectPath) {
    simcore::Guard guard(simcore::MachineLock());
    State().namespaces[CanonicalNamespace(name ? name : "")].push_back(objectPath ? objectPath
                                                                                  : "");
}

std::vector<std::string> WmiInstances(const char* name) {
    simcore::Guard guard(simcore::MachineLock());
    auto ns = State().namespaces.find(CanonicalNamespace(name ? name : ""));
    return ns == State().namespaces.end() ? std::vector<std::string>() : ns->second;
}

int LiveComObjects() {
    simcore::Guard guard(simcore::MachineLock());
    return State().liveObjects;
}

} // namespace sim
