// The companion has no dialog: nothing ever cancels its reading of a profile.
#include "engine/Zelm.h"

int DialogState(const CUninstallDlg*) {
    return STATE_RUNNING;
}
