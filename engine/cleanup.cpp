// The removal plan carried out: planned files and folders, then registry values, then keys. Every
// item is tried; one that could not be handled gets its own log line, and the step reports the
// first such error.
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

// True when the item is gone already: deleting it again has nothing left to do.
bool IsAlreadyGone(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Walks a plan set, backwards when asked, and hands every item to `handle`, which returns the
// item's error (0 when it was handled). Before items 0, 20, 40, ... a cancel ends the walk with
// ERROR_CANCELLED. Otherwise the result is the first item's error, or 0. Every failed item gets
// its own line, "%04d <itemStep>: <item>". `handled` receives the items handled.
template <class Handler>
DWORD WalkPlan(const CUninstallEngine& engine, TSet& plan, bool backward, const char* itemStep,
               int& handled, Handler handle) {
    handled = 0;
    DWORD firstError = ERROR_SUCCESS;
    bool walked = plan.ForEach(
        [&](const char* item) {
            if (handled % kCancelCheckInterval == 0 && engine.IsCancelled())
                return false;
            if (item) {
                DWORD error = handle(item);
                if (error) {
                    LogStepLine("%04d %s: %s\n", static_cast<int>(error), itemStep, item);
                    if (!firstError)
                        firstError = error;
                }
            }
            ++handled;
            return true;
        },
        backward);
    return walked ? firstError : ERROR_CANCELLED;
}

// A key path as the plan stores it: not empty, no empty name (no leading, trailing or doubled
// separator). Anything else would address a key the item does not name.
bool IsWholeKeyPath(const char* path) {
    if (!*path || *path == '\\')
        return false;
    const char* last = FindLastChar(path, '\\');
    if (last && last[1] == '\0')
        return false;
    return FindText(path, "\\\\") == nullptr;
}

// A heap copy of a registry item, split after its root name without any other change: the root,
// and the key path after its separator (null when the item does not begin with a full root name
// and a separator). `error` is set when the copy could not be made.
struct RegistryItem {
    explicit RegistryItem(const char* item)
        : copy(engine_support::CopyText(item)), root(nullptr), keyPath(nullptr), error(0) {
        size_t length = 0;
        if (!copy.get())
            error = engine_support::LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
        else if ((root = MatchRootName(copy.get(), &length)) != nullptr)
            keyPath = copy.get() + length;
    }
    HeapText copy;
    HKEY root;
    char* keyPath;
    DWORD error;
};

// 'ROOT\KEY\NAME' names the value NAME of ROOT\KEY, 'ROOT\KEY\' the default value of ROOT\KEY.
// A value name may itself hold a '\': the item is split at its last separator, so the key path
// is all that lies between the root and that separator. The stored text is never normalised
// again: 'ROOT\KEY\"' is the value '"' of KEY, never the value KEY of its parent. An item that
// cannot be split so (no full root name, an empty key path or an empty name in it) deletes
// nothing and is refused with ERROR_INVALID_DATA.
DWORD DeletePlanValue(const char* item) {
    RegistryItem split(item);
    if (split.error)
        return split.error;
    char* separator = split.keyPath ? FindLastChar(split.keyPath, '\\') : nullptr;
    if (!separator)
        return ERROR_INVALID_DATA;
    *separator = '\0';
    if (!IsWholeKeyPath(split.keyPath))
        return ERROR_INVALID_DATA;
    // The key is opened in the native view: the shell's helper takes no view.
    OwnedKey key;
    DWORD error = static_cast<DWORD>(RegOpenKeyExA(
        split.root, split.keyPath, 0, KEY_SET_VALUE | wow64::NativeKeyView(), key.out()));
    if (error == ERROR_SUCCESS)
        error = static_cast<DWORD>(RegDeleteValueA(key.get(), separator + 1));
    return IsAlreadyGone(error) ? ERROR_SUCCESS : error;
}

// Whether a key holds neither subkeys nor values (a set default value counts as a value);
// the key deletion alone is not trusted with the values: some implementations remove a key
// without subkeys even while it still holds values. The error when it cannot be looked at.
DWORD QueryKeyEmpty(HKEY root, const char* path, bool* empty) {
    *empty = false;
    OwnedKey key;
    LONG status = RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE | wow64::NativeKeyView(), key.out());
    if (status != ERROR_SUCCESS)
        return static_cast<DWORD>(status);
    DWORD subKeys = 0;
    DWORD values = 0;
    status = RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                              &values, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        return static_cast<DWORD>(status);
    *empty = subKeys == 0 && values == 0;
    return ERROR_SUCCESS;
}

