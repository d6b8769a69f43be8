// Controls of the simulated OS identity, process, clock, debugger output and code page.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace sim {

struct OsVersion {
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    DWORD major = 5;
    DWORD minor = 1;
    DWORD build = 2600;
    WORD servicePackMajor = 2;
    std::string csd = "Service Pack 2";
};

void SetOsVersion(const OsVersion& version);
// Shorthands for the families the program distinguishes.
void SetWindowsXp(WORD servicePack);
void SetWindows98();
void SetVersionQueryFails(bool fails);

// The full path of the running program (GetModuleFileNameA with no module).
void SetModulePath(const char* path);
std::string ModulePath();

// Virtual clock: Sleep advances it; nothing waits in real time.
void AdvanceClock(DWORD milliseconds);
// Runs on the calling thread of every later Sleep, with the time asked for, before the clock
// advances (a test can act at a known point of a pause); null removes it, and so does sim::Reset.
void OnSleep(std::function<void(DWORD)> callback);
uint64_t ClockMilliseconds();
// Calendar time of the virtual clock's start, as local broken-down time.
void SetLocalTime(int year, int month, int day, int hour, int minute, int second);
// Frequency of the simulated performance counter (counts per second); 0 makes the query fail.
void SetPerformanceFrequency(int64_t countsPerSecond);
void SetPerformanceCounterFails(bool fails);

// Everything passed to OutputDebugStringA since the last reset, and its clearing.
std::string DebugOutput();
void ClearDebugOutput();

// ANSI code page: 1252 (single-byte, the default) or 932 (double-byte).
void SetCodePage(UINT codePage);

// A 64-bit Windows (off after a reset): SysWOW64, Program Files (x86) with its Common Files, the
// registry's WOW6432Node keys and the folder values under ...\Windows\CurrentVersion are added;
// registry calls honour KEY_WOW64_32KEY/KEY_WOW64_64KEY, and the Winsock catalog is two.
void SetWindows64(bool on);
// The running program is a 32-bit one (off after a reset): on a 64-bit machine IsWow64Process
// says so, its file paths into System32 and its registry paths into the redirected keys reach
// the 32-bit view unless it asks otherwise, and its folder queries name Program Files (x86).
void SetProgram32Bit(bool on);

} // namespace sim

namespace sim {
// Waits (in real time) until some thread called ExitProcess; its code in *exitCode.
bool WaitForProcessExit(DWORD milliseconds, UINT* exitCode = nullptr);
} // namespace sim
