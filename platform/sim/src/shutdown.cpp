// Beeps and restart requests of the simulated user32: recorded for the tests, nothing happens.
#include "windows_internal.h"

#include "core.h"

namespace {

struct ShutdownState {
    std::vector<UINT> beeps;
    std::vector<UINT> exitRequests;
};

ShutdownState& State() {
    static ShutdownState state;
    return state;
}

void ResetShutdown() {
    simcore::Guard guard(simcore::MachineLock());
    State() = ShutdownState();
}

simcore::ResetHook hook(ResetShutdown);

} // namespace

BOOL WINAPI MessageBeep(UINT type) {
    SIM_API_ENTRY(error, simcore::FailWith(error, FALSE));
    State().beeps.push_back(type);
    return TRUE;
}

// Recorded as asked. The shutdown privilege is not checked here: telling the NT family from 9x
// would cost a counted GetVersionExA call; tests read sim::EnabledPrivileges() instead.
BOOL WINAPI ExitWindowsEx(UINT flags, DWORD) {
    SIM_API_ENTRY(error, simcore::FailWith(error, FALSE));
    State().exitRequests.push_back(flags);
    return TRUE;
}

namespace sim {

std::vector<UINT> Beeps() {
    simcore::Guard guard(simcore::MachineLock());
    return State().beeps;
}

std::vector<UINT> ExitWindowsRequests() {
    simcore::Guard guard(simcore::MachineLock());
    return State().exitRequests;
}

} // namespace sim
