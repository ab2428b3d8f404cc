// The run sequence: command line, start-up, exit status, output failures.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "capture.h"
#include "recording_client.h"
#include "table.h"
#include "tool/banner.h"

namespace qovant_test {
namespace {

const char kBannerPattern[] =
    "Brellkin\\.\nCompiled at [A-Z][a-z]{2} [0-9]{2} [0-9]{4}  [0-9]{2}:[0-9]{2}:[0-9]{2}\n"
    "Use: qovant <substring>\n";

TEST(RunTest, WrongArgumentCountShowsBannerAndCallsNoClientOperation) {
  for (std::vector<const char*> args : {std::vector<const char*>{}, {"a", "b"}, {"a", "b", "c"}}) {
    RecordingClient client("dn: o=A\nloginScript: a\n");
    RunResult result = RunTool(client, args);
    EXPECT_TRUE(std::regex_match(result.out, std::regex(kBannerPattern))) << result.out;
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_TRUE(client.calls.empty());
  }
}

TEST(RunTest, BuildLineHasAZeroPaddedDay) {
  char line[64];
  tool::FormatBuildLine("Mar  7 2011", "09:05:33", line, sizeof line);
  EXPECT_STREQ(line, "Compiled at Mar 07 2011  09:05:33\n");
  tool::FormatBuildLine("Dec 17 2026", "23:59:59", line, sizeof line);
  EXPECT_STREQ(line, "Compiled at Dec 17 2026  23:59:59\n");
}

// 99 bytes are searched (tool/cases/search-text-of-99-bytes).
TEST(RunTest, SubstringOf100BytesIsRefusedBeforeTheClient) {
  RecordingClient client("dn: cn=A\nloginScript: x\n");
  RunResult result = RunTool(client, {std::string(100, 'q').c_str()});
  EXPECT_EQ(result.out, "qovant: the substring is longer than 99 bytes\nUse: qovant <substring>\n");
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_TRUE(client.calls.empty());
}

// The cases are rows of tool/walk.table.
TEST(RunTest, IncompleteSearchSaysSoOnStandardErrorAfterTheReport) {
  for (const Row& row : ReadTable("tool/walk.table", "incomplete")) {
    RecordingClient client("dn: cn=A\nloginScript: x\n");
    if (row.number("fail_name_read")) client.Fail("NWDSGetObjectName", 1, -603);
    std::istringstream parts(row.text("unsearched"));
    for (std::string part; std::getline(parts, part, ';');) client.unsearched.push_back(part);
    RunResult result = RunTool(client, {"x"});
    EXPECT_EQ(result.exitStatus, 3) << row.where;
    EXPECT_EQ(result.out, row.text("stdout")) << row.where;
    EXPECT_EQ(result.err, row.text("stderr")) << row.where;
  }
}

// A full disk: the walk stops writing, the failure is told on standard error
// and the run does not claim success.
TEST(RunTest, WriteFailureStopsTheWalkAndFails) {
  std::string ldif;
  for (int i = 0; i < 5000; ++i)
    ldif += "dn: cn=U" + std::to_string(i) + "\nloginScript: match\n\n";
  RecordingClient client(ldif);
  auto buffers = std::make_unique<tool::SharedBuffers>();
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  MemoryStream err;
  tool::Output out(full, false);
  const char* argv[] = {"qovant", "match"};
  int status = tool::RunQovant(2, argv, client, *buffers, out, err.file());
  std::fclose(full);
  EXPECT_EQ(status, 3);
  EXPECT_EQ(err.text(), "qovant: cannot write standard output: No space left on device\n");
  auto opens = std::count_if(client.calls.begin(), client.calls.end(), [](const std::string& c) {
    return c.rfind("DirOpenAttributeStream", 0) == 0;
  });
  EXPECT_LT(opens, 5000);
  EXPECT_EQ(client.OpenHandles(), 0);
}

}  // namespace
}  // namespace qovant_test
