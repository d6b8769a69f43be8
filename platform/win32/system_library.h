// Loading a system DLL at run time from the system folder alone (Windows builds): how the program
// reaches the DLLs that are not known to the loader without naming them in its import table.
#pragma once

#include <windows.h>

// The module of a system DLL (e.g. "version.dll") loaded from the system folder by its full path,
// its own dependencies from there too where the system can restrict them; it stays loaded for the
// rest of the process. Null, with the last error set, when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* name);

// A function of a module looked up by name and given its type; null when absent.
template <class Function> Function SystemFunction(HMODULE module, const char* name) {
    FARPROC found = module ? GetProcAddress(module, name) : nullptr;
    // Through the generic function pointer type, which converts to every other one.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(found));
}
