// libldap's codes as the client's statuses, and the text a failure shows.
#pragma once

#include <string>

#include "base/failure.h"
#include "base/status.h"

namespace ldap_reader {

// 0 is success; a server result code c (positive) is kLdapResultBase - c;
// a libldap API error e (negative) is kLdapApiBase + e. Codes outside the
// ranges a status can hold distinctly share the range's last status.
base::Status LdapCodeStatus(int code);

// "TEXT (CODE)" from libldap's text for `code`, then ": " and the server's
// diagnostic message where it sent one, made safe to print on one line.
base::Failure MakeLdapFailure(int code, const char* diagnostic);

// A failure of the client's own (status.h) with its message.
base::Failure MakeClientFailure(base::Status status, std::string message);

// Appends `text` with control bytes shown as "?", as everywhere else, and
// cut to a length that fits a diagnostic line: server texts are not trusted.
void AppendPrintable(std::string& out, const char* text);

}  // namespace ldap_reader
