// The program's resources as the simulated window system takes them (native build only).
#pragma once

#include "sim/sim.h"

const sim::ResourceSet* ProgramResources();
