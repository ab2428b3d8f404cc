// Batches of entries built into the tree, on a second thread or inline:
// the first fault in reading order wins, whichever thread met it, and a
// repeated DN follows the source's rule; memory running out on either
// thread ends the load, never the process.
#include "tree/batch_feed.h"

#include <gtest/gtest.h>

#include <map>
#include <new>
#include <string>

#include "failing_new.h"
#include "table.h"

namespace qovant_test {
namespace {

using dirclient::BuildFault;
using Kind = dirclient::BuildFault::Kind;

struct Counter final : dirclient::EntryCounter {
  void Counted(uint64_t entries) override { total += entries; }
  uint64_t total = 0;
};

// 10,000 entries below o=A, the nth with a DN that does not parse when n
// is badAt, failed by the reader at failedAt, a repeat of an earlier one at
// repeatAt; how many were handed over.
long Feed(dirclient::BatchFeed& feed, long badAt, long failedAt, long repeatAt) {
  long handed = 0;
  for (long n = 1; n <= 10000; ++n) {
    std::string dn = n == 1          ? "o=A"
                     : n == badAt    ? "bad dn,o=A"
                     : n == repeatAt ? "cn=u2,o=A"
                                     : "cn=u" + std::to_string(n) + ",o=A";
    dirclient::FoundEntry entry{};
    entry.place = static_cast<uint64_t>(n);
    entry.dnLength = static_cast<uint32_t>(dn.size());
    entry.dnBegin = feed.batch().Keep(dn);
    entry.failed = n == failedAt;
    feed.batch().entries.push_back(entry);
    handed = n;
    if (entry.failed || !feed.HandIfFull()) break;
  }
  return handed;
}

TEST(BatchFeedTest, FirstFaultInReadingOrderWins) {
  const std::map<std::string, Kind> kinds = {{"none", Kind::kNone},
                                             {"bad", Kind::kBadDn},
                                             {"repeated", Kind::kRepeatedDn},
                                             {"reader", Kind::kReaderFailed}};
  for (const Row& row : ReadTable("tree/batch_feed.table", "feed")) {
    SCOPED_TRACE(row.where);
    const bool threaded = row.number(0);
    const long failedAt = row.number(3);
    dirclient::DirTree tree;
    Counter counter;
    dirclient::BatchBuilder builder(
        tree, row.number(1) ? dirclient::RepeatedDn::kKeepFirst : dirclient::RepeatedDn::kRefuse,
        &counter);
    dirclient::BatchFeed feed(builder, threaded);
    long handed = Feed(feed, row.number(2), failedAt, row.number(4));
    BuildFault fault;
    Kind kind = kinds.at(row.text(5));
    EXPECT_EQ(!feed.Finish(&fault), kind != Kind::kNone);
    EXPECT_EQ(fault.kind, kind);
    EXPECT_EQ(fault.place, static_cast<uint64_t>(row.number(6)));
    EXPECT_EQ(fault.first, static_cast<uint64_t>(row.number(7)));
    EXPECT_EQ(counter.total, static_cast<uint64_t>(row.number(8)));
    // Built inline, a fault stops the reader at the next full batch.
    if (!threaded && kind != Kind::kNone && !failedAt) {
      EXPECT_EQ(handed, 6144);
    }
  }
}

TEST(BatchFeedTest, EveryAllocationMayFail) {
  for (const Row& row : ReadTable("tree/batch_feed.table", "memory")) {
    SCOPED_TRACE(row.where);
    const bool building = row.text(0) == "building";
    for (long nth = 1;; ++nth) {
      dirclient::DirTree tree;
      dirclient::BatchBuilder builder(tree, dirclient::RepeatedDn::kRefuse, nullptr);
      BuildFault fault;
      bool finished = false, thrown = false;
      FailAllocation(building ? FailOn::kOtherThreads : FailOn::kThisThread, nth);
      try {
        dirclient::BatchFeed feed(builder, true);
        Feed(feed, 0, 0, 0);
        finished = feed.Finish(&fault);
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
      // Building ends in out of memory; on the reading thread std::bad_alloc
      // reaches the reader's caller, the feed wound down on the way. A load
      // goes on where a smaller step of growth served.
      bool failedWell = building ? !thrown && fault.kind == Kind::kOutOfMemory : thrown;
      EXPECT_TRUE(finished ? tree.size() == 10001 : failedWell);
    }
  }
}

}  // namespace
}  // namespace qovant_test
