// Protected places: drive roots, the Windows, system and program folders, the profile root, each
// profile and each special folder are refused however a profile reaches them (remove entry,
// registry value, wildcard, junction, odd spelling), while what lies inside them is still
// planned; registry roots and shared keys likewise; every refusal is one log line.
#include "engine/protected_paths.h"
#include "engine_fixture.h"
#include "helpers/helper.h"

#include <algorithm>
#include <string>

using namespace enginetest;

namespace {

const char kProfiles[] = "C:\\DOCUMENTS AND SETTINGS";
const char kAdministrator[] = "C:\\DOCUMENTS AND SETTINGS\\ADMINISTRATOR";
const char kReferenceKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite";

void Empty(TSet& set) {
    char* item = nullptr;
    for (DWORD more = set.GetFirst(&item); more == 0;)
        more = set.RemoveCurrent(&item);
}

class ProtectedPathsTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        OpenLogFile(nullptr, FALSE, nullptr);
    }
    // The log without its version line.
    static Lines PlanLines() {
        Lines lines = LogLines();
        lines.erase(lines.begin());
        return lines;
    }
    // The file plan built from one remove entry.
    Lines PlanOf(const char* entry) {
        engine.m_removeFiles.Add(entry);
        EXPECT_EQ(0u, engine.PopulateRemoveFileList());
        return Items(engine.m_planFiles);
    }
    static bool Has(const Lines& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // Loads a whole profile and builds the plan from it.
    DWORD RunProfile(const std::string& keys, const std::string& files) {
        WriteProfile("[service 1]\n[registry value 1]\n[registry key 1]\n" + keys + "[file 1]\n" +
                     files);
        DWORD result = engine.CreateProfile();
        return result ? result : engine.PopulateRemoveLists();
    }
};

// Each protected folder of the default machine, with a file inside so that a walk would find
// something to plan.
class ProtectedFolderTest : public ProtectedPathsTest,
                            public ::testing::WithParamInterface<const char*> {};

TEST_P(ProtectedFolderTest, RemoveEntryIsRefusedAndNothingBeneathIsPlanned) {
    std::string folder = GetParam();
    sim::AddFile((folder + "\\inside.txt").c_str());
    sim::AddFile((folder + "\\Sub\\deeper.txt").c_str());

    EXPECT_TRUE(PlanOf(folder.c_str()).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), engine.AddFileTree(folder.c_str()));
    EXPECT_TRUE(engine.m_planFiles.IsEmpty());
    EXPECT_EQ("0005 ProtectedPath: " + folder, PlanLines().at(0));
}

INSTANTIATE_TEST_SUITE_P(
    DefaultMachine, ProtectedFolderTest,
    ::testing::Values("C:", "D:", "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM32", "C:\\PROGRAM FILES",
                      "C:\\PROGRAM FILES\\COMMON FILES", kProfiles, kAdministrator,
                      "C:\\DOCUMENTS AND SETTINGS\\ALL USERS",
                      "C:\\DOCUMENTS AND SETTINGS\\DEFAULT USER",
                      "C:\\DOCUMENTS AND SETTINGS\\SOMEONE ELSE",
                      "C:\\DOCUMENTS AND SETTINGS\\ADMINISTRATOR\\APPLICATION DATA",
                      "C:\\DOCUMENTS AND SETTINGS\\ADMINISTRATOR\\START MENU\\PROGRAMS\\STARTUP",
                      "C:\\DOCUMENTS AND SETTINGS\\ADMINISTRATOR\\MY DOCUMENTS",
                      "C:\\DOCUMENTS AND SETTINGS\\ADMINISTRATOR\\LOCAL SETTINGS\\TEMP",
                      "C:\\DOCUMENTS AND SETTINGS\\DEFAULT USER\\APPLICATION DATA",
                      "C:\\DOCUMENTS AND SETTINGS\\SOMEONE ELSE\\DESKTOP",
                      "C:\\DOCUMENTS AND SETTINGS\\ALL USERS\\DESKTOP",
                      "C:\\DOCUMENTS AND SETTINGS\\ALL USERS\\APPLICATION DATA"));

TEST_F(ProtectedPathsTest, OtherSpellingsOfAProtectedFolderAreRefusedToo) {
    sim::AddFile("C:\\WINDOWS\\system32\\kernel32.dll");
    sim::AddFile("C:\\Program Files\\Example Suite\\app.exe");
    const char* const spellings[] = {
        "C:\\WINDOWS\\.",
        "C:\\WINDOWS\\",
        "c:/windows",
        "\"C:\\Windows\"",
        "C:\\WINDOWS\\SYSTEM32\\..",
        "C:\\WINDOWS\\SYSTEM32\\..\\.",
        "C:\\WINDOWS\\.\\.\\",
        "C:\\PROGRAM FILES\\EXAMPLE SUITE\\..\\..\\WINDOWS",
        "C:\\.",
        "C:\\PROGRAM FILES\\..",
    };
    for (const char* spelling : spellings) {
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), engine.AddFileTree(spelling))
            << spelling;
        EXPECT_TRUE(engine.m_planFiles.IsEmpty()) << spelling;
    }
    EXPECT_EQ(10u, PlanLines().size());
}

