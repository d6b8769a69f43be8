// A failing heap for the engine tests: this test program's operator new can be told to throw
// std::bad_alloc once, at a chosen allocation from now, as an exhausted heap would. Allocations
// of the simulated system itself are not counted (a real system call fails with an error).
#pragma once

namespace enginetest {

// Makes the nth operator new from now (1 is the next) throw std::bad_alloc, once.
void FailAllocation(unsigned long nth);
// Disarms the failure; true when the armed allocation was reached and failed.
bool StopFailingAllocations();

} // namespace enginetest