// Removes the key only when nothing is left in it; a subtree is never deleted as a whole. A key
// that still holds something stays, and that is no failure: what it holds was spared, was never
// planned, or has its own line. The key path is the stored text after the root name, as it is.
DWORD DeletePlanKey(const char* item) {
    RegistryItem split(item);
    if (split.error)
        return split.error;
    if (!split.keyPath || !IsWholeKeyPath(split.keyPath))
        return ERROR_INVALID_DATA;
    bool empty = false;
    DWORD error = QueryKeyEmpty(split.root, split.keyPath, &empty);
    if (error == ERROR_SUCCESS && empty)
        error = static_cast<DWORD>(wow64::DeleteKey(split.root, split.keyPath));
    return IsAlreadyGone(error) ? ERROR_SUCCESS : error;
}

} // namespace

DWORD CUninstallEngine::CleanupFiles() {
    // The planned paths name the machine as it is: no file-system redirection on this thread.
    wow64::NativeFileView nativeView;
    int handled = 0;
    // Backwards: everything beneath a folder sorts after it, so it is handled first.
    DWORD result = WalkPlan(*this, m_planFiles, true, "DeletePlanPath", handled,
                            [this](const char* path) { return DeletePlanPath(path); });
    LogStepLine("%04d CleanupFiles: %d files and folders\n", static_cast<int>(result), handled);
    return result;
}

DWORD CUninstallEngine::DeletePlanPath(const char* path) {
    if (!path || !*path)
        return ERROR_INVALID_DATA;
    // The first failure is the item's error; every step is still tried.
    DWORD error = ERROR_SUCCESS;
    auto failed = [&error](DWORD fallback) {
        DWORD last = engine_support::LastErrorOr(fallback);
        if (!error && !IsAlreadyGone(last))
            error = last;
    };
    // The attributes of the entry itself; a reparse point reports its own, not its target's. A
    // read-only file is not deleted, now or at the restart: the attribute goes first. Attributes
    // that cannot be read are no failure of their own: the deletion itself tells.
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        DWORD kept = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (!SetFileAttributesA(path, kept ? kept : FILE_ATTRIBUTE_NORMAL))
            failed(ERROR_CAN_NOT_COMPLETE);
    }
    if (GetPlatformId() == VER_PLATFORM_WIN32_NT) {
        // Nothing goes now: the path is registered for the next restart, in the walk's order.
        if (!MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
            failed(ERROR_CAN_NOT_COMPLETE);
        return error;
    }
    // Never recursive: a folder that still holds an unplanned entry stays, which is what the
    // plan means, so that is no failure (a planned entry it still holds has its own line).
    attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (!RemoveDirectoryA(path) && GetLastError() != ERROR_DIR_NOT_EMPTY)
            failed(ERROR_CAN_NOT_COMPLETE);
    } else if (!DeleteFileA(path)) {
        failed(ERROR_CAN_NOT_COMPLETE);
    }
    return error;
}

DWORD CUninstallEngine::CleanupRegValues() {
    int handled = 0;
    DWORD result =
        WalkPlan(*this, m_planRegValues, false, "DeletePlanValue", handled, DeletePlanValue);
    LogStepLine("%04d CleanupRegValues: %d values\n", static_cast<int>(result), handled);
    return result;
}

DWORD CUninstallEngine::CleanupRegKeys() {
    int handled = 0;
    // Backwards, so that every subkey is handled before its parent.
    DWORD result = WalkPlan(*this, m_planRegKeys, true, "DeletePlanKey", handled, DeletePlanKey);
    LogStepLine("%04d CleanupRegKeys: %d keys\n", static_cast<int>(result), handled);
    return result;
}
