// The removal plan carried out: planned files and folders, then registry values, then keys.
#include "Zelm.h"

#include "engine_support.h"

#include "helpers/helper.h"
#include "platform/os/wow64.h"
#include "trace/trace.h"

#include <shlwapi.h>

#include <cstdlib>
#include <cstring>

namespace {

// Items handled between two looks at the dialog's state.
const int kCancelCheckInterval = 20;

// Walks a plan set, backwards when asked, and hands every item to `handle`. Before items 0, 20,
// 40, ... a cancel ends the walk with ERROR_CANCELLED. `handled` receives the items handled.
template <class Handler>
DWORD WalkPlan(const CUninstallEngine& engine, TSet& plan, bool backward, int& handled,
               Handler handle) {
    handled = 0;
    char* item = nullptr;
    DWORD status = backward ? plan.GetLast(&item) : plan.GetFirst(&item);
    while (status == ERROR_SUCCESS) {
        if (handled % kCancelCheckInterval == 0 && engine.IsCancelled())
            return ERROR_CANCELLED;
        if (item)
            handle(item);
        ++handled;
        status = backward ? plan.GetPrev(&item) : plan.GetNext(&item);
    }
    return ERROR_SUCCESS;
}

// The key path of a stored item, with the separator after the root name skipped; null when the
// item does not start with that root name (the split's copy no longer lines up with it).
const char* KeyPathAfterRoot(const char* item, const char* rootName) {
    size_t length = strlen(rootName);
    if (ComparePrefixNoCase(item, rootName, length) != 0 || item[length] != '\\')
        return nullptr;
    return item + length + 1;
}

// Deletes one value of root\keyPath, the key opened in the native view (the shell's helper takes
// no view).
void DeleteValue(HKEY root, const char* keyPath, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_SET_VALUE | wow64::NativeKeyView(), &key) !=
        ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

// 'ROOT\KEY\' names the default value of ROOT\KEY, 'ROOT\KEY\NAME' the value NAME.
void DeletePlanValue(const char* item) {
    char* copy = engine_support::CopyText(item);
    if (!copy)
        return;
    HKEY root = nullptr;
    char* rootName = nullptr;
    char* keyPath = nullptr;
    char* valueName = nullptr;
    ParseRegistryPath(copy, &root, &rootName, &keyPath, &valueName);
    if (root && rootName && keyPath) {
        size_t length = strlen(item);
        if (item[length - 1] == '\\') {
            // The split folds the trailing separator away and would take the key's last name
            // for a value name; the stored text still holds the whole key path.
            const char* storedPath = KeyPathAfterRoot(item, rootName);
            if (storedPath && *storedPath)
                DeleteValue(root, storedPath, "");
        } else if (valueName) {
            DeleteValue(root, keyPath, valueName);
        }
        // 'ROOT\NAME' leaves no key path: deleting the default value of a key NAME instead
        // would remove data that was never planned, so nothing is done.
    }
    free(copy);
}

// True only when the key exists and holds neither subkeys nor values (a set default value
// counts as a value). The key deletion refuses subkeys but not values, and some implementations
// of the shell's empty-key deletion remove a key without subkeys even while it holds values.
bool IsKeyEmpty(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE | wow64::NativeKeyView(), &key) !=
        ERROR_SUCCESS)
        return false;
    DWORD subKeys = 0;
    DWORD values = 0;
    LONG status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                   &values, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && subKeys == 0 && values == 0;
}

// Removes the key only when nothing is left in it; a subtree is never deleted as a whole.
void DeletePlanKey(const char* item) {
    char* copy = engine_support::CopyText(item);
    if (!copy)
        return;
    HKEY root = nullptr;
    char* keyPath = nullptr;
    char* lastName = nullptr;
    ParseRegistryPath(copy, &root, nullptr, &keyPath, &lastName);
    char path[MAX_PATH];
    // An empty path would name the root itself; a path too long for the buffer is not cut.
    if (root && keyPath && JoinPath(path, sizeof(path), keyPath, lastName) && path[0] &&
        IsKeyEmpty(root, path))
        wow64::DeleteKey(root, path);
    free(copy);
}

} // namespace

DWORD CUninstallEngine::CleanupFiles() {
    // The planned paths name the machine as it is: no file-system redirection on this thread.
    wow64::NativeFileView nativeView;
    int handled = 0;
    // Backwards: everything beneath a folder sorts after it, so it is handled first.
    DWORD result = WalkPlan(*this, m_planFiles, true, handled,
                            [this](const char* path) { DeletePlanPath(path); });
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "%04d CleanupFiles: %d files and folders\n",
               static_cast<int>(result), handled);
    return result;
}

void CUninstallEngine::DeletePlanPath(const char* path) {
    if (!path || !*path)
        return;
    // The attributes of the entry itself; a reparse point reports its own, not its target's.
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        DWORD kept = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        SetFileAttributesA(path, kept ? kept : FILE_ATTRIBUTE_NORMAL);
    }
    if (GetPlatformId() == VER_PLATFORM_WIN32_NT) {
        // Nothing goes now: the path is registered for the next restart, in the walk's order.
        MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        return;
    }
    // Never recursive: a folder that still holds an unplanned entry stays.
    attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        RemoveDirectoryA(path);
    else
        DeleteFileA(path);
}

DWORD CUninstallEngine::CleanupRegValues() {
    int handled = 0;
    DWORD result = WalkPlan(*this, m_planRegValues, false, handled, DeletePlanValue);
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "%04d CleanupRegValues: %d values\n",
               static_cast<int>(result), handled);
    return result;
}

DWORD CUninstallEngine::CleanupRegKeys() {
    int handled = 0;
    // Backwards, so that every subkey is handled before its parent.
    DWORD result = WalkPlan(*this, m_planRegKeys, true, handled, DeletePlanKey);
    TraceWrite(g_traceCategory, 0xFFFFFFFF, 0, "%04d CleanupRegKeys: %d keys\n",
               static_cast<int>(result), handled);
    return result;
}
