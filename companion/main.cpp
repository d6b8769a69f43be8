// kvprofile: the profile authors' companion. check reads a profile as Kelvane does and shows the
// plan it gives on this machine; snapshot records what an installation can touch; diff compares
// two snapshots and drafts a profile. It never changes the machine (beyond the files it is told
// to write).
#include "check.h"
#include "diff.h"
#include "snapshot.h"
#include "verify.h"

#include "platform/os/crt.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace companion;

namespace {

const char kUsage[] =
    "usage: kvprofile check [PROFILE] [--json]\n"
    "       kvprofile snapshot FILE\n"
    "       kvprofile diff BEFORE AFTER [--profile OUT.cfg]\n"
    "       kvprofile verify PROFILE BEFORE AFTER [FINAL] [--save-plan PLAN] [OPTIONS]\n"
    "       kvprofile verify --plan PLAN BEFORE AFTER FINAL [OPTIONS]\n"
    "       verify OPTIONS: --ran RAN  --log LOG  --leave FOLDER-OR-KEY (repeatable)\n"
    "check: without PROFILE, Kelvane.cfg beside this program. Exit 0 clean, 1 errors, 2 could "
    "not run.\n"
    "verify: the profile's plan is what appeared from BEFORE to AFTER; with FINAL (taken after\n"
    "Kelvane's run and a restart), nothing planned is left and nothing else is gone. Save the\n"
    "plan before the run (--save-plan) and prove the removal with it (--plan). --ran: a snapshot\n"
    "taken right after the run, before the restart (planned services must be stopped); --log:\n"
    "the run's log (every step's line with this plan's counts); --leave: what the installation\n"
    "added beneath it is residue the profile leaves on purpose. Exit 0 passed, 1 failed, 2 could\n"
    "not run.\n";

int Usage() {
    fputs(kUsage, stderr);
    return CHECK_FAILED;
}

// Kelvane.cfg in this program's folder.
std::string DefaultProfile() {
    char path[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH - 1);
    if (length == 0 || length >= MAX_PATH - 1)
        return "Kelvane.cfg";
    path[length] = '\0';
    char* slash = strrchr(path, '\\');
    std::string folder = slash ? std::string(path, slash + 1) : std::string();
    return folder + "Kelvane.cfg";
}

int Check(int argc, char** argv) {
    bool json = false;
    std::string profile;
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "--json") == 0)
            json = true;
        else if (profile.empty() && argv[i][0] != '-')
            profile = argv[i];
        else
            return Usage();
    }
    if (profile.empty())
        profile = DefaultProfile();
    CheckReport report = CheckProfile(profile.c_str());
    if (json)
        PrintCheckJson(report, stdout);
    else
        PrintCheckText(report, stdout);
    return report.status;
}

int TakeSnapshotCommand(int argc, char** argv) {
    if (argc != 3)
        return Usage();
    DWORD result = TakeSnapshot(argv[2], stderr);
    if (result != 0) {
        fprintf(stderr, "kvprofile: snapshot failed (error %lu)\n",
                static_cast<unsigned long>(result));
        return CHECK_FAILED;
    }
    return 0;
}

int DiffCommand(int argc, char** argv) {
    const char* draft = nullptr;
    if (argc == 6 && strcmp(argv[4], "--profile") == 0)
        draft = argv[5];
    else if (argc != 4)
        return Usage();
    Snapshot before, after;
    std::string problem;
    if (!LoadSnapshot(argv[2], &before, &problem) || !LoadSnapshot(argv[3], &after, &problem)) {
        fprintf(stderr, "kvprofile: %s\n", problem.c_str());
        return CHECK_FAILED;
    }
    Difference difference = Compare(before, after);
    PrintDifference(difference, stdout);
    if (draft) {
        std::string text = DraftProfile(before, after, difference);
        FILE* out = CrtOpen(draft, "w");
        if (!out || fwrite(text.data(), 1, text.size(), out) != text.size()) {
            if (out)
                fclose(out);
            fprintf(stderr, "kvprofile: cannot write %s\n", draft);
            return CHECK_FAILED;
        }
        if (fclose(out) != 0) {
            fprintf(stderr, "kvprofile: cannot write %s\n", draft);
            return CHECK_FAILED;
        }
        fprintf(stdout, "draft profile: %s\n", draft);
    }
    return 0;
}

