// The platform family, asked afresh by every caller.
#include "helper.h"

int GetPlatformId() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info); // 148 bytes
    if (!GetVersionExA(&info))
        return -1;
    return static_cast<int>(info.dwPlatformId);
}
