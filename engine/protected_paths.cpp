// Protected places of the removal plan: which folders and registry keys they are on this machine,
// the comparison form of a path, and the refusals of the plan step and its folder walk.
#include "protected_paths.h"
#include "twin_locations.h"

#include "path_pieces.h"

#include "helpers/helper.h"
#include "refusal_observer.h"
#include "trace/trace.h"

#include <shlobj.h>

#include <cstring>

namespace protected_paths {

using path_pieces::Join;
using path_pieces::Split;

namespace {

// Special folders protected besides the macro table's (CSIDL values; several are not named by
// every SDK's headers). A folder the machine does not have is skipped.
const int kSpecialFolders[] = {
    0x0000, // desktop
    0x0002, // programs
    0x0005, // personal (documents)
    0x0006, // favorites
    0x0007, // startup
    0x0008, // recent
    0x0009, // send to
    0x000B, // start menu
    0x000D, // music
    0x000E, // videos
    0x0010, // desktop directory
    0x0013, // network shortcuts
    0x0014, // fonts
    0x0015, // templates
    0x0016, // common start menu
    0x0017, // common programs
    0x0018, // common startup
    0x0019, // common desktop directory
    0x001A, // application data
    0x001B, // printer shortcuts
    0x001C, // local application data
    0x001D, // non-localised startup
    0x001E, // common non-localised startup
    0x001F, // common favorites
    0x0020, // internet cache
    0x0021, // cookies
    0x0022, // history
    0x0023, // common application data
    0x0024, // Windows
    0x0025, // system
    0x0026, // program files
    0x0027, // pictures
    0x0028, // the user's profile folder
    0x0029, // 32-bit system folder
    0x002A, // 32-bit program files
    0x002B, // common files
    0x002C, // 32-bit common files
    0x002D, // common templates
    0x002E, // common documents
    0x002F, // common administrative tools
    0x0030, // administrative tools
    0x0035, // common music
    0x0036, // common pictures
    0x0037, // common videos
    0x0038, // resources
    0x003B, // CD burning area
};
const int kProfileFolder = 0x0028;

const DWORD kRefusal = ERROR_ACCESS_DENIED;
// Why a path is refused, as the plan's observer is told.
const char kProtectedFolder[] = "protected location";
const char kUnjudged[] = "not a full local path, so its place cannot be judged";

bool IsDriveRoot(const std::string& canonical) {
    return canonical.size() == 2 && canonical[1] == ':';
}

// The long name of an existing entry that the path names by its short 8.3 name; the name itself
// when there is none.
std::string LongName(const std::string& folder, const std::string& name) {
    if (name.find('~') == std::string::npos || HasWildcards(name.c_str()))
        return name;
    std::string path = folder + '\\' + name;
    if (path.size() >= MAX_PATH)
        return name;
    WIN32_FIND_DATAA found;
    memset(&found, 0, sizeof(found));
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return name;
    FindClose(search);
    found.cFileName[MAX_PATH - 1] = '\0';
    if (!found.cFileName[0] || strcmp(found.cFileName, ".") == 0 ||
        strcmp(found.cFileName, "..") == 0)
        return name;
    UpperCase(found.cFileName);
    return found.cFileName;
}

// The current user's profile folder, in comparison form, when the system names one.
bool ProfileFolder(std::string* profile) {
    char folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, folder, kProfileFolder, FALSE))
        return false;
    folder[MAX_PATH - 1] = '\0';
    return folder[0] && CanonicalPath(folder, profile) && !IsDriveRoot(*profile);
}

void AddUnique(std::vector<std::string>& list, const std::string& item) {
    for (const std::string& present : list)
        if (present == item)
            return;
    list.push_back(item);
}

