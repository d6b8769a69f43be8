// Registry behaviour the program relies on: keys and typed values, names without case,
// enumeration order, handle lifetime and the shell's registry shortcuts.
#include "contract.h"

#include <shlwapi.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const char kRoot[] = "Software\\KelvaneContract";

// Each test process works in its own key below the contract key: CTest runs tests side by side.
const std::string& BasePath() {
    static const std::string path =
        std::string(kRoot) + "\\" + std::to_string(GetCurrentProcessId());
    return path;
}

struct Read {
    LONG status;
    DWORD type;
    std::string data;
};

// Reads a value the way careful code does: size first, then the data.
Read Query(HKEY key, const char* name) {
    Read read = {0, REG_NONE, ""};
    DWORD size = 0;
    read.status = RegQueryValueExA(key, name, nullptr, &read.type, nullptr, &size);
    if (read.status != ERROR_SUCCESS)
        return read;
    std::vector<BYTE> buffer(size + 1);
    read.status = RegQueryValueExA(key, name, nullptr, &read.type, buffer.data(), &size);
    read.data.assign(reinterpret_cast<const char*>(buffer.data()), size);
    return read;
}

std::string Sz(const char* text) {
    return std::string(text) + '\0';
}

class RegistryContract : public contract::Test {
protected:
    void SetUp() override {
        contract::Test::SetUp();
        SHDeleteKeyA(HKEY_CURRENT_USER, Base());
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, Base(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &base_, nullptr));
    }
    void TearDown() override {
        RegCloseKey(base_);
        SHDeleteKeyA(HKEY_CURRENT_USER, Base());
        SHDeleteEmptyKeyA(HKEY_CURRENT_USER, kRoot); // stays while another process uses it
    }

    static const char* Base() { return BasePath().c_str(); }
    // A path below this test's key, for the calls that take root and sub key path.
    static std::string Under(const char* rest) { return BasePath() + "\\" + rest; }

    HKEY Create(const char* subKey, DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(base_, subKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, disposition));
        return key;
    }
    void SetSz(HKEY key, const char* name, const char* text) {
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                 static_cast<DWORD>(strlen(text) + 1)));
    }
    std::vector<std::string> SubKeyNames(HKEY key) {
        std::vector<std::string> names;
        char name[64];
        DWORD index = 0;
        LONG status;
        while ((status = RegEnumKeyA(key, index++, name, sizeof(name))) == ERROR_SUCCESS)
            names.push_back(name);
        EXPECT_EQ(ERROR_NO_MORE_ITEMS, status);
        return names;
    }
    std::vector<std::string> ValueNames(HKEY key) {
        std::vector<std::string> names;
        char name[64];
        DWORD index = 0;
        for (;;) {
            DWORD size = sizeof(name);
            LONG status =
                RegEnumValueA(key, index++, name, &size, nullptr, nullptr, nullptr, nullptr);
            if (status != ERROR_SUCCESS) {
                EXPECT_EQ(ERROR_NO_MORE_ITEMS, status);
                break;
            }
            EXPECT_EQ(strlen(name), size);
            names.push_back(name);
        }
        return names;
    }

    HKEY base_ = nullptr;
};

TEST_F(RegistryContract, KeyNamesIgnoreCaseAndKeepTheirSpelling) {
    DWORD disposition = 0;
    HKEY created = Create("MixedCase\\Inner", &disposition);
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    RegCloseKey(created);

    HKEY again = Create("MIXEDCASE\\inner", &disposition);
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    RegCloseKey(again);

    HKEY opened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(base_, "mixedcase\\", 0, KEY_READ, &opened));
    EXPECT_EQ(std::vector<std::string>{"Inner"}, SubKeyNames(opened));
    RegCloseKey(opened);
    EXPECT_EQ(std::vector<std::string>{"MixedCase"}, SubKeyNames(base_));
}

TEST_F(RegistryContract, MissingKeysAndValuesAreNotFound) {
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(base_, "Absent", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(base_, "Absent\\Deeper", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Query(base_, "Absent").status);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(base_, "Absent"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(base_, "Absent"));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExA(nullptr, "Software", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_BAD_PATHNAME,
              RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, &key));
}

