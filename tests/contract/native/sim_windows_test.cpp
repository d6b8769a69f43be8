// The simulated window system: dialogs, queues, cross-thread sends, boxes, menus, texts.
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// ---- Resources of the tests -----------------------------------------------------------------

const int kMainDialog = 200;
const int kChildDialog = 201;
const int kPlainDialog = 202;
const int kGo = 300;
const int kLabel = 301;
const int kIcon = 128;

const sim::ControlTemplate kMainControls[] = {
    {kGo, "Button", "Go", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 10, 10, 50, 14},
    {kLabel, "Static", "Label", SS_LEFT, 0, 10, 30, 80, 8},
    {-1, "Button", "", BS_GROUPBOX, 0, 2, 2, 96, 46},
    {IDCANCEL, "Button", "Cancel", WS_TABSTOP, 0, 60, 10, 30, 14},
};
const sim::ControlTemplate kChildControls[] = {
    {IDOK, "Button", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 5, 5, 40, 14},
};
const DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
const sim::DialogTemplate kDialogs[] = {
    {kMainDialog, "Main Test", kDialogStyle, 0, 0, 0, 100, 50, "MS Sans Serif", 8, kMainControls,
     4},
    {kChildDialog, "Child Test", kDialogStyle, 0, 0, 0, 60, 30, "MS Sans Serif", 8, kChildControls,
     1},
    {kPlainDialog, "Plain Test", WS_POPUP | WS_CAPTION, 0, 0, 0, 60, 30, "MS Sans Serif", 8,
     kChildControls, 1},
};
const sim::StringResource kStrings[] = {{1, "Hello"}, {2, "Exactly ten"}};
const int kIcons[] = {kIcon};
const sim::ResourceSet kResources = {kDialogs, 3, kStrings, 2, kIcons, 1};

// ---- A dialog procedure that records what it sees ----------------------------------------------

const UINT kEnd = WM_USER + 50;           // EndDialog(wParam)
const UINT kDouble = WM_USER + 60;        // result lParam * 2 through DWLP_MSGRESULT
const UINT kNested = WM_USER + 70;        // runs the child dialog owned by this one
const UINT kWaitForWorker = WM_USER + 80; // starts a worker that sends kDouble, waits as the app
const UINT kBlockOnWorker = WM_USER + 85; // the same, but waits without serving sent messages
const UINT kMark = WM_USER + 86;
const UINT kQuit = WM_USER + 87;   // PostQuitMessage(wParam)
const UINT kRelay = WM_USER + 90;  // sends kBounce to the dialog in wParam
const UINT kBounce = WM_USER + 91; // sends kDouble back to the dialog in wParam

struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD thread;
};

std::mutex g_seenLock;
std::vector<Seen> g_seen;

void Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::mutex> hold(g_seenLock);
    g_seen.push_back(Seen{window, message, wParam, lParam, GetCurrentThreadId()});
}

std::vector<Seen> SeenOf(UINT message) {
    std::lock_guard<std::mutex> hold(g_seenLock);
    std::vector<Seen> out;
    for (const Seen& s : g_seen)
        if (s.message == message)
            out.push_back(s);
    return out;
}

std::vector<UINT> SeenPrivate() {
    std::lock_guard<std::mutex> hold(g_seenLock);
    std::vector<UINT> out;
    for (const Seen& s : g_seen)
        if (s.message >= WM_USER)
            out.push_back(s.message);
    return out;
}

DWORD WINAPI SendingWorker(LPVOID dialog) {
    SendMessageA(static_cast<HWND>(dialog), kDouble, 0, 7);
    return 0;
}

INT_PTR Result(HWND dialog, LRESULT value) {
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, value);
    return TRUE;
}

INT_PTR CALLBACK TestProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

INT_PTR WaitForWorker(HWND dialog, bool serveSends) {
    PostMessageA(dialog, kMark, 0, 0);
    HANDLE worker = CreateThread(nullptr, 0, SendingWorker, dialog, 0, nullptr);
    if (!serveSends) {
        WaitForSingleObject(worker, INFINITE);
        return TRUE;
    }
    for (;;) {
        DWORD woke = MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woke != WAIT_OBJECT_0 + 1)
            break;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(worker);
    return TRUE;
}

