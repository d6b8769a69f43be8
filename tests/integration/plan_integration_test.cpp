// The profile and the removal plan on a real file system and registry (the throwaway Wine
// prefix): a sample installation read through a profile beside the test program, the plan sets
// and the log compared with what the installation holds.
#include "contract.h"
#include "engine/Zelm.h"
#include "run_state.h"
#include "platform/os/crt.h"
#include "trace/trace_testing.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

const char kTestKey[] = "Software\\KelvaneIntegration";
const char kKeyItem[] = "HKEY_CURRENT_USER\\SOFTWARE\\KELVANEINTEGRATION";

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(toupper(c)); });
    return text;
}

Names Items(TSet& set) {
    Names items;
    char* item = nullptr;
    for (DWORD more = set.GetFirst(&item); more == ERROR_SUCCESS; more = set.GetNext(&item))
        items.push_back(item);
    std::sort(items.begin(), items.end());
    return items;
}

Names Sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
}

// The program's path with its extension replaced.
std::string BesideProgram(const char* extension) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text = path;
    return text.substr(0, text.rfind('.')) + extension;
}

void WriteText(const std::string& path, const std::string& text) {
    FILE* file = CrtOpen(path.c_str(), "w");
    ASSERT_NE(nullptr, file) << path;
    fputs(text.c_str(), file);
    fclose(file);
}

std::string ReadText(const std::string& path) {
    std::string text;
    FILE* file = CrtOpen(path.c_str(), "r");
    if (!file)
        return text;
    char buffer[512];
    while (fgets(buffer, sizeof(buffer), file))
        text += buffer;
    fclose(file);
    return text;
}

