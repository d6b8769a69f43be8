// Character stepping shared by the helpers: how many bytes the character at a position takes in
// the ANSI code page, and what counts as a path separator.
#pragma once

#include <windows.h>

#include <cstddef>

namespace helper_detail {

// 2 for a lead byte followed by its trail byte, else 1 (0 at the terminator). Every double-byte
// code page has its lead bytes at 0x81 and above, so ASCII text never asks the system.
inline size_t CharLength(const char* p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c == 0)
        return 0;
    if (c >= 0x80 && p[1] != '\0' && IsDBCSLeadByte(c))
        return 2;
    return 1;
}

inline bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Lower-case ASCII letter to upper case; every other byte unchanged.
inline char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// A single-byte character upper-cased with the ANSI code page's case mapping, as the system
// does it; ASCII without asking the system.
inline char UpperChar(char c) {
    if (static_cast<unsigned char>(c) < 0x80)
        return UpperAscii(c);
    CharUpperBuffA(&c, 1);
    return c;
}

// Start of the last character of text (null for an empty text).
inline const char* LastCharStart(const char* text) {
    const char* last = nullptr;
    for (size_t n; (n = CharLength(text)) != 0; text += n)
        last = text;
    return last;
}

// True when the last character of text is a single-byte separator (never a trail byte that
// happens to have the separator's value).
inline bool EndsWithSeparator(const char* text) {
    const char* last = LastCharStart(text);
    return last && last[1] == '\0' && IsSeparator(*last);
}

} // namespace helper_detail
