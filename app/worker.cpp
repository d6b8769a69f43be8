// The run sequence: the worker thread that calls the engine's stages in their fixed order.
#include "KelvaneDlg.h"

#include "helpers/helper.h"
#include "helpers/security_center.h"
#include "res/resource.h"
#include "trace/trace.h"

#include <new>

std::atomic<UINT> g_workerStage{IDS_STAGE_PROFILE};

namespace {

// After the stop requests: the services and processes are given time to end before the next
// stage touches the Winsock catalog and their files (nothing waits for the stopped state).
const DWORD kAfterStopPauseMs = 2000;
// After the Winsock repair and the Security Center: the system settles before the files go.
const DWORD kAfterDefaultsPauseMs = 1500;

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

// Records the stage for a log line of an abandoned run, then tells the dialog.
void BeginStage(const Run& run, UINT stage) {
    g_workerStage = stage;
    Post(run, WM_UNINSTALL_STAGE, stage);
}

// Posts the stage's end with the result in the context; true when the run goes on.
bool StageEnded(const Run& run) {
    Post(run, WM_UNINSTALL_RESULT, run.context->result);
    return run.context->result == 0;
}

// The stages in their order; the result of the last one run.
DWORD RunStages(const Run& run) {
    WorkerContext* context = run.context;
    CUninstallEngine* engine = context->engine;

    Post(run, WM_UNINSTALL_REFRESH, 0);

    BeginStage(run, IDS_STAGE_PROFILE);
    context->result = engine->CreateProfile();
    if (context->result == 0)
        context->result = engine->PopulateRemoveLists();
    if (!StageEnded(run))
        return Fail(run);

    CString confirm;
    confirm.LoadString(IDS_CONFIRM);
    SetLastError(ERROR_SUCCESS);
    int answer = MessageBoxA(run.window, confirm, "Notification!",
                             MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    if (answer == IDNO) {
        context->dialog->m_state = STATE_CANCELLED;
        context->result = ERROR_CANCELLED;
        Post(run, WM_UNINSTALL_REFRESH, 0);
        return ERROR_CANCELLED;
    }
    if (answer != IDYES) {
        // Only Yes goes on. A box that could not be shown asked nothing: the run fails with the
        // box's error in the status area, before anything was changed.
        DWORD error = GetLastError();
        context->result = error ? error : ERROR_CAN_NOT_COMPLETE;
        StageEnded(run);
        return Fail(run);
    }

    BeginStage(run, IDS_STAGE_SERVICES);
    context->result = engine->StopServices();
    if (!StageEnded(run))
        return Fail(run);
    Sleep(kAfterStopPauseMs);

    BeginStage(run, IDS_STAGE_DEFAULTS);
    context->result = engine->ResetLspStack();
    if (!StageEnded(run))
        return Fail(run);
    UnregisterSecurityCenter();
    Sleep(kAfterDefaultsPauseMs);

    BeginStage(run, IDS_STAGE_FILES);
    context->result = engine->CleanupFiles();
    if (!StageEnded(run))
        return Fail(run);

    BeginStage(run, IDS_STAGE_REGISTRY);
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

} // namespace

DWORD WINAPI UninstallThreadProc(LPVOID parameter) {
    WorkerContext* context = static_cast<WorkerContext*>(parameter);
    const Run run = {context, context->dialog->m_hWnd};
    // Nothing unwinds out of the thread: an exhausted heap (the standard containers throw) fails
    // the stage it falls in like any other error, and the run stops there.
    try {
        return RunStages(run);
    } catch (const std::bad_alloc&) {
        context->result = ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        context->result = ERROR_CAN_NOT_COMPLETE;
    }
    StageEnded(run);
    return Fail(run);
}

void LogAbandonedRun() {
    CString stage;
    stage.LoadString(g_workerStage);
    LogStepLine("%04d RunAbandoned: %s\n", static_cast<int>(ERROR_CANCELLED),
                static_cast<const char*>(stage));
}
