// The COM classes the simulated run time can create, as CoCreateInstance reaches them.
#pragma once

#include <objbase.h>

namespace simcom {

// Creates the WMI locator and asks it for `iid`; E_NOINTERFACE when it has no such interface.
HRESULT CreateWbemLocator(REFIID iid, void** object);

} // namespace simcom
