// LDAP codes as client statuses, at the ends of the documented ranges, and
// every status's number and text (rows of ldap/ldap_status.table); the one
// diagnostic line a failure shows; the load deadline's setting.
#include "ldap/ldap_status.h"

#include <gtest/gtest.h>
#include <ldap.h>

#include <string>

#include "base/status.h"
#include "ldap/ldap_limits.h"
#include "table.h"

namespace qovant_test {
namespace {

using ldap_reader::LdapCodeStatus;
using ldap_reader::MakeLdapFailure;

const char kTable[] = "ldap/ldap_status.table";

TEST(LdapStatusTest, CodesMapToTheDocumentedStatuses) {
  for (const Row& row : ReadTable(kTable, "code"))
    EXPECT_EQ(static_cast<uint32_t>(LdapCodeStatus(static_cast<int>(row.number("code")))),
              row.number("status"))
        << row.where;
}

// A server's text is not trusted to keep to one line, nor to be short.
TEST(LdapStatusTest, FailureShowsLibldapTextCodeAndServerText) {
  for (const Row& row : ReadTable(kTable, "failure")) {
    base::Failure failure =
        MakeLdapFailure(static_cast<int>(row.number("code")), row["server_text"]);
    EXPECT_EQ(failure.status, LdapCodeStatus(static_cast<int>(row.number("code")))) << row.where;
    EXPECT_EQ(failure.message, row.text("message")) << row.where;
  }
  EXPECT_EQ(MakeLdapFailure(LDAP_OTHER, std::string(600, 'x').c_str()).message,
            "Other (e.g., implementation specific) error (80): " + std::string(512, 'x') + "...");
  // Memory running out is the client's one status for it, whoever saw it.
  EXPECT_EQ(MakeLdapFailure(LDAP_NO_MEMORY, nullptr).status, base::kOutOfMemory);
}

TEST(LdapStatusTest, LoadTimeoutIsWholeSecondsInRange) {
  for (const Row& row : ReadTable(kTable, "timeout")) {
    long seconds = -1;
    base::Failure failure = ldap_reader::ParseLoadTimeout(row["setting"], &seconds);
    EXPECT_EQ(failure.status == 0, row.number("seconds") != 0) << row.where;
    EXPECT_EQ(failure.status == 0 ? seconds : 0, row.number("seconds")) << row.where;
    EXPECT_TRUE(failure.status == 0 ||
                failure.message == "not a whole number of seconds from 1 to 604800");
  }
}

TEST(LdapStatusTest, StatusesKeepTheirNumberAndText) {
  for (const Row& row : ReadTable(kTable, "text"))
    EXPECT_STREQ(base::StatusText(static_cast<base::Status>(row.number("status"))), row["text"])
        << row.where;
}

}  // namespace
}  // namespace qovant_test
