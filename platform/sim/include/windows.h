// Stand-in for the SDK's windows.h on the native target: the subset of Win32 this program uses,
// with Windows' names, types and sizes, implemented by the simulated machine.
#pragma once

#include "sim/win_types.h"
#include "sim/win_kernel.h"
#include "sim/win_files.h"
