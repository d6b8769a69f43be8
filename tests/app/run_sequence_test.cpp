// The run sequence seen from the dialog: the messages the worker posts and their order, the
// confirmation, where a failure or a cancel ends the run, and what the run did to the machine.
#include "app_fixture.h"

#include "trace/trace_state.h"

#include <algorithm>
#include <cstring>
#include <mutex>

using namespace apptest;

namespace {

const char kProcessingCancel[] = "Processing Cancel request...";

bool Contains(const std::vector<std::string>& items, const std::string& item) {
    return std::find(items.begin(), items.end(), item) != items.end();
}

// The Winsock catalog holds no layered entry and no protocol chain any more.
bool OnlyBaseProviders() {
    for (const WSAPROTOCOL_INFOW& entry : sim::CatalogEntries())
        if (entry.ProtocolChain.ChainLen != 1) // not a base provider
            return false;
    return true;
}

// Holds the trace facility's lock, so that the worker stops at its next log line until released.
class TraceHeld {
public:
    TraceHeld() { TraceLock(); }
    ~TraceHeld() { Release(); }
    void Release() {
        if (m_held)
            TraceUnlock();
        m_held = false;
    }

private:
    bool m_held = true;
};

class RunSequenceTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        InstallProduct();
        if (m_writeProfile)
            WriteProfile(ProductProfile().Text());
        OnPause(0, nullptr);
    }

    // Records every pause of the worker; `action` runs on the worker at the first pause of
    // `milliseconds`, before the pause ends.
    void OnPause(DWORD milliseconds, std::function<void()> action) {
        sim::OnSleep([this, milliseconds, action](DWORD asked) {
            {
                std::lock_guard<std::mutex> held(m_pauseLock);
                m_pauses.push_back(asked);
            }
            if (action && asked == milliseconds && !m_acted.exchange(true))
                action();
        });
    }
    std::vector<DWORD> Pauses() {
        std::lock_guard<std::mutex> held(m_pauseLock);
        return m_pauses;
    }

    // Presses Cancel (from any thread) and waits until the dialog has taken the cancelled state.
    void PressCancel() {
        EXPECT_EQ("Cancel", ButtonText());
        PressButton();
        EXPECT_TRUE(WaitUntil([this] { return m_dialog->m_state == STATE_CANCELLED; }));
    }

    void ExpectNothingRemoved() {
        EXPECT_TRUE(sim::PendingDeletes().empty());
        EXPECT_TRUE(sim::DeletedPaths().empty());
        EXPECT_TRUE(sim::KeyExists(kProductSubKey));
        EXPECT_TRUE(sim::ValueExists(kRunKey, kRunValue));
    }

    bool m_writeProfile = true;
    std::mutex m_pauseLock;
    std::vector<DWORD> m_pauses;
    std::atomic<bool> m_acted{false};
};

TEST_F(RunSequenceTest, SuccessfulRunPostsEveryStageInOrderAndOffersTheRestart) {
    OpenDialog();
    RecordConfirmation();
    Run();

    EXPECT_EQ(SuccessfulRun(), Events());
    EXPECT_EQ(StageLine(IDS_STAGE_PROFILE, 0) + StageLine(IDS_STAGE_SERVICES, 0) +
                  StageLine(IDS_STAGE_DEFAULTS, 0) + StageLine(IDS_STAGE_FILES, 0) +
                  StageLine(IDS_STAGE_REGISTRY, 0),
              Status());
    EXPECT_EQ(Text(IDS_RESTART), Message());
    EXPECT_EQ("Restart", ButtonText());
    EXPECT_EQ(IDC_ACTION, sim::FocusedControl(m_window));
    EXPECT_EQ(std::vector<UINT>{MB_ICONASTERISK}, sim::Beeps());
    EXPECT_EQ((std::vector<DWORD>{2000, 1500}), Pauses());

    std::vector<sim::MessageBoxRecord> boxes = sim::MessageBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(m_window, boxes[0].owner);
    EXPECT_EQ("Now your old installation will be removed permanently. Are you sure you want to "
              "continue?",
              boxes[0].text);
    EXPECT_EQ("Notification!", boxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2), boxes[0].style);

    // Every stage did its work: services, Winsock, Security Center, files at restart, registry.
    EXPECT_EQ(std::vector<std::string>{kService}, sim::StopRequests());
    EXPECT_TRUE(OnlyBaseProviders());
    EXPECT_TRUE(sim::WmiInstances(kSecurityCenter).empty());
    std::vector<std::string> pending = sim::PendingDeletes();
    EXPECT_TRUE(Contains(pending, "C:\\PROGRAM FILES\\EXAMPLE SUITE\\BIN\\APP.EXE"));
    EXPECT_TRUE(Contains(pending, "C:\\PROGRAM FILES\\EXAMPLE SUITE"));
    EXPECT_TRUE(sim::Exists(kProductFile));
    EXPECT_FALSE(sim::KeyExists(kProductKey));
    EXPECT_FALSE(sim::ValueExists(kRunKey, kRunValue));
    EXPECT_TRUE(sim::ValueExists(kRunKey, "Other"));
}

