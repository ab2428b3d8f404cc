// Hostile tree shapes from LDIF files through the whole tool: deep chains
// and wide containers. Full names around the 4095-byte limit, relative
// names around 259 bytes, odd bytes in names and aliases that lead nowhere
// or in circles are fixture cases (tool/cases).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostile_input.h"
#include "param_name.h"

namespace qovant_test {
namespace {

const char kSkipped[] = "\nFull name longer than 4095 bytes, skipped: ";

std::string Incomplete(int unread, int skipped) {
  return "qovant: search incomplete: " + std::to_string(unread) +
         " part(s) of the tree could not be read, " + std::to_string(skipped) +
         " object(s) skipped\n";
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string Number(int level) {
  std::string digits = std::to_string(level);
  return std::string(4 - digits.size(), '0') + digits;
}

// --- A chain 1,000 levels deep -------------------------------------------

struct DeepCase {
  const char* title;
  int levels;
  std::string (*rdn)(int level);      // level 1 is the top
  std::string (*display)(int level);  // the RDN as the report shows it
  bool entryPerLevel;                 // else one DN names the whole chain
  int lastReported;                   // deepest level whose full name fits
};

const DeepCase kDeepCases[] = {
    // "O=1." is 4 bytes a level: 1,000 levels make 3,999 bytes.
    {"1000 levels that fit", 1000, [](int) { return std::string("o=1"); },
     [](int) { return std::string("1"); }, true, 1000},
    {"1000 levels in one DN", 1000, [](int) { return std::string("o=1"); },
     [](int) { return std::string("1"); }, false, 1000},
    // "OU=L0001." is 9 bytes a level: level 455 ends at 4,094 bytes.
    {"1000 levels past the name limit", 1000, [](int level) { return std::string("ou=L") + Number(level); },
     [](int level) { return std::string("L") + Number(level); }, true, 455},
    // Empty values make the shortest names, 3 bytes a level, and so the
    // deepest walk: 1,365 levels end at 4,094 bytes.
    {"deepest walk, empty names", 1366, [](int) { return std::string("o="); },
     [](int) { return std::string(); }, false, 1365},
};

void PrintTo(const DeepCase& c, std::ostream* os) { *os << c.title; }

class DeepTree : public testing::TestWithParam<DeepCase> {};

TEST_P(DeepTree, IsWalkedToTheNameLimitAndSkippedBelowIt) {
  const DeepCase& c = GetParam();
  std::string ldif, dn, expected, display;
  for (int level = 1; level <= c.levels; ++level) {
    dn = level == 1 ? c.rdn(level) : c.rdn(level) + "," + dn;
    display = level == 1 ? c.display(level) : c.display(level) + "." + display;
    std::string script = "map level " + std::to_string(level);
    if (c.entryPerLevel) ldif += LdifEntry(dn, script);
    if ((c.entryPerLevel || level == c.levels) && level <= c.lastReported)
      expected += display + " (" + Upper(script) + ")\n";
  }
  if (!c.entryPerLevel) ldif = LdifEntry(dn, "map level " + std::to_string(c.levels));
  bool skips = c.lastReported < c.levels;
  if (skips) {
    std::string rdn = c.rdn(c.lastReported + 1);
    std::size_t equals = rdn.find('=');
    expected += kSkipped + Upper(rdn.substr(0, equals)) + rdn.substr(equals);
  }

  RunResult result = SearchLdif(ldif, "map level");
  EXPECT_EQ(result.out, expected);
  EXPECT_EQ(result.exitStatus, skips ? 3 : 0);
  EXPECT_EQ(result.err, skips ? Incomplete(0, 1) : "");
}

INSTANTIATE_TEST_SUITE_P(Table, DeepTree, testing::ValuesIn(kDeepCases), TitleName<DeepCase>);

// --- A container of 100,000 objects ---------------------------------------

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
  EXPECT_TRUE(result.out == expected) << "reported " << result.out.size() << " bytes of "
                                      << expected.size();
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
}

}  // namespace
}  // namespace qovant_test
