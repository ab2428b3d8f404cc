// Allocation failures on demand, for the unit tests: this binary's
// operator new throws std::bad_alloc at the Nth allocation of a chosen
// thread once armed, and is plain malloc otherwise.
#pragma once

namespace qovant_test {

enum class FailOn {
  kThisThread,    // the thread that arms it
  kOtherThreads,  // any thread but that one (a worker it starts)
};

// Makes the `nth` allocation on `on` from now throw; the count is shared
// by the threads it covers.
void FailAllocation(FailOn on, long nth);
// Disarms; true when an allocation was made to fail.
bool StopFailingAllocations();

}  // namespace qovant_test