INT_PTR PaintIconWhenMinimized(HWND dialog) {
    if (!IsIconic(dialog))
        return FALSE;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    RECT client;
    GetClientRect(dialog, &client);
    int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kIcon)));
    EndPaint(dialog, &paint);
    return TRUE;
}

INT_PTR CALLBACK TestProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    Record(dialog, message, wParam, lParam);
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    case WM_PAINT:
        return PaintIconWhenMinimized(dialog);
    case kEnd:
        EndDialog(dialog, static_cast<INT_PTR>(wParam));
        return TRUE;
    case kDouble:
        return Result(dialog, lParam * 2);
    case kQuit:
        PostQuitMessage(static_cast<int>(wParam));
        return TRUE;
    case kNested:
        return Result(dialog, DialogBoxParamA(GetModuleHandleA(nullptr),
                                              MAKEINTRESOURCEA(kChildDialog), dialog, TestProc, 0));
    case kWaitForWorker:
        return WaitForWorker(dialog, true);
    case kBlockOnWorker:
        return WaitForWorker(dialog, false);
    case kRelay:
        return Result(dialog, SendMessageA(reinterpret_cast<HWND>(wParam), kBounce,
                                           reinterpret_cast<WPARAM>(dialog), 0));
    case kBounce:
        return Result(dialog, SendMessageA(reinterpret_cast<HWND>(wParam), kDouble, 0, 5) + 1);
    default:
        return FALSE;
    }
}

// Runs one modal dialog on its own thread, as the program's dialog runs beside the tests.
class DialogThread {
public:
    // Waits until the dialog is open: the newest open dialog of the template, other than the one
    // that was open before.
    HWND Open(int templateId, LPARAM param = 0, HWND owner = nullptr) {
        HWND before = sim::FindDialog(templateId);
        m_thread = std::thread([this, templateId, param, owner] {
            m_threadId = GetCurrentThreadId();
            m_result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId),
                                       owner, TestProc, param);
        });
        for (int i = 0; i < 5000 && (!m_dialog || m_dialog == before); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            m_dialog = sim::FindDialog(templateId);
        }
        return m_dialog != before ? m_dialog : nullptr;
    }
    INT_PTR Join() {
        if (m_thread.joinable())
            m_thread.join();
        return m_result;
    }
    DWORD ThreadId() const { return m_threadId; }
    ~DialogThread() {
        if (m_thread.joinable()) {
            EndDialog(m_dialog, -2);
            m_thread.join();
        }
    }

private:
    std::thread m_thread;
    HWND m_dialog = nullptr;
    std::atomic<DWORD> m_threadId{0};
    std::atomic<INT_PTR> m_result{0};
};

class WindowSystem : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        sim::UseResources(&kResources);
        std::lock_guard<std::mutex> hold(g_seenLock);
        g_seen.clear();
    }
    void TearDown() override { sim::SetSendDeadlockLimit(20000); }
};

using WindowDialogs = WindowSystem;
using WindowQueues = WindowSystem;
using WindowMessageBoxes = WindowSystem;
using WindowResources = WindowSystem;
using WindowMenusAndPaint = WindowSystem;

// ---- Dialogs -----------------------------------------------------------------------------------

TEST_F(WindowDialogs, InitDialogGetsTheParamAfterTheFontAndFocusGoesToTheFirstTabStop) {
    DialogThread run;
    HWND dialog = run.Open(kMainDialog, 0x1234);
    ASSERT_NE(nullptr, dialog);
    auto init = SeenOf(WM_INITDIALOG);
    ASSERT_EQ(1u, init.size());
    EXPECT_EQ(0x1234, init[0].lParam);
    EXPECT_EQ(reinterpret_cast<WPARAM>(GetDlgItem(dialog, kGo)), init[0].wParam);
    EXPECT_EQ(run.ThreadId(), init[0].thread);
    EXPECT_NE(GetCurrentThreadId(), init[0].thread);
    ASSERT_EQ(1u, SeenOf(WM_SETFONT).size());
    EXPECT_EQ(kGo, sim::FocusedControl(dialog));
    EXPECT_EQ("Main Test", sim::WindowText(dialog));
    EXPECT_EQ("Go", sim::ControlText(dialog, kGo));
    EXPECT_EQ(dialog, sim::FindDialog("Main Test"));
    RECT client;
    ASSERT_TRUE(GetClientRect(dialog, &client));
    EXPECT_EQ(150, client.right); // 100 units * 6 / 4
    EXPECT_EQ(81, client.bottom); // 50 units * 13 / 8, rounded
}

