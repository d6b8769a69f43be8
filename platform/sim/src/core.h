// Internals shared by the areas of the simulation: the machine lock, reset hooks, faults, handles.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>

namespace simcore {

// One lock serialises every access to the simulated machine's state (dialog and worker threads).
std::recursive_mutex& MachineLock();
// The machine lock held for one call into the simulation; while a thread holds it, whatever it
// does is the simulated system's own work (sim::InsideSystem).
class Guard {
public:
    explicit Guard(std::recursive_mutex& lock);
    ~Guard();
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    std::lock_guard<std::recursive_mutex> m_lock;
};

// Each area registers how it returns to its initial state; sim::Reset runs them all.
struct ResetHook {
    explicit ResetHook(void (*reset)());
};

// Counts a call of `operation`; true when an injected fault says it must fail (error in *error).
bool Faulted(const char* operation, DWORD* error);

// Sets the calling thread's last error and gives `result`: the usual way an API call fails.
template <class T> T FailWith(DWORD error, T result) {
    SetLastError(error);
    return result;
}

} // namespace simcore

// The opening of a simulated API function. It counts the call under the function's own name
// (__func__: the name a test injects faults and reads call counts by) and, when an injected fault
// says this call fails, returns `...` from the function at once. It declares `error`, which holds
// the fault's code there and 0 otherwise, for the function's own use afterwards.
//
// SIM_API_ENTRY also holds the machine lock from here to the end of the function. SIM_API_FAULT
// leaves the lock to the function: for those that took it already (a check comes before the
// count) and for those that run without it; waits, window functions and message boxes must not
// hold it, as they block, run window procedures or test callbacks, or take the window system's
// lock, which is never taken inside the machine lock.
#define SIM_API_FAULT(error, ...)                                                                  \
    DWORD error = 0;                                                                               \
    if (simcore::Faulted(__func__, &error))                                                        \
    return __VA_ARGS__
#define SIM_API_ENTRY(error, ...)                                                                  \
    simcore::Guard simApiGuard(simcore::MachineLock());                                            \
    SIM_API_FAULT(error, __VA_ARGS__)

namespace simcore {

// Kernel objects behind HANDLE values.
struct Object {
    virtual ~Object() = default;
    // WAIT_OBJECT_0 when signalled within the time, WAIT_TIMEOUT otherwise.
    virtual DWORD Wait(DWORD milliseconds);
};
HANDLE AddHandle(std::shared_ptr<Object> object);
std::shared_ptr<Object> LookupHandle(HANDLE handle);
template <class T> std::shared_ptr<T> HandleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}
bool RemoveHandle(HANDLE handle);

// ASCII case folding used for names the machine compares without case.
std::string Upper(const std::string& text);
// A single byte upper-cased as the ANSI code page's case mapping does it (ASCII letters, and the
// Western European letters under code page 1252).
unsigned char UpperByte(unsigned char c);
bool EqualNoCase(const std::string& a, const std::string& b);
struct LessNoCase {
    bool operator()(const std::string& a, const std::string& b) const;
};

// Virtual clock in milliseconds since the machine's start.
uint64_t NowMs();
void Advance(uint64_t milliseconds);

} // namespace simcore
