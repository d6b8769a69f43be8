// The version-resource functions for the Windows builds, forwarded at run time to version.dll in
// the system folder. version.dll is not one of the DLLs the loader always takes from the system
// folder: imported by the program file, a copy planted beside the program would be loaded and run
// before any of the program's own code. The program therefore does not import it; these
// definitions stand in for the import library's, with the same names and signatures.
#include "system_library.h"

#include <winver.h>

namespace {

typedef DWORD(WINAPI* InfoSizeFunction)(LPCSTR path, LPDWORD handle);
typedef BOOL(WINAPI* InfoFunction)(LPCSTR path, DWORD handle, DWORD size, LPVOID data);
typedef BOOL(WINAPI* QueryFunction)(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT size);

HMODULE VersionLibrary() {
    static HMODULE module = LoadSystemLibrary("version.dll");
    return module;
}

template <class Function> Function VersionFunction(const char* name) {
    Function found = SystemFunction<Function>(VersionLibrary(), name);
    if (!found)
        SetLastError(ERROR_PROC_NOT_FOUND);
    return found;
}

} // namespace

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR path, LPDWORD handle) {
    InfoSizeFunction forward = VersionFunction<InfoSizeFunction>("GetFileVersionInfoSizeA");
    return forward ? forward(path, handle) : 0;
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR path, DWORD handle, DWORD size, LPVOID data) {
    InfoFunction forward = VersionFunction<InfoFunction>("GetFileVersionInfoA");
    return forward ? forward(path, handle, size, data) : FALSE;
}

BOOL WINAPI VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT size) {
    QueryFunction forward = VersionFunction<QueryFunction>("VerQueryValueA");
    return forward ? forward(block, subBlock, buffer, size) : FALSE;
}
