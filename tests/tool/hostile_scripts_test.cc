// Hostile login scripts from LDIF files through the whole tool: sizes around
// the 60,000 bytes the tool reads, and single values of 100 MB. NUL,
// control and non-UTF-8 bytes are fixture cases (tool/cases).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "hostile_input.h"
#include "param_name.h"

namespace qovant_test {
namespace {

// A script of exactly `size` bytes that ends with `tail` on a line of its
// own, after one long line of filler.
std::string ScriptEndingWith(std::size_t size, const std::string& tail) {
  return std::string(size - tail.size() - 1, 'r') + "\n" + tail;
}

struct ScriptCase {
  const char* title;
  std::string script;
  std::string search;
  std::optional<std::string> expectedLine;  // the reported script line, if any
};

void PrintTo(const ScriptCase& c, std::ostream* os) { *os << c.title; }

std::vector<ScriptCase> ScriptCases() {
  return {
      {"59999 bytes, match at the end", ScriptEndingWith(59999, "zq"), "zq", "ZQ"},
      {"60000 bytes, match in the last two bytes", ScriptEndingWith(60000, "zq"), "zq", "ZQ"},
      {"60001 bytes, match starting at byte 59999 is cut", ScriptEndingWith(60001, "zq"), "zq", std::nullopt},
      {"60001 bytes, line cut after byte 60000", ScriptEndingWith(60001, "zq"), "z", "Z"},
      {"60001 bytes, last byte is not read", ScriptEndingWith(60001, "zq"), "q", std::nullopt},
      {"60000 bytes on one line", std::string(59998, 'r') + "zq", "zq",
       std::string(59998, 'R') + "ZQ"},
  };
}

class HostileScript : public testing::TestWithParam<ScriptCase> {};

TEST_P(HostileScript, OnlyTheFirst60000BytesUpToANulAreSearched) {
  const ScriptCase& c = GetParam();
  RunResult result = SearchLdif(LdifEntry("cn=S,o=T", c.script), c.search.c_str());
  std::string expected = c.expectedLine ? "S.T (" + *c.expectedLine + ")\n" : "";
  EXPECT_TRUE(result.out == expected) << result.out.substr(0, 200);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
}

INSTANTIATE_TEST_SUITE_P(Table, HostileScript, testing::ValuesIn(ScriptCases()),
                         TitleName<ScriptCase>);

// --- Single values of 100 MB ----------------------------------------------

constexpr std::size_t kHugeSize = 100u << 20;

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

struct HugeCase {
  const char* title;
  std::string (*ldif)();
  std::string expectedOut;
  int exitStatus;
};

std::vector<HugeCase> HugeCases() {
  const std::string after = "after.T (MAP AFTER)\n";
  return {
      {"plain script on one line",
       [] { return "dn: cn=S,o=T\nloginScript: map " + std::string(kHugeSize, 'y') + "zz\n\n"; },
       "S.T (MAP " + std::string(60000 - 4, 'Y') + ")\n" + after, 0},
      // "eXl5" is "yyy".
      {"folded base64 script",
       [] {
         return "dn: cn=S,o=T\nloginScript:: " +
                FoldedBase64(Base64("map b64\r\n"), "eXl5", kHugeSize / 4) + "\n\n";
       },
       "S.T (MAP B64)\n" + after, 0},
      {"base64 value of another attribute",
       [] {
         return "dn: cn=S,o=T\njpegPhoto:: " + FoldedBase64("", "////", kHugeSize / 4) +
                "\nloginScript: map photo\n\n";
       },
       "S.T (MAP PHOTO)\n" + after, 0},
      {"DN over the limit stops the load",
       [] { return "dn: cn=" + std::string(kHugeSize, 'n') + ",o=T\nloginScript: map\n\n"; },
       "\nNWCallsInit returned FFFFFD88", 1},
  };
}

void PrintTo(const HugeCase& c, std::ostream* os) { *os << c.title; }

class HugeValue : public testing::TestWithParam<HugeCase> {};

TEST_P(HugeValue, IsLoadedAndOnlyItsStartIsSearched) {
  const HugeCase& c = GetParam();
  RunResult result = SearchLdif(c.ldif() + LdifEntry("cn=after,o=T", "map after"), "map");
  EXPECT_TRUE(result.out == c.expectedOut) << result.out.substr(0, 200);
  EXPECT_EQ(result.exitStatus, c.exitStatus);
}

INSTANTIATE_TEST_SUITE_P(Table, HugeValue, testing::ValuesIn(HugeCases()), TitleName<HugeCase>);

}  // namespace
}  // namespace qovant_test
