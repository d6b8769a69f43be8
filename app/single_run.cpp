// One run at a time on a machine: a named mutex in the global namespace, whose name does not
// depend on the program's folder, so that copies started from different folders (or sessions)
// see each other.
#include "KelvaneDlg.h"

#include "helpers/owned.h"
#include "res/resource.h"

namespace {

// The global name, and the plain one for systems that know no namespaces (they refuse a '\' in
// an object's name).
const char kGlobalName[] = "Global\\Kelvane.UninstallationTool.Run";
const char kPlainName[] = "Kelvane.UninstallationTool.Run";

HANDLE g_runToken = nullptr;

// Says why this copy ends: another one runs, or the system's text of the error.
void Refuse(DWORD error) {
    CString text;
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED) {
        text.LoadString(IDS_ALREADY_RUNNING);
    } else {
        LocalText system;
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                       reinterpret_cast<LPSTR>(system.out()), 0, nullptr);
        text = system ? system.get() : "Failed";
    }
    MessageBoxA(nullptr, text, "Notification!", MB_OK | MB_ICONWARNING);
}

} // namespace

bool ClaimSingleRun() {
    HANDLE token = CreateMutexA(nullptr, FALSE, kGlobalName);
    DWORD error = GetLastError();
    // A mutex another user's copy created may refuse this user access: it exists all the same.
    if (!token && error != ERROR_ACCESS_DENIED) {
        token = CreateMutexA(nullptr, FALSE, kPlainName);
        error = GetLastError();
    }
    OwnedHandle claimed(token);
    if (claimed && error != ERROR_ALREADY_EXISTS) {
        g_runToken = claimed.release();
        return true;
    }
    claimed.reset();
    Refuse(error ? error : ERROR_CAN_NOT_COMPLETE);
    return false;
}

void ReleaseSingleRun() {
    if (g_runToken)
        CloseHandle(g_runToken);
    g_runToken = nullptr;
}