TEST_F(ProtectedPathsTest, EntriesInsideProtectedFoldersAreStillPlanned) {
    sim::AddFile("C:\\Program Files\\Example Suite\\Bin\\app.exe");
    sim::AddFile("C:\\WINDOWS\\vendor.ini");
    sim::AddFile("C:\\WINDOWS\\system32\\drivers\\vendor.sys");
    sim::AddFile("C:\\Documents and Settings\\Administrator\\Application Data\\Vendor\\a.dat");
    sim::AddFile("C:\\Documents and Settings\\Default User\\Desktop\\Vendor.lnk");
    engine.m_removeFiles.Add("C:\\PROGRAM FILES\\EXAMPLE SUITE");
    engine.m_removeFiles.Add("C:\\WINDOWS\\VENDOR.INI");
    engine.m_removeFiles.Add("C:\\WINDOWS\\SYSTEM32\\DRIVERS\\VENDOR.SYS");
    engine.m_removeFiles.Add("C:\\DOCUMENTS AND SETTINGS\\ADMINISTRATOR\\APPLICATION DATA\\VENDOR");
    engine.m_removeFiles.Add("C:\\DOCUMENTS AND SETTINGS\\DEFAULT USER\\DESKTOP\\VENDOR.LNK");

    EXPECT_EQ(0u, engine.PopulateRemoveLists());
    EXPECT_EQ((Lines{"C:\\DOCUMENTS AND SETTINGS\\ADMINISTRATOR\\APPLICATION DATA\\VENDOR",
                     "C:\\DOCUMENTS AND SETTINGS\\ADMINISTRATOR\\APPLICATION DATA\\VENDOR\\A.DAT",
                     "C:\\DOCUMENTS AND SETTINGS\\DEFAULT USER\\DESKTOP\\VENDOR.LNK",
                     "C:\\PROGRAM FILES\\EXAMPLE SUITE", "C:\\PROGRAM FILES\\EXAMPLE SUITE\\BIN",
                     "C:\\PROGRAM FILES\\EXAMPLE SUITE\\BIN\\APP.EXE",
                     "C:\\WINDOWS\\SYSTEM32\\DRIVERS\\VENDOR.SYS", "C:\\WINDOWS\\VENDOR.INI"}),
              Items(engine.m_planFiles));
    EXPECT_EQ((Lines{"0000 PopulateRemoveServiceList: 0 services",
                     "0000 PopulateRemoveRegList: 0 keys, 0 values",
                     "0000 PopulateRemoveFileList: 8 files and folders"}),
              PlanLines());
}

TEST_F(ProtectedPathsTest, WalkDoesNotEnterAProtectedFolderInsideAPlannedOne) {
    const std::string local = std::string(kAdministrator) + "\\LOCAL SETTINGS";
    sim::AddFile("C:\\Documents and Settings\\Administrator\\Local Settings\\Application "
                 "Data\\keep.dat");
    sim::AddFile("C:\\Documents and Settings\\Administrator\\Local Settings\\Temp\\keep.tmp");
    sim::AddFile("C:\\Documents and Settings\\Administrator\\Local Settings\\Vendor\\v.log");

    EXPECT_EQ((Lines{local, local + "\\VENDOR", local + "\\VENDOR\\V.LOG"}), PlanOf(local.c_str()));
    EXPECT_EQ((Lines{"0005 ProtectedPath: " + local + "\\APPLICATION DATA",
                     "0005 ProtectedPath: " + local + "\\TEMP",
                     "0005 ProtectedPath: " + local + "\\TEMPORARY INTERNET FILES"}),
              PlanLines());
}

TEST_F(ProtectedPathsTest, WildcardThatMatchesProgramFilesItselfPlansOnlyTheRest) {
    sim::AddFile("C:\\Program Files\\Example Suite\\app.exe");
    sim::AddFile("C:\\Programmes Vendor\\tool.exe");

    ASSERT_EQ(0u, RunProfile("", "remove=FILE_NAME,BY_VALUE,C:\\Program*\n"));
    EXPECT_EQ((Lines{"C:\\PROGRAM FILES", "C:\\PROGRAMMES VENDOR"}), Items(engine.m_removeFiles));
    EXPECT_EQ((Lines{"C:\\PROGRAMMES VENDOR", "C:\\PROGRAMMES VENDOR\\TOOL.EXE"}),
              Items(engine.m_planFiles));
    Lines lines = LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("0005 ProtectedPath: C:\\PROGRAM FILES", lines[lines.size() - 2]);
    EXPECT_EQ("0000 PopulateRemoveFileList: 2 files and folders", lines.back());
}

TEST_F(ProtectedPathsTest, WildcardOverTheDriveRefusesEverySystemFolder) {
    sim::AddFile("C:\\Vendor\\data.bin");

    ASSERT_EQ(0u, RunProfile("", "remove=FILE_NAME,BY_VALUE,C:\\*\n"));
    // The program's own folder is an ordinary folder to the profile.
    EXPECT_EQ((Lines{"C:\\TOOLS", "C:\\TOOLS\\KELVANE.CFG", "C:\\TOOLS\\KELVANE.LOG", "C:\\VENDOR",
                     "C:\\VENDOR\\DATA.BIN"}),
              Items(engine.m_planFiles));
    Lines lines = LogLines();
    EXPECT_TRUE(Has(lines, "0005 ProtectedPath: C:\\WINDOWS"));
    EXPECT_TRUE(Has(lines, "0005 ProtectedPath: C:\\PROGRAM FILES"));
    EXPECT_TRUE(Has(lines, "0005 ProtectedPath: C:\\DOCUMENTS AND SETTINGS"));
}