TEST_F(RegistryContract, TypedValuesRoundTrip) {
    SetSz(base_, "Text", "C:\\Program Files\\Vendor");
    const char expand[] = "%SystemRoot%\\vendor";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(base_, "Expand", 0, REG_EXPAND_SZ,
                                            reinterpret_cast<const BYTE*>(expand), sizeof(expand)));
    const DWORD number = 0x01020304;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(base_, "Number", 0, REG_DWORD,
                                            reinterpret_cast<const BYTE*>(&number), 4));
    const BYTE bytes[] = {0, 1, 0xFF};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(base_, "Bytes", 0, REG_BINARY, bytes, 3));
    const char multi[] = "one\0two\0";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(base_, "Multi", 0, REG_MULTI_SZ,
                                            reinterpret_cast<const BYTE*>(multi), sizeof(multi)));

    Read text = Query(base_, "text");
    EXPECT_EQ(ERROR_SUCCESS, text.status);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), text.type);
    EXPECT_EQ(Sz("C:\\Program Files\\Vendor"), text.data);
    Read expanded = Query(base_, "Expand");
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), expanded.type);
    EXPECT_EQ(std::string(expand, sizeof(expand)), expanded.data); // not expanded here
    Read dword = Query(base_, "Number");
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), dword.type);
    EXPECT_EQ(std::string("\x04\x03\x02\x01", 4), dword.data);
    Read binary = Query(base_, "Bytes");
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), binary.type);
    EXPECT_EQ(std::string("\0\1\xFF", 3), binary.data);
    Read list = Query(base_, "Multi");
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), list.type);
    EXPECT_EQ(std::string(multi, sizeof(multi)), list.data);
}

TEST_F(RegistryContract, QueryWithSmallBufferAsksForMore) {
    SetSz(base_, "Text", "abcdef");
    char buffer[4] = {};
    DWORD size = sizeof(buffer);
    DWORD type = 0;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(base_, "Text", nullptr, &type,
                                                reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_EQ(7u, size);
}

TEST_F(RegistryContract, ValueNamesIgnoreCaseAndKeepSpellingAndPlace) {
    SetSz(base_, "Path", "one");
    SetSz(base_, "Other", "x");
    SetSz(base_, "PATH", "two");
    // Setting it again keeps its place in creation order (Wine lists values sorted instead).
    EXPECT_WINDOWS_OR_WINE(ValueNames(base_), (std::vector<std::string>{"Path", "Other"}),
                           (std::vector<std::string>{"Other", "Path"}));
    EXPECT_EQ(Sz("two"), Query(base_, "path").data);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(base_, "pAtH"));
    EXPECT_EQ(std::vector<std::string>{"Other"}, ValueNames(base_));
}

TEST_F(RegistryContract, DefaultValueIsTheUnnamedOne) {
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Query(base_, nullptr).status);
    SetSz(base_, "", "default text");
    Read read = Query(base_, nullptr);
    EXPECT_EQ(ERROR_SUCCESS, read.status);
    EXPECT_EQ(Sz("default text"), read.data);
    EXPECT_EQ(std::vector<std::string>{""}, ValueNames(base_));

    DWORD values = 0, subKeys = 7;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyA(base_, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                               &values, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(1u, values);
    EXPECT_EQ(0u, subKeys);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(base_, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Query(base_, "").status);
}

