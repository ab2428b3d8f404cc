// Hostile tree shapes from LDIF files through the whole tool: deep chains,
// wide containers, full names around the 4095-byte limit, relative names
// around 259 bytes, and aliases that lead nowhere or in circles.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostile_input.h"
#include "param_name.h"

namespace qovant_test {
namespace {

const char kSkipped[] = "\nFull name longer than 4095 bytes, skipped: ";
const char kNameTooLong[] = "\nNWDSGetObjectName returned FFFFFDA5";

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

// --- Full names at the 4095-byte limit ------------------------------------

// A DN whose dotted full name is `length` bytes: CN=leaf under a chain of
// OU=aaa..., OU=bbb..., each short enough to be listed.
struct Chain {
  std::string dn;
  std::string fullName;
  std::string display;
};

Chain ChainOfLength(std::size_t length) {
  Chain chain{"cn=leaf", "CN=leaf", "leaf"};
  std::size_t rest = length - 8;  // "CN=leaf."
  for (char letter = 'a'; rest > 0; ++letter) {
    // A part may be 200 bytes as long as at least "OU=x" is left after it.
    std::size_t part = rest > 204 ? 200 : rest;
    std::string value(part - 3, letter);
    chain.dn += ",ou=" + value;
    chain.fullName += ".OU=" + value;
    chain.display += "." + value;
    rest -= part + (part == rest ? 0 : 1);
  }
  return chain;
}

struct LimitCase {
  const char* title;
  std::size_t length;  // of the full name of CN=leaf
  bool leafHasChild;   // CN=kid below it, five bytes longer
  const char* expectedAfterLeaf;
  int exitStatus;
};

const LimitCase kLimitCases[] = {
    {"one below the limit", 4094, false, "", 0},
    {"at the limit", 4095, false, "", 0},
    {"one past the limit", 4096, false, nullptr, 3},
    {"at the limit with an object below", 4095, true, "\nFull name longer than 4095 bytes, skipped: CN=kid", 3},
};

class FullNameLimit : public testing::TestWithParam<LimitCase> {};

TEST_P(FullNameLimit, ObjectsPastItAreSkippedWithTheirName) {
  const LimitCase& c = GetParam();
  Chain chain = ChainOfLength(c.length);
  ASSERT_EQ(chain.fullName.size(), c.length);
  std::string ldif = LdifEntry(chain.dn, "map leaf");
  if (c.leafHasChild) ldif += LdifEntry("cn=kid," + chain.dn, "map kid");
  ldif += LdifEntry("cn=next,o=Other", "map next");

  RunResult result = SearchLdif(ldif, "map");
  std::string expected = c.expectedAfterLeaf ? chain.display + " (MAP LEAF)\n" + c.expectedAfterLeaf
                                             : std::string(kSkipped) + "CN=leaf";
  EXPECT_EQ(result.out, expected + "next.Other (MAP NEXT)\n");
  EXPECT_EQ(result.exitStatus, c.exitStatus);
  EXPECT_EQ(result.err, c.exitStatus == 0 ? "" : Incomplete(0, 1));
}

INSTANTIATE_TEST_SUITE_P(Table, FullNameLimit, testing::ValuesIn(kLimitCases),
                         TitleName<LimitCase>);

// --- Relative names of 259 and 260 bytes ----------------------------------

TEST(RelativeNameLimit, NamesOver259BytesAreReportedAndTheWalkGoesOn) {
  std::string fits(256, 'f');   // "CN=" + 256: 259 bytes
  std::string over(257, 'o');   // 260 bytes
  std::string topFits(257, 't');  // "O=" + 257: 259 bytes at the top level
  std::string ldif = LdifEntry("o=" + topFits, "map top") +
                     LdifEntry("o=" + std::string(258, 'T'), "map top over") +
                     LdifEntry("cn=" + fits + ",o=A", "map 259") +
                     LdifEntry("cn=" + over + ",o=A", "map 260") +
                     // Below a name that cannot be read, nothing can be named.
                     LdifEntry("cn=kid,cn=" + over + ",o=A", "map kid") +
                     LdifEntry("cn=after,o=A", "map after");
  RunResult result = SearchLdif(ldif, "map");
  EXPECT_EQ(result.out, topFits + " (MAP TOP)\n" + kNameTooLong + fits + ".A (MAP 259)\n" +
                            kNameTooLong + "after.A (MAP AFTER)\n");
  EXPECT_EQ(result.exitStatus, 3);
  EXPECT_EQ(result.err, Incomplete(2, 0));
}

// --- Names with NUL, control and non-UTF-8 bytes --------------------------

struct NameCase {
  const char* title;
  std::string dn;
  bool terminal;
  std::string expectedOut;
  uint32_t codePage = dirclient::kCodePageAscii;
};

std::vector<NameCase> NameCases() {
  return {
      {"escaped NUL shows as backslash 00", "cn=a\\00b,o=A", false, "a\\00b.A (MAP)\n"},
      {"escaped dot and plus keep their backslash", "cn=x\\2Ey\\2Bz,o=A", false,
       "x\\.y\\+z.A (MAP)\n"},
      {"bytes that are not UTF-8", "cn=\xff\xfe\xc3(,o=\x80", false,
       "\xff\xfe\xc3(.\x80 (MAP)\n"},
      {"escaped bytes that are not UTF-8", "cn=\\FF\\C3,o=A", false, "\xff\xc3.A (MAP)\n"},
      {"line break in a name, piped", "cn=a\\0Ab,o=A", false, "a\nb.A (MAP)\n"},
      {"line break in a name, terminal", "cn=a\\0Ab,o=A", true, "a?b.A (MAP)\n"},
      {"escape sequence in a name, terminal", "cn=\\1B[2Jx,o=A", true, "?[2Jx.A (MAP)\n"},
      {"C1 control in a name, Latin-1 terminal", "cn=\\9B""2J\\E9,o=A", true,
       "?2J\xe9.A (MAP)\n", dirclient::kCodePageLatin1},
      {"C1 control in a name, UTF-8 terminal", "cn=\\C2\\9B""2J\\C3\\A9\\FF,o=A", true,
       "?2J\xc3\xa9?.A (MAP)\n", dirclient::kCodePageUtf8},
  };
}

class HostileName : public testing::TestWithParam<NameCase> {};

TEST_P(HostileName, IsReportedAsItStandsInTheDirectory) {
  const NameCase& c = GetParam();
  RunResult result = SearchLdif(LdifEntry(c.dn, "map"), "map", {c.codePage, c.terminal});
  EXPECT_EQ(result.out, c.expectedOut);
  EXPECT_EQ(result.exitStatus, 0);
}

INSTANTIATE_TEST_SUITE_P(Table, HostileName, testing::ValuesIn(NameCases()), TitleName<NameCase>);

// A raw NUL cannot stand in a DN's text (RFC 4514 wants it escaped).
TEST(HostileName, RawNulInABase64DnStopsTheLoadAtItsLine) {
  std::string ldif = LdifEntry("o=A", "map") + LdifEntry(std::string("cn=a\0b,o=A", 10), "map");
  RunResult result = SearchLdif(ldif, "map");
  EXPECT_EQ(result.out, "\nNWCallsInit returned FFFFFD88");
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "qovant: PATH:4: DN does not parse\n");
}

// --- Aliases ----------------------------------------------------------------

// Aliases are never followed, so targets that loop or lead nowhere cannot
// hold the walk; an alias is skipped with anything stored below it.
TEST(HostileAliases, AreSkippedWhereverTheyPoint) {
  auto alias = [](const char* name, const std::string& target) {
    return LdifEntry(std::string("cn=") + name + ",o=A", "map alias",
                     "objectClass: alias\naliasedObjectName: " + target + "\n");
  };
  std::string ldif = LdifEntryWithoutScript("o=A", "objectClass: organization\n") +
                     alias("One", "cn=Two,o=A") + alias("Two", "cn=One,o=A") +
                     alias("Self", "cn=Self,o=A") + alias("Dangling", "cn=Gone,o=Nowhere") +
                     alias("Broken", "not a DN") + alias("Up", "o=A") + alias("Empty", "") +
                     LdifEntry("cn=below,cn=Self,o=A", "map below") +
                     LdifEntry("cn=real,o=A", "map real");
  RunResult result = SearchLdif(ldif, "map");
  EXPECT_EQ(result.out, "real.A (MAP REAL)\n");
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");
}

}  // namespace
}  // namespace qovant_test
