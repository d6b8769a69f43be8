// The trace settings file: loading it, applying it again from its start, and the header line.
#include "trace_state.h"

#include "platform/os/crt.h"

#include <cstring>

namespace {

// The values every read starts from; the suffix, master switch and log stream are kept.
void ResetSettingsOptions() {
    g_traceState.traceOn = 1;
    g_traceState.highestLevel = 255;
    g_traceState.enabledMask = 0xFFFFFFFFu;
    g_traceState.threadIdColumn = 0;
    g_traceState.dateTimeColumn = 0;
    g_traceState.tickCountColumn = 0;
    g_traceState.counterColumn = 0;
    g_traceState.indentFlag = 1;
    g_traceState.rereadInterval = 0;
    g_traceState.includeList[0] = '\0';
    g_traceState.excludeList[0] = '\0';
}

} // namespace

void TraceLoadSettings(const char* path) {
    if (g_traceState.settings) {
        fclose(g_traceState.settings);
        g_traceState.settings = nullptr;
    }
    FILE* stream = TraceOpenFile(path, "r");
    if (!stream)
        return;
    g_traceState.settings = stream;
    TraceReadSettings();
}

void TraceReadSettings() {
    // Without a settings stream there is nothing to apply; the options stay as they are.
    if (!g_traceState.settings)
        return;
    TraceLock();
    ResetSettingsOptions();
    while (fgets(g_traceState.line, TRACE_LINE_SIZE, g_traceState.settings)) {
        if (g_traceState.line[0] == '#')
            continue;
        TraceApplySettingsLine(g_traceState.line);
    }
    if (!g_traceState.headerWritten && g_traceState.log) {
        TraceWriteHeader();
        g_traceState.headerWritten = 1;
    }
    g_traceState.lastRead = CrtTime();
    rewind(g_traceState.settings);
    TraceUnlock();
}

void TraceWriteHeader() {
    TraceLock();
    char* line = g_traceState.line;
    line[0] = '\0';
    if (g_traceState.threadIdColumn)
        StrAppend(line, "tid ", TRACE_LINE_SIZE);
    if (g_traceState.dateTimeColumn)
        StrAppend(line, "dt ", TRACE_LINE_SIZE);
    if (g_traceState.tickCountColumn)
        StrAppend(line, "tc ", TRACE_LINE_SIZE);
    if (g_traceState.counterColumn)
        StrAppend(line, "hpc ", TRACE_LINE_SIZE);
    StrAppend(line, "\r\n", TRACE_LINE_SIZE);
    TraceEmit();
    TraceUnlock();
}
