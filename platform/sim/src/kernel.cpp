// Simulated OS identity, program module, debugger output, locks and local memory.
#include "core.h"

#include "sim/control_kernel.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

struct KernelState {
    sim::OsVersion version;
    bool versionFails = false;
    std::string modulePath = "C:\\Tools\\Kelvane.exe";
    std::string debugOutput;
};

KernelState& State() {
    static KernelState state;
    return state;
}

void ResetKernel() {
    State() = KernelState();
}

simcore::ResetHook hook(ResetKernel);

void CopyBounded(char* dest, const std::string& src, size_t capacity) {
    size_t n = src.size() < capacity - 1 ? src.size() : capacity - 1;
    memcpy(dest, src.data(), n);
    dest[n] = '\0';
}

} // namespace

namespace sim {

void SetOsVersion(const OsVersion& version) {
    simcore::Guard guard(simcore::MachineLock());
    State().version = version;
}

void SetWindowsXp(WORD servicePack) {
    OsVersion v;
    v.servicePackMajor = servicePack;
    v.csd = servicePack ? "Service Pack " + std::to_string(servicePack) : "";
    SetOsVersion(v);
}

void SetWindows98() {
    OsVersion v;
    v.platformId = VER_PLATFORM_WIN32_WINDOWS;
    v.major = 4;
    v.minor = 10;
    v.build = 2222;
    v.servicePackMajor = 0;
    v.csd = " A ";
    SetOsVersion(v);
}

void SetVersionQueryFails(bool fails) {
    simcore::Guard guard(simcore::MachineLock());
    State().versionFails = fails;
}

void SetModulePath(const char* path) {
    simcore::Guard guard(simcore::MachineLock());
    State().modulePath = path ? path : "";
}

std::string ModulePath() {
    simcore::Guard guard(simcore::MachineLock());
    return State().modulePath;
}

std::string DebugOutput() {
    simcore::Guard guard(simcore::MachineLock());
    return State().debugOutput;
}

void ClearDebugOutput() {
    simcore::Guard guard(simcore::MachineLock());
    State().debugOutput.clear();
}

} // namespace sim

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    simcore::Guard guard(simcore::MachineLock());
    // A refused query is not counted as a call.
    if (!info || State().versionFails)
        return simcore::FailWith(ERROR_INVALID_PARAMETER, FALSE);
    SIM_API_FAULT(error, simcore::FailWith(error ? error : ERROR_INVALID_PARAMETER, FALSE));
    DWORD size = info->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const sim::OsVersion& v = State().version;
    info->dwMajorVersion = v.major;
    info->dwMinorVersion = v.minor;
    info->dwBuildNumber = v.build;
    info->dwPlatformId = v.platformId;
    CopyBounded(info->szCSDVersion, v.csd, sizeof(info->szCSDVersion));
    if (size == sizeof(OSVERSIONINFOEXA)) {
        OSVERSIONINFOEXA* ex = reinterpret_cast<OSVERSIONINFOEXA*>(info);
        ex->wServicePackMajor = v.servicePackMajor;
        ex->wServicePackMinor = 0;
        ex->wSuiteMask = 0;
        ex->wProductType = 1;
        ex->wReserved = 0;
    }
    return TRUE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    if (module)
        return simcore::FailWith(ERROR_MOD_NOT_FOUND, 0);
    SIM_API_ENTRY(error, simcore::FailWith(error ? error : ERROR_MOD_NOT_FOUND, 0));
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const std::string& path = State().modulePath;
    // As on Windows XP and later: a path that does not fit is cut to size - 1 characters and
    // terminated, the result is the size and the last error ERROR_INSUFFICIENT_BUFFER.
    if (path.size() >= size) {
        CopyBounded(buffer, path, size);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    CopyBounded(buffer, path, size);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    return name ? nullptr : reinterpret_cast<HMODULE>(0x400000);
}

void WINAPI OutputDebugStringA(LPCSTR text) {
    simcore::Guard guard(simcore::MachineLock());
    if (text)
        State().debugOutput += text;
}

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    cs->impl = new std::recursive_mutex();
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) {
    static_cast<std::recursive_mutex*>(cs->impl)->lock();
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) {
    static_cast<std::recursive_mutex*>(cs->impl)->unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    delete static_cast<std::recursive_mutex*>(cs->impl);
    cs->impl = nullptr;
}

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
    void* memory =
        (flags & LMEM_ZEROINIT) ? calloc(1, bytes ? bytes : 1) : malloc(bytes ? bytes : 1);
    if (!memory)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return memory;
}

HLOCAL WINAPI LocalFree(HLOCAL memory) {
    free(memory);
    return nullptr;
}

int WINAPI lstrlenA(LPCSTR text) {
    return text ? static_cast<int>(strlen(text)) : 0;
}

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
    std::string x = simcore::Upper(a ? a : ""), y = simcore::Upper(b ? b : "");
    return x < y ? -1 : (x > y ? 1 : 0);
}
