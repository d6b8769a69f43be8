// The machine's special folders (XP layout by default), their query and their controls.
#include "wow64_state.h"
#include "folders_state.h"
#include "fs_store.h"

#include "sim/control_files.h"

#include <cstring>

namespace simfolders {

namespace {

struct FolderRow {
    int csidl;
    const char* relative;
};

// Folders of each user, below the user's profile folder.
const FolderRow kUserFolders[] = {
    {CSIDL_DESKTOP, "Desktop"},
    {CSIDL_PROGRAMS, "Start Menu\\Programs"},
    {CSIDL_PERSONAL, "My Documents"},
    {CSIDL_FAVORITES, "Favorites"},
    {CSIDL_STARTUP, "Start Menu\\Programs\\Startup"},
    {CSIDL_RECENT, "Recent"},
    {CSIDL_STARTMENU, "Start Menu"},
    {CSIDL_DESKTOPDIRECTORY, "Desktop"},
    {CSIDL_APPDATA, "Application Data"},
    {CSIDL_LOCAL_APPDATA, "Local Settings\\Application Data"},
    {CSIDL_INTERNET_CACHE, "Local Settings\\Temporary Internet Files"},
    {CSIDL_COOKIES, "Cookies"},
    {CSIDL_PROFILE, ""},
};

// Folders shared by all users, below the all-users profile folder.
const FolderRow kCommonFolders[] = {
    {CSIDL_COMMON_STARTMENU, "Start Menu"},
    {CSIDL_COMMON_PROGRAMS, "Start Menu\\Programs"},
    {CSIDL_COMMON_STARTUP, "Start Menu\\Programs\\Startup"},
    {CSIDL_COMMON_DESKTOPDIRECTORY, "Desktop"},
    {CSIDL_COMMON_FAVORITES, "Favorites"},
    {CSIDL_COMMON_APPDATA, "Application Data"},
};

// An English installation has no separate non-localised startup groups.
const int kAbsentByDefault[] = {CSIDL_ALTSTARTUP, CSIDL_COMMON_ALTSTARTUP};

std::string Join(const std::string& folder, const char* relative) {
    return *relative ? folder + "\\" + relative : folder;
}

void MakeFolder(const std::string& path) {
    simfs::ParsedPath parsed = simfs::Parse(path.c_str());
    if (parsed.valid)
        simfs::MakeFolders(parsed, parsed.components.size());
}

void MakeProfile(const std::string& user) {
    const std::string profile = ProfileOf(user);
    for (const FolderRow& row : kUserFolders)
        MakeFolder(Join(profile, row.relative));
    MakeFolder(profile + "\\Local Settings\\Temp");
}

} // namespace

FolderState& State() {
    static FolderState state;
    return state;
}

std::string ProfileOf(const std::string& user) {
    return State().profileRoot + "\\" + user;
}

bool SpecialFolder(int csidl, std::string* path) {
    const FolderState& state = State();
    if (state.unavailable.count(csidl))
        return false;
    auto set = state.overrides.find(csidl);
    if (set != state.overrides.end()) {
        *path = set->second;
        return true;
    }
    for (const FolderRow& row : kUserFolders)
        if (row.csidl == csidl) {
            *path = Join(ProfileOf(state.user), row.relative);
            return true;
        }
    for (const FolderRow& row : kCommonFolders)
        if (row.csidl == csidl) {
            *path = Join(ProfileOf(state.allUsers), row.relative);
            return true;
        }
    switch (csidl) {
    case CSIDL_WINDOWS:
        *path = state.windows;
        return true;
    case CSIDL_SYSTEM:
        *path = state.windows + "\\system32";
        return true;
    case CSIDL_PROGRAM_FILES:
        // A 32-bit program on a 64-bit machine is told the 32-bit programs' folders.
        *path = state.programFiles + (simwow::RedirectedProgram() ? " (x86)" : "");
        return true;
    case CSIDL_PROGRAM_FILES_COMMON:
        *path =
            state.programFiles + (simwow::RedirectedProgram() ? " (x86)" : "") + "\\Common Files";
        return true;
    // The 32-bit twins exist only on a 64-bit machine.
    case 0x0029: // 32-bit system folder
        *path = state.windows + "\\SysWOW64";
        return simwow::Windows64();
    case 0x002A: // 32-bit program files
        *path = state.programFiles + " (x86)";
        return simwow::Windows64();
    case 0x002C: // 32-bit common files
        *path = state.programFiles + " (x86)\\Common Files";
        return simwow::Windows64();
    default:
        return false;
    }
}

void BuildDefaultFolders() {
    State() = FolderState();
    for (int csidl : kAbsentByDefault)
        State().unavailable.insert(csidl);
    FolderState& state = State();
    MakeFolder(state.windows + "\\system32");
    MakeFolder(state.windows + "\\Temp");
    MakeFolder(state.programFiles + "\\Common Files");
    MakeProfile(state.user);
    MakeProfile("Default User");
    for (const FolderRow& row : kCommonFolders)
        MakeFolder(Join(ProfileOf(state.allUsers), row.relative));
}

} // namespace simfolders

BOOL WINAPI SHGetSpecialFolderPathA(HWND, LPSTR path, int folder, BOOL create) {
    simcore::Guard guard(simcore::MachineLock());
    if (!path)
        return FALSE;
    path[0] = '\0';
    SIM_API_FAULT(error, FALSE);
    if (folder & CSIDL_FLAG_CREATE)
        create = TRUE;
    std::string found;
    if (!simfolders::SpecialFolder(folder & 0xFF, &found) || found.size() >= MAX_PATH)
        return FALSE;
    // The folder is checked on the disk: one that does not exist is made only on request.
    simfs::Node* node = simfs::Follow(simfs::Find(found.c_str()));
    if (!node || !node->IsFolder()) {
        if (!create)
            return FALSE;
        simfolders::MakeFolder(found);
    }
    memcpy(path, found.c_str(), found.size() + 1);
    return TRUE;
}

namespace sim {

void SetUserName(const char* user) {
    simcore::Guard guard(simcore::MachineLock());
    simfolders::State().user = user ? user : "";
}

void AddUserProfile(const char* user) {
    simcore::Guard guard(simcore::MachineLock());
    if (user && *user)
        simfolders::MakeProfile(user);
}

void SetSpecialFolder(int csidl, const char* path) {
    simcore::Guard guard(simcore::MachineLock());
    simfolders::FolderState& state = simfolders::State();
    state.overrides.erase(csidl);
    state.unavailable.erase(csidl);
    if (!path) {
        state.unavailable.insert(csidl);
        return;
    }
    state.overrides[csidl] = path;
    simfolders::MakeFolder(path);
}

std::string SpecialFolderPath(int csidl) {
    simcore::Guard guard(simcore::MachineLock());
    std::string path;
    return simfolders::SpecialFolder(csidl, &path) ? path : std::string();
}

void SetWindowsDirectory(const char* path) {
    simcore::Guard guard(simcore::MachineLock());
    simfolders::State().windows = path ? path : "";
    simfolders::MakeFolder(simfolders::State().windows + "\\system32");
}

void SetTempPath(const char* path) {
    simcore::Guard guard(simcore::MachineLock());
    simfolders::State().temp = path ? path : "";
}

} // namespace sim
