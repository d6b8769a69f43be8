// The machine as it is on 64-bit Windows, whichever build runs: whether the system is a 64-bit
// one, the registry view flag, file-system redirection on the calling thread, the key deletion
// that takes a view, the 32-bit system folder and the second Winsock catalog. Functions that old
// systems lack are looked up at run time, so the program still starts on 9x and old NT.
#pragma once

#include <winsock2.h>
#include <ws2spi.h>
#include <windows.h>

namespace wow64 {

// True on 64-bit Windows: the 64-bit build always, the 32-bit build where IsWow64Process says
// that it runs under WOW64. False on 32-bit Windows and on 9x.
bool IsWindows64();
// True for the 32-bit build on 64-bit Windows: the program whose view the system redirects.
bool IsRedirectedProgram();

// The flag every registry open, create and delete of the engine adds to its rights:
// KEY_WOW64_64KEY on 64-bit Windows, nothing elsewhere (9x and Windows 2000 know no such flag).
REGSAM NativeKeyView();

// Deletes root\subKey (a key without subkeys) in the native view: RegDeleteKeyExA where the
// system has it, RegDeleteKeyA elsewhere, where there is only one view.
LONG DeleteKey(HKEY root, const char* subKey);

// The 32-bit system folder (SysWOW64) in a buffer of `size` bytes; false, with the buffer empty,
// on systems that have none.
bool SystemWow64Folder(char* folder, UINT size);

// Turns file-system redirection off on the calling thread for the object's lifetime, for the
// 32-bit build on 64-bit Windows; does nothing elsewhere. No library may be loaded while it is
// off (a load would find the 64-bit DLLs): the scope itself loads none.
class NativeFileView {
public:
    NativeFileView();
    ~NativeFileView();
    NativeFileView(const NativeFileView&) = delete;
    NativeFileView& operator=(const NativeFileView&) = delete;

private:
    void* m_previous;
    bool m_off;
};

// The 32-bit Winsock catalog, which only the 64-bit build on 64-bit Windows reaches besides its
// own: true when WSCEnumProtocols32 and WSCDeinstallProvider32 are there to call.
bool HasSecondCatalog();
// The two calls on the 32-bit catalog, with the contract of WSCEnumProtocols and
// WSCDeinstallProvider; SOCKET_ERROR with WSAEINVAL where the catalog cannot be reached.
int WINAPI EnumProtocols32(LPINT protocols, LPWSAPROTOCOL_INFOW buffer, LPDWORD length,
                           LPINT error);
int WINAPI DeinstallProvider32(LPGUID provider, LPINT error);

} // namespace wow64
