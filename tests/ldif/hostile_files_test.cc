// Damaged LDIF files through the whole tool: files cut short anywhere, and a
// million-line file whose last line is bad. A file that does not load stops
// the tool before any report, naming the line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostile_input.h"
#include "param_name.h"

namespace qovant_test {
namespace {

const char kMalformed[] = "\nNWCallsInit returned FFFFFD88";

// --- Files cut short ------------------------------------------------------

struct CutCase {
  const char* title;
  std::string kept;  // the file up to the cut
  std::string expectedOut;
  int exitStatus;
  const char* expectedErr;
};

// LDIF has no end marker. A cut that proves itself (a value not in whole
// base64 groups, an entry without attributes, a line that does not parse)
// stops the load at its line; one that leaves lines which still parse is a
// shorter file, loaded with a warning when its last line has no end.
std::vector<CutCase> CutCases() {
  // Nine lines; the first script is folded after 12 base64 characters.
  //   1 dn: o=Acme             5 dn: cn=Ann,o=Acme     8 dn: cn=Bob,o=Acme
  //   2 loginScript:: ...      6 loginScript: map ann  9 loginScript:: ...
  //   3  (continuation)        7
  //   4
  const std::string acmeScript = Base64("map root\r\nend\r\n");
  const std::string bobDn = "dn: cn=Bob,o=Acme\n";
  const std::string whole = "dn: o=Acme\nloginScript:: " + acmeScript.substr(0, 12) + "\n " +
                             acmeScript.substr(12) +
                             "\n\ndn: cn=Ann,o=Acme\nloginScript: map ann\n\n" + bobDn +
                             "loginScript:: " + Base64("rem bob\r\nmap bob\r\n") + "\n";
  const std::string acme = "Acme (MAP ROOT)\n";
  const std::string ann = "Ann.Acme (MAP ANN)\n";
  const std::string bobScript = bobDn + "loginScript:: ";
  return {
      {"whole file", whole, acme + ann + "Bob.Acme (MAP BOB)\n", 0, ""},
      {"after a DN line", whole.substr(0, whole.find(bobDn) + bobDn.size()), kMalformed, 1,
       "qovant: PATH:8: entry without attributes: the file was cut after this \"dn:\" line, or "
       "the export left out objectClass\n"},
      {"inside a DN", whole.substr(0, whole.find(bobDn) + 12), kMalformed, 1,
       "qovant: PATH:8: DN does not parse\n"},
      {"inside an attribute name", whole.substr(0, whole.find(bobScript) + bobDn.size() + 8),
       kMalformed, 1, "qovant: PATH:9: line is neither an attribute nor a continuation\n"},
      {"inside a plain value", whole.substr(0, whole.find("map ann") + 5), acme + "Ann.Acme (MAP A)\n",
       0, "qovant: PATH:6: warning: the last line has no line end: the file may have been cut\n"},
      {"inside base64, not a whole number of bytes",
       whole.substr(0, whole.find(bobScript) + bobScript.size() + 13), kMalformed, 1,
       "qovant: PATH:9: bad base64 value: its length is not a multiple of 4, as when a file is cut "
       "inside it\n"},
      {"inside base64, after whole groups",
       whole.substr(0, whole.find(bobScript) + bobScript.size() + 12), acme + ann,
       0, "qovant: PATH:9: warning: the last line has no line end: the file may have been cut\n"},
      {"at a fold", whole.substr(0, whole.find("\n ") + 1), acme, 0, ""},
      {"after the blank of a fold", whole.substr(0, whole.find("\n ") + 2), acme, 0,
       "qovant: PATH:3: warning: the last line has no line end: the file may have been cut\n"},
  };
}

class CutFile : public testing::TestWithParam<CutCase> {};

TEST_P(CutFile, LoadsWhatParsesOrNamesTheLineThatDoesNot) {
  const CutCase& c = GetParam();
  RunResult result = SearchLdif(c.kept, "map");
  EXPECT_EQ(result.out, c.expectedOut);
  EXPECT_EQ(result.exitStatus, c.exitStatus);
  EXPECT_EQ(result.err, c.expectedErr);
}

INSTANTIATE_TEST_SUITE_P(Table, CutFile, testing::ValuesIn(CutCases()), TitleName<CutCase>);

// Two records run together lose the second one unless the load stops.
TEST(MissingBlankLine, StopsTheLoadAtTheSecondDn) {
  RunResult result = SearchLdif(
      "dn: o=Acme\nloginScript: map a\ndn: cn=B,o=Acme\nloginScript: map b\n", "map");
  EXPECT_EQ(result.out, kMalformed);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "qovant: PATH:3: missing blank line before \"dn:\"\n");
}

// --- Files cut short once loaded -------------------------------------------

// Scripts are kept in memory as the file is read: a file cut or emptied
// once loaded changes nothing of the search.
TEST(ShrunkFile, SearchesWhatWasLoaded) {
  const std::string ldif = LdifEntry("o=Acme", "map root\r\n") +
                           "dn: cn=Ann,o=Acme\nloginScript: map ann\n\ndn: cn=Bob,o=Acme\n" +
                           "loginScript:: " + Base64("rem bob\r\nmap bob\r\n") + "\n";
  const std::string expected = "Acme (MAP ROOT)\nAnn.Acme (MAP ANN)\nBob.Acme (MAP BOB)\n";
  for (std::size_t keep : {std::size_t{0}, ldif.find("map ann") + 3, ldif.size() - 2}) {
    SearchOptions options;
    options.cutAfterLoad = static_cast<long>(keep);
    RunResult result = SearchLdif(ldif, "map", options);
    EXPECT_EQ(result.out, expected) << keep;
    EXPECT_EQ(result.err, "") << keep;
    EXPECT_EQ(result.exitStatus, 0) << keep;
  }
}

// --- A million lines, the last one bad --------------------------------------

struct LastLineCase {
  const char* title;
  const char* line;
  const char* message;
};

const LastLineCase kLastLineCases[] = {
    {"no colon", "this line is bad", "line is neither an attribute nor a continuation"},
    {"bad base64", "loginScript:: ***", "bad base64 value: a byte outside the base64 alphabet"},
    {"change record", "changetype: delete",
     "change record (\"changetype: delete\"): a tree must be exported as entries, not as changes"},
    {"second DN", "dn: cn=u0,o=Big", "missing blank line before \"dn:\""},
};

class MillionLines : public testing::TestWithParam<LastLineCase> {};

TEST_P(MillionLines, BadLastLineStopsTheToolBeforeAnyReport) {
  // Lines 1-3: the top; 4-999,995: 249,998 records of four lines;
  // 999,996-999,998: one of three; 999,999: the last DN; 1,000,000: the bad line.
  std::string ldif = "dn: o=Big\nobjectClass: organization\n\n";
  ldif.reserve(32u << 20);
  for (int i = 0; i < 249998; ++i) {
    std::string number = std::to_string(i);
    ldif += "dn: cn=u" + number + ",o=Big\nobjectClass: person\nloginScript: map " + number + "\n\n";
  }
  ldif += "dn: cn=next,o=Big\nobjectClass: person\n\ndn: cn=last,o=Big\n";
  ldif += GetParam().line;
  ldif += '\n';

  RunResult result = SearchLdif(ldif, "map");
  EXPECT_EQ(result.out, kMalformed);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, std::string("qovant: PATH:1000000: ") + GetParam().message + "\n");
}

INSTANTIATE_TEST_SUITE_P(Table, MillionLines, testing::ValuesIn(kLastLineCases),
                         TitleName<LastLineCase>);

}  // namespace
}  // namespace qovant_test
