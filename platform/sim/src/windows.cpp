// The window table of the simulated window system: handles, thread queues, destruction and reset.
#include "windows_internal.h"

#include "core.h"

#include <algorithm>

namespace simwin {

namespace {

struct Table {
    std::map<HWND, std::shared_ptr<Window>> windows;
    std::map<DWORD, Queue> queues;
    // Handles are never reused, not even across resets, so a stale handle never finds a window.
    uintptr_t nextHandle = 0x00010010;
};

Table& State() {
    static Table table;
    return table;
}

void EndSendLocked(const std::shared_ptr<SentMessage>& sent) {
    sent->result = 0;
    sent->done = true;
}

// Brings every window and queue back to nothing. Dialogs still running on other threads see
// their window destroyed and leave their loops; tests close their dialogs before a reset.
void ResetWindows() {
    Hold hold(Lock());
    Table& table = State();
    for (auto& entry : table.windows)
        entry.second->destroyed = true;
    table.windows.clear();
    for (auto& entry : table.queues) {
        Queue& queue = entry.second;
        for (auto& sent : queue.sent)
            EndSendLocked(sent);
        queue.sent.clear();
        queue.posted.clear();
        queue.quit = false;
        queue.quitCode = 0;
        queue.changed = 0;
        queue.focus = nullptr;
    }
    Changed().notify_all();
}

simcore::ResetHook hook(ResetWindows);

} // namespace

std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

std::condition_variable& Changed() {
    static std::condition_variable changed;
    return changed;
}

std::shared_ptr<Window> FindLocked(HWND handle) {
    auto it = State().windows.find(handle);
    return it == State().windows.end() ? nullptr : it->second;
}

Queue& QueueLocked(DWORD thread) {
    return State().queues[thread];
}

HWND NewHandleLocked() {
    HWND handle = reinterpret_cast<HWND>(State().nextHandle);
    State().nextHandle += 0x10;
    return handle;
}

void AddWindowLocked(const std::shared_ptr<Window>& window) {
    State().windows[window->handle] = window;
    if (window->parent && (window->style & WS_CHILD)) {
        auto parent = FindLocked(window->parent);
        if (parent)
            parent->children.push_back(window->handle);
    }
}

void DestroyWindowLocked(const std::shared_ptr<Window>& window) {
    if (window->destroyed)
        return;
    std::vector<HWND> children = window->children;
    for (HWND child : children) {
        auto found = FindLocked(child);
        if (found)
            DestroyWindowLocked(found);
    }
    window->destroyed = true;
    window->open = false;
    State().windows.erase(window->handle);
    if (window->parent) {
        auto parent = FindLocked(window->parent);
        if (parent) {
            auto& list = parent->children;
            list.erase(std::remove(list.begin(), list.end(), window->handle), list.end());
        }
    }
    Queue& queue = QueueLocked(window->thread);
    HWND handle = window->handle;
    queue.posted.erase(std::remove_if(queue.posted.begin(), queue.posted.end(),
                                      [handle](const MSG& m) { return m.hwnd == handle; }),
                       queue.posted.end());
    for (auto it = queue.sent.begin(); it != queue.sent.end();) {
        if ((*it)->window == handle) {
            EndSendLocked(*it);
            it = queue.sent.erase(it);
        } else {
            ++it;
        }
    }
    if (queue.focus == handle)
        queue.focus = nullptr;
    Changed().notify_all();
}

bool IsChildLocked(HWND parent, HWND window) {
    auto current = FindLocked(window);
    while (current && (current->style & WS_CHILD)) {
        if (current->parent == parent)
            return true;
        current = FindLocked(current->parent);
    }
    return false;
}

std::shared_ptr<Window> ChildByIdLocked(const Window& dialog, int id) {
    for (HWND child : dialog.children) {
        auto found = FindLocked(child);
        if (found && found->id == id)
            return found;
    }
    return nullptr;
}

std::shared_ptr<Window> TopLevelLocked(std::shared_ptr<Window> window) {
    while (window && (window->style & WS_CHILD)) {
        auto parent = FindLocked(window->parent);
        if (!parent)
            break;
        window = parent;
    }
    return window;
}

void InvalidateLocked(Window& window) {
    window.needsPaint = true;
    QueueLocked(window.thread).changed |= QS_PAINT;
    Changed().notify_all();
}

DWORD CurrentInputLocked(DWORD thread, const Queue& queue) {
    DWORD bits = 0;
    if (!queue.posted.empty() || queue.quit)
        bits |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    if (!queue.sent.empty())
        bits |= QS_SENDMESSAGE;
    for (auto& entry : State().windows) {
        if (entry.second->thread == thread && entry.second->needsPaint) {
            bits |= QS_PAINT;
            break;
        }
    }
    return bits;
}

std::vector<std::shared_ptr<Window>> AllWindowsLocked() {
    std::vector<std::shared_ptr<Window>> all;
    for (auto& entry : State().windows)
        all.push_back(entry.second);
    return all;
}

std::shared_ptr<Window> WindowToPaintLocked(DWORD thread, HWND filter) {
    for (auto& entry : State().windows) {
        const auto& window = entry.second;
        if (window->thread != thread || !window->needsPaint)
            continue;
        if (!filter || window->handle == filter || IsChildLocked(filter, window->handle))
            return window;
    }
    return nullptr;
}

std::shared_ptr<Window> Find(HWND handle) {
    Hold hold(Lock());
    return FindLocked(handle);
}

int DialogUnitsToPixelsX(int units) {
    return (units * sim::kDialogBaseUnitX + 2) / 4;
}

int DialogUnitsToPixelsY(int units) {
    return (units * sim::kDialogBaseUnitY + 4) / 8;
}

} // namespace simwin
