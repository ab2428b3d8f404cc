// Hostile tree shapes from LDIF files through the whole tool: deep chains
// and wide containers. Full names around the 4095-byte limit, relative
// names around 259 bytes, odd bytes in names and aliases that lead nowhere
// or in circles are fixture cases (tool/cases).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "hostile_input.h"
#include "table.h"

namespace qovant_test {
namespace {

const char kSkipped[] = "\nFull name longer than 4095 bytes, skipped: ";

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

TEST(DeepTree, IsWalkedToTheNameLimitAndSkippedBelowIt) {
  for (const Row& c : ReadTable("tool/hostile_tree.table", "deep")) {
    SCOPED_TRACE(c.where);
    const long levels = c.number("levels"), lastReported = c.number("last_reported");
    const bool entryPerLevel = c.number("entry_per_level");
    auto rdn = [&c](long level) {
      char number[24];
      std::snprintf(number, sizeof number, "%04ld", level);
      return c.text("rdn") + (c.number("numbered") ? number : "");
    };
    std::string ldif, dn, expected, display;
    for (long level = 1; level <= levels; ++level) {
      dn = level == 1 ? rdn(level) : rdn(level) + "," + dn;
      std::string value = rdn(level).substr(rdn(level).find('=') + 1);  // as the report shows it
      display = level == 1 ? value : value + "." + display;
      std::string script = "map level " + std::to_string(level);
      if (entryPerLevel) ldif += LdifEntry(dn, script);
      if ((entryPerLevel || level == levels) && level <= lastReported)
        expected += display + " (" + Upper(script) + ")\n";
    }
    if (!entryPerLevel) ldif = LdifEntry(dn, "map level " + std::to_string(levels));
    bool skips = lastReported < levels;
    if (skips) {
      std::string next = rdn(lastReported + 1);
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
