// Registry paths split into root key, root name, sub key and last name.
#include "helpers/helper.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// "result root-index|rootName|subKey|lastName", absent names as '-', so one line states a case.
std::string Parse(std::string text) {
    const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG, HKEY_CURRENT_USER,
                          HKEY_DYN_DATA,     HKEY_LOCAL_MACHINE,  HKEY_PERFORMANCE_DATA,
                          HKEY_USERS};
    HKEY root = reinterpret_cast<HKEY>(1);
    char* names[3] = {};
    DWORD result = ParseRegistryPath(&text[0], &root, &names[0], &names[1], &names[2]);
    std::string rootText = root == nullptr                     ? "0"
                           : root == reinterpret_cast<HKEY>(1) ? "untouched"
                                                               : "?";
    for (int i = 0; i < 7; ++i)
        if (root == roots[i])
            rootText = std::to_string(i + 1);
    std::string out = std::to_string(result) + " " + rootText;
    for (char* name : names)
        out += std::string("|") + (name ? name : "-");
    return out;
}

TEST(ParseRegistryPath, SplitsAtFullRootNamesAndTheLastSeparator) {
    EXPECT_EQ(Parse("hkey_local_machine\\Software\\Vendor\\Path"),
              "0 5|HKEY_LOCAL_MACHINE|SOFTWARE\\VENDOR|PATH");
    EXPECT_EQ(Parse("HKEY_CURRENT_USER\\Software"), "0 3|HKEY_CURRENT_USER|SOFTWARE|-");
    EXPECT_EQ(Parse("\"HKEY_USERS//.default/\""), "0 7|HKEY_USERS|.DEFAULT|-");
    EXPECT_EQ(Parse("HKEY_CLASSES_ROOT\\CLSID\\"), "0 1|HKEY_CLASSES_ROOT|CLSID|-");
    EXPECT_EQ(Parse("HKLM\\Software"), "0 0|-|HKLM|SOFTWARE");
}

TEST(ParseRegistryPath, RootAloneIsNoRootOnceItsSeparatorIsNormalisedAway) {
    EXPECT_EQ(Parse("HKEY_LOCAL_MACHINE\\"), "0 0|-|HKEY_LOCAL_MACHINE|-");
    EXPECT_EQ(Parse("HKEY_LOCAL_MACHINE"), "0 0|-|HKEY_LOCAL_MACHINE|-");
}

TEST(ParseRegistryPath, EmptyTextIsInvalidButOnlyQuotesIsNot) {
    EXPECT_EQ(Parse(""), "13 untouched|-|-|-");
    EXPECT_EQ(Parse("\"\""), "0 0|-|-|-");
}

} // namespace
