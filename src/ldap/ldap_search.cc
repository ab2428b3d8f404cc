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
bool ParseReference(LdapConnection& connection, LDAPMessage* message, std::string* urls,
                    base::Failure* failure) {
  char** raw = nullptr;
  int rc = ldap_parse_reference(connection.get(), message, &raw, nullptr, 0);
  if (rc != LDAP_SUCCESS) {
    *failure = connection.FailureOf(rc);
    return false;
  }
  for (char** url = raw; url && *url; ++url) {
    if (!urls->empty()) *urls += ' ';
    AppendPrintable(*urls, *url);
  }
  ldap_memvfree(reinterpret_cast<void**>(raw));
  if (urls->empty()) *urls = "(no URL)";
  return true;
}

// The result code, diagnostic text and controls of a final result.
struct FinalResult {
  int code = LDAP_OTHER;
  LdapStringPtr diagnostic;
  LdapControlsPtr controls;
};

// Parses a final result; anything but success is a failure with the
// server's own text.
bool ParseFinal(LdapConnection& connection, LDAPMessage* message, FinalResult* result,
                base::Failure* failure) {
  char* diagnostic = nullptr;
  LDAPControl** controls = nullptr;
  int rc = ldap_parse_result(connection.get(), message, &result->code, nullptr, &diagnostic,
                             nullptr, &controls, 0);
  result->diagnostic.reset(diagnostic);
  result->controls.reset(controls);
  if (rc != LDAP_SUCCESS) {
    *failure = connection.FailureOf(rc);
    return false;
  }
  if (result->code != LDAP_SUCCESS) {
    *failure = MakeLdapFailure(result->code, result->diagnostic.get());
    return false;
  }
  return true;
}

// Sends one search and hands its entries to `sink` up to its final result,
// which must be success; more than `maxEntries` entries are a protocol
// error. Continuation references point at other servers, which are not
// read: `sink` is told of them.
bool Search(LdapConnection& connection, const char* base, int scope, const char* const* attributes,
            LDAPControl** controls, int maxEntries, EntrySink& sink, FinalResult* result,
            base::Failure* failure) {
  LDAP* ld = connection.get();
  int msgid = -1;
  int rc = ldap_search_ext(ld, base, scope, kEveryEntry, const_cast<char**>(attributes), 0,
                           controls, nullptr, nullptr, LDAP_NO_LIMIT, &msgid);
  if (rc != LDAP_SUCCESS) {
    *failure = connection.FailureOf(rc);
    return false;
  }
  PendingRequest request(ld, msgid);
  int entries = 0;
  for (;;) {
    LdapMessagePtr message;
    int type = connection.Next(msgid, &message, failure);
    if (type == 0) return false;
    if (type == LDAP_RES_SEARCH_ENTRY) {
      if (++entries > maxEntries) {
        *failure = MakeClientFailure(base::kLdapPagingBroken,
                                     "protocol error: the server sent more than the " +
                                         std::to_string(maxEntries) + " entries asked for");
        return false;
      }
      if (!sink.Entry(ld, message.get(), failure)) return false;
    } else if (type == LDAP_RES_SEARCH_REFERENCE) {
      std::string urls;
      if (!ParseReference(connection, message.get(), &urls, failure)) return false;
      sink.Reference(urls);
    } else if (type == LDAP_RES_SEARCH_RESULT) {
      request.Finished();
      return ParseFinal(connection, message.get(), result, failure);
    }
  }
}

// The naming contexts of the root DSE entry.
class NamingContexts : public EntrySink {
 public:
  explicit NamingContexts(std::vector<std::string>* contexts) : contexts_(contexts) {}
  bool Entry(LDAP* ld, LDAPMessage* entry, base::Failure*) override {
    BerValuesPtr values(ldap_get_values_len(ld, entry, kNamingContexts));
    for (struct berval** value = values.get(); value && *value; ++value)
      if ((*value)->bv_len) contexts_->emplace_back((*value)->bv_val, (*value)->bv_len);
    return true;
  }
  void Reference(std::string_view) override {}  // the root DSE has none

 private:
  std::vector<std::string>* contexts_;
};

// One page: sends the request with `cookie` and reads up to its final
// result. Sets *done when the search is over; otherwise *cookie is the next.
bool ReadPage(LdapConnection& connection, const std::string& base, const char* const* attributes,
              EntrySink& sink, OwnedBerval* cookie, CookiesSeen* seen, bool* done,
              base::Failure* failure) {
  LDAP* ld = connection.get();
  LDAPControl* rawControl = nullptr;
  int rc = ldap_create_page_control(ld, kPageSize, cookie->empty() ? nullptr : cookie->get(), 1,
                                    &rawControl);
  LdapControlPtr control(rawControl);
  if (rc != LDAP_SUCCESS) {
    *failure = connection.FailureOf(rc);
    return false;
  }
  LDAPControl* serverControls[] = {control.get(), nullptr};
  FinalResult result;
  if (!Search(connection, base.c_str(), LDAP_SCOPE_SUBTREE, attributes, serverControls, kPageSize,
              sink, &result, failure))
    return false;
  LDAPControl* response =
      ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, result.controls.get(), nullptr);
  if (!response) {
    *failure = MakeClientFailure(base::kLdapPagingBroken,
                                 "the server answered a paged search without paging it");
    return false;
  }
  ber_int_t estimate = 0;
  struct berval next = {0, nullptr};
  rc = ldap_parse_pageresponse_control(ld, response, &estimate, &next);
  OwnedBerval nextCookie;
  nextCookie.Adopt(next);
  if (rc != LDAP_SUCCESS) {
    *failure = connection.FailureOf(rc);
    return false;
  }
  if (nextCookie.empty()) {
    *done = true;
    return true;
  }
  if (!seen->Add(nextCookie.value())) {
    *failure = MakeClientFailure(base::kLdapPagingBroken,
                                 "the server sent a paged results cookie it had sent before");
    return false;
  }
  cookie->Adopt(nextCookie.Release());
  return true;
}

}  // namespace

bool ReadNamingContexts(LdapConnection& connection, std::vector<std::string>* contexts,
                        base::Failure* failure) {
  const char* const attributes[] = {kNamingContexts, nullptr};
  NamingContexts sink(contexts);
  FinalResult result;
  return Search(connection, "", LDAP_SCOPE_BASE, attributes, nullptr, 1, sink, &result, failure);
}

bool ReadSubtreePaged(LdapConnection& connection, const std::string& base,
                      const char* const* attributes, EntrySink& sink, base::Failure* failure) {
  OwnedBerval cookie;
  CookiesSeen seen;
  bool done = false;
  while (!done)
    if (!ReadPage(connection, base, attributes, sink, &cookie, &seen, &done, failure)) return false;
  return true;
}

}  // namespace ldap_reader
