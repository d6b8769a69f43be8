// A stand-in for the main dialog in engine tests: only the state field the engine reads.
#pragma once

#include "engine/Zelm.h"

#include <atomic>

class CUninstallDlg {
public:
    std::atomic<int> m_state{STATE_RUNNING};
};
