// Stateless helpers the engine rests on: canonical entry text, path joining, registry-path
// splitting, quoted field lists, wildcard matching, keyword prefixes and the platform family.
#pragma once

#include <windows.h>

#include <cstddef>

// dwPlatformId of the running system (VER_PLATFORM_WIN32_NT is 2), or -1 when it is unknown.
int GetPlatformId();

// Canonical form in place: enclosing quotes gone, one trailing separator dropped, '/' and runs of
// separators folded to one '\', upper case (the ANSI code page's case mapping, as CharUpperBuffA
// does it; double-byte characters kept whole).
// Works on a heap copy of any length; when none can be made the text is left unchanged.
void NormalizeEntry(char* text);

// Writes the parts (null or empty ones skipped), with one '\' between them where neither side has
// a separator, into dest of destSize bytes (where both sides have one, both stay). Returns false,
// with dest emptied, when the result and its NUL would not fit destSize (or dest is null or
// destSize 0, when nothing is written): an over-long path never becomes a shorter, different one
// that a caller might go on to delete. All parts absent or empty: true, dest empty.
bool JoinPathList(char* dest, size_t destSize, const char* const* parts, size_t count);
template <class... Parts> bool JoinPath(char* dest, size_t destSize, Parts... parts) {
    const char* list[] = {parts...};
    return JoinPathList(dest, destSize, list, sizeof...(Parts));
}

// Normalises text in place and splits it into the root key, the root's name, the sub key and the
// last name (pointers into text, or null). ERROR_INVALID_DATA, outputs untouched, when text is
// null or empty on entry; otherwise 0, with root 0 when no full root name starts the text.
// Null output pointers are allowed.
DWORD ParseRegistryPath(char* text, HKEY* root, char** rootName, char** subKey, char** lastName);

// Cuts '"a","b","c"' in place; fields[i] points at piece i. Fields without a piece keep their
// value (callers preset them to null).
void SplitQuotedListArray(char* text, char** fields, size_t count);
template <class... Fields> void SplitQuotedList(char* text, Fields... fields) {
    char** list[] = {fields...};
    char* pieces[sizeof...(Fields)];
    for (size_t i = 0; i < sizeof...(Fields); ++i)
        pieces[i] = *list[i];
    SplitQuotedListArray(text, pieces, sizeof...(Fields));
    for (size_t i = 0; i < sizeof...(Fields); ++i)
        *list[i] = pieces[i];
}

// True when text is present and holds '*' or '?'.
bool HasWildcards(const char* text);

// The non-backtracking matcher profiles are written against: a '*' is resolved at the first
// occurrence of the literal segment after it ('ABB' does not match '*B', 'A.TXT.TXT' does not
// match '*.TXT'). Case-insensitive. False when either is null or memory is exhausted.
bool MatchWildcard(const char* text, const char* pattern);

// Compares at most n bytes without regard to case (single-byte characters equal when the code
// page upper-cases them alike; ASCII letters folded to lower case for the
// sign); a double-byte character is compared unfolded and counts as two bytes. Stops at a NUL.
// 0 when equal, else negative or positive.
int ComparePrefixNoCase(const char* a, const char* b, size_t n);

// Multibyte-aware search helpers: a match starts on a character boundary, and a trail byte never
// counts as a single-byte character. Null text (or part) finds nothing; an empty part is found at
// the start.
const char* FindChar(const char* text, char c);
const char* FindLastChar(const char* text, char c);
const char* FindText(const char* text, const char* part);
inline char* FindChar(char* text, char c) {
    return const_cast<char*>(FindChar(static_cast<const char*>(text), c));
}
inline char* FindLastChar(char* text, char c) {
    return const_cast<char*>(FindLastChar(static_cast<const char*>(text), c));
}
inline char* FindText(char* text, const char* part) {
    return const_cast<char*>(FindText(static_cast<const char*>(text), part));
}
// Upper-cases in place with the same folding as NormalizeEntry and MatchWildcard.
void UpperCase(char* text);
