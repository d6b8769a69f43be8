// Named mutexes of the simulated kernel: one namespace for the whole machine, so that a second
// creation under a name that exists opens the same object and says ERROR_ALREADY_EXISTS.
#include "core.h"

#include <map>
#include <string>

namespace {

struct MutexObject : simcore::Object {};

// Names are compared as Windows compares object names: with letter case.
std::map<std::string, std::weak_ptr<MutexObject>>& Names() {
    static std::map<std::string, std::weak_ptr<MutexObject>> names;
    return names;
}

void ResetMutexes() {
    simcore::Guard guard(simcore::MachineLock());
    Names().clear();
}

simcore::ResetHook hook(ResetMutexes);

} // namespace

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) {
    SIM_API_ENTRY(error, simcore::FailWith(error, nullptr));
    std::shared_ptr<MutexObject> object;
    bool existed = false;
    if (name && *name) {
        object = Names()[name].lock();
        existed = object != nullptr;
    }
    if (!object) {
        object = std::make_shared<MutexObject>();
        if (name && *name)
            Names()[name] = object;
    }
    HANDLE handle = simcore::AddHandle(object);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}
