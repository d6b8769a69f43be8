// Window system: dialogs from a resource template, their controls and results, sent and posted
// messages across threads, thread queues, painting and message boxes answered as a user would.
#include "contract.h"
#include "contract_dialogs.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

const UINT kEnd = WM_USER + 50;          // EndDialog(wParam)
const UINT kDouble = WM_USER + 51;       // result lParam * 2 through DWLP_MSGRESULT
const UINT kMark = WM_USER + 52;         // only recorded
const UINT kPostThenSend = WM_USER + 53; // posts kMark, then sends kDouble to itself
const UINT kServeWorker = WM_USER + 54;  // waits for a worker's send as the program's dialog does
const UINT kRepaint = WM_USER + 55;      // invalidates itself and runs the paint messages
const UINT kFocus = WM_USER + 56;        // SetFocus(control lParam); result: the focus after it

struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD thread;
};

std::mutex g_seenLock;
std::vector<Seen> g_seen;
std::atomic<HWND> g_dialog{nullptr};
std::atomic<LRESULT> g_workerResult{0};
std::atomic<int> g_paintsOfDialog{0};
std::atomic<int> g_paintsLeft{-1};
// The dialog's paint as the program's when minimised: its icon drawn through BeginPaint.
std::atomic<bool> g_paintIcon{false};
std::atomic<int> g_iconsDrawn{0};
std::atomic<HWND> g_focusBefore{nullptr};

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

INT_PTR Result(HWND dialog, LRESULT value) {
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, value);
    return TRUE;
}

DWORD WINAPI SendingWorker(LPVOID dialog) {
    g_workerResult = SendMessageA(static_cast<HWND>(dialog), kDouble, 0, 7);
    return 0;
}

DWORD WINAPI FinishAtOnce(LPVOID) {
    return 0;
}

// The program's wait for its worker: sent messages are served, posted ones stay queued.
INT_PTR ServeWorker(HWND dialog) {
    PostMessageA(dialog, kMark, 0, 0);
    HANDLE worker = CreateThread(nullptr, 0, SendingWorker, dialog, 0, nullptr);
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

// Takes out and dispatches the thread's paint messages; how many were the dialog's.
int RunPaints(HWND dialog) {
    int ofDialog = 0;
    MSG msg;
    for (int i = 0; i < 50 && PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++i) {
        if (msg.hwnd == dialog)
            ++ofDialog;
        DispatchMessageA(&msg);
    }
    return ofDialog;
}

INT_PTR Repaint(HWND dialog) {
    RunPaints(dialog);
    InvalidateRect(dialog, nullptr, TRUE);
    g_paintsOfDialog = RunPaints(dialog);
    MSG msg;
    g_paintsLeft = PeekMessageA(&msg, dialog, WM_PAINT, WM_PAINT, PM_NOREMOVE) ? 1 : 0;
    return TRUE;
}

INT_PTR PaintIcon(HWND dialog) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    if (dc && DrawIcon(dc, 0, 0, LoadIconA(nullptr, IDI_APPLICATION)))
        ++g_iconsDrawn;
    EndPaint(dialog, &paint);
    return TRUE;
}

INT_PTR Focus(HWND dialog, LPARAM id) {
    g_focusBefore = SetFocus(GetDlgItem(dialog, static_cast<int>(id)));
    return Result(dialog, reinterpret_cast<LRESULT>(GetFocus()));
}

INT_PTR CALLBACK TestProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard<std::mutex> hold(g_seenLock);
        g_seen.push_back(Seen{message, wParam, lParam, GetCurrentThreadId()});
    }
    switch (message) {
    case WM_INITDIALOG:
        g_dialog = dialog;
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == KV_CONTRACT_GO) {
            EndDialog(dialog, 42);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    case kEnd:
        EndDialog(dialog, static_cast<INT_PTR>(wParam));
        return TRUE;
    case kDouble:
        return Result(dialog, lParam * 2);
    case kPostThenSend:
        PostMessageA(dialog, kMark, 0, 0);
        return Result(dialog, SendMessageA(dialog, kDouble, 0, lParam) + 1);
    case kServeWorker:
        return ServeWorker(dialog);
    case kRepaint:
        return Repaint(dialog);
    case kFocus:
        return Focus(dialog, lParam);
    case WM_PAINT:
        return g_paintIcon ? PaintIcon(dialog) : FALSE;
    default:
        return FALSE;
    }
}