// A path read from the registry names a system place: the classic way to wipe a machine.
class ReferencedPathTest : public ProtectedPathsTest,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(ReferencedPathTest, RegistryValueNamingAProtectedFolderPlansNothing) {
    sim::AddFile("C:\\WINDOWS\\system32\\kernel32.dll");
    sim::AddFile("C:\\Documents and Settings\\Administrator\\My Documents\\letter.doc");
    sim::SetString(kReferenceKey, "InstallPath", GetParam());

    ASSERT_EQ(0u, RunProfile("", "remove=REG_VALUE,BY_REFERENCE,"
                                 "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite\\InstallPath\n"));
    // The referenced data is taken in its canonical entry text.
    std::string normalised = GetParam();
    NormalizeEntry(&normalised[0]);
    normalised.resize(strlen(normalised.c_str()));
    EXPECT_EQ(Lines{normalised}, Items(engine.m_removeFiles));
    EXPECT_TRUE(engine.m_planFiles.IsEmpty());
    Lines lines = LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("0005 ProtectedPath: " + normalised, lines[lines.size() - 2]);
    EXPECT_EQ("0000 PopulateRemoveFileList: 0 files and folders", lines.back());
}

INSTANTIATE_TEST_SUITE_P(Values, ReferencedPathTest,
                         ::testing::Values("C:\\", "C:\\WINDOWS", "C:\\Windows\\", "C:\\WINDOWS\\.",
                                           "C:\\Documents and Settings",
                                           "C:\\Documents and Settings\\Administrator\\",
                                           "c:\\documents and settings\\administrator\\my "
                                           "documents"));

TEST_F(ProtectedPathsTest, FullLogOfARunThatRefusesAReferencedWindowsFolder) {
    sim::SetString(kReferenceKey, "InstallPath", "C:\\WINDOWS\\");
    sim::AddFile("C:\\Program Files\\Example Suite\\app.exe");

    ASSERT_EQ(0u, RunProfile("", "remove=REG_VALUE,BY_REFERENCE,"
                                 "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite\\InstallPath\n"
                                 "remove=FILE_NAME,BY_VALUE,C:\\Program Files\\Example Suite\n"));
    // The profile step writes its own version line after the fixture's.
    EXPECT_EQ(
        (Lines{"Kelvane v.1.1.213.0 DEBUG", "0000 InitConfigFile: C:\\Tools\\Kelvane.cfg",
               "0000 InitIgnoreServiceList: 0 items", "0000 InitRemoveServiceList: 0 items",
               "0000 InitIgnoreRegValueList: 0 items", "0000 InitRemoveRegValueList: 0 items",
               "0000 InitIgnoreRegKeyList: 0 items", "0000 InitRemoveRegKeyList: 0 items",
               "0000 InitIgnoreFileList: 0 items", "0000 InitRemoveFileList: 2 items",
               "0000 PopulateRemoveServiceList: 0 services",
               "0000 PopulateRemoveRegList: 0 keys, 0 values", "0005 ProtectedPath: C:\\WINDOWS",
               "0000 PopulateRemoveFileList: 2 files and folders"}),
        PlanLines());
}

TEST_F(ProtectedPathsTest, ProfileMacroForEveryUserRefusesTheFolderItselfInEachProfile) {
    sim::AddFile("C:\\Documents and Settings\\Administrator\\Application Data\\Vendor\\a.dat");
    sim::AddFile("C:\\Documents and Settings\\Default User\\Application Data\\b.dat");

    ASSERT_EQ(0u, RunProfile("", "remove=FILE_NAME_EXPAND,BY_VALUE,%APPDATA%\n"
                                 "remove=FILE_NAME_EXPAND,BY_VALUE,%APPDATA%\\Vendor\n"));
    EXPECT_EQ((Lines{"C:\\DOCUMENTS AND SETTINGS\\ADMINISTRATOR\\APPLICATION DATA\\VENDOR",
                     "C:\\DOCUMENTS AND SETTINGS\\ADMINISTRATOR\\APPLICATION DATA\\VENDOR\\A.DAT"}),
              Items(engine.m_planFiles));
    Lines lines = LogLines();
    EXPECT_TRUE(Has(lines, "0005 ProtectedPath: C:\\DOCUMENTS AND SETTINGS\\ADMINISTRATOR\\"
                           "APPLICATION DATA"));
    EXPECT_TRUE(Has(lines, "0005 ProtectedPath: C:\\DOCUMENTS AND SETTINGS\\DEFAULT USER\\"
                           "APPLICATION DATA"));
}

