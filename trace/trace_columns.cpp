// The optional columns before a message (thread id, date-time, ticks, interval) and the indent.
#include "trace_state.h"

#include "platform/os/crt.h"

#include <cstdint>
#include <cstring>

namespace {

void WriteThreadId() {
    TraceFormatLine("%lX\t", static_cast<unsigned long>(GetCurrentThreadId()));
    TraceEmit();
}

void WriteDateTime() {
    struct tm local = {};
    // A time the runtime cannot break down leaves the column out rather than print garbage.
    if (!CrtLocalTime(CrtTime(), &local))
        return;
    TraceFormatLine("%2d/%02d/%02d %02d:%02d:%02d\t", (local.tm_year + 1900) % 100,
                    local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    TraceEmit();
}

void WriteTickCount() {
    TraceFormatLine("%08lX\t", static_cast<unsigned long>(GetTickCount()));
    TraceEmit();
}

// Counts elapsed since the previous value, in units of 0.1 ms. Split into whole seconds and the
// remainder so that no intermediate product overflows, with the same truncation as
// elapsed * 10000 / frequency.
int64_t TenthsOfMs(int64_t elapsed, int64_t frequency) {
    int64_t seconds = elapsed / frequency;
    int64_t rest = elapsed % frequency;
    uint64_t whole = static_cast<uint64_t>(seconds) * 10000u;
    return static_cast<int64_t>(whole + static_cast<uint64_t>(rest * 10000 / frequency));
}

void WriteInterval() {
    LARGE_INTEGER counter;
    if (!QueryPerformanceCounter(&counter))
        return;
    if (g_traceState.counterFrequency == 0) {
        LARGE_INTEGER frequency;
        if (QueryPerformanceFrequency(&frequency))
            g_traceState.counterFrequency = frequency.QuadPart;
    }
    // Without a usable frequency no interval can be computed; the column is left out.
    if (g_traceState.counterFrequency <= 0)
        return;
    int64_t value = 0;
    if (g_traceState.previousCounter != 0) {
        value = TenthsOfMs(counter.QuadPart - g_traceState.previousCounter,
                           g_traceState.counterFrequency);
    }
    int32_t low = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
    TraceFormatLine("%8ld\t", static_cast<long>(low));
    TraceEmit();
    g_traceState.previousCounter = counter.QuadPart;
}

} // namespace

void TraceWriteColumns() {
    if (g_traceState.threadIdColumn)
        WriteThreadId();
    if (g_traceState.dateTimeColumn)
        WriteDateTime();
    if (g_traceState.tickCountColumn)
        WriteTickCount();
    if (g_traceState.counterColumn)
        WriteInterval();
}

void TraceWriteIndent() {
    int blanks = g_traceState.indent;
    if (blanks < 0)
        blanks = 0;
    // A deeper indentation than the buffer holds is written as a full buffer of blanks.
    if (blanks > TRACE_LINE_SIZE - 1)
        blanks = TRACE_LINE_SIZE - 1;
    memset(g_traceState.line, ' ', static_cast<size_t>(blanks));
    g_traceState.line[blanks] = '\0';
    TraceEmit();
}
