// A DLL planted beside a program under the name of a system DLL (built as version.dll, copied
// under other names): when a process loads it, it leaves a marker file beside itself. Its exports
// are stand-ins for version.dll's that fail, so that a program importing the real one still starts.
#include <windows.h>

#include <cstring>

namespace {

// The marker is the DLL's own path followed by ".loaded".
void WriteMarker(HINSTANCE self) {
    char path[MAX_PATH + 8] = {};
    DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    memcpy(path + length, ".loaded", sizeof(".loaded"));
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, "loaded\r\n", 8, &written, nullptr);
    CloseHandle(file);
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        WriteMarker(self);
    return TRUE;
}

extern "C" __declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR, LPDWORD) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
}

extern "C" __declspec(dllexport) BOOL WINAPI GetFileVersionInfoA(LPCSTR, DWORD, DWORD, LPVOID) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
}

extern "C" __declspec(dllexport) BOOL WINAPI VerQueryValueA(LPCVOID, LPCSTR, LPVOID*, PUINT) {
    return FALSE;
}
