// The C runtime's file and time services that shared code uses, under one name on every target:
// the runtime's own functions on Windows, the simulated file system and clock on the native build.
#pragma once

#include <cstdio>
#include <ctime>

// Access test modes, as the runtime's _access takes them.
enum { CRT_ACCESS_EXISTS = 0, CRT_ACCESS_READ = 4 };

// fopen: "r", "w", "a", "a+", ... ; text mode unless the mode holds 'b'.
FILE* CrtOpen(const char* path, const char* mode);
// _access: 0 when the path exists (and is readable for CRT_ACCESS_READ), -1 otherwise.
int CrtAccess(const char* path, int mode);
// time(NULL).
time_t CrtTime();
// localtime, into the caller's structure; false when the time cannot be broken down.
bool CrtLocalTime(time_t when, struct tm* out);
