// MsgWaitForMultipleObjects of the simulated user32: waiting for kernel objects or for input.
#include "windows_internal.h"

#include "core.h"

#include <chrono>

namespace {

// Input that wakes a wait: sent messages while any are queued, other kinds when they arrived
// since the thread last looked at its queue (as Windows' "new input" rule).
bool HasWakingInput(DWORD thread, DWORD wakeMask) {
    simwin::Hold hold(simwin::Lock());
    simwin::Queue& queue = simwin::QueueLocked(thread);
    if ((wakeMask & QS_SENDMESSAGE) && !queue.sent.empty())
        return true;
    return (queue.changed & wakeMask & ~static_cast<DWORD>(QS_SENDMESSAGE)) != 0;
}

void WaitBriefly(std::chrono::milliseconds slice) {
    simwin::Hold hold(simwin::Lock());
    simwin::Changed().wait_for(hold, slice);
}

} // namespace

// Kernel objects cannot notify the window system, so the wait polls them between short waits
// for input. A bounded wait gives the other threads a short real moment, then counts as the full
// timeout on the virtual clock, as the kernel waits do.
DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                       DWORD milliseconds, DWORD wakeMask) {
    if (count >= MAXIMUM_WAIT_OBJECTS || (count && !handles))
        return simcore::FailWith(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    SIM_API_FAULT(error, simcore::FailWith(error ? error : ERROR_INVALID_PARAMETER, WAIT_FAILED));
    std::vector<std::shared_ptr<simcore::Object>> objects;
    for (DWORD i = 0; i < count; ++i) {
        auto object = simcore::LookupHandle(handles[i]);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objects.push_back(object);
    }
    DWORD self = GetCurrentThreadId();
    auto realLimit = std::chrono::milliseconds(milliseconds < 50 ? milliseconds : 50);
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        DWORD signalled = 0;
        DWORD first = WAIT_TIMEOUT;
        for (DWORD i = 0; i < count; ++i) {
            if (objects[i]->Wait(0) == WAIT_OBJECT_0) {
                ++signalled;
                if (first == WAIT_TIMEOUT)
                    first = WAIT_OBJECT_0 + i;
            }
        }
        bool input = HasWakingInput(self, wakeMask);
        if (waitAll) {
            // All objects signalled and some input arrived.
            if (signalled == count && input)
                return WAIT_OBJECT_0;
        } else {
            if (first != WAIT_TIMEOUT)
                return first;
            if (input)
                return WAIT_OBJECT_0 + count;
        }
        if (milliseconds != INFINITE && std::chrono::steady_clock::now() - start >= realLimit) {
            simcore::Advance(milliseconds);
            return WAIT_TIMEOUT;
        }
        WaitBriefly(std::chrono::milliseconds(2));
    }
}
