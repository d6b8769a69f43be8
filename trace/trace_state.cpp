// The trace facility's state, its lock and the emitting of one piece of output.
#include "trace_state.h"

#include <atomic>
#include <thread>

TraceState g_traceState;

namespace {

enum { LOCK_ABSENT, LOCK_INITIALISING, LOCK_READY };

// Two threads whose first messages meet must not each initialise a critical section of their
// own: one of them initialises it while the other waits.
std::atomic<int> g_lockState{LOCK_ABSENT};

} // namespace

void TraceInitLock() {
    for (;;) {
        int state = g_lockState.load();
        if (state == LOCK_READY)
            return;
        if (state == LOCK_ABSENT && g_lockState.compare_exchange_strong(state, LOCK_INITIALISING)) {
            InitializeCriticalSection(&g_traceState.lock);
            g_lockState.store(LOCK_READY);
            return;
        }
        std::this_thread::yield();
    }
}

void TraceLock() {
    TraceInitLock();
    EnterCriticalSection(&g_traceState.lock);
}

void TraceUnlock() {
    if (g_lockState.load() == LOCK_READY)
        LeaveCriticalSection(&g_traceState.lock);
}

void TraceDeleteLock() {
    int ready = LOCK_READY;
    if (!g_lockState.compare_exchange_strong(ready, LOCK_INITIALISING))
        return;
    DeleteCriticalSection(&g_traceState.lock);
    g_lockState.store(LOCK_ABSENT);
}

void TraceEmit() {
    // Every caller fills the buffer through a bounded function; the terminator is forced anyway
    // so that a piece can never run past the buffer.
    g_traceState.line[TRACE_LINE_SIZE - 1] = '\0';
    if (g_traceState.log) {
        fputs(g_traceState.line, g_traceState.log);
        fflush(g_traceState.log);
    } else {
        OutputDebugStringA(g_traceState.line);
    }
}

void TraceFormatLineV(const char* format, va_list arguments) {
    // Some runtimes leave a cut result unterminated (and report -1): the last byte is forced.
    vsnprintf(g_traceState.line, TRACE_LINE_SIZE, format, arguments);
    g_traceState.line[TRACE_LINE_SIZE - 1] = '\0';
}

void TraceFormatLine(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    TraceFormatLineV(format, arguments);
    va_end(arguments);
}
