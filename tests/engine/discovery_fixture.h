// Fixture for the discovery tests: a fresh simulated machine, an engine and the set it fills.
#pragma once

#include "engine/Zelm.h"
#include "helpers/helper.h"
#include "sim/sim.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class DiscoveryTest : public ::testing::Test {
protected:
    typedef DWORD (CUninstallEngine::*FindOperation)(TSet&, char*);
    typedef std::vector<std::string> Strings;

    // A data-match entry's fields as the profile writes them: quoted and separated by commas.
    static std::string Fields(const Strings& fields) {
        std::string text;
        for (const std::string& field : fields)
            text += (text.empty() ? "\"" : ",\"") + field + "\"";
        return text;
    }

    void SetUp() override { sim::Reset(); }

    // Runs one discovery operation the way the profile reader does: on a writable, normalised
    // copy of the entry's data, into `found`.
    DWORD Find(FindOperation operation, const std::string& data) {
        std::vector<char> text(data.begin(), data.end());
        text.push_back('\0');
        NormalizeEntry(text.data());
        return (engine.*operation)(found, text.data());
    }

    // The items found so far, in set order.
    Strings Found() {
        Strings items;
        char* item = nullptr;
        for (DWORD r = found.GetFirst(&item); r == ERROR_SUCCESS; r = found.GetNext(&item))
            items.push_back(item);
        return items;
    }

    CUninstallEngine engine;
    TSet found;
};
