// The canonical entry text every set holds, and the upper-casing it shares with the matcher.
#include "helper.h"

#include "char_step.h"

#include <cstring>

using helper_detail::CharLength;
using helper_detail::IsSeparator;
using helper_detail::UpperChar;

void UpperCase(char* text) {
    if (!text)
        return;
    // Single-byte characters fold with the code page's case mapping; a double-byte character is
    // skipped whole, so its trail byte is never taken for a letter.
    for (size_t n; (n = CharLength(text)) != 0; text += n)
        if (n == 1)
            *text = UpperChar(*text);
}

void NormalizeEntry(char* text) {
    if (!text)
        return;
    // The result is never longer than the text, and each byte is written no further on than the
    // byte it comes from: the text is rewritten in place, with nothing to allocate (and so no
    // way to leave a text unnormalised).
    const char* start = text;
    while (*start == '"')
        ++start;

    // One walk over the rest finds where the trailing quotes begin and where the last character
    // before them starts, so that neither test looks at a trail byte.
    const char* end = start;
    const char* lastStart = nullptr;
    for (const char* p = start; *p;) {
        size_t n = CharLength(p);
        if (!(n == 1 && *p == '"')) {
            lastStart = p;
            end = p + n;
        }
        p += n;
    }
    if (lastStart && end - lastStart == 1 && IsSeparator(*lastStart))
        end = lastStart;

    // Runs of separators become one '\'; double-byte characters are copied whole.
    char* out = text;
    for (const char* p = start; p < end;) {
        if (IsSeparator(*p)) {
            *out++ = '\\';
            while (p < end && IsSeparator(*p))
                ++p;
            continue;
        }
        size_t n = CharLength(p);
        for (size_t i = 0; i < n; ++i)
            *out++ = *p++;
    }
    *out = '\0';

    UpperCase(text);
}
