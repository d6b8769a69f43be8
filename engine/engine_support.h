// Small pieces the engine's profile, plan and service files share: heap copies, error fallbacks
// and owners for registry keys, directory searches and other handles.
#pragma once

#include "helpers/helper.h"

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

// Frees a heap text at the end of a scope.
class HeapText {
public:
    explicit HeapText(char* text) : m_text(text) {}
    ~HeapText() { free(m_text); }
    HeapText(const HeapText&) = delete;
    HeapText& operator=(const HeapText&) = delete;
    char* get() const { return m_text; }

private:
    char* m_text;
};

// Closes an opened registry key at the end of a scope.
class KeyHolder {
public:
    KeyHolder() : m_key(nullptr) {}
    ~KeyHolder() {
        if (m_key)
            RegCloseKey(m_key);
    }
    KeyHolder(const KeyHolder&) = delete;
    KeyHolder& operator=(const KeyHolder&) = delete;
    HKEY* out() { return &m_key; }
    HKEY get() const { return m_key; }

private:
    HKEY m_key;
};

// Ends a directory search at the end of a scope.
class SearchHolder {
public:
    explicit SearchHolder(HANDLE search) : m_search(search) {}
    ~SearchHolder() {
        if (m_search != INVALID_HANDLE_VALUE)
            FindClose(m_search);
    }
    SearchHolder(const SearchHolder&) = delete;
    SearchHolder& operator=(const SearchHolder&) = delete;
    HANDLE get() const { return m_search; }

private:
    HANDLE m_search;
};

// Closes a kernel handle (a snapshot, a process) at the end of a scope.
class HandleHolder {
public:
    explicit HandleHolder(HANDLE handle) : m_handle(handle) {}
    ~HandleHolder() {
        if (m_handle && m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    HandleHolder(const HandleHolder&) = delete;
    HandleHolder& operator=(const HandleHolder&) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// Closes a service control manager or service handle at the end of a scope.
class ServiceHolder {
public:
    explicit ServiceHolder(SC_HANDLE handle) : m_handle(handle) {}
    ~ServiceHolder() {
        if (m_handle)
            CloseServiceHandle(m_handle);
    }
    ServiceHolder(const ServiceHolder&) = delete;
    ServiceHolder& operator=(const ServiceHolder&) = delete;
    SC_HANDLE get() const { return m_handle; }

private:
    SC_HANDLE m_handle;
};

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
