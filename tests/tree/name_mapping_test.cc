// Distinguished names to dotted names, and dotted names back to components.
#include <gtest/gtest.h>

#include "tree/name_mapping.h"

namespace qovant_test {
namespace {

struct DnCase {
  const char* dn;
  const char* dotted;  // RDNs joined by "."; null when the DN must not parse
};

TEST(NameMappingTest, DnsMapToDottedNames) {
  const DnCase cases[] = {
      {"cn=Ann,ou=Sales,o=Acme", "CN=Ann.OU=Sales.O=Acme"},
      {"dc=example,dc=com", "DC=example.DC=com"},
      {"cn=Ann, ou=Sales ,o = Acme", "CN=Ann.OU=Sales.O=Acme"},  // LDAPv2-era blanks
      {"cn=Ann;o=Acme", "CN=Ann.O=Acme"},
      {"cn=Doe\\, John,o=Acme", "CN=Doe, John.O=Acme"},
      {"cn=a.b,o=x\\+y\\\\z", "CN=a\\.b.O=x\\+y\\\\z"},
      {"cn=J\\C3\\BCrgen,o=A", "CN=J\xc3\xbcrgen.O=A"},
      {"cn=\\00nul,o=A", "CN=\\00nul.O=A"},
      {"cn=\\ lead\\ ,o=A", "CN= lead .O=A"},
      {"cn=trail  ,o=A", "CN=trail.O=A"},
      {"cn=Ann+uid=7,o=A", "CN=Ann+UID=7.O=A"},
      {"uid=#04024869,o=A", "UID=#04024869.O=A"},
      {"2.5.4.3=Ann,o=A", "2\\.5\\.4\\.3=Ann.O=A"},
      {"cn=,o=A", "CN=.O=A"},
      {"cn=a=b,o=A", "CN=a=b.O=A"},
      {"", ""},
      {"cn=A,,o=B", nullptr},
      {"=A", nullptr},
      {"cn", nullptr},
      {"cn=a\"b", nullptr},
      {"cn=a<b", nullptr},
      {"cn=a\\", nullptr},
      {"cn=a\\4", nullptr},
      {"cn=a\\q", nullptr},
      {"uid=#123,o=A", nullptr},
      {"2.5.=A", nullptr},
      {"cn=A,", nullptr},
  };
  dirclient::DnParser parser;
  for (const DnCase& c : cases) {
    bool parsed = parser.Parse(c.dn);
    EXPECT_EQ(parsed, c.dotted != nullptr) << c.dn;
    if (!parsed || !c.dotted) continue;
    std::string dotted;
    for (size_t i = 0; i < parser.RdnCount(); ++i) {
      if (i) dotted += '.';
      dotted += parser.Rdn(i);
    }
    EXPECT_EQ(dotted, c.dotted) << c.dn;
  }
}

TEST(NameMappingTest, DottedNamesSplitAtUnescapedDots) {
  std::vector<std::string_view> parts;
  ASSERT_TRUE(dirclient::SplitDottedName("CN=a\\.b.O=x\\\\.DC=c", parts));
  EXPECT_EQ(parts, (std::vector<std::string_view>{"CN=a\\.b", "O=x\\\\", "DC=c"}));
  for (const char* bad : {"", ".O=A", "O=A.", "CN=a..O=b", "noequals", "=x", "O=a\\"})
    EXPECT_FALSE(dirclient::SplitDottedName(bad, parts)) << bad;
}

}  // namespace
}  // namespace qovant_test
