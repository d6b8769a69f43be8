// The engine's view of the stand-in dialog's state.
#include "fake_dialog.h"

int DialogState(const CUninstallDlg* dialog) {
    if (!dialog)
        return STATE_RUNNING;
    int read = ++dialog->m_stateReads;
    int from = dialog->m_cancelFromRead.load(std::memory_order_relaxed);
    if (from > 0 && read >= from)
        return STATE_CANCELLED;
    return dialog->m_state.load(std::memory_order_relaxed);
}
