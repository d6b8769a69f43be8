// Simulated service control manager: installed services and drivers, handles, listing, the
// database lock and the stop, start, create and delete requests.
#include "core.h"

#include "sim/control_services.h"

#include <cstring>
#include <map>
#include <vector>

namespace {

struct Service {
    sim::ServiceRecord record;
    std::string binaryPath;
    bool denied = false;
    bool markedForDelete = false;
};

struct ScObject : simcore::Object {
    DWORD access = 0;
};
struct ManagerObject : ScObject {};
struct ServiceObject : ScObject {
    std::string name;
};
struct LockObject : simcore::Object {};

struct ServiceDb {
    std::map<std::string, Service, simcore::LessNoCase> services;
    bool denyManager = false;
    bool refuseLock = false;
    bool locked = false;
    std::vector<std::string> stopRequests;
    std::vector<std::weak_ptr<ScObject>> handles;
};

ServiceDb& Db() {
    static ServiceDb db;
    return db;
}

void ResetServices() {
    Db() = ServiceDb();
}

simcore::ResetHook hook(ResetServices);

constexpr DWORD kGenericRights = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL;
constexpr size_t kMaxServiceName = 256;

DWORD ManagerRights(DWORD access) {
    DWORD granted = (access & ~kGenericRights) | SC_MANAGER_CONNECT;
    if (access & GENERIC_READ)
        granted |=
            STANDARD_RIGHTS_READ | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;
    if (access & GENERIC_WRITE)
        granted |=
            STANDARD_RIGHTS_WRITE | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG;
    if (access & GENERIC_EXECUTE)
        granted |= SC_MANAGER_CONNECT | SC_MANAGER_LOCK;
    if (access & GENERIC_ALL)
        granted |= SC_MANAGER_ALL_ACCESS;
    return granted;
}

DWORD ServiceRights(DWORD access) {
    DWORD granted = access & ~kGenericRights;
    if (access & GENERIC_READ)
        granted |= STANDARD_RIGHTS_READ | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
                   SERVICE_INTERROGATE | SERVICE_ENUMERATE_DEPENDENTS;
    if (access & GENERIC_WRITE)
        granted |= STANDARD_RIGHTS_WRITE | SERVICE_CHANGE_CONFIG;
    if (access & GENERIC_EXECUTE)
        granted |=
            SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_USER_DEFINED_CONTROL;
    if (access & GENERIC_ALL)
        granted |= SERVICE_ALL_ACCESS;
    return granted;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

HANDLE AsHandle(SC_HANDLE handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::shared_ptr<ManagerObject> Manager(SC_HANDLE handle) {
    return simcore::HandleAs<ManagerObject>(AsHandle(handle));
}

SC_HANDLE Register(const std::shared_ptr<ScObject>& object) {
    Db().handles.push_back(object);
    return reinterpret_cast<SC_HANDLE>(simcore::AddHandle(object));
}

// The installed service behind a service handle; null (with the error set) when the handle is
// not a service handle or the service has gone.
Service* Target(SC_HANDLE handle, DWORD needed) {
    auto object = simcore::HandleAs<ServiceObject>(AsHandle(handle));
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((object->access & needed) != needed) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto it = Db().services.find(object->name);
    if (it == Db().services.end()) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    return &it->second;
}

int OpenHandlesTo(const std::string& name) {
    int count = 0;
    for (auto& weak : Db().handles) {
        auto service = std::dynamic_pointer_cast<ServiceObject>(weak.lock());
        if (service && simcore::EqualNoCase(service->name, name))
            ++count;
    }
    return count;
}

// A service marked for deletion leaves the database once it is stopped and no handle is open.
void PurgeDeleted() {
    auto& services = Db().services;
    for (auto it = services.begin(); it != services.end();) {
        const Service& s = it->second;
        if (s.markedForDelete && s.record.state == SERVICE_STOPPED &&
            OpenHandlesTo(s.record.name) == 0)
            it = services.erase(it);
        else
            ++it;
    }
}

void FillStatus(const Service& service, DWORD state, LPSERVICE_STATUS status) {
    memset(status, 0, sizeof(*status));
    status->dwServiceType = service.record.type;
    status->dwCurrentState = state;
    if (state == SERVICE_RUNNING && service.record.acceptsStop)
        status->dwControlsAccepted = SERVICE_ACCEPT_STOP;
    if (state == SERVICE_STOP_PENDING)
        status->dwWaitHint = 2000;
}

bool HasRunningDependant(const Service& service) {
    for (auto& entry : Db().services) {
        const sim::ServiceRecord& other = entry.second.record;
        if (other.state == SERVICE_STOPPED)
            continue;
        for (auto& needed : other.dependsOn)
            if (simcore::EqualNoCase(needed, service.record.name))
                return true;
    }
    return false;
}

BOOL Stop(Service& service, LPSERVICE_STATUS status) {
    Db().stopRequests.push_back(service.record.name);
    DWORD state = service.record.state;
    if (state == SERVICE_STOPPED) {
        FillStatus(service, state, status);
        return Fail(ERROR_SERVICE_NOT_ACTIVE);
    }
    if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) {
        FillStatus(service, state, status);
        return Fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    }
    if (!service.record.acceptsStop) {
        FillStatus(service, state, status);
        return Fail(ERROR_INVALID_SERVICE_CONTROL);
    }
    if (HasRunningDependant(service))
        return Fail(ERROR_DEPENDENT_SERVICES_RUNNING);
    // The caller sees the stop under way; the simulated service has ended by its next query.
    FillStatus(service, SERVICE_STOP_PENDING, status);
    service.record.state = SERVICE_STOPPED;
    return TRUE;
}

bool ValidName(LPCSTR name) {
    if (!name || !*name || strlen(name) > kMaxServiceName)
        return false;
    return !strchr(name, '\\') && !strchr(name, '/');
}

bool ValidType(DWORD type) {
    DWORD base = type & ~SERVICE_INTERACTIVE_PROCESS;
    if (base == SERVICE_KERNEL_DRIVER || base == SERVICE_FILE_SYSTEM_DRIVER)
        return !(type & SERVICE_INTERACTIVE_PROCESS);
    return base == SERVICE_WIN32_OWN_PROCESS || base == SERVICE_WIN32_SHARE_PROCESS;
}

bool NameTaken(const std::string& display) {
    for (auto& entry : Db().services) {
        const sim::ServiceRecord& s = entry.second.record;
        if (simcore::EqualNoCase(s.name, display) ||
            simcore::EqualNoCase(s.displayName.empty() ? s.name : s.displayName, display))
            return true;
    }
    return false;
}

} // namespace

namespace sim {

void AddService(const ServiceRecord& service) {
    simcore::Guard guard(simcore::MachineLock());
    Service entry;
    entry.record = service;
    entry.binaryPath = service.imagePath;
    if (entry.record.displayName.empty())
        entry.record.displayName = service.name;
    Db().services[service.name] = entry;
}

void DenyServiceManager(bool deny) {
    simcore::Guard guard(simcore::MachineLock());
    Db().denyManager = deny;
}

void RefuseDatabaseLock(bool refuse) {
    simcore::Guard guard(simcore::MachineLock());
    Db().refuseLock = refuse;
}

void DenyService(const char* name, bool deny) {
    simcore::Guard guard(simcore::MachineLock());
    auto it = Db().services.find(name ? name : "");
    if (it != Db().services.end())
        it->second.denied = deny;
}

std::vector<std::string> StopRequests() {
    simcore::Guard guard(simcore::MachineLock());
    return Db().stopRequests;
}

DWORD ServiceState(const char* name) {
    simcore::Guard guard(simcore::MachineLock());
    auto it = Db().services.find(name ? name : "");
    return it == Db().services.end() ? 0 : it->second.record.state;
}

bool ServiceInstalled(const char* name) {
    return ServiceState(name) != 0;
}

bool DatabaseLocked() {
    simcore::Guard guard(simcore::MachineLock());
    return Db().locked;
}

int OpenServiceHandles() {
    simcore::Guard guard(simcore::MachineLock());
    int count = 0;
    for (auto& weak : Db().handles)
        count += weak.expired() ? 0 : 1;
    return count;
}

} // namespace sim

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access) {
    SIM_API_ENTRY(error, simcore::FailWith(error, nullptr));
    if (machine && *machine) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (database && !simcore::EqualNoCase(database, SERVICES_ACTIVE_DATABASEA)) {
        SetLastError(ERROR_DATABASE_DOES_NOT_EXIST);
        return nullptr;
    }
    if (Db().denyManager) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto object = std::make_shared<ManagerObject>();
    object->access = ManagerRights(access);
    SetLastError(ERROR_SUCCESS);
    return Register(object);
}