// Runs the test dialog modally on its own thread, as the program's dialog runs beside its worker.
class DialogThread {
public:
    explicit DialogThread(LPARAM param = 0) {
        g_dialog = nullptr;
        m_thread = std::thread([this, param] {
            m_threadId = GetCurrentThreadId();
            m_result =
                DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(KV_CONTRACT_DIALOG),
                                nullptr, TestProc, param);
            m_done = true;
        });
        // Real time: the dialog runs on the other thread. It shows once its loop runs.
        for (int i = 0; i < 10000 && !m_done && !(g_dialog && IsWindowVisible(g_dialog)); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        m_dialog = g_dialog;
    }
    ~DialogThread() {
        if (m_thread.joinable()) {
            if (!m_done && IsWindow(m_dialog))
                PostMessageA(m_dialog, kEnd, static_cast<WPARAM>(-2), 0);
            m_thread.join();
        }
    }
    HWND Dialog() const { return m_dialog; }
    HWND Item(int id) const { return GetDlgItem(m_dialog, id); }
    DWORD ThreadId() const { return m_threadId; }
    INT_PTR Join() {
        if (m_thread.joinable())
            m_thread.join();
        return m_result;
    }

private:
    std::thread m_thread;
    HWND m_dialog = nullptr;
    std::atomic<DWORD> m_threadId{0};
    std::atomic<INT_PTR> m_result{0};
    std::atomic<bool> m_done{false};
};

std::string TextOf(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

class WindowSystem : public contract::Test {
protected:
    void SetUp() override {
        contract::Test::SetUp();
        std::lock_guard<std::mutex> hold(g_seenLock);
        g_seen.clear();
    }
};

using WindowDialogs = WindowSystem;
using WindowMessages = WindowSystem;
using WindowQueues = WindowSystem;
using WindowMessageBoxes = WindowSystem;

// ---- Dialogs
// -------------------------------------------------------------------------------------

TEST_F(WindowDialogs, TemplateGivesTheCaptionAndControlsAndInitDialogGetsTheParam) {
    DialogThread run(0x1234);
    HWND dialog = run.Dialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(KV_CONTRACT_CAPTION, TextOf(dialog));
    HWND go = run.Item(KV_CONTRACT_GO);
    ASSERT_NE(nullptr, go);
    EXPECT_EQ("Go", TextOf(go));
    EXPECT_EQ("Label", TextOf(run.Item(KV_CONTRACT_LABEL)));
    EXPECT_EQ("Cancel", TextOf(run.Item(IDCANCEL)));
    EXPECT_EQ(KV_CONTRACT_GO, GetDlgCtrlID(go));
    EXPECT_EQ(dialog, GetParent(go));
    EXPECT_TRUE(IsChild(dialog, go));
    EXPECT_TRUE(GetWindowLongPtrA(go, GWL_STYLE) & WS_CHILD);
    auto init = SeenOf(WM_INITDIALOG);
    ASSERT_EQ(1u, init.size());
    EXPECT_EQ(0x1234, init[0].lParam);
    // The first control that is a tab stop, the one that gets the focus.
    EXPECT_EQ(reinterpret_cast<WPARAM>(go), init[0].wParam);
    EXPECT_EQ(run.ThreadId(), init[0].thread);
    EXPECT_NE(GetCurrentThreadId(), init[0].thread);
    SetLastError(contract::kMarker);
    EXPECT_EQ(nullptr, GetDlgItem(dialog, 999));
    EXPECT_WINDOWS_OR_WINE(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND),
                           contract::kMarker);
}

// How a dialog ends, and what DialogBoxParamA then returns.
struct Ending {
    const char* name;
    int target; // a control id, or 0 for the dialog itself
    UINT message;
    WPARAM wParam;
    INT_PTR result;
};

