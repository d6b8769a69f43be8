// The rest of the main dialog: system menu and About box, the minimised icon, the status line
// without a system text, and the application's end, also while a run is still going on.
#include "app_fixture.h"

#include "trace/trace_state.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace apptest;

namespace {

// Holds the worker in its first pause of `milliseconds` until released.
class WorkerHeldInPause {
public:
    explicit WorkerHeldInPause(DWORD milliseconds) {
        sim::OnSleep([this, milliseconds](DWORD asked) {
            if (asked != milliseconds)
                return;
            std::unique_lock<std::mutex> lock(m_lock);
            m_held = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_released; });
        });
    }
    ~WorkerHeldInPause() { Release(); }
    bool WaitUntilHeld() {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::seconds(5), [this] { return m_held; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(m_lock);
        m_released = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_held = false;
    bool m_released = false;
};

class DialogMiscTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        InstallProduct();
        WriteProfile(ProductProfile().Text());
    }

    // The program's resources with string 101 replaced by `aboutText`, or left out when null.
    void UseResourcesWithAboutText(const char* aboutText) {
        const sim::ResourceSet* program = ProgramResources();
        m_strings.clear();
        for (int i = 0; i < program->stringCount; ++i) {
            sim::StringResource entry = program->strings[i];
            if (entry.id == IDS_ABOUT_MENU) {
                if (!aboutText)
                    continue;
                entry.text = aboutText;
            }
            m_strings.push_back(entry);
        }
        sim::ResourceSet resources = *program;
        resources.strings = m_strings.data();
        resources.stringCount = static_cast<int>(m_strings.size());
        sim::UseResources(&resources);
    }

    std::vector<sim::StringResource> m_strings;
};

TEST_F(DialogMiscTest, AboutItemFollowsASeparatorAtTheEndOfTheSystemMenu) {
    OpenDialog();
    std::vector<sim::MenuItem> items = sim::SystemMenuItems(m_window);
    ASSERT_GE(items.size(), 2u);
    const sim::MenuItem& separator = items[items.size() - 2];
    const sim::MenuItem& about = items.back();
    EXPECT_TRUE(separator.separator);
    EXPECT_FALSE(about.separator);
    EXPECT_EQ(static_cast<UINT_PTR>(ID_SYSCMD_ABOUT), about.id);
    EXPECT_EQ("&About...", about.text);
    for (size_t i = 0; i + 2 < items.size(); ++i)
        EXPECT_NE(static_cast<UINT_PTR>(ID_SYSCMD_ABOUT), items[i].id);
}

class AboutTextTest : public DialogMiscTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(AboutTextTest, WithoutTheTextTheSystemMenuIsLeftAsItIs) {
    OpenDialog();
    std::vector<sim::MenuItem> standard = sim::SystemMenuItems(m_window);
    ASSERT_TRUE(sim::PressEscape(m_window));
    ASSERT_TRUE(WaitForDialogEnd());

    UseResourcesWithAboutText(GetParam());
    m_uiEnded = false;
    OpenDialog();
    std::vector<sim::MenuItem> items = sim::SystemMenuItems(m_window);
    EXPECT_EQ(standard.size() - 2, items.size());
    for (const sim::MenuItem& item : items)
        EXPECT_FALSE(item.separator || item.id == ID_SYSCMD_ABOUT) << item.text;
}

INSTANTIATE_TEST_SUITE_P(Strings, AboutTextTest, ::testing::Values("", nullptr),
                         [](const ::testing::TestParamInfo<const char*>& p) {
                             return p.param ? "Empty" : "Missing";
                         });

class AboutCommandTest : public DialogMiscTest, public ::testing::WithParamInterface<UINT> {};

// The application's dialog: the About box is owned by it and keeps it disabled while it is up.
TEST_P(AboutCommandTest, OpensTheAboutBoxOverTheDisabledMainDialog) {
    RunApplication();
    ASSERT_TRUE(sim::SendSystemCommand(m_window, GetParam()));
    HWND about = sim::WaitForDialog(IDD_ABOUT);
    ASSERT_NE(nullptr, about);
    EXPECT_EQ("About Kelvane", sim::WindowText(about));
    EXPECT_EQ(m_window, GetParent(about));
    EXPECT_FALSE(IsWindowEnabled(m_window));

    ASSERT_TRUE(sim::ClickButton(about, IDOK));
    ASSERT_TRUE(sim::WaitForDialogClosed(about));
    EXPECT_TRUE(WaitUntil([this] { return IsWindowEnabled(m_window) != FALSE; }));
    EXPECT_EQ("Start", ButtonText());
    ASSERT_TRUE(sim::PressEscape(m_window));
    ASSERT_TRUE(WaitForDialogEnd());
    EXPECT_FALSE(m_initResult);
}

