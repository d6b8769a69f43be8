// The run sequence: the worker thread that calls the engine's stages in their fixed order.
#include "KelvaneDlg.h"

#include "helpers/helper.h"
#include "helpers/security_center.h"
#include "res/resource.h"

namespace {

void Post(const WorkerContext* context, UINT message, WPARAM wParam) {
    PostMessageA(context->dialog->m_hWnd, message, wParam, 0);
}

DWORD Fail(WorkerContext* context) {
    context->dialog->m_state = STATE_FAILED;
    Post(context, WM_UNINSTALL_REFRESH, 0);
    return context->result;
}

// Posts the stage's end with the result in the context; true when the run goes on.
bool StageEnded(WorkerContext* context) {
    Post(context, WM_UNINSTALL_RESULT, context->result);
    return context->result == 0;
}

} // namespace

DWORD WINAPI UninstallThreadProc(LPVOID parameter) {
    WorkerContext* context = static_cast<WorkerContext*>(parameter);
    CUninstallEngine* engine = context->engine;

    Post(context, WM_UNINSTALL_REFRESH, 0);

    Post(context, WM_UNINSTALL_STAGE, IDS_STAGE_PROFILE);
    context->result = engine->CreateProfile();
    if (context->result == 0)
        context->result = engine->PopulateRemoveLists();
    if (!StageEnded(context))
        return Fail(context);

    CString confirm;
    confirm.LoadString(IDS_CONFIRM);
    if (MessageBoxA(context->dialog->m_hWnd, confirm, "Notification!",
                    MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDNO) {
        context->dialog->m_state = STATE_CANCELLED;
        context->result = ERROR_CANCELLED;
        Post(context, WM_UNINSTALL_REFRESH, 0);
        return ERROR_CANCELLED;
    }

    Post(context, WM_UNINSTALL_STAGE, IDS_STAGE_SERVICES);
    context->result = engine->StopServices();
    if (!StageEnded(context))
        return Fail(context);
    Sleep(2000);

    Post(context, WM_UNINSTALL_STAGE, IDS_STAGE_DEFAULTS);
    context->result = engine->ResetLspStack();
    if (!StageEnded(context))
        return Fail(context);
    UnregisterSecurityCenter();
    Sleep(1500);

    Post(context, WM_UNINSTALL_STAGE, IDS_STAGE_FILES);
    context->result = engine->CleanupFiles();
    if (!StageEnded(context))
        return Fail(context);

    Post(context, WM_UNINSTALL_STAGE, IDS_STAGE_REGISTRY);
    context->result = engine->CleanupRegValues();
    if (context->result != 0) {
        StageEnded(context);
        return Fail(context);
    }
    context->result = engine->CleanupRegKeys();
    if (!StageEnded(context))
        return Fail(context);

    context->dialog->m_state = STATE_RESTART;
    Post(context, WM_UNINSTALL_REFRESH, 0);
    return 0;
}
