#include "ldap/ldap_search.h"

#include <cstring>
#include <functional>
#include <string_view>
#include <unordered_set>

#include "base/status.h"

namespace ldap_reader {
namespace {

constexpr char kEveryEntry[] = "(objectClass=*)";
constexpr char kNamingContexts[] = "namingContexts";

// The cookies of a paged search so far, kept as 64-bit hashes so that a
// server handing out large cookies for an hour cannot fill memory with them.
// Two cookies of one search that hash alike would end it as a broken server;
// for an honest server's few thousand cookies that chance is about 1e-12.
class CookiesSeen {
 public:
  // False when `cookie` came before.
  bool Add(const struct berval& cookie) {
    return seen_.insert(std::hash<std::string_view>{}({cookie.bv_val, cookie.bv_len})).second;
  }

 private:
  std::unordered_set<std::size_t> seen_;
};

// A continuation reference's URLs for EntrySink::Reference.
base::Failure ParseReference(LdapConnection& connection, LDAPMessage* message, std::string* urls) {
  char** raw = nullptr;
  int rc = ldap_parse_reference(connection.get(), message, &raw, nullptr, 0);
  if (rc != LDAP_SUCCESS) return connection.FailureOf(rc);
  for (char** url = raw; url && *url; ++url) {
    if (!urls->empty()) *urls += ' ';
    AppendPrintable(*urls, *url);
  }
  ldap_memvfree(reinterpret_cast<void**>(raw));
  if (urls->empty()) *urls = "(no URL)";
  return {};
}

// The result code, diagnostic text and controls of a final result.
struct FinalResult {
  int code = LDAP_OTHER;
  LdapStringPtr diagnostic;
  LdapControlsPtr controls;
};

// Parses a final result; anything but success is a failure with the
// server's own text.
base::Failure ParseFinal(LdapConnection& connection, LDAPMessage* message, FinalResult* result) {
  char* diagnostic = nullptr;
  LDAPControl** controls = nullptr;
  int rc = ldap_parse_result(connection.get(), message, &result->code, nullptr, &diagnostic,
                             nullptr, &controls, 0);
  result->diagnostic.reset(diagnostic);
  result->controls.reset(controls);
  if (rc != LDAP_SUCCESS) return connection.FailureOf(rc);
  if (result->code != LDAP_SUCCESS) return MakeLdapFailure(result->code, result->diagnostic.get());
  return {};
}

// Sends one search and hands its entries to `sink` up to its final result,
// which must be success; more than `maxEntries` entries are a protocol
// error. Continuation references point at other servers, which are not
// read: `sink` is told of them.
base::Failure Search(LdapConnection& connection, const char* baseDn, int scope,
                     const char* const* attributes, LDAPControl** controls, int maxEntries,
                     EntrySink& sink, FinalResult* result) {
  LDAP* ld = connection.get();
  int msgid = -1;
  int rc = ldap_search_ext(ld, baseDn, scope, kEveryEntry, const_cast<char**>(attributes), 0,
                           controls, nullptr, nullptr, LDAP_NO_LIMIT, &msgid);
  if (rc != LDAP_SUCCESS) return connection.FailureOf(rc);
  PendingRequest request(ld, msgid);
  int entries = 0;
  for (;;) {
    LdapMessagePtr message;
    int type = 0;
    base::Failure failure = connection.Next(msgid, &message, &type);
    if (failure.status != base::kOk) return failure;
    if (type == LDAP_RES_SEARCH_ENTRY) {
      if (++entries > maxEntries)
        return MakeClientFailure(base::kLdapPagingBroken,
                                 "protocol error: the server sent more than the " +
                                     std::to_string(maxEntries) + " entries asked for");
      failure = sink.Entry(ld, message.get());
    } else if (type == LDAP_RES_SEARCH_REFERENCE) {
      std::string urls;
      failure = ParseReference(connection, message.get(), &urls);
      if (failure.status == base::kOk) sink.Reference(urls);
    } else if (type == LDAP_RES_SEARCH_RESULT) {
      request.Finished();
      return ParseFinal(connection, message.get(), result);
    }
    if (failure.status != base::kOk) return failure;
  }
}

// The naming contexts of the root DSE entry.
class NamingContexts : public EntrySink {
 public:
  explicit NamingContexts(std::vector<std::string>* contexts) : contexts_(contexts) {}
  base::Failure Entry(LDAP* ld, LDAPMessage* entry) override {
    BerValuesPtr values(ldap_get_values_len(ld, entry, kNamingContexts));
    for (struct berval** value = values.get(); value && *value; ++value)
      if ((*value)->bv_len) contexts_->emplace_back((*value)->bv_val, (*value)->bv_len);
    return {};
  }
  void Reference(std::string_view) override {}  // the root DSE has none

 private:
  std::vector<std::string>* contexts_;
};

// The cookie for the page after the one `result` ends, empty when there is
// none; a failure when the server did not page, or sent the cookie before.
base::Failure NextCookie(LdapConnection& connection, const FinalResult& result, CookiesSeen* seen,
                         OwnedBerval* cookie) {
  LDAPControl* response =
      ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, result.controls.get(), nullptr);
  if (!response)
    return MakeClientFailure(base::kLdapPagingBroken,
                             "the server answered a paged search without paging it");
  ber_int_t estimate = 0;
  struct berval next = {0, nullptr};
  int rc = ldap_parse_pageresponse_control(connection.get(), response, &estimate, &next);
  OwnedBerval nextCookie;
  nextCookie.Adopt(next);
  if (rc != LDAP_SUCCESS) return connection.FailureOf(rc);
  if (!nextCookie.empty() && !seen->Add(nextCookie.value()))
    return MakeClientFailure(base::kLdapPagingBroken,
                             "the server sent a paged results cookie it had sent before");
  cookie->Adopt(nextCookie.Release());
  return {};
}

// One page: sends the request with `cookie` and reads up to its final
// result; *cookie is then the next page's, empty when the search is over.
base::Failure ReadPage(LdapConnection& connection, const std::string& baseDn,
                       const char* const* attributes, EntrySink& sink, OwnedBerval* cookie,
                       CookiesSeen* seen) {
  LDAPControl* rawControl = nullptr;
  int rc = ldap_create_page_control(connection.get(), kPageSize,
                                    cookie->empty() ? nullptr : cookie->get(), 1, &rawControl);
  LdapControlPtr control(rawControl);
  if (rc != LDAP_SUCCESS) return connection.FailureOf(rc);
  LDAPControl* serverControls[] = {control.get(), nullptr};
  FinalResult result;
  base::Failure failure = Search(connection, baseDn.c_str(), LDAP_SCOPE_SUBTREE, attributes,
                                 serverControls, kPageSize, sink, &result);
  if (failure.status != base::kOk) return failure;
  return NextCookie(connection, result, seen, cookie);
}

}  // namespace

base::Failure ReadNamingContexts(LdapConnection& connection, std::vector<std::string>* contexts) {
  const char* const attributes[] = {kNamingContexts, nullptr};
  NamingContexts sink(contexts);
  FinalResult result;
  return Search(connection, "", LDAP_SCOPE_BASE, attributes, nullptr, 1, sink, &result);
}

base::Failure ReadSubtreePaged(LdapConnection& connection, const std::string& baseDn,
                               const char* const* attributes, EntrySink& sink) {
  OwnedBerval cookie;
  CookiesSeen seen;
  do {
    base::Failure failure = ReadPage(connection, baseDn, attributes, sink, &cookie, &seen);
    if (failure.status != base::kOk) return failure;
  } while (!cookie.empty());
  return {};
}

}  // namespace ldap_reader
