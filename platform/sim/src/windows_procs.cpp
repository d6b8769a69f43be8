// Window procedures of the simulated user32: the default one and the button's.
#include "windows_internal.h"

#include <cstring>

namespace simwin {

LRESULT CallWindow(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam,
                   LPARAM lParam) {
    Kind kind;
    {
        Hold hold(Lock());
        if (window->destroyed)
            return 0;
        kind = window->kind;
    }
    switch (kind) {
    case Kind::Dialog:
        return DialogProcedure(window, message, wParam, lParam);
    case Kind::Button:
        return ButtonProcedure(window, message, wParam, lParam);
    default:
        return DefaultProcedure(window, message, wParam, lParam);
    }
}

void SetMinimized(HWND handle, bool minimized) {
    Hold hold(Lock());
    auto window = FindLocked(handle);
    if (!window)
        return;
    if (minimized)
        window->style |= WS_MINIMIZE;
    else
        window->style &= ~static_cast<DWORD>(WS_MINIMIZE);
    InvalidateLocked(*window);
}

LRESULT DefaultProcedure(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam,
                         LPARAM lParam) {
    HWND handle = window->handle;
    switch (message) {
    case WM_SETTEXT: {
        const char* text = reinterpret_cast<const char*>(lParam);
        Hold hold(Lock());
        window->text = text ? text : "";
        return TRUE;
    }
    case WM_GETTEXT: {
        char* buffer = reinterpret_cast<char*>(lParam);
        if (!buffer || wParam == 0)
            return 0;
        Hold hold(Lock());
        size_t count = window->text.size() < wParam - 1 ? window->text.size() : wParam - 1;
        memcpy(buffer, window->text.data(), count);
        buffer[count] = '\0';
        return static_cast<LRESULT>(count);
    }
    case WM_GETTEXTLENGTH: {
        Hold hold(Lock());
        return static_cast<LRESULT>(window->text.size());
    }
    case WM_SETICON: {
        Hold hold(Lock());
        HICON& slot = wParam == ICON_BIG ? window->bigIcon : window->smallIcon;
        HICON previous = slot;
        slot = reinterpret_cast<HICON>(lParam);
        return reinterpret_cast<LRESULT>(previous);
    }
    case WM_GETICON: {
        Hold hold(Lock());
        return reinterpret_cast<LRESULT>(wParam == ICON_BIG ? window->bigIcon : window->smallIcon);
    }
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_CLOSE:
            return SendMessageA(handle, WM_CLOSE, 0, 0);
        case SC_MINIMIZE:
            SetMinimized(handle, true);
            return 0;
        case SC_RESTORE:
            SetMinimized(handle, false);
            return 0;
        default:
            return 0;
        }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (BeginPaint(handle, &paint))
            EndPaint(handle, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
    case WM_ICONERASEBKGND:
        return 1;
    default:
        return 0;
    }
}

// A click reaches the parent as BN_CLICKED only while the button is enabled; it takes the focus.
LRESULT ButtonProcedure(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam,
                        LPARAM lParam) {
    if (message != BM_CLICK)
        return DefaultProcedure(window, message, wParam, lParam);
    HWND parent;
    int id;
    {
        Hold hold(Lock());
        if ((window->style & WS_DISABLED) || (window->style & 0x0F) == BS_GROUPBOX)
            return 0;
        parent = window->parent;
        id = window->id;
    }
    SetFocus(window->handle);
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(window->handle));
    return 0;
}

} // namespace simwin

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto found = simwin::Find(window);
    return found ? simwin::DefaultProcedure(found, message, wParam, lParam) : 0;
}
