// The control API of the simulated machine: build it, inject faults, inspect the outcome.
// Every test starts with sim::Reset(); the areas' own controls live in the headers included here.
#pragma once

#include "sim/control_core.h"
#include "sim/control_kernel.h"
#include "sim/control_files.h"
#include "sim/control_windows.h"
#include "sim/control_registry.h"
#include "sim/control_services.h"
#include "sim/control_winsock.h"
#include "sim/control_wmi.h"
#include "sim/control_security.h"