BOOL WINAPI EnumServicesStatusA(SC_HANDLE manager, DWORD serviceType, DWORD serviceState,
                                LPENUM_SERVICE_STATUSA services, DWORD bufferSize,
                                LPDWORD bytesNeeded, LPDWORD servicesReturned,
                                LPDWORD resumeHandle) {
    SIM_API_ENTRY(error, Fail(error));
    auto object = Manager(manager);
    if (!object)
        return Fail(ERROR_INVALID_HANDLE);
    if (!(object->access & SC_MANAGER_ENUMERATE_SERVICE))
        return Fail(ERROR_ACCESS_DENIED);
    if (!bytesNeeded || !servicesReturned || (!services && bufferSize))
        return Fail(ERROR_INVALID_PARAMETER);
    constexpr DWORD kKnownTypes = SERVICE_DRIVER | SERVICE_ADAPTER | SERVICE_WIN32;
    if (!serviceType || (serviceType & ~kKnownTypes) || !serviceState ||
        serviceState > SERVICE_STATE_ALL)
        return Fail(ERROR_INVALID_PARAMETER);

    std::vector<const Service*> matches;
    for (auto& entry : Db().services) {
        const sim::ServiceRecord& s = entry.second.record;
        bool active = s.state != SERVICE_STOPPED;
        bool stateWanted =
            active ? (serviceState & SERVICE_ACTIVE) : (serviceState & SERVICE_INACTIVE);
        if ((s.type & serviceType) && stateWanted)
            matches.push_back(&entry.second);
    }

    // Records fill the buffer from its start, their strings from its end downwards.
    DWORD first = resumeHandle ? *resumeHandle : 0;
    DWORD index = first < matches.size() ? first : static_cast<DWORD>(matches.size());
    size_t recordsEnd = 0, stringsStart = bufferSize;
    char* base = reinterpret_cast<char*>(services);
    DWORD placed = 0;
    for (; index < matches.size(); ++index) {
        const sim::ServiceRecord& s = matches[index]->record;
        size_t strings = s.name.size() + 1 + s.displayName.size() + 1;
        if (recordsEnd + sizeof(ENUM_SERVICE_STATUSA) + strings > stringsStart)
            break;
        ENUM_SERVICE_STATUSA* record = services + placed;
        recordsEnd += sizeof(ENUM_SERVICE_STATUSA);
        stringsStart -= s.name.size() + 1;
        memcpy(base + stringsStart, s.name.c_str(), s.name.size() + 1);
        record->lpServiceName = base + stringsStart;
        stringsStart -= s.displayName.size() + 1;
        memcpy(base + stringsStart, s.displayName.c_str(), s.displayName.size() + 1);
        record->lpDisplayName = base + stringsStart;
        FillStatus(*matches[index], s.state, &record->ServiceStatus);
        ++placed;
    }
    *servicesReturned = placed;
    DWORD missing = 0;
    for (size_t i = index; i < matches.size(); ++i) {
        const sim::ServiceRecord& s = matches[i]->record;
        missing += static_cast<DWORD>(sizeof(ENUM_SERVICE_STATUSA) + s.name.size() + 1 +
                                      s.displayName.size() + 1);
    }
    *bytesNeeded = missing;
    if (index < matches.size()) {
        if (resumeHandle)
            *resumeHandle = index;
        return Fail(ERROR_MORE_DATA);
    }
    if (resumeHandle)
        *resumeHandle = 0;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

SC_LOCK WINAPI LockServiceDatabase(SC_HANDLE manager) {
    SIM_API_ENTRY(error, simcore::FailWith(error, nullptr));
    auto object = Manager(manager);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!(object->access & SC_MANAGER_LOCK)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (Db().refuseLock || Db().locked) {
        SetLastError(ERROR_SERVICE_DATABASE_LOCKED);
        return nullptr;
    }
    Db().locked = true;
    return simcore::AddHandle(std::make_shared<LockObject>());
}

BOOL WINAPI UnlockServiceDatabase(SC_LOCK lock) {
    SIM_API_ENTRY(error, Fail(error));
    if (!simcore::HandleAs<LockObject>(lock))
        return Fail(ERROR_INVALID_SERVICE_LOCK);
    simcore::RemoveHandle(lock);
    Db().locked = false;
    return TRUE;
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) {
    SIM_API_ENTRY(error, simcore::FailWith(error, nullptr));
    if (!Manager(manager)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!name || strlen(name) > kMaxServiceName) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    auto it = Db().services.find(name);
    if (it == Db().services.end()) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    if (it->second.denied) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto object = std::make_shared<ServiceObject>();
    object->access = ServiceRights(access);
    object->name = it->second.record.name;
    SetLastError(ERROR_SUCCESS);
    return Register(object);
}

BOOL WINAPI ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
    SIM_API_ENTRY(error, Fail(error));
    if (!status)
        return Fail(ERROR_INVALID_PARAMETER);
    DWORD needed;
    switch (control) {
    case SERVICE_CONTROL_STOP:
        needed = SERVICE_STOP;
        break;
    case SERVICE_CONTROL_INTERROGATE:
        needed = SERVICE_INTERROGATE;
        break;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
        needed = SERVICE_PAUSE_CONTINUE;
        break;
    default:
        if (control < 128 || control > 255)
            return Fail(ERROR_INVALID_PARAMETER);
        needed = SERVICE_USER_DEFINED_CONTROL;
    }
    Service* target = Target(service, needed);
    if (!target)
        return FALSE;
    if (control == SERVICE_CONTROL_STOP)
        return Stop(*target, status);
    DWORD state = target->record.state;
    FillStatus(*target, state, status);
    if (state == SERVICE_STOPPED)
        return Fail(ERROR_SERVICE_NOT_ACTIVE);
    if (control != SERVICE_CONTROL_INTERROGATE)
        return Fail(ERROR_INVALID_SERVICE_CONTROL);
    return TRUE;
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
    SIM_API_ENTRY(error, Fail(error));
    if (!status)
        return Fail(ERROR_INVALID_PARAMETER);
    Service* target = Target(service, SERVICE_QUERY_STATUS);
    if (!target)
        return FALSE;
    FillStatus(*target, target->record.state, status);
    return TRUE;
}