TEST_F(WindowDialogs, ClickOnAnEnabledButtonReachesTheDialogAsBnClicked) {
    DialogThread run;
    HWND dialog = run.Open(kMainDialog);
    ASSERT_TRUE(sim::ClickButton(dialog, kGo));
    ASSERT_TRUE(sim::WaitForIdle(dialog));
    auto commands = SeenOf(WM_COMMAND);
    ASSERT_EQ(1u, commands.size());
    EXPECT_EQ(MAKEWPARAM(kGo, BN_CLICKED), commands[0].wParam);
    EXPECT_EQ(reinterpret_cast<LPARAM>(GetDlgItem(dialog, kGo)), commands[0].lParam);
    EXPECT_EQ(run.ThreadId(), commands[0].thread);
}

TEST_F(WindowDialogs, DisabledButtonIgnoresClicksAndLosesTheFocus) {
    DialogThread run;
    HWND dialog = run.Open(kMainDialog);
    HWND go = GetDlgItem(dialog, kGo);
    EXPECT_FALSE(EnableWindow(go, FALSE)); // it was enabled
    EXPECT_FALSE(sim::IsControlEnabled(dialog, kGo));
    EXPECT_EQ(0, sim::FocusedControl(dialog));
    EXPECT_EQ(nullptr, SetFocus(go));
    EXPECT_EQ(0, sim::FocusedControl(dialog));
    sim::ClickButton(dialog, kGo);
    ASSERT_TRUE(sim::WaitForIdle(dialog));
    EXPECT_TRUE(SeenOf(WM_COMMAND).empty());
    EXPECT_TRUE(EnableWindow(go, TRUE)); // it was disabled
    SetFocus(go);
    EXPECT_EQ(kGo, sim::FocusedControl(dialog));
}

