// TSet: ordered case-insensitive set of heap copies, with its two cursors.
#include "TSet.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

unsigned char FoldAscii(unsigned char c) {
    return static_cast<unsigned>(c - 'A') < 26u ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// How many leading bytes of x and y, whole 8-byte words within the first n, are equal and plain
// ASCII. Such bytes are single-byte characters that compare equal, so the character walk may
// start right after them: the items of a plan share long prefixes, which are skipped this way.
size_t EqualAsciiWords(const unsigned char* x, const unsigned char* y, size_t n) {
    const uint64_t highBits = 0x8080808080808080ull;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t wx, wy;
        memcpy(&wx, x + i, 8);
        memcpy(&wy, y + i, 8);
        if (wx != wy || (wx & highBits) != 0)
            break;
    }
    return i;
}

char* CopyText(const char* text) {
    size_t size = strlen(text) + 1;
    char* copy = static_cast<char*>(malloc(size));
    if (copy)
        memcpy(copy, text, size);
    return copy;
}

// The error a failed Add reports: the thread's last error, but never 0 (that would read as
// success to a caller that checks it).
DWORD FailureCode(DWORD fallback) {
    DWORD code = GetLastError();
    return code ? code : fallback;
}

} // namespace

int CompareNoCase(const char* a, const char* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    // This is the set's hot path. The code page is only asked about bytes at 0x80 and above,
    // where every double-byte code page has its lead bytes; lead-ness depends on the byte alone,
    // so two different bytes decide the order by their values whether or not they lead, and
    // only an equal lead byte needs its trail bytes compared as part of one character.
    size_t skip = EqualAsciiWords(x, y, std::min(strlen(a), strlen(b)));
    x += skip;
    y += skip;
    for (;;) {
        unsigned char cx = *x, cy = *y;
        if (cx == cy) {
            if (cx == 0)
                return 0;
            if (cx >= 0x80 && x[1] && y[1] && IsDBCSLeadByte(cx)) {
                // The code page folds no double-byte character.
                if (x[1] != y[1])
                    return x[1] < y[1] ? -1 : 1;
                ++x;
                ++y;
            }
        } else {
            cx = FoldAscii(cx);
            cy = FoldAscii(cy);
            if (cx != cy)
                return cx < cy ? -1 : 1;
        }
        ++x;
        ++y;
    }
}

bool TSet::Before::operator()(const char* a, const char* b) const {
    if (!a)
        return true;
    if (!b)
        return false;
    return CompareNoCase(a, b) < 0;
}

// The cursors are declared before the set they point into, so they are placed once it exists.
TSet::TSet() {
    m_forward = m_items.end();
    m_backward = m_items.rbegin();
}

TSet::~TSet() {
    for (char* item : m_items)
        free(item);
    m_items.clear();
}

unsigned TSet::Count() const {
    return static_cast<unsigned>(m_items.size());
}

int TSet::IsEmpty() const {
    return m_items.empty() ? 1 : 0;
}

namespace {
thread_local unsigned t_failedAdds = 0;
} // namespace

unsigned TSet::FailedAddsOnThisThread() {
    return t_failedAdds;
}

DWORD TSet::Add(const char* text) {
    if (!text)
        return FailureCode(ERROR_INVALID_PARAMETER);
    char* copy = CopyText(text);
    if (!copy) {
        ++t_failedAdds;
        return FailureCode(ERROR_NOT_ENOUGH_MEMORY);
    }
    // The tree's node allocation may fail too; that is reported like a failed copy rather than
    // letting an exception out of the set.
    try {
        // Callers mostly add in the set's own order (a tree walked in sorted enumeration order),
        // so the end is tried first: one comparison places such an item, and any other item
        // costs that one comparison more than a plain insert. Equal text keeps the item in place.
        if (*m_items.insert(m_items.end(), copy) != copy)
            free(copy);
    } catch (const std::bad_alloc&) {
        free(copy);
        ++t_failedAdds;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

DWORD TSet::GetFirst(char** item) {
    m_forward = m_items.begin();
    if (m_forward == m_items.end())
        return ERROR_NO_MORE_ITEMS;
    *item = *m_forward;
    return ERROR_SUCCESS;
}

DWORD TSet::GetNext(char** item) {
    if (m_forward == m_items.end())
        return ERROR_NO_MORE_ITEMS;
    ++m_forward;
    if (m_forward == m_items.end())
        return ERROR_NO_MORE_ITEMS;
    *item = *m_forward;
    return ERROR_SUCCESS;
}

DWORD TSet::GetLast(char** item) {
    m_backward = m_items.rbegin();
    if (m_backward == m_items.rend())
        return ERROR_NO_MORE_ITEMS;
    *item = *m_backward;
    return ERROR_SUCCESS;
}

DWORD TSet::GetPrev(char** item) {
    if (m_backward == m_items.rend())
        return ERROR_NO_MORE_ITEMS;
    ++m_backward;
    if (m_backward == m_items.rend())
        return ERROR_NO_MORE_ITEMS;
    *item = *m_backward;
    return ERROR_SUCCESS;
}

DWORD TSet::RemoveCurrent(char** item) {
    if (m_forward == m_items.end())
        return ERROR_NO_MORE_ITEMS;
    Items::iterator current = m_forward++;
    char* text = *current;
    m_items.erase(current);
    free(text);
    if (m_forward == m_items.end())
        return ERROR_NO_MORE_ITEMS;
    *item = *m_forward;
    return ERROR_SUCCESS;
}

int TSet::Contains(const char* text) const {
    if (!text)
        return 0;
    return m_items.find(const_cast<char*>(text)) != m_items.end() ? 1 : 0;
}

TSet& TSet::AddAll(TSet& source) {
    if (&source == this)
        return *this;
    source.ForEach([this](const char* item) {
        if (item)
            Add(item);
    });
    m_forward = m_items.begin();
    m_backward = m_items.rbegin();
    return *this;
}
