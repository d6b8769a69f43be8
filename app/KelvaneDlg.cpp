// The main dialog: states, button, message line, status area, About item and minimised icon.
#include "KelvaneDlg.h"

#include "helpers/helper.h"
#include "helpers/owned.h"
#include "res/resource.h"

const char* const g_buttonTexts[5] = {"Start", "Quit", "Cancel", "Quit", "Restart"};

namespace {

// Longest time the wait for the worker goes without looking at the message queue: the system
// counts a window whose thread does not look for some seconds as not responding.
const DWORD kWaitSliceMs = 100;
// Paint messages served in one look at the queue (a window that never validates itself must not
// hold the wait for ever).
const int kPaintsPerLook = 16;

// Message string and beep for each state on refresh; 0 leaves the message line unchanged.
struct StateLook {
    UINT message;
    bool beep;
    UINT beepType;
};

const StateLook kStateLooks[5] = {
    {IDS_READY, false, 0},                // STATE_READY
    {IDS_FAILED, true, 0xFFFFFFFF},       // STATE_FAILED
    {0, false, 0},                        // STATE_RUNNING
    {IDS_CANCELLED, false, 0},            // STATE_CANCELLED
    {IDS_RESTART, true, MB_ICONASTERISK}, // STATE_RESTART
};

int ClampState(int state) {
    return state >= STATE_READY && state <= STATE_RESTART ? state : STATE_FAILED;
}

} // namespace

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUT) {}

BEGIN_MESSAGE_MAP(CUninstallDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_ACTION, OnActionButton)
ON_MESSAGE(WM_UNINSTALL_REFRESH, RefreshUI)
ON_MESSAGE(WM_UNINSTALL_STAGE, OnStage)
ON_MESSAGE(WM_UNINSTALL_RESULT, OnStageResult)
END_MESSAGE_MAP()

CUninstallDlg::CUninstallDlg(CWnd* parent)
    : CDialog(IDD_UNINSTALL, parent), m_state(STATE_READY), m_shownState(STATE_READY) {
    m_hIcon = AfxGetApp() ? AfxGetApp()->LoadIcon(IDI_MAIN)
                          : LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_MAIN));
}

CUninstallDlg::~CUninstallDlg() = default;

void CUninstallDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Text(dx, IDC_MESSAGE, m_message);
    DDX_Text(dx, IDC_STATUS, m_status);
}

BOOL CUninstallDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    HMENU systemMenu = GetSystemMenu(FALSE);
    if (systemMenu) {
        CString about;
        about.LoadString(IDS_ABOUT_MENU);
        if (!about.IsEmpty()) {
            AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(systemMenu, MF_STRING, ID_SYSCMD_ABOUT, about);
        }
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    if (!IsAdministrator()) {
        m_state = STATE_FAILED;
        m_status.LoadString(IDS_NO_RIGHTS);
    }
    RefreshUI();
    return TRUE;
}

void CUninstallDlg::OnSysCommand(UINT id, LPARAM lParam) {
    if ((id & 0xFFF0) == ID_SYSCMD_ABOUT) {
        CAboutDlg about;
        about.DoModal();
        return;
    }
    CDialog::OnSysCommand(id, lParam);
}

void CUninstallDlg::OnPaint() {
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(&client);
    int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
}

HCURSOR CUninstallDlg::OnQueryDragIcon() {
    return static_cast<HCURSOR>(m_hIcon);
}

void CUninstallDlg::ShowProcessing() {
    m_message.Format(IDS_PROCESSING, g_buttonTexts[m_shownState]);
    UpdateData(FALSE);
    CWnd* button = GetDlgItem(IDC_ACTION);
    if (button) {
        button->EnableWindow(FALSE);
        button->SetFocus();
    }
}

LRESULT CUninstallDlg::RefreshUI(WPARAM, LPARAM) {
    const int state = ClampState(m_state);
    m_shownState = state;
    const StateLook& look = kStateLooks[state];
    if (look.message)
        m_message.LoadString(look.message);
    if (look.beep)
        MessageBeep(look.beepType);
    CWnd* button = GetDlgItem(IDC_ACTION);
    if (button)
        button->SetWindowText(g_buttonTexts[state]);
    UpdateData(FALSE);
    if (button) {
        button->EnableWindow(TRUE);
        button->SetFocus();
    }
    return 0;
}

LRESULT CUninstallDlg::OnStage(WPARAM id, LPARAM) {
    CString stage;
    stage.LoadString(static_cast<UINT>(id));
    m_message = stage;
    m_status += "\n -- ";
    m_status += stage;
    UpdateData(FALSE);
    return 0;
}

LRESULT CUninstallDlg::OnStageResult(WPARAM code, LPARAM) {
    LocalText text;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPSTR>(text.out()), 0, nullptr);
    if (length && text) {
        m_status += " ";
        m_status += text.get();
    } else {
        m_status += " Failed";
    }
    UpdateData(FALSE);
    return 0;
}

void CUninstallDlg::StartRun() {
    // A process performs at most one run: only the ready state starts one.
    int ready = STATE_READY;
    if (!m_state.compare_exchange_strong(ready, STATE_RUNNING))
        return;
    g_workerStage = IDS_STAGE_PROFILE;
    g_workerContext.dialog = this;
    g_workerContext.engine->SetDialog(this, &m_state);
    g_workerContext.thread =
        CreateThread(nullptr, 0, UninstallThreadProc, &g_workerContext, 0, nullptr);
    if (!g_workerContext.thread) {
        m_state = STATE_FAILED;
        RefreshUI();
    }
}

void CUninstallDlg::WaitForWorker() {
    HANDLE thread = g_workerContext.thread;
    if (!thread)
        return;
    for (;;) {
        DWORD woke =
            MsgWaitForMultipleObjects(1, &thread, FALSE, kWaitSliceMs, QS_SENDMESSAGE | QS_PAINT);
        if (woke == WAIT_OBJECT_0)
            break;
        if (woke != WAIT_OBJECT_0 + 1 && woke != WAIT_TIMEOUT) {
            WaitForSingleObject(thread, INFINITE);
            break;
        }
        // Peeking delivers the messages sent to this thread and removes nothing posted; it also
        // shows the system that the window still looks at its queue. Only paint messages are
        // taken out, and handled.
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        for (int i = 0; i < kPaintsPerLook && PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT,
                                                           PM_REMOVE | PM_QS_PAINT);
             ++i)
            DispatchMessageA(&message);
    }
    CloseHandle(thread);
    g_workerContext.thread = nullptr;
}

void CUninstallDlg::OnActionButton() {
    ShowProcessing();
    switch (m_shownState) {
    case STATE_READY:
        StartRun();
        break;
    case STATE_RUNNING: {
        // Only a running state becomes cancelled: a final state the worker stored meanwhile
        // stays, and its own refresh shows it after the wait.
        int running = STATE_RUNNING;
        m_state.compare_exchange_strong(running, STATE_CANCELLED);
        WaitForWorker();
        break;
    }
    case STATE_RESTART:
        RestartComputer();
        WaitForWorker();
        EndDialog(IDCANCEL);
        break;
    default: // STATE_FAILED, STATE_CANCELLED: Quit
        WaitForWorker();
        EndDialog(IDCANCEL);
        break;
    }
}
