// File discovery: FILE_NAME and FILE_NAME_EXPAND entries resolved against simulated disks.
#include "discovery_fixture.h"

#include <shlobj.h>

#include <string>

namespace {

const auto kFiles = &CUninstallEngine::FindFilesByValue;
const auto kFileData = &CUninstallEngine::FindFilesByDataMatch;
const auto kExpanded = &CUninstallEngine::FindExpandedFilesByValue;
const auto kExpandedData = &CUninstallEngine::FindExpandedFilesByDataMatch;

} // namespace

class FileDiscoveryTest : public DiscoveryTest {};

TEST_F(FileDiscoveryTest, LiteralPathIsAddedUpperCasedWhetherOrNotItExists) {
    sim::AddFile("C:\\Program Files\\Vendor\\app.EXE");
    sim::AddFolder("C:\\Program Files\\Vendor\\Data");
    EXPECT_EQ(0u, Find(kFiles, "c:/program files/vendor/App.exe"));
    EXPECT_EQ(0u, Find(kFiles, "C:\\Program Files\\Vendor\\Data\\"));
    EXPECT_EQ(0u, Find(kFiles, "C:\\Program Files\\Vendor\\Gone.dll"));
    EXPECT_EQ((Strings{"C:\\PROGRAM FILES\\VENDOR\\APP.EXE", "C:\\PROGRAM FILES\\VENDOR\\DATA",
                       "C:\\PROGRAM FILES\\VENDOR\\GONE.DLL"}),
              Found());
}

TEST_F(FileDiscoveryTest, WildcardsInTheLastComponentAddEachMatchOrTheTextItself) {
    sim::AddFile("C:\\Program Files\\Vendor\\app.exe");
    sim::AddFile("C:\\Program Files\\Vendor\\hidden.sys", "", FILE_ATTRIBUTE_HIDDEN);
    sim::AddFile("C:\\Program Files\\Vendor\\Bin\\deep.dll");
    sim::AddFile("C:\\Program Files\\VendorUpdate.exe");
    sim::AddFolder("C:\\Program Files\\Other");
    EXPECT_EQ(0u, Find(kFiles, "C:\\Program Files\\Vendor\\*"));
    EXPECT_EQ(0u, Find(kFiles, "C:\\Program Files\\Vendor*"));
    EXPECT_EQ(0u, Find(kFiles, "C:\\Program Files\\Nobody*"));
    const std::string root = "C:\\PROGRAM FILES\\";
    EXPECT_EQ(
        (Strings{root + "NOBODY*", root + "VENDOR", root + "VENDOR\\APP.EXE", root + "VENDOR\\BIN",
                 root + "VENDOR\\HIDDEN.SYS", root + "VENDORUPDATE.EXE"}),
        Found());
}

TEST_F(FileDiscoveryTest, FoundNamesThatDoNotFitAPathAreLeftOut) {
    // A folder path of 240 bytes: names of up to 18 bytes fit behind it and its '\'.
    std::string folder = "C:\\" + std::string(120, 'A') + "\\" + std::string(116, 'B');
    sim::AddFile((folder + "\\" + std::string(18, 'f')).c_str());
    sim::AddFile((folder + "\\" + std::string(19, 'g')).c_str());
    EXPECT_EQ(0u, Find(kFiles, folder + "\\*"));
    EXPECT_EQ(Strings{folder + "\\" + std::string(18, 'F')}, Found());

    // A text too long for any path is not kept as an item either.
    EXPECT_EQ(0u, Find(kFiles, folder + "\\" + std::string(40, 'h')));
    EXPECT_EQ(1u, found.Count());
}

TEST_F(FileDiscoveryTest, DataMatchAddsFoldersHoldingAMatchForEveryPattern) {
    sim::AddFile("C:\\Program Files\\Both\\App.exe");
    sim::AddFile("C:\\Program Files\\Both\\core.dll");
    sim::AddFolder("C:\\Program Files\\Folders\\app.exe");
    sim::AddFolder("C:\\Program Files\\Folders\\plugins.dll");
    sim::AddFile("C:\\Program Files\\OnlyApp\\app.exe");
    sim::AddFile("C:\\Program Files\\Nested\\app.exe");
    sim::AddFile("C:\\Program Files\\Nested\\Sub\\core.dll");
    sim::AddFile("C:\\Program Files\\app.exe");
    EXPECT_EQ(0u, Find(kFileData, Fields({"C:\\Program Files\\*", "app.exe", "*.dll"})));
    EXPECT_EQ((Strings{"C:\\PROGRAM FILES\\BOTH", "C:\\PROGRAM FILES\\FOLDERS"}), Found());
}

TEST_F(FileDiscoveryTest, DataMatchNeverTakesAnUnlistableCandidateForAMatch) {
    // Files, missing folders and a pattern that matched nothing have no entries at all.
    sim::AddFile("C:\\Apps\\setup.exe");
    sim::AddFile("C:\\Apps\\Vendor\\readme.txt");
    EXPECT_EQ(0u, Find(kFileData, Fields({"C:\\Apps\\*", "*"})));
    EXPECT_EQ(0u, Find(kFileData, Fields({"C:\\Gone\\*", "?"})));
    EXPECT_EQ(Strings{"C:\\APPS\\VENDOR"}, Found());
}