int VerifyCommand(int argc, char** argv) {
    const char* planFile = nullptr;
    const char* savePlan = nullptr;
    const char* ranFile = nullptr;
    const char* logFile = nullptr;
    LeftOnPurpose left;
    std::vector<const char*> names;
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "--plan") == 0 && i + 1 < argc)
            planFile = argv[++i];
        else if (strcmp(argv[i], "--save-plan") == 0 && i + 1 < argc)
            savePlan = argv[++i];
        else if (strcmp(argv[i], "--ran") == 0 && i + 1 < argc)
            ranFile = argv[++i];
        else if (strcmp(argv[i], "--log") == 0 && i + 1 < argc)
            logFile = argv[++i];
        else if (strcmp(argv[i], "--leave") == 0 && i + 1 < argc && argv[i + 1][0] != '\0')
            left.push_back(argv[++i]);
        else if (argv[i][0] == '-' && argv[i][1] == '-')
            return Usage();
        else
            names.push_back(argv[i]);
    }
    // PROFILE BEFORE AFTER [FINAL], or with --plan: BEFORE AFTER [FINAL].
    size_t first = planFile ? 0 : 1;
    if (names.size() < first + 2 || names.size() > first + 3)
        return Usage();
    Snapshot before, after, final, ran;
    std::string problem;
    bool withFinal = names.size() == first + 3;
    // The run's snapshot and log belong to a removal's proof.
    if ((ranFile || logFile) && !withFinal)
        return Usage();
    if (!LoadSnapshot(names[first], &before, &problem) ||
        !LoadSnapshot(names[first + 1], &after, &problem) ||
        (withFinal && !LoadSnapshot(names[first + 2], &final, &problem)) ||
        (ranFile && !LoadSnapshot(ranFile, &ran, &problem))) {
        fprintf(stderr, "kvprofile: %s\n", problem.c_str());
        return CHECK_FAILED;
    }
    CheckReport report;
    if (planFile) {
        if (!LoadPlan(planFile, &report, &problem)) {
            fprintf(stderr, "kvprofile: %s\n", problem.c_str());
            return CHECK_FAILED;
        }
    } else {
        report = CheckProfile(names[0]);
        if (report.status != CHECK_CLEAN) {
            PrintCheckText(report, stdout);
            return report.status;
        }
    }
    if (savePlan && !SavePlan(report, savePlan)) {
        fprintf(stderr, "kvprofile: cannot write %s\n", savePlan);
        return CHECK_FAILED;
    }
    Verification verification = VerifyPlan(report, before, after, left);
    if (withFinal)
        VerifyRemoval(report, before, after, final, &verification, left);
    if (ranFile)
        VerifyRun(report, after, ran, &verification);
    if (logFile && !VerifyLog(report, logFile, &verification)) {
        fprintf(stderr, "kvprofile: cannot read %s\n", logFile);
        return CHECK_FAILED;
    }
    PrintVerification(verification, stdout);
    return verification.Passed() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    try {
        if (strcmp(argv[1], "check") == 0)
            return Check(argc, argv);
        if (strcmp(argv[1], "snapshot") == 0)
            return TakeSnapshotCommand(argc, argv);
        if (strcmp(argv[1], "diff") == 0)
            return DiffCommand(argc, argv);
        if (strcmp(argv[1], "verify") == 0)
            return VerifyCommand(argc, argv);
    } catch (const std::exception& error) {
        fprintf(stderr, "kvprofile: %s\n", error.what());
        return CHECK_FAILED;
    }
    return Usage();
}
