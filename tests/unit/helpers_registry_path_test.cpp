// Registry paths split into root key, root name, sub key and last name.
#include "helpers/helper.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Parsed {
    DWORD result;
    HKEY root;
    std::string rootName, subKey, lastName; // "<null>" for an absent name
};

std::string Name(const char* p) {
    return p ? p : "<null>";
}

Parsed Parse(std::string text) {
    HKEY root = reinterpret_cast<HKEY>(1);
    char* names[3] = {};
    DWORD result = ParseRegistryPath(&text[0], &root, &names[0], &names[1], &names[2]);
    return {result, root, Name(names[0]), Name(names[1]), Name(names[2])};
}

TEST(ParseRegistryPath, SplitsFullRootNamesOnly) {
    Parsed p = Parse("hkey_local_machine\\Software\\Vendor\\Path");
    EXPECT_EQ(p.result, 0u);
    EXPECT_EQ(p.root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(p.rootName, "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(p.subKey, "SOFTWARE\\VENDOR");
    EXPECT_EQ(p.lastName, "PATH");

    p = Parse("HKEY_CURRENT_USER\\Software");
    EXPECT_EQ(p.root, HKEY_CURRENT_USER);
    EXPECT_EQ(p.subKey, "SOFTWARE");
    EXPECT_EQ(p.lastName, "<null>");

    p = Parse("HKLM\\Software");
    EXPECT_EQ(p.root, nullptr);
    EXPECT_EQ(p.rootName, "<null>");
    EXPECT_EQ(p.subKey, "HKLM");
    EXPECT_EQ(p.lastName, "SOFTWARE");
}

TEST(ParseRegistryPath, KnowsEveryRootOfTheTable) {
    const struct {
        const char* text;
        HKEY root;
    } rows[] = {
        {"HKEY_CLASSES_ROOT\\K", HKEY_CLASSES_ROOT},
        {"HKEY_CURRENT_CONFIG\\K", HKEY_CURRENT_CONFIG},
        {"HKEY_CURRENT_USER\\K", HKEY_CURRENT_USER},
        {"HKEY_DYN_DATA\\K", HKEY_DYN_DATA},
        {"HKEY_LOCAL_MACHINE\\K", HKEY_LOCAL_MACHINE},
        {"HKEY_PERFORMANCE_DATA\\K", HKEY_PERFORMANCE_DATA},
        {"HKEY_USERS\\K", HKEY_USERS},
    };
    for (const auto& row : rows) {
        Parsed p = Parse(row.text);
        EXPECT_EQ(p.root, row.root) << row.text;
        EXPECT_EQ(p.subKey, "K") << row.text;
    }
}

TEST(ParseRegistryPath, RootAloneIsNoRootOnceItsSeparatorIsNormalisedAway) {
    for (const char* text : {"HKEY_LOCAL_MACHINE\\", "HKEY_LOCAL_MACHINE"}) {
        Parsed p = Parse(text);
        EXPECT_EQ(p.result, 0u);
        EXPECT_EQ(p.root, nullptr);
        EXPECT_EQ(p.rootName, "<null>");
        EXPECT_EQ(p.subKey, "HKEY_LOCAL_MACHINE");
        EXPECT_EQ(p.lastName, "<null>");
    }
}

TEST(ParseRegistryPath, EmptyTextIsInvalidButOnlyQuotesIsNot) {
    Parsed p = Parse("");
    EXPECT_EQ(p.result, static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(p.root, reinterpret_cast<HKEY>(1)); // untouched

    p = Parse("\"\"");
    EXPECT_EQ(p.result, 0u);
    EXPECT_EQ(p.root, nullptr);
    EXPECT_EQ(p.subKey, "<null>");
    EXPECT_EQ(p.lastName, "<null>");
}

} // namespace