TEST_F(FileDiscoveryTest, DataMatchWithoutANamePatternFails) {
    sim::AddFile("C:\\Program Files\\Vendor\\app.exe");
    EXPECT_EQ(13u, Find(kFileData, "\"C:\\Program Files\\*\""));
    EXPECT_EQ(13u, Find(kExpandedData, "%WINDOWS%\\*"));
    // In every profile alike: a per-user folder does not hide the malformed entry.
    EXPECT_EQ(13u, Find(kExpandedData, "%APPDATA%\\*"));
    EXPECT_TRUE(Found().empty());
}

// A machine of the default layout whose current user is JOE: the profiles ADMINISTRATOR,
// ALL USERS, DEFAULT USER and JOE below 'C:\Documents and Settings', each with its
// 'Application Data' folder; the Windows directory is 'C:\WINDOWS'.
class FolderMacroTest : public DiscoveryTest {
protected:
    void SetUp() override {
        DiscoveryTest::SetUp();
        sim::SetUserName("Joe");
        sim::AddUserProfile("Joe");
    }

    static std::string Profile(const char* user, const char* rest) {
        return std::string("C:\\DOCUMENTS AND SETTINGS\\") + user + rest;
    }
};

TEST_F(FolderMacroTest, PerUserFolderIsAppliedToEveryProfileFolder) {
    sim::AddFile("C:\\Documents and Settings\\Joe\\Application Data\\Vendor\\prefs.ini");
    // Neither a plain file nor a link beside the profiles is a profile.
    sim::AddFile("C:\\Documents and Settings\\notes.txt");
    sim::AddJunction("C:\\Documents and Settings\\Joe Link", "C:\\Documents and Settings\\Joe");
    EXPECT_EQ(0u, Find(kExpanded, "%APPDATA%\\Vendor"));
    EXPECT_EQ((Strings{Profile("ADMINISTRATOR", "\\APPLICATION DATA\\VENDOR"),
                       Profile("ALL USERS", "\\APPLICATION DATA\\VENDOR"),
                       Profile("DEFAULT USER", "\\APPLICATION DATA\\VENDOR"),
                       Profile("JOE", "\\APPLICATION DATA\\VENDOR")}),
              Found());
}

TEST_F(FolderMacroTest, PerUserDataMatchCarriesItsPatternsIntoEveryProfile) {
    sim::AddFile("C:\\Documents and Settings\\Joe\\Application Data\\Vendor\\agent.cfg");
    sim::AddFile("C:\\Documents and Settings\\Administrator\\Application Data\\VendorX\\agent.cfg");
    sim::AddFile("C:\\Documents and Settings\\All Users\\Application Data\\Other\\readme.txt");
    EXPECT_EQ(0u, Find(kExpandedData, Fields({"%APPDATA%\\*", "agent.cfg"})));
    EXPECT_EQ((Strings{Profile("ADMINISTRATOR", "\\APPLICATION DATA\\VENDORX"),
                       Profile("JOE", "\\APPLICATION DATA\\VENDOR")}),
              Found());
}

TEST_F(FolderMacroTest, UserNameCountsOnlyAsAWholeFolderName) {
    // User AL: 'AL' inside 'SALES' must not be taken for the profile's place.
    sim::SetUserName("al");
    sim::SetSpecialFolder(CSIDL_APPDATA, "C:\\Sales\\Profiles\\Al\\Application Data");
    sim::AddFolder("C:\\Sales\\Profiles\\Al");
    sim::AddFolder("C:\\Sales\\Profiles\\Alice");
    EXPECT_EQ(0u, Find(kExpanded, "%APPDATA%\\Vendor"));
    EXPECT_EQ((Strings{"C:\\SALES\\PROFILES\\AL\\APPLICATION DATA\\VENDOR",
                       "C:\\SALES\\PROFILES\\ALICE\\APPLICATION DATA\\VENDOR"}),
              Found());
}

TEST_F(FolderMacroTest, FolderWithoutTheUserNameIsExpandedOnceAndAMissingOneNotAtAll) {
    sim::AddFile("C:\\WINDOWS\\vendor.ini");
    EXPECT_EQ(0u, Find(kExpanded, "%ALTSTARTUP%\\vendor*.lnk"));
    EXPECT_EQ(0u, Find(kExpanded, "%WINDOWS%\\vendor.ini"));
    EXPECT_EQ(0u, Find(kExpanded, "%COMMON_DESKTOPDIRECTORY%\\App.lnk"));
    EXPECT_EQ(0u, Find(kExpanded, "%SYSTEM%\\vendor.dll"));
    EXPECT_EQ((Strings{"%ALTSTARTUP%\\VENDOR*.LNK", Profile("ALL USERS", "\\DESKTOP\\APP.LNK"),
                       "C:\\WINDOWS\\SYSTEM32\\VENDOR.DLL", "C:\\WINDOWS\\VENDOR.INI"}),
              Found());
}

TEST_F(FolderMacroTest, MacroOutsideTheTableOrNotAtTheStartFailsTheEntry) {
    EXPECT_EQ(1610u, Find(kExpanded, "%TEMP%\\x"));
    EXPECT_EQ(1610u, Find(kExpanded, "C:\\%APPDATA%\\Vendor"));
    EXPECT_EQ(1610u, Find(kExpandedData, Fields({"Vendor\\%WINDOWS%", "*.ini"})));
    EXPECT_TRUE(Found().empty());
}

TEST_F(FolderMacroTest, ExpansionThatDoesNotFitAPathAddsNothing) {
    std::string rest(250, 'x');
    EXPECT_EQ(0u, Find(kExpanded, "%WINDOWS%\\" + rest));
    EXPECT_EQ(0u, Find(kExpanded, "%APPDATA%\\" + rest));
    EXPECT_TRUE(Found().empty());
}
