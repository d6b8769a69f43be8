// The companion's snapshot against a bare walk of the same folders and keys, as a ratio measured
// in one run.
//
// The per-target half puts a synthetic product (N files in nested folders, a key tree with
// values) on the machine: the simulated Windows natively, the real disk and registry on Windows,
// where the rest of the machine (a whole Wine prefix) is walked as well. Each round times a bare
// walk (directory search, key enumeration and value names only: nothing read, nothing written)
// and TakeSnapshot, in alternating order; the best of each side is kept. The snapshot's target is
// at most twice the bare walk; the program exits 1 above the target. A ratio above the target is
// measured again, with further rounds, up to --attempts times in all (the best times of all
// rounds are kept), so that a heavily loaded machine does not decide the verdict alone.
#include "companion/snapshot.h"
#include "companion/snapshot_roots.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// The per-target half (snapshot_bench_sim.cpp natively, snapshot_bench_win.cpp on Windows).
const char* SnapshotBenchMachineName();
double SnapshotBenchDefaultTarget();
// Puts `files` files and `keys` keys with two values each on the machine; the snapshot's output
// file goes to `output`, outside every walked folder.
bool SnapshotBenchCreate(unsigned files, unsigned keys, std::string* output);
void SnapshotBenchRemove();

namespace {

using Clock = std::chrono::steady_clock;

struct Count {
    size_t files = 0;
    size_t keys = 0;
    size_t values = 0;
};

void WalkFolder(const std::string& folder, bool recursive, Count& count) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!strcmp(found.cFileName, ".") || !strcmp(found.cFileName, ".."))
            continue;
        ++count.files;
        if (recursive && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            WalkFolder(folder + "\\" + found.cFileName, true, count);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void WalkKey(HKEY root, const std::string& path, Count& count) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return;
    ++count.keys;
    // Used only before the recursion below: one buffer serves every depth.
    static char name[16384];
    for (DWORD index = 0;; ++index) {
        DWORD size = sizeof(name);
        if (RegEnumValueA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        ++count.values;
    }
    std::vector<std::string> subkeys;
    for (DWORD index = 0;; ++index) {
        DWORD size = 256;
        if (RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        subkeys.push_back(name);
    }
    RegCloseKey(key);
    for (const std::string& subkey : subkeys)
        WalkKey(root, path.empty() ? subkey : path + "\\" + subkey, count);
}

Count BareWalk() {
    Count count;
    for (const companion::FolderRoot& root :
         companion::SnapshotFolderRoots(companion::FindMachineFolders()))
        WalkFolder(root.path, root.recursive, count);
    for (const companion::KeyRoot& root : companion::SnapshotKeyRoots())
        WalkKey(root.root, root.path, count);
    return count;
}

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    unsigned files = 20000, keys = 10000;
    int rounds = 5;
    int attempts = 3;
    double target = SnapshotBenchDefaultTarget();
    for (int i = 1; i < argc; ++i) {
        if (!strncmp(argv[i], "--files=", 8))
            files = static_cast<unsigned>(atoi(argv[i] + 8));
        else if (!strncmp(argv[i], "--keys=", 7))
            keys = static_cast<unsigned>(atoi(argv[i] + 7));
        else if (!strncmp(argv[i], "--rounds=", 9))
            rounds = std::max(1, atoi(argv[i] + 9));
        else if (!strncmp(argv[i], "--attempts=", 11))
            attempts = std::max(1, atoi(argv[i] + 11));
        else if (!strncmp(argv[i], "--target=", 9))
            target = atof(argv[i] + 9);
        else {
            printf("usage: kv_bench_snapshot [--files=N] [--keys=N] [--rounds=N] [--attempts=N] "
                   "[--target=X]\n");
            return 2;
        }
    }
    std::string output;
    if (!SnapshotBenchCreate(files, keys, &output)) {
        printf("cannot create the installation\n");
        SnapshotBenchRemove();
        return 2;
    }
    Count count = BareWalk();
    double walk = 1e9, snapshot = 1e9;
    bool ok = true;
    int done = 0;
    for (int attempt = 1; ok && attempt <= attempts; ++attempt) {
        if (attempt > 1) {
            if (target <= 0 || snapshot <= walk * target)
                break;
            printf("above target after %d rounds: measuring again (%d of %d)\n", done, attempt,
                   attempts);
        }
        for (int round = 0; ok && round < rounds; ++round, ++done) {
            for (int i = 0; i < 2; ++i) {
                bool snapshotSide = (round % 2 == 0) ? i == 1 : i == 0;
                Clock::time_point start = Clock::now();
                if (snapshotSide) {
                    ok = companion::TakeSnapshot(output.c_str(), nullptr) == 0;
                    snapshot = std::min(snapshot, Seconds(start));
                } else {
                    BareWalk();
                    walk = std::min(walk, Seconds(start));
                }
            }
        }
    }
    SnapshotBenchRemove();
    if (!ok) {
        printf("the snapshot failed\n");
        return 2;
    }
    double ratio = walk > 0 ? snapshot / walk : 0;
    printf("snapshot benchmark on %s: %zu files and folders, %zu keys, %zu values\n",
           SnapshotBenchMachineName(), count.files, count.keys, count.values);
    printf("best of %d: bare walk %.3f s, snapshot %.3f s, ratio %.2fx", done, walk, snapshot,
           ratio);
    if (target > 0)
        printf(" (target %.2fx)", target);
    printf("\n");
    return target > 0 && ratio > target ? 1 : 0;
}
