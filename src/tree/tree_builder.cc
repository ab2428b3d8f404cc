#include "tree/tree_builder.h"

#include <exception>
#include <utility>

#include "base/status.h"

namespace tree {
namespace {

// Batches in flight between the threads. The units at the top of an
// export cost the builder several lookups each and the reader little, the
// people after them the other way round: the reader may run this far
// ahead (some 8 MiB) while the builder works through the units.
constexpr std::size_t kBatchesInFlight = 32;

}  // namespace

TreeBuilder::TreeBuilder(DirTree& tree, RepeatedDn repeated, WordDnFault word,
                         EntryCounter* counter, bool threaded)
    : tree_(tree), repeated_(repeated), word_(word), counter_(counter) {
  if (!threaded) return;
  // Room for every batch there can be (the reader's, those in flight, the
  // one being built), so that handing them to and fro never allocates.
  full_.reserve(kBatchesInFlight + 1);
  empty_.reserve(kBatchesInFlight + 2);
  try {
    thread_ = std::thread(&TreeBuilder::Run, this);
  } catch (const std::exception&) {
    // Without a second thread the batches are built as they are handed over.
  }
}

TreeBuilder::~TreeBuilder() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    ok_ = false;  // what is still queued is not wanted
  }
  changed_.notify_all();
  thread_.join();
}

bool TreeBuilder::Hand() {
  if (!thread_.joinable()) {
    bool ok = BuildGuarded(*batch_);
    batch_->entries.clear();
    batch_->text.clear();
    return ok;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  full_.push_back(std::move(batch_));
  changed_.notify_all();
  // Memory stays bounded when the reader is faster.
  changed_.wait(lock, [&] { return !ok_ || full_.size() < kBatchesInFlight; });
  if (!empty_.empty()) {
    batch_ = std::move(empty_.back());
    empty_.pop_back();
  } else {
    batch_ = std::make_unique<Batch>();
  }
  return ok_;
}

// Nothing leaves this thread: whatever stops it, a failed allocation
// anywhere included, is kept in stop_ and the reader is woken to it.
void TreeBuilder::Run() {
  try {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return closed_ || !full_.empty(); });
      if (full_.empty() || !ok_) break;  // all built, or no longer wanted
      std::unique_ptr<Batch> batch = std::move(full_.front());
      full_.erase(full_.begin());
      changed_.notify_all();  // room for the reader
      lock.unlock();
      bool ok = BuildGuarded(*batch);
      batch->entries.clear();
      batch->text.clear();
      lock.lock();
      empty_.push_back(std::move(batch));
      if (!ok) break;
    }
  } catch (const std::exception&) {
    stop_ = Stop::kOutOfMemory;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (stop_ != Stop::kNone) ok_ = false;
  done_ = true;
  changed_.notify_all();
}

bool TreeBuilder::BuildGuarded(Batch& batch) {
  if (stop_ != Stop::kNone) return false;
  try {
    return Build(batch);
  } catch (const std::exception&) {
    // The tree outgrew memory (or a table its largest size): the load
    // fails, the process goes on.
    stop_ = Stop::kOutOfMemory;
    return false;
  }
}

base::Failure TreeBuilder::Finish(base::Failure read) {
  if (thread_.joinable()) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      full_.push_back(std::move(batch_));
      closed_ = true;
      changed_.notify_all();
      changed_.wait(lock, [&] { return done_; });
    }
    thread_.join();
  } else {
    BuildGuarded(*batch_);
  }
  // The first fault in reading order wins: the reader stopped at an entry
  // read before any the builder failed on, so a fault of the builder
  // comes before any failure the reader met later.
  switch (stop_) {
    case Stop::kNone: break;
    case Stop::kReaderFailed: return read;
    case Stop::kDnFault: return word_(fault_);
    case Stop::kOutOfMemory: return OutOfMemoryWhileLoading();
  }
  if (read.status != base::kOk) return read;
  aliases_.Mark(tree_, parsers_[0]);
  entryPlace_.clear();
  entryPlace_.shrink_to_fit();
  tree_.AdoptScripts(std::move(scripts_));
  return {};
}

}  // namespace tree
