// What the client takes from an LDAP URI: which settings are URIs, the
// servers handed to libldap, the base DN, StartTLS and ldapi. The cases are
// rows of ldap/ldap_target.table.
#include "ldap/ldap_target.h"

#include <gtest/gtest.h>

#include "base/status.h"
#include "table.h"

namespace qovant_test {
namespace {

const char kTable[] = "ldap/ldap_target.table";

TEST(LdapTargetTest, OnlyLdapSchemesAreUris) {
  for (const Row& row : ReadTable(kTable, "uri"))
    EXPECT_EQ(ldap_reader::IsLdapUri(row["setting"]), row.number("is_uri") == 1) << row.where;
}

TEST(LdapTargetTest, SplitsServersFromBaseAndExtensions) {
  for (const Row& row : ReadTable(kTable, "target")) {
    SCOPED_TRACE(row.where);
    ldap_reader::LdapTarget target;
    base::Failure failure = ldap_reader::ParseLdapTarget(row["uris"], &target);
    ASSERT_EQ(failure.status, 0) << failure.message;
    EXPECT_EQ(target.servers, row.text("servers"));
    EXPECT_EQ(target.base, row.text("base"));
    EXPECT_EQ(target.startTls, row.number("starttls") == 1);
    EXPECT_EQ(target.ldapi, row.number("ldapi") == 1);
    EXPECT_EQ(target.display, row.text("uris"));
  }
}

TEST(LdapTargetTest, RefusesWhatItCannotHonour) {
  for (const Row& row : ReadTable(kTable, "refused")) {
    ldap_reader::LdapTarget target;
    base::Failure failure = ldap_reader::ParseLdapTarget(row["uris"], &target);
    EXPECT_EQ(failure.status, base::kLdapBadUri) << row.where;
    EXPECT_EQ(failure.message, row.text("reason")) << row.where;
  }
}

}  // namespace
}  // namespace qovant_test
