#include "tree/build_thread.h"

#include <new>
#include <utility>

namespace dirclient {
namespace {

// Batches in flight between the threads. The units at the top of an
// export cost the builder several lookups each and the reader little, the
// people after them the other way round: the reader may run this far
// ahead (some 8 MiB) while the builder works through the units.
constexpr std::size_t kBatchesInFlight = 32;

}  // namespace

BuildThread::BuildThread(BatchBuilder& builder)
    : builder_(builder), thread_(&BuildThread::Run, this) {}

BuildThread::~BuildThread() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    ok_ = false;  // what is still queued is not wanted
  }
  changed_.notify_all();
  thread_.join();
}

bool BuildThread::Hand(std::unique_ptr<FoundBatch>* batch) {
  std::unique_lock<std::mutex> lock(mutex_);
  full_.push_back(std::move(*batch));
  changed_.notify_all();
  changed_.wait(lock, [&] { return !ok_ || full_.size() < kBatchesInFlight; });
  if (!empty_.empty()) {
    *batch = std::move(empty_.back());
    empty_.pop_back();
  } else {
    *batch = std::make_unique<FoundBatch>();
  }
  return ok_;
}

bool BuildThread::Finish(BuildFault* fault) {
  std::unique_lock<std::mutex> lock(mutex_);
  closed_ = true;
  changed_.notify_all();
  changed_.wait(lock, [&] { return done_; });
  if (!ok_) *fault = fault_;
  return ok_;
}

void BuildThread::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return closed_ || !full_.empty(); });
    if (full_.empty()) break;  // closed, and all built
    std::unique_ptr<FoundBatch> batch = std::move(full_.front());
    full_.erase(full_.begin());
    changed_.notify_all();  // room for the reader
    bool wanted = ok_;
    lock.unlock();
    // Only this thread writes fault_ until done_.
    bool ok = false;
    try {
      ok = wanted && builder_.Add(*batch, &fault_);
    } catch (const std::bad_alloc&) {
      // The tree outgrew memory: the load fails, the process goes on.
      fault_ = BuildFault{};
      fault_.kind = BuildFault::Kind::kOutOfMemory;
    }
    batch->Clear();
    lock.lock();
    empty_.push_back(std::move(batch));
    if (!ok && ok_) {
      ok_ = false;
      changed_.notify_all();
    }
  }
  done_ = true;
  changed_.notify_all();
}

}  // namespace dirclient
