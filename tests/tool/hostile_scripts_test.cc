// Hostile login scripts from LDIF files through the whole tool: sizes around
// the 60,000 bytes the tool reads, NUL, control and non-UTF-8 bytes, and
// single values of 100 MB.
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
  uint32_t codePage = dirclient::kCodePageAscii;
  bool terminal = false;
};

std::vector<ScriptCase> ScriptCases() {
  using dirclient::kCodePageLatin1;
  using dirclient::kCodePageUtf8;
  return {
      {"0 bytes, empty search", "", "", std::nullopt},
      {"0 bytes", "", "map", std::nullopt},
      {"1 byte, empty search reports its line", "x", "", "X"},
      {"59999 bytes, match at the end", ScriptEndingWith(59999, "zq"), "zq", "ZQ"},
      {"60000 bytes, match in the last two bytes", ScriptEndingWith(60000, "zq"), "zq", "ZQ"},
      {"60001 bytes, match starting at byte 59999 is cut", ScriptEndingWith(60001, "zq"), "zq", std::nullopt},
      {"60001 bytes, line cut after byte 60000", ScriptEndingWith(60001, "zq"), "z", "Z"},
      {"60001 bytes, last byte is not read", ScriptEndingWith(60001, "zq"), "q", std::nullopt},
      {"60000 bytes on one line", std::string(59998, 'r') + "zq", "zq",
       std::string(59998, 'R') + "ZQ"},
      {"NUL ends the searched text", std::string("map a\0map b", 11), "map b", std::nullopt},
      {"text before a NUL is found", std::string("map a\0map b", 11), "map", "MAP A"},
      {"NUL first, empty search reports an empty line", std::string("\0map", 4), "", ""},
      {"NUL first", std::string("\0map", 4), "map", std::nullopt},
      {"carriage returns alone end lines", "rem\rmap x:\rend", "map", "MAP X:"},
      {"bytes that are not UTF-8 stay", "\xff\xfe map \xc3\n", "MAP", "\xff\xfe MAP \xc3"},
      {"UTF-8 letters stay lower-case", "map \xc3\xbc:\n", "map \xc3\xbc", "MAP \xc3\xbc:"},
      {"Latin-1 letters fold in Latin-1", "\xe9""cole\n", "\xc9""COLE", "\xc9""COLE",
       kCodePageLatin1},
      {"Latin-1 letters do not fold in UTF-8", "\xe9""cole\n", "\xc9""COLE", std::nullopt, kCodePageUtf8},
      {"control bytes, piped", "map \x1b[2J\x07\t!\n", "map", "MAP \x1b[2J\x07\t!"},
      {"control bytes, terminal", "map \x1b[2J\x07\t\x7f!\n", "map", "MAP ?[2J?\t?!",
       dirclient::kCodePageAscii, true},
      {"C1 bytes, Latin-1 terminal", "map \x9b""2J\x85!\xe9\n", "map", "MAP ?2J?!\xc9",
       kCodePageLatin1, true},
      {"C1 range, Windows-1252 terminal", "map \x80\x9a\xa0\n", "map", "MAP ??\xa0",
       dirclient::kCodePageWindows1252, true},
      {"C1 characters, UTF-8 terminal", "map \xc2\x9b""2J\xc2\x85\xc2\xa0\xe2\x80\x9c\n", "map",
       "MAP ?2J?\xc2\xa0\xe2\x80\x9c", kCodePageUtf8, true},
      {"invalid UTF-8, terminal", "map \xff\xc3(\xed\xa0\x80\xc0\xaf\xf4\x90\x80\x80\xf0\x9f\x98\x80\xe2\x80\n",
       "map", "MAP ??" "(?????????\xf0\x9f\x98\x80??", kCodePageUtf8, true},
      {"C1 characters, UTF-8 piped", "map \xc2\x9b\x9b\n", "map", "MAP \xc2\x9b\x9b", kCodePageUtf8},
      {"bytes above 0x7F, ASCII terminal", "map \xc3\xa9\x9b\n", "map", "MAP ???",
       dirclient::kCodePageAscii, true},
  };
}

class HostileScript : public testing::TestWithParam<ScriptCase> {};

TEST_P(HostileScript, OnlyTheFirst60000BytesUpToANulAreSearched) {
  const ScriptCase& c = GetParam();
  RunResult result = SearchLdif(LdifEntry("cn=S,o=T", c.script), c.search.c_str(),
                                {c.codePage, c.terminal});
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
