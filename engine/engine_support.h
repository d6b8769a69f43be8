// Small pieces the engine's profile, plan and service files share: heap copies, error fallbacks
// and the value items' split. Handles, keys and heap copies are held by helpers/owned.h.
#pragma once

#include "helpers/helper.h"
#include "helpers/owned.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace engine_support {

// The thread's last error, or `fallback` when the failing call left none: a failure must never
// be reported as success.
inline DWORD LastErrorOr(DWORD fallback) {
    DWORD error = GetLastError();
    return error ? error : fallback;
}

// A heap copy of text (free with free()); null with the last error set when memory is exhausted.
inline char* CopyText(const char* text) {
    size_t size = strlen(text) + 1;
    char* copy = static_cast<char*>(malloc(size));
    if (!copy) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    memcpy(copy, text, size);
    return copy;
}

// A value item taken apart as the cleanup takes it: the root its full name begins with, the key
// path up to the item's last '\\', and the value name after it (empty for a key's default
// value). Null when the item names no key below a known root.
inline const char* SplitValueItem(const char* item, HKEY* root, std::string* keyPath) {
    size_t length = 0;
    *root = MatchRootName(item, &length);
    const char* last = FindLastChar(item, '\\');
    if (!*root || !last || last <= item + length)
        return nullptr;
    keyPath->assign(item + length, static_cast<size_t>(last - (item + length)));
    return last + 1;
}

} // namespace engine_support
