// The engine's view of the stand-in dialog's state.
#include "fake_dialog.h"

int DialogState(const CUninstallDlg* dialog) {
    return dialog ? dialog->m_state.load(std::memory_order_relaxed) : STATE_RUNNING;
}