const Ending kEndings[] = {
    {"EndDialogWithItsResult", 0, kEnd, 7, 7},
    {"ClickOnTheButton", KV_CONTRACT_GO, BM_CLICK, 0, 42},
    {"ClickOnCancel", IDCANCEL, BM_CLICK, 0, IDCANCEL},
    {"CloseMessageIsCancel", 0, WM_CLOSE, 0, IDCANCEL},
    {"EscapeIsCancel", KV_CONTRACT_GO, WM_KEYDOWN, VK_ESCAPE, IDCANCEL},
};

TEST_F(WindowDialogs, EachWayOfEndingGivesItsResultAndDestroysTheDialog) {
    for (const Ending& ending : kEndings) {
        SCOPED_TRACE(ending.name);
        DialogThread run;
        HWND dialog = run.Dialog();
        ASSERT_NE(nullptr, dialog);
        HWND go = run.Item(KV_CONTRACT_GO);
        HWND target = ending.target ? run.Item(ending.target) : dialog;
        ASSERT_TRUE(PostMessageA(target, ending.message, ending.wParam, 0));
        EXPECT_EQ(ending.result, run.Join());
        EXPECT_FALSE(IsWindow(dialog));
        EXPECT_FALSE(IsWindow(go));
    }
    // Every click reached the dialog as BN_CLICKED from its button.
    auto commands = SeenOf(WM_COMMAND);
    ASSERT_EQ(4u, commands.size());
    EXPECT_EQ(MAKEWPARAM(KV_CONTRACT_GO, BN_CLICKED), commands[0].wParam);
    for (const Seen& command : commands)
        EXPECT_EQ(static_cast<WPARAM>(BN_CLICKED), HIWORD(command.wParam));
}