TEST_F(ProtectedPathsTest, FoldersMovedByTheMachineAreProtectedWhereTheyAre) {
    sim::SetWindowsDirectory("D:\\WINNT");
    sim::SetSpecialFolder(CSIDL_PROGRAM_FILES, "E:\\Apps");
    sim::AddFile("D:\\WINNT\\system32\\ntdll.dll");
    sim::AddFile("E:\\Apps\\Vendor\\v.exe");
    sim::AddFile("C:\\WINDOWS\\old.txt");

    engine.m_removeFiles.Add("D:\\WINNT");
    engine.m_removeFiles.Add("D:\\WINNT\\SYSTEM32");
    engine.m_removeFiles.Add("E:\\APPS");
    engine.m_removeFiles.Add("E:\\APPS\\VENDOR");
    engine.m_removeFiles.Add("C:\\WINDOWS");
    EXPECT_EQ(0u, engine.PopulateRemoveFileList());
    // The old place of the Windows folder is an ordinary folder on this machine.
    EXPECT_EQ((Lines{"C:\\WINDOWS", "C:\\WINDOWS\\OLD.TXT", "C:\\WINDOWS\\SYSTEM32",
                     "C:\\WINDOWS\\TEMP", "E:\\APPS\\VENDOR", "E:\\APPS\\VENDOR\\V.EXE"}),
              Items(engine.m_planFiles));
    EXPECT_EQ((Lines{"0005 ProtectedPath: D:\\WINNT", "0005 ProtectedPath: D:\\WINNT\\SYSTEM32",
                     "0005 ProtectedPath: E:\\APPS"}),
              PlanLines());
}

// Letters beyond ASCII fold as the code page folds them: an ignore entry spelled with a capital
// spares the folder the disk spells in lower case, and a protected folder is recognised in
// another case. Under a double-byte code page the trail bytes stay as they are.
TEST_F(ProtectedPathsTest, AccentedLettersFoldAlikeInPlanIgnoreAndProtection) {
    sim::SetSpecialFolder(CSIDL_PROGRAM_FILES, "C:\\Programme f\xFCr alle");
    sim::AddFile("C:\\Programme f\xFCr alle\\Vendor\\\xFC"
                 "bersicht\\a.txt");
    sim::AddFile("C:\\Programme f\xFCr alle\\Vendor\\b.txt");
    ASSERT_EQ(0u, RunProfile("", "remove=FILE_NAME,BY_VALUE,C:\\Programme f\xFCr alle\\Vendor\n"
                                 "remove=FILE_NAME,BY_VALUE,C:\\PROGRAMME F\xDCR ALLE\n"
                                 "ignore=FILE_NAME,BY_VALUE,C:\\Programme f\xFCr alle\\Vendor\\"
                                 "\xDC"
                                 "bersicht\n"));
    EXPECT_EQ(
        (Lines{"C:\\PROGRAMME F\xDCR ALLE\\VENDOR", "C:\\PROGRAMME F\xDCR ALLE\\VENDOR\\B.TXT"}),
        Items(engine.m_planFiles));
    EXPECT_TRUE(Has(LogLines(), "0005 ProtectedPath: C:\\PROGRAMME F\xDCR ALLE"));

    sim::Reset();
    sim::SetModulePath(kProgram);
    sim::SetCodePage(932);
    // 0x83 0x61 is one character whose trail byte reads as 'a'.
    sim::AddFile("C:\\Vendor\\\x83\x61\\x.txt");
    CUninstallEngine fresh;
    fresh.SetStateReader(&dialog);
    fresh.m_removeFiles.Add("C:\\VENDOR");
    ASSERT_EQ(0u, fresh.PopulateRemoveFileList());
    EXPECT_EQ((Lines{"C:\\VENDOR", "C:\\VENDOR\\\x83\x61", "C:\\VENDOR\\\x83\x61\\X.TXT"}),
              Items(fresh.m_planFiles));
}

TEST_F(ProtectedPathsTest, FinalFilterDropsProtectedEntriesBeforeTheIgnoreEntries) {
    sim::AddFile("C:\\Vendor\\v.dat");
    // Entries that reached the plan by some other way than the walk.
    engine.m_planFiles.Add("C:\\WINDOWS");
    engine.m_planFiles.Add("C:\\DOCUMENTS AND SETTINGS\\JOE");
    engine.m_planFiles.Add("RELATIVE\\PATH");
    engine.m_removeFiles.Add("C:\\VENDOR");

    EXPECT_EQ(0u, engine.PopulateRemoveLists());
    EXPECT_EQ((Lines{"C:\\VENDOR", "C:\\VENDOR\\V.DAT"}), Items(engine.m_planFiles));
    EXPECT_EQ((Lines{"0000 PopulateRemoveServiceList: 0 services",
                     "0000 PopulateRemoveRegList: 0 keys, 0 values",
                     "0005 ProtectedPath: C:\\DOCUMENTS AND SETTINGS\\JOE",
                     "0005 ProtectedPath: C:\\WINDOWS", "0005 ProtectedPath: RELATIVE\\PATH",
                     "0000 PopulateRemoveFileList: 2 files and folders"}),
              PlanLines());
}

// Links: the plan deletes a link itself, never what it leads to, and a path that passes through
// a link is judged where it really leads.
TEST_F(ProtectedPathsTest, JunctionToTheWindowsFolderInsideAPlannedFolderIsNotEntered) {
    sim::AddFile("C:\\WINDOWS\\system32\\kernel32.dll");
    sim::AddFile("C:\\Program Files\\Suite\\app.exe");
    sim::AddJunction("C:\\Program Files\\Suite\\Win", "C:\\WINDOWS");
    sim::AddJunction("C:\\Program Files\\Suite\\Root", "C:\\");

    EXPECT_EQ((Lines{"C:\\PROGRAM FILES\\SUITE", "C:\\PROGRAM FILES\\SUITE\\APP.EXE",
                     "C:\\PROGRAM FILES\\SUITE\\ROOT", "C:\\PROGRAM FILES\\SUITE\\WIN"}),
              PlanOf("C:\\PROGRAM FILES\\SUITE"));
    EXPECT_TRUE(PlanLines().empty());
}

