// File discovery: resolves FILE_NAME profile entries into file and folder items.
#include "Zelm.h"

#include "engine_support.h"
#include "helpers/helper.h"

#include <shlwapi.h>

#include <cstring>

using engine_support::CopyText;
using engine_support::LastErrorOr;

namespace {

bool IsDotEntry(const char* name) {
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

// Moves *field to the next field of a quoted list being split; false after the last field.
// *field was cut at the '"' of a '","' separator, or it runs to `end`, the end of the whole text.
bool NextField(char** field, const char* end) {
    char* cut = *field + strlen(*field);
    if (cut >= end || cut[1] != ',' || cut[2] != '"')
        return false;
    char* next = cut + 3;
    SplitQuotedList(next, &next);
    *field = next;
    return true;
}

} // namespace

DWORD CUninstallEngine::FindFilesByValue(TSet& destination, char* data) {
    NormalizeEntry(data);
    WIN32_FIND_DATAA entry;
    OwnedSearch search(FindFirstFileA(data, &entry));
    if (search.get() == INVALID_HANDLE_VALUE) {
        // Nothing to list: the text itself is the item (the plan drops it if it names nothing),
        // unless it is longer than any path the later steps can work with.
        if (strlen(data) < MAX_PATH)
            destination.Add(data);
        return ERROR_SUCCESS;
    }

    // Each found name replaces the pattern's last component. A name that does not fit is passed
    // over rather than cut short, since a shortened path can name another, existing entry.
    char path[MAX_PATH];
    const char* separator = FindLastChar(data, '\\');
    size_t nameAt = separator ? static_cast<size_t>(separator - data) + 1 : 0;
    if (nameAt < MAX_PATH) {
        memcpy(path, data, nameAt);
        do {
            entry.cFileName[MAX_PATH - 1] = '\0';
            if (IsDotEntry(entry.cFileName))
                continue;
            size_t length = strlen(entry.cFileName);
            if (length >= MAX_PATH - nameAt)
                continue;
            memcpy(path + nameAt, entry.cFileName, length + 1);
            UpperCase(path + nameAt);
            destination.Add(path);
        } while (FindNextFileA(search.get(), &entry));
    }
    return ERROR_SUCCESS;
}

DWORD CUninstallEngine::FindFilesByDataMatch(TSet& destination, char* data) {
    HeapText text(CopyText(data));
    char* copy = text.get();
    if (!copy)
        return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    NormalizeEntry(copy);
    const char* end = copy + strlen(copy);

    char* folder = nullptr;
    SplitQuotedList(copy, &folder);
    TSet patterns;
    for (char* field = folder; NextField(&field, end);)
        patterns.Add(field);
    if (patterns.IsEmpty())
        return ERROR_INVALID_DATA;

    TSet candidates;
    FindFilesByValue(candidates, folder);
    candidates.ForEach([&](const char* candidate) {
        char listing[MAX_PATH];
        if (!JoinPath(listing, sizeof listing, candidate, "*"))
            return;
        TSet entries;
        FindFilesByValue(entries, listing);
        TSet pending;
        pending.AddAll(patterns);
        entries.ForEach([&](const char* entry) {
            // A candidate that cannot be listed leaves only the listing pattern itself; it has
            // no entries, so its '*' must not pass for an entry that satisfies a pattern.
            if (CompareNoCase(entry, listing) == 0)
                return true;
            const char* name = PathFindFileNameA(entry);
            pending.RemoveIf([name](const char* pattern) { return MatchWildcard(name, pattern); });
            if (!pending.IsEmpty())
                return true;
            destination.Add(candidate);
            return false;
        });
    });
    return ERROR_SUCCESS;
}