TEST_F(WindowDialogs, EndDialogEndsTheLoopWithItsResultAndDestroysTheWindow) {
    DialogThread run;
    HWND dialog = run.Open(kMainDialog);
    HWND go = GetDlgItem(dialog, kGo);
    PostMessageA(dialog, kEnd, 42, 0);
    EXPECT_EQ(42, run.Join());
    EXPECT_EQ(1u, SeenOf(WM_DESTROY).size());
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(IsWindow(go));
    EXPECT_EQ(nullptr, sim::FindDialog(kMainDialog));
    SetLastError(0);
    EXPECT_EQ(0, SendMessageA(dialog, kDouble, 0, 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    EXPECT_FALSE(PostMessageA(dialog, kMark, 0, 0));
}

TEST_F(WindowDialogs, CloseMessageCloseBoxAndEscapeAllBecomeCancel) {
    bool (*const closers[])(HWND) = {sim::CloseDialog, sim::PressCloseBox, sim::PressEscape};
    for (auto close : closers) {
        DialogThread run;
        HWND dialog = run.Open(kMainDialog);
        ASSERT_TRUE(close(dialog));
        EXPECT_EQ(IDCANCEL, run.Join());
    }
    auto commands = SeenOf(WM_COMMAND);
    ASSERT_EQ(3u, commands.size());
    for (const Seen& command : commands)
        EXPECT_EQ(static_cast<WPARAM>(IDCANCEL), LOWORD(command.wParam));
}

TEST_F(WindowDialogs, EnterClicksTheDefaultButton) {
    DialogThread run;
    HWND dialog = run.Open(kChildDialog);
    ASSERT_TRUE(sim::PressEnter(dialog));
    EXPECT_EQ(IDOK, run.Join());
}

TEST_F(WindowDialogs, NestedDialogDisablesItsOwnerUntilItEnds) {
    DialogThread run;
    HWND dialog = run.Open(kMainDialog);
    PostMessageA(dialog, kNested, 0, 0);
    HWND child = sim::WaitForDialog(kChildDialog);
    ASSERT_NE(nullptr, child);
    EXPECT_EQ(dialog, GetParent(child));
    EXPECT_FALSE(IsWindowEnabled(dialog));
    // Messages for the owner are still handled by the nested loop.
    EXPECT_EQ(6, SendMessageA(dialog, kDouble, 0, 3));
    sim::ClickButton(child, IDOK);
    ASSERT_TRUE(sim::WaitForDialogClosed(child));
    ASSERT_TRUE(sim::WaitForIdle(dialog));
    EXPECT_TRUE(IsWindowEnabled(dialog));
    EXPECT_EQ(kGo, sim::FocusedControl(dialog));
    auto enables = SeenOf(WM_ENABLE);
    ASSERT_EQ(2u, enables.size());
    EXPECT_EQ(static_cast<WPARAM>(FALSE), enables[0].wParam);
    EXPECT_EQ(static_cast<WPARAM>(TRUE), enables[1].wParam);
}

TEST_F(WindowDialogs, TextsGoThroughTheWindowEvenFromAnotherThread) {
    DialogThread run;
    HWND dialog = run.Open(kMainDialog);
    EXPECT_TRUE(SetDlgItemTextA(dialog, kLabel, "Status text"));
    EXPECT_EQ("Status text", sim::ControlText(dialog, kLabel));
    char text[7];
    EXPECT_EQ(6u, GetDlgItemTextA(dialog, kLabel, text, sizeof(text)));
    EXPECT_STREQ("Status", text);
    EXPECT_EQ(11, GetWindowTextLengthA(GetDlgItem(dialog, kLabel)));
    EXPECT_TRUE(SetWindowTextA(dialog, "Renamed"));
    EXPECT_EQ("Renamed", sim::WindowText(dialog));
    EXPECT_EQ(1u, SeenOf(WM_SETTEXT).size()); // the dialog procedure saw its own caption change
    SetLastError(0);
    EXPECT_EQ(nullptr, GetDlgItem(dialog, 999));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND), GetLastError());
}

TEST_F(WindowDialogs, MissingTemplateOrOwnerFailsWithMinusOne) {
    SetLastError(0);
    EXPECT_EQ(-1, DialogBoxParamA(nullptr, MAKEINTRESOURCEA(999), nullptr, TestProc, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
    EXPECT_EQ(-1, DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kMainDialog),
                                  reinterpret_cast<HWND>(0x999990), TestProc, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    EXPECT_EQ(nullptr, sim::WaitForDialog(kMainDialog, 20));
    sim::UseResources(nullptr);
    EXPECT_EQ(-1, DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kMainDialog), nullptr, TestProc, 0));
}

TEST_F(WindowDialogs, QuitEndsTheModalLoopAndStaysQueuedForTheOuterLoop) {
    std::atomic<INT_PTR> result{-5};
    std::atomic<UINT> after{0};
    std::atomic<WPARAM> code{0};
    std::thread thread([&] {
        result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kMainDialog), nullptr,
                                 TestProc, 0);
        MSG msg = {};
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            after = msg.message;
            code = msg.wParam;
        }
    });
    HWND dialog = sim::WaitForDialog(kMainDialog);
    PostMessageA(dialog, kQuit, 9, 0);
    thread.join();
    EXPECT_EQ(0, result.load());
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), after.load());
    EXPECT_EQ(9u, code.load());
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(WindowDialogs, ResetDestroysADialogStillOpen) {
    DialogThread run;
    HWND dialog = run.Open(kMainDialog);
    sim::Reset();
    EXPECT_EQ(0, run.Join());
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(sim::WaitForIdle(dialog, 10));
}

