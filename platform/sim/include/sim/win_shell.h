// shlwapi and shell32 subset of the simulated platform (registry shortcuts, path parts, folders).
#pragma once

#include "win_types.h"

#define CSIDL_DESKTOP 0x0000
#define CSIDL_PROGRAMS 0x0002
#define CSIDL_PERSONAL 0x0005
#define CSIDL_FAVORITES 0x0006
#define CSIDL_STARTUP 0x0007
#define CSIDL_RECENT 0x0008
#define CSIDL_STARTMENU 0x000b
#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_COMMON_STARTMENU 0x0016
#define CSIDL_COMMON_PROGRAMS 0x0017
#define CSIDL_COMMON_STARTUP 0x0018
#define CSIDL_COMMON_DESKTOPDIRECTORY 0x0019
#define CSIDL_APPDATA 0x001a
#define CSIDL_ALTSTARTUP 0x001d
#define CSIDL_COMMON_ALTSTARTUP 0x001e
#define CSIDL_COMMON_FAVORITES 0x001f
#define CSIDL_INTERNET_CACHE 0x0020
#define CSIDL_COOKIES 0x0021
#define CSIDL_LOCAL_APPDATA 0x001c
#define CSIDL_COMMON_APPDATA 0x0023
#define CSIDL_WINDOWS 0x0024
#define CSIDL_SYSTEM 0x0025
#define CSIDL_PROGRAM_FILES 0x0026
#define CSIDL_PROFILE 0x0028
#define CSIDL_PROGRAM_FILES_COMMON 0x002b
#define CSIDL_FLAG_CREATE 0x8000

DWORD WINAPI SHGetValueA(HKEY key, LPCSTR subKey, LPCSTR value, LPDWORD type, LPVOID data,
                         LPDWORD size);
DWORD WINAPI SHSetValueA(HKEY key, LPCSTR subKey, LPCSTR value, DWORD type, LPCVOID data,
                         DWORD size);
DWORD WINAPI SHDeleteValueA(HKEY key, LPCSTR subKey, LPCSTR value);
DWORD WINAPI SHDeleteEmptyKeyA(HKEY key, LPCSTR subKey);
DWORD WINAPI SHDeleteKeyA(HKEY key, LPCSTR subKey);
LPSTR WINAPI PathFindFileNameA(LPCSTR path);
LPSTR WINAPI PathFindExtensionA(LPCSTR path);

BOOL WINAPI SHGetSpecialFolderPathA(HWND owner, LPSTR path, int folder, BOOL create);
BOOL WINAPI GetUserNameA(LPSTR buffer, LPDWORD size);
DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer);
