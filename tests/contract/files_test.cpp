// File functions the program relies on: attributes, deletion now, folder creation and removal,
// renames, and deletion registered for the next restart.
#include "contract.h"

#include "platform/os/crt.h"

#include <shlwapi.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";

class FilesContract : public contract::Test {
protected:
    std::string Path(const char* name) { return contract::Scratch() + "\\" + name; }
    std::string MakeFile(const char* name, const char* content = "x") {
        const std::string path = Path(name);
        FILE* file = CrtOpen(path.c_str(), "wb");
        EXPECT_NE(nullptr, file) << path;
        if (file) {
            fputs(content, file);
            fclose(file);
        }
        return path;
    }
    std::string MakeFolder(const char* name) {
        const std::string path = Path(name);
        EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
        return path;
    }
    static DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }
};

TEST_F(FilesContract, AttributesTellFilesFromFolders) {
    const std::string folder = MakeFolder("Folder");
    const std::string file = MakeFile("file.txt");
    SetLastError(contract::kMarker);
    EXPECT_NE(0u, Attributes(folder) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(0u, Attributes(file) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, Attributes(file));
    EXPECT_EQ(contract::kMarker, GetLastError());
}

TEST_F(FilesContract, SetAttributesKeepsTheDirectoryBit) {
    const std::string folder = MakeFolder("Folder");
    const std::string file = MakeFile("file.txt");
    SetLastError(contract::kMarker);
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_NE(0u, Attributes(file) & FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(0u, Attributes(file) & FILE_ATTRIBUTE_READONLY);

    ASSERT_TRUE(SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN),
              Attributes(folder) & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY),
              Attributes(folder) & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(contract::kMarker, GetLastError());
}

TEST_F(FilesContract, MissingPathsAreToldApart) {
    SetLastError(contract::kMarker);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(Path("absent.txt")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

    SetLastError(contract::kMarker);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(Path("no\\such\\file.txt")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());

    SetLastError(contract::kMarker);
    EXPECT_FALSE(SetFileAttributesA(Path("absent.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(FilesContract, FileNameWithTrailingSeparatorNamesNothing) {
    const std::string file = MakeFile("file.txt");
    SetLastError(contract::kMarker);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(file + "\\"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    SetLastError(contract::kMarker);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(file + "\\inside"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST_F(FilesContract, WildcardsAreNoPartOfAName) {
    MakeFile("file.txt");
    SetLastError(contract::kMarker);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(Path("file*")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
    SetLastError(contract::kMarker);
    EXPECT_FALSE(DeleteFileA(Path("fil?.txt").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
}

TEST_F(FilesContract, DeleteFileRefusesReadOnlyFilesAndFolders) {
    const std::string file = MakeFile("locked.txt");
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    SetLastError(contract::kMarker);
    EXPECT_FALSE(DeleteFileA(file.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, Attributes(file));

    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileA(file.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(file));

    const std::string folder = MakeFolder("Folder");
    SetLastError(contract::kMarker);
    EXPECT_FALSE(DeleteFileA(folder.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

    SetLastError(contract::kMarker);
    EXPECT_FALSE(DeleteFileA(Path("absent.txt").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(FilesContract, RemoveDirectoryOnlyTakesEmptyFolders) {
    const std::string folder = MakeFolder("Folder");
    MakeFile("Folder\\inside.txt");
    SetLastError(contract::kMarker);
    EXPECT_FALSE(RemoveDirectoryA(folder.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DIR_NOT_EMPTY), GetLastError());

    ASSERT_TRUE(DeleteFileA(Path("Folder\\inside.txt").c_str()));
    EXPECT_TRUE(RemoveDirectoryA(folder.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(folder));

    const std::string file = MakeFile("file.txt");
    SetLastError(contract::kMarker);
    EXPECT_FALSE(RemoveDirectoryA(file.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY), GetLastError());

    SetLastError(contract::kMarker);
    EXPECT_FALSE(RemoveDirectoryA(folder.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(FilesContract, RemoveDirectoryRefusesAReadOnlyFolder) {
    const std::string folder = MakeFolder("Folder");
    ASSERT_TRUE(SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_READONLY));
    SetLastError(contract::kMarker);
    const BOOL removed = RemoveDirectoryA(folder.c_str());
    if (KV_WINE_DIFFERS("Wine removes a read-only folder")) {
        EXPECT_TRUE(removed);
        return;
    }
    EXPECT_FALSE(removed);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    ASSERT_TRUE(SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(RemoveDirectoryA(folder.c_str()));
}

TEST_F(FilesContract, CreateDirectoryNeedsItsParentAndANewName) {
    const std::string folder = MakeFolder("Folder");
    SetLastError(contract::kMarker);
    EXPECT_FALSE(CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());

    const std::string file = MakeFile("file.txt");
    SetLastError(contract::kMarker);
    EXPECT_FALSE(CreateDirectoryA(file.c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());

    SetLastError(contract::kMarker);
    EXPECT_FALSE(CreateDirectoryA(Path("no\\such").c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST_F(FilesContract, MoveRenamesAndReplacesOnlyOnRequest) {
    const std::string from = MakeFile("from.txt", "new");
    const std::string to = MakeFile("to.txt", "old");
    SetLastError(contract::kMarker);
    EXPECT_FALSE(MoveFileExA(from.c_str(), to.c_str(), 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());

    EXPECT_TRUE(MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(from));
    FILE* in = CrtOpen(to.c_str(), "rb");
    ASSERT_NE(nullptr, in);
    char text[8] = {};
    EXPECT_EQ(3u, fread(text, 1, sizeof(text) - 1, in));
    fclose(in);
    EXPECT_STREQ("new", text);

    const std::string folder = MakeFolder("Folder");
    EXPECT_TRUE(MoveFileExA(folder.c_str(), Path("Renamed").c_str(), 0));
    EXPECT_NE(0u, Attributes(Path("Renamed")) & FILE_ATTRIBUTE_DIRECTORY);
    // MoveFileA never replaces.
    const std::string other = MakeFile("other.txt", "x");
    SetLastError(contract::kMarker);
    EXPECT_FALSE(MoveFileA(other.c_str(), to.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_TRUE(MoveFileA(other.c_str(), Path("other.old.txt").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(other));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, Attributes(Path("other.old.txt")));
}

// Deletion at the next restart is recorded where Windows keeps it. Other test processes may
// register at the same time, so a test looks only at its own entries (those in its scratch
// folder) and takes them out again at the end.
class RestartRegistrationContract : public FilesContract {
protected:
    using Pair = std::pair<std::string, std::string>;

    void TearDown() override {
        std::vector<Pair> others;
        for (const Pair& pair : Pairs(ReadPending()))
            if (!Mine(pair))
                others.push_back(pair);
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != 0)
            return;
        if (others.empty()) {
            RegDeleteValueA(key, kPending);
        } else {
            std::string data;
            for (const Pair& pair : others)
                data += pair.first + '\0' + pair.second + '\0';
            data += '\0';
            RegSetValueExA(key, kPending, 0, REG_MULTI_SZ,
                           reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size()));
        }
        RegCloseKey(key);
    }

    static std::string ReadPending() {
        DWORD type = 0, size = 0;
        if (SHGetValueA(HKEY_LOCAL_MACHINE, kSessionManager, kPending, &type, nullptr, &size) != 0)
            return std::string();
        EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
        std::string data(size, '\0');
        EXPECT_EQ(
            0u, SHGetValueA(HKEY_LOCAL_MACHINE, kSessionManager, kPending, &type, &data[0], &size));
        data.resize(size);
        return data;
    }

    // The registration list as (path, new name) pairs; an empty path ends it.
    static std::vector<Pair> Pairs(const std::string& data) {
        std::vector<Pair> pairs;
        size_t at = 0;
        auto next = [&]() {
            size_t end = data.find('\0', at);
            if (end == std::string::npos)
                end = data.size();
            std::string text = data.substr(at, end - at);
            at = end + 1;
            return text;
        };
        while (at < data.size()) {
            std::string from = next();
            if (from.empty())
                break;
            std::string to = at < data.size() ? next() : std::string();
            pairs.emplace_back(from, to);
        }
        return pairs;
    }

    static bool Mine(const Pair& pair) {
        const std::string prefix = "\\??\\" + contract::Scratch() + "\\";
        return pair.first.size() > prefix.size() &&
               lstrcmpiA(pair.first.substr(0, prefix.size()).c_str(), prefix.c_str()) == 0;
    }

    // This test's registrations, in order.
    static std::vector<Pair> MyPairs() {
        std::vector<Pair> mine;
        for (const Pair& pair : Pairs(ReadPending()))
            if (Mine(pair))
                mine.push_back(pair);
        return mine;
    }
};

TEST_F(RestartRegistrationContract, DeletionsAreRecordedInOrderAsPairs) {
    const std::string folder = MakeFolder("Folder");
    const std::string file = MakeFile("Folder\\file.txt");
    const std::string absent = Path("absent.txt");
    SetLastError(contract::kMarker);
    ASSERT_TRUE(MoveFileExA(file.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExA(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExA(absent.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(contract::kMarker, GetLastError());

    // Nothing is deleted now.
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, Attributes(file));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, Attributes(folder));

    const auto pairs = MyPairs();
    ASSERT_EQ(3u, pairs.size());
    const std::string expected[] = {file, folder, absent};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(0, lstrcmpiA(("\\??\\" + expected[i]).c_str(), pairs[i].first.c_str()))
            << pairs[i].first;
        EXPECT_EQ("", pairs[i].second); // no new name: delete
    }
}

TEST_F(RestartRegistrationContract, RenameAtRestartRecordsTheNewName) {
    const std::string file = MakeFile("file.txt");
    const std::string to = Path("renamed.txt");
    ASSERT_TRUE(MoveFileExA(file.c_str(), to.c_str(),
                            MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    const auto pairs = MyPairs();
    ASSERT_EQ(1u, pairs.size());
    EXPECT_EQ(0, lstrcmpiA(("\\??\\" + file).c_str(), pairs[0].first.c_str())) << pairs[0].first;
    EXPECT_EQ(0, lstrcmpiA(("!\\??\\" + to).c_str(), pairs[0].second.c_str())) << pairs[0].second;
}

} // namespace
