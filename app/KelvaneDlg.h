// The main dialog with its five-state action button, the About box, and the worker's record.
#pragma once

#include "afxwin.h"
#include "engine/Zelm.h"

#include <atomic>

// Private messages the worker posts to the dialog (lParam is always 0).
#define WM_UNINSTALL_REFRESH (WM_USER + 1)
#define WM_UNINSTALL_STAGE (WM_USER + 2)
#define WM_UNINSTALL_RESULT (WM_USER + 3)

class CUninstallDlg;

// The record handed to the worker thread.
struct WorkerContext {
    CUninstallDlg* dialog;
    HANDLE thread;
    DWORD result;
    CUninstallEngine* engine;
};

extern CUninstallEngine g_engine;
extern WorkerContext g_workerContext;
extern const char* const g_buttonTexts[5];

DWORD WINAPI UninstallThreadProc(LPVOID context);
// The string ID of the stage the worker is in; set by the dialog before the worker starts.
extern std::atomic<UINT> g_workerStage;
// Writes the log line of a run abandoned while the worker still works (ESC, the close box).
void LogAbandonedRun();
// Takes the machine-wide token of a running copy; false, after saying so in a message box, when
// another copy holds it (or it cannot be had). Released when the program ends.
bool ClaimSingleRun();
void ReleaseSingleRun();
// True for members of the local Administrators group (always outside the NT family).
BOOL IsAdministrator();
// Enables the shutdown privilege (NT family) and asks for a forced reboot.
void RestartComputer();

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
    DECLARE_MESSAGE_MAP()
};

class CUninstallDlg : public CDialog {
public:
    explicit CUninstallDlg(CWnd* parent = nullptr);
    ~CUninstallDlg() override;

    // Written by the worker and the dialog, read by the engine without a lock.
    std::atomic<int> m_state;
    // The state the last refresh showed: the button acts on what the user saw, never on a state
    // the worker stored but the dialog has not shown yet. Dialog thread only.
    int m_shownState;
    CString m_message;
    CString m_status;
    HICON m_hIcon;

    LRESULT RefreshUI(WPARAM = 0, LPARAM = 0);
    LRESULT OnStage(WPARAM id, LPARAM = 0);
    LRESULT OnStageResult(WPARAM code, LPARAM = 0);
    void OnActionButton();
    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;

private:
    void ShowProcessing();
    void StartRun();
    // Waits for the worker while still serving messages sent to this thread (the worker's
    // confirmation box is owned by the dialog) and painting the window; posted messages stay
    // queued, in order.
    void WaitForWorker();

    DECLARE_MESSAGE_MAP()
};
