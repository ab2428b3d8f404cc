#include "ldif/ldif_builder.h"

#include <algorithm>
#include <new>
#include <utility>

#include "tree/byte_arena.h"

namespace dirclient {
namespace {

// Batches in flight between the threads. The units at the top of an
// export cost the builder several lookups each and the reader little, the
// people after them the other way round: the reader may run this far
// ahead (some 8 MiB) while the builder works through the units.
constexpr std::size_t kBatchesInFlight = 32;

bool Fail(Failure* error, uint64_t line, std::string message) {
  error->line = line;
  error->message = std::move(message);
  error->status = kTreeMalformed;
  return false;
}

}  // namespace

bool LdifBuilder::Add(const FoundBatch& batch, Failure* error, bool* readerFailed) {
  std::string_view text = batch.text;
  // One entry is kept pending while the next one's DN is parsed, so that
  // its hash slot, fetched when it was begun, has arrived from memory by
  // the time it is looked up. An entry that is not a sibling of the one
  // before may look up any node: the pending one is finished first.
  EntryPaths::Pending pending[2];
  const FoundEntry* waiting = nullptr;  // the entry of pending[turn ^ 1]
  size_t turn = 0;
  auto completeWaiting = [&] {
    const FoundEntry* entry = std::exchange(waiting, nullptr);
    return !entry || Complete(*entry, pending[turn ^ 1], text, error, readerFailed);
  };
  for (const FoundEntry& entry : batch.entries) {
    std::string_view dnText = text.substr(entry.dnBegin, entry.dnLength);
    if (!assembler_.paths().BeginSibling(tree_, dnText, parsers_[turn], &pending[turn])) {
      if (!completeWaiting()) return false;
      if (!assembler_.paths().BeginAny(tree_, dnText, parsers_[turn], &pending[turn]))
        return Fail(error, entry.dnLine, "DN does not parse");
      if (pending[turn].empty) return Fail(error, entry.dnLine, "empty DN");
    }
    if (!completeWaiting()) return false;
    waiting = &entry;
    turn ^= 1;
  }
  return completeWaiting();
}

bool LdifBuilder::Complete(const FoundEntry& entry, const EntryPaths::Pending& pending,
                           std::string_view text, Failure* error, bool* readerFailed) {
  EntryFacts facts;
  facts.flags = entry.flags;
  facts.hasScript = entry.hasScript;
  facts.scriptOffset = entry.scriptOffset;
  facts.scriptLength = entry.scriptLength;
  facts.hasAlias = entry.hasAlias;
  facts.aliasTarget = text.substr(entry.aliasBegin, entry.aliasLength);
  uint64_t first = 0;
  // Its DN's line comes before any its attributes failed on.
  if (assembler_.Complete(pending, text.substr(entry.dnBegin, entry.dnLength), entry.dnLine,
                          facts, &first) == EntryAssembler::Result::kRefused)
    return Fail(error, entry.dnLine, "duplicate DN (first at line " + std::to_string(first) + ")");
  if (entry.failed) {
    *readerFailed = true;
    return false;
  }
  if (progress_) progress_->Count();
  return true;
}

void LdifBuilder::Finish() { assembler_.Finish(); }

BuildThread::BuildThread(LdifBuilder& builder)
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

bool BuildThread::Finish(Failure* error, bool* readerFailed) {
  std::unique_lock<std::mutex> lock(mutex_);
  closed_ = true;
  changed_.notify_all();
  changed_.wait(lock, [&] { return done_; });
  if (!ok_) {
    *error = error_;
    *readerFailed = readerFailed_;
  }
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
    // Only this thread writes error_ and readerFailed_ until done_.
    bool ok = false;
    try {
      ok = wanted && builder_.Add(*batch, &error_, &readerFailed_);
    } catch (const std::bad_alloc&) {
      // The tree outgrew memory: the load fails, the process goes on.
      error_ = Failure{};
      error_.status = kOutOfMemory;
      error_.message = "out of memory";
      readerFailed_ = false;
    }
    batch->entries.clear();
    batch->text.clear();
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
