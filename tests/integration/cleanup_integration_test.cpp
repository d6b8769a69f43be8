// The cleanup steps on a real file system and registry (the throwaway Wine prefix): every planned
// path registered for the restart in a safe order, and the registry left holding exactly what
// was spared.
#include "contract.h"
#include "engine/Zelm.h"
#include "key_access.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";
const char kTestKey[] = "Software\\KelvaneIntegrationCleanup";
const char kTestItem[] = "HKEY_CURRENT_USER\\SOFTWARE\\KELVANEINTEGRATIONCLEANUP";

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(toupper(c)); });
    return text;
}

// The registrations as (source, target) text pairs, in order.
std::vector<std::pair<std::string, std::string>> ReadRegistrations() {
    std::vector<std::pair<std::string, std::string>> pairs;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key))
        return pairs;
    DWORD size = 0;
    if (RegQueryValueExA(key, kPending, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        std::string data(size + 2, '\0');
        RegQueryValueExA(key, kPending, nullptr, nullptr, reinterpret_cast<BYTE*>(&data[0]), &size);
        // Pairs of strings; the target of a deletion is an empty string, so the value's size,
        // not an empty string, marks the end.
        Names strings;
        for (size_t at = 0; at < size; at += strings.back().size() + 1)
            strings.push_back(data.c_str() + at);
        for (size_t i = 0; i + 1 < strings.size() && !strings[i].empty(); i += 2)
            pairs.emplace_back(strings[i], strings[i + 1]);
    }
    RegCloseKey(key);
    return pairs;
}

// Rewrites the registrations without those below `folder`, so that every run starts clean.
void DropRegistrationsBelow(const std::string& folder) {
    std::string kept;
    for (const auto& pair : ReadRegistrations()) {
        if (Upper(pair.first).find(Upper(folder)) != std::string::npos)
            continue;
        kept += pair.first + '\0' + pair.second + '\0';
    }
    kept += '\0';
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key))
        return;
    if (kept.size() > 1)
        RegSetValueExA(key, kPending, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                       static_cast<DWORD>(kept.size()));
    else
        RegDeleteValueA(key, kPending);
    RegCloseKey(key);
}

Names SubKeys(const char* path) {
    Names names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key))
        return names;
    char name[261];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof(name)) == ERROR_SUCCESS; ++i)
        names.push_back(Upper(name));
    RegCloseKey(key);
    return names;
}

Names ValueNames(const char* path) {
    Names names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key))
        return names;
    char name[261];
    DWORD size = sizeof(name);
    for (DWORD i = 0;
         RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = sizeof(name))
        names.push_back(Upper(name));
    RegCloseKey(key);
    return names;
}

void SetString(const std::string& path, const char* name) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
    RegCloseKey(key);
}

class CleanupIntegrationTest : public contract::Test {
protected:
    void SetUp() override {
        contract::Test::SetUp();
        m_root = Upper(contract::Scratch()) + "\\APP";
        DropRegistrationsBelow(m_root);
        SHDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
    }
    void TearDown() override {
        DropRegistrationsBelow(m_root);
        SHDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
    }

    CUninstallEngine m_engine;
    std::string m_root;
};

TEST_F(CleanupIntegrationTest, EveryPlannedPathStaysAndIsRegisteredContentsFirst) {
    ASSERT_TRUE(CreateDirectoryA(m_root.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((m_root + "\\SUB").c_str(), nullptr));
    for (const char* name : {"\\A.DLL", "\\SUB\\B.TXT"}) {
        HANDLE file = CreateFileA((m_root + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_READONLY, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    }
    const Names planned = {m_root, m_root + "\\A.DLL", m_root + "\\SUB", m_root + "\\SUB\\B.TXT"};
    for (const std::string& path : planned)
        m_engine.m_planFiles.Add(path.c_str());

    ASSERT_EQ(m_engine.CleanupFiles(), 0u);

    for (const std::string& path : planned) {
        DWORD attributes = GetFileAttributesA(path.c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << path;
        EXPECT_EQ(attributes & FILE_ATTRIBUTE_READONLY, 0u) << path;
    }
    Names registered;
    for (const auto& pair : ReadRegistrations()) {
        std::string source = Upper(pair.first);
        if (source.find(m_root) == std::string::npos)
            continue;
        EXPECT_EQ(pair.second, "") << source;
        registered.push_back(source.substr(source.find(m_root)));
    }
    EXPECT_EQ(registered, Names(planned.rbegin(), planned.rend()));
}

TEST_F(CleanupIntegrationTest, TheRegistryKeepsExactlyWhatWasSpared) {
    const std::string key = kTestKey;
    SetString(key + "\\GONE\\DEEP", "PLANNED");
    SetString(key + "\\DEFAULT_ONLY", "");
    SetString(key + "\\HOLDS_KEY\\IGNORED", "IGNORED");
    SetString(key + "\\HOLDS_VALUE", "PLANNED");
    SetString(key + "\\HOLDS_VALUE", "SPARED");
    const std::string item = kTestItem;
    for (const char* name :
         {"", "\\GONE", "\\GONE\\DEEP", "\\DEFAULT_ONLY", "\\HOLDS_KEY", "\\HOLDS_VALUE"})
        m_engine.m_planRegKeys.Add((item + name).c_str());
    for (const char* name : {"\\GONE\\DEEP\\PLANNED", "\\DEFAULT_ONLY\\", "\\HOLDS_VALUE\\PLANNED"})
        m_engine.m_planRegValues.Add((item + name).c_str());

    ASSERT_EQ(m_engine.CleanupRegValues(), 0u);
    ASSERT_EQ(m_engine.CleanupRegKeys(), 0u);

    EXPECT_EQ(SubKeys(kTestKey), (Names{"HOLDS_KEY", "HOLDS_VALUE"}));
    EXPECT_EQ(SubKeys((key + "\\HOLDS_KEY").c_str()), Names{"IGNORED"});
    EXPECT_EQ(ValueNames((key + "\\HOLDS_KEY\\IGNORED").c_str()), Names{"IGNORED"});
    EXPECT_EQ(ValueNames((key + "\\HOLDS_VALUE").c_str()), Names{"SPARED"});
}

// A value the system refuses to delete is reported with its own line and fails the step; the
// other values still go.
TEST_F(CleanupIntegrationTest, AValueThatCannotBeDeletedIsReported) {
    const std::string key = kTestKey;
    SetString(key + "\\LOCKED", "PLANNED");
    SetString(key + "\\OPEN", "PLANNED");
    ASSERT_TRUE(SetValueChangesDenied((key + "\\LOCKED").c_str(), true));
    const std::string item = kTestItem;
    m_engine.m_planRegValues.Add((item + "\\LOCKED\\PLANNED").c_str());
    m_engine.m_planRegValues.Add((item + "\\OPEN\\PLANNED").c_str());

    DWORD result = m_engine.CleanupRegValues();
    Names locked = ValueNames((key + "\\LOCKED").c_str());
    SetValueChangesDenied((key + "\\LOCKED").c_str(), false);

    // Wine applies the key's access list as Windows does.
    EXPECT_TRUE(ValueNames((key + "\\OPEN").c_str()).empty());
    EXPECT_EQ(result, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(locked, Names{"PLANNED"});
}

} // namespace
