// Shared set-up of the run-time stage tests: a fresh simulated machine and trace facility, and
// an engine whose dialog stand-in the test can cancel.
#pragma once

#include "engine/Zelm.h"
#include "run_state.h"
#include "sim/sim.h"
#include "trace/trace_testing.h"

#include <gtest/gtest.h>

#include <string>

namespace runtimetest {

class RuntimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        // No log is open after the reset, so the engine's lines reach the debugger output,
        // without the date-time column.
        TraceResetForTests();
        sim::Reset();
        m_engine.SetStateReader(&m_dialog);
    }
    void TearDown() override { TraceResetForTests(); }

    void CancelNow() { m_dialog.m_state = STATE_CANCELLED; }
    // The state reads cancelled from the engine's `read`-th look at it on (counted from 1).
    void CancelFromRead(int read) { m_dialog.m_cancelFromRead = read; }
    int StateReads() const { return m_dialog.m_stateReads.load(); }

    static std::string Log() { return sim::DebugOutput(); }

    TestRunState m_dialog;
    CUninstallEngine m_engine;
};

} // namespace runtimetest
