#include "tree/build_thread.h"

#include <new>
#include <stdexcept>
#include <utility>

namespace dirclient {
namespace {

// Batches in flight between the threads. The units at the top of an
// export cost the builder several lookups each and the reader little, the
// people after them the other way round: the reader may run this far
// ahead (some 8 MiB) while the builder works through the units.
constexpr std::size_t kBatchesInFlight = 32;
// Every batch there can be: those in flight, the one filled, the one
// built, and the last the reader hands over after building failed.
constexpr std::size_t kBatches = kBatchesInFlight + 3;

}  // namespace

BuildThread::BuildThread(BatchBuilder& builder) : builder_(builder) {
  // Room made here, so that moving a batch between the lists never
  // allocates: nothing thrown on the building thread may escape it.
  full_.reserve(kBatches);
  empty_.reserve(kBatches);
  thread_ = std::thread(&BuildThread::Run, this);
}

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
    bool outOfMemory = false;
    try {
      ok = wanted && builder_.Add(*batch, &fault_);
    } catch (const std::bad_alloc&) {
      outOfMemory = true;
    } catch (const std::length_error&) {
      outOfMemory = true;  // a size no allocation could hold
    }
    if (outOfMemory) {
      // The tree outgrew memory: the load fails, the process goes on.
      fault_ = BuildFault{};
      fault_.kind = BuildFault::Kind::kOutOfMemory;
    }
    batch->Clear();
    lock.lock();
    // Kept for the reader only within the room made: a batch past it (a
    // reader that handed on after a failure) is freed instead.
    if (empty_.size() < empty_.capacity()) empty_.push_back(std::move(batch));
    if (!ok && ok_) {
      ok_ = false;
      changed_.notify_all();
    }
  }
  done_ = true;
  changed_.notify_all();
}

}  // namespace dirclient
