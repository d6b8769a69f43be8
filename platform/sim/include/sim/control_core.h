// Machine reset and fault injection, shared by every area of the simulation.
#pragma once

#include <windows.h>

#include <string>

namespace sim {

// Puts the whole machine back to its initial shape: Windows XP SP2, the default folders and
// profiles, a small default registry, no services, a few base Winsock providers, ...
void Reset();

enum FaultMode { Once, Always };

// Makes the named operation (its Win32 name, e.g. "RegOpenKeyExA") fail with `error`, after
// `after` calls that still succeed; once, or for every later call.
void InjectFault(const char* operation, DWORD error, unsigned after = 0, FaultMode mode = Once);
void ClearFaults();
// How often the operation was called since the last reset.
unsigned CallCount(const char* operation);
// True while the calling thread is inside a call of the simulated system. A real system reports a
// shortage of memory as a call's error, never by throwing: a test that makes the heap fail spares
// the simulation's own allocations.
bool InsideSystem();

} // namespace sim
