// Loading system DLLs by full path from the system folder, for the Windows builds.
#include "system_library.h"

#include <cstring>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

// The LOAD_LIBRARY_SEARCH_* flags are understood exactly where SetDefaultDllDirectories exists
// (Windows 8, and Windows 7 and Vista with the loader update); elsewhere they are an error.
bool SearchFlagsSupported() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel && GetProcAddress(kernel, "SetDefaultDllDirectories") != nullptr;
}

} // namespace

HMODULE LoadSystemLibrary(const char* name) {
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    size_t nameLength = name ? strlen(name) : 0;
    if (nameLength == 0 || length == 0 || length + 1 + nameLength + 1 > MAX_PATH) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    path[length] = '\\';
    memcpy(path + length + 1, name, nameLength + 1);
    return LoadLibraryExA(path, nullptr, SearchFlagsSupported() ? LOAD_LIBRARY_SEARCH_SYSTEM32 : 0);
}
