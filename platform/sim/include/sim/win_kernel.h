// kernel32 subset of the simulated platform: errors, version, module, threads, time, code page.
#pragma once

#include "win_types.h"

// Error codes met by this program and its tests.
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_WRITE_FAULT 29L
#define ERROR_CANNOT_MAKE 82L
#define ERROR_INVALID_DATA 13L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_ADDRESS 487L
#define ERROR_INVALID_NAME 123L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_DIRECTORY 267L
#define ERROR_NOT_ALL_ASSIGNED 1300L
#define ERROR_NO_TOKEN 1008L
#define ERROR_CAN_NOT_COMPLETE 1003L
#define ERROR_BADKEY 1010L
#define ERROR_KEY_DELETED 1018L
#define ERROR_SERVICE_DOES_NOT_EXIST 1060L
#define ERROR_SERVICE_NOT_ACTIVE 1062L
#define ERROR_SERVICE_DATABASE_LOCKED 1055L
#define ERROR_INVALID_SERVICE_CONTROL 1052L
#define ERROR_DEPENDENT_SERVICES_RUNNING 1051L
#define ERROR_SERVICE_CANNOT_ACCEPT_CTRL 1061L
#define ERROR_CANCELLED 1223L
#define ERROR_BAD_CONFIGURATION 1610L
#define ERROR_NOT_FOUND 1168L
#define ERROR_PRIVILEGE_NOT_HELD 1314L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_MR_MID_NOT_FOUND 317L
#define ERROR_MOD_NOT_FOUND 126L

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#define MAXIMUM_WAIT_OBJECTS 64
#define STILL_ACTIVE 259

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA, *POSVERSIONINFOA, *LPOSVERSIONINFOA;

typedef struct _OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
} OSVERSIONINFOEXA, *POSVERSIONINFOEXA, *LPOSVERSIONINFOEXA;
typedef OSVERSIONINFOA OSVERSIONINFO;
typedef OSVERSIONINFOEXA OSVERSIONINFOEX;

// A re-entrant lock, as large as needed by the simulation (its layout is private).
typedef struct _RTL_CRITICAL_SECTION {
    void* impl;
    LONG spare[6];
} CRITICAL_SECTION, *LPCRITICAL_SECTION, *PCRITICAL_SECTION;

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID);

// Memory.
#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD code);

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info);
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
HMODULE WINAPI GetModuleHandleA(LPCSTR name);

// 64-bit Windows: whether a process runs under WOW64, its thread's file-system redirection, and
// the 32-bit system folder.
BOOL WINAPI IsWow64Process(HANDLE process, PBOOL wow64);
BOOL WINAPI Wow64DisableWow64FsRedirection(PVOID* previous);
BOOL WINAPI Wow64RevertWow64FsRedirection(PVOID previous);
UINT WINAPI GetSystemWow64DirectoryA(LPSTR buffer, UINT size);

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs);

DWORD WINAPI GetCurrentThreadId(void);
DWORD WINAPI GetCurrentProcessId(void);
HANDLE WINAPI GetCurrentProcess(void);
HANDLE WINAPI GetCurrentThread(void);
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                           LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                           LPDWORD threadId);
BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                    DWORD milliseconds);
BOOL WINAPI CloseHandle(HANDLE handle);
// A named mutex lives while a handle to it is open; creating one under a name that exists opens
// that one, with the last error ERROR_ALREADY_EXISTS (ERROR_SUCCESS otherwise). Ownership is not
// modelled: nothing here waits on one.
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);

DWORD WINAPI GetTickCount(void);
BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* counter);
BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency);
void WINAPI Sleep(DWORD milliseconds);
void WINAPI ExitProcess(UINT exitCode);

void WINAPI OutputDebugStringA(LPCSTR text);

#define CP_ACP 0

UINT WINAPI GetACP(void);
// Wide text to the ANSI code page: characters below 0x80 as they are, in code page 1252 those up
// to 0xFF too, every other one as '?'. Sizes in characters and bytes; -1 for a terminated input
// (the terminator is converted too). 0 with ERROR_INSUFFICIENT_BUFFER when the output is short.
int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int length, LPSTR out,
                               int size, LPCSTR defaultChar, LPBOOL usedDefault);
BOOL WINAPI IsDBCSLeadByte(BYTE c);
LPSTR WINAPI CharUpperA(LPSTR text);
DWORD WINAPI CharUpperBuffA(LPSTR text, DWORD length);

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL WINAPI LocalFree(HLOCAL memory);

int WINAPI lstrlenA(LPCSTR text);
int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b);
