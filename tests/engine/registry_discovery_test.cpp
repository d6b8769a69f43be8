// Registry discovery: REG_VALUE and REG_KEY entries resolved against a simulated registry.
#include "discovery_fixture.h"

#include "sim/control_registry.h"

#include <string>
#include <vector>

using Strings = std::vector<std::string>;

namespace {

const char* const kRun = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kRunItem =
    "HKEY_CURRENT_USER\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN\\";
const char* const kUninstall =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char* const kUninstallItem =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\";

// A data-match entry's fields as the profile writes them: quoted and separated by commas.
std::string Fields(const Strings& fields) {
    std::string text;
    for (const std::string& field : fields)
        text += (text.empty() ? "\"" : ",\"") + field + "\"";
    return text;
}

} // namespace

class RegistryDiscoveryTest : public DiscoveryTest {};

TEST_F(RegistryDiscoveryTest, LiteralValueAndKeyAreAddedWhetherOrNotTheyExist) {
    const char* entry = "HKEY_LOCAL_MACHINE\\Software\\Vendor\\InstallPath";
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegValuesByValue, entry));
    EXPECT_EQ(Strings{"HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\INSTALLPATH"}, Found());

    sim::SetString("HKEY_LOCAL_MACHINE\\Software\\Vendor", "InstallPath", "C:\\Vendor");
    sim::AddKey("HKEY_LOCAL_MACHINE\\Software\\Other");
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegValuesByValue, entry));
    EXPECT_EQ(0u,
              Find(&CUninstallEngine::FindRegKeysByValue, "HKEY_LOCAL_MACHINE\\Software\\Gone"));
    EXPECT_EQ((Strings{"HKEY_LOCAL_MACHINE\\SOFTWARE\\GONE",
                       "HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\INSTALLPATH"}),
              Found());
}

TEST_F(RegistryDiscoveryTest, ValueNamePatternAddsEachMatchingValueUpperCased) {
    sim::SetString(kRun, "Vendor Agent", "agent.exe");
    sim::SetString(kRun, "Other", "other.exe");
    sim::SetDword(kRun, "vendortray", 1);
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegValuesByValue, std::string(kRun) + "\\Vendor*"));
    EXPECT_EQ(
        (Strings{std::string(kRunItem) + "VENDOR AGENT", std::string(kRunItem) + "VENDORTRAY"}),
        Found());
}

TEST_F(RegistryDiscoveryTest, PatternOverAMissingKeyAddsTheEntryTextItself) {
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegValuesByValue, std::string(kRun) + "\\Vendor*"));
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegKeysByValue, "HKEY_LOCAL_MACHINE\\Software\\V?"));
    EXPECT_EQ((Strings{std::string(kRunItem) + "VENDOR*", "HKEY_LOCAL_MACHINE\\SOFTWARE\\V?"}),
              Found());
}

TEST_F(RegistryDiscoveryTest, StarOverAKeyWithADefaultValueAddsTheDefaultValueItem) {
    const char* key = "HKEY_LOCAL_MACHINE\\Software\\Vendor";
    sim::SetString(key, "Path", "C:\\Vendor");
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegValuesByValue, std::string(key) + "\\*"));
    EXPECT_EQ(Strings{"HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\PATH"}, Found());

    sim::SetDefault(key, "Vendor Suite");
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegValuesByValue, std::string(key) + "\\*"));
    EXPECT_EQ((Strings{"HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\",
                       "HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\PATH"}),
              Found());
}

TEST_F(RegistryDiscoveryTest, KeyNamePatternAddsMatchingSubkeysOnly) {
    sim::AddKey("HKEY_LOCAL_MACHINE\\Software\\Vendor");
    sim::AddKey("HKEY_LOCAL_MACHINE\\Software\\vendor labs\\Deeper");
    sim::AddKey("HKEY_LOCAL_MACHINE\\Software\\Other");
    sim::SetString("HKEY_LOCAL_MACHINE\\Software", "VendorValue", "not a key");
    EXPECT_EQ(0u,
              Find(&CUninstallEngine::FindRegKeysByValue, "HKEY_LOCAL_MACHINE\\Software\\Vendor*"));
    EXPECT_EQ((Strings{"HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR",
                       "HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR LABS"}),
              Found());
}

TEST_F(RegistryDiscoveryTest, WildcardInTheKeyPathFailsTheEntry) {
    sim::SetString("HKEY_LOCAL_MACHINE\\Software\\Vendor", "Path", "C:\\Vendor");
    const char* entry = "HKEY_LOCAL_MACHINE\\Software\\Vend*\\Path";
    EXPECT_EQ(13u, Find(&CUninstallEngine::FindRegValuesByValue, entry));
    EXPECT_EQ(13u, Find(&CUninstallEngine::FindRegKeysByValue, entry));
    EXPECT_EQ(13u, Find(&CUninstallEngine::FindRegValueByReference, entry));
    EXPECT_EQ(13u, Find(&CUninstallEngine::FindRegValuesByValue, ""));
    EXPECT_TRUE(Found().empty());
}