TEST_F(ProtectedPathsTest, RemoveEntryWhoseWayPassesThroughAJunctionIsRefused) {
    sim::AddFile("C:\\WINDOWS\\system32\\kernel32.dll");
    sim::AddFile("C:\\Shared\\Photos\\Data\\holiday.jpg");
    sim::AddFile("C:\\Program Files\\Suite\\app.exe");
    sim::AddJunction("C:\\Program Files\\Suite\\Root", "C:\\");
    sim::AddJunction("C:\\Program Files\\Suite\\Documents", "C:\\Shared\\Photos");
    engine.m_removeFiles.Add("C:\\PROGRAM FILES\\SUITE\\ROOT\\WINDOWS");
    engine.m_removeFiles.Add("C:\\PROGRAM FILES\\SUITE\\ROOT\\WINDOWS\\SYSTEM32\\KERNEL32.DLL");
    engine.m_removeFiles.Add("C:\\PROGRAM FILES\\SUITE\\DOCUMENTS\\DATA");
    engine.m_removeFiles.Add("C:\\PROGRAM FILES\\SUITE\\APP.EXE");

    EXPECT_EQ(0u, engine.PopulateRemoveFileList());
    EXPECT_EQ(Lines{"C:\\PROGRAM FILES\\SUITE\\APP.EXE"}, Items(engine.m_planFiles));
    EXPECT_EQ((Lines{"0005 ProtectedPath: C:\\PROGRAM FILES\\SUITE\\DOCUMENTS\\DATA",
                     "0005 ProtectedPath: C:\\PROGRAM FILES\\SUITE\\ROOT\\WINDOWS",
                     "0005 ProtectedPath: "
                     "C:\\PROGRAM FILES\\SUITE\\ROOT\\WINDOWS\\SYSTEM32\\KERNEL32.DLL"}),
              PlanLines());
}

TEST_F(ProtectedPathsTest, RemoveEntryThatIsAJunctionIsPlannedAsTheLinkAlone) {
    sim::AddFile("C:\\WINDOWS\\system32\\kernel32.dll");
    sim::AddJunction("C:\\Program Files\\Suite\\Win", "C:\\WINDOWS");

    EXPECT_EQ(Lines{"C:\\PROGRAM FILES\\SUITE\\WIN"}, PlanOf("C:\\PROGRAM FILES\\SUITE\\WIN"));
    EXPECT_TRUE(PlanLines().empty());
}

// The comparison form itself.
TEST(CanonicalPathTest, DotsBlanksAndPrefixesAreResolvedAndRelativePathsCannotBeJudged) {
    sim::Reset();
    struct Case {
        const char* path;
        const char* canonical;
    };
    const Case cases[] = {
        {"C:\\", "C:"},
        {"c:", "C:"},
        {"C:\\A\\.\\B\\", "C:\\A\\B"},
        {"C:\\A\\..\\..\\B", "C:\\B"},
        {"C:\\A. .\\B...", "C:\\A\\B"},
        {"C:\\A\\...\\B", "C:\\A\\B"},
        {"\\\\?\\C:\\Windows", "C:\\WINDOWS"},
        {"\\\\.\\C:\\Windows\\", "C:\\WINDOWS"},
        {"\"C:/Program Files//Vendor\"", "C:\\PROGRAM FILES\\VENDOR"},
        // Texts that are nearly their own comparison form, and the one that is.
        {"C:\\A \\B", "C:\\A\\B"},
        {"C:\\A\\B ", "C:\\A\\B"},
        {"C:\\A\\B.", "C:\\A\\B"},
        {"C:\\A\\..", "C:"},
        {"C:\\A\\\\B", "C:\\A\\B"},
        {"C:\\A\\b", "C:\\A\\B"},
        {"C:\\A~B\\ C.D", "C:\\A~B\\ C.D"},
        {"C:\\VENDOR\\ B.C D\\F-G_(1)", "C:\\VENDOR\\ B.C D\\F-G_(1)"},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_TRUE(protected_paths::CanonicalPath(c.path, &out)) << c.path;
        EXPECT_EQ(c.canonical, out) << c.path;
    }
    // A ':' after the drive's names a stream: 'X::$INDEX_ALLOCATION' is the folder X itself.
    const char* const unjudged[] = {"",
                                    "WINDOWS",
                                    "C:WINDOWS",
                                    "\\WINDOWS",
                                    "\\\\SERVER\\SHARE",
                                    ".",
                                    "..\\X",
                                    "1:\\X",
                                    "C:\\WINDOWS::$INDEX_ALLOCATION",
                                    "C:\\VENDOR\\FILE.TXT:STREAM",
                                    "\\\\?\\C:\\VENDOR:X",
                                    "C:VENDOR\\X"};
    for (const char* path : unjudged) {
        std::string out;
        EXPECT_FALSE(protected_paths::CanonicalPath(path, &out)) << path;
    }
}

