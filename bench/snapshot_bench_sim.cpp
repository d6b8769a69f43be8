// The snapshot benchmark's machine natively: a synthetic product on the simulated Windows.
#include "sim/sim.h"

#include <cstdio>
#include <string>

const char* SnapshotBenchMachineName() {
    return "the simulated Windows";
}

// The target is set for real Windows (Wine): the simulation's walk costs far less than a
// system's, so the ratio here only shows the snapshot's own work.
double SnapshotBenchDefaultTarget() {
    return 0;
}

bool SnapshotBenchCreate(unsigned files, unsigned keys, std::string* output) {
    sim::Reset();
    char path[MAX_PATH];
    for (unsigned i = 0; i < files; ++i) {
        snprintf(path, sizeof(path),
                 "C:\\Program Files\\Bench Suite\\Part%02u\\Unit%02u\\f%06u.dat", i % 50,
                 (i / 50) % 20, i);
        sim::AddFile(path, "data");
    }
    for (unsigned i = 0; i < keys; ++i) {
        snprintf(path, sizeof(path),
                 "HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench Suite\\Group%02u\\Key%06u", i % 50, i);
        sim::SetString(path, "Name", path);
        sim::SetDword(path, "Size", i);
    }
    *output = "C:\\snapshot-bench.txt";
    return true;
}

void SnapshotBenchRemove() {
    sim::Reset();
}