TEST_F(WindowDialogs, WindowDataIsKeptPerWindowAndIndexesAreChecked) {
    DialogThread run;
    HWND dialog = run.Open(kMainDialog);
    HWND go = GetDlgItem(dialog, kGo);
    EXPECT_EQ(kGo, GetDlgCtrlID(go));
    EXPECT_EQ(0, SetWindowLongPtrA(go, GWLP_USERDATA, 77));
    EXPECT_EQ(77, SetWindowLongPtrA(go, GWLP_USERDATA, 78));
    EXPECT_EQ(78, GetWindowLongPtrA(go, GWLP_USERDATA));
    EXPECT_EQ(0, GetWindowLongPtrA(dialog, GWLP_USERDATA));
    SetLastError(0);
    EXPECT_EQ(0, SetWindowLongPtrA(go, DWLP_USER, 1)); // a control has no dialog data
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_INDEX), GetLastError());
    EnableWindow(go, FALSE);
    EXPECT_TRUE(GetWindowLongPtrA(go, GWL_STYLE) & WS_DISABLED);
    EXPECT_TRUE(GetWindowLongPtrA(go, GWL_STYLE) & WS_CHILD);
    // Messages of other windows are left to the caller.
    MSG msg = {go, WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}};
    DialogThread other;
    HWND second = other.Open(kChildDialog);
    EXPECT_FALSE(IsDialogMessageA(second, &msg));
    EXPECT_EQ(dialog, GetParent(go));
    EXPECT_TRUE(IsChild(dialog, go));
    EXPECT_FALSE(IsChild(second, go));
}

// ---- Queues and sends --------------------------------------------------------------------------

TEST_F(WindowQueues, PostedMessagesAreHandledInPostingOrder) {
    DialogThread run;
    HWND dialog = run.Open(kMainDialog);
    for (UINT i = 0; i < 20; ++i)
        ASSERT_TRUE(PostMessageA(dialog, WM_USER + 1 + i % 3, i, 0));
    ASSERT_TRUE(sim::WaitForIdle(dialog));
    std::vector<WPARAM> order;
    {
        std::lock_guard<std::mutex> hold(g_seenLock);
        for (const Seen& s : g_seen)
            if (s.message >= WM_USER + 1 && s.message <= WM_USER + 3)
                order.push_back(s.wParam);
    }
    ASSERT_EQ(20u, order.size());
    for (WPARAM i = 0; i < 20; ++i)
        EXPECT_EQ(i, order[i]);
}

TEST_F(WindowQueues, SendFromAnotherThreadRunsOnTheDialogThreadAndReturnsTheResult) {
    DialogThread run;
    HWND dialog = run.Open(kMainDialog);
    EXPECT_EQ(42, SendMessageA(dialog, kDouble, 0, 21));
    auto sends = SeenOf(kDouble);
    ASSERT_EQ(1u, sends.size());
    EXPECT_EQ(run.ThreadId(), sends[0].thread);
}

TEST_F(WindowQueues, SendsBetweenTwoBlockedThreadsAreServedWhileWaiting) {
    DialogThread first, second;
    HWND a = first.Open(kMainDialog);
    HWND b = second.Open(kMainDialog);
    ASSERT_NE(a, b);
    // a sends to b, whose handler sends back to a while a still waits for b.
    EXPECT_EQ(11, SendMessageA(a, kRelay, reinterpret_cast<WPARAM>(b), 0));
}

TEST_F(WindowQueues, MsgWaitServesSentMessagesButLeavesPostedOnesQueued) {
    DialogThread run;
    HWND dialog = run.Open(kMainDialog);
    PostMessageA(dialog, kWaitForWorker, 0, 0);
    ASSERT_TRUE(sim::WaitForIdle(dialog));
    // The worker's send was handled during the wait, the earlier posted mark only after it.
    std::vector<UINT> order = SeenPrivate();
    std::vector<UINT> expected = {kWaitForWorker, kDouble, kMark};
    EXPECT_EQ(expected, order);
    EXPECT_EQ(7, SeenOf(kDouble)[0].lParam);
}