TEST_F(RegistryDiscoveryTest, ReferenceAddsTheStoredPathExactlyAsWritten) {
    const char* key = "HKEY_LOCAL_MACHINE\\Software\\Vendor";
    sim::SetString(key, "InstallPath", "C:\\Program Files\\Vendor");
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegValueByReference,
                       "hkey_local_machine\\software\\vendor\\installpath"));
    EXPECT_EQ(Strings{"C:\\Program Files\\Vendor"}, Found());
}

TEST_F(RegistryDiscoveryTest, ReferenceToAMissingOrEmptyValueAddsNothing) {
    const char* key = "HKEY_LOCAL_MACHINE\\Software\\Vendor";
    sim::SetString(key, "Empty", "");
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegValueByReference,
                       "HKEY_LOCAL_MACHINE\\Software\\Vendor\\Missing"));
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegValueByReference,
                       "HKEY_LOCAL_MACHINE\\Software\\Absent\\Missing"));
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegValueByReference,
                       "HKEY_LOCAL_MACHINE\\Software\\Vendor\\Empty"));
    EXPECT_TRUE(Found().empty());
}

TEST_F(RegistryDiscoveryTest, ReferenceToANonStringValueFailsTheEntry) {
    sim::SetDword("HKEY_LOCAL_MACHINE\\Software\\Vendor", "Count", 3);
    sim::SetExpandString("HKEY_LOCAL_MACHINE\\Software\\Vendor", "Data", "%TEMP%\\x");
    EXPECT_EQ(13u, Find(&CUninstallEngine::FindRegValueByReference,
                        "HKEY_LOCAL_MACHINE\\Software\\Vendor\\Count"));
    EXPECT_TRUE(Found().empty());
}

TEST_F(RegistryDiscoveryTest, ReferenceToAStringWithoutTerminatorReadsOnlyItsBytes) {
    sim::SetValue("HKEY_LOCAL_MACHINE\\Software\\Vendor", "Path", REG_SZ, "C:\\Vendor");
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegValueByReference,
                       "HKEY_LOCAL_MACHINE\\Software\\Vendor\\Path"));
    EXPECT_EQ(Strings{"C:\\Vendor"}, Found());
}

TEST_F(RegistryDiscoveryTest, ValueDataMatchAddsValuesWhoseStringMatches) {
    const char* key = "HKEY_LOCAL_MACHINE\\Software\\Shared";
    sim::SetString(key, "App", "C:\\Program Files\\Vendor\\app.exe");
    sim::SetString(key, "Tool", "C:\\Program Files\\Other\\tool.exe");
    sim::SetDefault(key, "C:\\Program Files\\Vendor");
    // A value name may itself be a path; its item is taken apart by the key it came from.
    sim::SetString(key, "C:\\Vendor\\lib.dll", "C:\\Program Files\\Vendor\\lib.dll");
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegValuesByDataMatch,
                       Fields({std::string(key) + "\\*", "C:\\Program Files\\Vendor*"})));
    EXPECT_EQ((Strings{"HKEY_LOCAL_MACHINE\\SOFTWARE\\SHARED\\",
                       "HKEY_LOCAL_MACHINE\\SOFTWARE\\SHARED\\APP",
                       "HKEY_LOCAL_MACHINE\\SOFTWARE\\SHARED\\C:\\VENDOR\\LIB.DLL"}),
              Found());
}

TEST_F(RegistryDiscoveryTest, ValueDataMatchFailsOnANonStringCandidateAfterEarlierAdds) {
    const char* key = "HKEY_LOCAL_MACHINE\\Software\\Vendor";
    sim::SetDword(key, "B_Count", 1);
    sim::SetString(key, "A_Path", "C:\\Vendor");
    sim::SetString(key, "C_Path", "C:\\Vendor\\bin");
    EXPECT_EQ(13u, Find(&CUninstallEngine::FindRegValuesByDataMatch,
                        Fields({std::string(key) + "\\*", "C:\\VENDOR*"})));
    EXPECT_EQ(Strings{"HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\A_PATH"}, Found());
}

TEST_F(RegistryDiscoveryTest, DataMatchPassesOverCandidatesAlreadyFound) {
    const char* key = "HKEY_LOCAL_MACHINE\\Software\\Vendor";
    sim::SetDword(key, "Count", 1);
    sim::SetString(key, "Path", "C:\\Vendor");
    found.Add("HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\COUNT");
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegValuesByDataMatch,
                       Fields({std::string(key) + "\\*", "C:\\VENDOR"})));
    EXPECT_EQ((Strings{"HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\COUNT",
                       "HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\PATH"}),
              Found());
}