TEST_F(RunSequenceTest, AnsweringNoCancelsWithNothingChanged) {
    OpenDialog();
    RecordConfirmation();
    Run(IDNO);

    EXPECT_EQ((Names{"REFRESH", "STAGE 106", "RESULT 0", "BOX", "REFRESH"}), Events());
    EXPECT_EQ(StageLine(IDS_STAGE_PROFILE, 0), Status());
    EXPECT_EQ(Text(IDS_CANCELLED), Message());
    EXPECT_EQ("Quit", ButtonText());
    EXPECT_TRUE(sim::Beeps().empty());
    EXPECT_TRUE(Pauses().empty());
    EXPECT_TRUE(sim::StopRequests().empty());
    EXPECT_TRUE(sim::DeinstallRequests().empty());
    EXPECT_EQ(2u, sim::WmiInstances(kSecurityCenter).size());
    ExpectNothingRemoved();
}

struct ProfileFailure {
    const char* name;
    bool writeProfile;
    const char* dropSection; // header left out of the profile
    DWORD expected;
};

class ProfileFailureTest : public RunSequenceTest,
                           public ::testing::WithParamInterface<ProfileFailure> {
protected:
    ProfileFailureTest() { m_writeProfile = false; }
};

TEST_P(ProfileFailureTest, FailsTheFirstStageWithoutAConfirmation) {
    const ProfileFailure& failure = GetParam();
    if (failure.writeProfile) {
        std::string text = ProductProfile().Text();
        size_t header = text.find(failure.dropSection);
        ASSERT_NE(std::string::npos, header);
        text.erase(header, strlen(failure.dropSection));
        WriteProfile(text);
    }
    OpenDialog();
    RecordConfirmation();
    Run();

    EXPECT_EQ(
        (Names{"REFRESH", "STAGE 106", "RESULT " + std::to_string(failure.expected), "REFRESH"}),
        Events());
    EXPECT_EQ(StageLine(IDS_STAGE_PROFILE, failure.expected), Status());
    EXPECT_EQ("Uninstallation process failed", Message());
    EXPECT_EQ("Quit", ButtonText());
    // A refresh shows the state as it is when the dialog handles it: when the dialog handles
    // the worker's first refresh only after the failure, that one beeps as well.
    std::vector<UINT> beeps = sim::Beeps();
    EXPECT_FALSE(beeps.empty());
    for (UINT beep : beeps)
        EXPECT_EQ(0xFFFFFFFF, beep);
    EXPECT_TRUE(sim::MessageBoxes().empty());
    EXPECT_TRUE(sim::StopRequests().empty());
    ExpectNothingRemoved();
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, ProfileFailureTest,
    ::testing::Values(ProfileFailure{"MissingSection", true, "[service 1]\n",
                                     ERROR_BAD_CONFIGURATION},
                      ProfileFailure{"NoProfile", false, "", ERROR_FILE_NOT_FOUND}),
    [](const ::testing::TestParamInfo<ProfileFailure>& p) { return p.param.name; });

