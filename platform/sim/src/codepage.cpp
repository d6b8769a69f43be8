// The ANSI code page: single-byte 1252 by default, double-byte 932 on request.
#include "core.h"

#include "sim/control_kernel.h"

#include <atomic>

namespace {

std::atomic<UINT> g_codePage{1252};

void ResetCodePage() {
    g_codePage = 1252;
}

simcore::ResetHook hook(ResetCodePage);

} // namespace

namespace sim {

void SetCodePage(UINT codePage) {
    g_codePage = codePage;
}

} // namespace sim

UINT WINAPI GetACP(void) {
    return g_codePage;
}

BOOL WINAPI IsDBCSLeadByte(BYTE c) {
    // Shift-JIS lead bytes.
    return g_codePage == 932 && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
}

namespace simcore {

unsigned char UpperByte(unsigned char c) {
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 'a' + 'A');
    if (c < 0x80 || g_codePage != 1252)
        return c;
    // Western European letters: a-grave to thorn less the division sign, and the four letters
    // whose capitals sit among the code page's extra characters.
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A:
        return 0x8A;
    case 0x9C:
        return 0x8C;
    case 0x9E:
        return 0x8E;
    case 0xFF:
        return 0x9F;
    default:
        return c;
    }
}

} // namespace simcore

DWORD WINAPI CharUpperBuffA(LPSTR text, DWORD length) {
    if (!text)
        return 0;
    for (DWORD i = 0; i < length; ++i) {
        BYTE c = static_cast<BYTE>(text[i]);
        if (IsDBCSLeadByte(c) && i + 1 < length) {
            ++i;
            continue;
        }
        text[i] = static_cast<char>(simcore::UpperByte(c));
    }
    return length;
}

LPSTR WINAPI CharUpperA(LPSTR text) {
    if (!text)
        return text;
    DWORD length = 0;
    while (text[length])
        ++length;
    CharUpperBuffA(text, length);
    return text;
}
