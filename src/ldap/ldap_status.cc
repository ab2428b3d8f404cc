#include "ldap/ldap_status.h"

#include <ldap.h>

#include <cstring>

#include "base/status.h"

namespace ldap_reader {
namespace {

constexpr int kMaxApiError = 99;
constexpr int kMaxResultCode = 0xFFFF;
constexpr std::size_t kMaxShownText = 512;

}  // namespace

base::Status LdapCodeStatus(int code) {
  if (code == LDAP_SUCCESS) return base::kOk;
  if (code < 0) return base::kLdapApiBase + (code < -kMaxApiError ? -kMaxApiError : code);
  return base::kLdapResultBase - (code > kMaxResultCode ? kMaxResultCode : code);
}

void AppendPrintable(std::string& out, const char* text) {
  std::size_t length = strnlen(text, kMaxShownText + 1);
  for (std::size_t i = 0; i < length && i < kMaxShownText; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    out += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
  }
  if (length > kMaxShownText) out += "...";
}

base::Failure MakeLdapFailure(int code, const char* diagnostic) {
  base::Failure failure;
  // Memory running out is the client's own status, whoever noticed it.
  failure.status = code == LDAP_NO_MEMORY ? base::kOutOfMemory : LdapCodeStatus(code);
  failure.message = ldap_err2string(code);
  failure.message += " (" + std::to_string(code) + ")";
  if (diagnostic && *diagnostic) {
    failure.message += ": ";
    AppendPrintable(failure.message, diagnostic);
  }
  return failure;
}

base::Failure MakeClientFailure(base::Status status, std::string message) {
  base::Failure failure;
  failure.status = status;
  failure.message = std::move(message);
  return failure;
}

}  // namespace ldap_reader
