// Registry discovery: REG_VALUE and REG_KEY entries resolved against a simulated registry.
#include "discovery_fixture.h"

#include <string>

namespace {

const auto kValues = &CUninstallEngine::FindRegValuesByValue;
const auto kKeys = &CUninstallEngine::FindRegKeysByValue;
const auto kReference = &CUninstallEngine::FindRegValueByReference;
const auto kValueData = &CUninstallEngine::FindRegValuesByDataMatch;
const auto kKeyData = &CUninstallEngine::FindRegKeysByDataMatch;

const std::string kVendor = "HKEY_LOCAL_MACHINE\\Software\\Vendor";
const std::string kVendorItem = "HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\";
const std::string kRun = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kRunItem =
    "HKEY_CURRENT_USER\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN\\";
const std::string kUninstall =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

} // namespace

class RegistryDiscoveryTest : public DiscoveryTest {};

TEST_F(RegistryDiscoveryTest, LiteralEntriesAreAddedWhetherOrNotTheyExist) {
    EXPECT_EQ(0u, Find(kValues, kVendor + "\\InstallPath"));
    sim::SetString(kVendor.c_str(), "InstallPath", "C:\\Vendor");
    EXPECT_EQ(0u, Find(kValues, kVendor + "\\InstallPath"));
    EXPECT_EQ(0u, Find(kKeys, "HKEY_LOCAL_MACHINE\\Software\\Gone"));
    EXPECT_EQ((Strings{"HKEY_LOCAL_MACHINE\\SOFTWARE\\GONE", kVendorItem + "INSTALLPATH"}),
              Found());
}

TEST_F(RegistryDiscoveryTest, NamePatternsAddMatchingNamesOrTheTextOverAMissingKey) {
    sim::SetString(kRun.c_str(), "Vendor Agent", "agent.exe");
    sim::SetString(kRun.c_str(), "Other", "other.exe");
    sim::SetDword(kRun.c_str(), "vendortray", 1);
    sim::AddKey((kVendor + " Labs\\Deeper").c_str());
    sim::AddKey("HKEY_LOCAL_MACHINE\\Software\\Other");
    EXPECT_EQ(0u, Find(kValues, kRun + "\\Vendor*"));
    EXPECT_EQ(0u, Find(kKeys, "HKEY_LOCAL_MACHINE\\Software\\Vendor*"));
    EXPECT_EQ(0u, Find(kValues, "HKEY_CURRENT_USER\\Gone\\Vendor*"));
    EXPECT_EQ((Strings{"HKEY_CURRENT_USER\\GONE\\VENDOR*", kRunItem + "VENDOR AGENT",
                       kRunItem + "VENDORTRAY", "HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR LABS"}),
              Found());
}

TEST_F(RegistryDiscoveryTest, StarAddsTheDefaultValueAsAnItemEndingInASeparator) {
    sim::SetString(kVendor.c_str(), "Path", "C:\\Vendor");
    EXPECT_EQ(0u, Find(kValues, kVendor + "\\*"));
    EXPECT_EQ(Strings{kVendorItem + "PATH"}, Found());
    sim::SetDefault(kVendor.c_str(), "Vendor Suite");
    EXPECT_EQ(0u, Find(kValues, kVendor + "\\*"));
    EXPECT_EQ((Strings{kVendorItem, kVendorItem + "PATH"}), Found());
}

TEST_F(RegistryDiscoveryTest, WildcardInTheKeyPathOrEmptyDataFailsTheEntry) {
    sim::SetString(kVendor.c_str(), "Path", "C:\\Vendor");
    for (auto operation : {kValues, kKeys, kReference})
        EXPECT_EQ(13u, Find(operation, "HKEY_LOCAL_MACHINE\\Software\\Vend*\\Path"));
    EXPECT_EQ(13u, Find(kValues, ""));
    EXPECT_EQ(13u, Find(kValueData, Fields({"HKEY_LOCAL_MACHINE\\Soft*\\Vendor\\*", "x"})));
    EXPECT_TRUE(Found().empty());
}

