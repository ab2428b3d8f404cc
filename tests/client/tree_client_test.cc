// The client over a loaded tree: streams, a failed start and the locale. Batches that fill the
// reply buffer are shown through the walk (tool/walk_test.cc), names over 259 bytes by the fixture
// case tool/cases/relative-name-limit.
#include <gtest/gtest.h>

#include "base/status.h"
#include "capture.h"
#include "client/locale_query.h"
#include "recording_client.h"
#include "table.h"
#include "tool/tree_choice.h"

namespace qovant_test {
namespace {

using namespace client;  // NOLINT: the client's own names, in its own test

TEST(TreeClientTest, StreamsReadOnwardAndOnlyForReading) {
  TreeClient client(LoadText(
      "dn: o=A\nloginScript: abcdef\n\ndn: o=B\nobjectClass: top\n\ndn: o=E\nloginScript:\n"));
  ASSERT_EQ(client.NWCallsInit(nullptr, nullptr), 0);
  ContextHandle context;
  ASSERT_EQ(client.NWDSCreateContext(&context), 0);
  StreamHandle stream;
  for (const Row& row : ReadTable("client/tree_client.table", "open"))
    EXPECT_EQ(client.DirOpenAttributeStream(context, row["object"], row["attribute"],
                                            static_cast<int32_t>(row.number("mode")), &stream),
              row.number("status"))
        << row.where;
  ASSERT_EQ(client.DirOpenAttributeStream(context, "o=a", "loginscript", 1, &stream), 0);
  char data[4];
  uint32_t got;
  EXPECT_EQ(client.DirReadStream(stream, data, 4, &got), 0);
  EXPECT_EQ(std::string(data, got), "abcd");
  EXPECT_EQ(client.DirReadStream(stream, data, 4, &got), 0);
  EXPECT_EQ(std::string(data, got), "ef");
  EXPECT_EQ(client.DirCloseStream(stream), 0);
  EXPECT_EQ(client.DirCloseStream(stream), base::kBadStream);
  ASSERT_EQ(client.DirOpenAttributeStream(context, "O=E", "Login Script", 1, &stream), 0);
  EXPECT_EQ(client.DirReadStream(stream, data, 4, &got), 0);
  EXPECT_EQ(got, 0u);
}

// Start-up failures and their messages are end-to-end cases (e2e/run.sh);
// here: a client whose start failed takes no handles.
TEST(TreeClientTest, FailedStartTakesNoHandles) {
  MemoryStream err;
  base::Environment environment;
  environment.Set("DIRCLIENT_TREE", "/nonexistent/tree.ldif");
  tool::ConfiguredTree source(environment, err.file(), "qovant");
  TreeClient client(source, environment);
  EXPECT_EQ(client.NWCallsInit(nullptr, nullptr), base::kTreeUnreadable);
  ContextHandle context;
  EXPECT_EQ(client.NWDSCreateContext(&context), base::kNotStarted);
}

TEST(TreeClientTest, LocaleQueryFollowsTheCharacterSetAndTerritory) {
  for (const Row& row : ReadTable("client/tree_client.table", "locale")) {
    LocaleInfo info = QueryLocale(row["lc_all"], row["lc_ctype"], row["lang"]);
    EXPECT_EQ(info.codePage, row.number("code_page")) << row.where;
    EXPECT_EQ(info.countryId, row.number("country")) << row.where;
  }
}

}  // namespace
}  // namespace qovant_test
