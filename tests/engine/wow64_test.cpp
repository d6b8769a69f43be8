// The 32-bit build on a 64-bit Windows: the engine sees the machine as it is (System32, not
// SysWOW64; the 64-bit registry view), and a profile that names each place once removes the
// product from both views, its twins spared and refused by the same ignore entries and
// protections.
#include "engine_fixture.h"

#include <string>

using namespace enginetest;

namespace {

const char kUninstall[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                          "Uninstall\\AcmeSuite";
const char kUninstall32[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\"
                            "CurrentVersion\\Uninstall\\AcmeTools";

const char kProfile64[] =
    "[service 1]\n"
    "[registry value 1]\n"
    "remove=REG_VALUE,BY_VALUE,HKEY_CLASSES_ROOT\\CLSID\\{ACME}\\Server\n"
    "[registry key 1]\n"
    "remove=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\n"
    "ignore=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\Keep\n"
    "remove=REG_KEY,BY_DATA_MATCH,\"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\"
    "CurrentVersion\\Uninstall\\*\",\"DisplayName\",\"Acme*\"\n"
    "remove=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\n"
    "[file 1]\n"
    "remove=FILE_NAME_EXPAND,BY_VALUE,%SYSTEM%\\drivers\\acmeflt.sys\n"
    "remove=FILE_NAME_EXPAND,BY_VALUE,%SYSTEM%\\acmehook.dll\n"
    "remove=FILE_NAME,BY_VALUE,C:\\Program Files\\Acme\n"
    "ignore=FILE_NAME,BY_VALUE,C:\\Program Files\\Acme\\Keep\n"
    "remove=FILE_NAME,BY_VALUE,C:\\Program Files\\Common Files\\Acme\n"
    "remove=FILE_NAME,BY_VALUE,C:\\Program Files\n"
    "remove=FILE_NAME_EXPAND,BY_VALUE,%SYSTEM%\\drivers\\etc\\acme.hosts\n";

class Wow64Test : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        sim::SetWindows64(true);
        sim::SetProgram32Bit(true);
        // The product: 64-bit driver, services' libraries and program; 32-bit user interface.
        sim::AddFile("C:\\WINDOWS\\system32\\drivers\\acmeflt.sys");
        sim::AddFile("C:\\WINDOWS\\system32\\acmehook.dll");
        sim::AddFile("C:\\WINDOWS\\SysWOW64\\acmehook.dll");
        sim::AddFile("C:\\Program Files\\Acme\\agent.exe");
        sim::AddFile("C:\\Program Files\\Acme\\Keep\\notes.txt");
        sim::AddFile("C:\\Program Files (x86)\\Acme\\ui.exe");
        sim::AddFile("C:\\Program Files (x86)\\Acme\\Keep\\notes.txt");
        sim::AddFile("C:\\Program Files\\Common Files\\Acme\\shared.dll");
        sim::AddFile("C:\\Program Files (x86)\\Common Files\\Acme\\shared.dll");
        sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme", "Version", "2.0");
        sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\Keep", "Licence", "x");
        sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Acme", "Version", "2.0");
        sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Acme\\Keep", "Licence", "x");
        sim::SetString(kUninstall, "DisplayName", "Acme Suite");
        sim::SetString(kUninstall32, "DisplayName", "Acme Tools");
        sim::SetString("HKEY_CLASSES_ROOT\\CLSID\\{ACME}", "Server", "agent.exe");
        sim::SetString("HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{ACME}", "Server", "ui.exe");
        // Beside it, what belongs to others.
        sim::AddFile("C:\\WINDOWS\\SysWOW64\\other.dll");
        sim::AddFile("C:\\WINDOWS\\system32\\drivers\\etc\\acme.hosts");
        sim::AddFile("C:\\WINDOWS\\SysWOW64\\drivers\\etc\\acme.hosts");
        sim::AddFile("C:\\Program Files (x86)\\Other\\other.exe");
        sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Other", "Version", "1");
        sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\"
                       "CurrentVersion\\Uninstall\\Other",
                       "DisplayName", "Other");
        WriteProfile(kProfile64);
    }

    // The whole run of the stages that change the machine, then a restart.
    void RunAndRestart() {
        ASSERT_EQ(0u, engine.CreateProfile());
        ASSERT_EQ(0u, engine.PopulateRemoveLists());
        ASSERT_EQ(0u, engine.CleanupFiles());
        ASSERT_EQ(0u, engine.CleanupRegValues());
        ASSERT_EQ(0u, engine.CleanupRegKeys());
        sim::Restart();
    }
};

