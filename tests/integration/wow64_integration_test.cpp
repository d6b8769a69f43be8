// A product in both views of a real 64-bit prefix (wine64): a driver in System32\drivers, a
// library in System32 and in SysWOW64, a folder in both program files folders and keys in both
// registry views. Entries naming each place once plan all of it under the real paths, the
// registry cleanup empties both views' keys, and the twins obey the ignore entries and the
// protections.
#include "contract.h"
#include "engine/Zelm.h"
#include "platform/os/wow64.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(toupper(c)); });
    return text;
}

// Every name is this process's own: CTest runs test processes side by side in one prefix.
std::string Name() {
    return "KvWow" + std::to_string(GetCurrentProcessId());
}

std::string Folder(int csidl) {
    char folder[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, folder, csidl, FALSE);
    return folder;
}

void MakeFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    CloseHandle(file);
}

void MakeValue(const std::string& key, REGSAM view, const char* name) {
    HKEY made = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS | view, nullptr, &made, nullptr));
    RegSetValueExA(made, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
    RegCloseKey(made);
}

// A value of a key named in the 64-bit view (WOW6432Node spelt out for the 32-bit one).
bool ValueExists(const std::string& key, const char* name) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &opened))
        return false;
    LONG status = RegQueryValueExA(opened, name, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(opened);
    return status == ERROR_SUCCESS;
}

class Wow64IntegrationTest : public contract::Test {
protected:
    void SetUp() override {
        contract::Test::SetUp();
        char system[MAX_PATH] = "";
        char wow[MAX_PATH] = "";
        GetSystemDirectoryA(system, MAX_PATH);
        ASSERT_TRUE(wow64::SystemWow64Folder(wow, MAX_PATH));
        m_driver = std::string(system) + "\\drivers\\" + Name() + ".sys";
        m_library = std::string(system) + "\\" + Name() + ".dll";
        m_library32 = std::string(wow) + "\\" + Name() + ".dll";
        m_programs = Folder(CSIDL_PROGRAM_FILES) + "\\" + Name();
        m_programs32 = Folder(0x002A) + "\\" + Name();
        m_other32 = Folder(0x002A) + "\\" + Name() + "Other";
        m_key = "SOFTWARE\\" + Name();
        m_key32 = "SOFTWARE\\Wow6432Node\\" + Name();
        for (const std::string& folder : {m_programs, m_programs32, m_other32}) {
            CreateDirectoryA(folder.c_str(), nullptr);
            CreateDirectoryA((folder + "\\Keep").c_str(), nullptr);
        }
        for (const std::string& file :
             {m_driver, m_library, m_library32, m_programs + "\\agent.exe",
              m_programs32 + "\\ui.exe", m_programs + "\\Keep\\notes.txt",
              m_programs32 + "\\Keep\\notes.txt", m_other32 + "\\other.exe"})
            MakeFile(file);
        MakeValue(m_key, KEY_WOW64_64KEY, "Version");
        MakeValue(m_key + "\\Keep", KEY_WOW64_64KEY, "Licence");
        MakeValue(m_key, KEY_WOW64_32KEY, "Version");
        MakeValue(m_key + "\\Keep", KEY_WOW64_32KEY, "Licence");
    }
    void TearDown() override {
        for (const std::string& file :
             {m_driver, m_library, m_library32, m_programs + "\\agent.exe",
              m_programs32 + "\\ui.exe", m_programs + "\\Keep\\notes.txt",
              m_programs32 + "\\Keep\\notes.txt", m_other32 + "\\other.exe"})
            DeleteFileA(file.c_str());
        for (const std::string& folder : {m_programs, m_programs32, m_other32}) {
            RemoveDirectoryA((folder + "\\Keep").c_str());
            RemoveDirectoryA(folder.c_str());
        }
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            RegDeleteKeyExA(HKEY_LOCAL_MACHINE, (m_key + "\\Keep").c_str(), view, 0);
            RegDeleteKeyExA(HKEY_LOCAL_MACHINE, m_key.c_str(), view, 0);
        }
    }
    void Entry(TSet& set, const std::string& entry) {
        EXPECT_EQ(0u, m_engine.ParseEntry(set, entry.c_str())) << entry;
    }

    CUninstallEngine m_engine;
    std::string m_driver, m_library, m_library32, m_programs, m_programs32, m_other32;
    std::string m_key, m_key32;
};

TEST_F(Wow64IntegrationTest, EachPlaceNamedOnceCoversBothViewsAndTheirSparedParts) {
    Entry(m_engine.m_removeFiles,
          "FILE_NAME_EXPAND,BY_VALUE,%SYSTEM%\\drivers\\" + Name() + ".sys");
    Entry(m_engine.m_removeFiles, "FILE_NAME_EXPAND,BY_VALUE,%SYSTEM%\\" + Name() + ".dll");
    Entry(m_engine.m_removeFiles, "FILE_NAME,BY_VALUE," + m_programs);
    Entry(m_engine.m_ignoreFiles, "FILE_NAME,BY_VALUE," + m_programs + "\\Keep");
    // A protected folder is refused in both views, with what lies in it.
    Entry(m_engine.m_removeFiles, "FILE_NAME,BY_VALUE," + Folder(CSIDL_PROGRAM_FILES));
    Entry(m_engine.m_removeRegKeys, "REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\" + m_key);
    Entry(m_engine.m_ignoreRegKeys, "REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\" + m_key + "\\Keep");

    ASSERT_EQ(0u, m_engine.PopulateRemoveLists());
    for (const std::string& path :
         {m_driver, m_library, m_library32, m_programs, m_programs + "\\agent.exe", m_programs32,
          m_programs32 + "\\ui.exe"})
        EXPECT_TRUE(m_engine.m_planFiles.Contains(Upper(path).c_str())) << path;
    for (const std::string& path :
         {m_programs + "\\Keep\\notes.txt", m_programs32 + "\\Keep\\notes.txt", m_other32,
          m_other32 + "\\other.exe", Folder(0x002A)})
        EXPECT_FALSE(m_engine.m_planFiles.Contains(Upper(path).c_str())) << path;
    EXPECT_TRUE(m_engine.m_planRegKeys.Contains(Upper("HKEY_LOCAL_MACHINE\\" + m_key).c_str()));
    EXPECT_TRUE(m_engine.m_planRegKeys.Contains(Upper("HKEY_LOCAL_MACHINE\\" + m_key32).c_str()));

    // The files' cleanup registers for the restart, which other test processes of this prefix
    // share; its order is proven elsewhere. The registry is cleaned here and now.
    ASSERT_EQ(0u, m_engine.CleanupRegValues());
    ASSERT_EQ(0u, m_engine.CleanupRegKeys());
    // Both views' keys lose what was planned and keep what was spared.
    for (const std::string& path : {m_key, m_key32}) {
        EXPECT_FALSE(ValueExists(path, "Version")) << path;
        EXPECT_TRUE(ValueExists(path + "\\Keep", "Licence")) << path;
    }
}

} // namespace