// Registry: roots, hive-level keys and the keys every program shares.
class ProtectedKeyTest : public ProtectedPathsTest,
                         public ::testing::WithParamInterface<const char*> {};

TEST_P(ProtectedKeyTest, KeyIsRefusedWithNothingOfItsTreePlanned) {
    std::string key = GetParam();
    sim::SetString((key + "\\Vendor").c_str(), "Path", "C:\\Vendor");
    if (key.find('\\') != std::string::npos)
        sim::SetString(key.c_str(), "Shared", "x");

    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), engine.AddRegKeyTree(key.c_str()));
    EXPECT_TRUE(engine.m_planRegKeys.IsEmpty());
    EXPECT_TRUE(engine.m_planRegValues.IsEmpty());
    EXPECT_EQ(Lines{"0005 ProtectedKey: " + key}, PlanLines());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ProtectedKeyTest,
    ::testing::Values("HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE\\SOFTWARE",
                      "HKEY_LOCAL_MACHINE\\SYSTEM", "HKEY_CURRENT_USER",
                      "HKEY_CURRENT_USER\\SOFTWARE", "HKEY_CURRENT_USER\\CONTROL PANEL",
                      "HKEY_USERS", "HKEY_USERS\\.DEFAULT", "HKEY_USERS\\.DEFAULT\\SOFTWARE",
                      "HKEY_USERS\\S-1-5-21-1-2-3-1000_CLASSES\\CLSID", "HKEY_CLASSES_ROOT",
                      "HKEY_CLASSES_ROOT\\CLSID", "HKEY_CLASSES_ROOT\\*", "HKEY_CLASSES_ROOT\\.EXE",
                      "HKEY_CLASSES_ROOT\\WOW6432NODE\\CLSID",
                      "HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES",
                      "HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\INTERFACE",
                      "HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT",
                      "HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN",
                      "HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL",
                      "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432NODE",
                      "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432NODE\\MICROSOFT",
                      "HKEY_CURRENT_USER\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN",
                      "HKEY_LOCAL_MACHINE\\SYSTEM\\CURRENTCONTROLSET",
                      "HKEY_LOCAL_MACHINE\\SYSTEM\\CONTROLSET001\\SERVICES",
                      "HKEY_LOCAL_MACHINE\\SYSTEM\\CURRENTCONTROLSET\\SERVICES",
                      "HKEY_CURRENT_CONFIG\\SOFTWARE", "HKEY_CLASSES_ROOT\\INSTALLER\\PRODUCTS",
                      "HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\INSTALLER\\UPGRADECODES",
                      "HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\INSTALLER"
                      "\\USERDATA\\S-1-5-18\\PRODUCTS"));

TEST_F(ProtectedPathsTest, ProductKeysBelowSharedKeysAreStillPlanned) {
    const char* const keys[] = {
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE",
        "HKEY_CLASSES_ROOT\\EXAMPLESUITE.DOCUMENT",
        "HKEY_CLASSES_ROOT\\CLSID\\{00000000-1111-2222-3333-444444444444}",
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\EXAMPLESUITE",
        "HKEY_LOCAL_MACHINE\\SYSTEM\\CURRENTCONTROLSET\\SERVICES\\EXAMPLESVC",
        "HKEY_USERS\\.DEFAULT\\SOFTWARE\\EXAMPLE SUITE",
        "HKEY_CLASSES_ROOT\\INSTALLER\\PRODUCTS\\0123456789ABCDEF0123456789ABCDEF",
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\INSTALLER\\USERDATA"
        "\\S-1-5-18\\PRODUCTS\\0123456789ABCDEF0123456789ABCDEF",
    };
    for (const char* key : keys) {
        sim::SetString(key, "Path", "x");
        EXPECT_EQ(0u, engine.AddRegKeyTree(key)) << key;
        EXPECT_TRUE(engine.m_planRegKeys.Contains(key)) << key;
        EXPECT_TRUE(engine.m_planRegValues.Contains((std::string(key) + "\\PATH").c_str())) << key;
    }
    EXPECT_TRUE(PlanLines().empty());
}

TEST_F(ProtectedPathsTest, KeyWildcardOverSoftwarePlansTheProductButNotTheSharedKeys) {
    sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite\\Settings", "Level", "3");
    sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Shell",
                   "explorer.exe");

    ASSERT_EQ(0u, RunProfile("remove=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\*\n", ""));
    EXPECT_EQ((Lines{"HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE",
                     "HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE\\SETTINGS"}),
              Items(engine.m_planRegKeys));
    EXPECT_EQ(Lines{"HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE\\SETTINGS\\LEVEL"},
              Items(engine.m_planRegValues));
    Lines lines = LogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ("0005 ProtectedKey: HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT",
              lines[lines.size() - 3]);
    EXPECT_EQ("0000 PopulateRemoveRegList: 2 keys, 1 values", lines[lines.size() - 2]);
}

TEST_F(ProtectedPathsTest, RegistryValueNamingAHiveKeyPlansNothing) {
    sim::SetString(kReferenceKey, "Root", "HKEY_LOCAL_MACHINE\\Software\\");
    sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft", "Version", "1");

    ASSERT_EQ(0u, RunProfile("remove=REG_VALUE,BY_REFERENCE,"
                             "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite\\Root\n",
                             ""));
    EXPECT_TRUE(engine.m_planRegKeys.IsEmpty());
    EXPECT_TRUE(engine.m_planRegValues.IsEmpty());
    Lines lines = LogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ("0005 ProtectedKey: HKEY_LOCAL_MACHINE\\SOFTWARE", lines[lines.size() - 3]);
    EXPECT_EQ("0000 PopulateRemoveRegList: 0 keys, 0 values", lines[lines.size() - 2]);
}

