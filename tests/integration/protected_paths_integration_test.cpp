// Protected places on a real machine (the throwaway Wine prefix): registry values that name the
// real Windows folder, system folder, program folders, a drive root or a profile folder, in any
// spelling the platform accepts, plan nothing and are logged as refused; a product folder named
// the same way is still planned.
#include "contract.h"
#include "engine/Zelm.h"
#include "helpers/helper.h"
#include "run_state.h"
#include "trace/trace_testing.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

const char kTestKey[] = "Software\\KelvaneProtected";
const char kTestKeyText[] = "HKEY_CURRENT_USER\\Software\\KelvaneProtected";

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

Names Items(TSet& set) {
    Names items;
    char* item = nullptr;
    for (DWORD more = set.GetFirst(&item); more == ERROR_SUCCESS; more = set.GetNext(&item))
        items.push_back(item);
    return items;
}

std::string SpecialFolder(int csidl) {
    char folder[MAX_PATH] = {};
    return SHGetSpecialFolderPathA(nullptr, folder, csidl, FALSE) ? folder : "";
}

std::string ReadText(const std::string& path) {
    std::string text;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return text;
    char buffer[512];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0)
        text.append(buffer, got);
    fclose(file);
    return text;
}

// The log's lines without their date-time column; every line must end in CR LF.
Names LogLines(const std::string& path) {
    Names lines;
    std::string text = ReadText(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        EXPECT_NE(std::string::npos, end) << "unterminated log line";
        if (end == std::string::npos)
            break;
        std::string line = text.substr(start, end - start);
        size_t tab = line.find('\t');
        lines.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
        start = end + 2;
    }
    return lines;
}

class ProtectedPathsIntegrationTest : public contract::Test {
protected:
    void SetUp() override {
        contract::Test::SetUp();
        TraceResetForTests();
        SHDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
        m_engine.SetStateReader(&m_dialog);
        // The log goes to this process's own folder: the folder beside the test program is
        // shared by every test process.
        OpenLogFile(nullptr, FALSE, contract::Scratch().c_str());
        char module[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, module, MAX_PATH);
        std::string name = PathFindFileNameA(module);
        m_log = contract::Scratch() + "\\" + name.substr(0, name.rfind('.')) + ".log";
    }
    void TearDown() override {
        TraceResetForTests();
        SHDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
        contract::FreshMachine();
        RemoveDirectoryA(contract::Scratch().c_str());
    }

    // Stores the path in a registry value and resolves the value as a file-section
    // BY_REFERENCE entry does.
    void Reference(const char* name, const std::string& path) {
        ASSERT_FALSE(path.empty()) << name;
        ASSERT_EQ(ERROR_SUCCESS, SHSetValueA(HKEY_CURRENT_USER, kTestKey, name, REG_SZ,
                                             path.c_str(), static_cast<DWORD>(path.size() + 1)));
        std::string entry = std::string(kTestKeyText) + "\\" + name;
        ASSERT_EQ(0u, m_engine.FindRegValueByReference(m_engine.m_removeFiles, &entry[0]));
        // The data is taken in its canonical text (two spellings may become one entry).
        std::string canonical = path;
        NormalizeEntry(&canonical[0]);
        ASSERT_TRUE(m_engine.m_removeFiles.Contains(canonical.c_str())) << path;
    }

    TestRunState m_dialog;
    CUninstallEngine m_engine;
    std::string m_log;
};

