// The script check and the report line, through the whole run against a
// fake tree of one object, so that every case shows its exact output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>

#include "capture.h"
#include "fake_dir_client.h"
#include "param_name.h"
#include "tool/login_script.h"

namespace qovant_test {
namespace {

using dirclient::kFlagContainer;

struct ScriptCase {
  const char* title;
  const char* search;
  std::string script;
  std::string expected;  // whole standard output
};

class ScriptCheck : public testing::TestWithParam<ScriptCase> {};

TEST_P(ScriptCheck, WritesTheExpectedReport) {
  const ScriptCase& c = GetParam();
  FakeDirClient client;
  std::string acme = client.Add("[Root]", "O=Acme", kFlagContainer);
  client.Add(acme, "CN=Ann", 0, c.script);
  RunResult result = RunTool(client, {c.search});
  EXPECT_EQ(result.out, c.expected);
  EXPECT_EQ(result.exitStatus, 0);
}

std::string Repeat(char c, size_t n) { return std::string(n, c); }

std::vector<ScriptCase> ScriptCases() {
  return {
    {"first line", "hello", "Write Hello world\r\nMAP X:\r\n", "Ann.Acme (WRITE HELLO WORLD)\n"},
    {"second CRLF line", "map", "WRITE 1\r\nmap x:=fs1/sys\r\nEND\r\n", "Ann.Acme (MAP X:=FS1/SYS)\n"},
    {"LF lines", "map", "a\nmap y:\nb\n", "Ann.Acme (MAP Y:)\n"},
    {"CR-only lines", "map", "a\rmap y:\rb", "Ann.Acme (MAP Y:)\n"},
    {"leading empty line", "map", "\r\nmap z:", "Ann.Acme (MAP Z:)\n"},
    {"first of several matches", "map", "map a:\r\nmap b:\r\n", "Ann.Acme (MAP A:)\n"},
    {"no match", "drive", "map a:\r\n", ""},
    {"empty script", "", "", ""},
    {"empty search, first line", "", "first\r\nsecond", "Ann.Acme (FIRST)\n"},
    {"empty search, empty first line", "", "\r\nsecond", "Ann.Acme ()\n"},
    {"empty search, zero first byte", "", std::string("\0abc", 4), "Ann.Acme ()\n"},
    {"zero byte hides the rest", "map", std::string("echo\0map x:", 11), ""},
    {"search text with a line break cuts inside the match", "a\nb", "xa\nb\n", "Ann.Acme (XA)\n"},
    {"case ignored both ways", "HeLLo", "say hEllO", "Ann.Acme (SAY HELLO)\n"},
    {"match at byte 60000 is beyond the read", "zz", Repeat('a', 60000) + "zz", ""},
    {"line running past byte 60000 is cut there", "map",
     Repeat('a', 10) + "\nmap " + Repeat('b', 60000),
     "Ann.Acme (MAP " + Repeat('B', 60000 - 15) + ")\n"},
    {"Latin-1 bytes stay in the C locale", "\xe9t\xe9", "\xe9T\xe9 ici", "Ann.Acme (\xe9T\xe9 ICI)\n"},
  };
}

INSTANTIATE_TEST_SUITE_P(Cases, ScriptCheck, testing::ValuesIn(ScriptCases()),
                         TitleName<ScriptCase>);

TEST(ScriptCheckTest, LatinLettersFoldInASingleByteLatinLocale) {
  for (uint32_t codePage : {dirclient::kCodePageLatin1, dirclient::kCodePageWindows1252}) {
    FakeDirClient client;
    client.codePage = codePage;
    client.Add("[Root]", "CN=Z\xe9", 0, "\xe9t\xe9 ici");
    EXPECT_EQ(RunTool(client, {"\xc9T\xc9"}).out, "Z\xe9 (\xc9T\xc9 ICI)\n");
  }
  FakeDirClient utf8;
  utf8.codePage = dirclient::kCodePageUtf8;
  utf8.Add("[Root]", "CN=Z", 0, "\xc3\xa9t\xc3\xa9");
  EXPECT_EQ(RunTool(utf8, {"\xc3\x89T\xc3\x89"}).out, "");  // UTF-8 is never altered
}

TEST(ScriptCheckTest, ObjectWithoutScriptIsSilentAndReadsNothing) {
  FakeDirClient client;
  client.Add("[Root]", "CN=Ann", 0);
  RunResult result = RunTool(client, {""});
  EXPECT_EQ(result.out, "");
  for (const std::string& call : client.calls) EXPECT_NE(call.rfind("DirReadStream", 0), 0u);
}

TEST(ScriptCheckTest, OneReadOf60000BytesThenClose) {
  FakeDirClient client;
  client.Add("[Root]", "CN=Ann", 0, "x");
  RunTool(client, {"x"});
  std::vector<std::string> expected = {"DirOpenAttributeStream CN=Ann \"Login Script\" 1",
                                       "DirReadStream 60000", "DirCloseStream"};
  auto open = std::find(client.calls.begin(), client.calls.end(), expected[0]);
  ASSERT_NE(open, client.calls.end());
  EXPECT_EQ(std::vector<std::string>(open, open + 3), expected);
}

// Terminal output shows control bytes of directory data as "?"; piped
// output keeps every byte.
TEST(ScriptCheckTest, ControlBytesAreMaskedOnlyOnATerminal) {
  FakeDirClient client;
  client.Add("[Root]", "CN=A\x1b]0;x\x07", 0, "map\x1b[2J\tx\x7f");
  EXPECT_EQ(RunTool(client, {"map"}, true).out, "A?]0;x? (MAP?[2J\tX?)\n");
  FakeDirClient piped;
  piped.Add("[Root]", "CN=A\x1b", 0, "map\x1b");
  EXPECT_EQ(RunTool(piped, {"map"}, false).out, "A\x1b (MAP\x1b)\n");
}

struct DisplayCase {
  const char* fullName;
  const char* display;
};

TEST(MakeDisplayNameTest, DeletesTheFourTypeTextsInOrder) {
  const DisplayCase cases[] = {
      {"CN=Ann.OU=Sales.O=Acme", "Ann.Sales.Acme"},
      {"O=Acme", "Acme"},
      {"CN=ABC=1.O=X", "AB1.X"},
      {"DC=example.DC=com", "Dexample.Dcom"},
      {"UID=frank.L=Berlin.C=DE", "UID=frank.L=Berlin.DE"},
      {"CCN=N=x", "x"},      // a deletion that makes a new occurrence
      {"OCN=U=y", "y"},      // "CN=" goes first, leaving "OU="
      {"cn=lower.o=case", "cn=lower.o=case"},
      {"", ""},
  };
  for (const DisplayCase& c : cases) {
    char text[64];
    std::snprintf(text, sizeof text, "%s", c.fullName);
    qovant::MakeDisplayName(text);
    EXPECT_STREQ(text, c.display) << c.fullName;
  }
}

// The one-pass deletion must give what deleting the first occurrence, over
// and over, gives: compare with that literal reading on random names.
void DeleteFirstOccurrences(std::string& text, const std::string& pattern) {
  for (size_t at; (at = text.find(pattern)) != std::string::npos;) text.erase(at, pattern.size());
}

TEST(MakeDisplayNameTest, AgreesWithRepeatedDeletionOnRandomNames) {
  std::mt19937 random(7);
  const char alphabet[] = "CNOU=.x";
  for (int round = 0; round < 20000; ++round) {
    std::string name(random() % 24, ' ');
    for (char& c : name) c = alphabet[random() % (sizeof alphabet - 1)];
    std::string expected = name;
    for (const char* pattern : {"CN=", "OU=", "C=", "O="}) DeleteFirstOccurrences(expected, pattern);
    char text[32];
    std::snprintf(text, sizeof text, "%s", name.c_str());
    qovant::MakeDisplayName(text);
    ASSERT_EQ(text, expected) << name;
  }
}

}  // namespace
}  // namespace qovant_test
