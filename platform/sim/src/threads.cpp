// Simulated threads and waits: real threads behind kernel handles; timed waits on the virtual
// clock.
#include "core.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <thread>
#include <vector>

namespace {

std::atomic<DWORD> g_nextThreadId{100};

DWORD ThisThreadId() {
    thread_local DWORD id = g_nextThreadId++;
    return id;
}

struct ThreadObject : simcore::Object {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;

    DWORD Wait(DWORD milliseconds) override {
        std::unique_lock<std::mutex> held(lock);
        if (milliseconds == INFINITE) {
            done.wait(held, [this] { return finished; });
            return WAIT_OBJECT_0;
        }
        // A bounded wait gives the thread a short real moment, then counts as the full timeout
        // on the virtual clock.
        if (done.wait_for(held, std::chrono::milliseconds(milliseconds < 50 ? milliseconds : 50),
                          [this] { return finished; }))
            return WAIT_OBJECT_0;
        simcore::Advance(milliseconds);
        return WAIT_TIMEOUT;
    }
};

} // namespace

DWORD WINAPI GetCurrentThreadId(void) {
    return ThisThreadId();
}

DWORD WINAPI GetCurrentProcessId(void) {
    return 4242;
}

HANDLE WINAPI GetCurrentProcess(void) {
    return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
}

HANDLE WINAPI GetCurrentThread(void) {
    return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));
}

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start,
                           LPVOID parameter, DWORD, LPDWORD threadId) {
    if (!start)
        return simcore::FailWith(ERROR_INVALID_PARAMETER, nullptr);
    SIM_API_FAULT(error, simcore::FailWith(error ? error : ERROR_INVALID_PARAMETER, nullptr));
    auto object = std::make_shared<ThreadObject>();
    HANDLE handle = simcore::AddHandle(object);
    std::atomic<DWORD> id{0};
    std::thread worker([object, start, parameter, &id] {
        id = GetCurrentThreadId();
        DWORD code = start(parameter);
        std::lock_guard<std::mutex> held(object->lock);
        object->exitCode = code;
        object->finished = true;
        object->done.notify_all();
    });
    while (id == 0)
        std::this_thread::yield();
    if (threadId)
        *threadId = id;
    worker.detach();
    return handle;
}

BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    auto object = simcore::HandleAs<ThreadObject>(thread);
    if (!object || !exitCode) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> held(object->lock);
    *exitCode = object->exitCode;
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto object = simcore::LookupHandle(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return object->Wait(milliseconds);
}

DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                    DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles)
        return simcore::FailWith(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    SIM_API_FAULT(error, simcore::FailWith(error ? error : ERROR_INVALID_PARAMETER, WAIT_FAILED));
    std::vector<std::shared_ptr<simcore::Object>> objects;
    for (DWORD i = 0; i < count; ++i) {
        auto object = simcore::LookupHandle(handles[i]);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objects.push_back(object);
    }
    if (waitAll) {
        for (auto& object : objects)
            if (object->Wait(milliseconds) != WAIT_OBJECT_0)
                return WAIT_TIMEOUT;
        return WAIT_OBJECT_0;
    }
    // Waiting for any one: poll the objects; an unbounded wait keeps polling, a bounded one gives
    // them a short real moment and then counts its full time on the virtual clock.
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        for (DWORD i = 0; i < count; ++i)
            if (objects[i]->Wait(0) == WAIT_OBJECT_0)
                return WAIT_OBJECT_0 + i;
        if (milliseconds != INFINITE &&
            std::chrono::steady_clock::now() - start >=
                std::chrono::milliseconds(milliseconds < 50 ? milliseconds : 50)) {
            simcore::Advance(milliseconds);
            return WAIT_TIMEOUT;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
