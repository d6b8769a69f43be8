// Plan building against a bare walk of the same installation, as a ratio measured in one run.
//
// A synthetic product (N files in nested folders, a key tree with values) is put on the machine
// by the per-target half (simulated machine natively, the real disk and registry on Windows).
// Each round times a bare walk (directory search and key/value enumeration only: no sets, no
// normalising) and the engine's PopulateRemoveLists over the same tree, in alternating order;
// the best of each side is kept, so that a disturbance of the shared machine counts least.
//
// The program exits 1 when a ratio is above its target (on Windows: the whole plan at most 1.2x
// the bare walk, the file step at most 1.3x its half of it; natively none). A ratio above its
// target is measured again, with further rounds, up to --attempts times in all: the best times
// of all rounds are kept, so that a heavily loaded machine does not decide the verdict alone.
#include "engine/Zelm.h"
#include "run_state.h"
#include "helpers/helper.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// What the per-target half builds: folders (parents first) and files below the product folder,
// keys (parents first) with the values below the product key, all as relative paths.
struct PlanBenchInstallation {
    std::vector<std::string> folders;
    std::vector<std::string> files;
    std::vector<std::string> keys;
};

// The per-target half (plan_bench_sim.cpp natively, plan_bench_win.cpp on Windows).
const char* PlanBenchMachineName();
// The targets of the whole plan and of the file step against their walks; 0 for none.
double PlanBenchDefaultTarget();
double PlanBenchDefaultFileStepTarget();
bool PlanBenchCreate(const PlanBenchInstallation& installation, std::string* folder,
                     std::string* key);
void PlanBenchRemove(const std::string& folder, const std::string& key);
// Value names every key holds: the default value and a string (REG_SZ), a number (REG_DWORD).
extern const char* const kPlanBenchValueNames[3];
const char* const kPlanBenchValueNames[3] = {"", "Name", "Size"};

