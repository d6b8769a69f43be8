// Message queues of the simulated user32: posting, sending, retrieving and dispatching.
#include "windows_internal.h"

#include "core.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace simwin {

namespace {

std::atomic<DWORD> g_deadlockLimitMs{20000};

const DWORD kAllTypes = QS_ALLINPUT | QS_ALLPOSTMESSAGE;

bool InRange(UINT message, UINT first, UINT last) {
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

bool MatchesWindow(HWND messageWindow, HWND filter) {
    if (!filter)
        return true;
    if (filter == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)))
        return messageWindow == nullptr;
    return messageWindow == filter || IsChildLocked(filter, messageWindow);
}

MSG MakeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return MSG{window, message, wParam, lParam, static_cast<DWORD>(simcore::NowMs()), {0, 0}};
}

// Takes the thread's next message passing the filters: posted ones first, then WM_QUIT once no
// posted one is left, then WM_PAINT for a window that needs painting (it stays until the window
// is painted). `types` are the QS_ kinds asked for; looking clears their "arrived" bits.
bool TakeLocked(DWORD thread, MSG* msg, HWND filter, UINT first, UINT last, DWORD types,
                bool remove) {
    Queue& queue = QueueLocked(thread);
    queue.changed &= ~types;
    if (types & QS_POSTMESSAGE) {
        for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
            if (!MatchesWindow(it->hwnd, filter) || !InRange(it->message, first, last))
                continue;
            *msg = *it;
            if (remove)
                queue.posted.erase(it);
            return true;
        }
        if (queue.quit && queue.posted.empty() && InRange(WM_QUIT, first, last)) {
            *msg = MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0);
            if (remove)
                queue.quit = false;
            return true;
        }
    }
    if ((types & QS_PAINT) && InRange(WM_PAINT, first, last)) {
        auto window = WindowToPaintLocked(thread, filter);
        if (window) {
            *msg = MakeMessage(window->handle, WM_PAINT, 0, 0);
            return true;
        }
    }
    return false;
}

void PostLocked(DWORD thread, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Queue& queue = QueueLocked(thread);
    queue.posted.push_back(MakeMessage(window, message, wParam, lParam));
    queue.changed |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    Changed().notify_all();
}

[[noreturn]] void ReportDeadlock(const SentMessage& sent, DWORD receiver, DWORD waitedMs) {
    fprintf(stderr,
            "simulated window system: SendMessageA(0x%04X) from thread %u to window %p of thread "
            "%u unanswered after %u ms: the receiving thread does not retrieve messages "
            "(deadlock)\n",
            sent.message, sent.sender, static_cast<void*>(sent.window), receiver, waitedMs);
    fflush(stderr);
    std::abort();
}

// Waits for the thread's next message (1), or for `stop` (0), or for the filter window to go
// away (-1); sent messages are delivered meanwhile.
int Retrieve(MSG* msg, HWND filter, UINT first, UINT last, const std::function<bool()>& stop) {
    DWORD self = GetCurrentThreadId();
    bool windowFilter = filter && filter != reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));
    for (;;) {
        DeliverSentMessages();
        Hold hold(Lock());
        if (stop && stop())
            return 0;
        if (windowFilter && !FindLocked(filter))
            return -1;
        Queue& queue = QueueLocked(self);
        queue.lastLook = std::chrono::steady_clock::now();
        if (!queue.sent.empty())
            continue;
        if (TakeLocked(self, msg, filter, first, last, kAllTypes, true))
            return 1;
        queue.idle = true;
        Changed().wait(hold);
        queue.idle = false;
    }
}

} // namespace

bool DeliverSentMessages() {
    DWORD self = GetCurrentThreadId();
    bool any = false;
    for (;;) {
        std::shared_ptr<SentMessage> sent;
        std::shared_ptr<Window> window;
        {
            Hold hold(Lock());
            Queue& queue = QueueLocked(self);
            if (queue.sent.empty())
                return any;
            sent = queue.sent.front();
            queue.sent.pop_front();
            window = FindLocked(sent->window);
        }
        any = true;
        LRESULT result = window ? CallWindow(window, sent->message, sent->wParam, sent->lParam) : 0;
        Hold hold(Lock());
        sent->result = result;
        sent->done = true;
        Changed().notify_all();
    }
}

bool PostToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Hold hold(Lock());
    auto found = FindLocked(window);
    if (!found)
        return false;
    PostLocked(found->thread, window, message, wParam, lParam);
    return true;
}

