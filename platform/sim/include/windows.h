// Stand-in for the SDK's windows.h on the native target: the subset of Win32 this program uses,
// with Windows' names, types and sizes, implemented by the simulated machine.
#pragma once

#include "sim/win_types.h"
#include "sim/win_kernel.h"
#include "sim/win_files.h"
#include "sim/win_registry.h"
#include "sim/win_shell.h"
#include "sim/win_services.h"
#include "sim/win_security.h"
#include "sim/win_user.h"