TEST_F(ProtectedPathsTest, StreamNamesArePlannedNowhere) {
    sim::AddFile("C:\\Vendor\\file.txt");
    const char* const entries[] = {"C:\\Vendor::$INDEX_ALLOCATION", "C:\\Vendor\\file.txt:stream",
                                   "C:\\Vendor\\file.txt::$DATA"};
    for (const char* entry : entries)
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), engine.AddFileTree(entry)) << entry;
    EXPECT_TRUE(engine.m_planFiles.IsEmpty());
    EXPECT_EQ(3u, PlanLines().size());
}

// However a shared key is spelled, by the profile or by a value the profile refers to, the key
// that would be opened is judged, and nothing of it is planned.
TEST_F(ProtectedPathsTest, SpellingsOfASharedKeyAreRefusedOnTheKeyThatWouldBeOpened) {
    sim::SetString("HKEY_CURRENT_USER\\Software\\Vendor", "Level", "3");
    sim::SetString("HKEY_CURRENT_USER\\Software", "Shared", "x");
    sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor", "Level", "3");
    const char* const spellings[] = {
        "HKEY_CURRENT_USER\\Software\\\\",
        "HKEY_CURRENT_USER\\Software\\\\\\",
        "HKEY_CURRENT_USER//Software//",
        "hkey_current_user\\software",
        "HKEY_CURRENT_USER\\\\Software",
        "\"HKEY_CURRENT_USER\\Software\\\\\"",
        "HKEY_CURRENT_USER\\ Software \\",
        "HKCU\\Software",
        "HKLM\\SOFTWARE\\\\",
        "HKEY_LOCAL_MACHINE\\\\",
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run\\\\",
    };
    for (const char* spelling : spellings) {
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), engine.AddRegKeyTree(spelling))
            << spelling;
        EXPECT_TRUE(engine.m_planRegKeys.IsEmpty()) << spelling;
        EXPECT_TRUE(engine.m_planRegValues.IsEmpty()) << spelling;
    }

    // The way a careless administrator reached it: a value holding the hive key with two
    // trailing separators, named by reference in the key section.
    sim::SetString(kReferenceKey, "Root", "HKEY_CURRENT_USER\\Software\\\\");
    ASSERT_EQ(0u, RunProfile("remove=REG_VALUE,BY_REFERENCE,"
                             "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite\\Root\n",
                             ""));
    EXPECT_TRUE(engine.m_planRegKeys.IsEmpty());
    EXPECT_TRUE(engine.m_planRegValues.IsEmpty());
    EXPECT_TRUE(Has(LogLines(), "0005 ProtectedKey: HKEY_CURRENT_USER\\SOFTWARE"));
}

