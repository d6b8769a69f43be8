// Folder macros of FILE_NAME_EXPAND entries: the special folder behind each one, and their
// expansion into one path, or one path per user profile for per-user folders.
#include "Zelm.h"

#include "engine_support.h"
#include "helpers/helper.h"
#include "protected_paths.h"

#include <shlobj.h>

#include <cstring>

namespace {

// Markers for the two folders that come from directory queries rather than the shell.
const int kSystemDirectory = 0xFFFF;
const int kWindowsDirectory = 0xFFFE;

struct FolderMacro {
    const char* macro;
    int folder;
};

const FolderMacro FolderMacroTable[] = {
    {"%ALTSTARTUP%", CSIDL_ALTSTARTUP},
    {"%APPDATA%", CSIDL_APPDATA},
    {"%COMMON_ALTSTARTUP%", CSIDL_COMMON_ALTSTARTUP},
    {"%COMMON_DESKTOPDIRECTORY%", CSIDL_COMMON_DESKTOPDIRECTORY},
    {"%COMMON_FAVORITES%", CSIDL_COMMON_FAVORITES},
    {"%COMMON_PROGRAMS%", CSIDL_COMMON_PROGRAMS},
    {"%COMMON_STARTMENU%", CSIDL_COMMON_STARTMENU},
    {"%COMMON_STARTUP%", CSIDL_COMMON_STARTUP},
    {"%COOKIES%", CSIDL_COOKIES},
    {"%DESKTOPDIRECTORY%", CSIDL_DESKTOPDIRECTORY},
    {"%FAVORITES%", CSIDL_FAVORITES},
    {"%PERSONAL%", CSIDL_PERSONAL},
    {"%PROGRAMS%", CSIDL_PROGRAMS},
    {"%STARTMENU%", CSIDL_STARTMENU},
    {"%STARTUP%", CSIDL_STARTUP},
    {"%SYSTEM%", kSystemDirectory},
    {"%WINDOWS%", kWindowsDirectory},
};

// The macro the (normalised) text begins with, or null. A macro anywhere else is not expanded:
// the rest of the entry would otherwise be taken from the wrong place.
const FolderMacro* LeadingMacro(const char* text) {
    for (const FolderMacro& row : FolderMacroTable)
        if (ComparePrefixNoCase(text, row.macro, strlen(row.macro)) == 0)
            return &row;
    return nullptr;
}

// Writes the macro's folder into a MAX_PATH buffer; false, with the buffer empty, when the
// system does not name one (or names one that does not fit).
bool QueryFolder(int id, char* folder) {
    memset(folder, 0, MAX_PATH);
    bool known;
    if (id == kWindowsDirectory || id == kSystemDirectory) {
        UINT length = id == kWindowsDirectory ? GetWindowsDirectoryA(folder, MAX_PATH)
                                              : GetSystemDirectoryA(folder, MAX_PATH);
        known = length > 0 && length < MAX_PATH;
    } else {
        known = SHGetSpecialFolderPathA(nullptr, folder, id, FALSE) != FALSE;
    }
    folder[MAX_PATH - 1] = '\0';
    if (!known)
        folder[0] = '\0';
    return folder[0] != '\0';
}

// Finds the first component of the folder that is exactly the user name, so that a name which
// is only part of a component (user 'AL' in 'ALICE' or 'SALES') is never taken for it.
bool FindUserComponent(const char* folder, const char* user, size_t* at) {
    size_t userLength = strlen(user);
    if (userLength == 0)
        return false;
    const char* start = folder;
    for (;;) {
        const char* separator = FindChar(start, '\\');
        size_t length = separator ? static_cast<size_t>(separator - start) : strlen(start);
        if (length == userLength && memcmp(start, user, length) == 0) {
            *at = static_cast<size_t>(start - folder);
            return true;
        }
        if (!separator)
            return false;
        start = separator + 1;
    }
}

} // namespace

size_t FolderMacroCount() {
    return sizeof(FolderMacroTable) / sizeof(FolderMacroTable[0]);
}

const char* FolderMacroName(size_t row) {
    return row < FolderMacroCount() ? FolderMacroTable[row].macro : nullptr;
}

bool FolderMacroPath(size_t row, char* folder) {
    if (row >= FolderMacroCount()) {
        folder[0] = '\0';
        return false;
    }
    return QueryFolder(FolderMacroTable[row].folder, folder);
}

DWORD CUninstallEngine::FindExpandedFilesByValue(TSet& destination, char* data) {
    return ExpandFolderMacro(destination, data, &CUninstallEngine::FindFilesByValue);
}

DWORD CUninstallEngine::FindExpandedFilesByDataMatch(TSet& destination, char* data) {
    return ExpandFolderMacro(destination, data, &CUninstallEngine::FindFilesByDataMatch);
}

DWORD CUninstallEngine::ExpandFolderMacro(TSet& destination, char* data, FileOperation operation) {
    NormalizeEntry(data);
    const FolderMacro* macro = LeadingMacro(data);
    if (!macro)
        return ERROR_BAD_CONFIGURATION;

    // An unavailable folder leaves the macro in place; such an item names nothing that exists.
    char folder[MAX_PATH];
    if (!QueryFolder(macro->folder, folder))
        return (this->*operation)(destination, data);
    NormalizeEntry(folder);

    char user[128] = {};
    DWORD userSize = sizeof user;
    if (!GetUserNameA(user, &userSize))
        user[0] = '\0';
    user[sizeof user - 1] = '\0';
    UpperCase(user);

    // Paths that do not fit are left out: a path cut short could name a different folder.
    const char* rest = data + strlen(macro->macro);
    char expanded[MAX_PATH];
    if (!JoinPath(expanded, sizeof expanded, folder, rest))
        return ERROR_SUCCESS;
    size_t userAt = 0;
    if (!FindUserComponent(folder, user, &userAt))
        return DiscoverBothViews(destination, expanded, operation);

    // A folder of the current user's profile: the entry applies to the same folder of every
    // profile, found as the folders beside the current user's one.
    char tail[MAX_PATH];
    if (!JoinPath(tail, sizeof tail, folder + userAt + strlen(user), rest))
        return ERROR_SUCCESS;
    char profiles[MAX_PATH];
    memcpy(profiles, folder, userAt);
    profiles[userAt] = '\0';
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA entry;
    OwnedSearch search(JoinPath(pattern, sizeof pattern, profiles, "*")
                           ? FindFirstFileA(pattern, &entry)
                           : INVALID_HANDLE_VALUE);
    if (search.get() == INVALID_HANDLE_VALUE)
        return DiscoverBothViews(destination, expanded, operation);

    // The walk goes on past a failing profile; the first failure (a malformed entry fails in
    // every profile alike) is still the entry's result.
    DWORD result = ERROR_SUCCESS;
    do {
        entry.cFileName[MAX_PATH - 1] = '\0';
        // Only real folders are profiles; links such as a profile's 'Application Data'
        // junction lead into a profile that the walk already visits.
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
            strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0)
            continue;
        char path[MAX_PATH];
        if (!JoinPath(path, sizeof path, profiles, entry.cFileName, tail))
            continue;
        DWORD applied = (this->*operation)(destination, path);
        if (result == ERROR_SUCCESS)
            result = applied;
    } while (FindNextFileA(search.get(), &entry));
    return result;
}
