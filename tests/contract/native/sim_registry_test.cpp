// The simulated registry's own controls: faults in every operation, keys that cannot be opened,
// the control API's view, handle lifetime and the environment behind expandable strings.
#include "contract.h"

#include "sim/sim.h"

#include <shlwapi.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

const char kVendor[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor";

using SimRegistry = contract::Test;

TEST_F(SimRegistry, EveryOperationCanBeMadeToFail) {
    sim::SetString(kVendor, "Path", "C:\\x");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", 0, KEY_ALL_ACCESS, &key));
    char name[64];
    DWORD size = sizeof(name);
    const BYTE data[] = "v";
    HKEY other = nullptr;
    const std::vector<std::pair<const char*, std::function<LONG()>>> calls = {
        {"RegOpenKeyExA",
         [&] { return RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &other); }},
        {"RegCreateKeyExA",
         [&] {
             return RegCreateKeyExA(key, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &other,
                                    nullptr);
         }},
        {"RegSetValueExA", [&] { return RegSetValueExA(key, "V", 0, REG_SZ, data, 2); }},
        {"RegQueryValueExA",
         [&] { return RegQueryValueExA(key, "Path", nullptr, nullptr, nullptr, &size); }},
        {"RegQueryInfoKeyA",
         [&] {
             return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr);
         }},
        {"RegEnumKeyA", [&] { return RegEnumKeyA(HKEY_LOCAL_MACHINE, 0, name, sizeof(name)); }},
        {"RegEnumKeyExA",
         [&] {
             size = sizeof(name);
             return RegEnumKeyExA(HKEY_LOCAL_MACHINE, 0, name, &size, nullptr, nullptr, nullptr,
                                  nullptr);
         }},
        {"RegEnumValueA",
         [&] {
             size = sizeof(name);
             return RegEnumValueA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
         }},
        {"RegDeleteValueA", [&] { return RegDeleteValueA(key, "Path"); }},
        {"RegDeleteKeyA", [&] { return RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor"); }},
        {"RegDeleteKeyExA",
         [&] { return RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", 0, 0); }},
        {"RegCloseKey", [&] { return RegCloseKey(key); }},
        {"SHGetValueA",
         [&] {
             return static_cast<LONG>(SHGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", "Path",
                                                  nullptr, nullptr, &size));
         }},
        {"SHSetValueA",
         [&] {
             return static_cast<LONG>(
                 SHSetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", "V", REG_SZ, data, 2));
         }},
        {"SHDeleteValueA",
         [&] {
             return static_cast<LONG>(
                 SHDeleteValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", "Path"));
         }},
        {"SHDeleteEmptyKeyA",
         [&] {
             return static_cast<LONG>(SHDeleteEmptyKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor"));
         }},
        {"SHDeleteKeyA",
         [&] { return static_cast<LONG>(SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor")); }},
    };
    for (const auto& call : calls) {
        sim::InjectFault(call.first, ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, call.second()) << call.first;
    }
    // Each fault was spent once and changed nothing.
    EXPECT_TRUE(sim::ValueExists(kVendor, "Path"));
    EXPECT_FALSE(sim::ValueExists(kVendor, "V"));
    EXPECT_FALSE(sim::KeyExists("HKLM\\SOFTWARE\\Vendor\\New"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

TEST_F(SimRegistry, FaultAfterSomeCallsHitsTheRightOne) {
    sim::SetString(kVendor, "A", "1");
    sim::SetString(kVendor, "B", "2");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", 0, KEY_READ, &key));
    sim::InjectFault("RegEnumValueA", ERROR_INVALID_DATA, 1);
    char name[8];
    DWORD size = sizeof(name);
    EXPECT_EQ(ERROR_SUCCESS,
              RegEnumValueA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
    size = sizeof(name);
    EXPECT_EQ(ERROR_INVALID_DATA,
              RegEnumValueA(key, 1, name, &size, nullptr, nullptr, nullptr, nullptr));
    size = sizeof(name);
    EXPECT_EQ(ERROR_SUCCESS,
              RegEnumValueA(key, 1, name, &size, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ("B", name);
    RegCloseKey(key);
}

TEST_F(SimRegistry, DeniedKeyCannotBeOpenedButIsListed) {
    sim::SetString("HKLM\\SOFTWARE\\Vendor\\Locked", "Path", "x");
    sim::AddKey("HKLM\\SOFTWARE\\Vendor\\Locked\\Inner");
    sim::DenyKeyAccess("HKLM\\SOFTWARE\\Vendor\\Locked");
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Locked", 0, KEY_READ, &key));
    DWORD size = 0;
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED),
              SHGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Locked", "Path", nullptr, nullptr,
                          &size));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED),
              SHDeleteValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Locked", "Path"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED),
              SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor"));
    EXPECT_TRUE(sim::ValueExists("HKLM\\SOFTWARE\\Vendor\\Locked", "Path"));

    // The parent still lists it, and what lies below it can be reached by its full path.
    EXPECT_EQ(std::vector<std::string>{"Locked"}, sim::SubKeys(kVendor));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Locked\\Inner", 0,
                                           KEY_READ, &key));
    RegCloseKey(key);
}

TEST_F(SimRegistry, ControlsAndApiSeeTheSameKeys) {
    sim::SetString(kVendor, "Zed", "text");
    sim::SetDword(kVendor, "Count", 7);
    sim::SetDefault(kVendor, "default");
    sim::SetMultiString(kVendor, "List", {"a", "b"});
    sim::SetExpandString(kVendor, "Home", "%USERPROFILE%\\x");
    EXPECT_EQ((std::vector<std::string>{"Zed", "Count", "", "List", "Home"}),
              sim::ValueNames(kVendor));

    DWORD type = 0, value = 0, size = sizeof(value);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              SHGetValueA(HKEY_LOCAL_MACHINE, "software\\VENDOR", "count", &type, &value, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(7u, value);
    char text[64];
    size = sizeof(text);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              SHGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", "", &type, text, &size));
    EXPECT_STREQ("default", text);
    EXPECT_EQ(std::string("a\0b\0\0", 5), sim::ValueData(kVendor, "List"));

    const char data[] = "new";
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              SHSetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor\\Sub", "V", REG_SZ, data, 4));
    EXPECT_EQ("new", sim::GetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Sub", "v"));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), sim::ValueType("HKLM\\SOFTWARE\\Vendor\\Sub", "V"));
    sim::RemoveKey(kVendor);
    EXPECT_FALSE(sim::KeyExists(kVendor));
    EXPECT_TRUE(sim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE"));
}

TEST_F(SimRegistry, ResetLeavesOnlyTheStandardKeys) {
    sim::AddKey(kVendor);
    sim::Reset();
    EXPECT_FALSE(sim::KeyExists(kVendor));
    EXPECT_TRUE(sim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE"));
    EXPECT_TRUE(sim::KeyExists("HKEY_CURRENT_USER\\Software"));
    EXPECT_TRUE(
        sim::KeyExists("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager"));
}

TEST_F(SimRegistry, ClosedHandleIsInvalid) {
    sim::AddKey(kVendor);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    DWORD size = 0;
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExA(key, "x", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE)); // the roots stay usable
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key));
    RegCloseKey(key);
}

TEST_F(SimRegistry, CreatingBelowAReadHandleIsRefused) {
    sim::AddKey("HKLM\\SOFTWARE\\Vendor\\Existing");
    HKEY reader = nullptr, sub = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", 0, KEY_READ, &reader));
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegCreateKeyExA(reader, "New", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr));
    EXPECT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(reader, "Existing", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr));
    RegCloseKey(sub);
    RegCloseKey(reader);
    EXPECT_FALSE(sim::KeyExists("HKLM\\SOFTWARE\\Vendor\\New"));
}

TEST_F(SimRegistry, ExpandedStringsUseTheMachinesFolders) {
    sim::SetExpandString(kVendor, "Home", "%USERPROFILE%\\x;%NoSuchName%;%windir%");
    char text[128];
    DWORD type = 0, size = sizeof(text);
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              SHGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", "Home", &type, text, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_STREQ("C:\\Documents and Settings\\Administrator\\x;%NoSuchName%;C:\\WINDOWS", text);

    // A buffer that holds the stored text but not the expanded one asks for more.
    sim::SetExpandString(kVendor, "Short", "%APPDATA%");
    char small[16];
    size = sizeof(small);
    EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA),
              SHGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", "Short", &type, small, &size));
    EXPECT_EQ(strlen("C:\\Documents and Settings\\Administrator\\Application Data") + 1, size);
}

} // namespace