TEST_F(WindowDialogs, GoneDialogRefusesSendsAndPosts) {
    DialogThread run;
    HWND dialog = run.Dialog();
    ASSERT_NE(nullptr, dialog);
    PostMessageA(dialog, kEnd, 1, 0);
    EXPECT_EQ(1, run.Join());
    SetLastError(contract::kMarker);
    EXPECT_EQ(0, SendMessageA(dialog, kDouble, 0, 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    SetLastError(contract::kMarker);
    EXPECT_FALSE(PostMessageA(dialog, kMark, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

TEST_F(WindowDialogs, MissingTemplateFailsWithMinusOne) {
    SetLastError(contract::kMarker);
    EXPECT_EQ(-1, DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(999), nullptr,
                                  TestProc, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
    EXPECT_TRUE(SeenOf(WM_INITDIALOG).empty());
}

TEST_F(WindowDialogs, DisabledButtonIgnoresClicks) {
    DialogThread run;
    HWND go = run.Item(KV_CONTRACT_GO);
    ASSERT_NE(nullptr, go);
    EXPECT_FALSE(EnableWindow(go, FALSE)); // it was enabled
    EXPECT_FALSE(IsWindowEnabled(go));
    EXPECT_TRUE(GetWindowLongPtrA(go, GWL_STYLE) & WS_DISABLED);
    PostMessageA(go, BM_CLICK, 0, 0);
    PostMessageA(run.Dialog(), kEnd, 5, 0);
    const INT_PTR result = run.Join();
    // Windows documents that a disabled button does not send BN_CLICKED.
    if (KV_WINE_DIFFERS("Wine's disabled button still reports BM_CLICK as BN_CLICKED")) {
        EXPECT_EQ(42, result);
        return;
    }
    EXPECT_EQ(5, result);
    EXPECT_TRUE(SeenOf(WM_COMMAND).empty());
}

TEST_F(WindowDialogs, TextsOfControlsAreSetAndReadFromAnotherThread) {
    DialogThread run;
    HWND dialog = run.Dialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_TRUE(SetDlgItemTextA(dialog, KV_CONTRACT_LABEL, "Status text"));
    char text[7];
    EXPECT_EQ(6u, GetDlgItemTextA(dialog, KV_CONTRACT_LABEL, text, sizeof(text)));
    EXPECT_STREQ("Status", text);
    EXPECT_EQ(11, GetWindowTextLengthA(run.Item(KV_CONTRACT_LABEL)));
    EXPECT_TRUE(SetWindowTextA(dialog, "Renamed"));
    EXPECT_EQ("Renamed", TextOf(dialog));
    // The caption change went through the dialog's own procedure, on its thread.
    auto setText = SeenOf(WM_SETTEXT);
    ASSERT_EQ(1u, setText.size());
    EXPECT_EQ(run.ThreadId(), setText[0].thread);
}

TEST_F(WindowDialogs, FocusGoesToEnabledControlsOnTheDialogThread) {
    DialogThread run;
    HWND dialog = run.Dialog();
    ASSERT_NE(nullptr, dialog);
    HWND cancel = run.Item(IDCANCEL);
    EXPECT_EQ(reinterpret_cast<LRESULT>(cancel), SendMessageA(dialog, kFocus, 0, IDCANCEL));
    EXPECT_EQ(run.Item(KV_CONTRACT_GO), g_focusBefore.load());
    // A disabled control cannot take it: nothing changes.
    EnableWindow(run.Item(KV_CONTRACT_GO), FALSE);
    EXPECT_EQ(reinterpret_cast<LRESULT>(cancel), SendMessageA(dialog, kFocus, 0, KV_CONTRACT_GO));
    EXPECT_EQ(nullptr, g_focusBefore.load());
}

TEST_F(WindowDialogs, SystemMenuTakesAppendedItemsAndItsCommandsReachTheDialog) {
    DialogThread run;
    HWND dialog = run.Dialog();
    ASSERT_NE(nullptr, dialog);
    HMENU menu = GetSystemMenu(dialog, FALSE);
    ASSERT_NE(nullptr, menu);
    EXPECT_TRUE(AppendMenuA(menu, MF_SEPARATOR, 0, nullptr));
    EXPECT_TRUE(AppendMenuA(menu, MF_STRING, 0x10, "&About..."));
    EXPECT_EQ(menu, GetSystemMenu(dialog, FALSE));
    // Reverting drops the copy: its handle is no longer a menu.
    EXPECT_EQ(nullptr, GetSystemMenu(dialog, TRUE));
    SetLastError(contract::kMarker);
    EXPECT_FALSE(AppendMenuA(menu, MF_STRING, 0x20, "Stale"));
    EXPECT_WINDOWS_OR_WINE(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE),
                           contract::kMarker);
    PostMessageA(dialog, WM_SYSCOMMAND, 0x10, 0);
    PostMessageA(dialog, kEnd, 3, 0);
    EXPECT_EQ(3, run.Join());
    auto commands = SeenOf(WM_SYSCOMMAND);
    ASSERT_EQ(1u, commands.size());
    EXPECT_EQ(0x10u, commands[0].wParam);
}

TEST_F(WindowDialogs, MinimiseAndRestoreCommandsChangeTheIconicState) {
    DialogThread run;
    HWND dialog = run.Dialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_FALSE(IsIconic(dialog));
    SendMessageA(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(IsIconic(dialog));
    SendMessageA(dialog, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(IsIconic(dialog));
}

TEST_F(WindowDialogs, IconsSetOnTheDialogAreReadBack) {
    DialogThread run;
    HWND dialog = run.Dialog();
    ASSERT_NE(nullptr, dialog);
    HICON icon = LoadIconA(nullptr, IDI_APPLICATION);
    ASSERT_NE(nullptr, icon);
    EXPECT_EQ(icon, LoadIconA(nullptr, IDI_APPLICATION));
    EXPECT_EQ(0, SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)));
    EXPECT_EQ(0, SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
    EXPECT_EQ(reinterpret_cast<LRESULT>(icon), SendMessageA(dialog, WM_GETICON, ICON_BIG, 0));
    EXPECT_EQ(reinterpret_cast<LRESULT>(icon), SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0));
    EXPECT_EQ(reinterpret_cast<LRESULT>(icon),
              SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(nullptr)));
}

TEST_F(WindowDialogs, StringsLoadCutToTheBufferAndMissingOnesAreEmpty) {
    HINSTANCE module = GetModuleHandleA(nullptr);
    char buffer[12];
    EXPECT_EQ(5, LoadStringA(module, KV_CONTRACT_HELLO, buffer, sizeof(buffer)));
    EXPECT_STREQ("Hello", buffer);
    EXPECT_EQ(11, LoadStringA(module, KV_CONTRACT_TEN, buffer, sizeof(buffer)));
    EXPECT_STREQ("Exactly ten", buffer);
    EXPECT_EQ(3, LoadStringA(module, KV_CONTRACT_HELLO, buffer, 4));
    EXPECT_STREQ("Hel", buffer);
    SetLastError(contract::kMarker);
    EXPECT_EQ(0, LoadStringA(module, 4000, buffer, sizeof(buffer)));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
}

// ---- Sent and posted messages ----------------------------------------------------------------

TEST_F(WindowMessages, SendFromAnotherThreadRunsOnTheWindowThreadAndReturnsTheResult) {
    DialogThread run;
    ASSERT_NE(nullptr, run.Dialog());
    EXPECT_EQ(42, SendMessageA(run.Dialog(), kDouble, 0, 21));
    auto sends = SeenOf(kDouble);
    ASSERT_EQ(1u, sends.size());
    EXPECT_EQ(run.ThreadId(), sends[0].thread);
}

TEST_F(WindowMessages, SendOnTheWindowThreadRunsAtOnceWhilePostedOnesWaitForTheLoop) {
    DialogThread run;
    ASSERT_NE(nullptr, run.Dialog());
    EXPECT_EQ(11, SendMessageA(run.Dialog(), kPostThenSend, 0, 5));
    PostMessageA(run.Dialog(), kEnd, 0, 0);
    run.Join();
    std::vector<UINT> expected = {kPostThenSend, kDouble, kMark, kEnd};
    EXPECT_EQ(expected, SeenPrivate());
}

TEST_F(WindowMessages, PostedMessagesAreHandledInPostingOrder) {
    DialogThread run;
    ASSERT_NE(nullptr, run.Dialog());
    for (UINT i = 0; i < 20; ++i)
        ASSERT_TRUE(PostMessageA(run.Dialog(), kMark, i, 0));
    PostMessageA(run.Dialog(), kEnd, 0, 0);
    run.Join();
    auto marks = SeenOf(kMark);
    ASSERT_EQ(20u, marks.size());
    for (WPARAM i = 0; i < 20; ++i)
        EXPECT_EQ(i, marks[i].wParam);
}

TEST_F(WindowMessages, AWaitForAWorkerServesItsSendButLeavesPostedMessagesQueued) {
    DialogThread run;
    ASSERT_NE(nullptr, run.Dialog());
    g_workerResult = 0;
    PostMessageA(run.Dialog(), kServeWorker, 0, 0);
    // The mark is queued before the worker starts; the end only after the worker's send returned.
    for (int i = 0; i < 10000 && g_workerResult == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(14, g_workerResult.load());
    PostMessageA(run.Dialog(), kEnd, 0, 0);
    run.Join();
    // The worker's send was handled during the wait; the mark posted before it only afterwards.
    std::vector<UINT> expected = {kServeWorker, kDouble, kMark, kEnd};
    EXPECT_EQ(expected, SeenPrivate());
    auto sends = SeenOf(kDouble);
    ASSERT_EQ(1u, sends.size());
    EXPECT_EQ(run.ThreadId(), sends[0].thread);
}

TEST_F(WindowMessages, InvalidatedDialogGetsOnePaintMessageThenIsValid) {
    DialogThread run;
    ASSERT_NE(nullptr, run.Dialog());
    // Painted first by the default procedure, then by the dialog's own, which draws an icon.
    for (bool own : {false, true}) {
        SCOPED_TRACE(own ? "own paint" : "default paint");
        g_paintIcon = own;
        g_iconsDrawn = 0;
        g_paintsOfDialog = 0;
        g_paintsLeft = -1;
        SendMessageA(run.Dialog(), kRepaint, 0, 0);
        EXPECT_EQ(1, g_paintsOfDialog.load());
        EXPECT_EQ(0, g_paintsLeft.load());
        EXPECT_EQ(own ? 1 : 0, g_iconsDrawn.load());
    }
    g_paintIcon = false;
    EXPECT_FALSE(SeenOf(WM_PAINT).empty());
    EXPECT_EQ(32, GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(32, GetSystemMetrics(SM_CYICON));
}

// ---- The calling thread's own queue ----------------------------------------------------------

TEST_F(WindowQueues, ThreadMessagesComeInOrderThenQuit) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 1, 1, 0));
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 2, 2, 0));
    PostQuitMessage(3);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_USER + 1), msg.message);
    EXPECT_EQ(nullptr, msg.hwnd);
    // A range takes the matching message first.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 2, WM_USER + 2, PM_REMOVE));
    EXPECT_EQ(2u, msg.wParam);
    ASSERT_EQ(TRUE, GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_USER + 1), msg.message);
    ASSERT_EQ(FALSE, GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(3u, msg.wParam);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowQueues, OnlyNewInputWakesAMessageWait) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT),
              MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT));
    PostMessageA(nullptr, WM_USER + 5, 1, 2);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0),
              MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_POSTMESSAGE));
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(QS_POSTMESSAGE, QS_POSTMESSAGE)),
              GetQueueStatus(QS_POSTMESSAGE));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_USER + 5), msg.message);
    // Still queued, but no longer new.
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(0, QS_POSTMESSAGE)), GetQueueStatus(QS_POSTMESSAGE));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT),
              MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_POSTMESSAGE));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowQueues, MessageWaitEndsWithTheObjectWhenAThreadFinishes) {
    HANDLE thread = CreateThread(nullptr, 0, FinishAtOnce, nullptr, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0),
              MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE));
    CloseHandle(thread);
}

