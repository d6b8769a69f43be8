// Contract harness on the simulated machine.
#include "contract.h"

#include "sim/sim.h"

namespace contract {

void FreshMachine() {
    sim::Reset();
    sim::AddFolder(Scratch().c_str());
}

std::string Scratch() {
    return "C:\\Scratch";
}

bool UnderWine() {
    return false;
}

bool Simulated() {
    return true;
}

void Windows64Machine() {
    sim::SetWindows64(true);
}

} // namespace contract
