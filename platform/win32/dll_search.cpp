// Restricting the process's DLL search to the system folder, for the Windows builds. Both calls
// are looked up at run time: older systems lack them, and the program must still start there.
#include "platform/os/dll_search.h"

#include "system_library.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD flags);
typedef BOOL(WINAPI* SetDllDirectoryFunction)(LPCSTR folder);

} // namespace

void RestrictDllSearchPath() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    // Every later load by name, the system libraries' own included, searches the system folder
    // alone: not the program's folder, not the current folder, not PATH.
    if (SetDefaultDllDirectoriesFunction restrict =
            SystemFunction<SetDefaultDllDirectoriesFunction>(kernel, "SetDefaultDllDirectories"))
        restrict(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Where the above is missing, at least the current folder leaves the search order.
    if (SetDllDirectoryFunction setFolder =
            SystemFunction<SetDllDirectoryFunction>(kernel, "SetDllDirectoryA"))
        setFolder("");
}