// The log's lines without their date-time column.
Names LogLines(const std::string& path) {
    Names lines;
    std::string text = ReadText(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        size_t tab = line.find('\t');
        lines.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

void SetValue(const std::string& key, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY handle = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &handle, nullptr));
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(handle, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(handle);
}

void SetString(const std::string& key, const char* name, const std::string& text) {
    SetValue(key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void AddFile(const std::string& path, DWORD attributes = 0) {
    WriteText(path, "sample\n");
    if (attributes)
        SetFileAttributesA(path.c_str(), attributes);
}

class PlanIntegrationTest : public contract::Test {
protected:
    void SetUp() override {
        contract::Test::SetUp();
        SHDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
        m_profile = BesideProgram(".cfg");
        m_log = BesideProgram(".log");
        m_install = contract::Scratch() + "\\Program Files\\Kelvane Sample";
        m_data = contract::Scratch() + "\\Data\\Kelvane Sample";
        BuildInstallation();
        m_engine.SetStateReader(&m_dialog);
    }
    void TearDown() override {
        TraceResetForTests();
        DeleteFileA(m_profile.c_str());
        DeleteFileA(m_log.c_str());
        SHDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
        contract::FreshMachine();
        RemoveDirectoryA(contract::Scratch().c_str());
    }

    void BuildInstallation() {
        const std::string scratch = contract::Scratch();
        for (const std::string& folder :
             {scratch + "\\Program Files", m_install, m_install + "\\Bin",
              m_install + "\\Bin\\Deep", m_install + "\\Keep", scratch + "\\Data", m_data})
            CreateDirectoryA(folder.c_str(), nullptr);
        AddFile(m_install + "\\app.exe");
        AddFile(m_install + "\\readme.txt", FILE_ATTRIBUTE_READONLY);
        AddFile(m_install + "\\hidden.dat", FILE_ATTRIBUTE_HIDDEN);
        AddFile(m_install + "\\Keeper.txt");
        AddFile(m_install + "\\Bin\\core.dll");
        AddFile(m_install + "\\Bin\\Deep\\x.dat", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        AddFile(m_install + "\\Keep\\user.cfg");
        AddFile(m_data + "\\cache.bin");
        AddFile(scratch + "\\Program Files\\neighbour.txt");

        const std::string key = kTestKey;
        SetString(key + "\\Suite", "", "suite");
        SetString(key + "\\Suite", "InstallPath", m_install);
        SetString(key + "\\Suite", "DataPath", m_data);
        DWORD version = 3;
        SetValue(key + "\\Suite", "Version", REG_DWORD, &version, sizeof(version));
        SetString(key + "\\Suite\\Components", "Core", "1");
        SetString(key + "\\Suite\\Components\\Deep", "", "deep");
        SetString(key + "\\Suite\\Keep", "Spared", "1");
        SetString(key + "\\Uninstall\\KvSample-1", "DisplayName", "Kelvane Sample 1.0");
        SetString(key + "\\Uninstall\\Other", "DisplayName", "Something Else");
        SetString(key + "\\Uninstall\\NoName", "Publisher", "Kelvane Sample");
        SetString(key + "\\Run", "KvSampleTray", m_install + "\\app.exe /tray");
        SetString(key + "\\Run", "KvSampleAgent", m_install + "\\app.exe /agent");
        SetString(key + "\\Run", "Other", "other.exe");
    }

    std::string Profile() const {
        return "; sample profile\n"
               "[service 1]\n"
               "remove=SERVICE_NAME,BY_VALUE,KelvaneIntegrationSvc\n"
               "ignore=SERVICE_NAME,BY_VALUE,NoSuchSvc\n"
               "[registry key 1]\n"
               "remove=REG_KEY,BY_VALUE,HKEY_CURRENT_USER\\Software\\KelvaneIntegration\\Suite\n"
               "ignore=REG_KEY,BY_VALUE,"
               "HKEY_CURRENT_USER\\Software\\KelvaneIntegration\\Suite\\Keep\n"
               "remove=REG_KEY,BY_DATA_MATCH,"
               "\"HKEY_CURRENT_USER\\Software\\KelvaneIntegration\\Uninstall\\*\","
               "\"DisplayName\",\"Kelvane Sample*\"\n"
               "[registry value 1]\n"
               "remove=REG_VALUE,BY_VALUE,"
               "HKEY_CURRENT_USER\\Software\\KelvaneIntegration\\Run\\KvSample*\n"
               "[file 1]\n"
               "remove=FILE_NAME,BY_VALUE,\"" +
               m_install +
               "\\\"\n"
               "ignore=FILE_NAME,BY_VALUE," +
               m_install +
               "\\Keep\n"
               "remove=REG_VALUE,BY_REFERENCE,"
               "HKEY_CURRENT_USER\\Software\\KelvaneIntegration\\Suite\\DataPath\n";
    }

    std::string m_profile;
    std::string m_log;
    std::string m_install;
    std::string m_data;
    TestRunState m_dialog;
    CUninstallEngine m_engine;
};

// One test only: the profile and the log beside the program are shared by every test process.
TEST_F(PlanIntegrationTest, SampleInstallationBecomesThePlanAndTheLog) {
    // Without the profile the run stops at once, naming the path it looked for.
    {
        DeleteFileA(m_profile.c_str());
        CUninstallEngine first;
        first.SetStateReader(&m_dialog);
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), first.CreateProfile());
        TraceResetForTests();
        Names lines = LogLines(m_log);
        ASSERT_EQ(2u, lines.size());
        EXPECT_EQ("0002 InitConfigFile: " + m_profile, lines[1]);
    }

    WriteText(m_profile, Profile());

    ASSERT_EQ(0u, m_engine.CreateProfile());
    ASSERT_EQ(0u, m_engine.PopulateRemoveLists());

    const std::string install = Upper(m_install);
    const std::string data = Upper(m_data);
    EXPECT_EQ(Names{"KELVANEINTEGRATIONSVC"}, Items(m_engine.m_planServices));
    EXPECT_EQ(
        Sorted({install, install + "\\APP.EXE", install + "\\README.TXT", install + "\\HIDDEN.DAT",
                install + "\\BIN", install + "\\BIN\\CORE.DLL", install + "\\BIN\\DEEP",
                install + "\\BIN\\DEEP\\X.DAT", data, data + "\\CACHE.BIN"}),
        Items(m_engine.m_planFiles));
    // The referenced value's text enters the profile set in its canonical form.
    EXPECT_TRUE(m_engine.m_removeFiles.Contains(m_data.c_str()));

    const std::string key = kKeyItem;
    EXPECT_EQ(Sorted({key + "\\SUITE", key + "\\SUITE\\COMPONENTS",
                      key + "\\SUITE\\COMPONENTS\\DEEP", key + "\\UNINSTALL\\KVSAMPLE-1"}),
              Items(m_engine.m_planRegKeys));
    EXPECT_EQ(
        Sorted({key + "\\SUITE\\", key + "\\SUITE\\INSTALLPATH", key + "\\SUITE\\DATAPATH",
                key + "\\SUITE\\VERSION", key + "\\SUITE\\COMPONENTS\\CORE",
                key + "\\SUITE\\COMPONENTS\\DEEP\\", key + "\\UNINSTALL\\KVSAMPLE-1\\DISPLAYNAME",
                key + "\\RUN\\KVSAMPLETRAY", key + "\\RUN\\KVSAMPLEAGENT"}),
        Items(m_engine.m_planRegValues));

    TraceResetForTests();
    Names lines = LogLines(m_log);
    ASSERT_EQ(13u, lines.size());
    EXPECT_EQ(0u, lines[0].find("kv_integration_tests v.")) << lines[0];
    EXPECT_EQ("0000 InitConfigFile: " + m_profile, lines[1]);
    EXPECT_EQ((Names{"0000 InitIgnoreServiceList: 1 items", "0000 InitRemoveServiceList: 1 items",
                     "0000 InitIgnoreRegValueList: 0 items", "0000 InitRemoveRegValueList: 2 items",
                     "0000 InitIgnoreRegKeyList: 1 items", "0000 InitRemoveRegKeyList: 2 items",
                     "0000 InitIgnoreFileList: 1 items", "0000 InitRemoveFileList: 2 items",
                     "0000 PopulateRemoveServiceList: 1 services",
                     "0000 PopulateRemoveRegList: 4 keys, 9 values",
                     "0000 PopulateRemoveFileList: 10 files and folders"}),
              Names(lines.begin() + 2, lines.end()));
}

} // namespace
