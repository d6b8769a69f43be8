// The Windows builds' runtime services: thin forwards to the runtime itself.
#include "platform/os/crt.h"

#include <io.h>

FILE* CrtOpen(const char* path, const char* mode) {
    return path && mode ? fopen(path, mode) : nullptr;
}

int CrtAccess(const char* path, int mode) {
    return path ? _access(path, mode) : -1;
}

time_t CrtTime() {
    return time(nullptr);
}

bool CrtLocalTime(time_t when, struct tm* out) {
    const struct tm* local = localtime(&when);
    if (!local || !out)
        return false;
    *out = *local;
    return true;
}
