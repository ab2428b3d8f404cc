// Entries built into the tree, on a second thread or inline: the first
// fault in reading order wins, whichever thread met it, and a repeated DN
// follows the source's rule; memory running out on either thread ends the
// load, never the process.
#include "tree/tree_builder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include "base/status.h"
#include "failing_new.h"
#include "table.h"

namespace qovant_test {
namespace {

using base::Failure;
using tree::DnFault;

struct Counter final : tree::EntryCounter {
  void Counted(uint64_t entries) override { total += entries; }
  uint64_t total = 0;
};

// The fault as this test reads it back: its kind as the status, its place
// as the line, where it came first as the message.
Failure Word(const DnFault& fault) {
  return Failure{
      static_cast<base::Status>(fault.kind) + 1, {}, fault.place, std::to_string(fault.first)};
}
constexpr base::Status kReaderFailure = 100;

TEST(TreeBuilderTest, FirstFaultInReadingOrderWins) {
  const std::map<std::string, base::Status> kinds = {
      {"none", 0},
      {"bad", static_cast<base::Status>(DnFault::Kind::kBadDn) + 1},
      {"repeated", static_cast<base::Status>(DnFault::Kind::kRepeatedDn) + 1},
      {"reader", kReaderFailure}};
  for (const Row& row : ReadTable("tree/tree_builder.table", "feed")) {
    SCOPED_TRACE(row.where);
    const bool threaded = row.number("threaded");
    const long badAt = row.number("bad_dn_at"), failedAt = row.number("reader_failed_at"),
               repeatAt = row.number("repeat_at");
    tree::DirTree tree;
    Counter counter;
    tree::TreeBuilder builder(
        tree,
        row.number("keep_repeated") ? tree::RepeatedDn::kKeepFirst : tree::RepeatedDn::kRefuse,
        Word, &counter, threaded);
    Failure failure;
    long handed = 0;
    for (long n = 1; n <= 10000; ++n) {
      std::string dn = n == 1          ? "o=A"
                       : n == badAt    ? "bad dn,o=A"
                       : n == repeatAt ? "cn=u2,o=A"
                                       : "cn=u" + std::to_string(n) + ",o=A";
      builder.Open(static_cast<uint64_t>(n), dn);
      handed = n;
      if (n == failedAt) {
        builder.CloseFailed();
        failure = Failure{kReaderFailure, {}, static_cast<uint64_t>(n), "0"};
        break;
      }
      if (!builder.Close()) break;
    }
    base::Status kind = kinds.at(row.text("fault"));
    failure = builder.Finish(failure);
    EXPECT_EQ(failure.status, kind);
    EXPECT_EQ(failure.line, static_cast<uint64_t>(row.number("place")));
    EXPECT_EQ(failure.message, kind ? std::to_string(row.number("first")) : "");
    EXPECT_EQ(counter.total, static_cast<uint64_t>(row.number("counted")));
    // Built inline, a fault stops the reader at the next full batch.
    if (!threaded && kind != 0 && !failedAt) {
      EXPECT_EQ(handed, 6144);
    }
  }
}

// A builder held up on its first batch: the reader waits for room after a
// bounded number of batches instead of queueing the whole export. The
// counter, on the building thread, holds the build until the reader has
// handed over kFarAhead batches or half a second has passed: only a reader
// that does not wait gets that far.
TEST(TreeBuilderTest, ReaderWaitsForRoomWhileTheBuildIsBehind) {
  constexpr long kBatch = 2048, kFarAhead = 40, kBatches = kFarAhead + 10;
  struct Holding final : tree::EntryCounter {
    void Counted(uint64_t entries) override {
      std::unique_lock<std::mutex> lock(mutex);
      if (total == 0) {
        changed.wait_for(lock, std::chrono::milliseconds(500), [&] { return handed >= kFarAhead; });
        handedWhileHeld = handed;
      }
      total += entries;
    }
    std::mutex mutex;
    std::condition_variable changed;
    long handed = 0, handedWhileHeld = 0;
    uint64_t total = 0;
  } counter;
  tree::DirTree tree;
  tree::TreeBuilder builder(tree, tree::RepeatedDn::kRefuse, Word, &counter, true);
  for (long n = 1; n <= kBatch * kBatches; ++n) {
    builder.Open(static_cast<uint64_t>(n), n == 1 ? "o=A" : "cn=u" + std::to_string(n) + ",o=A");
    ASSERT_TRUE(builder.Close());
    if (n % kBatch == 0) {
      std::lock_guard<std::mutex> lock(counter.mutex);
      counter.handed = n / kBatch;
      counter.changed.notify_all();
    }
  }
  EXPECT_EQ(builder.Finish({}).status, base::kOk);
  EXPECT_EQ(counter.total, static_cast<uint64_t>(kBatch * kBatches));
  EXPECT_LT(counter.handedWhileHeld, kFarAhead);
}

// The 1st, 2nd, ... allocation of one thread failing, in turn: building
// ends in out of memory, never an abort; on the reading thread
// std::bad_alloc reaches the reader's caller, the builder wound down on the
// way. A load goes on where a smaller step of growth served.
TEST(TreeBuilderTest, EveryAllocationMayFail) {
  for (const Row& row : ReadTable("tree/tree_builder.table", "memory")) {
    SCOPED_TRACE(row.where);
    const bool building = row.text("thread") == "building";
    for (long nth = 1;; ++nth) {
      tree::DirTree tree;
      Failure failure;
      bool finished = false, thrown = false;
      FailAllocation(building ? FailOn::kOtherThreads : FailOn::kThisThread, nth);
      try {
        tree::TreeBuilder builder(tree, tree::RepeatedDn::kRefuse, Word, nullptr, true);
        for (long n = 1; n <= 10000; ++n) {
          builder.Open(static_cast<uint64_t>(n),
                       n == 1 ? "o=A" : "cn=u" + std::to_string(n) + ",o=A");
          if (!builder.Close()) break;
        }
        finished = (failure = builder.Finish({})).status == base::kOk;
      } catch (const std::bad_alloc&) {
        thrown = true;
      }
      if (!StopFailingAllocations()) {
        EXPECT_TRUE(finished);
        EXPECT_EQ(tree.size(), 10001u);
        EXPECT_GT(nth, 10);  // failures were made, and met
        break;
      }
      SCOPED_TRACE("allocation " + std::to_string(nth));
      bool failedWell = building ? !thrown && failure.status == base::kOutOfMemory &&
                                       failure.message == base::kOutOfMemoryWhileLoading
                                 : thrown;
      EXPECT_TRUE(finished ? tree.size() == 10001 : failedWell);
    }
  }
}

}  // namespace
}  // namespace qovant_test
