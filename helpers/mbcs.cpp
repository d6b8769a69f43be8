// Multibyte-aware searching and prefix comparison: matches start only on character boundaries,
// and a trail byte is never taken for a single-byte character.
#include "helper.h"

#include "char_step.h"

#include <cstring>

using helper_detail::CharLength;

const char* FindChar(const char* text, char c) {
    if (!text)
        return nullptr;
    for (size_t n; (n = CharLength(text)) != 0; text += n)
        if (n == 1 && *text == c)
            return text;
    return c == '\0' ? text : nullptr;
}

const char* FindLastChar(const char* text, char c) {
    if (!text)
        return nullptr;
    const char* found = nullptr;
    for (size_t n; (n = CharLength(text)) != 0; text += n)
        if (n == 1 && *text == c)
            found = text;
    return c == '\0' ? text : found;
}

const char* FindText(const char* text, const char* part) {
    if (!text || !part)
        return nullptr;
    size_t partLength = strlen(part);
    if (partLength == 0)
        return text;
    for (size_t n; (n = CharLength(text)) != 0; text += n)
        if (strncmp(text, part, partLength) == 0)
            return text;
    return nullptr;
}

namespace {

// ASCII letters fold to lower case for the sign, as the usual case-insensitive comparison does;
// other single-byte characters compare as the code page upper-cases them, so which bytes count
// as equal is the same as with upper-casing.
int Fold(unsigned char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 'a';
    if (c < 0x80)
        return c;
    return static_cast<unsigned char>(helper_detail::UpperChar(static_cast<char>(c)));
}

} // namespace

int ComparePrefixNoCase(const char* a, const char* b, size_t n) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    size_t i = 0;
    while (i < n) {
        // A lead byte with its trail byte is one character, compared byte for byte unfolded; the
        // lead bytes agree or differ in both strings alike, as lead-ness depends on the value.
        if (x[i] == y[i] && CharLength(a + i) == 2) {
            if (i + 1 < n && x[i + 1] != y[i + 1])
                return x[i + 1] < y[i + 1] ? -1 : 1;
            i += 2;
            continue;
        }
        int cx = Fold(x[i]), cy = Fold(y[i]);
        if (cx != cy)
            return cx < cy ? -1 : 1;
        if (cx == 0)
            return 0;
        ++i;
    }
    return 0;
}