TEST_F(RegistryContract, SubKeysEnumerateSortedWithoutCase) {
    for (const char* name : {"delta", "Bravo", "alpha", "Charlie"})
        RegCloseKey(Create(name));
    const std::vector<std::string> sorted = {"alpha", "Bravo", "Charlie", "delta"};
    EXPECT_EQ(sorted, SubKeyNames(base_));

    char name[64];
    DWORD size = sizeof(name);
    EXPECT_EQ(ERROR_SUCCESS,
              RegEnumKeyExA(base_, 1, name, &size, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ("Bravo", name);
    EXPECT_EQ(5u, size);
    size = sizeof(name);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumKeyExA(base_, 4, name, &size, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegistryContract, SubKeysSortByUpperCaseNames) {
    for (const char* name : {"_under", "Zeta", "alpha", "[x"})
        RegCloseKey(Create(name));
    const std::vector<std::string> names = SubKeyNames(base_);
    if (KV_WINE_DIFFERS("Wine sorts sub keys by lower-case names: '_' and '[' before letters")) {
        EXPECT_EQ((std::vector<std::string>{"[x", "_under", "alpha", "Zeta"}), names);
        return;
    }
    EXPECT_EQ((std::vector<std::string>{"alpha", "Zeta", "[x", "_under"}), names);
}

TEST_F(RegistryContract, SubKeyNameTooLongForTheBufferAsksForMore) {
    RegCloseKey(Create("LongerName"));
    char name[5];
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyA(base_, 0, name, sizeof(name)));
    DWORD size = sizeof(name);
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumKeyExA(base_, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegistryContract, ValuesEnumerateInCreationOrder) {
    for (const char* value : {"zulu", "Alpha", "mike"})
        SetSz(base_, value, "x");
    const std::vector<std::string> names = ValueNames(base_);
    if (KV_WINE_DIFFERS("Wine enumerates values sorted by name, not in creation order")) {
        EXPECT_EQ((std::vector<std::string>{"Alpha", "mike", "zulu"}), names);
        return;
    }
    EXPECT_EQ((std::vector<std::string>{"zulu", "Alpha", "mike"}), names);
}

TEST_F(RegistryContract, ValueEnumerationReportsNameTypeAndData) {
    SetSz(base_, "LongValueName", "data");
    char name[64];
    DWORD nameSize = 5;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumValueA(base_, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr));

    nameSize = sizeof(name);
    DWORD type = 0;
    BYTE data[2];
    DWORD dataSize = sizeof(data);
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumValueA(base_, 0, name, &nameSize, nullptr, &type, data, &dataSize));
    EXPECT_EQ(5u, dataSize);

    BYTE enough[16];
    nameSize = sizeof(name);
    dataSize = sizeof(enough);
    EXPECT_EQ(ERROR_SUCCESS,
              RegEnumValueA(base_, 0, name, &nameSize, nullptr, &type, enough, &dataSize));
    EXPECT_STREQ("LongValueName", name);
    EXPECT_EQ(13u, nameSize);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(5u, dataSize);
    EXPECT_STREQ("data", reinterpret_cast<const char*>(enough));
    nameSize = sizeof(name);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumValueA(base_, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegistryContract, InfoReportsCountsAndLongestNames) {
    RegCloseKey(Create("Sub"));
    RegCloseKey(Create("LongerSub"));
    SetSz(base_, "Name", "1234567");
    SetSz(base_, "LongestName", "1");
    DWORD subKeys = 0, maxSub = 0, values = 0, maxName = 0, maxData = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyA(base_, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr,
                               &values, &maxName, &maxData, nullptr, nullptr));
    EXPECT_EQ(2u, subKeys);
    EXPECT_EQ(9u, maxSub);
    EXPECT_EQ(2u, values);
    EXPECT_EQ(11u, maxName);
    EXPECT_EQ(16u, maxData); // strings are stored as UTF-16: eight characters take 16 bytes
}

TEST_F(RegistryContract, KeyWithSubKeysCannotBeDeleted) {
    RegCloseKey(Create("Parent\\Child"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(base_, "Parent"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(base_, "parent\\CHILD"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(base_, "Parent"));
    EXPECT_TRUE(SubKeyNames(base_).empty());
}

TEST_F(RegistryContract, HandleOfADeletedKeyReportsIt) {
    HKEY doomed = Create("Doomed");
    SetSz(doomed, "Value", "x");
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(base_, "Doomed"));
    EXPECT_EQ(ERROR_KEY_DELETED, Query(doomed, "Value").status);
    const char text[] = "y";
    EXPECT_EQ(ERROR_KEY_DELETED,
              RegSetValueExA(doomed, "Value", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 2));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(doomed));
}

TEST_F(RegistryContract, HandleOpenedForReadingCannotWrite) {
    HKEY reader = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, Base(), 0, KEY_READ, &reader));
    const char text[] = "x";
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegSetValueExA(reader, "Value", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 2));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(reader, "Value"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(reader));
}

// The shell's shortcuts take the root and a sub key path in one call.
using ShellRegistryContract = RegistryContract;

TEST_F(ShellRegistryContract, GetValueReportsTypeAndSizeBeforeTheData) {
    SetSz(base_, "Path", "C:\\Vendor");
    DWORD type = 0, size = 0;
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              SHGetValueA(HKEY_CURRENT_USER, Base(), "path", &type, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(10u, size); // the terminator included

    char small[4];
    size = sizeof(small);
    EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA),
              SHGetValueA(HKEY_CURRENT_USER, Base(), "Path", &type, small, &size));
    EXPECT_EQ(10u, size);

    std::vector<char> data(size);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              SHGetValueA(HKEY_CURRENT_USER, Base(), "Path", &type, data.data(), &size));
    EXPECT_STREQ("C:\\Vendor", data.data());

    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              SHGetValueA(HKEY_CURRENT_USER, Base(), "Absent", &type, nullptr, &size));
    EXPECT_EQ(
        static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
        SHGetValueA(HKEY_CURRENT_USER, Under("Absent").c_str(), "Path", &type, nullptr, &size));
}