// True when a folder on the way to the (canonical) path is a link: the path then names whatever
// the link leads to, which belongs to someone else, protected place or not.
bool PassesThroughLink(const std::string& canonical) {
    std::vector<std::string> pieces = Split(canonical.c_str());
    std::string prefix = pieces[0];
    for (size_t i = 1; i + 1 < pieces.size(); ++i) {
        prefix += '\\';
        prefix += pieces[i];
        DWORD attributes = GetFileAttributesA(prefix.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return true;
    }
    return false;
}

// True when the path is already its own comparison form, so that CanonicalPath would return it
// unchanged: 'X:' and upper-case printable ASCII components separated by single backslashes,
// none empty, none ending in a dot or a blank (which covers '.' and '..'), no '/', '"' or ':' after
// the drive's, and no '~' (a component that may be a short 8.3 name is looked up on the disk).
// Plan entries of a walk nearly always are; anything else takes the full way.
bool IsOwnCanonicalForm(const char* path) {
    if (!(path[0] >= 'A' && path[0] <= 'Z') || path[1] != ':')
        return false;
    if (path[2] == '\0')
        return true;
    if (path[2] != '\\')
        return false;
    char previous = '\\';
    for (const char* p = path + 3; *p; previous = *p, ++p) {
        char c = *p;
        if (c < 0x20 || c > 0x7E || (c >= 'a' && c <= 'z') || c == '/' || c == '"' || c == ':' ||
            c == '~')
            return false;
        if (c == '\\' && (previous == '\\' || previous == '.' || previous == ' '))
            return false;
    }
    return previous != '\\' && previous != '.' && previous != ' ';
}

} // namespace

bool CanonicalPath(const char* path, std::string* out) {
    if (!path)
        return false;
    if (IsOwnCanonicalForm(path)) {
        out->assign(path);
        return true;
    }
    std::vector<char> text(path, path + strlen(path) + 1);
    NormalizeEntry(text.data());
    const char* start = text.data();
    // Device and long-path prefixes, as they read after normalisation ('\\?\' is '\?\').
    if (strncmp(start, "\\??\\", 4) == 0)
        start += 4;
    else if (strncmp(start, "\\?\\", 3) == 0 || strncmp(start, "\\.\\", 3) == 0)
        start += 3;
    if (!((start[0] >= 'A' && start[0] <= 'Z') || (start[0] >= 'a' && start[0] <= 'z')) ||
        start[1] != ':' || (start[2] != '\0' && start[2] != '\\'))
        return false;
    // A ':' after the drive's names a stream of a file or folder ('X::$INDEX_ALLOCATION' is the
    // folder X itself, 'file:stream' a part of a file): such a path is never judged safe.
    if (FindChar(start + 2, ':'))
        return false;

    std::string result(start, 2);
    std::vector<std::string> kept;
    if (start[2]) {
        std::vector<std::string> pieces = Split(start + 3);
        for (std::string& piece : pieces) {
            if (piece == "..") {
                if (!kept.empty())
                    kept.pop_back();
                continue;
            }
            size_t end = piece.find_last_not_of(". ");
            if (end == std::string::npos)
                continue; // '.', '...', blanks: the folder itself
            piece.erase(end + 1);
            std::string folder = result;
            for (const std::string& done : kept)
                folder += '\\' + done;
            kept.push_back(LongName(folder, piece));
        }
    }
    for (const std::string& piece : kept)
        result += '\\' + piece;
    *out = result;
    return true;
}

void ProtectedFolders::Compute() {
    char user[128] = {};
    DWORD userSize = sizeof(user);
    if (!GetUserNameA(user, &userSize))
        user[0] = '\0';
    user[sizeof(user) - 1] = '\0';
    UpperCase(user);

    // The profile folder first: it gives the profile root and the per-user part of the others.
    // Only a system that does not name it leaves the profile to be found by the user's name.
    std::string profile;
    if (ProfileFolder(&profile)) {
        AddUnique(m_profileRoots, profile.substr(0, profile.rfind('\\')));
        m_exact.insert(m_profileRoots.back());
        user[0] = '\0';
    }

    char folder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        Add(folder, user);
    length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        Add(folder, user);
    for (size_t row = 0; row < FolderMacroCount(); ++row)
        if (FolderMacroPath(row, folder))
            Add(folder, user);
    for (int id : kSpecialFolders) {
        memset(folder, 0, sizeof(folder));
        if (SHGetSpecialFolderPathA(nullptr, folder, id, FALSE) && folder[0]) {
            folder[MAX_PATH - 1] = '\0';
            Add(folder, user);
        }
    }
    length = GetTempPathA(MAX_PATH, folder);
    if (length > 0 && length < MAX_PATH)
        Add(folder, user);
    // Both views of the folders 64-bit Windows keeps twice: a 32-bit build is told only the
    // 32-bit program files folder by the shell.
    for (const std::string& twin : twin_locations::TwinFolders())
        Add(twin.c_str(), user);
}

