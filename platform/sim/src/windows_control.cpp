// Test controls of the simulated window system: finding, reading and driving dialogs.
#include "windows_internal.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace {

using simwin::Hold;
using simwin::Lock;

// Polls `done` every millisecond of real time until it holds or the time is up.
template <class Done> bool PollFor(DWORD timeoutMs, Done done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// The newest open dialog that `match` accepts.
template <class Match> HWND FindOpenDialog(Match match) {
    Hold hold(Lock());
    HWND found = nullptr;
    for (const auto& window : simwin::AllWindowsLocked())
        if (window->kind == simwin::Kind::Dialog && window->open && match(*window))
            found = window->handle;
    return found;
}

std::shared_ptr<simwin::Window> ControlLocked(HWND dialog, int id) {
    auto window = simwin::FindLocked(dialog);
    return window ? simwin::ChildByIdLocked(*window, id) : nullptr;
}

// Keys go to the focused control when it belongs to the dialog, otherwise to the dialog.
HWND KeyTarget(HWND dialog) {
    Hold hold(Lock());
    auto window = simwin::FindLocked(dialog);
    if (!window)
        return nullptr;
    HWND focus = simwin::QueueLocked(window->thread).focus;
    return focus && simwin::IsChildLocked(dialog, focus) ? focus : dialog;
}

bool PostKey(HWND dialog, WPARAM key) {
    HWND target = KeyTarget(dialog);
    return target && simwin::PostToWindow(target, WM_KEYDOWN, key, 1);
}

} // namespace

namespace sim {

HWND FindDialog(const char* caption) {
    std::string wanted = caption ? caption : "";
    return FindOpenDialog([&wanted](const simwin::Window& w) { return w.text == wanted; });
}

HWND FindDialog(int templateId) {
    return FindOpenDialog(
        [templateId](const simwin::Window& w) { return w.templateId == templateId; });
}

HWND WaitForDialog(int templateId, DWORD timeoutMs) {
    HWND found = nullptr;
    PollFor(timeoutMs, [&] { return (found = FindDialog(templateId)) != nullptr; });
    return found;
}

bool WaitForDialogClosed(HWND dialog, DWORD timeoutMs) {
    return PollFor(timeoutMs, [dialog] { return !IsWindow(dialog); });
}

bool WaitForIdle(HWND window, DWORD timeoutMs) {
    return PollFor(timeoutMs, [window] {
        Hold hold(Lock());
        auto found = simwin::FindLocked(window);
        if (!found)
            return false;
        const simwin::Queue& queue = simwin::QueueLocked(found->thread);
        return queue.idle && queue.posted.empty() && queue.sent.empty() && !queue.quit &&
               !simwin::WindowToPaintLocked(found->thread, nullptr);
    });
}

bool IsNotResponding(HWND window, DWORD afterMs) {
    Hold hold(Lock());
    auto found = simwin::FindLocked(window);
    if (!found)
        return false;
    const simwin::Queue& queue = simwin::QueueLocked(found->thread);
    return !queue.idle &&
           std::chrono::steady_clock::now() - queue.lastLook > std::chrono::milliseconds(afterMs);
}

std::string WindowText(HWND window) {
    Hold hold(Lock());
    auto found = simwin::FindLocked(window);
    return found ? found->text : std::string();
}

std::string ControlText(HWND dialog, int id) {
    Hold hold(Lock());
    auto control = ControlLocked(dialog, id);
    return control ? control->text : std::string();
}

bool IsControlEnabled(HWND dialog, int id) {
    Hold hold(Lock());
    auto control = ControlLocked(dialog, id);
    return control && !(control->style & WS_DISABLED);
}

int FocusedControl(HWND dialog) {
    Hold hold(Lock());
    auto window = simwin::FindLocked(dialog);
    if (!window)
        return 0;
    HWND focus = simwin::QueueLocked(window->thread).focus;
    auto focused = simwin::FindLocked(focus);
    return focused && simwin::IsChildLocked(dialog, focus) ? focused->id : 0;
}

bool ClickButton(HWND dialog, int id) {
    HWND button = nullptr;
    {
        Hold hold(Lock());
        auto control = ControlLocked(dialog, id);
        if (control)
            button = control->handle;
    }
    return button && simwin::PostToWindow(button, BM_CLICK, 0, 0);
}

bool CloseDialog(HWND dialog) {
    return simwin::PostToWindow(dialog, WM_CLOSE, 0, 0);
}

bool PressCloseBox(HWND dialog) {
    return simwin::PostToWindow(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool PressEscape(HWND dialog) {
    return PostKey(dialog, VK_ESCAPE);
}

bool PressEnter(HWND dialog) {
    return PostKey(dialog, VK_RETURN);
}

bool SendSystemCommand(HWND dialog, UINT command) {
    return simwin::PostToWindow(dialog, WM_SYSCOMMAND, command, 0);
}

void SetMinimized(HWND window, bool minimized) {
    simwin::SetMinimized(window, minimized);
}

WindowIconPair WindowIcons(HWND window) {
    Hold hold(Lock());
    auto found = simwin::FindLocked(window);
    return found ? WindowIconPair{found->bigIcon, found->smallIcon}
                 : WindowIconPair{nullptr, nullptr};
}

} // namespace sim
