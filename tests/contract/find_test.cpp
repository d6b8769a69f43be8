// The directory search the program relies on: Windows' wildcard rules, "." and "..", the order
// of entries and the errors that tell a missing folder from no match. Names are kept to 8.3 form
// where a longer one would also match through its short name.
#include "contract.h"

#include "platform/os/crt.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

class FindContract : public contract::Test {
protected:
    void SetUp() override {
        contract::Test::SetUp();
        for (const char* name :
             {"b.txt", "A.log", "c", "ab.txt", "a.txt", "a.txt.bak", "file", "file1", "file12"})
            MakeFile(name);
        ASSERT_TRUE(CreateDirectoryA(Path("Dir").c_str(), nullptr));
    }

    std::string Path(const char* name) { return contract::Scratch() + "\\" + name; }
    void MakeFile(const char* name) {
        FILE* file = CrtOpen(Path(name).c_str(), "wb");
        ASSERT_NE(nullptr, file) << name;
        fputs("data", file);
        fclose(file);
    }

    // Every name the search yields, in order; the error that ended it in *error.
    static std::vector<std::string> Search(const std::string& pattern, DWORD* error) {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        SetLastError(contract::kMarker);
        HANDLE search = FindFirstFileA(pattern.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            *error = GetLastError();
            return names;
        }
        do
            names.push_back(found.cFileName);
        while (FindNextFileA(search, &found));
        *error = GetLastError();
        EXPECT_TRUE(FindClose(search));
        return names;
    }
    std::vector<std::string> Names(const char* mask) {
        DWORD error = 0;
        std::vector<std::string> names = Search(Path(mask), &error);
        EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), error) << mask;
        return names;
    }
};

using List = std::vector<std::string>;

TEST_F(FindContract, StarListsDotEntriesFirstThenNamesWithoutCase) {
    EXPECT_EQ((List{".", "..", "A.log", "a.txt", "a.txt.bak", "ab.txt", "b.txt", "c", "Dir", "file",
                    "file1", "file12"}),
              Names("*"));
}

TEST_F(FindContract, StarDotStarAlsoMatchesNamesWithoutADot) {
    EXPECT_EQ(Names("*"), Names("*.*"));
}

TEST_F(FindContract, StarBeforeADotStopsAtTheLastDot) {
    EXPECT_EQ((List{"a.txt", "ab.txt", "b.txt"}), Names("*.txt"));
    EXPECT_EQ((List{"a.txt.bak"}), Names("*.bak"));
    EXPECT_EQ((List{"A.log", "a.txt", "a.txt.bak"}), Names("a.*"));
}

TEST_F(FindContract, TrailingDotFindsNamesWithoutExtension) {
    EXPECT_EQ((List{"c"}), Names("c."));
    const List found = Names("*.");
    if (KV_WINE_DIFFERS("Wine's \"*.\" matches every name, extension or not")) {
        EXPECT_EQ(Names("*"), found);
        return;
    }
    EXPECT_EQ((List{".", "..", "c", "Dir", "file", "file1", "file12"}), found);
}

TEST_F(FindContract, QuestionMarkMatchesOneCharacter) {
    EXPECT_EQ((List{"A.log"}), Names("?.log"));
    EXPECT_EQ((List{"ab.txt"}), Names("?b.txt"));
    EXPECT_EQ((List{"file12"}), Names("file?2"));
}

TEST_F(FindContract, QuestionMarkMayMatchNothingAtTheEndOrBeforeADot) {
    const List atEnd = Names("file?");
    const List twoAtEnd = Names("file??");
    const List beforeDot = Names("a?.txt");
    if (KV_WINE_DIFFERS("Wine's '?' always takes one character")) {
        EXPECT_EQ((List{"file1"}), atEnd);
        EXPECT_EQ((List{"file12"}), twoAtEnd);
        EXPECT_EQ((List{"ab.txt"}), beforeDot);
        return;
    }
    EXPECT_EQ((List{"file", "file1"}), atEnd);
    EXPECT_EQ((List{"file", "file1", "file12"}), twoAtEnd);
    EXPECT_EQ((List{"a.txt", "ab.txt"}), beforeDot);
}

TEST_F(FindContract, PlainNameFindsTheEntryItself) {
    EXPECT_EQ((List{"A.log"}), Names("a.LOG"));
    // A folder's name yields the folder, not what it holds.
    EXPECT_EQ((List{"Dir"}), Names("DIR"));
}

TEST_F(FindContract, EntriesReportAttributesAndSize) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(Path("b.txt").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_EQ(0u, found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(4u, found.nFileSizeLow);
    EXPECT_EQ(0u, found.nFileSizeHigh);
    FindClose(search);

    ASSERT_TRUE(SetFileAttributesA(Path("c").c_str(), FILE_ATTRIBUTE_HIDDEN));
    search = FindFirstFileA(Path("c").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_NE(0u, found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN);
    FindClose(search);

    search = FindFirstFileA(Path("Dir").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_NE(0u, found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    FindClose(search);
}

TEST_F(FindContract, EmptyFolderStillListsDotEntries) {
    EXPECT_EQ((List{".", ".."}), Names("Dir\\*"));
}

TEST_F(FindContract, ErrorsTellNoMatchFromMissingFolder) {
    DWORD error = 0;
    EXPECT_TRUE(Search(Path("*.none"), &error).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
    EXPECT_TRUE(Search(Path("absent.txt"), &error).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
    EXPECT_TRUE(Search(Path("NoFolder\\*"), &error).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error);
    EXPECT_TRUE(Search(Path("No\\Folder\\*"), &error).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error);
    EXPECT_TRUE(Search(Path("b.txt\\*"), &error).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), error);
    EXPECT_TRUE(Search(Path("Dir\\"), &error).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
}

TEST_F(FindContract, HandlesEndAndClose) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(Path("b.txt").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    SetLastError(contract::kMarker);
    EXPECT_FALSE(FindNextFileA(search, &found));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
    EXPECT_TRUE(FindClose(search));
}

TEST_F(FindContract, DriveRootListsNoDotEntries) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("C:\\*", &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    bool dots = false;
    do
        dots = dots || !strcmp(found.cFileName, ".") || !strcmp(found.cFileName, "..");
    while (FindNextFileA(search, &found));
    FindClose(search);
    EXPECT_FALSE(dots);
}

} // namespace
