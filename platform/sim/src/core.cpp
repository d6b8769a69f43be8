// Machine lock, reset hooks, fault injection, handle table and the thread's last error.
#include "core.h"

#include "sim/control_core.h"

#include <atomic>
#include <map>
#include <vector>

namespace simcore {

std::recursive_mutex& MachineLock() {
    static std::recursive_mutex lock;
    return lock;
}

namespace {

// How many machine locks the thread holds.
thread_local unsigned t_insideSystem = 0;

std::vector<void (*)()>& ResetHooks() {
    static std::vector<void (*)()> hooks;
    return hooks;
}

struct FaultRule {
    DWORD error;
    unsigned after;
    sim::FaultMode mode;
    bool spent;
};

struct FaultState {
    std::map<std::string, FaultRule, LessNoCase> rules;
    std::map<std::string, unsigned, LessNoCase> calls;
};

FaultState& Faults() {
    static FaultState state;
    return state;
}

struct HandleTable {
    std::map<HANDLE, std::shared_ptr<Object>> objects;
    uintptr_t next = 0x1000;
};

HandleTable& Handles() {
    static HandleTable table;
    return table;
}

std::atomic<uint64_t> g_clockMs{0};

void ResetCore() {
    Faults().rules.clear();
    Faults().calls.clear();
    Handles().objects.clear();
    g_clockMs = 0;
}

ResetHook coreHook(ResetCore);

} // namespace

Guard::Guard(std::recursive_mutex& lock) : m_lock(lock) {
    ++t_insideSystem;
}

Guard::~Guard() {
    --t_insideSystem;
}

ResetHook::ResetHook(void (*reset)()) {
    ResetHooks().push_back(reset);
}

bool Faulted(const char* operation, DWORD* error) {
    Guard guard(MachineLock());
    FaultState& state = Faults();
    unsigned call = state.calls[operation]++;
    auto rule = state.rules.find(operation);
    if (rule == state.rules.end() || rule->second.spent || call < rule->second.after)
        return false;
    if (rule->second.mode == sim::Once)
        rule->second.spent = true;
    if (error)
        *error = rule->second.error;
    return true;
}

DWORD Object::Wait(DWORD) {
    return WAIT_OBJECT_0;
}

HANDLE AddHandle(std::shared_ptr<Object> object) {
    Guard guard(MachineLock());
    HandleTable& table = Handles();
    HANDLE handle = reinterpret_cast<HANDLE>(table.next);
    table.next += 4;
    table.objects[handle] = std::move(object);
    return handle;
}

std::shared_ptr<Object> LookupHandle(HANDLE handle) {
    Guard guard(MachineLock());
    auto it = Handles().objects.find(handle);
    return it == Handles().objects.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE handle) {
    std::shared_ptr<Object> released;
    {
        Guard guard(MachineLock());
        auto it = Handles().objects.find(handle);
        if (it == Handles().objects.end())
            return false;
        released = std::move(it->second);
        Handles().objects.erase(it);
    }
    return true;
}

std::string Upper(const std::string& text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(UpperByte(static_cast<unsigned char>(c)));
    return out;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return Upper(a) == Upper(b);
}

bool LessNoCase::operator()(const std::string& a, const std::string& b) const {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = UpperByte(static_cast<unsigned char>(a[i]));
        unsigned char y = UpperByte(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

uint64_t NowMs() {
    return g_clockMs.load();
}

void Advance(uint64_t milliseconds) {
    g_clockMs += milliseconds;
}

} // namespace simcore

namespace {
thread_local DWORD t_lastError = 0;
}

DWORD WINAPI GetLastError(void) {
    return t_lastError;
}

void WINAPI SetLastError(DWORD code) {
    t_lastError = code;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    if (!simcore::RemoveHandle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

namespace sim {

void Reset() {
    simcore::Guard guard(simcore::MachineLock());
    for (auto reset : simcore::ResetHooks())
        reset();
    SetLastError(0);
}

void InjectFault(const char* operation, DWORD error, unsigned after, FaultMode mode) {
    simcore::Guard guard(simcore::MachineLock());
    simcore::Faults().rules[operation] =
        simcore::FaultRule{error, simcore::Faults().calls[operation] + after, mode, false};
}

void ClearFaults() {
    simcore::Guard guard(simcore::MachineLock());
    simcore::Faults().rules.clear();
}

unsigned CallCount(const char* operation) {
    simcore::Guard guard(simcore::MachineLock());
    auto it = simcore::Faults().calls.find(operation);
    return it == simcore::Faults().calls.end() ? 0 : it->second;
}

bool InsideSystem() {
    return simcore::t_insideSystem > 0;
}

} // namespace sim
