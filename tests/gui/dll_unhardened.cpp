// The positive control of the DLL test: a program that imports version.dll the ordinary way and
// restricts nothing, so a version.dll planted beside it is loaded; it also loads the DLL by name.
// When the planted DLL's marker does not appear for this program, the test could not see a fault.
#include <windows.h>

#include <cstdio>

int main(int, char** argv) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(argv[0], &handle);
    HMODULE byName = LoadLibraryA("version.dll");
    printf("size=%lu loaded=%d\n", static_cast<unsigned long>(size), byName ? 1 : 0);
    return 0;
}
