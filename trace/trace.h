// The trace facility: one locked log writer (to the log file, else the debugger) and its scopes.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>

#if defined(__GNUC__)
#define KV_PRINTF_FORMAT(formatIndex, firstArg)                                                    \
    __attribute__((format(printf, formatIndex, firstArg)))
#else
#define KV_PRINTF_FORMAT(formatIndex, firstArg)
#endif

// The category the program traces under: an empty name.
extern const char* g_traceCategory;

void TraceWrite(const char* category, unsigned int mask, int level, const char* format, ...)
    KV_PRINTF_FORMAT(4, 5);
void TraceWriteV(const char* category, unsigned int mask, int level, const char* format,
                 va_list arguments) KV_PRINTF_FORMAT(4, 0);
// One line of the run's log ("%04d Step: ..." as the steps write them): the program's category,
// every mask bit, level 0, so that no trace setting can keep it out of the log.
void LogStepLine(const char* format, ...) KV_PRINTF_FORMAT(1, 2);
void TraceSetOptions(unsigned int mask, int highestLevel, int dateTime, int threadId);
void TraceOpenLog(const char* name, const char* mode);
FILE* TraceGetLog();
// Opens a file; a bare name lies in the program's folder. Null when it cannot be opened.
FILE* TraceOpenFile(const char* name, const char* mode);
void TraceShutdown();
// Appends while the destination holds fewer than size - 1 characters; returns the destination.
char* StrAppend(char* dest, const char* source, int size);

// Settings file: applied at load and re-read periodically when it asks for that.
void TraceLoadSettings(const char* path);
void TraceReadSettings();
void TraceWriteHeader();

// A trace scope: the outermost one sets the facility up and shuts it down at its end; inner ones
// write "{ name" and "} name" lines and indent what is written inside them by 3 blanks.
class TraceScope {
public:
    TraceScope(const char* category, const char* name);
    ~TraceScope();
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

private:
    const char* m_name;
    int m_savedSwitch;
    const char* m_category;
};
