// The companion's proof of a removal: the profile's plan is what the installation added, and after
// Kelvane's run and a restart the machine is as it was before the installation, except residue
// that is listed with its reason.
#pragma once

#include "check.h"
#include "diff.h"

#include <cstdio>
#include <string>
#include <vector>

namespace companion {

struct Finding {
    std::string what;   // "file C:\..." and the like
    std::string reason; // why it is there, or what is wrong with it
};

struct Verification {
    // The profile's plan against what appeared between BEFORE and AFTER.
    std::vector<Finding> plannedButNotInstalled;
    std::vector<Finding> installedButNotPlanned; // neither planned nor left to a comment
    // The machine after the removal (FINAL) against BEFORE.
    std::vector<Finding> notRemoved;  // planned, still there
    std::vector<Finding> wronglyGone; // there before and after the installation, gone now
    std::vector<Finding> residue;     // differences that are not the removal's fault
    bool Passed() const {
        return plannedButNotInstalled.empty() && installedButNotPlanned.empty() &&
               notRemoved.empty() && wronglyGone.empty();
    }
};

// The plan of `report` against the difference between `before` and `after`: what must be planned
// is every topmost-covered record that appeared, except what the draft profile leaves to a
// comment (the installer's cached package, the temporary folder, Winsock entries).
Verification VerifyPlan(const CheckReport& report, const Snapshot& before, const Snapshot& after);

// Adds the removal's findings: `final` is the machine after Kelvane's run and a restart.
void VerifyRemoval(const CheckReport& report, const Snapshot& before, const Snapshot& after,
                   const Snapshot& final, Verification* verification);

// The plan of a clean check kept in a file, for the proof after the removal (when the profile no
// longer finds what it removed): a header line, then kind, item and line, tab-separated.
bool SavePlan(const CheckReport& report, const char* path);
bool LoadPlan(const char* path, CheckReport* report, std::string* problem);

void PrintVerification(const Verification& verification, FILE* out);

} // namespace companion