// The command's low four bits are the system's own and are ignored.
INSTANTIATE_TEST_SUITE_P(Commands, AboutCommandTest,
                         ::testing::Values(static_cast<UINT>(ID_SYSCMD_ABOUT),
                                           static_cast<UINT>(ID_SYSCMD_ABOUT | 0x3)));

TEST_F(DialogMiscTest, OtherSystemCommandsGetTheSystemsHandling) {
    OpenDialog();
    ASSERT_TRUE(sim::SendSystemCommand(m_window, SC_MINIMIZE));
    EXPECT_TRUE(WaitUntil([this] { return IsIconic(m_window) != FALSE; }));
    EXPECT_EQ(nullptr, sim::FindDialog(IDD_ABOUT));
    ASSERT_TRUE(sim::SendSystemCommand(m_window, SC_CLOSE));
    ASSERT_TRUE(WaitForDialogEnd());
    EXPECT_EQ(IDCANCEL, m_modalResult);
}

TEST_F(DialogMiscTest, MinimisedDialogDrawsItsIconInTheMiddle) {
    OpenDialog();
    ASSERT_TRUE(sim::WaitForIdle(m_window));
    EXPECT_TRUE(sim::DrawnIcons().empty());

    sim::SetMinimized(m_window, true);
    ASSERT_TRUE(sim::WaitForIdle(m_window));
    std::vector<sim::DrawnIcon> icons = sim::DrawnIcons();
    ASSERT_EQ(1u, icons.size());
    RECT client;
    ASSERT_TRUE(GetClientRect(m_window, &client));
    EXPECT_EQ(m_window, icons[0].window);
    EXPECT_EQ((client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2, icons[0].x);
    EXPECT_EQ((client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2, icons[0].y);
    EXPECT_EQ(IDI_MAIN, sim::IconResourceId(icons[0].icon));
    for (const sim::PaintRecord& paint : sim::Paints())
        EXPECT_TRUE(paint.ended);

    sim::SetMinimized(m_window, false);
    ASSERT_TRUE(sim::WaitForIdle(m_window));
    EXPECT_EQ(1u, sim::DrawnIcons().size());
}

TEST_F(DialogMiscTest, DraggingTheMinimisedWindowShowsTheIcon) {
    OpenDialog();
    HICON icon = reinterpret_cast<HICON>(SendMessageA(m_window, WM_QUERYDRAGICON, 0, 0));
    EXPECT_EQ(IDI_MAIN, sim::IconResourceId(icon));
}

TEST_F(DialogMiscTest, StatusLineEndsInFailedWithoutASystemText) {
    sim::InjectFault("FormatMessageA", ERROR_MR_MID_NOT_FOUND, 0, sim::Always);
    OpenDialog();
    Run(IDNO);
    EXPECT_EQ("\n -- Creating uninstallation profile... Failed", Status());
}

TEST_F(DialogMiscTest, QuitEndsTheApplicationsInitialisation) {
    sim::SetAdministrator(sim::Admin::Absent);
    RunApplication();
    PressButton();
    ASSERT_TRUE(WaitForDialogEnd());
    EXPECT_FALSE(m_initResult);
    EXPECT_EQ(nullptr, theApp.m_pMainWnd);
    EXPECT_FALSE(sim::WaitForProcessExit(50));
}

// The run has ended when ESC is pressed: nothing is left to stop, the application returns.
TEST_F(DialogMiscTest, EscapeAfterTheRunReturnsFromTheApplication) {
    RunApplication();
    Run();
    ASSERT_EQ("Restart", ButtonText());
    ASSERT_TRUE(sim::PressEscape(m_window));
    ASSERT_TRUE(WaitForDialogEnd());
    EXPECT_FALSE(m_initResult);
    EXPECT_FALSE(sim::WaitForProcessExit(50));
    EXPECT_TRUE(sim::ExitWindowsRequests().empty());
}

// ESC while the worker runs: the dialog ends at once, without a cancel, and the application ends
// the process rather than leave the worker with a dialog and an engine that are going away. The
// log says first that the run was abandoned, and in which stage.
TEST_F(DialogMiscTest, EscapeDuringARunEndsTheProcess) {
    WorkerHeldInPause held(2000);
    RunApplication();
    PressButton();
    bool running = held.WaitUntilHeld();
    bool escaped = running && sim::PressEscape(m_window);
    bool closed = escaped && sim::WaitForDialogClosed(m_window);
    UINT exitCode = 1;
    bool exited = closed && sim::WaitForProcessExit(5000, &exitCode);
    std::vector<std::string> log = LogLines();
    held.Release();
    ASSERT_TRUE(running);
    ASSERT_TRUE(closed);
    ASSERT_TRUE(exited);
    EXPECT_EQ(0u, exitCode);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("1223 RunAbandoned: Stopping services...", log.back());

    // The worker goes on (only the simulation lets it): it was never told to cancel.
    HANDLE worker = g_workerContext.thread;
    ASSERT_NE(nullptr, worker);
    ASSERT_TRUE(WaitUntil([worker] { return WaitForSingleObject(worker, 0) == WAIT_OBJECT_0; }));
    EXPECT_EQ(0u, log[1].find("0000 InitConfigFile")) << log[1];
}

// While the dialog waits for the worker after Cancel, it still paints and looks at its queue, so
// the system never shows it as not responding; posted messages wait until the worker has ended.
TEST_F(DialogMiscTest, WaitingForTheWorkerKeepsTheWindowPaintedAndResponding) {
    WorkerHeldInPause held(2000);
    OpenDialog();
    PressButton();
    ASSERT_TRUE(held.WaitUntilHeld());
    ASSERT_TRUE(WaitUntil([this] { return ButtonText() == "Cancel" && ButtonEnabled(); }));
    PressButton();
    bool waiting = WaitUntil([this] { return m_dialog->m_state == STATE_CANCELLED; });
    size_t eventsBefore = Events().size();
    sim::SetMinimized(m_window, true);
    bool painted = WaitUntil([] { return !sim::DrawnIcons().empty(); }, 2000);
    bool responding = true;
    for (int i = 0; i < 15; ++i) {
        responding = responding && !sim::IsNotResponding(m_window, 1000);
        Sleep(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    size_t eventsDuring = Events().size();
    held.Release();
    ASSERT_TRUE(waiting);
    EXPECT_TRUE(painted);
    EXPECT_TRUE(responding);
    EXPECT_EQ(eventsBefore, eventsDuring);

    sim::SetMinimized(m_window, false);
    ASSERT_TRUE(WaitForRunEnd());
    EXPECT_EQ((Names{"REFRESH", "STAGE 106", "RESULT 0", "STAGE 112", "RESULT 0", "STAGE 110",
                     "RESULT 1223", "REFRESH"}),
              Events());
    EXPECT_EQ("Quit", ButtonText());
}

// One run at a time on the machine: a second copy, wherever it was started from, says so and
// ends without changing anything; once the first has ended, a copy starts again.
TEST_F(DialogMiscTest, ASecondCopyIsRefusedWhileOneRuns) {
    RunApplication();
    sim::SetModulePath("D:\\Elsewhere\\Kelvane.exe");
    sim::AddFolder("D:\\Elsewhere");
    BOOL second = TRUE;
    std::thread copy([&second] { second = theApp.InitInstance(); });
    copy.join();
    EXPECT_FALSE(second);
    std::vector<sim::MessageBoxRecord> boxes = sim::MessageBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(Text(IDS_ALREADY_RUNNING), boxes[0].text);
    EXPECT_EQ(nullptr, boxes[0].owner);
    EXPECT_TRUE(IsWindow(m_window));
    EXPECT_EQ(m_window, sim::FindDialog(IDD_UNINSTALL));
    EXPECT_EQ("Start", ButtonText());
    EXPECT_FALSE(sim::Exists("D:\\Elsewhere\\Kelvane.log"));
    EXPECT_FALSE(sim::Exists(kLog));

    ASSERT_TRUE(sim::PressEscape(m_window));
    ASSERT_TRUE(WaitForDialogEnd());
    // A system that knows no global names refuses the first name: the plain one serves.
    sim::InjectFault("CreateMutexA", ERROR_INVALID_NAME);
    m_uiEnded = false;
    RunApplication();
    EXPECT_EQ("Start", ButtonText());
    EXPECT_EQ(1u, sim::MessageBoxes().size());
}

} // namespace