// ---- Message boxes ---------------------------------------------------------------------------

struct BoxCase {
    UINT type;
    int pressed;
};

const BoxCase kBoxes[] = {
    {MB_YESNO | MB_ICONQUESTION, IDYES},
    {MB_YESNO | MB_ICONQUESTION, IDNO},
    {MB_OK | MB_ICONWARNING, IDOK},
    {MB_OKCANCEL, IDCANCEL},
};

TEST_F(WindowMessageBoxes, TheButtonPressedIsWhatTheBoxReturns) {
    for (const BoxCase& box : kBoxes) {
        SCOPED_TRACE(box.pressed);
        contract::BoxAnswerer answer("Notification!", box.pressed);
        EXPECT_EQ(box.pressed, MessageBoxA(nullptr, "Sure?", "Notification!", box.type));
        EXPECT_EQ("Sure?", answer.Text());
    }
}

TEST_F(WindowMessageBoxes, OwnerIsDisabledWhileTheBoxIsUp) {
    DialogThread run;
    HWND dialog = run.Dialog();
    ASSERT_NE(nullptr, dialog);
    std::atomic<int> enabledWhileUp{-1};
    {
        contract::BoxAnswerer answer("Notification!", IDNO,
                                     [&] { enabledWhileUp = IsWindowEnabled(dialog); });
        EXPECT_EQ(IDNO, MessageBoxA(dialog, "Remove?", "Notification!", MB_YESNO));
        EXPECT_EQ("Remove?", answer.Text());
    }
    EXPECT_EQ(FALSE, enabledWhileUp.load());
    EXPECT_TRUE(IsWindowEnabled(dialog));
    // Both changes reached the owner's procedure on its own thread.
    PostMessageA(dialog, kEnd, 0, 0);
    run.Join();
    auto enables = SeenOf(WM_ENABLE);
    ASSERT_EQ(2u, enables.size());
    EXPECT_EQ(static_cast<WPARAM>(FALSE), enables[0].wParam);
    EXPECT_EQ(static_cast<WPARAM>(TRUE), enables[1].wParam);
    EXPECT_EQ(run.ThreadId(), enables[0].thread);
}

TEST_F(WindowMessageBoxes, InvalidOwnerFails) {
    SetLastError(contract::kMarker);
    const int answer = MessageBoxA(reinterpret_cast<HWND>(0x999990), "x", "y", MB_OK);
    const DWORD error = GetLastError();
    // Windows documents 0 for a box that could not be shown; Wine passes on its dialog's -1.
    EXPECT_WINDOWS_OR_WINE(answer, 0, -1);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), error);
}

} // namespace