BOOL WINAPI QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD size,
                                LPDWORD needed) {
    SIM_API_ENTRY(error, Fail(error));
    if (!needed)
        return Fail(ERROR_INVALID_ADDRESS);
    Service* target = Target(service, SERVICE_QUERY_CONFIG);
    if (!target)
        return FALSE;
    // The strings follow the record in the caller's buffer, each with its terminator; the
    // dependency list ends with a second one.
    const std::string texts[] = {target->binaryPath, "", std::string(1, '\0'), "LocalSystem",
                                 target->record.displayName};
    DWORD total = sizeof(QUERY_SERVICE_CONFIGA);
    for (const std::string& text : texts)
        total += static_cast<DWORD>(text.size() + 1);
    *needed = total;
    if (!config || size < total)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    char* out = reinterpret_cast<char*>(config + 1);
    LPSTR* fields[] = {&config->lpBinaryPathName, &config->lpLoadOrderGroup,
                       &config->lpDependencies, &config->lpServiceStartName,
                       &config->lpDisplayName};
    for (size_t i = 0; i < 5; ++i) {
        *fields[i] = out;
        memcpy(out, texts[i].c_str(), texts[i].size() + 1);
        out += texts[i].size() + 1;
    }
    config->dwServiceType = target->record.type;
    config->dwStartType = target->record.startType;
    config->dwErrorControl = SERVICE_ERROR_NORMAL;
    config->dwTagId = 0;
    return TRUE;
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE handle) {
    SIM_API_ENTRY(error, Fail(error));
    if (!simcore::HandleAs<ScObject>(AsHandle(handle)))
        return Fail(ERROR_INVALID_HANDLE);
    simcore::RemoveHandle(AsHandle(handle));
    PurgeDeleted();
    return TRUE;
}