namespace {

const unsigned kFilesPerFolder = 25;
const unsigned kFolderFanOut = 10;
const unsigned kKeyFanOut = 20;
const char* const kFolderLevels[] = {"Area", "Module", "Part", "Set", "Unit", "Lot", "Bay"};
const char* const kKeyLevels[] = {"Component", "Feature", "Setting", "Option", "Entry", "Item"};
const char* const kExtensions[] = {".dll", ".dat", ".exe", ".ini", ".txt", ".bin", ".cfg", ".xml"};

// The profile's spare entries, in the normalised form the profile loader gives them.
const char* const kIgnoreFiles[] = {"\\MODULE03\\PART07", ".INI"};
const char* const kIgnoreKeys[] = {"\\COMPONENT03\\FEATURE07"};
const char* const kIgnoreValues[] = {"\\COMPONENT03\\FEATURE07\\", "\\COMPONENT11\\SIZE"};

// A complete tree: node i (i > 0) hangs below node (i - 1) / fanOut, named after its depth.
std::vector<std::string> TreePaths(unsigned count, unsigned fanOut, const char* const* levels,
                                   size_t levelCount) {
    std::vector<std::string> paths(count);
    std::vector<unsigned> depth(count, 0);
    char name[32];
    for (unsigned i = 1; i < count; ++i) {
        unsigned parent = (i - 1) / fanOut;
        depth[i] = depth[parent] + 1;
        size_t level = std::min<size_t>(depth[i] - 1, levelCount - 1);
        snprintf(name, sizeof(name), "%s%02u", levels[level], (i - 1) % fanOut);
        paths[i] = parent ? paths[parent] + "\\" + name : std::string(name);
    }
    return paths;
}

PlanBenchInstallation Shape(unsigned files, unsigned keys) {
    PlanBenchInstallation shape;
    unsigned folders = std::max(1u, (files + kFilesPerFolder - 1) / kFilesPerFolder);
    // Folder 0 is the product folder itself; its path is empty.
    shape.folders = TreePaths(folders, kFolderFanOut, kFolderLevels,
                              sizeof(kFolderLevels) / sizeof(kFolderLevels[0]));
    char name[32];
    shape.files.reserve(files);
    for (unsigned i = 0; i < files; ++i) {
        const std::string& folder = shape.folders[i / kFilesPerFolder];
        snprintf(name, sizeof(name), "File%07u%s", i,
                 kExtensions[i % (sizeof(kExtensions) / sizeof(kExtensions[0]))]);
        shape.files.push_back(folder.empty() ? std::string(name) : folder + "\\" + name);
    }
    shape.folders.erase(shape.folders.begin());
    // Key 0 is the product key itself.
    shape.keys = TreePaths(std::max(1u, keys), kKeyFanOut, kKeyLevels,
                           sizeof(kKeyLevels) / sizeof(kKeyLevels[0]));
    return shape;
}

struct WalkCount {
    size_t files = 0; // files and folders, the product folder included
    size_t keys = 0;
    size_t values = 0;
    size_t Total() const { return files + keys + values; }
};

bool IsDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// path holds a folder of `length` characters and has room for MAX_PATH.
void WalkFolder(char* path, size_t length, WalkCount& count) {
    if (length + 2 >= MAX_PATH)
        return;
    memcpy(path + length, "\\*", 3);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (IsDot(found.cFileName))
            continue;
        size_t n = strlen(found.cFileName);
        if (length + 1 + n >= MAX_PATH)
            continue;
        ++count.files;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            path[length] = '\\';
            memcpy(path + length + 1, found.cFileName, n + 1);
            WalkFolder(path, length + 1 + n, count);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void WalkKey(HKEY key, WalkCount& count) {
    ++count.keys;
    char name[261];
    for (DWORD index = 0; RegEnumKeyA(key, index, name, sizeof(name)) == ERROR_SUCCESS; ++index) {
        HKEY sub = nullptr;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS)
            continue;
        WalkKey(sub, count);
        RegCloseKey(sub);
    }
    for (DWORD index = 0;; ++index) {
        DWORD size = sizeof(name);
        if (RegEnumValueA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        ++count.values;
    }
}

// The product key text "HKEY_CURRENT_USER\..." opened below its root.
HKEY OpenProductKey(const std::string& key) {
    const char prefix[] = "HKEY_CURRENT_USER\\";
    if (key.compare(0, sizeof(prefix) - 1, prefix) != 0)
        return nullptr;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str() + sizeof(prefix) - 1, 0, KEY_READ, &opened) !=
        ERROR_SUCCESS)
        return nullptr;
    return opened;
}

WalkCount BareWalk(const std::string& folder, const std::string& key) {
    WalkCount count;
    char path[MAX_PATH];
    if (folder.size() < MAX_PATH && GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
        memcpy(path, folder.c_str(), folder.size() + 1);
        ++count.files;
        WalkFolder(path, folder.size(), count);
    }
    if (HKEY opened = OpenProductKey(key)) {
        WalkKey(opened, count);
        RegCloseKey(opened);
    }
    return count;
}

struct PlanCount {
    size_t files = 0;
    size_t keys = 0;
    size_t values = 0;
    DWORD result = 0;
};

// An entry as the profile stage leaves it in its sets: normalised (upper case, '\\' separators).
std::string ProfileEntry(const std::string& text) {
    std::vector<char> copy(text.begin(), text.end());
    copy.push_back('\0');
    NormalizeEntry(copy.data());
    return std::string(copy.data());
}

// A fresh engine as the profile would leave it: the product folder and key to remove, the spare
// entries, nothing else.
CUninstallEngine* NewEngine(TestRunState* dialog, const std::string& folder,
                            const std::string& key, bool withIgnores) {
    CUninstallEngine* engine = new CUninstallEngine;
    engine->SetStateReader(dialog);
    engine->m_removeFiles.Add(folder.c_str());
    engine->m_removeRegKeys.Add(key.c_str());
    if (withIgnores) {
        for (const char* text : kIgnoreFiles)
            engine->m_ignoreFiles.Add(text);
        for (const char* text : kIgnoreKeys)
            engine->m_ignoreRegKeys.Add(text);
        for (const char* text : kIgnoreValues)
            engine->m_ignoreRegValues.Add(text);
    }
    return engine;
}

