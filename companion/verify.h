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
    std::vector<Finding> installedButNotPlanned; // neither planned, spared nor left to a comment
    std::vector<Finding> spared;                 // added by the installation, spared by an ignore
                                                 // entry (and, after the removal, still there)
    // The machine after the removal (FINAL) against BEFORE.
    std::vector<Finding> notRemoved;  // planned, still there
    std::vector<Finding> wronglyGone; // there before and after the installation, gone now
    std::vector<Finding> sparedGone;  // spared by an ignore entry, gone after the removal
    std::vector<Finding> residue;     // differences that are not the removal's fault
    // The machine right after the run, before the restart (optional).
    bool ranChecked = false;
    std::vector<Finding> notStopped; // a planned service running before the run and after it
    // The run's log against the plan (optional).
    bool logChecked = false;
    std::vector<Finding> logProblems;
    std::vector<std::string> logNotes; // refusal lines: no failure, but worth reading
    // The identities of the spared records, for the check after the removal.
    std::vector<std::string> sparedIds;
    bool Passed() const {
        return plannedButNotInstalled.empty() && installedButNotPlanned.empty() &&
               notRemoved.empty() && wronglyGone.empty() && sparedGone.empty() &&
               notStopped.empty() && logProblems.empty();
    }
};

// Folders and keys the profile leaves on purpose (for example the Windows Installer's registration
// of a product): what the installation added beneath them is residue, not a failure.
typedef std::vector<std::string> LeftOnPurpose;

// The plan of `report` against the difference between `before` and `after`: what must be planned
// is every topmost-covered record that appeared, except what the draft profile leaves to a
// comment (the installer's cached package, the temporary folder, Winsock entries).
// An appeared record that an ignore entry spared is listed as spared, one beneath `left` as
// residue.
Verification VerifyPlan(const CheckReport& report, const Snapshot& before, const Snapshot& after,
                        const LeftOnPurpose& left = LeftOnPurpose());

// Adds the removal's findings: `final` is the machine after Kelvane's run and a restart. A planned
// folder or key that is still there because it holds something the plan does not remove (what an
// ignore entry spared) is residue; every spared record that the installation added must still be
// there.
void VerifyRemoval(const CheckReport& report, const Snapshot& before, const Snapshot& after,
                   const Snapshot& final, Verification* verification,
                   const LeftOnPurpose& left = LeftOnPurpose());

// Adds the run's findings: `ran` is the machine right after Kelvane's run, before the restart. A
// planned service that was running after the installation must be stopped.
void VerifyRun(const CheckReport& report, const Snapshot& after, const Snapshot& ran,
               Verification* verification);

// Adds the log's findings: the log of a complete run holds every step's line with the result 0
// and the counts of this plan and its profile lists, in the run's order; every other line with
// a result other than 0 is a problem, except the refusals of protected locations (noted).
// False when the log cannot be read.
bool VerifyLog(const CheckReport& report, const char* logPath, Verification* verification);

// The plan of a clean check kept in a file, for the proof after the removal (when the profile no
// longer finds what it removed): a header line, then kind, item and line, tab-separated; then
// "spared", kind, item, ignore item and line for each spared item, and "list", the log's name of
// a profile list and its count, for each profile list.
bool SavePlan(const CheckReport& report, const char* path);
bool LoadPlan(const char* path, CheckReport* report, std::string* problem);

void PrintVerification(const Verification& verification, FILE* out);

} // namespace companion