TEST_F(RunSequenceTest, CancelWhileTheProfileIsBuiltFailsTheRunInsteadOfCancellingIt) {
    OpenDialog();
    RecordConfirmation();
    TraceHeld trace; // the worker stops at the log's first line, inside the first stage
    PressButton();
    ASSERT_TRUE(WaitUntil(
        [this] { return Message() == "Creating uninstallation profile..." && ButtonEnabled(); }));
    PressCancel();
    EXPECT_EQ(kProcessingCancel, Message());
    EXPECT_FALSE(ButtonEnabled());
    trace.Release();
    ASSERT_TRUE(WaitForRunEnd());

    EXPECT_EQ((Names{"REFRESH", "STAGE 106", "RESULT 1223", "REFRESH"}), Events());
    EXPECT_EQ(StageLine(IDS_STAGE_PROFILE, ERROR_CANCELLED), Status());
    EXPECT_EQ(Text(IDS_FAILED), Message());
    EXPECT_EQ("Quit", ButtonText());
    EXPECT_TRUE(sim::MessageBoxes().empty());
    ExpectNothingRemoved();
}

TEST_F(RunSequenceTest, CancelDuringThePauseAfterServicesEndsTheRunAfterTheWinsockRepair) {
    OpenDialog();
    RecordConfirmation();
    OnPause(2000, [this] { PressCancel(); });
    Run();

    EXPECT_EQ((Names{"REFRESH", "STAGE 106", "RESULT 0", "BOX", "STAGE 112", "RESULT 0",
                     "STAGE 110", "RESULT 1223", "REFRESH"}),
              Events());
    // The dialog showed the cancel request, with the button disabled, until the worker ended.
    std::vector<Event> events = m_dialog->Events();
    ASSERT_EQ(9u, events.size());
    EXPECT_EQ(kProcessingCancel, events[6].message);
    for (size_t i = 6; i < events.size(); ++i)
        EXPECT_FALSE(events[i].buttonEnabled) << events[i].what;
    EXPECT_TRUE(ButtonEnabled());
    EXPECT_EQ(Text(IDS_FAILED), Message());
    EXPECT_EQ("Quit", ButtonText());
    EXPECT_EQ(StageLine(IDS_STAGE_PROFILE, 0) + StageLine(IDS_STAGE_SERVICES, 0) +
                  StageLine(IDS_STAGE_DEFAULTS, ERROR_CANCELLED),
              Status());
    EXPECT_EQ(std::vector<DWORD>{2000}, Pauses());
    EXPECT_EQ(std::vector<std::string>{kService}, sim::StopRequests());
    EXPECT_TRUE(OnlyBaseProviders());
    EXPECT_EQ(2u, sim::WmiInstances(kSecurityCenter).size());
    ExpectNothingRemoved();
}

// The click arrives just as the confirmation comes up: the dialog's thread waits for the worker
// while the box, owned by the dialog, still needs that thread.
TEST_F(RunSequenceTest, CancelAsTheConfirmationComesUpStillLetsTheBoxComplete) {
    sim::SetSendDeadlockLimit(5000);
    OpenDialog();
    RecordConfirmation([this] { PressCancel(); });
    Run();
    sim::SetSendDeadlockLimit(20000);

    EXPECT_EQ((Names{"REFRESH", "STAGE 106", "RESULT 0", "BOX", "STAGE 112", "RESULT 0",
                     "STAGE 110", "RESULT 1223", "REFRESH"}),
              Events());
    EXPECT_EQ(Text(IDS_FAILED), Message());
    EXPECT_EQ("Quit", ButtonText());
    EXPECT_TRUE(IsWindowEnabled(m_window));
    ExpectNothingRemoved();
}

