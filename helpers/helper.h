// Stateless helpers the engine rests on: canonical entry text, path joining, registry-path
// splitting, quoted field lists, wildcard matching, keyword prefixes and the platform family.
#pragma once

#include <windows.h>

#include <cstddef>


// dwPlatformId of the running system (VER_PLATFORM_WIN32_NT is 2), or -1 when it is unknown.
int GetPlatformId();

// Canonical form in place: enclosing quotes gone, one trailing separator dropped, '/' and runs of
// separators folded to one '\', upper case (ASCII letters; double-byte characters kept whole).
void NormalizeEntry(char* text);

// Writes the parts (null or empty ones skipped), with one '\' between them where neither side has
// a separator, into dest of destSize bytes. Returns false, with dest emptied, when the result
// would not fit: an over-long path never becomes a shorter, different one.
bool JoinPathList(char* dest, size_t destSize, const char* const* parts, size_t count);
template <class... Parts> bool JoinPath(char* dest, size_t destSize, Parts... parts) {
    const char* list[] = {parts...};
    return JoinPathList(dest, destSize, list, sizeof...(Parts));
}

// Normalises text in place and splits it into the root key, the root's name, the sub key and the
// last name (pointers into text, or null). ERROR_INVALID_DATA when text is empty on entry.
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
// occurrence of the literal segment after it ('ABB' does not match '*B'). Case-insensitive.
bool MatchWildcard(const char* text, const char* pattern);

// Compares at most n bytes without regard to case; 0 when equal, else the sign of the comparison.
int ComparePrefixNoCase(const char* a, const char* b, size_t n);

// Multibyte-aware search helpers (the ANSI code page's lead bytes are never split).
const char* FindChar(const char* text, char c);
const char* FindLastChar(const char* text, char c);
const char* FindText(const char* text, const char* part);
// Upper-cases in place with the same folding as NormalizeEntry and MatchWildcard.
void UpperCase(char* text);