PlanCount Counts(CUninstallEngine& engine, DWORD result) {
    PlanCount count;
    count.files = engine.m_planFiles.Count();
    count.keys = engine.m_planRegKeys.Count();
    count.values = engine.m_planRegValues.Count();
    count.result = result;
    return count;
}

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Options {
    std::vector<unsigned> files;
    unsigned keys = 20000;
    int rounds = 5;
    int attempts = 3;
    double target = 0;
    double fileTarget = 0;
    bool split = false;
    bool samples = false;
};

// Wall times of one side of a comparison, one per round.
struct Samples {
    std::vector<double> times;
    double Best() const {
        return times.empty() ? 0 : *std::min_element(times.begin(), times.end());
    }
};

struct Figures {
    double walk = 0;
    double plan = 0;
    size_t items = 0;
    double Ratio() const { return walk > 0 ? plan / walk : 0; }
    // The engine's own work per walked item, the machine's cost taken out.
    double NanosPerItem() const { return items ? (plan - walk) * 1e9 / items : 0; }
};

// Prints every sample relative to the best baseline sample: how far the rounds spread.
void PrintSamples(const char* name, const Samples& samples, double baseline) {
    printf("          %-14s", name);
    for (double time : samples.times)
        printf(" %5.2f", baseline > 0 ? time / baseline : 0);
    printf("\n");
}

