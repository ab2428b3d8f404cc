// Hostile tree shapes from LDIF files through the whole tool: deep chains
// and wide containers. Full names around the 4095-byte limit, relative
// names around 259 bytes, odd bytes in names and aliases that lead nowhere
// or in circles are fixture cases (tool/cases).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "hostile_input.h"

namespace qovant_test {
namespace {

const char kSkipped[] = "\nFull name longer than 4095 bytes, skipped: ";

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// A chain 1,000 levels deep. Level 1 is the top; its RDN is `rdn`, followed
// by the level's number in four digits when `numbered`.
struct DeepCase {
  const char* title;
  int levels;
  const char* rdn;
  bool numbered;
  bool entryPerLevel;  // else one DN names the whole chain
  int lastReported;    // deepest level whose full name fits
};

const DeepCase kDeepCases[] = {
    // "O=1." is 4 bytes a level: 1,000 levels make 3,999 bytes.
    {"1000 levels that fit", 1000, "o=1", false, true, 1000},
    {"1000 levels in one DN", 1000, "o=1", false, false, 1000},
    // "OU=L0001." is 9 bytes a level: level 455 ends at 4,094 bytes.
    {"1000 levels past the name limit", 1000, "ou=L", true, true, 455},
    // Empty values make the shortest names, 3 bytes a level, and so the
    // deepest walk: 1,365 levels end at 4,094 bytes.
    {"deepest walk, empty names", 1366, "o=", false, false, 1365},
};

TEST(DeepTree, IsWalkedToTheNameLimitAndSkippedBelowIt) {
  for (const DeepCase& c : kDeepCases) {
    SCOPED_TRACE(c.title);
    auto rdn = [&c](int level) {
      char number[16];
      std::snprintf(number, sizeof number, "%04d", level);
      return c.rdn + std::string(c.numbered ? number : "");
    };
    std::string ldif, dn, expected, display;
    for (int level = 1; level <= c.levels; ++level) {
      dn = level == 1 ? rdn(level) : rdn(level) + "," + dn;
      std::string value = rdn(level).substr(rdn(level).find('=') + 1);  // as the report shows it
      display = level == 1 ? value : value + "." + display;
      std::string script = "map level " + std::to_string(level);
      if (c.entryPerLevel) ldif += LdifEntry(dn, script);
      if ((c.entryPerLevel || level == c.levels) && level <= c.lastReported)
        expected += display + " (" + Upper(script) + ")\n";
    }
    if (!c.entryPerLevel) ldif = LdifEntry(dn, "map level " + std::to_string(c.levels));
    bool skips = c.lastReported < c.levels;
    if (skips) {
      std::string next = rdn(c.lastReported + 1);
      std::size_t equals = next.find('=');
      expected += kSkipped + Upper(next.substr(0, equals)) + next.substr(equals);
    }
    RunResult result = SearchLdif(ldif, "map level");
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(result.exitStatus, skips ? 3 : 0);
    EXPECT_EQ(result.err, skips ? "qovant: search incomplete: 0 part(s) of the tree could not be "
                                  "read, 1 object(s) skipped\n"
                                : "");
  }
}

TEST(WideTree, EveryOneOf100000ObjectsIsReportedInFileOrder) {
  const int kObjects = 100000;
  std::string ldif = "dn: o=Wide\nobjectClass: organization\n\n";
  std::string expected;
  for (int i = 0; i < kObjects; ++i) {
    std::string number = std::to_string(i);
    ldif += "dn: cn=u" + number + ",o=Wide\nloginScript: map " + number + "\n\n";
    expected += "u" + number + ".Wide (MAP " + number + ")\n";
  }
  RunResult result = SearchLdif(ldif, "map");
  EXPECT_TRUE(result.out == expected)
      << "reported " << result.out.size() << " bytes of " << expected.size();
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
}

}  // namespace
}  // namespace qovant_test
