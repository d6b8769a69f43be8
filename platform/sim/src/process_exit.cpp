// ExitProcess on the simulated machine: the exit is recorded and the calling thread never
// returns, as on Windows; other threads are left alone (a test process cannot be ended).
#include "core.h"

#include "sim/control_kernel.h"

#include <condition_variable>
#include <thread>

namespace {

std::mutex g_exitLock;
std::condition_variable g_exitSignal;
bool g_exited = false;
UINT g_exitCode = 0;

void ResetExit() {
    std::lock_guard<std::mutex> held(g_exitLock);
    g_exited = false;
    g_exitCode = 0;
}

simcore::ResetHook hook(ResetExit);

} // namespace

namespace sim {

bool WaitForProcessExit(DWORD milliseconds, UINT* exitCode) {
    std::unique_lock<std::mutex> held(g_exitLock);
    bool exited = g_exitSignal.wait_for(held, std::chrono::milliseconds(milliseconds),
                                        [] { return g_exited; });
    if (exited && exitCode)
        *exitCode = g_exitCode;
    return exited;
}

} // namespace sim

void WINAPI ExitProcess(UINT exitCode) {
    {
        // Notified under the lock: a waiter that saw the exit has then seen the notification
        // end, so the signal's destruction at the test program's exit comes after it.
        std::lock_guard<std::mutex> held(g_exitLock);
        g_exited = true;
        g_exitCode = exitCode;
        g_exitSignal.notify_all();
    }
    std::mutex never;
    std::unique_lock<std::mutex> parked(never);
    std::condition_variable forever;
    for (;;)
        forever.wait(parked);
}