TEST_F(WindowQueues, WaitingForAThreadWithoutServingSendsIsReportedAsADeadlock) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            sim::SetSendDeadlockLimit(200);
            DialogThread run;
            HWND dialog = run.Open(kMainDialog);
            PostMessageA(dialog, kBlockOnWorker, 0, 0);
            std::this_thread::sleep_for(std::chrono::seconds(10));
        },
        "does not retrieve messages");
}

TEST_F(WindowQueues, OnlyNewInputWakesAMessageWait) {
    uint64_t before = sim::ClockMilliseconds();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT),
              MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT));
    EXPECT_EQ(before + 1000, sim::ClockMilliseconds());
    PostMessageA(nullptr, WM_USER + 5, 1, 2);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0),
              MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_POSTMESSAGE));
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(QS_POSTMESSAGE, QS_POSTMESSAGE)),
              GetQueueStatus(QS_POSTMESSAGE));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_USER + 5), msg.message);
    // Still queued, but no longer new.
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(0, QS_POSTMESSAGE)), GetQueueStatus(QS_POSTMESSAGE));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT),
              MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_POSTMESSAGE));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowQueues, RangeFilterTakesMatchingMessagesFirst) {
    PostMessageA(nullptr, WM_USER + 1, 1, 0);
    PostMessageA(nullptr, WM_USER + 2, 2, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 2, WM_USER + 2, PM_REMOVE));
    EXPECT_EQ(2u, msg.wParam);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_USER + 2, WM_USER + 2, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(1u, msg.wParam);
}

TEST_F(WindowQueues, InjectedFaultsFailPostsBoxesAndWaits) {
    sim::InjectFault("PostMessageA", ERROR_NOT_ENOUGH_MEMORY);
    SetLastError(0);
    EXPECT_FALSE(PostMessageA(nullptr, WM_USER, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
    EXPECT_TRUE(PostMessageA(nullptr, WM_USER, 0, 0));
    EXPECT_EQ(2u, sim::CallCount("PostMessageA"));
    sim::InjectFault("MessageBoxA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(0, MessageBoxA(nullptr, "x", "y", MB_YESNO));
    EXPECT_TRUE(sim::MessageBoxes().empty());
    sim::InjectFault("MsgWaitForMultipleObjects", ERROR_INVALID_HANDLE);
    EXPECT_EQ(WAIT_FAILED, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(WindowQueues, QuitComesAfterThePostedMessages) {
    PostMessageA(nullptr, WM_USER + 7, 7, 0);
    PostQuitMessage(3);
    MSG msg;
    ASSERT_EQ(TRUE, GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_USER + 7), msg.message);
    ASSERT_EQ(FALSE, GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(3u, msg.wParam);
}

// ---- Message boxes -----------------------------------------------------------------------------

TEST_F(WindowMessageBoxes, AnswersComeFromTheQueueThenFromTheFirstButton) {
    sim::QueueMessageBoxAnswer(IDNO);
    EXPECT_EQ(IDNO, MessageBoxA(nullptr, "Sure?", "Question", MB_YESNO | MB_DEFBUTTON2));
    EXPECT_EQ(IDYES, MessageBoxA(nullptr, "Again?", "Question", MB_YESNO));
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, "Done", nullptr, MB_OK));
    EXPECT_EQ(IDRETRY, MessageBoxA(nullptr, "Retry", "R", MB_RETRYCANCEL));
    auto boxes = sim::MessageBoxes();
    ASSERT_EQ(4u, boxes.size());
    EXPECT_EQ("Sure?", boxes[0].text);
    EXPECT_EQ("Question", boxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_DEFBUTTON2), boxes[0].style);
    EXPECT_EQ(GetCurrentThreadId(), boxes[0].threadId);
    EXPECT_EQ("Error", boxes[2].caption);
}

TEST_F(WindowMessageBoxes, OwnerIsDisabledWhileTheBoxIsUp) {
    DialogThread run;
    HWND dialog = run.Open(kMainDialog);
    std::atomic<int> ownerEnabledDuringBox{-1};
    sim::OnMessageBox([&] { ownerEnabledDuringBox = IsWindowEnabled(dialog); });
    sim::QueueMessageBoxAnswer(IDNO);
    EXPECT_EQ(IDNO, MessageBoxA(GetDlgItem(dialog, kGo), "Sure?", "Q", MB_YESNO));
    EXPECT_EQ(0, ownerEnabledDuringBox.load());
    EXPECT_TRUE(IsWindowEnabled(dialog));
    EXPECT_EQ(GetDlgItem(dialog, kGo), sim::MessageBoxes()[0].owner);
    auto enables = SeenOf(WM_ENABLE);
    ASSERT_EQ(2u, enables.size());
    EXPECT_EQ(run.ThreadId(), enables[0].thread);
    sim::OnMessageBox(nullptr);
}

TEST_F(WindowMessageBoxes, InvalidOwnerFails) {
    SetLastError(0);
    EXPECT_EQ(0, MessageBoxA(reinterpret_cast<HWND>(0x999990), "x", "y", MB_OK));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    EXPECT_TRUE(sim::MessageBoxes().empty());
}

// ---- Resources and message texts ---------------------------------------------------------------

TEST_F(WindowResources, LoadStringCutsToTheBufferAndFailsForMissingIds) {
    char buffer[12];
    EXPECT_EQ(5, LoadStringA(GetModuleHandleA(nullptr), 1, buffer, sizeof(buffer)));
    EXPECT_STREQ("Hello", buffer);
    EXPECT_EQ(11, LoadStringA(GetModuleHandleA(nullptr), 2, buffer, sizeof(buffer)));
    EXPECT_STREQ("Exactly ten", buffer);
    EXPECT_EQ(3, LoadStringA(GetModuleHandleA(nullptr), 1, buffer, 4));
    EXPECT_STREQ("Hel", buffer);
    EXPECT_EQ(0, LoadStringA(GetModuleHandleA(nullptr), 77, buffer, sizeof(buffer)));
    EXPECT_STREQ("", buffer);
}

TEST_F(WindowResources, IconsKeepOneHandleAndAreForgottenByReset) {
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kIcon));
    ASSERT_NE(nullptr, icon);
    EXPECT_EQ(icon, LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kIcon)));
    EXPECT_EQ(kIcon, sim::IconResourceId(icon));
    EXPECT_EQ(nullptr, LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(129)));
    EXPECT_NE(nullptr, LoadIconA(nullptr, IDI_APPLICATION));
    sim::Reset();
    EXPECT_EQ(nullptr, LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kIcon)));
    EXPECT_EQ(0, sim::IconResourceId(icon));
}