// Times the bare walk and the plan, alternately, `rounds` rounds at a time until both verdicts
// are met or `attempts` batches ran; false when the plan does not match the tree. *met tells
// whether the ratios are within their targets.
bool Measure(unsigned files, const Options& options, Figures* figures, bool* met) {
    PlanBenchInstallation shape = Shape(files, options.keys);
    std::string created, createdKey;
    if (!PlanBenchCreate(shape, &created, &createdKey)) {
        printf("cannot create the installation of %u files\n", files);
        PlanBenchRemove(created, createdKey);
        return false;
    }
    // Both sides start from the same texts, the ones the profile gives the plan.
    const std::string folder = ProfileEntry(created);
    const std::string key = ProfileEntry(createdKey);
    const size_t valueNames = sizeof(kPlanBenchValueNames) / sizeof(kPlanBenchValueNames[0]);
    WalkCount expected;
    expected.files = 1 + shape.folders.size() + shape.files.size();
    expected.keys = shape.keys.size();
    expected.values = shape.keys.size() * valueNames;

    TestRunState dialog;
    bool ok = true;
    // Untimed check (and warm-up): the walk and the plan without spare entries see the whole
    // installation.
    WalkCount walked = BareWalk(folder, key);
    CUninstallEngine* engine = NewEngine(&dialog, folder, key, false);
    PlanCount planned = Counts(*engine, engine->PopulateRemoveLists());
    delete engine;
    if (walked.files != expected.files || walked.keys != expected.keys ||
        walked.values != expected.values || planned.result != 0 ||
        planned.files != expected.files || planned.keys != expected.keys ||
        planned.values != expected.values) {
        printf("mismatch: expected %zu/%zu/%zu, walked %zu/%zu/%zu, planned %zu/%zu/%zu (%lu)\n",
               expected.files, expected.keys, expected.values, walked.files, walked.keys,
               walked.values, planned.files, planned.keys, planned.values,
               static_cast<unsigned long>(planned.result));
        ok = false;
    }

    // What one round measures: the whole comparison; the file step against its half of the walk
    // when it has a target or with --split, the registry step against its half with --split.
    // Each pair is one side and its baseline.
    enum Side { WALK, PLAN, WALK_KEYS, REGISTRY_STEP, WALK_FOLDERS, FILE_STEP, SIDES };
    std::vector<int> pairs = {WALK};
    if (options.split)
        pairs.push_back(WALK_KEYS);
    const bool fileStep = options.split || options.fileTarget > 0;
    if (fileStep)
        pairs.push_back(WALK_FOLDERS);
    Samples samples[SIDES];
    PlanCount spared;
    Figures best;
    best.items = expected.Total();
    double fileRatio = 0;
    *met = false;
    for (int attempt = 1; ok && attempt <= options.attempts; ++attempt) {
        if (attempt > 1)
            printf("          above target after %zu rounds (whole %.2fx, file step %.2fx): "
                   "measuring again (%d of %d)\n",
                   samples[WALK].times.size(), best.Ratio(), fileRatio, attempt, options.attempts);
        for (int round = 0; ok && round < options.rounds; ++round) {
            for (int baseline : pairs) {
                for (int i = 0; i < 2; ++i) {
                    // Each pair swaps its order every round, so that a disturbance of the shared
                    // machine falls on both sides alike.
                    int side = baseline + ((round % 2 == 0) ? i : (i ^ 1));
                    WalkCount count;
                    char path[MAX_PATH];
                    memcpy(path, folder.c_str(), folder.size() + 1);
                    HKEY opened = nullptr;
                    engine = nullptr;
                    if (side == PLAN || side == REGISTRY_STEP || side == FILE_STEP)
                        engine = NewEngine(&dialog, folder, key, true);
                    if (side == WALK_KEYS)
                        opened = OpenProductKey(key); // as the full walk, outside the step's time
                    DWORD result = 0;
                    Clock::time_point start = Clock::now();
                    switch (side) {
                    case WALK:
                        count = BareWalk(folder, key);
                        break;
                    case PLAN:
                        result = engine->PopulateRemoveLists();
                        break;
                    case WALK_KEYS:
                        if (opened)
                            WalkKey(opened, count);
                        break;
                    case REGISTRY_STEP:
                        result = engine->PopulateRemoveRegList();
                        break;
                    case WALK_FOLDERS:
                        WalkFolder(path, folder.size(), count);
                        break;
                    case FILE_STEP:
                        result = engine->PopulateRemoveFileList();
                        break;
                    }
                    samples[side].times.push_back(Seconds(start));
                    if (opened)
                        RegCloseKey(opened);
                    if (side == PLAN)
                        spared = Counts(*engine, result);
                    delete engine; // freeing the plan is no part of building it
                    if (result != 0 || (side == WALK && count.Total() != expected.Total()))
                        ok = false;
                }
            }
        }
        best.walk = samples[WALK].Best();
        best.plan = samples[PLAN].Best();
        fileRatio = fileStep && samples[WALK_FOLDERS].Best() > 0
                        ? samples[FILE_STEP].Best() / samples[WALK_FOLDERS].Best()
                        : 0;
        *met = (options.target <= 0 || best.Ratio() <= options.target) &&
               (options.fileTarget <= 0 || fileRatio <= options.fileTarget);
        if (*met)
            break;
    }
    PlanBenchRemove(created, createdKey);
    if (!ok) {
        printf("%u files: the walk or the plan went wrong\n", files);
        return false;
    }
    printf("%9u %8zu %7zu %8zu %9zu   %5.2fx %9.0f   (planned after spares: %zu files and "
           "folders, %zu keys, %zu values)\n",
           files, expected.files - 1 - files, expected.keys, expected.values, best.items,
           best.Ratio(), best.NanosPerItem(), spared.files, spared.keys, spared.values);
    if (fileStep)
        printf("          file step %.2fx its walk\n", fileRatio);
    if (options.split && samples[WALK_KEYS].Best() > 0 && samples[WALK_FOLDERS].Best() > 0)
        printf("          split: registry step %.2fx its walk, file step %.2fx its walk; the "
               "registry is %.0f%% of the walk\n",
               samples[REGISTRY_STEP].Best() / samples[WALK_KEYS].Best(), fileRatio,
               100 * samples[WALK_KEYS].Best() /
                   (samples[WALK_KEYS].Best() + samples[WALK_FOLDERS].Best()));
    if (options.samples) {
        printf("          every round, relative to the best walk:\n");
        PrintSamples("walk", samples[WALK], best.walk);
        PrintSamples("plan", samples[PLAN], best.walk);
        if (fileStep) {
            printf("          every round, relative to the best folder walk:\n");
            PrintSamples("folder walk", samples[WALK_FOLDERS], samples[WALK_FOLDERS].Best());
            PrintSamples("file step", samples[FILE_STEP], samples[WALK_FOLDERS].Best());
        }
    }
    *figures = best;
    return true;
}