bool NextMessage(MSG* msg, const std::function<bool()>& stop) {
    return Retrieve(msg, nullptr, 0, 0, stop) == 1;
}

} // namespace simwin

namespace sim {

void SetSendDeadlockLimit(DWORD milliseconds) {
    simwin::g_deadlockLimitMs = milliseconds;
}

} // namespace sim

using simwin::Hold;
using simwin::Lock;

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    SIM_API_FAULT(error, simcore::FailWith(error, FALSE));
    if (!window) {
        Hold hold(Lock());
        simwin::PostLocked(GetCurrentThreadId(), nullptr, message, wParam, lParam);
        return TRUE;
    }
    if (!simwin::PostToWindow(window, message, wParam, lParam)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

// A send to a window of the calling thread runs its procedure at once. A send to another
// thread's window waits until that thread handles it in one of its message retrievals, and
// meanwhile handles what other threads send to this one, as Windows does.
LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD self = GetCurrentThreadId();
    auto sent = std::make_shared<simwin::SentMessage>();
    DWORD receiver = 0;
    std::shared_ptr<simwin::Window> found;
    {
        Hold hold(Lock());
        found = simwin::FindLocked(window);
        if (!found) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        receiver = found->thread;
        if (receiver != self) {
            *sent = simwin::SentMessage{window, message, wParam, lParam, self, 0, false};
            simwin::Queue& queue = simwin::QueueLocked(receiver);
            queue.sent.push_back(sent);
            queue.changed |= QS_SENDMESSAGE;
            simwin::Changed().notify_all();
        }
    }
    if (receiver == self)
        return simwin::CallWindow(found, message, wParam, lParam);

    auto start = std::chrono::steady_clock::now();
    for (;;) {
        simwin::DeliverSentMessages();
        Hold hold(Lock());
        if (sent->done)
            return sent->result;
        if (!simwin::QueueLocked(self).sent.empty())
            continue;
        DWORD limit = simwin::g_deadlockLimitMs;
        auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count();
        if (limit && waited >= static_cast<long long>(limit))
            simwin::ReportDeadlock(*sent, receiver, static_cast<DWORD>(waited));
        simwin::Changed().wait_for(hold, std::chrono::milliseconds(100));
    }
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT first, UINT last) {
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    int got = simwin::Retrieve(msg, window, first, last, nullptr);
    if (got < 0) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    simwin::DeliverSentMessages();
    DWORD types = remove >> 16;
    if (!types)
        types = simwin::kAllTypes;
    if (types & (QS_HOTKEY | QS_TIMER))
        types |= QS_POSTMESSAGE;
    Hold hold(Lock());
    simwin::QueueLocked(GetCurrentThreadId()).lastLook = std::chrono::steady_clock::now();
    if (window && window != reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)) &&
        !simwin::FindLocked(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return simwin::TakeLocked(GetCurrentThreadId(), msg, window, first, last, types,
                              (remove & PM_REMOVE) != 0)
               ? TRUE
               : FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    if (!msg || !msg->hwnd)
        return 0;
    auto window = simwin::Find(msg->hwnd);
    if (!window || window->thread != GetCurrentThreadId()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LRESULT result = simwin::CallWindow(window, msg->message, msg->wParam, msg->lParam);
    if (msg->message == WM_PAINT) {
        // A procedure that did not paint would otherwise get WM_PAINT for ever.
        Hold hold(Lock());
        window->needsPaint = false;
    }
    return result;
}

// Keys are posted as WM_KEYDOWN by the test controls; no character messages are made from them.
BOOL WINAPI TranslateMessage(const MSG* msg) {
    return msg && msg->message == WM_KEYDOWN ? TRUE : FALSE;
}

void WINAPI PostQuitMessage(int code) {
    Hold hold(Lock());
    simwin::Queue& queue = simwin::QueueLocked(GetCurrentThreadId());
    queue.quit = true;
    queue.quitCode = code;
    queue.changed |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    simwin::Changed().notify_all();
}

DWORD WINAPI GetQueueStatus(UINT flags) {
    Hold hold(Lock());
    DWORD self = GetCurrentThreadId();
    simwin::Queue& queue = simwin::QueueLocked(self);
    DWORD current = simwin::CurrentInputLocked(self, queue) & flags;
    DWORD arrived = queue.changed & flags;
    queue.changed &= ~static_cast<DWORD>(flags);
    return static_cast<DWORD>(MAKELONG(arrived, current));
}
