// The LDIF loader: every syntax that content records may use, and the
// errors that stop a load, each with its line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "capture.h"
#include "ldif/ldif_loader.h"
#include "client/tree_client.h"
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
  dirclient::Failure ReadBlock(char* dest, std::size_t size, std::size_t* got) override {
    EXPECT_GT(size, 0u) << "a read of nothing would look like the end";
    dirclient::Failure failure;
    if (at_ >= failAt_) {
      failure.status = dirclient::kTreeUnreadable;
      failure.message = kReadError;
      return failure;
    }
    *got = text_.copy(dest, std::min({size, failAt_ - at_, perCall_ ? perCall_ : size}), at_);
    at_ += *got;
    return failure;
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

std::unique_ptr<LoadedTree> Load(const std::string& ldif, dirclient::Failure* error,
                                 std::size_t block = 0, std::size_t failAt = SIZE_MAX) {
  auto loaded = std::make_unique<LoadedTree>();
  StringReader reader(ldif, block % 4, failAt);
  bool ok = block ? LoadLdif(reader, loaded->tree, error, nullptr, block)
                  : LoadLdif(ldif, loaded->tree, error);
  return ok ? std::move(loaded) : nullptr;
}

// Loads the LDIF and runs the tool over it.
std::string Search(const std::string& ldif, const char* text, std::size_t block = 0) {
  dirclient::Failure error;
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
      {"base64 in whole groups", "dn: o=Acme\nloginScript:: bWFwIHg6\n", "Acme (MAP X:)\n"},
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
      {"several blank lines and no final line end", "\n\ndn: o=Acme\nobjectClass: organization\n\n\n\ndn: cn=A,o=Acme\nloginScript: map", "A.Acme (MAP)\n"},
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
      // Export forms that real tools write.
      {"add records, with controls, mixed with content records",
       "version: 1  \n# written by an export tool\ndn: o=Acme\nchangetype: add\nobjectClass: organization\n\n"
       "dn: cn=A,o=Acme\ncontrol: 1.2.840.113556.1.4.805 true\nchangetype: ADD\nloginScript: map a\n\n"
       "dn: cn=B,o=Acme\nloginScript: map b\n",
       "A.Acme (MAP A)\nB.Acme (MAP B)\n"},
      {"UTF-8 byte-order mark", "\xEF\xBB\xBFversion: 1\ndn: o=Acme\nloginScript: map\n", "Acme (MAP)\n"},
      {"root DSE is no object", "dn:\nnamingContexts: o=Acme\n\ndn: o=Acme\nloginScript: map\n", "Acme (MAP)\n"},
      {"quoted RDN value", "dn: cn=\"Smith, John\",o=Acme\nloginScript: map\n", "Smith, John.Acme (MAP)\n"},
      {"attributes read by nobody bend the grammar",
       "dn: o=Acme\nmember;range=0-1499: cn=x\nms_attr: 1\nphoto:: AAAA  \nloginScript: map\n", "Acme (MAP)\n"},
      // An entry spells its own name, whatever spelling came first.
      {"own spelling after a child's",
       "dn: cn=A,ou=SALES,o=acme\nloginScript: map a\n\ndn: OU=Sales,O=Acme\nloginScript: map s\n\n"
       "dn: o=Acme\nobjectClass: organization\n",
       "Sales.Acme (MAP S)\nA.Sales.Acme (MAP A)\n"},
      {"ldapsearch output, paged",
       "# extended LDIF\n#\n# with pagedResults control: size=1\n#\n\n# Acme\ndn: o=Acme\nloginScript: map\n\n"
       "# search result\nsearch: 2\nresult: 0 Success\ncontrol: 1.2.840.113556.1.4.319 false MA0CAQ==\n"
       "pagedresults: cookie=AQAAAA==\n# extended LDIF\n#\n# with pagedResults control: size=1\n#\n\n"
       "dn: cn=A,o=Acme\nloginScript: map a\n\n# search result\nsearch: 3\nresult: 0 Success\n"
       "control: 1.2.840.113556.1.4.319 false MAUCAQAEAA==\npagedresults: cookie=\n\n# numEntries: 2\n",
       "Acme (MAP)\nA.Acme (MAP A)\n"},
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
      dirclient::Failure error;
      EXPECT_TRUE(!Load(ldif, &error, block, failAt) && error.status == dirclient::kTreeUnreadable && error.message == kReadError)
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
  const char* kNoAttributes =
      "entry without attributes: the file was cut after this \"dn:\" line, or the export left "
      "out objectClass";
  const char* kOutsideAlphabet = "bad base64 value: a byte outside the base64 alphabet";
  const char* kNotWholeGroups =
      "bad base64 value: its length is not a multiple of 4, as when a file is cut inside it";
  const char* kLdapsearchCut = "ldapsearch output without its final result record: the file was cut";
  return {
      {"change record", "dn: o=Acme\nchangetype: modify\nreplace: loginScript\n", 2,
       "change record (\"changetype: modify\"): a tree must be exported as entries, not as changes"},
      {"change record for a DN already read", "dn: o=Acme\nobjectClass: top\n\ndn: o=Acme\ncontrol: 1.2.3\nchangetype: delete\n",
       6, "change record (\"changetype: delete\"): a tree must be exported as entries, not as changes"},
      {"unknown change type", "dn: o=Acme\nchangetype: \x1b[2J\n", 2,
       "change record (an unknown change type): a tree must be exported as entries, not as changes"},
      {"control line on a content record", "dn: o=Acme\ncontrol: 1.2.3\nobjectClass: top\n", 3,
       "\"control:\" line outside a change record"},
      {"URL value", "dn: o=Acme\nloginScript:< file:///etc/passwd\n", 2, "URL values (\":<\") are not supported"},
      {"DN that does not parse", "dn: o=Acme\nobjectClass: top\n\ndn: cn=A,,o=Acme\n", 4, "DN does not parse"},
      {"DN without a type", "dn: =Acme\n", 1, "DN does not parse"},
      {"line without colon", "dn: o=Acme\nthis is text\n", 2, "line is neither an attribute nor a continuation"},
      {"change separator", "dn: o=Acme\n-\n", 2, "line is neither an attribute nor a continuation"},
      {"bad attribute name", "dn: o=Acme\nlogin script: x\n", 2, "line is neither an attribute nor a continuation"},
      {"read attribute with a bad option", "dn: o=Acme\nloginScript;range=0-9: x\n", 2,
       "line is neither an attribute nor a continuation"},
      {"bad base64 character", "dn: o=Acme\nloginScript:: bWF*IHg6\n", 2, kOutsideAlphabet},
      {"base64 cut short", "dn: o=Acme\nloginScript:: bWFwI\n", 2, kNotWholeGroups},
      {"base64 without its padding", "dn: o=Acme\nloginScript:: bWFwIHg\n", 2, kNotWholeGroups},
      {"folded base64 cut short", "dn: o=Acme\nloginScript:: bWFw\n IHg\n", 2, kNotWholeGroups},
      {"base64 padding inside the value", "dn: o=Acme\nloginScript:: bWE=IHg6\n", 2,
       "bad base64 value: \"=\" before its end"},
      {"base64 padding after blanks in a read attribute", "dn: o=Acme\nloginScript:: bWFwIHg6 \n", 2,
       kOutsideAlphabet},
      {"bad base64 in another attribute", "dn: o=Acme\nobjectClass: top\n\ndn: cn=A,o=Acme\nphoto:: ====\n", 5,
       "bad base64 value: more than two \"=\" at its end"},
      {"bad base64 DN", "dn:: %%%%\n", 1, kOutsideAlphabet},
      {"DN over 64 KiB", "dn: cn=" + std::string(65536, 'x') + "\nobjectClass: top\n", 1,
       "DN longer than 64 KiB"},
      {"entry cut after its DN", "dn: o=Acme\nobjectClass: top\n\ndn: cn=A,o=Acme\n", 4, kNoAttributes},
      {"add record without attributes", "dn: o=Acme\nchangetype: add\n\n", 1, kNoAttributes},
      {"no entries at all", "", 1, "the file holds no entries"},
      {"nothing but the root DSE", "version: 1\n\ndn:\nobjectClass: top\n", 4, "the file holds no entries"},
      {"UTF-16 with its mark", std::string("\xFF\xFE" "d\0n\0:\0", 8), 1,
       "the file is UTF-16 (little-endian), not UTF-8: convert it first, for example with iconv -f UTF-16 -t UTF-8"},
      {"UTF-16 big-endian without a mark", std::string("\0d\0n\0:", 6), 1,
       "the file is UTF-16 (big-endian), not UTF-8: convert it first, for example with iconv -f UTF-16 -t UTF-8"},
      {"ldapsearch output cut inside an entry",
       "# extended LDIF\n\ndn: o=Acme\nobjectClass: top\n\n# search result\nsearch: 2\nresult: 0 Success\n\ndn: cn=A,o=Acme\nobjectClass: top\n",
       11, kLdapsearchCut},
      {"ldapsearch output cut in its trailer", "# extended LDIF\n\ndn: o=Acme\nobjectClass: top\n\n# search result\nsearch: 2\n",
       7, "search result record without its \"result:\" line"},
      {"ldapsearch output cut between pages",
       "# extended LDIF\n# with pagedResults control: size=1\n\ndn: o=Acme\nobjectClass: top\n\n# search result\nsearch: 2\n"
       "result: 0 Success\npagedresults: cookie=AQAAAA==\n",
       10, "ldapsearch output that ends before the last page of its search: the file was cut"},
      {"ldapsearch output without its result",
       "# extended LDIF\n\ndn: o=Acme\nobjectClass: top\n\n# numEntries: 1\n", 6, kLdapsearchCut},
      {"duplicate DN", "dn: o=Acme\nobjectClass: top\n\n# again\ndn: O=acme\nobjectClass: top\n", 5,
       "duplicate DN (first at line 1)"},
      // The DN's line comes first, whichever part of the load finds what.
      {"duplicate DN before a bad attribute", "dn: o=Acme\nobjectClass: top\n\ndn: o=Acme\nno colon\n", 4,
       "duplicate DN (first at line 1)"},
      {"duplicate DN without attributes", "dn: o=Acme\nobjectClass: top\n\ndn: o=Acme\n", 4,
       "duplicate DN (first at line 1)"},
      // Siblings in a row are looked up one behind the other.
      {"duplicate sibling in a row",
       "dn: o=Acme\nobjectClass: top\n\ndn: ou=X,o=Acme\nobjectClass: top\n\ndn: cn=A,o=Acme\nobjectClass: top\n\n"
       "dn: CN=a,o=Acme\nobjectClass: top\n",
       10, "duplicate DN (first at line 7)"},
      {"duplicate sibling before a bad DN",
       "dn: o=Acme\nobjectClass: top\n\ndn: ou=X,o=Acme\nobjectClass: top\n\ndn: cn=A,o=Acme\nobjectClass: top\n\n"
       "dn: cn=A,o=Acme\nobjectClass: top\n\ndn: cn=A+,o=Acme\nobjectClass: top\n",
       10, "duplicate DN (first at line 7)"},
      {"duplicate in a later block of a unit's people",
       "dn: ou=X,o=Acme\nobjectClass: organizationalUnit\n\ndn: ou=Y,o=Acme\nobjectClass: organizationalUnit\n\n"
       "dn: cn=A,ou=X,o=Acme\nobjectClass: top\n\ndn: cn=B,ou=Y,o=Acme\nobjectClass: top\n\n"
       "dn: cn=a,ou=X,o=Acme\nobjectClass: top\n",
       13, "duplicate DN (first at line 7)"},
      {"record without dn", "objectClass: top\n", 1, "record does not begin with \"dn:\""},
      {"version in the middle", "dn: o=A\nobjectClass: top\n\nversion: 1\n", 4, "record does not begin with \"dn:\""},
      {"unsupported version", "version: 2\ndn: o=A\n", 1, "unsupported LDIF version"},
      {"continuation after a blank line", "dn: o=A\nobjectClass: top\n\n continued\n", 4,
       "continuation line with nothing to continue"},
      {"continuation at the start", " dn: o=A\n", 1, "continuation line with nothing to continue"},
      {"line number counts folded lines", "dn: o=A\ndescription: a\n b\n c\nbad\n", 5,
       "line is neither an attribute nor a continuation"},
  };
}

class LdifError : public testing::TestWithParam<ErrorCase> {};

TEST_P(LdifError, StopsTheLoadAtItsLineInAnyBlocks) {
  for (std::size_t block = 0; block <= kLargestBlock; ++block) {
    SCOPED_TRACE("block " + std::to_string(block));
    dirclient::Failure error;
    EXPECT_EQ(Load(GetParam().ldif, &error, block), nullptr);
    EXPECT_EQ(error.line, GetParam().line);
    EXPECT_EQ(error.message, GetParam().message);
    EXPECT_EQ(error.status, dirclient::kTreeMalformed);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LdifError, testing::ValuesIn(ErrorCases()), TitleName<ErrorCase>);

// Alias targets are resolved once the whole input is read, long after the
// block that held them was reused.
TEST(LdifFlagsTest, ContainersAndAliasesFollowClassesAndTargets) {
  for (std::size_t block = 0; block <= kLargestBlock; ++block) {
    SCOPED_TRACE("block " + std::to_string(block));
    dirclient::Failure error;
    auto loaded = Load(
        "dn: o=Acme\nobjectClass: Organization\n\n"
        "dn: ou=Empty,o=Acme\nobjectClass: organizationalUnit\n\n"
        "dn: cn=Leaf,o=Acme\nobjectClass: person\n\n"
        "dn: cn=ToUnit,o=Acme\nobjectClass: ALIAS\naliasedObjectName: OU=empty,o=acme\n\n"
        "dn: cn=ToLeaf,o=Acme\nobjectClass: alias\naliasedObjectName: cn=Leaf,o=Acme\n\n"
        "dn: cn=ToNothing,o=Acme\nobjectClass: alias\naliasedObjectName: cn=Gone,o=Acme\n\n"
        "dn: cn=Parent,o=Acme\nobjectClass: top\n\ndn: cn=Child,cn=Parent,o=Acme\nobjectClass: top\n",
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
