#include "failing_new.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace qovant_test {
namespace {

std::atomic<bool> armed{false};
std::atomic<bool> otherThreads{false};
std::atomic<long> countdown{0};
std::atomic<bool> failed{false};
thread_local bool armingThread = false;

bool FailsNow() {
  if (!armed.load() || armingThread == otherThreads.load()) return false;
  if (countdown.fetch_sub(1) != 1) return false;
  failed = true;
  return true;
}

void* Allocate(std::size_t size) {
  void* block = FailsNow() ? nullptr : std::malloc(size ? size : 1);
  if (!block) throw std::bad_alloc();
  return block;
}

}  // namespace

void FailAllocation(FailOn on, long nth) {
  armingThread = true;
  otherThreads = on == FailOn::kOtherThreads;
  countdown = nth;
  failed = false;
  armed = true;
}

bool StopFailingAllocations() {
  armed = false;
  armingThread = false;
  return failed.load();
}

}  // namespace qovant_test

// Every form the library's own would route through plain operator new, so
// that a block is always freed by the allocator that gave it.
void* operator new(std::size_t size) { return qovant_test::Allocate(size); }
void* operator new[](std::size_t size) { return qovant_test::Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return qovant_test::Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
