// One way to own what must be given back: a value, the call that releases it and the value that
// means "nothing held". Every handle, key, search, heap block, stream, COM pointer and BSTR the
// product opens is held by an Owned, so that no path out of a scope forgets to release it.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <cstdio>
#include <cstdlib>

// Traits: `Value`, `Invalid()` (the empty value) and `Release(value)`, called only for a value
// that is not Invalid(). `Holds(value)` may widen what counts as empty (kernel handles).
template <typename Traits> class Owned {
public:
    typedef typename Traits::Value Value;

    Owned() : m_value(Traits::Invalid()) {}
    explicit Owned(Value value) : m_value(value) {}
    ~Owned() { reset(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : m_value(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    Value get() const { return m_value; }
    // True when a value is held.
    explicit operator bool() const { return Holds(m_value); }
    // Releases what is held and gives the address a creating call writes its result to.
    Value* out() {
        reset();
        return &m_value;
    }
    // Gives the value up without releasing it.
    Value release() {
        Value value = m_value;
        m_value = Traits::Invalid();
        return value;
    }
    void reset(Value value = Traits::Invalid()) {
        if (Holds(m_value))
            Traits::Release(m_value);
        m_value = value;
    }

private:
    static bool Holds(Value value) { return HoldsValue<Traits>(value, 0); }
    // Traits with their own Holds decide; the others hold every value but Invalid().
    template <typename T> static auto HoldsValue(Value value, int) -> decltype(T::Holds(value)) {
        return T::Holds(value);
    }
    template <typename T> static bool HoldsValue(Value value, long) {
        return value != T::Invalid();
    }

    Value m_value;
};

namespace owned_traits {

struct Key {
    typedef HKEY Value;
    static HKEY Invalid() { return nullptr; }
    static void Release(HKEY key) { RegCloseKey(key); }
};
// A kernel handle: a process, a token, a thread, a snapshot. Both null and INVALID_HANDLE_VALUE
// (what CreateToolhelp32Snapshot and CreateFile return on failure) mean none.
struct Handle {
    typedef HANDLE Value;
    static HANDLE Invalid() { return nullptr; }
    static bool Holds(HANDLE handle) { return handle && handle != INVALID_HANDLE_VALUE; }
    static void Release(HANDLE handle) { CloseHandle(handle); }
};
struct Search {
    typedef HANDLE Value;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Release(HANDLE search) { FindClose(search); }
};
struct Service {
    typedef SC_HANDLE Value;
    static SC_HANDLE Invalid() { return nullptr; }
    static void Release(SC_HANDLE service) { CloseServiceHandle(service); }
};
template <typename T> struct Heap {
    typedef T* Value;
    static T* Invalid() { return nullptr; }
    static void Release(T* block) { free(block); }
};
// A block the system allocated with LocalAlloc for the caller (FormatMessage's text).
template <typename T> struct Local {
    typedef T* Value;
    static T* Invalid() { return nullptr; }
    static void Release(T* block) { LocalFree(block); }
};
struct Stream {
    typedef FILE* Value;
    static FILE* Invalid() { return nullptr; }
    static void Release(FILE* stream) { fclose(stream); }
};
struct Sid {
    typedef PSID Value;
    static PSID Invalid() { return nullptr; }
    static void Release(PSID sid) { FreeSid(sid); }
};
struct String {
    typedef BSTR Value;
    static BSTR Invalid() { return nullptr; }
    static void Release(BSTR text) { SysFreeString(text); }
};
template <typename Interface> struct Com {
    typedef Interface* Value;
    static Interface* Invalid() { return nullptr; }
    static void Release(Interface* object) { object->Release(); }
};

} // namespace owned_traits

typedef Owned<owned_traits::Key> OwnedKey;
typedef Owned<owned_traits::Handle> OwnedHandle;
typedef Owned<owned_traits::Search> OwnedSearch;
typedef Owned<owned_traits::Service> OwnedService;
typedef Owned<owned_traits::Heap<char>> HeapText;
template <typename T> using OwnedBlock = Owned<owned_traits::Heap<T>>;
typedef Owned<owned_traits::Local<char>> LocalText;
typedef Owned<owned_traits::Stream> OwnedStream;
typedef Owned<owned_traits::Sid> OwnedSid;
typedef Owned<owned_traits::String> OwnedBstr;
template <typename Interface> using OwnedCom = Owned<owned_traits::Com<Interface>>;
