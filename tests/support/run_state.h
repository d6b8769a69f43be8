// The run's state as tests and tools give it to the engine in place of the dialog's: a state field,
// plus controls to cancel at a chosen read.
#pragma once

#include "engine/Zelm.h"

#include <atomic>

class TestRunState final : public CRunStateReader {
public:
    int ReadState() const override {
        int read = ++m_stateReads;
        int from = m_cancelFromRead.load(std::memory_order_relaxed);
        if (from > 0 && read >= from)
            return STATE_CANCELLED;
        return m_state.load(std::memory_order_relaxed);
    }

    std::atomic<int> m_state{STATE_RUNNING};
    // How often the engine has read the state, and the read (counted from 1) from which on it
    // reads cancelled, as if Cancel were pressed just then (0: never).
    mutable std::atomic<int> m_stateReads{0};
    std::atomic<int> m_cancelFromRead{0};
};
