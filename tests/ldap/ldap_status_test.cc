// LDAP codes as client statuses: negative, distinct, in the documented
// ranges; and the one diagnostic line a failure shows.
#include "ldap/ldap_status.h"

#include <gtest/gtest.h>
#include <ldap.h>

#include <set>
#include <string>

#include "ldap/ldap_limits.h"
#include "client/status.h"

namespace qovant_test {
namespace {

using dirclient::LdapCodeStatus;
using dirclient::MakeLdapFailure;

// The ends of each range and what lies beyond them; every code in between is
// held to its own status below.
TEST(LdapStatusTest, CodesMapToTheDocumentedStatuses) {
  struct Case {
    int code;
    dirclient::Status status;
    uint32_t printed;  // as the tool prints it
  } cases[] = {
      {LDAP_SUCCESS, 0, 0},
      {LDAP_SERVER_DOWN, -901, 0xFFFFFC7B},
      {-99, -999, 0xFFFFFC19},
      {-100, -999, 0xFFFFFC19},  // beyond the API range: its last status
      {INT32_MIN, -999, 0xFFFFFC19},
      {LDAP_SIZELIMIT_EXCEEDED, -1004, 0xFFFFFC14},
      {LDAP_OTHER, -1080, 0xFFFFFBC8},
      {0xFFFF, -1000 - 0xFFFF, static_cast<uint32_t>(-1000 - 0xFFFF)},
      {0x10000, -1000 - 0xFFFF, static_cast<uint32_t>(-1000 - 0xFFFF)},
      {INT32_MAX, -1000 - 0xFFFF, static_cast<uint32_t>(-1000 - 0xFFFF)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LdapCodeStatus(c.code), c.status) << c.code;
    EXPECT_EQ(static_cast<uint32_t>(LdapCodeStatus(c.code)), c.printed) << c.code;
  }
}

TEST(LdapStatusTest, EveryCauseHasItsOwnNegativeStatus) {
  std::set<dirclient::Status> seen;
  for (dirclient::Status own = -601; own >= -645; --own) seen.insert(own);
  size_t expected = seen.size();
  for (int code = -1; code >= -99; --code) {
    dirclient::Status status = LdapCodeStatus(code);
    EXPECT_LT(status, 0);
    seen.insert(status);
  }
  for (int code = 1; code <= 0xFFFF; ++code) {
    dirclient::Status status = LdapCodeStatus(code);
    EXPECT_LT(status, 0);
    seen.insert(status);
  }
  EXPECT_EQ(seen.size(), expected + 99 + 0xFFFF);
}

TEST(LdapStatusTest, FailureShowsLibldapTextCodeAndServerText) {
  const std::string longText(600, 'x');
  struct Case {
    int code;
    const char* diagnostic;
    std::string message;
  } cases[] = {
      {LDAP_SIZELIMIT_EXCEEDED, nullptr, "Size limit exceeded (4)"},
      {LDAP_SIZELIMIT_EXCEEDED, "", "Size limit exceeded (4)"},
      {LDAP_INVALID_CREDENTIALS, "bad pw", "Invalid credentials (49): bad pw"},
      {LDAP_SERVER_DOWN, nullptr, "Can't contact LDAP server (-1)"},
      // A server's text is not trusted to keep to one line.
      {LDAP_OTHER, "two\nlines\r\tand\x7f" "bell\a", "Other (e.g., implementation specific) error (80): two lines  and bell "},
      {LDAP_OTHER, longText.c_str(),
       "Other (e.g., implementation specific) error (80): " + std::string(512, 'x') + "..."},
  };
  for (const Case& c : cases) {
    dirclient::Failure failure = MakeLdapFailure(c.code, c.diagnostic);
    EXPECT_EQ(failure.status, LdapCodeStatus(c.code));
    EXPECT_EQ(failure.message, c.message);
  }
  // Memory running out is the client's one status for it, whoever saw it.
  EXPECT_EQ(MakeLdapFailure(LDAP_NO_MEMORY, nullptr).status, dirclient::kOutOfMemory);
}

// DIRCLIENT_LOAD_TIMEOUT: whole seconds from 1 to a week, unset or empty is
// the default; everything else is refused, not read as far as it goes.
TEST(LdapStatusTest, LoadTimeoutIsWholeSecondsInRange) {
  struct Case {
    const char* setting;
    long seconds;  // 0: refused
  } cases[] = {
      {nullptr, 3600}, {"", 3600},   {"1", 1},   {"604800", 604800}, {"0", 0},
      {"604801", 0},   {"-5", 0},    {"+5", 0},  {" 5", 0},          {"5 ", 0},
      {"5s", 0},       {"1.5", 0},   {"99999999999999999999", 0},
  };
  for (const Case& c : cases) {
    long seconds = -1;
    dirclient::Failure failure = dirclient::ParseLoadTimeout(c.setting, &seconds);
    bool ok = failure.status == 0;
    EXPECT_EQ(ok, c.seconds != 0) << (c.setting ? c.setting : "(null)");
    if (ok) EXPECT_EQ(seconds, c.seconds);
    else EXPECT_EQ(failure.message, "not a whole number of seconds from 1 to 604800");
  }
}

TEST(LdapStatusTest, ClientStatusesHaveTheirOwnText) {
  for (dirclient::Status status = -634; status >= -645; --status)
    EXPECT_STRNE(dirclient::StatusText(status), "unknown status") << status;
  EXPECT_STREQ(dirclient::StatusText(-1004), "LDAP server result");
  EXPECT_STREQ(dirclient::StatusText(-905), "LDAP client library error");
}

}  // namespace
}  // namespace qovant_test
