// The run sequence: the worker thread that calls the engine's stages in their fixed order.
#include "KelvaneDlg.h"

#include "helpers/helper.h"
#include "helpers/security_center.h"
#include "res/resource.h"

namespace {

// The dialog's window, read once when the worker starts: the dialog thread clears the field when
// the dialog ends, possibly while the worker still runs (ESC during a run).
struct Run {
    WorkerContext* context;
    HWND window;
};

void Post(const Run& run, UINT message, WPARAM wParam) {
    PostMessageA(run.window, message, wParam, 0);
}

DWORD Fail(const Run& run) {
    run.context->dialog->m_state = STATE_FAILED;
    Post(run, WM_UNINSTALL_REFRESH, 0);
    return run.context->result;
}

// Posts the stage's end with the result in the context; true when the run goes on.
bool StageEnded(const Run& run) {
    Post(run, WM_UNINSTALL_RESULT, run.context->result);
    return run.context->result == 0;
}

} // namespace

DWORD WINAPI UninstallThreadProc(LPVOID parameter) {
    WorkerContext* context = static_cast<WorkerContext*>(parameter);
    const Run run = {context, context->dialog->m_hWnd};
    CUninstallEngine* engine = context->engine;

    Post(run, WM_UNINSTALL_REFRESH, 0);

    Post(run, WM_UNINSTALL_STAGE, IDS_STAGE_PROFILE);
    context->result = engine->CreateProfile();
    if (context->result == 0)
        context->result = engine->PopulateRemoveLists();
    if (!StageEnded(run))
        return Fail(run);

    CString confirm;
    confirm.LoadString(IDS_CONFIRM);
    if (MessageBoxA(run.window, confirm, "Notification!",
                    MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDNO) {
        context->dialog->m_state = STATE_CANCELLED;
        context->result = ERROR_CANCELLED;
        Post(run, WM_UNINSTALL_REFRESH, 0);
        return ERROR_CANCELLED;
    }

    Post(run, WM_UNINSTALL_STAGE, IDS_STAGE_SERVICES);
    context->result = engine->StopServices();
    if (!StageEnded(run))
        return Fail(run);
    Sleep(2000);

    Post(run, WM_UNINSTALL_STAGE, IDS_STAGE_DEFAULTS);
    context->result = engine->ResetLspStack();
    if (!StageEnded(run))
        return Fail(run);
    UnregisterSecurityCenter();
    Sleep(1500);

    Post(run, WM_UNINSTALL_STAGE, IDS_STAGE_FILES);
    context->result = engine->CleanupFiles();
    if (!StageEnded(run))
        return Fail(run);

    Post(run, WM_UNINSTALL_STAGE, IDS_STAGE_REGISTRY);
    context->result = engine->CleanupRegValues();
    if (context->result != 0) {
        StageEnded(run);
        return Fail(run);
    }
    context->result = engine->CleanupRegKeys();
    if (!StageEnded(run))
        return Fail(run);

    context->dialog->m_state = STATE_RESTART;
    Post(run, WM_UNINSTALL_REFRESH, 0);
    return 0;
}
