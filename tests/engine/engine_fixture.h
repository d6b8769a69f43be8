// Shared set-up of the profile, plan and log tests: a fresh simulated machine and trace facility,
// an engine linked to a dialog stand-in, the profile beside the program and the log read back.
#pragma once

#include "engine/Zelm.h"
#include "run_state.h"
#include "sim/sim.h"
#include "trace/trace_testing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace enginetest {

const char kProgram[] = "C:\\Tools\\Kelvane.exe";
const char kProfile[] = "C:\\Tools\\Kelvane.cfg";
const char kLog[] = "C:\\Tools\\Kelvane.log";

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        FreshMachine();
        engine.SetStateReader(&dialog);
    }
    // No log, a fresh simulated machine, the program in C:\Tools.
    static void FreshMachine() {
        TraceResetForTests();
        sim::Reset();
        sim::SetModulePath(kProgram);
        sim::AddFolder("C:\\Tools");
    }
    void TearDown() override { TraceResetForTests(); }

    // Writes the profile where the program looks for it.
    static void WriteProfile(const std::string& text) { sim::AddFile(kProfile, text); }

    // The lines of a log file without the date-time column (everything up to the first tab);
    // the text-mode stream stored each line end as CR LF.
    static std::vector<std::string> LogLines(const char* path = kLog) {
        std::string content = sim::FileContent(path);
        std::vector<std::string> lines;
        size_t start = 0;
        while (start < content.size()) {
            size_t end = content.find("\r\n", start);
            std::string line =
                content.substr(start, end == std::string::npos ? std::string::npos : end - start);
            size_t tab = line.find('\t');
            lines.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
            if (end == std::string::npos)
                break;
            start = end + 2;
        }
        return lines;
    }

    // The items of a set in set order.
    static std::vector<std::string> Items(TSet& set) {
        std::vector<std::string> items;
        char* item = nullptr;
        for (DWORD more = set.GetFirst(&item); more == ERROR_SUCCESS; more = set.GetNext(&item))
            items.push_back(item);
        return items;
    }

    // The state reads cancelled from the engine's `read`-th look at it on (counted from 1).
    void CancelFromRead(int read) { dialog.m_cancelFromRead = read; }
    int StateReads() const { return dialog.m_stateReads.load(); }

    TestRunState dialog;
    CUninstallEngine engine;
};

typedef std::vector<std::string> Lines;

} // namespace enginetest
