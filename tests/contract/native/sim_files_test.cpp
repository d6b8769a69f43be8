// The simulated disks' own controls: faults, locked files, folder links, the restart that
// carries out registered deletions, the default machine, special folders and double-byte names.
#include "contract.h"

#include "platform/os/crt.h"
#include "sim/sim.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Paths = std::vector<std::string>;

std::vector<std::string> Listing(const char* pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

BOOL RegisterDelete(const char* path) {
    return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

std::string Folder(int csidl) {
    char path[MAX_PATH] = {};
    return SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE) ? path : "<none>";
}

using SimFiles = contract::Test;

TEST_F(SimFiles, EveryFileOperationCanBeMadeToFail) {
    sim::AddFile("C:\\A\\f.txt");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("C:\\A\\*", &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    char buffer[MAX_PATH];
    DWORD size = sizeof(buffer);
    const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
        {"GetFileAttributesA",
         [] { return GetFileAttributesA("C:\\A\\f.txt") == INVALID_FILE_ATTRIBUTES; }},
        {"SetFileAttributesA", [] { return !SetFileAttributesA("C:\\A\\f.txt", 0); }},
        {"DeleteFileA", [] { return !DeleteFileA("C:\\A\\f.txt"); }},
        {"RemoveDirectoryA", [] { return !RemoveDirectoryA("C:\\A"); }},
        {"CreateDirectoryA", [] { return !CreateDirectoryA("C:\\B", nullptr); }},
        {"MoveFileExA", [] { return !RegisterDelete("C:\\A\\f.txt"); }},
        {"MoveFileA", [] { return !MoveFileA("C:\\A\\f.txt", "C:\\A\\g.txt"); }},
        {"FindFirstFileA",
         [&] { return FindFirstFileA("C:\\A\\*", &found) == INVALID_HANDLE_VALUE; }},
        {"FindNextFileA", [&] { return !FindNextFileA(search, &found); }},
        {"FindClose", [&] { return !FindClose(search); }},
        {"GetWindowsDirectoryA", [&] { return GetWindowsDirectoryA(buffer, MAX_PATH) == 0; }},
        {"GetSystemDirectoryA", [&] { return GetSystemDirectoryA(buffer, MAX_PATH) == 0; }},
        {"GetTempPathA", [&] { return GetTempPathA(MAX_PATH, buffer) == 0; }},
        {"GetUserNameA", [&] { return !GetUserNameA(buffer, &size); }},
    };
    for (const auto& call : calls) {
        sim::InjectFault(call.first, ERROR_NOT_ENOUGH_MEMORY);
        SetLastError(contract::kMarker);
        EXPECT_TRUE(call.second()) << call.first;
        EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError()) << call.first;
    }
    sim::InjectFault("SHGetSpecialFolderPathA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ("<none>", Folder(CSIDL_APPDATA));
    EXPECT_TRUE(sim::Exists("C:\\A\\f.txt"));
    EXPECT_TRUE(sim::PendingDeletes().empty());
    EXPECT_TRUE(FindClose(search));
}

TEST_F(SimFiles, LockedFileCannotBeDeletedOrMovedUntilARestart) {
    sim::AddFile("C:\\A\\held.dll", "", FILE_ATTRIBUTE_READONLY);
    sim::LockFile("C:\\A\\held.dll");
    SetLastError(contract::kMarker);
    EXPECT_FALSE(DeleteFileA("C:\\A\\held.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    SetLastError(contract::kMarker);
    EXPECT_FALSE(MoveFileExA("C:\\A\\held.dll", "C:\\A\\moved.dll", 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());

    ASSERT_TRUE(RegisterDelete("C:\\A\\held.dll"));
    sim::AddFile("C:\\A\\other.dll");
    sim::LockFile("C:\\A\\other.dll");
    sim::Restart();
    EXPECT_FALSE(sim::Exists("C:\\A\\held.dll")); // read-only and held: gone all the same
    EXPECT_TRUE(DeleteFileA("C:\\A\\other.dll")); // the restart released it
    EXPECT_EQ((Paths{"C:\\A\\held.dll", "C:\\A\\other.dll"}), sim::DeletedPaths());
}

TEST_F(SimFiles, JunctionShowsItsTargetAndGoesAlone) {
    sim::AddFile("C:\\Target\\a.txt");
    sim::AddFile("C:\\Target\\b.txt");
    sim::AddJunction("C:\\Data\\Link", "C:\\Target");
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
              GetFileAttributesA("C:\\Data\\Link"));
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("C:\\Data\\Link", &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_EQ(0xA0000003u, found.dwReserved0);
    FindClose(search);

    // A walk that does not look at the attribute goes through the link into the target.
    EXPECT_EQ((Paths{".", "..", "a.txt", "b.txt"}), Listing("C:\\Data\\Link\\*"));
    EXPECT_TRUE(DeleteFileA("C:\\Data\\Link\\a.txt"));
    EXPECT_FALSE(sim::Exists("C:\\Target\\a.txt"));
    EXPECT_EQ((Paths{"C:\\Target\\a.txt"}), sim::DeletedPaths());

    // What is made through the link is made in the target.
    sim::AddFile("C:\\Data\\Link\\c.txt");
    FILE* file = CrtOpen("C:\\Data\\Link\\d.txt", "w");
    ASSERT_NE(nullptr, file);
    fclose(file);
    ASSERT_TRUE(CreateDirectoryA("C:\\Data\\Link\\Sub", nullptr));
    EXPECT_EQ((Paths{"b.txt", "c.txt", "d.txt", "Sub"}), sim::ListFolder("C:\\Target"));

    EXPECT_TRUE(RemoveDirectoryA("C:\\Data\\Link"));
    EXPECT_FALSE(sim::Exists("C:\\Data\\Link"));
    EXPECT_TRUE(sim::Exists("C:\\Target\\b.txt"));
}

TEST_F(SimFiles, RestartDeletesContentsRegisteredBeforeTheirFolder) {
    sim::AddFile("C:\\App\\bin\\app.exe", "", FILE_ATTRIBUTE_READONLY);
    sim::AddFile("C:\\App\\readme.txt");
    for (const char* path : {"C:\\App\\bin\\app.exe", "C:\\App\\bin", "C:\\App\\readme.txt",
                             "C:\\App", "C:\\Gone\\never.txt"})
        ASSERT_TRUE(RegisterDelete(path)) << path;
    EXPECT_EQ((Paths{"C:\\App\\bin\\app.exe", "C:\\App\\bin", "C:\\App\\readme.txt", "C:\\App",
                     "C:\\Gone\\never.txt"}),
              sim::PendingDeletes());
    EXPECT_TRUE(sim::Exists("C:\\App\\bin\\app.exe")); // nothing happens before the restart

    sim::Restart();
    EXPECT_FALSE(sim::Exists("C:\\App"));
    EXPECT_EQ((Paths{"C:\\App\\bin\\app.exe", "C:\\App\\bin", "C:\\App\\readme.txt", "C:\\App"}),
              sim::DeletedPaths());
    EXPECT_TRUE(sim::PendingDeletes().empty());
    EXPECT_FALSE(sim::ValueExists("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                  "PendingFileRenameOperations"));
}

TEST_F(SimFiles, RestartKeepsAFolderRegisteredBeforeItsContent) {
    sim::AddFile("C:\\App\\app.exe");
    ASSERT_TRUE(RegisterDelete("C:\\App"));
    ASSERT_TRUE(RegisterDelete("C:\\App\\app.exe"));
    sim::Restart();
    EXPECT_TRUE(sim::Exists("C:\\App"));
    EXPECT_FALSE(sim::Exists("C:\\App\\app.exe"));
}

TEST_F(SimFiles, RegistrationsAreTheRegistryValue) {
    ASSERT_TRUE(RegisterDelete("c:/app//x.txt"));
    ASSERT_TRUE(MoveFileExA("C:\\a.txt", "C:\\b.txt",
                            MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    const char key[] = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), sim::ValueType(key, "PendingFileRenameOperations"));
    EXPECT_EQ(std::string("\\??\\C:\\app\\x.txt\0\0\\??\\C:\\a.txt\0!\\??\\C:\\b.txt\0\0", 46),
              sim::ValueData(key, "PendingFileRenameOperations"));
    EXPECT_EQ((Paths{"C:\\app\\x.txt"}), sim::PendingDeletes());

    // A registration made by someone else through the registry is carried out as well.
    sim::AddFile("C:\\a.txt", "moved");
    sim::AddFile("C:\\c.txt");
    sim::SetValue(key, "PendingFileRenameOperations", REG_MULTI_SZ,
                  sim::ValueData(key, "PendingFileRenameOperations").substr(0, 45) +
                      std::string("\\??\\C:\\c.txt\0\0\0", 15));
    sim::Restart();
    EXPECT_EQ("moved", sim::FileContent("C:\\b.txt"));
    EXPECT_FALSE(sim::Exists("C:\\a.txt"));
    EXPECT_FALSE(sim::Exists("C:\\c.txt"));
}

TEST_F(SimFiles, RegistrationNeedsTheSessionManagerKey) {
    sim::DenyKeyAccess("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager");
    SetLastError(contract::kMarker);
    EXPECT_FALSE(RegisterDelete("C:\\x.txt"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    SetLastError(contract::kMarker);
    EXPECT_FALSE(
        MoveFileExA("C:\\x.txt", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_COPY_ALLOWED));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(SimFiles, DefaultMachineHasTheXpLayout) {
    for (const char* path : {"C:\\WINDOWS\\system32", "C:\\Program Files",
                             "C:\\Documents and Settings\\Administrator\\Application Data",
                             "C:\\Documents and Settings\\All Users\\Desktop",
                             "C:\\Documents and Settings\\Default User\\Start Menu\\Programs"})
        EXPECT_TRUE(sim::IsFolder(path)) << path;
    EXPECT_EQ("C:\\Documents and Settings\\Administrator\\Application Data", Folder(CSIDL_APPDATA));
    EXPECT_EQ("C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup",
              Folder(CSIDL_COMMON_STARTUP));
    EXPECT_EQ("C:\\Documents and Settings\\Administrator\\Start Menu\\Programs\\Startup",
              Folder(CSIDL_STARTUP));
    EXPECT_EQ("C:\\Program Files", Folder(CSIDL_PROGRAM_FILES));
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof(temp), temp), 0u);
    EXPECT_STREQ("C:\\Documents and Settings\\Administrator\\Local Settings\\Temp\\", temp);
    EXPECT_EQ((Paths{"Administrator", "All Users", "Default User"}),
              sim::ListFolder("C:\\Documents and Settings"));
}

TEST_F(SimFiles, AnotherUserNeedsAProfile) {
    sim::SetUserName("Joe");
    char name[16];
    DWORD size = sizeof(name);
    ASSERT_TRUE(GetUserNameA(name, &size));
    EXPECT_STREQ("Joe", name);
    EXPECT_EQ("<none>", Folder(CSIDL_APPDATA)); // the folder is not on the disk yet
    EXPECT_EQ("C:\\Documents and Settings\\All Users\\Desktop",
              Folder(CSIDL_COMMON_DESKTOPDIRECTORY));

    sim::AddUserProfile("Joe");
    EXPECT_EQ("C:\\Documents and Settings\\Joe\\Application Data", Folder(CSIDL_APPDATA));
    EXPECT_EQ("C:\\Documents and Settings\\Joe\\Cookies", Folder(CSIDL_COOKIES));
    EXPECT_EQ("C:\\Documents and Settings\\Joe\\Desktop", Folder(CSIDL_DESKTOPDIRECTORY));
}

TEST_F(SimFiles, QueryCanCreateAMissingFolder) {
    sim::SetUserName("Ann");
    char path[MAX_PATH] = {};
    EXPECT_TRUE(SHGetSpecialFolderPathA(nullptr, path, CSIDL_FAVORITES, TRUE));
    EXPECT_STREQ("C:\\Documents and Settings\\Ann\\Favorites", path);
    EXPECT_TRUE(sim::IsFolder(path));
}

TEST_F(SimFiles, SpecialFoldersCanBeMovedOrTakenAway) {
    sim::SetSpecialFolder(CSIDL_PERSONAL, "D:\\Docs");
    EXPECT_EQ("D:\\Docs", Folder(CSIDL_PERSONAL));
    EXPECT_TRUE(sim::IsFolder("D:\\Docs"));

    sim::SetSpecialFolder(CSIDL_COMMON_PROGRAMS, nullptr);
    char path[MAX_PATH] = "unchanged";
    EXPECT_FALSE(SHGetSpecialFolderPathA(nullptr, path, CSIDL_COMMON_PROGRAMS, TRUE));
    EXPECT_STREQ("", path);

    sim::SetWindowsDirectory("D:\\WINNT");
    char system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(system, sizeof(system)), 0u);
    EXPECT_STREQ("D:\\WINNT\\system32", system);
    EXPECT_TRUE(sim::IsFolder(system));
    sim::SetTempPath("D:\\Tmp");
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof(temp), temp), 0u);
    EXPECT_STREQ("D:\\Tmp\\", temp);
}

TEST_F(SimFiles, DoubleByteNamesKeepTheirSecondByte) {
    sim::SetCodePage(932);
    // "\x83\x5C" is one character whose second byte is the separator's code.
    const std::string folder = "C:\\\x83\x5C";
    sim::AddFile((folder + "\\a.txt").c_str());
    EXPECT_EQ((Paths{"\x83\x5C"}), Listing("C:\\?"));
    EXPECT_EQ((Paths{".", "..", "a.txt"}), Listing((folder + "\\*").c_str()));
    EXPECT_STREQ("\x83\x5C", PathFindFileNameA(folder.c_str()));
    const std::string file = "C:\\x\\\x83\x5C.txt";
    EXPECT_STREQ(".txt", PathFindExtensionA(file.c_str()));
}

} // namespace