TEST_F(RegistryDiscoveryTest, ReferenceAddsTheStoredStringInItsCanonicalText) {
    sim::SetString(kVendor.c_str(), "InstallPath", "C:\\Program Files\\Vendor\\");
    // Stored without a terminator: only the stored bytes are taken.
    sim::SetValue(kVendor.c_str(), "Raw", REG_SZ, "C:\\Raw");
    sim::SetString(kVendor.c_str(), "Quoted", "\"c:/quoted//dir\"");
    sim::SetString(kVendor.c_str(), "Separator", "\\");
    EXPECT_EQ(0u, Find(kReference, "hkey_local_machine\\software\\vendor\\installpath"));
    EXPECT_EQ(0u, Find(kReference, kVendor + "\\Raw"));
    EXPECT_EQ(0u, Find(kReference, kVendor + "\\Quoted"));
    EXPECT_EQ(0u, Find(kReference, kVendor + "\\Separator")); // nothing left to name
    EXPECT_EQ((Strings{"C:\\PROGRAM FILES\\VENDOR", "C:\\QUOTED\\DIR", "C:\\RAW"}), Found());
}

TEST_F(RegistryDiscoveryTest, ReferenceToAMissingOrEmptyValueAddsNothingAndNonStringFails) {
    sim::SetString(kVendor.c_str(), "Empty", "");
    sim::SetDword(kVendor.c_str(), "Count", 3);
    EXPECT_EQ(0u, Find(kReference, kVendor + "\\Missing"));
    EXPECT_EQ(0u, Find(kReference, "HKEY_LOCAL_MACHINE\\Software\\Absent\\Missing"));
    EXPECT_EQ(0u, Find(kReference, kVendor + "\\Empty"));
    EXPECT_EQ(13u, Find(kReference, kVendor + "\\Count"));
    EXPECT_TRUE(Found().empty());
}

TEST_F(RegistryDiscoveryTest, ValueDataMatchReadsEachCandidateByTheKeyItCameFrom) {
    const std::string key = "HKEY_LOCAL_MACHINE\\Software\\Shared";
    sim::SetString(key.c_str(), "App", "C:\\Program Files\\Vendor\\app.exe");
    sim::SetString(key.c_str(), "Tool", "C:\\Program Files\\Other\\tool.exe");
    sim::SetDefault(key.c_str(), "C:\\Program Files\\Vendor");
    // A value name may itself be a path; it must not be split again at its separators.
    sim::SetString(key.c_str(), "C:\\Vendor\\lib.dll", "C:\\Program Files\\Vendor\\lib.dll");
    EXPECT_EQ(0u, Find(kValueData, Fields({key + "\\*", "C:\\Program Files\\Vendor*"})));
    const std::string item = "HKEY_LOCAL_MACHINE\\SOFTWARE\\SHARED\\";
    EXPECT_EQ((Strings{item, item + "APP", item + "C:\\VENDOR\\LIB.DLL"}), Found());
}

TEST_F(RegistryDiscoveryTest, NonStringCandidateFailsTheEntryButEarlierAddsStay) {
    sim::SetDword(kVendor.c_str(), "B_Count", 1);
    sim::SetString(kVendor.c_str(), "A_Path", "C:\\Vendor");
    sim::SetString(kVendor.c_str(), "C_Path", "C:\\Vendor\\bin");
    EXPECT_EQ(13u, Find(kValueData, Fields({kVendor + "\\*", "C:\\VENDOR*"})));
    EXPECT_EQ(Strings{kVendorItem + "A_PATH"}, Found());
}

TEST_F(RegistryDiscoveryTest, CandidateAlreadyFoundIsNotReadAgain) {
    sim::SetDword(kVendor.c_str(), "Count", 1);
    sim::SetString(kVendor.c_str(), "Path", "C:\\Vendor");
    found.Add((kVendorItem + "COUNT").c_str());
    EXPECT_EQ(0u, Find(kValueData, Fields({kVendor + "\\*", "C:\\VENDOR"})));
    EXPECT_EQ((Strings{kVendorItem + "COUNT", kVendorItem + "PATH"}), Found());
}

