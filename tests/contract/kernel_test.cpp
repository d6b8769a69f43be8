// Kernel behaviour the program relies on: version query, module name, case folding, re-entrant
// critical sections and the runtime's text-mode file stream.
#include "contract.h"

#include "platform/os/crt.h"

#include <cstring>
#include <string>

using KernelContract = contract::Test;

TEST_F(KernelContract, VersionQueryAcceptsBothStructureSizes) {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    EXPECT_EQ(148u, sizeof(OSVERSIONINFOA));
    EXPECT_EQ(156u, sizeof(OSVERSIONINFOEXA));
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
    EXPECT_GE(info.dwMajorVersion, 5u);

    OSVERSIONINFOEXA ex = {};
    ex.dwOSVersionInfoSize = sizeof(ex);
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&ex)));
    EXPECT_EQ(info.dwMajorVersion, ex.dwMajorVersion);
    EXPECT_EQ(info.dwMinorVersion, ex.dwMinorVersion);
}

TEST_F(KernelContract, VersionQueryRejectsAWrongSize) {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info) - 4;
    SetLastError(contract::kMarker);
    EXPECT_FALSE(GetVersionExA(&info));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST_F(KernelContract, ModuleFileNameIsTheFullProgramPath) {
    char path[MAX_PATH];
    SetLastError(contract::kMarker);
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    ASSERT_GT(length, 0u);
    EXPECT_EQ(length, strlen(path));
    EXPECT_EQ(':', path[1]);
    EXPECT_NE(nullptr, strrchr(path, '\\'));
}

TEST_F(KernelContract, ModuleFileNameTooSmallBufferIsCutAndTerminated) {
    char path[8];
    memset(path, 'x', sizeof(path));
    SetLastError(contract::kMarker);
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    EXPECT_EQ(sizeof(path), length);
    if (KV_WINE_DIFFERS("Wine 8 keeps the pre-Vista behaviour: the cut name is not terminated")) {
        EXPECT_NE('\0', path[sizeof(path) - 1]);
        return;
    }
    EXPECT_EQ('\0', path[sizeof(path) - 1]);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST_F(KernelContract, UpperCasingFollowsTheCodePage) {
    char text[] = "abc-xyz_019[]";
    CharUpperBuffA(text, static_cast<DWORD>(strlen(text)));
    EXPECT_STREQ("ABC-XYZ_019[]", text);
    EXPECT_FALSE(IsDBCSLeadByte('A'));
    // Western European letters under 1252; the division sign, sharp s and micro sign stay.
    ASSERT_EQ(1252u, GetACP());
    char accented[] = "\xE4\xF6\xFC\xE9\xFF\x9A\xF7\xDF\xB5";
    CharUpperBuffA(accented, static_cast<DWORD>(strlen(accented)));
    EXPECT_STREQ("\xC4\xD6\xDC\xC9\x9F\x8A\xF7\xDF\xB5", accented);
}

TEST_F(KernelContract, CriticalSectionIsReentrant) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);
    LeaveCriticalSection(&cs);
    LeaveCriticalSection(&cs);
    DeleteCriticalSection(&cs);
    SUCCEED();
}

TEST_F(KernelContract, TextStreamWritesCrLfAndReadsLf) {
    std::string path = contract::Scratch() + "\\stream.txt";
    FILE* out = CrtOpen(path.c_str(), "w");
    ASSERT_NE(nullptr, out);
    fputs("one\ntwo\n", out);
    fclose(out);

    FILE* raw = CrtOpen(path.c_str(), "rb");
    ASSERT_NE(nullptr, raw);
    char bytes[32] = {};
    size_t n = fread(bytes, 1, sizeof(bytes) - 1, raw);
    fclose(raw);
    EXPECT_EQ(std::string("one\r\ntwo\r\n"), std::string(bytes, n));

    FILE* in = CrtOpen(path.c_str(), "r");
    ASSERT_NE(nullptr, in);
    char line[16];
    ASSERT_NE(nullptr, fgets(line, sizeof(line), in));
    EXPECT_STREQ("one\n", line);
    ASSERT_NE(nullptr, fgets(line, sizeof(line), in));
    EXPECT_STREQ("two\n", line);
    EXPECT_EQ(nullptr, fgets(line, sizeof(line), in));
    EXPECT_TRUE(feof(in));
    fclose(in);
}

TEST_F(KernelContract, AppendModeKeepsContentAndAccessTestSeesTheFile) {
    std::string path = contract::Scratch() + "\\log.txt";
    EXPECT_EQ(-1, CrtAccess(path.c_str(), CRT_ACCESS_READ));
    FILE* first = CrtOpen(path.c_str(), "w");
    ASSERT_NE(nullptr, first);
    fputs("a\n", first);
    fclose(first);
    FILE* second = CrtOpen(path.c_str(), "a+");
    ASSERT_NE(nullptr, second);
    fputs("b\n", second);
    fclose(second);
    EXPECT_EQ(0, CrtAccess(path.c_str(), CRT_ACCESS_READ));

    FILE* in = CrtOpen(path.c_str(), "r");
    ASSERT_NE(nullptr, in);
    char text[16] = {};
    size_t n = fread(text, 1, sizeof(text) - 1, in);
    fclose(in);
    EXPECT_EQ(std::string("a\nb\n"), std::string(text, n));
}

TEST_F(KernelContract, ReadingAMissingFileFails) {
    std::string path = contract::Scratch() + "\\missing.cfg";
    EXPECT_EQ(nullptr, CrtOpen(path.c_str(), "r"));
    std::string noFolder = contract::Scratch() + "\\no\\such.log";
    EXPECT_EQ(nullptr, CrtOpen(noFolder.c_str(), "w"));
}

TEST_F(KernelContract, TickCountAndPerformanceCounterAdvance) {
    LARGE_INTEGER frequency, before, after;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_GT(frequency.QuadPart, 0);
    ASSERT_TRUE(QueryPerformanceCounter(&before));
    DWORD tick = GetTickCount();
    Sleep(20);
    ASSERT_TRUE(QueryPerformanceCounter(&after));
    EXPECT_GE(after.QuadPart - before.QuadPart, frequency.QuadPart / 100);
    EXPECT_GE(GetTickCount() - tick, 10u);
}