TEST_F(Wow64Test, AProfileNamingEachPlaceOnceRemovesTheProductFromBothViews) {
    RunAndRestart();
    for (const char* gone :
         {"C:\\WINDOWS\\system32\\drivers\\acmeflt.sys", "C:\\WINDOWS\\system32\\acmehook.dll",
          "C:\\WINDOWS\\SysWOW64\\acmehook.dll", "C:\\Program Files\\Acme\\agent.exe",
          "C:\\Program Files (x86)\\Acme\\ui.exe", "C:\\Program Files\\Common Files\\Acme",
          "C:\\Program Files (x86)\\Common Files\\Acme"})
        EXPECT_FALSE(sim::Exists(gone)) << gone;
    EXPECT_FALSE(sim::ValueExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme", "Version"));
    EXPECT_FALSE(sim::ValueExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Acme", "Version"));
    EXPECT_FALSE(sim::KeyExists(kUninstall));
    EXPECT_FALSE(sim::KeyExists(kUninstall32));
    EXPECT_FALSE(sim::ValueExists("HKEY_CLASSES_ROOT\\CLSID\\{ACME}", "Server"));
    EXPECT_FALSE(sim::ValueExists("HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{ACME}", "Server"));
}

TEST_F(Wow64Test, TwinsAreSparedAndRefusedByTheSameEntriesAndProtections) {
    RunAndRestart();
    // The ignore entries spare both views.
    EXPECT_TRUE(sim::Exists("C:\\Program Files\\Acme\\Keep\\notes.txt"));
    EXPECT_TRUE(sim::Exists("C:\\Program Files (x86)\\Acme\\Keep\\notes.txt"));
    EXPECT_TRUE(sim::ValueExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\Keep", "Licence"));
    EXPECT_TRUE(
        sim::ValueExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Acme\\Keep", "Licence"));
    // The protected folders and keys of both views are refused, with what lies in them.
    EXPECT_TRUE(sim::Exists("C:\\WINDOWS\\SysWOW64\\other.dll"));
    EXPECT_TRUE(sim::Exists("C:\\Program Files (x86)\\Other\\other.exe"));
    EXPECT_TRUE(sim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Other"));
    EXPECT_TRUE(sim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\"
                               "CurrentVersion\\Uninstall\\Other"));
    Lines log = LogLines();
    for (const char* refused :
         {"0005 ProtectedPath: C:\\PROGRAM FILES", "0005 ProtectedPath: C:\\PROGRAM FILES (X86)",
          "0005 ProtectedKey: HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT",
          "0005 ProtectedKey: HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432NODE\\MICROSOFT"})
        EXPECT_NE(log.end(), std::find(log.begin(), log.end(), refused)) << refused;
    // A subfolder of System32 that Windows does not redirect has no twin: only the entry's own
    // path goes.
    EXPECT_FALSE(sim::Exists("C:\\WINDOWS\\system32\\drivers\\etc\\acme.hosts"));
    EXPECT_TRUE(sim::Exists("C:\\WINDOWS\\SysWOW64\\drivers\\etc\\acme.hosts"));
}

TEST_F(Wow64Test, TheRedirectionIsBackOnAfterEachStage) {
    ASSERT_EQ(0u, engine.CreateProfile());
    ASSERT_EQ(0u, engine.PopulateRemoveLists());
    // Twins are planned under their own paths, in the same log lines.
    EXPECT_TRUE(engine.m_planFiles.Contains("C:\\WINDOWS\\SYSTEM32\\DRIVERS\\ACMEFLT.SYS"));
    EXPECT_TRUE(engine.m_planFiles.Contains("C:\\WINDOWS\\SYSWOW64\\ACMEHOOK.DLL"));
    EXPECT_TRUE(engine.m_planRegKeys.Contains("HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432NODE\\ACME"));
    // The worker thread's own view is the redirected one again: System32 is SysWOW64 to it.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES,
              GetFileAttributesA("C:\\WINDOWS\\system32\\drivers\\acmeflt.sys"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\WINDOWS\\system32\\other.dll"));
}

TEST_F(Wow64Test, OnAThirtyTwoBitWindowsNothingIsTwinned) {
    sim::Reset();
    sim::SetModulePath(kProgram);
    sim::AddFile("C:\\Program Files\\Acme\\agent.exe");
    sim::AddFile("C:\\Program Files (x86)\\Acme\\ui.exe");
    sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Acme", "Version", "2.0");
    WriteProfile(kProfile64);
    ASSERT_EQ(0u, engine.CreateProfile());
    ASSERT_EQ(0u, engine.PopulateRemoveLists());
    EXPECT_FALSE(engine.m_planFiles.Contains("C:\\PROGRAM FILES (X86)\\ACME\\UI.EXE"));
    EXPECT_FALSE(engine.m_planRegKeys.Contains("HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432NODE\\ACME"));
    EXPECT_TRUE(engine.m_planFiles.Contains("C:\\PROGRAM FILES\\ACME\\AGENT.EXE"));
}

} // namespace