std::string SystemText(DWORD code) {
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                      FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (!length)
        return "<none>";
    std::string out(text);
    EXPECT_EQ(strlen(text), length);
    LocalFree(text);
    return out;
}

TEST_F(WindowResources, SystemTextsEndInCrLfAsWindowsGivesThem) {
    EXPECT_EQ("The operation completed successfully.\r\n", SystemText(0));
    EXPECT_EQ("The system cannot find the file specified.\r\n", SystemText(2));
    EXPECT_EQ("Access is denied.\r\n", SystemText(5));
    EXPECT_EQ("The data is invalid.\r\n", SystemText(13));
    EXPECT_EQ("No more data is available.\r\n", SystemText(259));
    EXPECT_EQ("The operation was canceled by the user.\r\n", SystemText(1223));
    EXPECT_EQ("The configuration data for this product is corrupt.  Contact your support "
              "personnel.\r\n",
              SystemText(1610));
}

TEST_F(WindowResources, UnknownCodesAndSmallBuffersGiveNoText) {
    SetLastError(0);
    EXPECT_EQ("<none>", SystemText(0xDEAD));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND), GetLastError());
    char small[10];
    EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, small, sizeof(small),
                                 nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    char fits[32];
    EXPECT_EQ(19u, FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, fits, sizeof(fits),
                                  nullptr));
    EXPECT_STREQ("Access is denied.\r\n", fits);
}

// ---- System menus, painting, sounds ------------------------------------------------------------

