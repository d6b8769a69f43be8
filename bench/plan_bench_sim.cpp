// The plan benchmark's machine natively: the synthetic installation put on the simulated Windows.
#include "sim/sim.h"

#include <string>
#include <vector>

struct PlanBenchInstallation {
    std::vector<std::string> folders;
    std::vector<std::string> files;
    std::vector<std::string> keys;
};
extern const char* const kPlanBenchValueNames[3];

namespace {

const char kFolder[] = "C:\\Program Files\\Plan Bench Suite";
const char kKey[] = "HKEY_CURRENT_USER\\Software\\KelvanePlanBench";

std::string Below(const char* base, const std::string& relative) {
    return relative.empty() ? std::string(base) : std::string(base) + "\\" + relative;
}

} // namespace

const char* PlanBenchMachineName() {
    return "the simulated Windows";
}

// The ratio targets are set for real Windows (Wine); the simulation's walk costs far less, and
// its figures have none.
double PlanBenchDefaultTarget() {
    return 0;
}

double PlanBenchDefaultFileStepTarget() {
    return 0;
}

bool PlanBenchCreate(const PlanBenchInstallation& installation, std::string* folder,
                     std::string* key) {
    sim::Reset();
    *folder = kFolder;
    *key = kKey;
    sim::AddFolder(kFolder);
    for (const std::string& path : installation.folders)
        sim::AddFolder(Below(kFolder, path).c_str());
    for (const std::string& path : installation.files)
        sim::AddFile(Below(kFolder, path).c_str());
    DWORD number = 0;
    for (const std::string& path : installation.keys) {
        std::string full = Below(kKey, path);
        sim::SetString(full.c_str(), kPlanBenchValueNames[0], "Plan bench component");
        sim::SetString(full.c_str(), kPlanBenchValueNames[1], path.c_str());
        sim::SetDword(full.c_str(), kPlanBenchValueNames[2], ++number);
    }
    return true;
}

void PlanBenchRemove(const std::string&, const std::string&) {
    sim::Reset();
}