TEST_F(RunSequenceTest, FailingRegistryValuesPostOneResultAndSkipTheKeys) {
    sim::AddKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite\\Empty");
    Profile profile = ProductProfile();
    profile.files.clear();
    WriteProfile(profile.Text());
    OpenDialog();
    RecordConfirmation();
    OnPause(1500, [this] { PressCancel(); });
    Run();

    EXPECT_EQ(
        (Names{"REFRESH", "STAGE 106", "RESULT 0", "BOX", "STAGE 112", "RESULT 0", "STAGE 110",
               "RESULT 0", "STAGE 107", "RESULT 0", "STAGE 108", "RESULT 1223", "REFRESH"}),
        Events());
    EXPECT_EQ(Text(IDS_FAILED), Message());
    std::vector<std::string> log = LogLines();
    EXPECT_TRUE(Contains(log, "1223 CleanupRegValues: 0 values"));
    for (const std::string& line : log)
        EXPECT_EQ(std::string::npos, line.find("CleanupRegKeys")) << line;
    EXPECT_TRUE(sim::KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Example Suite\\Empty"));
}

// With nothing left to remove, no later stage looks at the state: the run ends as if no cancel
// had been asked for.
TEST_F(RunSequenceTest, CancelThatNoLaterStageNoticesEndsReadyToRestart) {
    Profile profile;
    profile.services = ProductProfile().services;
    WriteProfile(profile.Text());
    OpenDialog();
    RecordConfirmation();
    OnPause(1500, [this] { PressCancel(); });
    Run();

    EXPECT_EQ(SuccessfulRun(), Events());
    EXPECT_EQ(Text(IDS_RESTART), Message());
    EXPECT_EQ("Restart", ButtonText());
    EXPECT_EQ(std::vector<UINT>{MB_ICONASTERISK}, sim::Beeps());
}

TEST_F(RunSequenceTest, FailingServiceStopEndsTheRunAtOnce) {
    sim::DenyServiceManager(true);
    OpenDialog();
    RecordConfirmation();
    Run();

    EXPECT_EQ((Names{"REFRESH", "STAGE 106", "RESULT 0", "BOX", "STAGE 112",
                     "RESULT " + std::to_string(ERROR_ACCESS_DENIED), "REFRESH"}),
              Events());
    EXPECT_EQ(StageLine(IDS_STAGE_PROFILE, 0) + StageLine(IDS_STAGE_SERVICES, ERROR_ACCESS_DENIED),
              Status());
    EXPECT_EQ(Text(IDS_FAILED), Message());
    EXPECT_TRUE(Pauses().empty());
    EXPECT_TRUE(sim::DeinstallRequests().empty());
    ExpectNothingRemoved();
}

// The click on Cancel arrives after the worker stored its final state but before the dialog has
// shown it: the button acts on what it showed (Cancel), so nothing is restarted, and the final
// state the worker stored stays.
struct LateCancel {
    const char* name;
    std::function<void()> inject;
    const char* button;
    UINT message;
};

class LateCancelTest : public RunSequenceTest, public ::testing::WithParamInterface<LateCancel> {};

TEST_P(LateCancelTest, ActsOnTheShownStateAndKeepsTheWorkersFinalState) {
    GetParam().inject();
    OpenDialog();
    RecordConfirmation();
    OnPause(1500, [this] {
        // On the worker, after the last look at the cancel state: the dialog's thread is held
        // until the worker has ended, and the click is queued before the worker's last messages.
        HANDLE worker = g_workerContext.thread;
        m_dialog->PostAction([worker] { WaitForSingleObject(worker, INFINITE); });
        PressButton();
    });
    Run();

    EXPECT_TRUE(sim::ExitWindowsRequests().empty());
    EXPECT_FALSE(m_uiEnded);
    EXPECT_EQ(GetParam().button, ButtonText());
    EXPECT_EQ(Text(GetParam().message), Message());
    EXPECT_EQ("REFRESH", Events().back());
}

INSTANTIATE_TEST_SUITE_P(Endings, LateCancelTest,
                         ::testing::Values(LateCancel{"Restart", [] {}, "Restart", IDS_RESTART},
                                           LateCancel{"Failed",
                                                      [] {
                                                          sim::InjectFault("RegDeleteValueA",
                                                                           ERROR_ACCESS_DENIED, 0,
                                                                           sim::Always);
                                                      },
                                                      "Quit", IDS_FAILED}),
                         [](const ::testing::TestParamInfo<LateCancel>& p) {
                             return p.param.name;
                         });

// Only Yes goes on: a box that could not be shown, or any other answer, ends the run failed
// with the box's error in the status area, before anything was changed.
struct BoxOutcome {
    const char* name;
    std::function<void()> inject;
    DWORD error;
};

class ConfirmationOutcomeTest : public RunSequenceTest,
                                public ::testing::WithParamInterface<BoxOutcome> {};

TEST_P(ConfirmationOutcomeTest, EndsTheRunFailedWithNothingChanged) {
    GetParam().inject();
    OpenDialog();
    Run();

    std::string result = "RESULT " + std::to_string(GetParam().error);
    EXPECT_EQ((Names{"REFRESH", "STAGE 106", "RESULT 0", result, "REFRESH"}), Events());
    EXPECT_EQ(StageLine(IDS_STAGE_PROFILE, 0) + " " + SystemText(GetParam().error), Status());
    EXPECT_EQ(Text(IDS_FAILED), Message());
    EXPECT_EQ("Quit", ButtonText());
    EXPECT_TRUE(sim::StopRequests().empty());
    EXPECT_TRUE(sim::DeinstallRequests().empty());
    EXPECT_EQ(2u, sim::WmiInstances(kSecurityCenter).size());
    ExpectNothingRemoved();
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, ConfirmationOutcomeTest,
    ::testing::Values(BoxOutcome{"BoxFails",
                                 [] { sim::InjectFault("MessageBoxA", ERROR_NOT_ENOUGH_MEMORY); },
                                 ERROR_NOT_ENOUGH_MEMORY},
                      BoxOutcome{"OtherAnswer", [] { sim::QueueMessageBoxAnswer(IDCANCEL); },
                                 ERROR_CAN_NOT_COMPLETE}),
    [](const ::testing::TestParamInfo<BoxOutcome>& p) { return p.param.name; });

// A step that could not do what the plan asked ends the run with its error on the screen; a
// failed Winsock repair ends it before any file is registered.
struct StepFailure {
    const char* name;
    std::function<void()> inject;
    Names lastEvents;
    const char* logLine;
    size_t registered;
    bool registryCleaned;
};

class StepFailureTest : public RunSequenceTest,
                        public ::testing::WithParamInterface<StepFailure> {};

TEST_P(StepFailureTest, EndsTheRunWithTheErrorShownAndLogged) {
    const StepFailure& failure = GetParam();
    failure.inject();
    OpenDialog();
    Run();

    Names events = Events();
    ASSERT_GE(events.size(), failure.lastEvents.size());
    EXPECT_EQ(failure.lastEvents,
              Names(events.end() - static_cast<long>(failure.lastEvents.size()), events.end()));
    EXPECT_EQ(Text(IDS_FAILED), Message());
    EXPECT_EQ("Quit", ButtonText());
    EXPECT_TRUE(Contains(LogLines(), failure.logLine)) << failure.logLine;
    EXPECT_EQ(failure.registered, sim::PendingDeletes().size());
    EXPECT_EQ(failure.registryCleaned, !sim::ValueExists(kRunKey, kRunValue));
    EXPECT_TRUE(sim::KeyExists(kProductSubKey)); // the keys' step never ran
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StepFailureTest,
    ::testing::Values(
        StepFailure{"CatalogNotListed",
                    [] { sim::FailCatalogListing(WSANO_RECOVERY, 0, sim::Always); },
                    {"STAGE 110", "RESULT 11003", "REFRESH"},
                    "11003 ResetLspStack",
                    0,
                    false},
        StepFailure{"FileNotRegistered",
                    [] { sim::InjectFault("MoveFileExA", ERROR_ACCESS_DENIED); },
                    {"STAGE 107", "RESULT 5", "REFRESH"},
                    "0005 DeletePlanPath: C:\\PROGRAM FILES\\EXAMPLE SUITE\\README.TXT",
                    3,
                    false},
        StepFailure{"ValueNotDeleted",
                    [] { sim::InjectFault("RegDeleteValueA", ERROR_ACCESS_DENIED); },
                    {"STAGE 108", "RESULT 5", "REFRESH"},
                    "0005 DeletePlanValue: HKEY_LOCAL_MACHINE\\SOFTWARE\\EXAMPLE SUITE\\PATH",
                    4,
                    true}),
    [](const ::testing::TestParamInfo<StepFailure>& p) { return p.param.name; });

struct SecurityCenterFault {
    const char* name;
    std::function<void()> inject;
};

class SecurityCenterFaultTest : public RunSequenceTest,
                                public ::testing::WithParamInterface<SecurityCenterFault> {};

TEST_P(SecurityCenterFaultTest, LeavesTheRunAndItsMessagesUnchanged) {
    GetParam().inject();
    OpenDialog();
    RecordConfirmation();
    Run();

    EXPECT_EQ(SuccessfulRun(), Events());
    EXPECT_EQ(StageLine(IDS_STAGE_PROFILE, 0) + StageLine(IDS_STAGE_SERVICES, 0) +
                  StageLine(IDS_STAGE_DEFAULTS, 0) + StageLine(IDS_STAGE_FILES, 0) +
                  StageLine(IDS_STAGE_REGISTRY, 0),
              Status());
    EXPECT_EQ("Restart", ButtonText());
    EXPECT_FALSE(sim::KeyExists(kProductKey));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SecurityCenterFaultTest,
    ::testing::Values(
        SecurityCenterFault{"NamespaceMissing", [] { sim::RemoveNamespace(kSecurityCenter); }},
        SecurityCenterFault{"ConnectRefused",
                            [] { sim::InjectFault("ConnectServer", ERROR_ACCESS_DENIED); }},
        SecurityCenterFault{
            "DeleteRefused",
            [] { sim::InjectFault("DeleteInstance", ERROR_ACCESS_DENIED, 0, sim::Always); }}),
    [](const ::testing::TestParamInfo<SecurityCenterFault>& p) { return p.param.name; });

TEST_F(RunSequenceTest, NinetyEightFamilyRunDeletesAtOnceAndEndsTheProcesses) {
    sim::SetWindows98();
    DWORD tray = sim::AddProcess("C:\\PROGRAM FILES\\EXAMPLE SUITE\\BIN\\TRAY.EXE");
    Profile profile = ProductProfile();
    profile.services = "remove=SERVICE_NAME,BY_VALUE,tray.exe\n";
    WriteProfile(profile.Text());
    OpenDialog();
    RecordConfirmation();
    Run();

    EXPECT_EQ(SuccessfulRun(), Events());
    EXPECT_EQ("Restart", ButtonText());
    std::vector<sim::ProcessRecord> ended = sim::TerminatedProcesses();
    ASSERT_EQ(1u, ended.size());
    EXPECT_EQ(tray, ended[0].pid);
    EXPECT_TRUE(sim::PendingDeletes().empty());
    EXPECT_FALSE(sim::Exists(kProductFile));
    EXPECT_FALSE(sim::Exists(kProductFolder));
    // No Security Center outside the NT family.
    EXPECT_EQ(2u, sim::WmiInstances(kSecurityCenter).size());
}

TEST_F(RunSequenceTest, WorkerThatCannotStartFailsAtOnce) {
    sim::InjectFault("CreateThread", ERROR_NOT_ENOUGH_MEMORY);
    OpenDialog();
    Run();

    EXPECT_TRUE(Events().empty());
    EXPECT_EQ("Uninstallation process failed", Message());
    EXPECT_EQ("Quit", ButtonText());
    EXPECT_EQ(std::vector<UINT>{0xFFFFFFFF}, sim::Beeps());
    EXPECT_FALSE(sim::Exists(kLog));
    PressButton();
    ASSERT_TRUE(WaitForDialogEnd());
    EXPECT_EQ(IDCANCEL, m_modalResult);
}

} // namespace
