// Hostile login scripts from LDIF files through the whole tool: sizes around
// the 60,000 bytes the tool reads (with tool/hostile_scripts.table), and
// single values of 100 MB. NUL, control and non-UTF-8 bytes are fixture
// cases (tool/cases).
#include <gtest/gtest.h>

#include <string>

#include "hostile_input.h"
#include "table.h"

namespace qovant_test {
namespace {

void ExpectReport(const std::string& script, const std::string& search, const std::string& out) {
  RunResult result = SearchLdif(LdifEntry("cn=S,o=T", script), search.c_str());
  EXPECT_TRUE(result.out == out) << result.out.substr(0, 200);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
}

TEST(HostileScript, OnlyTheFirst60000BytesAreSearched) {
  for (const Row& row : ReadTable("tool/hostile_scripts.table", "end")) {
    SCOPED_TRACE(row.where);
    std::string last = row.text("last");
    ExpectReport(std::string(row.number("size") - last.size() - 1, 'r') + "\n" + last,
                 row.text("search"), row["reported"] ? "S.T (" + row.text("reported") + ")\n" : "");
  }
  // 60,000 bytes on one line.
  ExpectReport(std::string(59998, 'r') + "zq", "zq", "S.T (" + std::string(59998, 'R') + "ZQ)\n");
}

// Single values of 100 MB, then an entry that must still be found.
constexpr std::size_t kHugeSize = 100u << 20;

void ExpectHuge(const std::string& ldif, const std::string& reported, int exitStatus = 0) {
  RunResult result = SearchLdif(ldif + LdifEntry("cn=after,o=T", "map after"), "map");
  std::string expected = exitStatus ? reported : reported + "after.T (MAP AFTER)\n";
  EXPECT_TRUE(result.out == expected) << result.out.substr(0, 200);
  EXPECT_EQ(result.exitStatus, exitStatus);
}

// `prefix` then `groups` times the same four base64 characters, folded the
// way exporters fold, at 76 characters a line; built in place, since copies
// of 100 MB are what makes such a test slow.
std::string FoldedBase64(const std::string& prefix, const char (&group)[5], std::size_t groups) {
  std::string value = prefix;
  value.reserve(prefix.size() + groups * 4 + groups / 19 * 2 + 2);
  for (std::size_t i = 0; i < groups; ++i) {
    if (value.size() % 78 == 76) value += "\n ";
    value.append(group, 4);
  }
  return value;
}

TEST(HugeValue, PlainScriptOnOneLine) {
  ExpectHuge("dn: cn=S,o=T\nloginScript: map " + std::string(kHugeSize, 'y') + "zz\n\n",
             "S.T (MAP " + std::string(60000 - 4, 'Y') + ")\n");
}

TEST(HugeValue, FoldedBase64Script) {
  // "eXl5" is "yyy".
  ExpectHuge("dn: cn=S,o=T\nloginScript:: " +
                 FoldedBase64(Base64("map b64\r\n"), "eXl5", kHugeSize / 4) + "\n\n",
             "S.T (MAP B64)\n");
}

TEST(HugeValue, Base64ValueOfAnotherAttribute) {
  ExpectHuge("dn: cn=S,o=T\njpegPhoto:: " + FoldedBase64("", "////", kHugeSize / 4) +
                 "\nloginScript: map photo\n\n",
             "S.T (MAP PHOTO)\n");
}

TEST(HugeValue, DnOverTheLimitStopsTheLoad) {
  ExpectHuge("dn: cn=" + std::string(kHugeSize, 'n') + ",o=T\nloginScript: map\n\n",
             "\nNWCallsInit returned FFFFFD88", 1);
}

}  // namespace
}  // namespace qovant_test
