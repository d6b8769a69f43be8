// Wildcard patterns: the test for '*' and '?', and the single-pass matcher profiles rely on.
#include "helper.h"

#include "char_step.h"
#include "owned.h"

#include <cstdlib>
#include <cstring>

using helper_detail::CharLength;

bool HasWildcards(const char* text) {
    return text && (FindChar(text, '*') || FindChar(text, '?'));
}

namespace {

// Upper-cased heap copy; null when memory is exhausted.
char* UpperCopy(const char* text) {
    size_t size = strlen(text) + 1;
    char* copy = static_cast<char*>(malloc(size));
    if (copy) {
        memcpy(copy, text, size);
        UpperCase(copy);
    }
    return copy;
}

// First occurrence of the length bytes at part in text, starting on a character boundary.
const char* FindSegment(const char* text, const char* part, size_t length) {
    for (size_t n; (n = CharLength(text)) != 0; text += n)
        if (strncmp(text, part, length) == 0)
            return text;
    return nullptr;
}

// Length of the literal run at pattern: up to the next '*' or '?' or the end.
size_t SegmentLength(const char* pattern) {
    const char* p = pattern;
    for (size_t n; (n = CharLength(p)) != 0; p += n)
        if (n == 1 && (*p == '*' || *p == '?'))
            break;
    return static_cast<size_t>(p - pattern);
}

// Whether the characters at t and p are the same (both terminators count as the same).
bool SameChar(const char* t, const char* p, size_t tn, size_t pn) {
    return tn == pn && strncmp(t, p, tn ? tn : 1) == 0;
}

bool Match(const char* t, const char* p) {
    bool star = false;
    bool result = false;
    do {
        size_t tn = CharLength(t);
        size_t pn = CharLength(p);
        if (pn == 1 && *p == '?') {
            star = false;
            ++p;
            t += tn;
            result = true;
        } else if (pn == 1 && *p == '*') {
            star = true;
            ++p;
            result = true;
        } else if (SameChar(t, p, tn, pn)) {
            star = false;
            p += pn;
            t += tn;
            result = true;
        } else if (!star) {
            result = false;
            break;
        } else if (*p == '\0') {
            result = true;
            break;
        } else {
            // A '*' is resolved at the first occurrence of the literal run after it; the
            // matcher never comes back to try a later one.
            star = false;
            size_t length = SegmentLength(p);
            const char* found = FindSegment(t, p, length);
            if (!found) {
                result = false;
                break;
            }
            t = found + length;
            p += length;
            result = true;
        }
    } while (*t && *p);

    if (!*p && *t && !star)
        return false;
    if (!*t && *p) {
        while (*p == '*')
            ++p;
        return *p == '\0';
    }
    return result;
}

} // namespace

bool MatchWildcard(const char* text, const char* pattern) {
    if (!text || !pattern)
        return false;
    HeapText t(UpperCopy(text));
    HeapText p(UpperCopy(pattern));
    return t && p && Match(t.get(), p.get());
}