TEST_F(ProtectedPathsIntegrationTest, ReferencedSystemFoldersArePlannedNowhere) {
    char windows[MAX_PATH] = {};
    char system[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
    const std::string profile = SpecialFolder(CSIDL_PROFILE);
    const std::string programFiles = SpecialFolder(CSIDL_PROGRAM_FILES);
    char shortProgramFiles[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA(programFiles.c_str(), shortProgramFiles, MAX_PATH), 0u);
    ASSERT_NE(Upper(programFiles), Upper(shortProgramFiles)) << "no short name to test with";
    const std::string vendor = contract::Scratch() + "\\Vendor";
    ASSERT_TRUE(CreateDirectoryA(vendor.c_str(), nullptr));
    FILE* file = fopen((vendor + "\\tool.exe").c_str(), "w");
    ASSERT_NE(nullptr, file);
    fclose(file);

    // Each name the reference by which the folder is refused; the set keeps one entry per text.
    Reference("Windows", windows);
    Reference("WindowsDot", std::string(windows) + "\\.");
    Reference("WindowsSlash", std::string(windows) + "\\");
    Reference("System", system);
    Reference("Drive", std::string(windows).substr(0, 3));
    Reference("ProgramFiles", programFiles);
    Reference("ProgramFilesShort", shortProgramFiles);
    Reference("CommonFiles", SpecialFolder(CSIDL_PROGRAM_FILES_COMMON));
    Reference("Profile", profile);
    Reference("ProfileRoot", profile.substr(0, profile.rfind('\\')));
    Reference("AppData", SpecialFolder(CSIDL_APPDATA));
    Reference("Vendor", vendor);
    // Stream names: the folder itself, and a part of a file.
    Reference("FolderStream", vendor + "::$INDEX_ALLOCATION");
    Reference("FileStream", vendor + "\\tool.exe:stream");
    const size_t refusedCount = m_engine.m_removeFiles.Count() - 1;

    ASSERT_EQ(0u, m_engine.PopulateRemoveLists());
    EXPECT_EQ((Names{Upper(vendor), Upper(vendor + "\\tool.exe")}), Items(m_engine.m_planFiles));

    TraceResetForTests();
    Names lines = LogLines(m_log);
    ASSERT_EQ(1 + 2 + refusedCount + 1, lines.size());
    size_t refused = 0;
    for (size_t i = 3; i + 1 < lines.size(); ++i) {
        EXPECT_EQ(0u, lines[i].rfind("0005 ProtectedPath: ", 0)) << lines[i];
        ++refused;
    }
    EXPECT_EQ(refusedCount, refused);
    EXPECT_EQ("0000 PopulateRemoveFileList: 2 files and folders", lines.back());
}

TEST_F(ProtectedPathsIntegrationTest, ReferencedSharedRegistryKeysArePlannedNowhere) {
    const std::string product = std::string(kTestKey) + "\\Product";
    ASSERT_EQ(ERROR_SUCCESS,
              SHSetValueA(HKEY_CURRENT_USER, product.c_str(), "Level", REG_SZ, "3", 2));
    const char* const keys[] = {
        "HKEY_LOCAL_MACHINE\\Software\\",
        "HKEY_CURRENT_USER\\Software",
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft",
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
        "HKEY_CLASSES_ROOT\\CLSID",
        "HKEY_USERS\\.DEFAULT",
        "HKEY_CURRENT_USER\\Software\\\\",
        "hkey_current_user//software//",
        "HKEY_CURRENT_USER\\\\Software\\\\Microsoft\\\\"};
    for (const char* key : keys)
        m_engine.m_removeRegKeys.Add(key);
    // The hive key with two trailing separators, read from a value as a BY_REFERENCE entry does.
    const char kDoubled[] = "HKEY_CURRENT_USER\\Software\\\\\\";
    ASSERT_EQ(ERROR_SUCCESS,
              SHSetValueA(HKEY_CURRENT_USER, kTestKey, "Root", REG_SZ, kDoubled, sizeof(kDoubled)));
    std::string reference = std::string(kTestKeyText) + "\\Root";
    ASSERT_EQ(0u, m_engine.FindRegValueByReference(m_engine.m_removeRegKeys, &reference[0]));
    m_engine.m_removeRegKeys.Add((std::string(kTestKeyText) + "\\Product").c_str());

    ASSERT_EQ(0u, m_engine.PopulateRemoveLists());
    EXPECT_EQ(Names{Upper(std::string(kTestKeyText) + "\\Product")}, Items(m_engine.m_planRegKeys));
    EXPECT_EQ(Names{Upper(std::string(kTestKeyText) + "\\Product\\Level")},
              Items(m_engine.m_planRegValues));
    TraceResetForTests();
    Names lines = LogLines(m_log);
    size_t refused = 0;
    for (const std::string& line : lines)
        refused += line.rfind("0005 ProtectedKey: ", 0) == 0 ? 1 : 0;
    EXPECT_EQ(10u, refused);
}

// A real registry link inside a product's key: neither planned nor entered, so the cleanup
// leaves the key it leads to, with its values, as it was. A remove entry through the link, and
// a value named through it, are refused.
TEST_F(ProtectedPathsIntegrationTest, RegistryLinkInAProductKeyIsNeverFollowed) {
    const char kRoot[] = "Software\\KelvaneLinkTest";
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kRoot);
    ASSERT_EQ(ERROR_SUCCESS, SHSetValueA(HKEY_LOCAL_MACHINE, "Software\\KelvaneLinkTest\\Other",
                                         "Keep", REG_SZ, "1", 2));
    ASSERT_EQ(ERROR_SUCCESS, SHSetValueA(HKEY_LOCAL_MACHINE, "Software\\KelvaneLinkTest\\Product",
                                         "Level", REG_SZ, "3", 2));
    HKEY link = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\KelvaneLinkTest\\Product\\Link", 0,
                              nullptr, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | KEY_CREATE_LINK,
                              nullptr, &link, nullptr));
    const wchar_t kTarget[] = L"\\REGISTRY\\MACHINE\\Software\\KelvaneLinkTest\\Other";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                                            reinterpret_cast<const BYTE*>(kTarget),
                                            static_cast<DWORD>(wcslen(kTarget) * sizeof(wchar_t))));
    RegCloseKey(link);
    // The link works: its target's value reads through it.
    char keep[8] = {};
    DWORD size = sizeof(keep);
    ASSERT_EQ(ERROR_SUCCESS,
              SHGetValueA(HKEY_LOCAL_MACHINE, "Software\\KelvaneLinkTest\\Product\\Link", "Keep",
                          nullptr, keep, &size));

    const std::string product = "HKEY_LOCAL_MACHINE\\SOFTWARE\\KELVANELINKTEST\\PRODUCT";
    m_engine.m_removeRegKeys.Add(product.c_str());
    m_engine.m_removeRegKeys.Add((product + "\\LINK").c_str());
    m_engine.m_removeRegValues.Add((product + "\\LINK\\KEEP").c_str());
    ASSERT_EQ(0u, m_engine.PopulateRemoveLists());
    EXPECT_EQ(Names{product}, Items(m_engine.m_planRegKeys));
    EXPECT_EQ(Names{product + "\\LEVEL"}, Items(m_engine.m_planRegValues));
    ASSERT_EQ(0u, m_engine.CleanupRegValues());
    ASSERT_EQ(0u, m_engine.CleanupRegKeys());

    size = sizeof(keep);
    EXPECT_EQ(ERROR_SUCCESS, SHGetValueA(HKEY_LOCAL_MACHINE, "Software\\KelvaneLinkTest\\Other",
                                         "Keep", nullptr, keep, &size));
    EXPECT_STREQ("1", keep);
    EXPECT_NE(ERROR_SUCCESS, SHGetValueA(HKEY_LOCAL_MACHINE, "Software\\KelvaneLinkTest\\Product",
                                         "Level", nullptr, nullptr, nullptr));
    TraceResetForTests();
    Names lines = LogLines(m_log);
    size_t refused = 0;
    for (const std::string& line : lines)
        refused += line.rfind("0005 Protected", 0) == 0 ? 1 : 0;
    EXPECT_EQ(3u, refused);

    // The link goes first, opened as itself, so that removing the rest never follows it.
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\KelvaneLinkTest\\Product\\Link",
                      REG_OPTION_OPEN_LINK, DELETE | KEY_QUERY_VALUE, &opened) == ERROR_SUCCESS) {
        RegDeleteKeyA(opened, "");
        RegCloseKey(opened);
    }
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kRoot);
}

