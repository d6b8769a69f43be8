// The companion's check: the profile read by the engine's own reader, every entry's verdict with
// its line, and on a clean profile the engine's plan for this machine with the entry behind each
// planned item, each spared item with its ignore entry and each protected refusal with its reason.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace companion {

struct CheckedEntry {
    int line = 0;
    std::string section; // "file", "registry key", "registry value", "service"
    std::string key;     // "remove" or "ignore"
    std::string text;    // the line as read
    DWORD result = 0;
    std::string explanation;        // empty when accepted
    std::vector<std::string> items; // what the entry added to its profile list
};

// A section the reader could not use (missing header, unreadable file).
struct SectionProblem {
    std::string section;
    DWORD result = 0;
    std::string explanation;
};

struct PlannedItem {
    std::string kind; // "service", "key", "value", "file", "folder"
    std::string item;
    int line = 0; // the entry that brought it in; 0 when unknown
};

struct SparedItem {
    std::string kind;
    std::string item;
    std::string ignore; // the ignore item it contains
    int line = 0;       // the ignore entry
};

struct RefusedItem {
    std::string kind; // "path", "key", "value" or "service"
    std::string item;
    std::string reason;
    int line = 0; // the remove entry that asked for it
};

// Exit statuses of the companion's commands.
enum CheckStatus { CHECK_CLEAN = 0, CHECK_ERRORS = 1, CHECK_FAILED = 2 };

struct CheckReport {
    std::string profile;
    int status = CHECK_CLEAN;
    std::string problem; // why it could not run (status 2)
    std::vector<CheckedEntry> entries;
    std::vector<SectionProblem> sections;
    bool planned = false;
    DWORD planResult = 0;
    std::vector<PlannedItem> plan;
    std::vector<SparedItem> spared;
    std::vector<RefusedItem> refused;
    // The size of each profile list that was read, under the log's name for its loader
    // ("InitRemoveFileList"), in the order a run reads them.
    std::vector<std::pair<std::string, size_t>> lists;

    size_t Count(const char* kind) const;
};

CheckReport CheckProfile(const char* profilePath);

// A plain explanation of an entry the reader refused with `result`; `text` is the whole line.
std::string ExplainEntry(const std::string& text, DWORD result);

void PrintCheckText(const CheckReport& report, FILE* out);
void PrintCheckJson(const CheckReport& report, FILE* out);

} // namespace companion
