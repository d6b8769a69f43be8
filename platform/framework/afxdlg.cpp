// Modal dialogs: DialogBoxParamA with one dialog procedure that routes messages to the map.
#include "afxwin.h"

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

namespace {

// A dialog without a parent is owned by the application's main window, when there is one, so
// that the main window is disabled while the dialog is up. The main dialog itself gets no owner:
// its window does not exist yet when it is run.
HWND DefaultOwner(const CDialog* dialog) {
    CWinApp* app = AfxGetApp();
    CWnd* main = app ? app->m_pMainWnd : nullptr;
    return main && main != dialog ? main->m_hWnd : nullptr;
}

} // namespace

INT_PTR CDialog::DoModal() {
    HWND owner = m_parent ? m_parent->m_hWnd : DefaultOwner(this);
    INT_PTR result = DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_templateId), owner,
                                     &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

void CDialog::EndDialog(int result) {
    ::EndDialog(m_hWnd, result);
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        CDialog* dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
        dialog->m_hWnd = window;
        return dialog->OnInitDialog();
    }
    CDialog* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!dialog)
        return FALSE;
    return dialog->HandleMessage(message, wParam, lParam);
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const AFX_MSGMAP_ENTRY* entry = FindEntry(message, wParam);
    if (entry) {
        m_defaultRequested = false;
        LRESULT result = entry->handler(this, wParam, lParam);
        if (m_defaultRequested)
            return FALSE;
        // A few messages return their value straight from the dialog procedure.
        if (message == WM_QUERYDRAGICON)
            return static_cast<INT_PTR>(result);
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
    }
    return FALSE;
}
