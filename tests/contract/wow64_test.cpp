// 64-bit Windows as the 64-bit build sees it: no WOW64 for itself, the 32-bit system and program
// folders beside the native ones, the registry's two views chosen by KEY_WOW64_32KEY and
// KEY_WOW64_64KEY, and the 32-bit Winsock catalog.
#include "contract.h"

#include "platform/os/wow64.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Each test process works in its own key: CTest runs tests side by side.
std::string KeyName() {
    return "KelvaneViewContract" + std::to_string(GetCurrentProcessId());
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool KeyExists(const std::string& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::string FolderValue(const char* name) {
    HKEY key = nullptr;
    char folder[MAX_PATH] = "";
    DWORD size = sizeof(folder) - 1;
    DWORD type = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return "";
    LONG status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(folder), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_SZ ? std::string(folder) : std::string();
}

// Creates HKEY_LOCAL_MACHINE\key as a 32-bit program would.
bool CreateIn32BitView(const std::string& key) {
    HKEY made = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &made, nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(made);
    return true;
}

bool FolderExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class Wow64Contract : public contract::Test {
protected:
    void SetUp() override {
        contract::Test::SetUp();
        contract::Windows64Machine();
    }
    void TearDown() override {
        const std::string key = "SOFTWARE\\" + KeyName();
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_32KEY, 0);
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_64KEY, 0);
        const std::string classes = "SOFTWARE\\Classes\\CLSID\\" + KeyName();
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, classes.c_str(), KEY_WOW64_32KEY, 0);
    }
};

TEST_F(Wow64Contract, TheSixtyFourBitProgramRunsOutsideWow64OnASixtyFourBitSystem) {
    BOOL wow64 = TRUE;
    SetLastError(contract::kMarker);
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_FALSE(wow64);
    EXPECT_TRUE(wow64::IsWindows64());
    EXPECT_FALSE(wow64::IsRedirectedProgram());
    EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_64KEY), wow64::NativeKeyView());
    // Nothing is redirected for it, so there is nothing to turn off.
    PVOID previous = nullptr;
    EXPECT_FALSE(Wow64DisableWow64FsRedirection(&previous));
}

TEST_F(Wow64Contract, TheThirtyTwoBitSystemFolderIsSysWow64BesideSystem32) {
    char system[MAX_PATH] = "";
    char wow[MAX_PATH] = "";
    ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
    ASSERT_TRUE(wow64::SystemWow64Folder(wow, MAX_PATH));
    std::string native = Upper(system);
    std::string redirected = Upper(wow);
    ASSERT_GT(native.size(), 9u);
    EXPECT_EQ(native.substr(0, native.size() - 8) + "SYSWOW64", redirected);
    EXPECT_TRUE(FolderExists(wow));
    // The shell names it too.
    char shell[MAX_PATH] = "";
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, shell, 0x0029, FALSE));
    EXPECT_EQ(redirected, Upper(shell));
    // A buffer too small for it gets nothing but the size it needs.
    char small[4] = "";
    EXPECT_EQ(static_cast<UINT>(strlen(wow) + 1), GetSystemWow64DirectoryA(small, sizeof(small)));
}

TEST_F(Wow64Contract, ProgramFilesAreKeptTwiceAndTheRegistryNamesBoth) {
    char programs[MAX_PATH] = "";
    char programs32[MAX_PATH] = "";
    char common32[MAX_PATH] = "";
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAM_FILES, FALSE));
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, programs32, 0x002A, FALSE));
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, common32, 0x002C, FALSE));
    EXPECT_EQ(Upper(programs) + " (X86)", Upper(programs32));
    EXPECT_EQ(Upper(programs32) + "\\COMMON FILES", Upper(common32));
    EXPECT_TRUE(FolderExists(programs32));
    // The values the engine reads them from, in the 64-bit view.
    EXPECT_EQ(Upper(programs), Upper(FolderValue("ProgramFilesDir")));
    EXPECT_EQ(Upper(programs32), Upper(FolderValue("ProgramFilesDir (x86)")));
    EXPECT_EQ(Upper(programs) + "\\COMMON FILES", Upper(FolderValue("CommonFilesDir")));
    EXPECT_EQ(Upper(common32), Upper(FolderValue("CommonFilesDir (x86)")));
}

TEST_F(Wow64Contract, TheThirtyTwoBitViewOfSoftwareIsWow6432Node) {
    const std::string key = "SOFTWARE\\" + KeyName();
    const std::string twin = "SOFTWARE\\Wow6432Node\\" + KeyName();
    ASSERT_TRUE(CreateIn32BitView(key));
    EXPECT_TRUE(KeyExists(key, KEY_WOW64_32KEY));
    EXPECT_TRUE(KeyExists(twin, KEY_WOW64_64KEY));
    EXPECT_FALSE(KeyExists(key, KEY_WOW64_64KEY));
    // The 64-bit program's own view is the 64-bit one.
    EXPECT_FALSE(KeyExists(key, 0));
    // A deletion in the 64-bit view finds nothing there; in the 32-bit view it removes the key.
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_64KEY, 0));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_32KEY, 0));
    EXPECT_FALSE(KeyExists(twin, KEY_WOW64_64KEY));
}

TEST_F(Wow64Contract, TheThirtyTwoBitViewOfClassIdsIsBelowTheClassesWow6432Node) {
    const std::string key = "SOFTWARE\\Classes\\CLSID\\" + KeyName();
    const std::string twin = "SOFTWARE\\Classes\\Wow6432Node\\CLSID\\" + KeyName();
    ASSERT_TRUE(CreateIn32BitView(key));
    EXPECT_TRUE(KeyExists(twin, KEY_WOW64_64KEY));
    EXPECT_FALSE(KeyExists(key, KEY_WOW64_64KEY));
}

TEST_F(Wow64Contract, TheSixtyFourBitProgramReachesTheThirtyTwoBitWinsockCatalog) {
    if (KV_WINE_DIFFERS("ws2_32 exports no WSCEnumProtocols32 or WSCDeinstallProvider32")) {
        EXPECT_FALSE(wow64::HasSecondCatalog());
        int error = 0;
        DWORD length = 0;
        EXPECT_EQ(SOCKET_ERROR, wow64::EnumProtocols32(nullptr, nullptr, &length, &error));
        EXPECT_EQ(WSAEINVAL, error);
        return;
    }
    ASSERT_TRUE(wow64::HasSecondCatalog());
    DWORD length = 0;
    int error = 0;
    EXPECT_EQ(SOCKET_ERROR, wow64::EnumProtocols32(nullptr, nullptr, &length, &error));
    EXPECT_EQ(WSAENOBUFS, error);
    ASSERT_GT(length, 0u);
    std::vector<char> buffer(length);
    int count = wow64::EnumProtocols32(nullptr, reinterpret_cast<WSAPROTOCOL_INFOW*>(buffer.data()),
                                       &length, &error);
    EXPECT_GT(count, 0);
}

} // namespace
