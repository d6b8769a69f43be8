// The start-up hardening on its own: the same early hook as the program's, then a load of
// version.dll by name, as system libraries load their helpers. With KV_PROBE_UNHARDENED set the
// hook does nothing, which shows the planted DLL would be taken without it.
#include "platform/os/dll_search.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

__attribute__((constructor(101))) static void RestrictDllSearchFirst() {
    if (!getenv("KV_PROBE_UNHARDENED"))
        RestrictDllSearchPath();
}

int main() {
    HMODULE byName = LoadLibraryA("version.dll");
    char path[MAX_PATH] = {};
    if (byName)
        GetModuleFileNameA(byName, path, MAX_PATH);
    printf("loaded=%s\n", path);
    return byName ? 0 : 1;
}