// A real folder whose name has an accented letter: the ignore entry spelled with the capital
// spares it, the rest of the product's folder is planned in the code page's upper case.
TEST_F(ProtectedPathsIntegrationTest, IgnoreEntryWithAnAccentedCapitalSparesTheFolder) {
    ASSERT_EQ(1252u, GetACP());
    const std::string vendor = contract::Scratch() + "\\Vendor";
    const std::string overview = vendor + "\\\xFC"
                                          "bersicht";
    ASSERT_TRUE(CreateDirectoryA(vendor.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(overview.c_str(), nullptr));
    for (const std::string& path : {overview + "\\a.txt", vendor + "\\caf\xE9.txt"}) {
        FILE* file = fopen(path.c_str(), "w");
        ASSERT_NE(nullptr, file) << path;
        fclose(file);
    }
    m_engine.m_removeFiles.Add(vendor.c_str());
    std::string ignore = vendor + "\\\xDC"
                                  "BERSICHT";
    NormalizeEntry(&ignore[0]);
    m_engine.m_ignoreFiles.Add(ignore.c_str());

    ASSERT_EQ(0u, m_engine.PopulateRemoveLists());
    EXPECT_EQ((Names{Upper(vendor), Upper(vendor) + "\\CAF\xC9.TXT"}), Items(m_engine.m_planFiles));
    // The plan's upper-case text names the real file.
    EXPECT_NE(INVALID_FILE_ATTRIBUTES,
              GetFileAttributesA((Upper(vendor) + "\\CAF\xC9.TXT").c_str()));

    DeleteFileA((overview + "\\a.txt").c_str());
    DeleteFileA((vendor + "\\caf\xE9.txt").c_str());
    RemoveDirectoryA(overview.c_str());
    RemoveDirectoryA(vendor.c_str());
}

} // namespace
