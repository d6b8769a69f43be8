// A stand-in for the main dialog in engine tests: only the state field the engine reads.
#pragma once

#include "engine/Zelm.h"

#include <atomic>

class CUninstallDlg {
public:
    std::atomic<int> m_state{STATE_RUNNING};
    // Test controls: how often the engine has read the state, and the read (counted from 1) from
    // which on it reads cancelled, as if Cancel were pressed just then (0: never).
    mutable std::atomic<int> m_stateReads{0};
    std::atomic<int> m_cancelFromRead{0};
};
