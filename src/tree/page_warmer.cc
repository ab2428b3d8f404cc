#include "tree/page_warmer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

namespace tree {
namespace {

// How far ahead of the writer pages are ready, and how often it looks, in
// huge pages: far enough to keep the writer off the zeroing (8 MiB is some
// 30 ms of a load's writing, 2 MiB a few ms of faulting), near enough that
// little memory is faulted in for nothing when the block stops growing.
constexpr std::size_t kAhead = std::size_t{8} << 20;
constexpr std::size_t kStep = std::size_t{2} << 20;

}  // namespace

PageWarmer::PageWarmer(char* block, std::size_t capacity, std::size_t from)
    : base_(block),
      capacity_(capacity),
      page_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))),
      from_(from),
      thread_(&PageWarmer::Run, this) {}

PageWarmer::~PageWarmer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void PageWarmer::Kick(std::size_t used) {
  nextKick_ = used + kStep;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    target_ = std::min(capacity_, used + kAhead);
  }
  wake_.notify_one();
}

void PageWarmer::Run() {
  std::size_t warm = from_ - from_ % page_;
  for (;;) {
    std::size_t target;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // Whole pages only: madvise wants page-aligned ranges.
      wake_.wait(lock, [&] { return stop_ || target_ - target_ % page_ > warm; });
      if (stop_) return;
      target = target_ - target_ % page_;
    }
    // Writing to the pages here would race with the writer; asking the
    // system to fault them in writable does not touch their bytes. Where it
    // cannot (an older kernel), the writer faults them in itself.
    if (madvise(base_ + warm, target - warm, MADV_POPULATE_WRITE) != 0) return;
    warm = target;
  }
}

}  // namespace tree