bool ParseUnsignedList(const char* text, std::vector<unsigned>* out) {
    out->clear();
    while (*text) {
        char* end = nullptr;
        unsigned long value = strtoul(text, &end, 10);
        if (end == text || value == 0 || value > 10000000)
            return false;
        out->push_back(static_cast<unsigned>(value));
        text = *end == ',' ? end + 1 : end;
        if (*end && *end != ',')
            return false;
    }
    return !out->empty();
}

void Usage() {
    printf("usage: kv_bench_plan [--files=N[,N...]] [--keys=N] [--rounds=N] [--attempts=N] "
           "[--target=X] [--file-target=X] [--split] [--samples] [--with-1m]\n"
           "  default files: 10000,100000; --with-1m (or KV_PLAN_BENCH_1M=1) adds 1000000\n"
           "  --target, --file-target: the whole plan's and the file step's ratio (0: none)\n"
           "  --attempts: batches of rounds at most, while a ratio is above its target\n"
           "  --split: the registry and the file step against their halves of the walk\n"
           "  --samples: every round's times relative to the best walk\n");
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    options.files = {10000, 100000};
    options.target = PlanBenchDefaultTarget();
    options.fileTarget = PlanBenchDefaultFileStepTarget();
    bool withMillion = getenv("KV_PLAN_BENCH_1M") && strcmp(getenv("KV_PLAN_BENCH_1M"), "0") != 0;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        std::vector<unsigned> list;
        if (strncmp(arg, "--files=", 8) == 0 && ParseUnsignedList(arg + 8, &list)) {
            options.files = list;
        } else if (strncmp(arg, "--keys=", 7) == 0 && ParseUnsignedList(arg + 7, &list) &&
                   list.size() == 1) {
            options.keys = list[0];
        } else if (strncmp(arg, "--rounds=", 9) == 0 && ParseUnsignedList(arg + 9, &list) &&
                   list.size() == 1 && list[0] <= 100) {
            options.rounds = static_cast<int>(list[0]);
        } else if (strncmp(arg, "--attempts=", 11) == 0 && ParseUnsignedList(arg + 11, &list) &&
                   list.size() == 1 && list[0] <= 100) {
            options.attempts = static_cast<int>(list[0]);
        } else if (strncmp(arg, "--target=", 9) == 0) {
            options.target = atof(arg + 9);
        } else if (strncmp(arg, "--file-target=", 14) == 0) {
            options.fileTarget = atof(arg + 14);
        } else if (strcmp(arg, "--split") == 0) {
            options.split = true;
        } else if (strcmp(arg, "--samples") == 0) {
            options.samples = true;
        } else if (strcmp(arg, "--with-1m") == 0) {
            withMillion = true;
        } else {
            Usage();
            return 2;
        }
    }
    if (withMillion &&
        std::find(options.files.begin(), options.files.end(), 1000000u) == options.files.end())
        options.files.push_back(1000000);

    printf("PopulateRemoveLists / bare walk on %s (wall time, best of %d alternating rounds; "
           "%u keys with %zu values each)\n",
           PlanBenchMachineName(), options.rounds, options.keys,
           sizeof(kPlanBenchValueNames) / sizeof(kPlanBenchValueNames[0]));
    if (options.target > 0)
        printf("target: ratio <= %.2f\n", options.target);
    if (options.fileTarget > 0)
        printf("target: file step <= %.2f its walk\n", options.fileTarget);
    printf("%9s %8s %7s %8s %9s   %6s %9s\n", "files", "folders", "keys", "values", "items",
           "ratio", "ns/item");
    bool ok = true;
    for (unsigned files : options.files) {
        Figures figures;
        bool met = false;
        if (!Measure(files, options, &figures, &met)) {
            ok = false;
            continue;
        }
        if (!met) {
            printf("          ABOVE TARGET\n");
            ok = false;
        }
    }
    fflush(stdout);
    return ok ? 0 : 1;
}
