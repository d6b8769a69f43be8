// The application object: shows the main dialog modally; the program ends when it closes.
#include "Kelvane.h"

#include "KelvaneDlg.h"

BEGIN_MESSAGE_MAP(CUninstallApp, CWinApp)
ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CUninstallApp::CUninstallApp() = default;
CUninstallApp::~CUninstallApp() = default;

BOOL CUninstallApp::InitInstance() {
    Enable3dControls();
    // A second copy ends here, having changed nothing.
    if (!ClaimSingleRun())
        return FALSE;
    {
        CUninstallDlg dialog;
        m_pMainWnd = &dialog;
        dialog.DoModal();
        m_pMainWnd = nullptr;
        // ESC or the close box may end the dialog while the worker still runs. The program ends
        // at once: the worker must not go on with a dialog and an engine that are about to be
        // destroyed. The log says first that the run was abandoned, and where.
        if (g_workerContext.thread &&
            WaitForSingleObject(g_workerContext.thread, 0) == WAIT_TIMEOUT) {
            LogAbandonedRun();
            ExitProcess(0);
        }
    }
    ReleaseSingleRun();
    return FALSE;
}