TEST_F(ShellRegistryContract, GetValueExpandsExpandableStrings) {
    const char expand[] = "%SystemRoot%\\vendor";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(base_, "Expand", 0, REG_EXPAND_SZ,
                                            reinterpret_cast<const BYTE*>(expand), sizeof(expand)));
    char windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, sizeof(windows)), 0u);
    const std::string wanted = std::string(windows) + "\\vendor";

    DWORD type = 0, size = 0;
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              SHGetValueA(HKEY_CURRENT_USER, Base(), "Expand", &type, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_GE(size, wanted.size() + 1);
    std::vector<char> data(size);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              SHGetValueA(HKEY_CURRENT_USER, Base(), "Expand", &type, data.data(), &size));
    EXPECT_EQ(0, lstrcmpiA(wanted.c_str(), data.data())) << data.data();
}

TEST_F(ShellRegistryContract, SetValueCreatesTheKeyPath) {
    const char text[] = "v";
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              SHSetValueA(HKEY_CURRENT_USER, Under("New\\Deeper").c_str(), "Name", REG_SZ, text,
                          sizeof(text)));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(base_, "New\\Deeper", 0, KEY_READ, &key));
    EXPECT_EQ(Sz("v"), Query(key, "Name").data);
    RegCloseKey(key);
}

TEST_F(ShellRegistryContract, DeleteValueTakesTrailingSeparatorAndEmptyName) {
    HKEY key = Create("Vendor");
    SetSz(key, "", "default");
    SetSz(key, "Path", "p");
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              SHDeleteValueA(HKEY_CURRENT_USER, Under("Vendor\\").c_str(), ""));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Query(key, nullptr).status);
    EXPECT_EQ(ERROR_SUCCESS, Query(key, "Path").status);

    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              SHDeleteValueA(HKEY_CURRENT_USER, Under("Vendor").c_str(), "PATH"));
    EXPECT_TRUE(ValueNames(key).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              SHDeleteValueA(HKEY_CURRENT_USER, Under("Vendor").c_str(), "Path"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              SHDeleteValueA(HKEY_CURRENT_USER, Under("Absent").c_str(), "Path"));
    RegCloseKey(key);
}

TEST_F(ShellRegistryContract, DeleteEmptyKeyKeepsAKeyWithSubKeys) {
    RegCloseKey(Create("Vendor\\Sub"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_KEY_HAS_CHILDREN),
              SHDeleteEmptyKeyA(HKEY_CURRENT_USER, Under("Vendor").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              SHDeleteEmptyKeyA(HKEY_CURRENT_USER, Under("Vendor\\Sub").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              SHDeleteEmptyKeyA(HKEY_CURRENT_USER, Under("Vendor").c_str()));
    EXPECT_TRUE(SubKeyNames(base_).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              SHDeleteEmptyKeyA(HKEY_CURRENT_USER, Under("Vendor").c_str()));
}

TEST_F(ShellRegistryContract, DeleteEmptyKeyKeepsAKeyWithValues) {
    HKEY key = Create("Vendor");
    SetSz(key, "Left", "x");
    RegCloseKey(key);
    DWORD result = SHDeleteEmptyKeyA(HKEY_CURRENT_USER, Under("Vendor").c_str());
    if (KV_WINE_DIFFERS("Wine's SHDeleteEmptyKeyA deletes a key that still holds values")) {
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), result);
        EXPECT_TRUE(SubKeyNames(base_).empty());
        return;
    }
    EXPECT_EQ(static_cast<DWORD>(ERROR_KEY_HAS_CHILDREN), result);
    EXPECT_EQ(std::vector<std::string>{"Vendor"}, SubKeyNames(base_));
}

TEST_F(ShellRegistryContract, DeleteKeyRemovesTheWholeTree) {
    HKEY key = Create("Vendor\\A\\B");
    SetSz(key, "V", "x");
    RegCloseKey(key);
    RegCloseKey(Create("Vendor\\C"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              SHDeleteKeyA(HKEY_CURRENT_USER, Under("Vendor").c_str()));
    EXPECT_TRUE(SubKeyNames(base_).empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              SHDeleteKeyA(HKEY_CURRENT_USER, Under("Vendor").c_str()));
}

} // namespace
