// Batches of entries built into the tree, on a second thread or inline:
// the first fault in reading order wins, whichever thread met it, and a
// repeated DN follows the source's rule.
#include "tree/batch_feed.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "param_name.h"

namespace qovant_test {
namespace {

using dirclient::BuildFault;
using dirclient::RepeatedDn;
using Kind = dirclient::BuildFault::Kind;

struct FeedCase {
  const char* title;
  bool threaded;
  RepeatedDn repeated;
  int badAt, failedAt, repeatAt;  // entries that go wrong (0: none)
  Kind kind;
  uint64_t place, first, counted;
};

void PrintTo(const FeedCase& c, std::ostream* out) { *out << c.title; }

class Feed : public testing::TestWithParam<FeedCase> {};

struct Counter final : dirclient::EntryCounter {
  void Counted(uint64_t entries) override { total += entries; }
  uint64_t total = 0;
};

// 10,000 entries below o=A, more than four batches.
constexpr int kEntries = 10000;

TEST_P(Feed, FirstFaultInReadingOrderWins) {
  const FeedCase& c = GetParam();
  dirclient::DirTree tree;
  Counter counter;
  dirclient::BatchBuilder builder(tree, c.repeated, &counter);
  dirclient::BatchFeed feed(builder, c.threaded);
  int handed = 0;
  for (int n = 1; n <= kEntries; ++n) {
    std::string dn = n == 1            ? "o=A"
                     : n == c.badAt    ? "bad dn,o=A"
                     : n == c.repeatAt ? "cn=u2,o=A"
                                       : "cn=u" + std::to_string(n) + ",o=A";
    dirclient::FoundEntry entry{};
    entry.place = static_cast<uint64_t>(n);
    entry.dnLength = static_cast<uint32_t>(dn.size());
    entry.dnBegin = feed.batch().Keep(dn);
    entry.failed = n == c.failedAt;
    feed.batch().entries.push_back(entry);
    handed = n;
    if (entry.failed || !feed.HandIfFull()) break;
  }
  BuildFault fault;
  EXPECT_EQ(!feed.Finish(&fault), c.kind != Kind::kNone);
  EXPECT_EQ(fault.kind, c.kind);
  EXPECT_EQ(fault.place, c.place);
  EXPECT_EQ(fault.first, c.first);
  EXPECT_EQ(counter.total, c.counted);
  // Built inline, a fault stops the reader at the next full batch.
  if (!c.threaded && c.kind != Kind::kNone && !c.failedAt) {
    EXPECT_EQ(handed, 6144);
  }
}

const FeedCase kFeedCases[] = {
    {"whole, threaded", true, RepeatedDn::kRefuse, 0, 0, 0, Kind::kNone, 0, 0, kEntries},
    {"whole, inline", false, RepeatedDn::kRefuse, 0, 0, 0, Kind::kNone, 0, 0, kEntries},
    {"bad DN, threaded", true, RepeatedDn::kRefuse, 4500, 0, 0, Kind::kBadDn, 4500, 0, 4499},
    {"bad DN, inline", false, RepeatedDn::kRefuse, 4500, 0, 0, Kind::kBadDn, 4500, 0, 4499},
    {"repeat refused", true, RepeatedDn::kRefuse, 0, 0, 3000, Kind::kRepeatedDn, 3000, 2, 2999},
    {"repeat kept first", true, RepeatedDn::kKeepFirst, 0, 0, 3000, Kind::kNone, 0, 0,
     kEntries - 1},
    {"reader failed before a bad DN", true, RepeatedDn::kRefuse, 3500, 3000, 0,
     Kind::kReaderFailed, 3000, 0, 2999},
    {"bad DN before the reader failed", true, RepeatedDn::kRefuse, 3000, 3500, 0, Kind::kBadDn,
     3000, 0, 2999},
    {"repeated DN of an entry the reader failed on", false, RepeatedDn::kRefuse, 0, 3000, 3000,
     Kind::kRepeatedDn, 3000, 2, 2999},
};
INSTANTIATE_TEST_SUITE_P(Table, Feed, testing::ValuesIn(kFeedCases), TitleName<FeedCase>);

}  // namespace
}  // namespace qovant_test
