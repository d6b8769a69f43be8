// kvprofile check: every entry's verdict with its line and a plain reason, section problems, and
// on a clean profile the engine's own plan with the entry behind each item, each spared item and
// each refusal.
#include "companion_fixture.h"

#include <cstdio>
#include <tuple>

using namespace companiontest;
using companion::CheckProfile;
using companion::CheckReport;

namespace {

typedef std::vector<std::tuple<std::string, std::string, int>> Items;

class CheckTest : public CompanionTest {};

TEST_F(CheckTest, EveryBadEntryIsNamedWithItsLineCodeAndReasonInOneReading) {
    sim::AddFile(kProfile, "; errors on purpose\n"
                           "[service 1]\n"
                           "remove=SERVICE_NAME,BY_VALUE,ExampleSvc\n"
                           "remove=SERVICE_NAME,BY_DATA_MATCH,Example*\n"
                           "[registry key 1]\n"
                           "remove=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\Ex*\\Sub\n"
                           "remove=REG_KEYS,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\X\n"
                           "[registry value 1]\n"
                           "remove= REG_VALUE,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\X\\Y\n"
                           "ignore=REG_VALUE,BY_VALUES,HKEY_LOCAL_MACHINE\\SOFTWARE\\X\\Y\n"
                           "[file 1]\n"
                           "remove=FILE_NAME_EXPAND,BY_VALUE,C:\\Data\\%APPDATA%\\X\n"
                           "remove=FILE_NAME,BY_VALUE,C:\\Program Files\\Example\n"
                           "remove=FILE_NAME,BY_REFERENCE,C:\\X\n"
                           "remove=FILE_NAME,BY_VALUE,C:\\" +
                               std::string(400, 'x') +
                               "\n"
                               "remove=FILE_NAME,BY_VALUE,C:\\After the long line\n");
    CheckReport report = CheckProfile(kProfile);

    struct Row {
        int line;
        DWORD result;
        const char* reason;
    };
    const Row rows[] = {
        {3, 0, ""},
        {4, ERROR_BAD_CONFIGURATION, "SERVICE_NAME cannot be used with BY_DATA_MATCH"},
        {6, ERROR_INVALID_DATA, "wildcard stands outside the last component"},
        {7, ERROR_BAD_CONFIGURATION, "unknown type keyword 'REG_KEYS'"},
        {9, ERROR_BAD_CONFIGURATION, "a blank after '='"},
        {10, ERROR_BAD_CONFIGURATION, "unknown mode keyword 'BY_VALUES'"},
        {12, ERROR_BAD_CONFIGURATION, "folder macro %APPDATA% must stand at the start"},
        {13, 0, ""},
        {14, ERROR_BAD_CONFIGURATION, "FILE_NAME cannot be used with BY_REFERENCE"},
        {15, ERROR_BAD_CONFIGURATION, "longer than 359 characters"},
        {16, 0, ""},
    };
    ASSERT_EQ(sizeof(rows) / sizeof(rows[0]), report.entries.size());
    std::vector<int> lines;
    for (const companion::CheckedEntry& entry : report.entries)
        lines.push_back(entry.line);
    std::sort(lines.begin(), lines.end());
    for (size_t i = 0; i < lines.size(); ++i) {
        const companion::CheckedEntry* entry = nullptr;
        for (const companion::CheckedEntry& candidate : report.entries)
            if (candidate.line == rows[i].line)
                entry = &candidate;
        ASSERT_NE(nullptr, entry) << "line " << rows[i].line;
        EXPECT_EQ(rows[i].result, entry->result) << "line " << rows[i].line;
        EXPECT_NE(std::string::npos, entry->explanation.find(rows[i].reason))
            << "line " << rows[i].line << ": " << entry->explanation;
    }
    EXPECT_EQ(companion::CHECK_ERRORS, report.status);
    EXPECT_FALSE(report.planned);
}

TEST_F(CheckTest, MissingSectionsAndAnUnreadableProfileAreTold) {
    sim::AddFile(kProfile, "[service 1]\n[file 1]\nremove=FILE_NAME,BY_VALUE,C:\\X\n");
    CheckReport report = CheckProfile(kProfile);
    ASSERT_EQ(2u, report.sections.size());
    EXPECT_EQ("registry value", report.sections[0].section);
    EXPECT_EQ("registry key", report.sections[1].section);
    EXPECT_NE(std::string::npos,
              report.sections[0].explanation.find("no line begins with [registry value 1]"));
    EXPECT_EQ(companion::CHECK_ERRORS, report.status);

    report = CheckProfile("C:\\Tools\\None.cfg");
    EXPECT_EQ(companion::CHECK_FAILED, report.status);
    EXPECT_NE(std::string::npos, report.problem.find("cannot be read (error 2)"));
}

TEST_F(CheckTest, PlanNamesTheEntryBehindEachItemAndEqualsTheRunsPlan) {
    sim::AddFile("C:\\Program Files\\Example Suite\\Bin\\App.exe");
    sim::AddFile("C:\\Program Files\\Example Suite\\Reports\\r.txt");
    sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite", "Path", "x");
    sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite\\Keep", "Kept", "y");
    sim::SetString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                   "ExampleTray", "tray.exe");
    sim::AddFile(kProfile,
                 "[service 1]\n"
                 "remove=SERVICE_NAME,BY_VALUE,ExampleSvc\n"
                 "[registry key 1]\n"
                 "remove=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite\n"
                 "ignore=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite\\Keep\n"
                 "remove=REG_KEY,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\n"
                 "[registry value 1]\n"
                 "remove=REG_VALUE,BY_VALUE,HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\"
                 "CurrentVersion\\Run\\ExampleTray\n"
                 "ignore=REG_VALUE,BY_VALUE,\\KEEP\\\n"
                 "[file 1]\n"
                 "remove=FILE_NAME,BY_VALUE,C:\\Program Files\\Example Suite\n"
                 "ignore=FILE_NAME,BY_VALUE,C:\\Program Files\\Example Suite\\Reports\n"
                 "remove=FILE_NAME,BY_VALUE,C:\\WINDOWS\n"
                 "ignore=FILE_NAME,BY_VALUE,C:\\Zzz\n");
    CheckReport report = CheckProfile(kProfile);
    ASSERT_EQ(companion::CHECK_CLEAN, report.status) << report.problem;

