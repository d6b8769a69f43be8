// Modal dialogs of the simulated user32: creation from a template, the modal loop, EndDialog.
#include "windows_internal.h"

#include "core.h"

namespace {

using simwin::Hold;
using simwin::Kind;
using simwin::Lock;
using simwin::Window;

Kind KindOfClass(const std::string& windowClass) {
    if (simcore::EqualNoCase(windowClass, "Button"))
        return Kind::Button;
    if (simcore::EqualNoCase(windowClass, "Static"))
        return Kind::Static;
    return Kind::Other;
}

RECT PixelRect(short cx, short cy) {
    return RECT{0, 0, simwin::DialogUnitsToPixelsX(cx), simwin::DialogUnitsToPixelsY(cy)};
}

// Builds the dialog and its controls on the calling thread; the dialog is not yet visible.
std::shared_ptr<Window> CreateDialogWindow(const simwin::DialogCopy& copy, HWND owner,
                                           DLGPROC proc) {
    DWORD thread = GetCurrentThreadId();
    Hold hold(Lock());
    auto dialog = std::make_shared<Window>();
    dialog->handle = simwin::NewHandleLocked();
    dialog->parent = owner;
    dialog->thread = thread;
    dialog->kind = Kind::Dialog;
    dialog->className = "#32770";
    dialog->text = copy.caption;
    dialog->style = copy.style & ~static_cast<DWORD>(WS_VISIBLE);
    dialog->exStyle = copy.exStyle;
    dialog->client = PixelRect(copy.cx, copy.cy);
    dialog->dialogProc = proc;
    dialog->templateId = copy.id;
    simwin::AddWindowLocked(dialog);
    for (const simwin::ControlCopy& control : copy.controls) {
        auto child = std::make_shared<Window>();
        child->handle = simwin::NewHandleLocked();
        child->parent = dialog->handle;
        child->thread = thread;
        child->kind = KindOfClass(control.windowClass);
        child->className = control.windowClass;
        child->text = control.text;
        child->id = control.id;
        child->style = control.style | WS_CHILD | WS_VISIBLE;
        child->exStyle = control.exStyle;
        child->client = PixelRect(control.cx, control.cy);
        simwin::AddWindowLocked(child);
    }
    return dialog;
}

// The control that gets the focus first: the first enabled one that is a tab stop.
HWND FirstTabStop(const Window& dialog) {
    Hold hold(Lock());
    for (HWND handle : dialog.children) {
        auto child = simwin::FindLocked(handle);
        if (child && (child->style & WS_TABSTOP) && !(child->style & WS_DISABLED))
            return handle;
    }
    return nullptr;
}

// Runs the modal loop until EndDialog, the window's destruction or WM_QUIT (which is posted
// again for the outer loop, as Windows does).
void RunModalLoop(const std::shared_ptr<Window>& dialog) {
    auto stop = [&dialog] { return dialog->ended || dialog->destroyed; };
    MSG msg;
    while (simwin::NextMessage(&msg, stop)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!IsDialogMessageA(dialog->handle, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

// The dialog's default button: the first BS_DEFPUSHBUTTON control, else IDOK.
int DefaultButtonId(const Window& dialog) {
    Hold hold(Lock());
    for (HWND handle : dialog.children) {
        auto child = simwin::FindLocked(handle);
        if (child && child->kind == Kind::Button && (child->style & 0x0F) == BS_DEFPUSHBUTTON)
            return child->id;
    }
    return IDOK;
}

// Messages whose result is the dialog procedure's return value rather than DWLP_MSGRESULT.
bool ReturnsValueDirectly(UINT message) {
    return message == WM_INITDIALOG || message == WM_QUERYDRAGICON;
}

HWND ItemHandle(const Window& dialog, int id) {
    Hold hold(Lock());
    auto child = simwin::ChildByIdLocked(dialog, id);
    return child ? child->handle : nullptr;
}

} // namespace

namespace simwin {

// The dialog manager's window procedure: the dialog procedure first, then the defaults.
LRESULT DialogProcedure(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam,
                        LPARAM lParam) {
    DLGPROC proc;
    {
        Hold hold(Lock());
        proc = window->dialogProc;
    }
    INT_PTR handled = proc ? proc(window->handle, message, wParam, lParam) : 0;
    if (handled) {
        if (ReturnsValueDirectly(message))
            return handled;
        Hold hold(Lock());
        return window->msgResult;
    }
    switch (message) {
    case WM_CLOSE: {
        // As the Cancel button would, when there is none or it is enabled.
        HWND cancel = ItemHandle(*window, IDCANCEL);
        if (!cancel || IsWindowEnabled(cancel))
            PostMessageA(window->handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    case DM_GETDEFID:
        return MAKELRESULT(DefaultButtonId(*window), DC_HASDEFID);
    default:
        return DefaultProcedure(window, message, wParam, lParam);
    }
}

} // namespace simwin

INT_PTR WINAPI DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND parent, DLGPROC proc,
                               LPARAM param) {
    SIM_API_FAULT(error, simcore::FailWith(error, -1));
    simwin::DialogCopy copy;
    if (!IS_INTRESOURCE(templateName) ||
        !simwin::FindDialogTemplate(static_cast<int>(reinterpret_cast<ULONG_PTR>(templateName)),
                                    &copy)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    if ((parent && !IsWindow(parent)) || !proc) {
        SetLastError(parent && !IsWindow(parent) ? ERROR_INVALID_WINDOW_HANDLE
                                                 : ERROR_INVALID_PARAMETER);
        return -1;
    }
    // As on Windows, the owner (a top-level window) is disabled before the dialog is created, and
    // gets its focus back when the dialog is gone.
    HWND owner = nullptr;
    HWND ownerFocus = nullptr;
    if (parent) {
        Hold hold(Lock());
        auto top = simwin::TopLevelLocked(simwin::FindLocked(parent));
        owner = top ? top->handle : nullptr;
        if (top)
            ownerFocus = simwin::QueueLocked(top->thread).focus;
    }
    bool ownerDisabled = owner && IsWindowEnabled(owner) && !EnableWindow(owner, FALSE);

    auto dialog = CreateDialogWindow(copy, owner, proc);
    simwin::CallWindow(dialog, WM_SETFONT, 0, 0);
    HWND first = FirstTabStop(*dialog);
    if (simwin::CallWindow(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param) && first)
        SetFocus(first);
    {
        Hold hold(Lock());
        if (!dialog->ended && !dialog->destroyed) {
            dialog->style |= WS_VISIBLE;
            dialog->open = true;
            simwin::InvalidateLocked(*dialog);
        }
    }
    RunModalLoop(dialog);

    INT_PTR result;
    {
        Hold hold(Lock());
        result = dialog->ended ? dialog->result : 0;
        dialog->open = false;
    }
    simwin::CallWindow(dialog, WM_DESTROY, 0, 0);
    {
        Hold hold(Lock());
        simwin::DestroyWindowLocked(dialog);
    }
    if (ownerDisabled && IsWindow(owner)) {
        EnableWindow(owner, TRUE);
        if (ownerFocus && IsWindow(ownerFocus))
            SetFocus(ownerFocus);
    }
    return result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    Hold hold(Lock());
    auto window = simwin::FindLocked(dialog);
    if (!window || window->kind != Kind::Dialog) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    window->ended = true;
    window->open = false;
    window->result = result;
    window->style &= ~static_cast<DWORD>(WS_VISIBLE);
    simwin::Changed().notify_all();
    return TRUE;
}

// Keyboard handling of a dialog: ESC is Cancel, Enter the focused push button or the default
// one; every other message for the dialog or its controls is dispatched. FALSE for messages of
// other windows, which the caller dispatches itself.
BOOL WINAPI IsDialogMessageA(HWND dialog, LPMSG msg) {
    if (!msg)
        return FALSE;
    auto window = simwin::Find(dialog);
    if (!window)
        return FALSE;
    {
        Hold hold(Lock());
        if (msg->hwnd != dialog && !simwin::IsChildLocked(dialog, msg->hwnd))
            return FALSE;
    }
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE) {
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(ItemHandle(*window, IDCANCEL)));
        return TRUE;
    }
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) {
        HWND focus = GetFocus();
        bool onButton = false;
        int focusedButton = 0;
        {
            Hold hold(Lock());
            auto focused = simwin::FindLocked(focus);
            if (focused && focused->kind == Kind::Button && simwin::IsChildLocked(dialog, focus) &&
                (focused->style & 0x0F) <= BS_DEFPUSHBUTTON && !(focused->style & WS_DISABLED)) {
                onButton = true;
                focusedButton = focused->id;
            }
        }
        if (onButton) {
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(focusedButton, BN_CLICKED),
                         reinterpret_cast<LPARAM>(focus));
            return TRUE;
        }
        LRESULT defId = SendMessageA(dialog, DM_GETDEFID, 0, 0);
        int id = HIWORD(defId) == DC_HASDEFID ? LOWORD(defId) : IDOK;
        HWND button = ItemHandle(*window, id);
        if (!button || IsWindowEnabled(button))
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(button));
        return TRUE;
    }
    DispatchMessageA(msg);
    return TRUE;
}
