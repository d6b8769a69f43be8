// The test hook that returns the trace facility to its initial state.
#include "trace_testing.h"

#include "trace_state.h"

void TraceResetForTests() {
    if (g_traceState.log)
        fclose(g_traceState.log);
    if (g_traceState.settings)
        fclose(g_traceState.settings);
    g_traceState.log = nullptr;
    g_traceState.settings = nullptr;
    TraceDeleteLock();
    g_traceState = TraceState();
}
