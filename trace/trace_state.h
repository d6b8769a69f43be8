// The trace facility's process-wide state and the internal services its files share.
#pragma once

#include <windows.h>

#include "trace.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

// Sizes of the facility's fixed buffers (bytes, terminator included).
enum {
    TRACE_LINE_SIZE = 1024,
    TRACE_LIST_SIZE = 250,
    TRACE_LIST_APPEND_SIZE = 249,
    TRACE_NAME_SIZE = MAX_PATH,
    TRACE_SUFFIX_SIZE = 9,
    TRACE_WORK_FORMAT_SIZE = 100,
    TRACE_INDENT_STEP = 3
};

// One instance with static storage. Every member has a constant initialiser, so the object is
// ready before any static constructor (such as the process scope) runs.
struct TraceState {
    int traceOn = 1;
    int highestLevel = 255;
    unsigned int enabledMask = 0xFFFFFFFFu;
    int masterSwitch = 1;
    int indentFlag = 1;
    int threadIdColumn = 0;
    int dateTimeColumn = 0;
    int tickCountColumn = 0;
    int counterColumn = 0;
    int indent = 0;
    int scopeDepth = 0;
    char suffix[TRACE_SUFFIX_SIZE] = {};
    char includeList[TRACE_LIST_SIZE] = {};
    char excludeList[TRACE_LIST_SIZE] = {};
    char line[TRACE_LINE_SIZE] = {};
    FILE* log = nullptr;
    char logName[TRACE_NAME_SIZE] = {};
    int headerWritten = 0;
    FILE* settings = nullptr;
    int rereadInterval = 0;
    time_t lastRead = 0;
    LONGLONG previousCounter = 0;
    LONGLONG counterFrequency = 0;
    CRITICAL_SECTION lock = {};
};

extern TraceState g_traceState;

// The re-entrant lock: initialised on first use (by whichever thread gets there first, exactly
// once), or up front by the outermost scope.
void TraceInitLock();
void TraceLock();
void TraceUnlock();
void TraceDeleteLock();

// Formats into the line buffer, cut to its size and always terminated.
void TraceFormatLineV(const char* format, va_list arguments);
void TraceFormatLine(const char* format, ...) KV_PRINTF_FORMAT(1, 2);

// Sends the line buffer as one piece to the log stream (flushed at once) or, with no log open,
// to the debugger output.
void TraceEmit();

// Writes the enabled columns and the indentation piece of one message, each as its own piece.
void TraceWriteColumns();
void TraceWriteIndent();

// Whether the include and exclude lists let a category through.
bool TraceCategoryPasses(const char* category);

// Flushes and closes the log stream, if any, and forgets its name.
void TraceCloseLog();

// Applies one line of a settings file, held in the line buffer (which it may modify).
void TraceApplySettingsLine(char* line);
