// The virtual clock behind Sleep, GetTickCount, the performance counter and the runtime's time.
#include "core.h"

#include "sim/control_kernel.h"

#include "platform/os/crt.h"

namespace {

struct ClockState {
    time_t start = 1118131750; // 2005-06-07 08:09:10, read as local time
    int64_t frequency = 3579545;
    bool counterFails = false;
    std::function<void(DWORD)> onSleep;
};

ClockState& State() {
    static ClockState state;
    return state;
}

void ResetClock() {
    State() = ClockState();
}

simcore::ResetHook hook(ResetClock);

} // namespace

namespace sim {

void AdvanceClock(DWORD milliseconds) {
    simcore::Advance(milliseconds);
}

void OnSleep(std::function<void(DWORD)> callback) {
    simcore::Guard guard(simcore::MachineLock());
    State().onSleep = std::move(callback);
}

uint64_t ClockMilliseconds() {
    return simcore::NowMs();
}

void SetLocalTime(int year, int month, int day, int hour, int minute, int second) {
    struct tm parts = {};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    simcore::Guard guard(simcore::MachineLock());
    State().start = timegm(&parts) - static_cast<time_t>(simcore::NowMs() / 1000);
}

void SetPerformanceFrequency(int64_t countsPerSecond) {
    simcore::Guard guard(simcore::MachineLock());
    State().frequency = countsPerSecond;
}

void SetPerformanceCounterFails(bool fails) {
    simcore::Guard guard(simcore::MachineLock());
    State().counterFails = fails;
}

} // namespace sim

void WINAPI Sleep(DWORD milliseconds) {
    std::function<void(DWORD)> callback;
    {
        simcore::Guard guard(simcore::MachineLock());
        callback = State().onSleep;
    }
    // Outside the lock: the callback may drive other threads that need the machine.
    if (callback)
        callback(milliseconds);
    simcore::Advance(milliseconds == INFINITE ? 0 : milliseconds);
}

DWORD WINAPI GetTickCount(void) {
    // Windows' tick count starts long before the program; a fixed offset keeps it non-zero.
    return static_cast<DWORD>(simcore::NowMs() + 0x00AB0000u);
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    simcore::Guard guard(simcore::MachineLock());
    if (!frequency || State().frequency <= 0) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    frequency->QuadPart = State().frequency;
    return TRUE;
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* counter) {
    simcore::Guard guard(simcore::MachineLock());
    if (!counter || State().counterFails || State().frequency <= 0) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    // Starts at a large value, as a machine that has been up for a while; exact in milliseconds.
    int64_t ms = static_cast<int64_t>(simcore::NowMs()) + 1000000;
    counter->QuadPart = ms / 1000 * State().frequency + (ms % 1000) * State().frequency / 1000;
    return TRUE;
}

time_t CrtTime() {
    simcore::Guard guard(simcore::MachineLock());
    return State().start + static_cast<time_t>(simcore::NowMs() / 1000);
}

bool CrtLocalTime(time_t when, struct tm* out) {
    // The simulated machine's local time is its clock read without a time zone.
    return out && gmtime_r(&when, out) != nullptr;
}
