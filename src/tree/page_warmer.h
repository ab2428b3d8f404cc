// Faults in the pages of a growing block ahead of its writer, on a second
// thread.
//
// A fresh page costs its first writer a fault and the zeroing of the page,
// which on some machines takes longer than filling it. A block that grows
// front to back (the scripts of a large tree as it loads) can have its next
// pages faulted in on another core, so that the writer finds them ready.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace tree {

class PageWarmer {
 public:
  // Warms [block + from, block + capacity) as Used reports it filling up
  // (what lies before `from` is in use already); throws what std::thread
  // throws when no thread can be had.
  PageWarmer(char* block, std::size_t capacity, std::size_t from);
  ~PageWarmer();
  PageWarmer(const PageWarmer&) = delete;
  PageWarmer& operator=(const PageWarmer&) = delete;

  // The writer has filled the block up to `used`: cheap unless the pages
  // ahead of it need warming again.
  void Used(std::size_t used) {
    if (used >= nextKick_) Kick(used);
  }

 private:
  void Kick(std::size_t used);
  void Run();

  char* const base_;
  const std::size_t capacity_;
  const std::size_t page_;
  const std::size_t from_;
  std::size_t nextKick_ = 0;  // the writer's own

  std::mutex mutex_;
  std::condition_variable wake_;
  std::size_t target_ = 0;  // warm up to here
  bool stop_ = false;
  std::thread thread_;  // last: starts once the rest is set up
};

}  // namespace tree
