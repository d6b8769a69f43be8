// The trace facility's state, its lock and the emitting of one piece of output.
#include "trace_state.h"

TraceState g_traceState;

void TraceInitLock() {
    if (g_traceState.lockInitialised)
        return;
    InitializeCriticalSection(&g_traceState.lock);
    g_traceState.lockInitialised = 1;
}

void TraceLock() {
    TraceInitLock();
    EnterCriticalSection(&g_traceState.lock);
}

void TraceUnlock() {
    if (g_traceState.lockInitialised)
        LeaveCriticalSection(&g_traceState.lock);
}

void TraceDeleteLock() {
    if (!g_traceState.lockInitialised)
        return;
    DeleteCriticalSection(&g_traceState.lock);
    g_traceState.lockInitialised = 0;
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
