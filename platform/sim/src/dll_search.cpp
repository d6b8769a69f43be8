// The DLL search restriction on the simulated machine: it loads no DLLs, so there is nothing to
// restrict; the call only has to exist for the start-up code that every target shares.
#include "platform/os/dll_search.h"

void RestrictDllSearchPath() {}
