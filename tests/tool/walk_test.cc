// The tree walk against a fake client: order of calls, failure messages,
// release order and name building.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "capture.h"
#include "fake_dir_client.h"
#include "param_name.h"
#include "tool/walk.h"

namespace qovant_test {
namespace {

using dirclient::kFlagAlias;
using dirclient::kFlagContainer;
using dirclient::kFlagContainerAlias;
using Op = FakeDirClient::Op;

// [Root]
//   O=Acme        "map root"
//     OU=Sales    "map sales"
//       CN=Ann    "map ann"
//     CN=Bob      "nothing"
//   O=Beta        no script
void AddSampleTree(FakeDirClient& client) {
  std::string acme = client.Add("[Root]", "O=Acme", kFlagContainer, "map root");
  std::string sales = client.Add(acme, "OU=Sales", kFlagContainer, "map sales");
  client.Add(sales, "CN=Ann", 0, "map ann");
  client.Add(acme, "CN=Bob", 0, "nothing");
  client.Add("[Root]", "O=Beta", kFlagContainer);
}

// Every context and buffer is released, the most recent first.
void ExpectReleasesInReverseOrder(const FakeDirClient& client) {
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

class WalkFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(WalkFailure, WritesItsMessageAndReleasesEverything) {
  const FailureCase& c = GetParam();
  FakeDirClient client;
  AddSampleTree(client);
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
  FakeDirClient client;
  std::string acme = client.Add("[Root]", "O=Acme", kFlagContainer);
  client.Add(acme, "CN=Ann", 0, "map ann");
  RunResult result = RunTool(client, {"MAP"});
  EXPECT_EQ(result.out, "Ann.Acme (MAP ANN)\n");
  std::vector<std::string> expected = {
      "NWCallsInit", "DirQueryLocale", "NWInitUnicodeTables 49 20127",
      "NWDSCreateContext -> 1", "NWDSAllocBuf 4096 -> 2", "DirSetNameContext 3 [Root]",
      "NWDSList [Root] -1", "DirCountObjects", "NWDSGetObjectName O=Acme",
      "DirOpenAttributeStream O=Acme \"Login Script\" 1",
      "NWDSCreateContext -> 3", "NWDSAllocBuf 4096 -> 4", "DirSetNameContext 3 O=Acme",
      "NWDSList O=Acme -1", "DirCountObjects", "NWDSGetObjectName CN=Ann",
      "DirOpenAttributeStream CN=Ann \"Login Script\" 1", "DirReadStream 60000",
      "DirCloseStream", "DirReleaseBuffer 4", "DirReleaseContext 3",
      "DirReleaseBuffer 2", "DirReleaseContext 1", "DirReleaseUnicodeTables"};
  EXPECT_EQ(client.calls, expected);
}

TEST(WalkTest, BatchesAreHandledWholeBeforeTheNextIsListed) {
  FakeDirClient client;
  client.batchSize = 2;
  std::string acme = client.Add("[Root]", "O=Acme", kFlagContainer);
  for (const char* name : {"CN=A", "CN=B", "CN=C", "CN=D"}) client.Add(acme, name, 0, "x");
  client.Add(client.Add(acme, "OU=E", kFlagContainer), "CN=F", 0, "x");
  RunResult result = RunTool(client, {"x"});
  EXPECT_EQ(result.out, "A.Acme (X)\nB.Acme (X)\nC.Acme (X)\nD.Acme (X)\nF.E.Acme (X)\n");
  std::vector<std::string> lists;
  for (const std::string& call : client.calls)
    if (call.rfind("NWDSList", 0) == 0 || call.rfind("NWDSGetObjectName", 0) == 0)
      lists.push_back(call);
  std::vector<std::string> expected = {
      "NWDSList [Root] -1", "NWDSGetObjectName O=Acme", "NWDSList O=Acme -1",
      "NWDSGetObjectName CN=A", "NWDSGetObjectName CN=B", "NWDSList O=Acme 2",
      "NWDSGetObjectName CN=C", "NWDSGetObjectName CN=D", "NWDSList O=Acme 4",
      "NWDSGetObjectName OU=E", "NWDSList OU=E.O=Acme -1", "NWDSGetObjectName CN=F"};
  EXPECT_EQ(lists, expected);
}

TEST(WalkTest, ListingFailureAfterEarlierBatchesEndsTheLevel) {
  FakeDirClient client;
  client.batchSize = 1;
  client.Add("[Root]", "CN=A", 0, "x");
  client.Add("[Root]", "CN=B", 0, "x");
  client.Fail(Op::NWDSList, 2, -601);
  RunResult result = RunTool(client, {"x"});
  EXPECT_EQ(result.out, "A (X)\n NWDSList returned FFFFFDA7 - object not found\n");
  EXPECT_EQ(result.exitStatus, 3);
  ExpectReleasesInReverseOrder(client);
}

TEST(WalkTest, AliasesAreNeitherExaminedNorDescended) {
  for (uint32_t flags : {kFlagAlias, kFlagContainerAlias, kFlagAlias | kFlagContainerAlias | kFlagContainer}) {
    FakeDirClient client;
    std::string alias = client.Add("[Root]", "CN=Alias", flags, "x");
    client.Add(alias, "CN=Below", 0, "x");
    client.Add("[Root]", "CN=Real", 0, "x");
    RunResult result = RunTool(client, {"x"});
    EXPECT_EQ(result.out, "Real (X)\n");
    for (const std::string& call : client.calls) {
      EXPECT_EQ(call.find("CN=Alias \""), std::string::npos) << call;
      EXPECT_EQ(call.find("NWDSList CN=Alias"), std::string::npos) << call;
    }
  }
}

TEST(WalkTest, NamesAreRestoredAfterEveryObjectAndLevel) {
  FakeDirClient client;
  AddSampleTree(client);
  auto buffers = std::make_unique<qovant::SharedBuffers>();
  std::strcpy(buffers->CurrentName, "[Root]");
  std::strcpy(buffers->SearchText, "MAP");
  buffers->Depth = 0;
  MemoryStream stream;
  qovant::Output out(stream.file(), false);
  qovant::Search search{client, *buffers, out, qovant::MakeCaseMap(0), {}};
  ASSERT_EQ(client.NWCallsInit(nullptr, nullptr), 0);
  qovant::WalkContainer(search);
  EXPECT_STREQ(buffers->CurrentName, "[Root]");
  EXPECT_EQ(buffers->Depth, 0);
  EXPECT_EQ(search.counts.reports, 3u);
  // Each level listed its own container under its full name.
  EXPECT_NE(std::find(client.calls.begin(), client.calls.end(),
                      "DirSetNameContext 3 OU=Sales.O=Acme"),
            client.calls.end());
}

// Object names of 259 bytes make a full name of 3899 bytes after 15 levels;
// below that, an object name of 195 bytes still fits in 4095, 196 does not.
TEST(WalkTest, FullNameLimitSkipsTheObjectWithItsSubtree) {
  for (size_t lastLength : {195u, 196u}) {
    FakeDirClient client;
    std::string parent = "[Root]";
    for (int level = 0; level < 15; ++level)
      parent = client.Add(parent, "OU=" + std::string(256, static_cast<char>('a' + level)),
                          kFlagContainer);
    std::string last = "CN=" + std::string(lastLength - 3, 'z');
    client.Add(client.Add(parent, last, kFlagContainer, "hit"), "CN=Below", 0, "hit");
    client.Add(parent, "CN=Next", 0, "hit");
    RunResult result = RunTool(client, {"hit"});
    std::string display = parent;
    for (size_t at; (at = display.find("OU=")) != std::string::npos;) display.erase(at, 3);
    const std::string skipped = "\nFull name longer than 4095 bytes, skipped: ";
    const std::string next = "Next." + display + " (HIT)\n";
    if (lastLength == 195)  // fits exactly; the object below it does not
      EXPECT_EQ(result.out, last.substr(3) + "." + display + " (HIT)\n" + skipped +
                                "CN=Below" + next);
    else
      EXPECT_EQ(result.out, skipped + last + next);
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_NE(result.err.find("1 object(s) skipped"), std::string::npos);
    ExpectReleasesInReverseOrder(client);
  }
}

}  // namespace
}  // namespace qovant_test
