// Special folders, the Windows, system and temporary folders, the user's name and shlwapi's path
// parts, as the program's folder macros use them.
#include "contract.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <string>

namespace {

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string UserName() {
    char name[128];
    DWORD size = sizeof(name);
    EXPECT_TRUE(GetUserNameA(name, &size));
    return name;
}

struct Folder {
    int csidl;
    const char* name;
    bool perUser;
};

// Every folder the program's macros name that an English installation has.
const Folder kFolders[] = {
    {CSIDL_APPDATA, "APPDATA", true},
    {CSIDL_COMMON_DESKTOPDIRECTORY, "COMMON_DESKTOPDIRECTORY", false},
    {CSIDL_COMMON_FAVORITES, "COMMON_FAVORITES", false},
    {CSIDL_COMMON_PROGRAMS, "COMMON_PROGRAMS", false},
    {CSIDL_COMMON_STARTMENU, "COMMON_STARTMENU", false},
    {CSIDL_COMMON_STARTUP, "COMMON_STARTUP", false},
    {CSIDL_COOKIES, "COOKIES", true},
    {CSIDL_DESKTOPDIRECTORY, "DESKTOPDIRECTORY", true},
    {CSIDL_FAVORITES, "FAVORITES", true},
    {CSIDL_PERSONAL, "PERSONAL", true},
    {CSIDL_PROGRAMS, "PROGRAMS", true},
    {CSIDL_STARTMENU, "STARTMENU", true},
    {CSIDL_STARTUP, "STARTUP", true},
    {CSIDL_LOCAL_APPDATA, "LOCAL_APPDATA", true},
    {CSIDL_PROFILE, "PROFILE", true},
    {CSIDL_COMMON_APPDATA, "COMMON_APPDATA", false},
    {CSIDL_PROGRAM_FILES, "PROGRAM_FILES", false},
};

using FoldersContract = contract::Test;

TEST_F(FoldersContract, SpecialFoldersExistPerUserOrShared) {
    const std::string user = Upper(UserName());
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ASSERT_TRUE(GetVersionExA(&version));
    for (const Folder& folder : kFolders) {
        // Since Windows Vista the shared favorites are the user's own.
        const bool perUser = folder.perUser || (folder.csidl == CSIDL_COMMON_FAVORITES &&
                                                version.dwMajorVersion >= 6);
        char path[MAX_PATH] = {};
        ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, path, folder.csidl, FALSE)) << folder.name;
        EXPECT_EQ(':', path[1]) << folder.name;
        const DWORD attributes = GetFileAttributesA(path);
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes) << path;
        EXPECT_NE(0u, attributes & FILE_ATTRIBUTE_DIRECTORY) << path;
        // A user's folder lies in that user's profile; a shared one does not.
        const std::string upper = Upper(path) + "\\";
        const bool inProfile = upper.find("\\" + user + "\\") != std::string::npos;
        EXPECT_EQ(perUser, inProfile) << folder.name << " " << path;
    }
}

TEST_F(FoldersContract, NonLocalisedStartupGroupsAreAbsent) {
    for (int csidl : {CSIDL_ALTSTARTUP, CSIDL_COMMON_ALTSTARTUP}) {
        char path[MAX_PATH] = "unchanged";
        EXPECT_FALSE(SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE)) << csidl;
        EXPECT_STREQ("", path);
    }
}

TEST_F(FoldersContract, SharedAndOwnDesktopDiffer) {
    char own[MAX_PATH] = {}, shared[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, own, CSIDL_DESKTOPDIRECTORY, FALSE));
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, shared, CSIDL_COMMON_DESKTOPDIRECTORY, FALSE));
    EXPECT_NE(0, lstrcmpiA(own, shared));
}

TEST_F(FoldersContract, UserNameReportsTheSizeItNeeds) {
    const std::string user = UserName();
    ASSERT_FALSE(user.empty());
    char name[128];
    DWORD size = 0;
    SetLastError(contract::kMarker);
    EXPECT_FALSE(GetUserNameA(name, &size));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(user.size() + 1, size);

    memset(name, 'x', sizeof(name));
    EXPECT_TRUE(GetUserNameA(name, &size));
    EXPECT_EQ(user.size() + 1, size);
    EXPECT_EQ(user, name);
}

TEST_F(FoldersContract, WindowsAndSystemDirectories) {
    char windows[MAX_PATH], system[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(windows, sizeof(windows));
    ASSERT_GT(length, 0u);
    EXPECT_EQ(strlen(windows), length);
    EXPECT_NE(0u, GetFileAttributesA(windows) & FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_GT(GetSystemDirectoryA(system, sizeof(system)), 0u);
    EXPECT_EQ(0, lstrcmpiA((std::string(windows) + "\\system32").c_str(), system)) << system;

    char small[3] = {};
    EXPECT_EQ(length + 1, GetWindowsDirectoryA(small, sizeof(small)));
}

TEST_F(FoldersContract, TempPathEndsWithASeparator) {
    char temp[MAX_PATH];
    const DWORD length = GetTempPathA(sizeof(temp), temp);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(strlen(temp), length);
    EXPECT_EQ('\\', temp[length - 1]);
    EXPECT_NE(0u, GetFileAttributesA(temp) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(length + 1, GetTempPathA(2, temp));
}

TEST_F(FoldersContract, FileNameIsTheLastComponent) {
    const char path[] = "C:\\Program Files\\Vendor\\App.exe";
    EXPECT_STREQ("App.exe", PathFindFileNameA(path));
    EXPECT_STREQ("Vendor\\", PathFindFileNameA("C:\\Program Files\\Vendor\\"));
    EXPECT_STREQ("name", PathFindFileNameA("name"));
    EXPECT_STREQ("b", PathFindFileNameA("a/b"));
    EXPECT_EQ(strrchr(path, '\\') + 1, PathFindFileNameA(path));
}

TEST_F(FoldersContract, ExtensionIsTheLastDotOfTheLastComponent) {
    const char path[] = "C:\\Vendor.d\\archive.tar.gz";
    EXPECT_EQ(strrchr(path, '.'), PathFindExtensionA(path));
    const char none[] = "C:\\Vendor.d\\readme";
    EXPECT_EQ(none + strlen(none), PathFindExtensionA(none));
    EXPECT_STREQ(".", PathFindExtensionA("C:\\x\\file."));
    EXPECT_STREQ("", PathFindExtensionA("file.a b"));
}

} // namespace
