// The engine tests' operator new and delete: malloc and free, with one allocation that can be made
// to fail on request (allocation_seam.h). Every form of new and delete is replaced, so that a
// sanitizer's own checks see matching pairs.
#include "allocation_seam.h"

#include "sim/control_core.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Allocations left before the failing one; 0 when none is armed.
std::atomic<unsigned long> g_countdown{0};
std::atomic<bool> g_failed{false};

void* Allocate(size_t size) {
    // Only the program's own allocations count: the simulated system's are spared.
    unsigned long left = sim::InsideSystem() ? 0 : g_countdown.load(std::memory_order_relaxed);
    while (left > 0 && !g_countdown.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 1) {
        g_failed = true;
        throw std::bad_alloc();
    }
    void* block = malloc(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    return block;
}

void* AllocateOrNull(size_t size) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

} // namespace

namespace enginetest {

void FailAllocation(unsigned long nth) {
    g_failed = false;
    g_countdown = nth;
}

bool StopFailingAllocations() {
    g_countdown = 0;
    return g_failed.exchange(false);
}

} // namespace enginetest

void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return AllocateOrNull(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return AllocateOrNull(size);
}
void operator delete(void* block) noexcept {
    free(block);
}
void operator delete[](void* block) noexcept {
    free(block);
}
void operator delete(void* block, size_t) noexcept {
    free(block);
}
void operator delete[](void* block, size_t) noexcept {
    free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    free(block);
}
