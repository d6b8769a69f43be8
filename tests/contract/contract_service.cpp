// A minimal Win32 service for the contract tests (Windows builds only): it reports running and
// ends when it receives the stop control, or by itself after 60 s (or after the number of seconds
// given as its first argument, at most one hour).
#include <windows.h>
#include <winsvc.h>

#include <cstdlib>

namespace {

SERVICE_STATUS_HANDLE g_status = nullptr;
HANDLE g_stop = nullptr;
DWORD g_lifetimeMs = 60000;

void Report(DWORD state) {
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWaitHint = state == SERVICE_STOP_PENDING ? 2000 : 0;
    SetServiceStatus(g_status, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID) {
    if (control == SERVICE_CONTROL_STOP) {
        Report(SERVICE_STOP_PENDING);
        SetEvent(g_stop);
    }
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
    g_status = RegisterServiceCtrlHandlerExA("KelvaneContractSvc", Handler, nullptr);
    if (!g_status)
        return;
    g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Report(SERVICE_RUNNING);
    // A test that dies before stopping the service must not leave it running for long.
    WaitForSingleObject(g_stop, g_lifetimeMs);
    Report(SERVICE_STOPPED);
}

} // namespace

int main(int argc, char** argv) {
    // A product's service in the main job lives longer than a contract test's.
    if (argc > 1) {
        long seconds = strtol(argv[1], nullptr, 10);
        if (seconds > 0 && seconds <= 3600)
            g_lifetimeMs = static_cast<DWORD>(seconds) * 1000;
    }
    char name[] = "KelvaneContractSvc";
    SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
