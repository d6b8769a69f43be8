// Fixture for the discovery tests: a fresh simulated machine, an engine and the set it fills.
#pragma once

#include "engine/Zelm.h"
#include "helpers/helper.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

class DiscoveryTest : public ::testing::Test {
protected:
    typedef DWORD (CUninstallEngine::*FindOperation)(TSet&, char*);

    void SetUp() override { sim::Reset(); }

    // Runs one discovery operation the way the profile reader does: on a writable, normalised
    // copy of the entry's data, into `found`.
    DWORD Find(FindOperation operation, const std::string& data) {
        std::vector<char> text(data.begin(), data.end());
        text.push_back('\0');
        NormalizeEntry(text.data());
        return (engine.*operation)(found, text.data());
    }

    // The items of a set in set order.
    static std::vector<std::string> Items(TSet& set) {
        std::vector<std::string> items;
        char* item = nullptr;
        for (DWORD r = set.GetFirst(&item); r == ERROR_SUCCESS; r = set.GetNext(&item))
            items.push_back(item);
        return items;
    }
    std::vector<std::string> Found() { return Items(found); }

    CUninstallEngine engine;
    TSet found;
};
