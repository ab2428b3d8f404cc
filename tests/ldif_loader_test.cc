// The LDIF loader: every syntax that content records may use, and the
// errors that stop a load, each with its line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "capture.h"
#include "dirclient/ldif_loader.h"
#include "dirclient/tree_client.h"
#include "param_name.h"

namespace qovant_test {
namespace {

using dirclient::LoadedTree;
using dirclient::LoadLdif;

const char kReadError[] = "Input/output error";

// Hands `text` over at most `perCall` bytes a call (0: as much as asked),
// and fails once `failAt` bytes have gone.
class StringReader : public dirclient::BlockReader {
 public:
  StringReader(std::string_view text, std::size_t perCall, std::size_t failAt = SIZE_MAX)
      : text_(text), perCall_(perCall), failAt_(failAt) {}
  bool ReadBlock(char* dest, std::size_t size, std::size_t* got, std::string* error) override {
    EXPECT_GT(size, 0u) << "a read of nothing would look like the end";
    if (at_ >= failAt_) {
      *error = kReadError;
      return false;
    }
    *got = text_.copy(dest, std::min({size, failAt_ - at_, perCall_ ? perCall_ : size}), at_);
    at_ += *got;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t perCall_, failAt_, at_ = 0;
};

// The text reaches the loader all at once (block 0), or through a reader
// in blocks of 1 to 80 bytes that gives 1 to 3 bytes a call for three sizes
// in four. Each size ends blocks at other places: across them, inside every
// token and right after each line of a folded value.
constexpr std::size_t kLargestBlock = 80;

std::unique_ptr<LoadedTree> Load(const std::string& ldif, dirclient::LdifError* error,
                                 std::size_t block = 0, std::size_t failAt = SIZE_MAX) {
  auto loaded = std::make_unique<LoadedTree>();
  StringReader reader(ldif, block % 4, failAt);
  bool ok = block ? LoadLdif(reader, loaded->tree, error, nullptr, block)
                  : LoadLdif(ldif, loaded->tree, error);
  return ok ? std::move(loaded) : nullptr;
}

// Loads the LDIF and runs the tool over it.
std::string Search(const std::string& ldif, const char* text, std::size_t block = 0) {
  dirclient::LdifError error;
  auto loaded = Load(ldif, &error, block);
  if (!loaded) return "load failed at line " + std::to_string(error.line) + ": " + error.message;
  dirclient::TreeClient client(std::move(loaded));
  return RunTool(client, {text}).out;
}

struct SyntaxCase {
  const char* title;
  std::string ldif;
  std::string expected;  // report for the search "map"
};

std::vector<SyntaxCase> SyntaxCases() {
  return {
      {"plain value", "dn: o=Acme\nloginScript: map x:\n", "Acme (MAP X:)\n"},
      {"version line and comments", "# export\nversion: 1\n# about Acme\ndn: o=Acme\n# inside\nloginScript: map x:\n",
       "Acme (MAP X:)\n"},
      {"version line right before a record", "version: 1\ndn: o=Acme\nloginScript: map\n", "Acme (MAP)\n"},
      {"CRLF line ends", "dn: o=Acme\r\nloginScript: map x:\r\n\r\ndn: cn=B,o=Acme\r\nloginScript: map b\r\n",
       "Acme (MAP X:)\nB.Acme (MAP B)\n"},
      {"base64 CRLF script", "dn: o=Acme\nloginScript:: V1JJVEUgMQ0KbWFwIHg6DQo=\n", "Acme (MAP X:)\n"},
      {"base64 without padding", "dn: o=Acme\nloginScript:: bWFwIHg6\n", "Acme (MAP X:)\n"},
      {"folded base64 value", "dn: o=Acme\nloginScript:: V1JJVEUgMQ0Kb\n WFwIHg6DQo=\n", "Acme (MAP X:)\n"},
      {"base64 folded over many CRLF lines", "dn: o=Acme\r\nloginScript:: V1JJVEUgMQ0K\r\n UkVNIHRoZSBk\r\n cml2ZXMgZXZl\r\n cnkgb2ZmaWNl\r\n IG1hcHMNCm1h\r\n cCB4Og0KZW5k\r\n DQo=\r\n\r\ndn: cn=B,o=Acme\r\nloginScript: map b\r\n",
       "Acme (REM THE DRIVES EVERY OFFICE MAPS)\nB.Acme (MAP B)\n"},
      {"fold inside the attribute name", "dn: o=Acme\nlogin\n Script: map x:\n", "Acme (MAP X:)\n"},
      {"fold between the colons", "dn: o=Acme\nloginScript:\n : bWFwIHg6\n", "Acme (MAP X:)\n"},
      {"fold with CRLF", "dn: o=Acme\r\nloginScript: ma\r\n p x:\r\n", "Acme (MAP X:)\n"},
      {"folded comment", "# a comment\n that goes on\ndn: o=Acme\nloginScript: map\n", "Acme (MAP)\n"},
      {"base64 DN", "dn:: bz1BY21l\nloginScript: map\n", "Acme (MAP)\n"},
      {"attribute options and case", "dn: o=Acme\nLOGINSCRIPT;binary: map z\n", "Acme (MAP Z)\n"},
      {"first value is the script", "dn: o=Acme\nloginScript: map 1\nloginScript: map 2\n", "Acme (MAP 1)\n"},
      {"empty value reads 0 bytes", "dn: o=Acme\nloginScript:\n", ""},
      {"several blank lines and no final line end", "\n\ndn: o=Acme\n\n\n\ndn: cn=A,o=Acme\nloginScript: map", "A.Acme (MAP)\n"},
      {"ancestors without entries are containers", "dn: cn=A,ou=X,o=Acme\nloginScript: map a\n", "A.X.Acme (MAP A)\n"},
      {"order of first mention", "dn: cn=B,o=Y\nloginScript: map b\n\ndn: o=X\nloginScript: map x\n\ndn: o=Y\nloginScript: map y\n",
       "Y (MAP Y)\nB.Y (MAP B)\nX (MAP X)\n"},
      {"dc-style suffix", "dn: cn=A,dc=example,dc=com\nloginScript: map\n", "A.Dexample.Dcom (MAP)\n"},
      {"aliases are skipped", "dn: o=Acme\nobjectClass: organization\n\ndn: cn=L,o=Acme\nobjectClass: alias\nloginScript: map\naliasedObjectName: o=Acme\n",
       ""},
      {"DN matching ignores case", "dn: o=Acme\nloginScript: map o\n\ndn: CN=A,O=ACME\nloginScript: map a\n", "Acme (MAP O)\nA.Acme (MAP A)\n"},
      {"escaped DN values", "dn: cn=Doe\\2C John+uid=jd,o=A.B\nloginScript: map\n", "Doe, John+UID=jd.A\\.B (MAP)\n"},
      // Units first, their people in blocks after them, in another order
      // (one block spelling its unit's DN otherwise).
      {"people in blocks after all the units",
       "dn: o=Acme\nobjectClass: organization\n\ndn: ou=X,o=Acme\nobjectClass: organizationalUnit\n\n"
       "dn: ou=Y,o=Acme\nobjectClass: organizationalUnit\n\ndn: ou=Z,ou=X,o=Acme\nobjectClass: organizationalUnit\n\n"
       "dn: cn=B,ou=Y,o=Acme\nloginScript: map b\n\ndn: cn=C,ou=Z,ou=X,o=Acme\nloginScript: map c\n\n"
       "dn: cn=A,OU=x, o=Acme\nloginScript: map a\n",
       "C.Z.X.Acme (MAP C)\nA.X.Acme (MAP A)\nB.Y.Acme (MAP B)\n"},
      {"empty file", "", ""},
  };
}

class LdifSyntax : public testing::TestWithParam<SyntaxCase> {};

TEST_P(LdifSyntax, LoadsInAnyBlocksAndFailsWhereverTheReadFails) {
  const std::string& ldif = GetParam().ldif;
  for (std::size_t block = 0; block <= kLargestBlock; ++block) {
    SCOPED_TRACE("block " + std::to_string(block));
    EXPECT_EQ(Search(ldif, "map", block), GetParam().expected);
    // Even at the very end: the bytes before a failed read are not a shorter file.
    for (std::size_t failAt = 0; block && failAt <= ldif.size(); ++failAt) {
      dirclient::LdifError error;
      EXPECT_TRUE(!Load(ldif, &error, block, failAt) && error.readFailed && error.message == kReadError)
          << "fails at " << failAt << ": " << error.message;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LdifSyntax, testing::ValuesIn(SyntaxCases()), TitleName<SyntaxCase>);

struct ErrorCase {
  const char* title;
  std::string ldif;
  uint64_t line;
  const char* message;
};

std::vector<ErrorCase> ErrorCases() {
  return {
      {"change record", "dn: o=Acme\nchangetype: add\nloginScript: x\n", 2, "change records are not supported"},
      {"control line", "dn: o=Acme\ncontrol: 1.2.3\nchangetype: delete\n", 2, "change records are not supported"},
      {"URL value", "dn: o=Acme\nloginScript:< file:///etc/passwd\n", 2, "URL values (\":<\") are not supported"},
      {"DN that does not parse", "dn: o=Acme\n\ndn: cn=A,,o=Acme\n", 3, "DN does not parse"},
      {"DN without a type", "dn: =Acme\n", 1, "DN does not parse"},
      {"empty DN", "dn:\nobjectClass: top\n", 1, "empty DN"},
      {"line without colon", "dn: o=Acme\nthis is text\n", 2, "line is neither an attribute nor a continuation"},
      {"change separator", "dn: o=Acme\n-\n", 2, "line is neither an attribute nor a continuation"},
      {"bad attribute name", "dn: o=Acme\nlogin script: x\n", 2, "line is neither an attribute nor a continuation"},
      {"bad base64 character", "dn: o=Acme\nloginScript:: bWF*IHg6\n", 2, "bad base64 value"},
      {"bad base64 length", "dn: o=Acme\nloginScript:: bWFwI\n", 2, "bad base64 value"},
      {"bad base64 in another attribute", "dn: o=Acme\n\ndn: cn=A,o=Acme\nphoto:: ===\n", 4, "bad base64 value"},
      {"bad base64 DN", "dn:: %%%\n", 1, "bad base64 value"},
      {"duplicate DN", "dn: o=Acme\n\n# again\ndn: O=acme\n", 4, "duplicate DN (first at line 1)"},
      // The DN's line comes first, whichever part of the load finds what.
      {"duplicate DN before a bad attribute", "dn: o=Acme\n\ndn: o=Acme\nno colon\n", 3,
       "duplicate DN (first at line 1)"},
      // Siblings in a row are looked up one behind the other.
      {"duplicate sibling in a row", "dn: o=Acme\n\ndn: ou=X,o=Acme\n\ndn: cn=A,o=Acme\n\ndn: CN=a,o=Acme\n",
       7, "duplicate DN (first at line 5)"},
      {"duplicate sibling before a bad DN",
       "dn: o=Acme\n\ndn: ou=X,o=Acme\n\ndn: cn=A,o=Acme\n\ndn: cn=A,o=Acme\n\ndn: cn=A+,o=Acme\n", 7,
       "duplicate DN (first at line 5)"},
      {"duplicate in a later block of a unit's people",
       "dn: ou=X,o=Acme\nobjectClass: organizationalUnit\n\ndn: ou=Y,o=Acme\nobjectClass: organizationalUnit\n\n"
       "dn: cn=A,ou=X,o=Acme\n\ndn: cn=B,ou=Y,o=Acme\n\ndn: cn=a,ou=X,o=Acme\n",
       11, "duplicate DN (first at line 7)"},
      {"record without dn", "objectClass: top\n", 1, "record does not begin with \"dn:\""},
      {"version in the middle", "dn: o=A\n\nversion: 1\n", 3, "record does not begin with \"dn:\""},
      {"unsupported version", "version: 2\ndn: o=A\n", 1, "unsupported LDIF version"},
      {"continuation after a blank line", "dn: o=A\n\n continued\n", 3, "continuation line with nothing to continue"},
      {"continuation at the start", " dn: o=A\n", 1, "continuation line with nothing to continue"},
      {"line number counts folded lines", "dn: o=A\ndescription: a\n b\n c\nbad\n", 5,
       "line is neither an attribute nor a continuation"},
  };
}

class LdifError : public testing::TestWithParam<ErrorCase> {};

TEST_P(LdifError, StopsTheLoadAtItsLineInAnyBlocks) {
  for (std::size_t block = 0; block <= kLargestBlock; ++block) {
    SCOPED_TRACE("block " + std::to_string(block));
    dirclient::LdifError error;
    EXPECT_EQ(Load(GetParam().ldif, &error, block), nullptr);
    EXPECT_EQ(error.line, GetParam().line);
    EXPECT_EQ(error.message, GetParam().message);
    EXPECT_FALSE(error.readFailed);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LdifError, testing::ValuesIn(ErrorCases()), TitleName<ErrorCase>);

// Alias targets are resolved once the whole input is read, long after the
// block that held them was reused.
TEST(LdifFlagsTest, ContainersAndAliasesFollowClassesAndTargets) {
  for (std::size_t block = 0; block <= kLargestBlock; ++block) {
    SCOPED_TRACE("block " + std::to_string(block));
    dirclient::LdifError error;
    auto loaded = Load(
        "dn: o=Acme\nobjectClass: Organization\n\n"
        "dn: ou=Empty,o=Acme\nobjectClass: organizationalUnit\n\n"
        "dn: cn=Leaf,o=Acme\nobjectClass: person\n\n"
        "dn: cn=ToUnit,o=Acme\nobjectClass: ALIAS\naliasedObjectName: OU=empty,o=acme\n\n"
        "dn: cn=ToLeaf,o=Acme\nobjectClass: alias\naliasedObjectName: cn=Leaf,o=Acme\n\n"
        "dn: cn=ToNothing,o=Acme\nobjectClass: alias\naliasedObjectName: cn=Gone,o=Acme\n\n"
        "dn: cn=Parent,o=Acme\n\ndn: cn=Child,cn=Parent,o=Acme\n",
        &error, block);
    ASSERT_NE(loaded, nullptr) << error.message;
    const dirclient::DirTree& tree = loaded->tree;
    auto flags = [&](const char* name) {
      bool parsed;
      return tree.Flags(tree.Resolve(dirclient::DirTree::kRoot, name, &parsed));
    };
    using namespace dirclient;  // NOLINT: flag names only
    EXPECT_EQ(flags("O=Acme"), kFlagContainer);
    EXPECT_EQ(flags("OU=Empty.O=Acme"), kFlagContainer);
    EXPECT_EQ(flags("CN=Leaf.O=Acme"), 0u);
    EXPECT_EQ(flags("CN=ToUnit.O=Acme"), kFlagAlias | kFlagContainerAlias);
    EXPECT_EQ(flags("CN=ToLeaf.O=Acme"), kFlagAlias);
    EXPECT_EQ(flags("CN=ToNothing.O=Acme"), kFlagAlias);
    EXPECT_EQ(flags("CN=Parent.O=Acme"), kFlagContainer);
  }
}

}  // namespace
}  // namespace qovant_test
