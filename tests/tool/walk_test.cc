// The tree walk against the recording client: batches, failure messages
// and release order (every run of walk.table, those that complete too). What it reports (aliases,
// name limits) is shown by the fixture cases in tool/cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "capture.h"
#include "recording_client.h"
#include "table.h"

namespace qovant_test {
namespace {

const char kSampleTree[] =
    "dn: o=Acme\nloginScript: map root\n\n"
    "dn: ou=Sales,o=Acme\nloginScript: map sales\n\n"
    "dn: cn=Ann,ou=Sales,o=Acme\nloginScript: map ann\n\n"
    "dn: cn=Bob,o=Acme\nloginScript: nothing\n\n"
    "dn: o=Beta\nobjectClass: organization\n";  // an empty container, no script

// Every context and buffer is released, the most recent first.
void ExpectReleasesInReverseOrder(const RecordingClient& client) {
  std::vector<std::string> held;
  for (const std::string& call : client.calls) {
    size_t arrow = call.find(" -> ");
    if (arrow != std::string::npos) {
      held.push_back(call.substr(arrow + 4));
    } else if (call.rfind("DirRelease", 0) == 0 && call != "DirReleaseUnicodeTables") {
      ASSERT_FALSE(held.empty()) << call;
      EXPECT_EQ(call.substr(call.rfind(' ') + 1), held.back()) << call;
      held.pop_back();
    }
  }
  EXPECT_TRUE(held.empty());
  EXPECT_EQ(client.OpenHandles(), 0);
}

// Every failure of the table (tool/walk.table) is written and everything
// taken is released.
TEST(WalkTest, FailuresWriteTheirMessageAndReleaseEverything) {
  for (const Row& row : ReadTable("tool/walk.table", "fail")) {
    SCOPED_TRACE(row.where + ": " + row.text("title"));
    RecordingClient client(kSampleTree);
    client.Fail(row.text("operation"), static_cast<int>(row.number("call")),
                static_cast<Status>(row.number("status")));
    RunResult result = RunTool(client, {"map"});
    EXPECT_EQ(result.exitStatus, row.number("exit"));
    EXPECT_EQ(result.out, row.text("stdout"));
    ExpectReleasesInReverseOrder(client);
    // A start-up failure ends the run before any walk.
    if (result.exitStatus == 1)
      EXPECT_EQ(std::count(client.calls.begin(), client.calls.end(), "NWDSCreateContext"), 0);
    else
      EXPECT_EQ(client.calls.back(), "DirReleaseUnicodeTables");
  }
}

// The i-th of the 247-byte values whose 250-byte names fill a 4096-byte reply
// buffer with 15 a batch.
std::string Long(int i) { return std::string(247, static_cast<char>('a' + i)); }

// `count` such objects below `parent`, each with the script "x".
std::string LongNames(const std::string& parent, int count) {
  std::string ldif;
  for (int i = 0; i < count; ++i) ldif += "dn: cn=" + Long(i) + parent + "\nloginScript: x\n\n";
  return ldif;
}

TEST(WalkTest, BatchesAreHandledWholeBeforeTheNextIsListed) {
  RecordingClient client("dn: o=Acme\nobjectClass: organization\n\n" + LongNames(",o=Acme", 20) +
                         "dn: ou=E,o=Acme\nobjectClass: organizationalUnit\n\n"
                         "dn: cn=F,ou=E,o=Acme\nloginScript: x\n");
  RunResult result = RunTool(client, {"x"});
  EXPECT_EQ(result.exitStatus, 0);
  std::vector<std::string> lists,
      expected = {"NWDSList [Root] -1", "NWDSGetObjectName O=Acme", "NWDSList O=Acme -1"};
  for (int i = 0; i < 20; ++i) {
    if (i == 15) expected.push_back("NWDSList O=Acme on");
    expected.push_back("NWDSGetObjectName CN=" + Long(i));
  }
  for (const char* call :
       {"NWDSGetObjectName OU=E", "NWDSList OU=E.O=Acme -1", "NWDSGetObjectName CN=F"})
    expected.push_back(call);
  for (const std::string& call : client.calls)
    if (call.rfind("NWDSList", 0) == 0 || call.rfind("NWDSGetObjectName", 0) == 0)
      lists.push_back(call);
  EXPECT_EQ(lists, expected);
  std::string out;
  for (int i = 0; i < 20; ++i) out += Long(i) + ".Acme (X)\n";
  EXPECT_EQ(result.out, out + "F.E.Acme (X)\n");
}

TEST(WalkTest, ListingFailureAfterEarlierBatchesEndsTheLevel) {
  RecordingClient client(LongNames("", 16));
  client.Fail("NWDSList", 2, -601);
  RunResult result = RunTool(client, {"x"});
  std::string expected;
  for (int i = 0; i < 15; ++i) expected += Long(i) + " (X)\n";
  EXPECT_EQ(result.out, expected + " NWDSList returned FFFFFDA7 - object not found\n");
  EXPECT_EQ(result.exitStatus, 3);
  ExpectReleasesInReverseOrder(client);
}

}  // namespace
}  // namespace qovant_test
