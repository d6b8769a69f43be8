// shlwapi's path parts: the last component and the extension of a path, multibyte-aware.
#include "core.h"

namespace {

const char* NextChar(const char* p) {
    return IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] ? p + 2 : p + 1;
}

} // namespace

LPSTR WINAPI PathFindFileNameA(LPCSTR path) {
    if (!path)
        return nullptr;
    // The component after the last separator that is followed by something other than a
    // separator: "C:\Dir\" gives "Dir\".
    const char* name = path;
    for (const char* p = path; *p; p = NextChar(p)) {
        if ((*p == '\\' || *p == '/' || *p == ':') && p[1] && p[1] != '\\' && p[1] != '/')
            name = p + 1;
    }
    return const_cast<LPSTR>(name);
}

LPSTR WINAPI PathFindExtensionA(LPCSTR path) {
    if (!path)
        return nullptr;
    // The last '.' of the last component; a blank ends an extension as a separator does.
    const char* dot = nullptr;
    const char* p = path;
    for (; *p; p = NextChar(p)) {
        if (*p == '\\' || *p == ' ')
            dot = nullptr;
        else if (*p == '.')
            dot = p;
    }
    return const_cast<LPSTR>(dot ? dot : p);
}
