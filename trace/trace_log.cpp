// The log stream: opening it (the same name keeps it as it is), reading it back, and shutdown.
#include "trace_state.h"

#include <cstring>

void TraceCloseLog() {
    if (g_traceState.log) {
        fflush(g_traceState.log);
        fclose(g_traceState.log);
        g_traceState.log = nullptr;
    }
    g_traceState.logName[0] = '\0';
}

void TraceOpenLog(const char* name, const char* mode) {
    if (g_traceState.log && name && strcmp(name, g_traceState.logName) == 0)
        return;
    TraceCloseLog();
    // A name that cannot be stored whole could not be recognised as the same log later (and
    // would then be reopened and emptied): such a name is treated as one that cannot be opened.
    if (!name || strlen(name) >= sizeof(g_traceState.logName))
        return;
    FILE* stream = TraceOpenFile(name, mode);
    if (!stream)
        return;
    g_traceState.log = stream;
    memcpy(g_traceState.logName, name, strlen(name) + 1);
    g_traceState.headerWritten = 0;
}

FILE* TraceGetLog() {
    return g_traceState.log;
}

void TraceShutdown() {
    if (g_traceState.log) {
        fflush(g_traceState.log);
        fclose(g_traceState.log);
        g_traceState.log = nullptr;
    }
    if (g_traceState.settings) {
        fclose(g_traceState.settings);
        g_traceState.settings = nullptr;
    }
    TraceDeleteLock();
}
