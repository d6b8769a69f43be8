// The category filter: an include list lets only its names through, else an exclude list blocks.
#include "trace_state.h"

#include "containers/TSet.h"

#include <cstring>

namespace {

bool IsSeparator(char c) {
    return c == ' ' || c == ',' || c == '\t' || c == '\n';
}

// Whether the list names the category. Works on a bounded copy so that the list itself (which
// a settings read may be rewriting) is never modified.
bool ListNames(const char* list, const char* category) {
    char copy[TRACE_LIST_SIZE];
    strncpy(copy, list, sizeof(copy) - 1);
    copy[sizeof(copy) - 1] = '\0';
    char* cursor = copy;
    for (;;) {
        while (*cursor && IsSeparator(*cursor))
            ++cursor;
        if (!*cursor)
            return false;
        char* name = cursor;
        while (*cursor && !IsSeparator(*cursor))
            ++cursor;
        bool last = *cursor == '\0';
        *cursor = '\0';
        if (CompareNoCase(name, category) == 0)
            return true;
        if (last)
            return false;
        ++cursor;
    }
}

} // namespace

bool TraceCategoryPasses(const char* category) {
    if (!category)
        category = "";
    if (g_traceState.includeList[0])
        return ListNames(g_traceState.includeList, category);
    if (g_traceState.excludeList[0])
        return !ListNames(g_traceState.excludeList, category);
    return true;
}
