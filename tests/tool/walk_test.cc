// The tree walk against the recording client: order of calls, failure
// messages and release order. What it reports (aliases, name limits) is
// shown by the fixture cases in tool/cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "capture.h"
#include "recording_client.h"
#include "param_name.h"

namespace qovant_test {
namespace {

using Op = RecordingClient::Op;

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

struct FailureCase {
  const char* title;
  Op op;
  int nthCall;
  dirclient::Status status;
  const char* expectedOut;
  int expectedExit;
};

const char kFullOutput[] = "Acme (MAP ROOT)\nSales.Acme (MAP SALES)\nAnn.Sales.Acme (MAP ANN)\n";

const FailureCase kFailureCases[] = {
    {"client start fails", Op::NWCallsInit, 1, -1, "\nNWCallsInit returned FFFFFFFF", 1},
    {"unicode tables fail", Op::NWInitUnicodeTables, 1, 0x10, "\nNWInitUnicodeTables returned 10", 1},
    {"top context fails", Op::NWDSCreateContext, 1, -1, "\nNWDSCreateContext failed.", 3},
    {"inner context fails", Op::NWDSCreateContext, 2, -1,
     "Acme (MAP ROOT)\n\nNWDSCreateContext failed.", 3},
    {"top buffer fails", Op::NWDSAllocBuf, 1, -1, "\nNWDSAllocBuf returned FFFFFFFF", 3},
    {"inner buffer fails", Op::NWDSAllocBuf, 3, -150,
     "Acme (MAP ROOT)\nSales.Acme (MAP SALES)\n\nNWDSAllocBuf returned FFFFFF6A", 3},
    {"negative name context fails silently", Op::DirSetNameContext, 2, -604,
     "Acme (MAP ROOT)\n", 3},
    {"positive name context status is success", Op::DirSetNameContext, 2, 7, kFullOutput, 0},
    {"top listing fails", Op::NWDSList, 1, -601,
     " NWDSList returned FFFFFDA7 - object not found\n", 3},
    {"inner listing fails", Op::NWDSList, 3, -601,
     "Acme (MAP ROOT)\nSales.Acme (MAP SALES)\n NWDSList returned FFFFFDA7 - object not found\n", 3},
    {"count fails silently", Op::DirCountObjects, 2, -1, "Acme (MAP ROOT)\n", 3},
    {"one name read fails", Op::NWDSGetObjectName, 2, -603,
     "Acme (MAP ROOT)\n\nNWDSGetObjectName returned FFFFFDA5", 3},
    {"inner name read fails", Op::NWDSGetObjectName, 3, -603,
     "Acme (MAP ROOT)\nSales.Acme (MAP SALES)\n\nNWDSGetObjectName returned FFFFFDA5", 3},
    {"stream open fails, descent goes on", Op::DirOpenAttributeStream, 1, -602,
     "Sales.Acme (MAP SALES)\nAnn.Sales.Acme (MAP ANN)\n", 0},
    {"release failures are not tested", Op::DirReleaseBuffer, 1, -1, kFullOutput, 0},
    {"context release failure is not tested", Op::DirReleaseContext, 2, -1, kFullOutput, 0},
    {"unicode release failure is not tested", Op::DirReleaseUnicodeTables, 1, -1, kFullOutput, 0},
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.title; }

class WalkFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(WalkFailure, WritesItsMessageAndReleasesEverything) {
  const FailureCase& c = GetParam();
  RecordingClient client(kSampleTree);
  client.Fail(c.op, c.nthCall, c.status);
  RunResult result = RunTool(client, {"map"});
  EXPECT_EQ(result.out, c.expectedOut);
  EXPECT_EQ(result.exitStatus, c.expectedExit);
  ExpectReleasesInReverseOrder(client);
  // A start-up failure ends the run before any walk.
  if (c.expectedExit == 1)
    EXPECT_EQ(std::count(client.calls.begin(), client.calls.end(), "NWDSCreateContext"), 0);
  else
    EXPECT_EQ(client.calls.back(), "DirReleaseUnicodeTables");
}

INSTANTIATE_TEST_SUITE_P(Table, WalkFailure, testing::ValuesIn(kFailureCases),
                         TitleName<FailureCase>);

TEST(WalkTest, CallsFollowTheLevelSequence) {
  RecordingClient client("dn: o=Acme\nobjectClass: organization\n\ndn: cn=Ann,o=Acme\nloginScript: map ann\n");
  RunResult result = RunTool(client, {"MAP"});
  EXPECT_EQ(result.out, "Ann.Acme (MAP ANN)\n");
  std::vector<std::string> expected = {
      "NWCallsInit", "DirQueryLocale", "NWInitUnicodeTables 49 20127",
      "NWDSCreateContext -> c1", "NWDSAllocBuf 4096 -> b1", "DirSetNameContext 3 [Root]",
      "NWDSList [Root] -1", "DirCountObjects", "NWDSGetObjectName O=Acme",
      "DirOpenAttributeStream O=Acme \"Login Script\" 1",  // no script: nothing read
      "NWDSCreateContext -> c2", "NWDSAllocBuf 4096 -> b2", "DirSetNameContext 3 O=Acme",
      "NWDSList O=Acme -1", "DirCountObjects", "NWDSGetObjectName CN=Ann",
      "DirOpenAttributeStream CN=Ann \"Login Script\" 1", "DirReadStream 60000",
      "DirCloseStream", "DirReleaseBuffer b2", "DirReleaseContext c2",
      "DirReleaseBuffer b1", "DirReleaseContext c1", "DirReleaseUnicodeTables"};
  EXPECT_EQ(client.calls, expected);
}

// `count` objects below `parent` whose 250-byte names fill a 4096-byte reply
// buffer with 15 a batch; each has the script "x".
std::string LongNames(const std::string& parent, int count) {
  std::string ldif;
  for (int i = 0; i < count; ++i)
    ldif += "dn: cn=" + std::string(247, static_cast<char>('a' + i)) + parent + "\nloginScript: x\n\n";
  return ldif;
}

TEST(WalkTest, BatchesAreHandledWholeBeforeTheNextIsListed) {
  RecordingClient client("dn: o=Acme\nobjectClass: organization\n\n" + LongNames(",o=Acme", 20) +
                         "dn: ou=E,o=Acme\nobjectClass: organizationalUnit\n\n"
                         "dn: cn=F,ou=E,o=Acme\nloginScript: x\n");
  RunResult result = RunTool(client, {"x"});
  EXPECT_EQ(result.exitStatus, 0);
  std::vector<std::string> lists, expected = {"NWDSList [Root] -1", "NWDSGetObjectName O=Acme",
                                              "NWDSList O=Acme -1"};
  for (int i = 0; i < 20; ++i) {
    if (i == 15) expected.push_back("NWDSList O=Acme on");
    expected.push_back("NWDSGetObjectName CN=" + std::string(247, static_cast<char>('a' + i)));
  }
  for (const char* call : {"NWDSGetObjectName OU=E", "NWDSList OU=E.O=Acme -1", "NWDSGetObjectName CN=F"})
    expected.push_back(call);
  for (const std::string& call : client.calls)
    if (call.rfind("NWDSList", 0) == 0 || call.rfind("NWDSGetObjectName", 0) == 0)
      lists.push_back(call);
  EXPECT_EQ(lists, expected);
  std::string out;
  for (int i = 0; i < 20; ++i) out += std::string(247, static_cast<char>('a' + i)) + ".Acme (X)\n";
  EXPECT_EQ(result.out, out + "F.E.Acme (X)\n");
}

TEST(WalkTest, ListingFailureAfterEarlierBatchesEndsTheLevel) {
  RecordingClient client(LongNames("", 16));
  client.Fail(Op::NWDSList, 2, -601);
  RunResult result = RunTool(client, {"x"});
  std::string expected;
  for (int i = 0; i < 15; ++i) expected += std::string(247, static_cast<char>('a' + i)) + " (X)\n";
  EXPECT_EQ(result.out, expected + " NWDSList returned FFFFFDA7 - object not found\n");
  EXPECT_EQ(result.exitStatus, 3);
  ExpectReleasesInReverseOrder(client);
}

}  // namespace
}  // namespace qovant_test
