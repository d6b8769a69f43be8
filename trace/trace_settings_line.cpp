// One line of a trace settings file: the first keyword found in it decides what it sets.
#include "trace_state.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

enum Keyword {
    KW_NONE,
    KW_NOTRACE,
    KW_TID,
    KW_TC,
    KW_HPC,
    KW_DT,
    KW_NID,
    KW_TL,
    KW_TS,
    KW_TFR,
    KW_INCLUDE,
    KW_EXCLUDE,
    KW_EOL,
    KW_TF
};

struct KeywordName {
    const char* text;
    Keyword keyword;
};

// The order matters: "tfr" is found before "tf", and a value that contains an earlier keyword
// makes the line that keyword.
const KeywordName kKeywords[] = {{"notrace", KW_NOTRACE},
                                 {"tid", KW_TID},
                                 {"tc", KW_TC},
                                 {"hpc", KW_HPC},
                                 {"dt", KW_DT},
                                 {"nid", KW_NID},
                                 {"tl", KW_TL},
                                 {"ts", KW_TS},
                                 {"tfr", KW_TFR},
                                 {"include", KW_INCLUDE},
                                 {"exclude", KW_EXCLUDE},
                                 {"eol", KW_EOL},
                                 {"tf", KW_TF}};

Keyword Classify(const char* line) {
    for (const KeywordName& entry : kKeywords) {
        if (strstr(line, entry.text))
            return entry.keyword;
    }
    return KW_NONE;
}

// The value after the first '=' and the blanks that follow it, line feed included; null when
// the line has no '=' or nothing but its line end after it.
char* ValueOf(char* line) {
    char* value = strchr(line, '=');
    if (!value)
        return nullptr;
    ++value;
    while (*value == ' ')
        ++value;
    if (*value == '\0' || *value == '\n')
        return nullptr;
    return value;
}

// Decimal conversion as atoi does it, with values beyond an int held at its limits instead of
// being left undefined.
int ToInt(const char* text) {
    long value = strtol(text, nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

void AppendToList(char* list, const char* value) {
    if (list[0])
        StrAppend(list, " ", TRACE_LIST_APPEND_SIZE);
    StrAppend(list, value, TRACE_LIST_APPEND_SIZE);
}

char EscapedCharacter(char letter) {
    switch (letter) {
    case 'r':
        return '\r';
    case 'n':
        return '\n';
    case 'b':
        return '\b';
    case 't':
        return '\t';
    default:
        return '\0';
    }
}

// Rebuilds the suffix from the escapes of the value. A backslash before any other character
// yields nothing and uses both; what would not fit the suffix is dropped.
void SetSuffix(const char* value) {
    char* suffix = g_traceState.suffix;
    size_t length = 0;
    const char* p = value;
    while (*p && *p != '\n') {
        if (*p != '\\' || p[1] == '\0' || p[1] == '\n') {
            ++p;
            continue;
        }
        char c = EscapedCharacter(p[1]);
        if (c && length < TRACE_SUFFIX_SIZE - 1)
            suffix[length++] = c;
        p += 2;
    }
    suffix[length] = '\0';
}

// "name" or "name,mode": the name ends at the first comma or line end (blanks before the comma
// are kept); the mode is what follows the comma and its blanks, without the line end. Both are
// cut out of the line in place, so neither is ever shortened to fit a buffer.
void OpenLogFrom(char* value) {
    const char* mode = "w";
    char* end = value + strcspn(value, ",\n");
    if (*end == ',') {
        char* rest = end + 1;
        while (*rest == ' ')
            ++rest;
        rest[strcspn(rest, "\n")] = '\0';
        if (*rest)
            mode = rest;
    }
    *end = '\0';
    TraceOpenLog(value, mode);
}

} // namespace

void TraceApplySettingsLine(char* line) {
    Keyword keyword = Classify(line);
    switch (keyword) {
    case KW_NONE:
        return;
    case KW_NOTRACE:
        g_traceState.traceOn = 0;
        return;
    case KW_TID:
        g_traceState.threadIdColumn = 1;
        return;
    case KW_TC:
        g_traceState.tickCountColumn = 1;
        return;
    case KW_HPC:
        g_traceState.counterColumn = 1;
        return;
    case KW_DT:
        g_traceState.dateTimeColumn = 1;
        return;
    case KW_NID:
        g_traceState.indentFlag = 0;
        return;
    default:
        break;
    }

    char* value = ValueOf(line);
    if (!value)
        return;
    switch (keyword) {
    case KW_TL:
        g_traceState.highestLevel = ToInt(value);
        break;
    case KW_TS:
        g_traceState.enabledMask = static_cast<unsigned int>(ToInt(value));
        break;
    case KW_TFR:
        g_traceState.rereadInterval = ToInt(value);
        break;
    case KW_INCLUDE:
        AppendToList(g_traceState.includeList, value);
        break;
    case KW_EXCLUDE:
        AppendToList(g_traceState.excludeList, value);
        break;
    case KW_EOL:
        SetSuffix(value);
        if (strstr(line, "tf"))
            OpenLogFrom(value);
        break;
    case KW_TF:
        OpenLogFrom(value);
        break;
    default:
        break;
    }
}