    Items plan;
    for (const companion::PlannedItem& item : report.plan)
        plan.emplace_back(item.kind, item.item, item.line);
    const std::string run = "HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN";
    EXPECT_EQ((Items{{"service", "EXAMPLESVC", 2},
                     {"key", "HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE", 4},
                     {"value", "HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE\\PATH", 4},
                     {"value", run + "\\EXAMPLETRAY", 8},
                     {"folder", "C:\\PROGRAM FILES\\EXAMPLE SUITE", 11},
                     {"folder", "C:\\PROGRAM FILES\\EXAMPLE SUITE\\BIN", 11},
                     {"file", "C:\\PROGRAM FILES\\EXAMPLE SUITE\\BIN\\APP.EXE", 11}}),
              plan);

    Items spared;
    for (const companion::SparedItem& item : report.spared)
        spared.emplace_back(item.kind, item.item, item.line);
    EXPECT_EQ((Items{{"key", "HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE\\KEEP", 5},
                     {"value", "HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE\\KEEP\\KEPT", 9},
                     {"file", "C:\\PROGRAM FILES\\EXAMPLE SUITE\\REPORTS", 12},
                     {"file", "C:\\PROGRAM FILES\\EXAMPLE SUITE\\REPORTS\\R.TXT", 12}}),
              spared);

    Items refused;
    for (const companion::RefusedItem& item : report.refused)
        refused.emplace_back(item.kind, item.item + " (" + item.reason + ")", item.line);
    EXPECT_EQ((Items{{"key", "HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT (protected key)", 6},
                     {"path", "C:\\WINDOWS (protected location)", 13}}),
              refused);

    // The plan is the one a run of Kelvane builds from the same profile, item for item.
    EXPECT_EQ(GuiPlan(), CompanionPlan(report));
}

TEST_F(CheckTest, JsonDocumentCarriesTheSameReport) {
    sim::AddFile("C:\\Program Files\\Ex\\a\"b.txt");
    sim::AddFile(kProfile, "[service 1]\n[registry key 1]\n[registry value 1]\n[file 1]\n"
                           "remove=FILE_NAME,BY_VALUE,C:\\Program Files\\Ex\n");
    CheckReport report = CheckProfile(kProfile);
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    companion::PrintCheckJson(report, out);
    fclose(out);
    std::string json(text, size);
    free(text);
    EXPECT_NE(std::string::npos, json.find("\"status\": \"clean\""));
    EXPECT_NE(
        std::string::npos,
        json.find("{\"kind\": \"file\", \"item\": \"C:\\\\PROGRAM FILES\\\\EX\\\\A\\\"B.TXT\", "
                  "\"line\": 5}"));
    EXPECT_NE(std::string::npos, json.find("\"totals\": {\"services\": 0, \"keys\": 0, "
                                           "\"values\": 0, \"files\": 2, \"spared\": 0, "
                                           "\"refused\": 0}"));
}

TEST_F(CheckTest, RefusalsOfServicesAndValuesNameTheirEntry) {
    sim::AddFile(kProfile, "[service 1]\n"
                           "remove=SERVICE_NAME,BY_VALUE,EventLog\n"
                           "[registry key 1]\n"
                           "[registry value 1]\n"
                           "remove=REG_VALUE,BY_VALUE,HKEY_LOCAL_MACHINE\\Lone\n"
                           "[file 1]\n");
    CheckReport report = CheckProfile(kProfile);
    ASSERT_EQ(companion::CHECK_CLEAN, report.status) << report.problem;
    Items refused;
    for (const companion::RefusedItem& item : report.refused)
        refused.emplace_back(item.kind, item.item, item.line);
    EXPECT_EQ((Items{{"service", "EVENTLOG", 2}, {"value", "HKEY_LOCAL_MACHINE\\LONE", 5}}),
              refused);
    EXPECT_TRUE(report.plan.empty());
}

} // namespace
