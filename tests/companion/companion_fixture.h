// A fresh simulated machine for the companion's tests, and the plan a run of Kelvane would build.
#pragma once

#include "companion/check.h"
#include "engine/Zelm.h"
#include "run_state.h"
#include "sim/sim.h"
#include "trace/trace_testing.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace companiontest {

const char kProgram[] = "C:\\Tools\\Kelvane.exe";
const char kProfile[] = "C:\\Tools\\Kelvane.cfg";

class CompanionTest : public ::testing::Test {
protected:
    void SetUp() override {
        TraceResetForTests();
        sim::Reset();
        sim::SetModulePath(kProgram);
        sim::AddFolder("C:\\Tools");
    }
    void TearDown() override { TraceResetForTests(); }

    // The plan the GUI's own sequence builds from the profile beside the program: kind and item.
    static std::set<std::string> GuiPlan() {
        TestRunState dialog;
        CUninstallEngine engine;
        engine.SetStateReader(&dialog);
        std::set<std::string> plan;
        if (engine.CreateProfile() != 0 || engine.PopulateRemoveLists() != 0)
            return plan;
        const std::pair<const char*, TSet*> sets[] = {{"service", &engine.m_planServices},
                                                      {"key", &engine.m_planRegKeys},
                                                      {"value", &engine.m_planRegValues},
                                                      {"file", &engine.m_planFiles}};
        for (const auto& set : sets) {
            char* item = nullptr;
            for (DWORD more = set.second->GetFirst(&item); more == 0;
                 more = set.second->GetNext(&item))
                plan.insert(std::string(set.first) + " " + item);
        }
        return plan;
    }

    // The companion's plan in the same form (folders count as files, as in the plan sets).
    static std::set<std::string> CompanionPlan(const companion::CheckReport& report) {
        std::set<std::string> plan;
        for (const companion::PlannedItem& item : report.plan)
            plan.insert((item.kind == "folder" ? std::string("file") : item.kind) + " " +
                        item.item);
        return plan;
    }
};

} // namespace companiontest
