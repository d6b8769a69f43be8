// Message boxes of the simulated user32: recorded, and answered by the test instead of a user.
#include "windows_internal.h"

#include "core.h"

namespace {

struct MessageBoxState {
    std::vector<sim::MessageBoxRecord> boxes;
    std::deque<int> answers;
    std::function<void()> callback;
};

MessageBoxState& State() {
    static MessageBoxState state;
    return state;
}

void ResetMessageBoxes() {
    simcore::Guard guard(simcore::MachineLock());
    State() = MessageBoxState();
}

simcore::ResetHook hook(ResetMessageBoxes);

// The box's first button, the one an unconfigured test "clicks".
int FirstButton(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    case MB_YESNO:
    case MB_YESNOCANCEL:
        return IDYES;
    case MB_RETRYCANCEL:
        return IDRETRY;
    default:
        return IDOK;
    }
}

// The box is owned by the top-level window of the owner given.
HWND TopLevelOwner(HWND owner) {
    simwin::Hold hold(simwin::Lock());
    auto top = simwin::TopLevelLocked(simwin::FindLocked(owner));
    return top ? top->handle : nullptr;
}

} // namespace

// Like the real box, it disables its owner while it is up and enables it again afterwards. Both
// changes reach the owner's procedure as WM_ENABLE on the owner's thread: a box shown from another
// thread therefore needs that thread to retrieve messages (see sim::SetSendDeadlockLimit).
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    SIM_API_FAULT(error, simcore::FailWith(error, 0));
    HWND top = nullptr;
    if (owner) {
        top = TopLevelOwner(owner);
        if (!top) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
    }
    std::function<void()> callback;
    {
        simcore::Guard guard(simcore::MachineLock());
        State().boxes.push_back(sim::MessageBoxRecord{
            owner, text ? text : "", caption ? caption : "Error", type, GetCurrentThreadId()});
        callback = State().callback;
    }
    bool disabled = top && IsWindowEnabled(top) && !EnableWindow(top, FALSE);
    if (callback)
        callback();
    int answer = FirstButton(type);
    {
        simcore::Guard guard(simcore::MachineLock());
        if (!State().answers.empty()) {
            answer = State().answers.front();
            State().answers.pop_front();
        }
    }
    if (disabled)
        EnableWindow(top, TRUE);
    return answer;
}

namespace sim {

void QueueMessageBoxAnswer(int answer) {
    simcore::Guard guard(simcore::MachineLock());
    State().answers.push_back(answer);
}

void OnMessageBox(std::function<void()> callback) {
    simcore::Guard guard(simcore::MachineLock());
    State().callback = std::move(callback);
}

std::vector<MessageBoxRecord> MessageBoxes() {
    simcore::Guard guard(simcore::MachineLock());
    return State().boxes;
}

} // namespace sim