TEST_F(RegistryDiscoveryTest, DataMatchEntriesWithMissingOrWildcardFieldsFail) {
    sim::SetString(kUninstall, "Path", "x");
    EXPECT_EQ(13u, Find(&CUninstallEngine::FindRegValuesByDataMatch, std::string(kUninstall)));
    EXPECT_EQ(13u, Find(&CUninstallEngine::FindRegKeysByDataMatch,
                        Fields({std::string(kUninstall) + "\\*", "DisplayName"})));
    EXPECT_EQ(13u, Find(&CUninstallEngine::FindRegKeysByDataMatch,
                        Fields({std::string(kUninstall) + "\\*", "Display*", "Vendor*"})));
    // A wildcard in the key path fails the inner resolution, which fails the entry with 13.
    EXPECT_EQ(13u, Find(&CUninstallEngine::FindRegValuesByDataMatch,
                        Fields({"HKEY_LOCAL_MACHINE\\Soft*\\Vendor\\*", "x"})));
    EXPECT_TRUE(Found().empty());
}

TEST_F(RegistryDiscoveryTest, KeyDataMatchFindsUninstallKeysByDisplayName) {
    sim::SetString((std::string(kUninstall) + "\\VendorAV").c_str(), "DisplayName",
                   "Vendor Antivirus 7");
    sim::SetString((std::string(kUninstall) + "\\{1234}").c_str(), "DisplayName", "vendor agent");
    sim::SetString((std::string(kUninstall) + "\\Other").c_str(), "DisplayName", "Other Product");
    sim::SetString((std::string(kUninstall) + "\\NoName").c_str(), "Publisher", "Vendor");
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegKeysByDataMatch,
                       Fields({std::string(kUninstall) + "\\*", "DisplayName", "Vendor*"})));
    EXPECT_EQ(
        (Strings{std::string(kUninstallItem) + "VENDORAV", std::string(kUninstallItem) + "{1234}"}),
        Found());
}

TEST_F(RegistryDiscoveryTest, KeyDataMatchWithAnEmptyValueNameReadsTheDefaultValue) {
    sim::SetDefault("HKEY_LOCAL_MACHINE\\Software\\Classes\\VendorDoc", "Vendor Document");
    sim::SetDefault("HKEY_LOCAL_MACHINE\\Software\\Classes\\VendorTxt", "Text");
    sim::SetString("HKEY_LOCAL_MACHINE\\Software\\Classes", "VendorDoc", "Vendor Document");
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegKeysByDataMatch,
                       Fields({"HKEY_LOCAL_MACHINE\\Software\\Classes\\Vendor*", "", "Vendor*"})));
    EXPECT_EQ(Strings{"HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\VENDORDOC"}, Found());
}

TEST_F(RegistryDiscoveryTest, KeyDataMatchFailsOnANonStringValue) {
    sim::SetString((std::string(kUninstall) + "\\A").c_str(), "DisplayName", "Vendor");
    sim::SetDword((std::string(kUninstall) + "\\B").c_str(), "DisplayName", 7);
    EXPECT_EQ(13u, Find(&CUninstallEngine::FindRegKeysByDataMatch,
                        Fields({std::string(kUninstall) + "\\*", "DisplayName", "Vendor*"})));
    EXPECT_EQ(Strings{std::string(kUninstallItem) + "A"}, Found());
}

TEST_F(RegistryDiscoveryTest, NameThatDoesNotFitEndsTheEnumeration) {
    // 'HKEY_LOCAL_MACHINE\SOFTWARE\' + 200 bytes + '\' leaves 32 bytes: names of up to 31.
    std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\" + std::string(200, 'K');
    std::string fits = "V" + std::string(30, 'F');
    std::string tooLong = "V" + std::string(31, 'L');
    sim::SetString(key.c_str(), "V1", "x");
    sim::SetString(key.c_str(), fits.c_str(), "x");
    sim::SetString(key.c_str(), tooLong.c_str(), "x");
    sim::SetString(key.c_str(), "V3", "x");
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegValuesByValue, key + "\\V*"));
    EXPECT_EQ((Strings{key + "\\V1", key + "\\" + fits}), Found());
}

TEST_F(RegistryDiscoveryTest, KeyPathThatLeavesNoRoomForANameIsNotEnumerated) {
    // Key texts of 258 and 259 bytes: behind their prefixes (with the '\') the 261-byte buffer
    // has 2 bytes (a one-letter name) and 1 byte (no name at all) left.
    std::string parent = "HKEY_LOCAL_MACHINE\\" + std::string(200, 'P') + "\\";
    std::string roomy = parent + std::string(38, 'A');
    std::string full = parent + std::string(39, 'B');
    for (const std::string& key : {roomy, full}) {
        sim::SetDefault(key.c_str(), "x");
        sim::SetString(key.c_str(), "V", "x");
    }
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegValuesByValue, roomy + "\\*"));
    EXPECT_EQ((Strings{roomy + "\\", roomy + "\\V"}), Found());
    EXPECT_EQ(0u, Find(&CUninstallEngine::FindRegValuesByValue, full + "\\*"));
    EXPECT_EQ(2u, found.Count());
}
