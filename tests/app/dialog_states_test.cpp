// The main dialog's states: what each shows, the administrator check that decides the first one,
// and what the button, ESC and the close box do in each.
#include "app_fixture.h"

#include "trace/trace_state.h"

#include <algorithm>

using namespace apptest;

namespace {

const char kReadyText[] = "You are about to remove existing installation from your system. \nClick "
                          "START to begin, or press ESC to cancel.";
const char kNoRightsText[] = "Not enough rights. You should re-logon as a local administrator.";

bool ShutdownPrivilegeEnabled() {
    std::vector<std::string> enabled = sim::EnabledPrivileges();
    return std::find(enabled.begin(), enabled.end(), "SeShutdownPrivilege") != enabled.end();
}

class DialogStateTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        InstallProduct();
        WriteProfile(ProductProfile().Text());
    }

    void ExpectFailedWithoutRights() {
        EXPECT_EQ("Uninstallation process failed", Message());
        EXPECT_EQ(kNoRightsText, Status());
        EXPECT_EQ("Quit", ButtonText());
        EXPECT_TRUE(ButtonEnabled());
        EXPECT_EQ(std::vector<UINT>{0xFFFFFFFF}, sim::Beeps());
    }

    // Quit: the dialog ends, without a run having started.
    void ExpectQuitEndsWithoutARun() {
        PressButton();
        ASSERT_TRUE(WaitForDialogEnd());
        EXPECT_EQ(IDCANCEL, m_modalResult);
        EXPECT_TRUE(Events().empty());
        EXPECT_FALSE(sim::Exists(kLog));
        EXPECT_TRUE(sim::ExitWindowsRequests().empty());
    }
};

TEST_F(DialogStateTest, OpensReadyToStart) {
    OpenDialog();
    EXPECT_EQ("Uninstallation Tool", sim::WindowText(m_window));
    EXPECT_EQ(kReadyText, Message());
    EXPECT_EQ("", Status());
    EXPECT_EQ("Start", ButtonText());
    EXPECT_TRUE(ButtonEnabled());
    EXPECT_EQ(IDC_ACTION, sim::FocusedControl(m_window));
    EXPECT_TRUE(sim::Beeps().empty());
    sim::WindowIconPair icons = sim::WindowIcons(m_window);
    EXPECT_EQ(IDI_MAIN, sim::IconResourceId(icons.bigIcon));
    EXPECT_EQ(IDI_MAIN, sim::IconResourceId(icons.smallIcon));
}

TEST_F(DialogStateTest, StartShowsProcessingUntilTheWorkersFirstRefresh) {
    OpenDialog();
    // The worker stops at the log's first line, inside the first stage, until released.
    TraceLock();
    PressButton();
    bool started = WaitUntil([this] { return Events().size() == 2; }) && sim::WaitForIdle(m_window);
    std::vector<Event> events = m_dialog->Events();
    std::string button = ButtonText();
    bool enabled = ButtonEnabled();
    TraceUnlock();
    ASSERT_TRUE(started);
    ASSERT_TRUE(WaitForRunEnd());

    ASSERT_GE(events.size(), 2u);
    // Before the worker's first refresh: the press is acknowledged, the button is still Start
    // and disabled.
    EXPECT_EQ("REFRESH", events[0].what);
    EXPECT_EQ("Processing Start request...", events[0].message);
    EXPECT_EQ("Start", events[0].button);
    EXPECT_FALSE(events[0].buttonEnabled);
    // After it: the button cancels, enabled; the message line is left as it was.
    EXPECT_EQ("STAGE 106", events[1].what);
    EXPECT_EQ("Processing Start request...", events[1].message);
    EXPECT_EQ("Cancel", events[1].button);
    EXPECT_TRUE(events[1].buttonEnabled);
    EXPECT_EQ("Cancel", button);
    EXPECT_TRUE(enabled);
}

