// The one log write (filters, then columns, indentation and text under the lock) and its options.
#include "trace_state.h"

#include "platform/os/crt.h"

#include <cstring>

namespace {

bool SettingsRereadDue() {
    if (g_traceState.rereadInterval == 0 || !g_traceState.settings)
        return false;
    return CrtTime() - g_traceState.lastRead >= static_cast<time_t>(g_traceState.rereadInterval);
}

bool MessagePasses(const char* category, unsigned int mask, int level) {
    if (!g_traceState.traceOn)
        return false;
    if (!TraceCategoryPasses(category))
        return false;
    if (!g_traceState.masterSwitch)
        return false;
    if ((mask & g_traceState.enabledMask) == 0)
        return false;
    return level <= g_traceState.highestLevel;
}

// The format with the end-of-line suffix appended in `work`, or the format itself when there is
// no suffix or the two together would not fit (the message is then written without the suffix
// rather than with a cut format, which could split a conversion).
const char* FormatWithSuffix(const char* format, char* work, size_t workSize) {
    const char* suffix = g_traceState.suffix;
    if (!suffix[0])
        return format;
    size_t formatLength = strlen(format);
    size_t suffixLength = strlen(suffix);
    if (formatLength + suffixLength > workSize - 1)
        return format;
    memcpy(work, format, formatLength);
    memcpy(work + formatLength, suffix, suffixLength);
    work[formatLength + suffixLength] = '\0';
    return work;
}

} // namespace

void TraceWrite(const char* category, unsigned int mask, int level, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    TraceWriteV(category, mask, level, format, arguments);
    va_end(arguments);
}

void LogStepLine(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    TraceWriteV(g_traceCategory, 0xFFFFFFFF, 0, format, arguments);
    va_end(arguments);
}

void TraceWriteV(const char* category, unsigned int mask, int level, const char* format,
                 va_list arguments) {
    if (SettingsRereadDue())
        TraceReadSettings();
    if (!format || !MessagePasses(category, mask, level))
        return;

    TraceLock();
    TraceWriteColumns();
    if (g_traceState.indentFlag)
        TraceWriteIndent();
    char work[TRACE_WORK_FORMAT_SIZE];
    const char* effective = FormatWithSuffix(format, work, sizeof(work));
    TraceFormatLineV(effective, arguments);
    TraceEmit();
    TraceUnlock();
}

void TraceSetOptions(unsigned int mask, int highestLevel, int dateTime, int threadId) {
    g_traceState.highestLevel = highestLevel < 0 ? 0 : highestLevel;
    g_traceState.enabledMask = mask;
    g_traceState.dateTimeColumn = dateTime;
    g_traceState.threadIdColumn = threadId;
}
