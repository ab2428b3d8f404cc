// Entries built into the tree, on a second thread or inline: the first
// fault in reading order wins, whichever thread met it, and a repeated DN
// follows the source's rule.
#include "tree/tree_builder.h"

#include <gtest/gtest.h>

#include <map>
#include <new>
#include <string>

#include "client/status.h"
#include "table.h"

namespace qovant_test {
namespace {

using dirclient::DnFault;
using dirclient::Failure;

struct Counter final : dirclient::EntryCounter {
  void Counted(uint64_t entries) override { total += entries; }
  uint64_t total = 0;
};

// The fault as this test reads it back: its kind as the status, its place
// as the line, where it came first as the message.
Failure Word(const DnFault& fault) {
  return Failure{static_cast<dirclient::Status>(fault.kind) + 1, {}, fault.place,
                 std::to_string(fault.first)};
}
constexpr dirclient::Status kReaderFailure = 100;

TEST(TreeBuilderTest, FirstFaultInReadingOrderWins) {
  const std::map<std::string, dirclient::Status> kinds = {
      {"none", 0},
      {"bad", static_cast<dirclient::Status>(DnFault::Kind::kBadDn) + 1},
      {"repeated", static_cast<dirclient::Status>(DnFault::Kind::kRepeatedDn) + 1},
      {"reader", kReaderFailure}};
  for (const Row& row : ReadTable("tree/tree_builder.table", "feed")) {
    SCOPED_TRACE(row.where);
    const bool threaded = row.number("threaded");
    const long badAt = row.number("bad_dn_at"), failedAt = row.number("reader_failed_at"),
               repeatAt = row.number("repeat_at");
    dirclient::DirTree tree;
    Counter counter;
    dirclient::TreeBuilder builder(
        tree, row.number("keep_repeated") ? dirclient::RepeatedDn::kKeepFirst : dirclient::RepeatedDn::kRefuse,
        Word, &counter, threaded);
    Failure failure;
    long handed = 0;
    bool read = true;
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
        read = false;
        break;
      }
      if (!builder.Close()) break;
    }
    dirclient::Status kind = kinds.at(row.text("fault"));
    EXPECT_EQ(!builder.Finish(read, &failure), kind != 0);
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

// Memory running out while a batch is built, on either thread, fails the
// load as out of memory, and the reader is told to stop.
TEST(TreeBuilderTest, OutOfMemoryWhileBuildingFailsTheLoad) {
  struct Exhausted final : dirclient::EntryCounter {
    void Counted(uint64_t) override { throw std::bad_alloc(); }
  };
  for (bool threaded : {true, false}) {
    dirclient::DirTree tree;
    Exhausted counter;
    dirclient::TreeBuilder builder(tree, dirclient::RepeatedDn::kRefuse, Word, &counter, threaded);
    bool stopped = false;
    for (long n = 1; n <= 100000 && !stopped; ++n) {
      builder.Open(static_cast<uint64_t>(n), "cn=u" + std::to_string(n) + ",o=A");
      stopped = !builder.Close();
    }
    EXPECT_TRUE(stopped) << threaded;
    Failure failure;
    EXPECT_FALSE(builder.Finish(true, &failure));
    EXPECT_EQ(failure.status, dirclient::kOutOfMemory);
    EXPECT_EQ(failure.message, "out of memory");
  }
}

}  // namespace
}  // namespace qovant_test
