// What the client takes from an LDAP URI: which settings are URIs, the
// servers handed to libldap, the base DN, StartTLS and ldapi.
#include "ldap/ldap_target.h"

#include <gtest/gtest.h>

#include "client/status.h"
#include "param_name.h"

namespace qovant_test {
namespace {

using dirclient::IsLdapUri;
using dirclient::LdapTarget;
using dirclient::ParseLdapTarget;

TEST(LdapTargetTest, OnlyLdapSchemesAreUris) {
  struct Case {
    const char* setting;
    bool uri;
  } cases[] = {
      {"ldap://host/", true},         {"LDAP://HOST", true},
      {"ldaps://host:636/", true},    {"LdApI://%2Frun%2Fldapi", true},
      {"ldap:/host", false},          {"ldapx://host", false},
      {"tree.ldif", false},           {"./ldap://x", false},
      {"", false},                    {"ldap:", false},
      {"cldap://host", false},        {" ldap://host", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsLdapUri(c.setting), c.uri) << c.setting;
}

struct TargetCase {
  const char* title;
  const char* uris;
  const char* servers;
  const char* base;
  bool startTls;
  bool ldapi;
};

// Parameters print as their titles, not as raw bytes.
void PrintTo(const TargetCase& c, std::ostream* out) { *out << c.title; }

class LdapTargetParseTest : public testing::TestWithParam<TargetCase> {};

TEST_P(LdapTargetParseTest, SplitsServersFromBaseAndExtensions) {
  const TargetCase& c = GetParam();
  LdapTarget target;
  dirclient::Failure failure = ParseLdapTarget(c.uris, &target);
  ASSERT_EQ(failure.status, 0) << failure.message;
  EXPECT_EQ(target.servers, c.servers);
  EXPECT_EQ(target.base, c.base);
  EXPECT_EQ(target.startTls, c.startTls);
  EXPECT_EQ(target.ldapi, c.ldapi);
  EXPECT_EQ(target.display, c.uris);
}

INSTANTIATE_TEST_SUITE_P(
    Uris, LdapTargetParseTest,
    testing::Values(
        TargetCase{"host only", "ldap://host", "ldap://host", "", false, false},
        TargetCase{"empty base", "ldap://host:389/", "ldap://host:389", "", false, false},
        // libldap alone would split this base at its commas.
        TargetCase{"base with commas", "ldap://host/ou=Sales,o=Acme", "ldap://host", "ou=Sales,o=Acme",
                   false, false},
        TargetCase{"escaped base", "ldap://h/ou=Build%20Farm,o=A%2CB", "ldap://h", "ou=Build Farm,o=A,B",
                   false, false},
        TargetCase{"scope and filter ignored", "ldap://h/o=Acme?cn?one?(cn=x)", "ldap://h", "o=Acme",
                   false, false},
        TargetCase{"scheme lower-cased", "LDAPS://H:636/o=Acme", "ldaps://H:636", "o=Acme", false, false},
        TargetCase{"ipv6 literal", "ldap://[::1]:3890/o=Acme", "ldap://[::1]:3890", "o=Acme", false, false},
        TargetCase{"ldapi socket", "ldapi://%2Frun%2Fslapd%2Fldapi/o=Acme", "ldapi://%2Frun%2Fslapd%2Fldapi",
                   "o=Acme", false, true},
        TargetCase{"ldapi default socket", "ldapi:///", "ldapi://", "", false, true},
        TargetCase{"StartTLS", "ldap://h/????StartTLS", "ldap://h", "", true, false},
        TargetCase{"critical StartTLS", "ldap://h/o=Acme???\?!StartTLS", "ldap://h", "o=Acme", true, false},
        TargetCase{"StartTLS by OID", "ldap://h/???\?!1.3.6.1.4.1.1466.20037", "ldap://h", "", true, false},
        TargetCase{"StartTLS any case", "ldap://h/????x-starttls", "ldap://h", "", true, false},
        TargetCase{"unknown extension ignored", "ldap://h/????e-other", "ldap://h", "", false, false},
        TargetCase{"list, first base counts", "ldap://a/o=One ldaps://b/o=Two", "ldap://a ldaps://b",
                   "o=One", false, false},
        TargetCase{"list, any StartTLS counts", "ldap://a/ ldap://b/????StartTLS", "ldap://a ldap://b", "",
                   true, false},
        TargetCase{"blanks around", "  ldap://a/\tldap://b/ ", "ldap://a ldap://b", "", false, false}),
    TitleName<TargetCase>);

TEST(LdapTargetTest, RefusesWhatItCannotHonour) {
  struct Case {
    const char* uris;
    const char* reason;
  } cases[] = {
      {"ldap://h/???\?!e-bindname=cn=x", "unsupported critical extension !e-bindname=cn=x"},
      {"ldap://h/ tree.ldif", "not an LDAP URI: tree.ldif"},
      {"ldap://h,ldap://g", "not an LDAP URI: ldap://h,ldap://g"},
      {"ldap://[::1/", "not an LDAP URI: ldap://[::1/"},
      {"ldap://h/o=Acme?cn?nowhere", "not an LDAP URI: ldap://h/o=Acme?cn?nowhere"},
      {"   ", "no LDAP URI"},
  };
  for (const Case& c : cases) {
    LdapTarget target;
    dirclient::Failure failure = ParseLdapTarget(c.uris, &target);
    EXPECT_EQ(failure.status, dirclient::kLdapBadUri) << c.uris;
    EXPECT_EQ(failure.message, c.reason) << c.uris;
  }
}

}  // namespace
}  // namespace qovant_test