TEST_F(WindowMenusAndPaint, SystemMenuKeepsAppendedItemsAfterTheDefaults) {
    DialogThread run;
    HWND dialog = run.Open(kMainDialog);
    HMENU menu = GetSystemMenu(dialog, FALSE);
    ASSERT_NE(nullptr, menu);
    EXPECT_TRUE(AppendMenuA(menu, MF_SEPARATOR, 0, nullptr));
    EXPECT_TRUE(AppendMenuA(menu, MF_STRING, 0x10, "&About..."));
    auto items = sim::SystemMenuItems(dialog);
    ASSERT_EQ(4u, items.size());
    EXPECT_EQ(static_cast<UINT_PTR>(SC_CLOSE), items[1].id);
    EXPECT_TRUE(items[2].separator);
    EXPECT_EQ(0x10u, items[3].id);
    EXPECT_EQ("&About...", items[3].text);
    EXPECT_EQ(menu, GetSystemMenu(dialog, FALSE));
    EXPECT_EQ(nullptr, GetSystemMenu(dialog, TRUE));
    EXPECT_EQ(2u, sim::SystemMenuItems(dialog).size());
    SetLastError(0);
    EXPECT_FALSE(AppendMenuA(menu, MF_STRING, 0x20, "Stale"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE), GetLastError());
}

TEST_F(WindowMenusAndPaint, DialogWithoutSysMenuStyleHasNoSystemMenu) {
    DialogThread run;
    HWND dialog = run.Open(kPlainDialog);
    EXPECT_EQ(nullptr, GetSystemMenu(dialog, FALSE));
    EXPECT_TRUE(sim::SystemMenuItems(dialog).empty());
}

TEST_F(WindowMenusAndPaint, SystemCommandsReachTheDialogAndMinimizePaintsTheIcon) {
    DialogThread run;
    HWND dialog = run.Open(kMainDialog);
    ASSERT_TRUE(sim::WaitForIdle(dialog));
    auto firstPaints = sim::Paints();
    ASSERT_EQ(1u, firstPaints.size()); // shown once, painted by the default procedure
    EXPECT_TRUE(firstPaints[0].ended);
    sim::SendSystemCommand(dialog, 0x10);
    sim::SendSystemCommand(dialog, SC_MINIMIZE);
    ASSERT_TRUE(sim::WaitForIdle(dialog));
    auto commands = SeenOf(WM_SYSCOMMAND);
    ASSERT_EQ(2u, commands.size());
    EXPECT_EQ(0x10u, commands[0].wParam);
    EXPECT_TRUE(IsIconic(dialog));
    auto drawn = sim::DrawnIcons();
    ASSERT_EQ(1u, drawn.size());
    EXPECT_EQ(dialog, drawn[0].window);
    EXPECT_EQ((150 - 32 + 1) / 2, drawn[0].x);
    EXPECT_EQ((81 - 32 + 1) / 2, drawn[0].y);
    EXPECT_EQ(kIcon, sim::IconResourceId(drawn[0].icon));
    EXPECT_FALSE(DrawIcon(sim::Paints().back().dc, 0, 0, drawn[0].icon)); // context released
}

TEST_F(WindowMenusAndPaint, WindowIconsBeepsAndRestartRequestsAreRecorded) {
    DialogThread run;
    HWND dialog = run.Open(kMainDialog);
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kIcon));
    EXPECT_EQ(0, SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)));
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    EXPECT_EQ(icon, sim::WindowIcons(dialog).bigIcon);
    EXPECT_EQ(icon, sim::WindowIcons(dialog).smallIcon);
    MessageBeep(0xFFFFFFFF);
    MessageBeep(MB_ICONASTERISK);
    ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0);
    EXPECT_EQ((std::vector<UINT>{0xFFFFFFFF, MB_ICONASTERISK}), sim::Beeps());
    EXPECT_EQ((std::vector<UINT>{EWX_REBOOT | EWX_FORCE}), sim::ExitWindowsRequests());
    EXPECT_EQ(32, GetSystemMetrics(SM_CXICON));
    PostMessageA(dialog, kEnd, 0, 0);
    run.Join();
    sim::Reset();
    EXPECT_TRUE(sim::Beeps().empty());
    EXPECT_TRUE(sim::ExitWindowsRequests().empty());
}

} // namespace
