// A DLL planted beside a program under the name of a system DLL (built as version.dll): when any
// process loads it, it leaves a marker file beside itself. Its exports are stand-ins that fail, so
// that a program importing the real DLL still starts with this one.
#include <windows.h>

#include <cstring>

namespace {

void WriteMarker(HINSTANCE self) {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    char* slash = strrchr(path, '\\');
    const char marker[] = "planted-dll-loaded.txt";
    if (length == 0 || !slash || static_cast<size_t>(slash + 1 - path) + sizeof(marker) > MAX_PATH)
        return;
    memcpy(slash + 1, marker, sizeof(marker));
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
