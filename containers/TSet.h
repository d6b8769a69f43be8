// TSet: an ordered set of owned narrow strings, compared without regard to ASCII case, walked
// through a forward and a backward cursor that report their end with ERROR_NO_MORE_ITEMS (259).
#pragma once

#include <windows.h>

#include <set>
#include <type_traits>

// Byte-wise comparison with A-Z folded to a-z (so '_' sorts before letters); a lead and trail
// byte of the double-byte code page compare as one character. Negative, 0 or positive.
int CompareNoCase(const char* a, const char* b);

class TSet {
public:
    TSet();
    TSet(const TSet&) = delete;
    TSet& operator=(const TSet&) = delete;
    virtual ~TSet();

    unsigned Count() const;
    int IsEmpty() const;
    // 0, or the thread's last error (never 0) when the string is null or cannot be copied.
    DWORD Add(const char* text);
    DWORD GetFirst(char** item);
    DWORD GetNext(char** item);
    DWORD GetLast(char** item);
    DWORD GetPrev(char** item);
    DWORD RemoveCurrent(char** item);
    int Contains(const char* text) const;
    // How many additions on the calling thread, to any set, failed for lack of memory. A caller
    // that must not go on with a list that silently misses an item (a profile list, where a lost
    // ignore item would leave something unspared) compares it before and after.
    static unsigned FailedAddsOnThisThread();
    // Adds a copy of every item of the source (the union); the set itself as source does nothing.
    TSet& AddAll(TSet& source);

    // The one way to walk a set: calls visit(item) for every item in order (backward: from the
    // last), through the set's own cursor, so the set must not be walked again inside visit. A
    // visit that returns bool ends the walk early by returning false. True when every item was
    // visited.
    template <typename Visit> bool ForEach(Visit visit, bool backward = false) {
        char* item = nullptr;
        for (DWORD more = backward ? GetLast(&item) : GetFirst(&item); more == ERROR_SUCCESS;
             more = backward ? GetPrev(&item) : GetNext(&item)) {
            if constexpr (std::is_same<decltype(visit(item)), bool>::value) {
                if (!visit(item))
                    return false;
            } else {
                visit(item);
            }
        }
        return true;
    }
    // Drops every item for which drop(item) is true, walking forward.
    template <typename Drop> void RemoveIf(Drop drop) {
        char* item = nullptr;
        for (DWORD more = GetFirst(&item); more == ERROR_SUCCESS;)
            more = drop(static_cast<const char*>(item)) ? RemoveCurrent(&item) : GetNext(&item);
    }

private:
    struct Before {
        bool operator()(const char* a, const char* b) const;
    };
    using Items = std::set<char*, Before>;

    Items::reverse_iterator m_backward;
    Items::iterator m_forward;
    Items m_items;
};