class NoRightsTest : public DialogStateTest, public ::testing::WithParamInterface<sim::Admin> {};

TEST_P(NoRightsTest, FailsAtOnceAndOnlyQuits) {
    sim::SetAdministrator(GetParam());
    OpenDialog();
    ExpectFailedWithoutRights();
    ExpectQuitEndsWithoutARun();
}

INSTANTIATE_TEST_SUITE_P(Tokens, NoRightsTest,
                         ::testing::Values(sim::Admin::Absent, sim::Admin::DenyOnly),
                         [](const ::testing::TestParamInfo<sim::Admin>& p) {
                             return p.param == sim::Admin::Absent ? "NotInGroup" : "DenyOnly";
                         });

struct CheckFault {
    const char* operation;
    unsigned after;
};

class AdministratorCheckFaultTest : public DialogStateTest,
                                    public ::testing::WithParamInterface<CheckFault> {};

// An administrator whose token cannot be read counts as none; nothing taken is left behind.
TEST_P(AdministratorCheckFaultTest, CountsAsNoRights) {
    sim::InjectFault(GetParam().operation, ERROR_ACCESS_DENIED, GetParam().after);
    OpenDialog();
    ExpectFailedWithoutRights();
    EXPECT_EQ(0, sim::LiveSids());
    ExpectQuitEndsWithoutARun();
}

INSTANTIATE_TEST_SUITE_P(Faults, AdministratorCheckFaultTest,
                         ::testing::Values(CheckFault{"AllocateAndInitializeSid", 0},
                                           CheckFault{"OpenProcessToken", 0},
                                           CheckFault{"GetTokenInformation", 0},
                                           CheckFault{"GetTokenInformation", 1}),
                         [](const ::testing::TestParamInfo<CheckFault>& p) {
                             return std::string(p.param.operation) + std::to_string(p.param.after);
                         });

TEST_F(DialogStateTest, FailedVersionQueryStillChecksTheToken) {
    sim::SetVersionQueryFails(true);
    sim::SetAdministrator(sim::Admin::Absent);
    OpenDialog();
    ExpectFailedWithoutRights();
}

TEST_F(DialogStateTest, FailedVersionQueryWithAnAdministratorIsReady) {
    sim::SetVersionQueryFails(true);
    OpenDialog();
    EXPECT_EQ(kReadyText, Message());
    EXPECT_EQ("Start", ButtonText());
}

TEST_F(DialogStateTest, OutsideTheNtFamilyEveryoneMayRun) {
    sim::SetWindows98();
    sim::SetAdministrator(sim::Admin::Absent);
    OpenDialog();
    EXPECT_EQ(kReadyText, Message());
    EXPECT_EQ("", Status());
    EXPECT_EQ("Start", ButtonText());
    EXPECT_TRUE(sim::Beeps().empty());
}

TEST_F(DialogStateTest, QuitAfterACancelledRunEndsTheDialog) {
    OpenDialog();
    Run(IDNO);
    EXPECT_EQ("Quit", ButtonText());
    PressButton();
    ASSERT_TRUE(WaitForDialogEnd());
    EXPECT_EQ(IDCANCEL, m_modalResult);
    EXPECT_TRUE(sim::ExitWindowsRequests().empty());
}

TEST_F(DialogStateTest, RestartEnablesTheShutdownPrivilegeAndForcesAReboot) {
    OpenDialog();
    Run();
    ASSERT_EQ("Restart", ButtonText());
    EXPECT_FALSE(ShutdownPrivilegeEnabled());
    EXPECT_TRUE(sim::ExitWindowsRequests().empty());

    PressButton();
    ASSERT_TRUE(WaitForDialogEnd());
    EXPECT_EQ(IDCANCEL, m_modalResult);
    EXPECT_TRUE(ShutdownPrivilegeEnabled());
    EXPECT_EQ(std::vector<UINT>{EWX_REBOOT | EWX_FORCE}, sim::ExitWindowsRequests());
}