// A registry link inside a planned tree is neither planned nor entered: what it leads to belongs
// to another key. A remove entry or a named value reached through a link is refused whole.
TEST_F(ProtectedPathsTest, RegistryLinksAreNeverEntered) {
    sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Settings", "Level", "3");
    sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\Data", "Keep", "1");
    sim::AddLinkKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Shortcut",
                    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Other");
    sim::AddLinkKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Alias", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Other");

    ASSERT_EQ(0u, RunProfile("remove=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\n"
                             "remove=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\Alias\n"
                             "remove=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\Alias\\Data\n",
                             ""));
    EXPECT_EQ((Lines{"HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR",
                     "HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\SETTINGS"}),
              Items(engine.m_planRegKeys));
    EXPECT_EQ(Lines{"HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\SETTINGS\\LEVEL"},
              Items(engine.m_planRegValues));
    Lines lines = LogLines();
    EXPECT_TRUE(Has(lines, "0005 ProtectedKey: HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\SHORTCUT"));
    EXPECT_TRUE(Has(lines, "0005 ProtectedKey: HKEY_LOCAL_MACHINE\\SOFTWARE\\ALIAS"));
    EXPECT_TRUE(Has(lines, "0005 ProtectedKey: HKEY_LOCAL_MACHINE\\SOFTWARE\\ALIAS\\DATA"));

    // A value named through the link would delete the other key's value.
    engine.m_removeRegValues.Add("HKEY_LOCAL_MACHINE\\SOFTWARE\\ALIAS\\DATA\\KEEP");
    engine.m_removeRegValues.Add("HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\SETTINGS\\LEVEL");
    Empty(engine.m_planRegKeys);
    Empty(engine.m_planRegValues);
    ASSERT_EQ(0u, engine.PopulateRemoveRegList());
    EXPECT_EQ(Lines{"HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\SETTINGS\\LEVEL"},
              Items(engine.m_planRegValues));
    EXPECT_EQ("0005 ProtectedValue: HKEY_LOCAL_MACHINE\\SOFTWARE\\ALIAS\\DATA\\KEEP",
              LogLines().back());

    ASSERT_EQ(0u, engine.CleanupRegValues());
    ASSERT_EQ(0u, engine.CleanupRegKeys());
    EXPECT_EQ("1", sim::GetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\Data", "Keep"));
    EXPECT_FALSE(sim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Settings"));
}

// The system's own aliases are the usual way to a product's key: CurrentControlSet is a link to
// the control set in use, and a service's key is removed through it.
TEST_F(ProtectedPathsTest, SystemAliasesOnTheWayToAnEntryAreFollowed) {
    sim::SetString("HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\ExampleSvc", "Start", "3");
    sim::RemoveKey("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet");
    sim::AddLinkKey("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet",
                    "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001");
    const char kService[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CURRENTCONTROLSET\\SERVICES\\EXAMPLESVC";
    engine.m_removeRegKeys.Add(kService);
    engine.m_removeRegValues.Add((std::string(kService) + "\\START").c_str());
    ASSERT_EQ(0u, engine.PopulateRemoveRegList());
    EXPECT_EQ(Lines{kService}, Items(engine.m_planRegKeys));
    EXPECT_EQ(Lines{std::string(kService) + "\\START"}, Items(engine.m_planRegValues));
    EXPECT_TRUE(PlanLines().empty());
}

// A value the profile names itself may live in a shared key; one found by walking may not, and
// neither may one directly below a root.
TEST_F(ProtectedPathsTest, NamedValuesInSharedKeysStayAllowed) {
    const char kRun[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN";
    sim::SetString(kRun, "Vendor Agent", "agent.exe");
    sim::SetString(kRun, "Shell", "explorer.exe");
    engine.m_removeRegValues.Add((std::string(kRun) + "\\VENDOR AGENT").c_str());
    engine.m_removeRegValues.Add("HKEY_LOCAL_MACHINE\\VENDOR");
    engine.m_planRegValues.Add((std::string(kRun) + "\\SHELL").c_str());

    ASSERT_EQ(0u, engine.PopulateRemoveRegList());
    EXPECT_EQ(Lines{std::string(kRun) + "\\VENDOR AGENT"}, Items(engine.m_planRegValues));
    EXPECT_EQ((Lines{"0005 ProtectedValue: " + std::string(kRun) + "\\SHELL",
                     "0005 ProtectedValue: HKEY_LOCAL_MACHINE\\VENDOR"}),
              PlanLines());
}

// Service entries never reach the system's own services or processes, and a pattern of wildcards
// alone reaches only programs outside the Windows folder.
TEST_F(ProtectedPathsTest, ServiceEntriesStopOnlyTheProductsServices) {
    auto add = [](const char* name, const char* image) {
        sim::ServiceRecord record;
        record.name = name;
        record.state = SERVICE_RUNNING;
        record.imagePath = image;
        sim::AddService(record);
    };
    add("RpcSs", "C:\\WINDOWS\\system32\\svchost.exe -k rpcss");
    add("EventLog", "C:\\WINDOWS\\system32\\services.exe");
    add("Spooler", "C:\\WINDOWS\\system32\\spoolsv.exe");
    add("ExampleSvc", "\"C:\\Program Files\\Example Suite\\svc.exe\" -service");
    add("ExampleDrv", "System32\\drivers\\example.sys");

    ASSERT_EQ(0u, RunProfile("", "")); // an empty profile gives an engine with its log
    Empty(engine.m_removeServices);
    char all[] = "*";
    char product[] = "EXAMPLE*";
    char core[] = "RPC?S";
    ASSERT_EQ(0u, engine.FindServicesByValue(engine.m_removeServices, all));
    EXPECT_EQ(Lines{"ExampleSvc"}, Items(engine.m_removeServices));
    ASSERT_EQ(0u, engine.FindServicesByValue(engine.m_removeServices, product));
    ASSERT_EQ(0u, engine.FindServicesByValue(engine.m_removeServices, core));
    engine.m_removeServices.Add("EVENTLOG");
    ASSERT_EQ(0u, engine.PopulateRemoveServiceList());
    EXPECT_EQ((Lines{"ExampleDrv", "ExampleSvc"}), Items(engine.m_planServices));
    Lines lines = LogLines();
    for (const char* name : {"RpcSs", "EventLog", "Spooler", "ExampleDrv", "EVENTLOG"})
        EXPECT_TRUE(Has(lines, std::string("0005 ProtectedService: ") + name)) << name;

    // Ignore entries are resolved as written, the system's services included.
    char ignoreAll[] = "*";
    ASSERT_EQ(0u, engine.FindServicesByValue(engine.m_ignoreServices, ignoreAll));
    EXPECT_EQ(5u, engine.m_ignoreServices.Count());

    // On the 9x family the patterns meet running programs.
    sim::SetWindows98();
    sim::AddProcess("C:\\WINDOWS\\SYSTEM\\KERNEL32.DLL");
    sim::AddProcess("C:\\WINDOWS\\EXPLORER.EXE");
    sim::AddProcess("C:\\WINDOWS\\RUNDLL32.EXE");
    sim::AddProcess("C:\\PROGRAM FILES\\EXAMPLE SUITE\\AGENT.EXE");
    TSet processes;
    char explorer[] = "EXPLORER.EXE";
    ASSERT_EQ(0u, engine.FindServicesByValue(processes, all));
    ASSERT_EQ(0u, engine.FindServicesByValue(processes, explorer));
    EXPECT_EQ(Lines{"AGENT.EXE"}, Items(processes));
}

} // namespace
