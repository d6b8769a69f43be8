// The native view on 64-bit Windows for the Windows builds. Every function that 9x, Windows 2000
// or 32-bit XP lacks is looked up at run time in a module the program already imports, so that
// nothing is loaded, and the program starts everywhere.
#include "platform/os/wow64.h"

#include "system_library.h"

#include <shlobj.h>

#ifndef KEY_WOW64_64KEY
#define KEY_WOW64_64KEY 0x0100
#endif

namespace {

typedef BOOL(WINAPI* IsWow64ProcessFunction)(HANDLE process, PBOOL wow64);
typedef BOOL(WINAPI* DisableRedirectionFunction)(PVOID* previous);
typedef BOOL(WINAPI* RevertRedirectionFunction)(PVOID previous);
typedef UINT(WINAPI* SystemWow64FolderFunction)(LPSTR buffer, UINT size);
typedef LONG(WINAPI* DeleteKeyExFunction)(HKEY root, LPCSTR subKey, REGSAM view, DWORD reserved);
typedef int(WINAPI* EnumProtocols32Function)(LPINT protocols, LPWSAPROTOCOL_INFOW buffer,
                                             LPDWORD length, LPINT error);
typedef int(WINAPI* DeinstallProvider32Function)(LPGUID provider, LPINT error);

const bool kProgramIs64Bit = sizeof(void*) == 8;

HMODULE Kernel() {
    return GetModuleHandleA("kernel32.dll");
}

template <class Function> Function Kernel32Function(const char* name) {
    return SystemFunction<Function>(Kernel(), name);
}

// The calls on the 32-bit catalog exist only in the 64-bit ws2_32.dll.
template <class Function> Function CatalogFunction(const char* name) {
    return kProgramIs64Bit ? SystemFunction<Function>(GetModuleHandleA("ws2_32.dll"), name)
                           : nullptr;
}

// The shell loads some of its libraries on first use (delay loads). With redirection off such a
// load would find the 64-bit DLL and fail, and a failed delay load stays failed: the folder
// queries the engine makes while redirection is off are therefore made once before, with it on,
// so that what they need is already loaded.
void LoadWhatFolderQueriesNeed() {
    static const int kFolders[] = {
        0x0028, // the user's profile folder
        0x001A, // application data
        0x0023, // common application data
        0x0026, // program files
        0x0005, // documents
    };
    for (int id : kFolders) {
        char folder[MAX_PATH] = "";
        SHGetSpecialFolderPathA(nullptr, folder, id, FALSE);
    }
}

bool RunsUnderWow64() {
    IsWow64ProcessFunction query = Kernel32Function<IsWow64ProcessFunction>("IsWow64Process");
    BOOL wow64 = FALSE;
    return query && query(GetCurrentProcess(), &wow64) && wow64;
}

} // namespace

namespace wow64 {

bool IsWindows64() {
    return kProgramIs64Bit || RunsUnderWow64();
}

bool IsRedirectedProgram() {
    return !kProgramIs64Bit && RunsUnderWow64();
}

REGSAM NativeKeyView() {
    return IsWindows64() ? KEY_WOW64_64KEY : 0;
}

LONG DeleteKey(HKEY root, const char* subKey) {
    // Only systems with two views need the call that names one; it is in advapi32 from 64-bit
    // XP and Vista on.
    if (IsWindows64()) {
        DeleteKeyExFunction deleteKey = SystemFunction<DeleteKeyExFunction>(
            GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA");
        if (deleteKey)
            return deleteKey(root, subKey, KEY_WOW64_64KEY, 0);
    }
    return RegDeleteKeyA(root, subKey);
}

bool SystemWow64Folder(char* folder, UINT size) {
    if (!folder || size == 0)
        return false;
    folder[0] = '\0';
    SystemWow64FolderFunction query =
        Kernel32Function<SystemWow64FolderFunction>("GetSystemWow64DirectoryA");
    UINT length = query ? query(folder, size) : 0;
    if (length == 0 || length >= size) {
        folder[0] = '\0';
        return false;
    }
    return true;
}

NativeFileView::NativeFileView() : m_previous(nullptr), m_off(false) {
    if (!IsRedirectedProgram())
        return;
    LoadWhatFolderQueriesNeed();
    DisableRedirectionFunction disable =
        Kernel32Function<DisableRedirectionFunction>("Wow64DisableWow64FsRedirection");
    m_off = disable && disable(&m_previous);
}

NativeFileView::~NativeFileView() {
    if (!m_off)
        return;
    RevertRedirectionFunction revert =
        Kernel32Function<RevertRedirectionFunction>("Wow64RevertWow64FsRedirection");
    if (revert)
        revert(m_previous);
}

bool HasSecondCatalog() {
    return IsWindows64() && CatalogFunction<EnumProtocols32Function>("WSCEnumProtocols32") &&
           CatalogFunction<DeinstallProvider32Function>("WSCDeinstallProvider32");
}

int WINAPI EnumProtocols32(LPINT protocols, LPWSAPROTOCOL_INFOW buffer, LPDWORD length,
                           LPINT error) {
    EnumProtocols32Function list = CatalogFunction<EnumProtocols32Function>("WSCEnumProtocols32");
    if (!list) {
        if (error)
            *error = WSAEINVAL;
        return SOCKET_ERROR;
    }
    return list(protocols, buffer, length, error);
}

int WINAPI DeinstallProvider32(LPGUID provider, LPINT error) {
    DeinstallProvider32Function remove =
        CatalogFunction<DeinstallProvider32Function>("WSCDeinstallProvider32");
    if (!remove) {
        if (error)
            *error = WSAEINVAL;
        return SOCKET_ERROR;
    }
    return remove(provider, error);
}

} // namespace wow64