SC_HANDLE WINAPI CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access,
                                DWORD serviceType, DWORD startType, DWORD, LPCSTR binaryPath,
                                LPCSTR, LPDWORD tagId, LPCSTR, LPCSTR, LPCSTR) {
    SIM_API_ENTRY(error, simcore::FailWith(error, nullptr));
    auto object = Manager(manager);
    if (!object)
        error = ERROR_INVALID_HANDLE;
    else if (!(object->access & SC_MANAGER_CREATE_SERVICE))
        error = ERROR_ACCESS_DENIED;
    else if (!ValidName(name) || (displayName && strlen(displayName) > kMaxServiceName))
        error = ERROR_INVALID_NAME;
    else if (!binaryPath || !*binaryPath || !ValidType(serviceType) ||
             startType > SERVICE_DISABLED ||
             (!(serviceType & SERVICE_DRIVER) && startType < SERVICE_AUTO_START))
        error = ERROR_INVALID_PARAMETER;
    if (error) {
        SetLastError(error);
        return nullptr;
    }
    auto existing = Db().services.find(name);
    if (existing != Db().services.end()) {
        SetLastError(existing->second.markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE
                                                      : ERROR_SERVICE_EXISTS);
        return nullptr;
    }
    std::string display = displayName && *displayName ? displayName : name;
    if (NameTaken(name) || NameTaken(display)) {
        SetLastError(ERROR_DUPLICATE_SERVICE_NAME);
        return nullptr;
    }
    if (tagId)
        *tagId = 0;
    Service entry;
    entry.record.name = name;
    entry.record.displayName = display;
    entry.record.type = serviceType;
    entry.record.state = SERVICE_STOPPED;
    entry.record.startType = startType;
    entry.binaryPath = binaryPath;
    Db().services[name] = entry;
    auto handle = std::make_shared<ServiceObject>();
    handle->access = ServiceRights(access);
    handle->name = name;
    SetLastError(ERROR_SUCCESS);
    return Register(handle);
}

BOOL WINAPI DeleteService(SC_HANDLE service) {
    SIM_API_ENTRY(error, Fail(error));
    Service* target = Target(service, DELETE);
    if (!target)
        return FALSE;
    if (target->markedForDelete)
        return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    target->markedForDelete = true;
    return TRUE;
}

BOOL WINAPI StartServiceA(SC_HANDLE service, DWORD, LPCSTR*) {
    SIM_API_ENTRY(error, Fail(error));
    Service* target = Target(service, SERVICE_START);
    if (!target)
        return FALSE;
    if (target->markedForDelete)
        return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    if (target->record.state != SERVICE_STOPPED)
        return Fail(ERROR_SERVICE_ALREADY_RUNNING);
    if (target->record.startType == SERVICE_DISABLED)
        return Fail(ERROR_SERVICE_DISABLED);
    for (auto& needed : target->record.dependsOn) {
        auto it = Db().services.find(needed);
        if (it == Db().services.end() || it->second.record.state != SERVICE_RUNNING)
            return Fail(ERROR_SERVICE_DEPENDENCY_FAIL);
    }
    target->record.state = SERVICE_RUNNING;
    return TRUE;
}
