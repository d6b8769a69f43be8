// Command targets, windows and data exchange of the dialog framework.
#include "afxwin.h"

#include <vector>

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY none[] = {{0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &none[0]};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const {
    return GetThisMessageMap();
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindEntry(UINT message, WPARAM wParam) const {
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->base ? map->base() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = map->entries; entry->handler; ++entry) {
            if (entry->message != message)
                continue;
            if (message == WM_COMMAND &&
                (entry->id != LOWORD(wParam) || entry->code != HIWORD(wParam)))
                continue;
            return entry;
        }
    }
    return nullptr;
}

CWnd* CWnd::GetDlgItem(int id) const {
    HWND child = ::GetDlgItem(m_hWnd, id);
    if (!child)
        return nullptr;
    std::unique_ptr<CWnd>& wrapper = m_children[child];
    if (!wrapper) {
        wrapper = std::make_unique<CWnd>();
        wrapper->m_hWnd = child;
    }
    return wrapper.get();
}

void CWnd::SetWindowText(const char* text) {
    ::SetWindowTextA(m_hWnd, text);
}

BOOL CWnd::EnableWindow(BOOL enable) {
    return ::EnableWindow(m_hWnd, enable);
}

CWnd* CWnd::SetFocus() {
    ::SetFocus(m_hWnd);
    return nullptr;
}

BOOL CWnd::IsIconic() const {
    return ::IsIconic(m_hWnd);
}

void CWnd::GetClientRect(LPRECT rect) const {
    ::GetClientRect(m_hWnd, rect);
}

HICON CWnd::SetIcon(HICON icon, BOOL big) {
    return reinterpret_cast<HICON>(::SendMessageA(m_hWnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                                                  reinterpret_cast<LPARAM>(icon)));
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

HMENU CWnd::GetSystemMenu(BOOL revert) const {
    return ::GetSystemMenu(m_hWnd, revert);
}

BOOL CWnd::UpdateData(BOOL saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

void CWnd::OnSysCommand(UINT, LPARAM) {
    Default();
}

void CWnd::OnPaint() {
    Default();
}

void CWnd::Default() {
    m_defaultRequested = true;
}

void DDX_Text(CDataExchange* dx, int id, CString& value) {
    HWND dialog = dx->m_pDlgWnd->m_hWnd;
    if (!dx->m_bSaveAndValidate) {
        SetDlgItemTextA(dialog, id, value);
        return;
    }
    HWND control = GetDlgItem(dialog, id);
    int length = control ? GetWindowTextLengthA(control) : 0;
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    GetDlgItemTextA(dialog, id, text.data(), length + 1);
    value = text.data();
}