void ProtectedFolders::Add(const char* path, const char* user) {
    std::string canonical;
    if (!CanonicalPath(path, &canonical))
        return;
    m_exact.insert(canonical);

    // A folder below a known profile root: its part below the profile folder is protected in
    // every profile.
    for (const std::string& root : m_profileRoots) {
        if (canonical.size() <= root.size() + 1 || canonical.compare(0, root.size(), root) != 0 ||
            canonical[root.size()] != '\\')
            continue;
        const char* profile = canonical.c_str() + root.size() + 1;
        const char* separator = FindChar(profile, '\\');
        if (separator)
            m_profileTails.insert(separator + 1);
        return;
    }
    // Without the profile folder from the system: the current user's name as a whole component
    // marks the profile folder, as the folder-macro expansion takes it. A profile root must lie
    // below a drive root, or every folder of the drive would count as a profile.
    if (!user || !*user)
        return;
    std::vector<std::string> pieces = Split(canonical.c_str());
    for (size_t i = 2; i < pieces.size(); ++i) {
        if (pieces[i] != user)
            continue;
        AddUnique(m_profileRoots, Join(pieces, 0, i));
        m_exact.insert(Join(pieces, 0, i));
        if (i + 1 < pieces.size())
            m_profileTails.insert(Join(pieces, i + 1, pieces.size()));
        return;
    }
}

bool ProtectedFolders::Contains(const std::string& canonical) const {
    if (IsDriveRoot(canonical) || m_exact.count(canonical))
        return true;
    for (const std::string& root : m_profileRoots) {
        if (canonical.size() <= root.size() + 1 || canonical.compare(0, root.size(), root) != 0 ||
            canonical[root.size()] != '\\')
            continue;
        const char* separator = FindChar(canonical.c_str() + root.size() + 1, '\\');
        if (!separator || m_profileTails.count(separator + 1))
            return true;
    }
    return false;
}

void LogProtectedPath(const char* path, const char* reason) {
    LogStepLine("%04d ProtectedPath: %s\n", static_cast<int>(kRefusal), path);
    refusal_observer::Report("path", path, reason);
}

RunScope::RunScope() {
    m_folders.Compute();
}

bool WalkScope::Refuses(const char* path) {
    std::string canonical;
    const char* reason = nullptr;
    if (!CanonicalPath(path, &canonical))
        reason = kUnjudged;
    else if (m_folders.Contains(canonical))
        reason = kProtectedFolder;
    // The walk itself never follows a link, so only the way to the remove entry can pass one.
    if (!m_entryChecked) {
        m_entryChecked = true;
        if (!reason && PassesThroughLink(canonical))
            reason = "the way to it passes through a link";
    }
    if (reason)
        LogProtectedPath(path, reason);
    return reason != nullptr;
}

void FilterPlan(TSet& plan, const ProtectedFolders& folders) {
    // One text for every entry: its room is reused from one entry to the next.
    std::string canonical;
    plan.RemoveIf([&](const char* entry) {
        bool judged = CanonicalPath(entry, &canonical);
        if (judged && !folders.Contains(canonical))
            return false;
        LogProtectedPath(entry, judged ? kProtectedFolder : kUnjudged);
        return true;
    });
}

} // namespace protected_paths