TEST_F(DialogStateTest, RestartOutsideTheNtFamilyLeavesThePrivilegesAlone) {
    sim::SetWindows98();
    std::vector<std::string> before = sim::EnabledPrivileges();
    OpenDialog();
    Run();
    ASSERT_EQ("Restart", ButtonText());
    PressButton();
    ASSERT_TRUE(WaitForDialogEnd());
    EXPECT_EQ(before, sim::EnabledPrivileges());
    EXPECT_EQ(std::vector<UINT>{EWX_REBOOT | EWX_FORCE}, sim::ExitWindowsRequests());
}

struct RestartFault {
    const char* name;
    std::function<void()> inject;
    bool privilegeEnabled;
    bool rebootRecorded;
};

class RestartFaultTest : public DialogStateTest,
                         public ::testing::WithParamInterface<RestartFault> {};

// The restart's failures are not reported: the dialog closes in any case.
TEST_P(RestartFaultTest, StillClosesTheDialog) {
    OpenDialog();
    Run();
    ASSERT_EQ("Restart", ButtonText());
    GetParam().inject();
    PressButton();
    ASSERT_TRUE(WaitForDialogEnd());
    EXPECT_EQ(IDCANCEL, m_modalResult);
    EXPECT_EQ(GetParam().privilegeEnabled, ShutdownPrivilegeEnabled());
    EXPECT_EQ(GetParam().rebootRecorded, !sim::ExitWindowsRequests().empty());
    EXPECT_TRUE(sim::MessageBoxes().size() == 1u) << "no report besides the confirmation";
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RestartFaultTest,
    ::testing::Values(
        RestartFault{"TokenRefused", [] { sim::InjectFault("OpenProcessToken", 5); }, false, true},
        RestartFault{"PrivilegeNotHeld",
                     [] { sim::SetPrivilegeHeld("SeShutdownPrivilege", false); }, false, true},
        RestartFault{"RebootRefused",
                     [] { sim::InjectFault("ExitWindowsEx", ERROR_PRIVILEGE_NOT_HELD); }, true,
                     false}),
    [](const ::testing::TestParamInfo<RestartFault>& p) { return p.param.name; });

// ESC and the close box end the dialog in every state without a restart.
TEST_F(DialogStateTest, EscapeEndsTheDialogWhenReady) {
    OpenDialog();
    ASSERT_TRUE(sim::PressEscape(m_window));
    ASSERT_TRUE(WaitForDialogEnd());
    EXPECT_EQ(IDCANCEL, m_modalResult);
    EXPECT_FALSE(sim::Exists(kLog));
}

TEST_F(DialogStateTest, CloseBoxEndsTheDialogWithoutRights) {
    sim::SetAdministrator(sim::Admin::Absent);
    OpenDialog();
    ASSERT_TRUE(sim::PressCloseBox(m_window));
    ASSERT_TRUE(WaitForDialogEnd());
    EXPECT_EQ(IDCANCEL, m_modalResult);
}

TEST_F(DialogStateTest, EscapeWhenRestartIsOfferedQuitsWithoutARestart) {
    OpenDialog();
    Run();
    ASSERT_EQ("Restart", ButtonText());
    ASSERT_TRUE(sim::PressEscape(m_window));
    ASSERT_TRUE(WaitForDialogEnd());
    EXPECT_EQ(IDCANCEL, m_modalResult);
    EXPECT_TRUE(sim::ExitWindowsRequests().empty());
    EXPECT_FALSE(ShutdownPrivilegeEnabled());
}

TEST_F(DialogStateTest, CloseBoxAfterACancelledRunEndsTheDialog) {
    OpenDialog();
    Run(IDNO);
    ASSERT_TRUE(sim::PressCloseBox(m_window));
    ASSERT_TRUE(WaitForDialogEnd());
    EXPECT_EQ(IDCANCEL, m_modalResult);
}

} // namespace
