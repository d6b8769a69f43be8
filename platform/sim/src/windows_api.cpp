// Window functions of the simulated user32: texts, enabling, focus, window data and geometry.
#include "windows_internal.h"

namespace {

using simwin::Hold;
using simwin::Lock;

std::shared_ptr<simwin::Window> FindOrFail(HWND handle) {
    auto window = simwin::Find(handle);
    if (!window)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return window;
}

HWND ItemOrFail(HWND dialog, int id) {
    Hold hold(Lock());
    auto window = simwin::FindLocked(dialog);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto child = simwin::ChildByIdLocked(*window, id);
    if (!child) {
        SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
        return nullptr;
    }
    return child->handle;
}

} // namespace

BOOL WINAPI IsWindow(HWND window) {
    return simwin::Find(window) ? TRUE : FALSE;
}

BOOL WINAPI IsChild(HWND parent, HWND window) {
    Hold hold(Lock());
    return simwin::IsChildLocked(parent, window) ? TRUE : FALSE;
}

HWND WINAPI GetParent(HWND window) {
    auto found = FindOrFail(window);
    return found ? found->parent : nullptr;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    return ItemOrFail(dialog, id);
}

int WINAPI GetDlgCtrlID(HWND window) {
    auto found = FindOrFail(window);
    Hold hold(Lock());
    return found ? found->id : 0;
}

BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text) {
    if (!FindOrFail(window))
        return FALSE;
    return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int WINAPI GetWindowTextA(HWND window, LPSTR text, int size) {
    if (!text || size <= 0)
        return 0;
    text[0] = '\0';
    if (!FindOrFail(window))
        return 0;
    return static_cast<int>(SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(size),
                                         reinterpret_cast<LPARAM>(text)));
}

int WINAPI GetWindowTextLengthA(HWND window) {
    if (!FindOrFail(window))
        return 0;
    return static_cast<int>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0));
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    HWND item = ItemOrFail(dialog, id);
    return item ? SetWindowTextA(item, text) : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size) {
    if (text && size > 0)
        text[0] = '\0';
    HWND item = ItemOrFail(dialog, id);
    return item ? static_cast<UINT>(GetWindowTextA(item, text, size)) : 0;
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
    HWND item = ItemOrFail(dialog, id);
    return item ? SendMessageA(item, message, wParam, lParam) : 0;
}

// The state changes at once, from any thread; WM_ENABLE then reaches the window's procedure on
// its own thread (a cross-thread send, which blocks until that thread retrieves messages).
BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
    bool wasDisabled = false;
    bool changed = false;
    {
        Hold hold(Lock());
        auto found = simwin::FindLocked(window);
        if (!found) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        wasDisabled = (found->style & WS_DISABLED) != 0;
        if (enable && wasDisabled) {
            found->style &= ~static_cast<DWORD>(WS_DISABLED);
            changed = true;
        } else if (!enable && !wasDisabled) {
            found->style |= WS_DISABLED;
            // A disabled window cannot keep the focus.
            simwin::Queue& queue = simwin::QueueLocked(found->thread);
            if (queue.focus == window)
                queue.focus = nullptr;
            changed = true;
        }
        simwin::Changed().notify_all();
    }
    if (changed)
        SendMessageA(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled ? TRUE : FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND window) {
    Hold hold(Lock());
    auto found = simwin::FindLocked(window);
    return found && !(found->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL WINAPI IsIconic(HWND window) {
    Hold hold(Lock());
    auto found = simwin::FindLocked(window);
    return found && (found->style & WS_MINIMIZE) ? TRUE : FALSE;
}

// A window shows when it and every window it is a child of carry WS_VISIBLE. A modal dialog
// carries it from the end of its WM_INITDIALOG until EndDialog.
BOOL WINAPI IsWindowVisible(HWND window) {
    Hold hold(Lock());
    auto current = simwin::FindLocked(window);
    if (!current)
        return FALSE;
    for (; current; current = simwin::FindLocked(current->parent)) {
        if (!(current->style & WS_VISIBLE))
            return FALSE;
        if (!(current->style & WS_CHILD))
            break;
    }
    return TRUE;
}

// The focus belongs to the window's thread. Like Windows, a window that is disabled or
// minimised, or inside a disabled or minimised window, cannot take it: null, nothing changes.
HWND WINAPI SetFocus(HWND window) {
    Hold hold(Lock());
    if (!window) {
        simwin::Queue& queue = simwin::QueueLocked(GetCurrentThreadId());
        HWND previous = queue.focus;
        queue.focus = nullptr;
        return previous;
    }
    auto found = simwin::FindLocked(window);
    if (!found) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    for (auto current = found; current; current = simwin::FindLocked(current->parent)) {
        if (current->style & (WS_DISABLED | WS_MINIMIZE))
            return nullptr;
        if (!(current->style & WS_CHILD))
            break;
    }
    simwin::Queue& queue = simwin::QueueLocked(found->thread);
    HWND previous = queue.focus;
    queue.focus = window;
    return previous;
}

HWND WINAPI GetFocus(void) {
    Hold hold(Lock());
    simwin::Queue& queue = simwin::QueueLocked(GetCurrentThreadId());
    return simwin::FindLocked(queue.focus) ? queue.focus : nullptr;
}

BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
    auto found = FindOrFail(window);
    if (!found || !rect) {
        if (found)
            SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Hold hold(Lock());
    *rect = found->client;
    return TRUE;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND window, int index) {
    Hold hold(Lock());
    auto found = simwin::FindLocked(window);
    if (!found) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    bool dialog = found->kind == simwin::Kind::Dialog;
    switch (index) {
    case GWLP_USERDATA:
        return found->userData;
    case GWL_STYLE:
        return static_cast<LONG_PTR>(static_cast<LONG>(found->style));
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(static_cast<LONG>(found->exStyle));
    case GWLP_ID:
        return found->id;
    case DWLP_MSGRESULT:
        if (dialog)
            return found->msgResult;
        break;
    case DWLP_USER:
        if (dialog)
            return found->dialogUser;
        break;
    default:
        break;
    }
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    Hold hold(Lock());
    auto found = simwin::FindLocked(window);
    if (!found) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    bool dialog = found->kind == simwin::Kind::Dialog;
    LONG_PTR* slot = nullptr;
    switch (index) {
    case GWLP_USERDATA:
        slot = &found->userData;
        break;
    case DWLP_MSGRESULT:
        slot = dialog ? &found->msgResult : nullptr;
        break;
    case DWLP_USER:
        slot = dialog ? &found->dialogUser : nullptr;
        break;
    case GWLP_ID: {
        LONG_PTR previous = found->id;
        found->id = static_cast<int>(value);
        return previous;
    }
    default:
        break;
    }
    if (!slot) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR previous = *slot;
    *slot = value;
    return previous;
}