TEST_F(RegistryDiscoveryTest, DataMatchWithAMissingOrWildcardFieldFails) {
    sim::SetString((kUninstall + "\\A").c_str(), "DisplayName", "Vendor");
    EXPECT_EQ(13u, Find(kValueData, kUninstall + "\\A\\*"));
    EXPECT_EQ(13u, Find(kKeyData, Fields({kUninstall + "\\*", "DisplayName"})));
    EXPECT_EQ(13u, Find(kKeyData, Fields({kUninstall + "\\*", "Display*", "Vendor*"})));
    EXPECT_TRUE(Found().empty());
}

TEST_F(RegistryDiscoveryTest, KeyDataMatchFindsUninstallKeysByDisplayName) {
    sim::SetString((kUninstall + "\\VendorAV").c_str(), "DisplayName", "Vendor Antivirus 7");
    sim::SetString((kUninstall + "\\{1234}").c_str(), "DisplayName", "vendor agent");
    sim::SetString((kUninstall + "\\Other").c_str(), "DisplayName", "Other Product");
    sim::SetString((kUninstall + "\\NoName").c_str(), "Publisher", "Vendor");
    EXPECT_EQ(0u, Find(kKeyData, Fields({kUninstall + "\\*", "DisplayName", "Vendor*"})));
    const std::string item =
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\";
    EXPECT_EQ((Strings{item + "VENDORAV", item + "{1234}"}), Found());
}

// The value name joined to the candidate and split again: Windows Installer keeps a product's
// name one key below the product's own key.
TEST_F(RegistryDiscoveryTest, KeyDataMatchValueNameMayNameASubkey) {
    const std::string products = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion"
                                 "\\Installer\\UserData\\S-1-5-18\\Products";
    sim::SetString((products + "\\A1B2\\InstallProperties").c_str(), "DisplayName",
                   "Vendor Antivirus");
    sim::SetString((products + "\\C3D4\\InstallProperties").c_str(), "DisplayName", "Other");
    // A value whose own name holds the separator is not what the field names.
    sim::SetString((products + "\\E5F6").c_str(), "InstallProperties\\DisplayName", "Vendor X");
    EXPECT_EQ(0u, Find(kKeyData,
                       Fields({products + "\\*", "InstallProperties\\DisplayName", "Vendor*"})));
    EXPECT_EQ(Strings{"HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\INSTALLER"
                      "\\USERDATA\\S-1-5-18\\PRODUCTS\\A1B2"},
              Found());
}

TEST_F(RegistryDiscoveryTest, KeyDataMatchWithAnEmptyValueNameReadsTheDefaultValue) {
    sim::SetDefault((kVendor + "Doc").c_str(), "Vendor Document");
    sim::SetDefault((kVendor + "Txt").c_str(), "Text");
    sim::SetString("HKEY_LOCAL_MACHINE\\Software", "VendorTxt", "Vendor Document");
    EXPECT_EQ(0u, Find(kKeyData, Fields({kVendor + "*", "", "Vendor*"})));
    EXPECT_EQ(Strings{"HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDORDOC"}, Found());
}

TEST_F(RegistryDiscoveryTest, NameThatDoesNotFitEndsTheEnumeration) {
    // 'HKEY_LOCAL_MACHINE\SOFTWARE\' + 200 bytes + '\' leaves 32 bytes: names of up to 31.
    std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\" + std::string(200, 'K');
    std::string fits = "V" + std::string(30, 'F');
    for (const std::string& name :
         {std::string("V1"), fits, "V" + std::string(31, 'L'), std::string("V3")})
        sim::SetString(key.c_str(), name.c_str(), "x");
    EXPECT_EQ(0u, Find(kValues, key + "\\V*"));
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
    EXPECT_EQ(0u, Find(kValues, roomy + "\\*"));
    EXPECT_EQ(0u, Find(kValues, full + "\\*"));
    EXPECT_EQ((Strings{roomy + "\\", roomy + "\\V"}), Found());
}
