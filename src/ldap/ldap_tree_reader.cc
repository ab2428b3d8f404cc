#include "ldap/ldap_tree_reader.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "ldap/ldap_limits.h"
#include "ldap/ldap_search.h"
#include "tree/entry_mapping.h"
#include "tree/name_mapping.h"
#include "tree/tree_builder.h"

namespace ldap_reader {
namespace {

// Only what the report needs. A container whose subordinates are all
// hidden is listed empty, as a leaf is, so the server is not asked to
// compute hasSubordinates for every entry.
const char* const kAttributes[] = {tree::kObjectClassAttribute.data(),
                                   tree::kLoginScriptAttribute.data(),
                                   tree::kAliasedObjectNameAttribute.data(), nullptr};

std::string_view View(const struct berval& value) { return {value.bv_val, value.bv_len}; }

// The attribute type of a description, without its options.
std::string_view AttributeType(const struct berval& description) {
  std::string_view type = View(description);
  return type.substr(0, type.find(';'));
}

// The failure for a DN (`what`) over tree::kMaxDnBytes.
base::Failure DnTooLong(const char* what, std::size_t length) {
  return MakeClientFailure(base::kLdapOverLimit,
                           "the server sent " + tree::DnOverLimit(what, length));
}

// Decodes each entry the server sends for the builder, on the thread that
// waits for the server.
class EntryReceiver : public EntrySink {
 public:
  EntryReceiver(tree::TreeBuilder& builder, std::vector<std::string>& unsearched)
      : builder_(builder), unsearched_(unsearched) {}
  base::Failure Entry(LDAP* ld, LDAPMessage* entry) override;
  void Reference(std::string_view urls) override {
    unsearched_.push_back(tree::SearchReferenceNote(urls));
  }

 private:
  base::Failure Attribute(std::string_view type, const struct berval* values,
                          tree::FoundEntry* found);

  tree::TreeBuilder& builder_;
  std::vector<std::string>& unsearched_;
  uint64_t entries_ = 0;
};

base::Failure EntryReceiver::Entry(LDAP* ld, LDAPMessage* entry) {
  BerElement* rawBer = nullptr;
  struct berval dn = {0, nullptr};
  int rc = ldap_get_dn_ber(ld, entry, &rawBer, &dn);
  BerElementPtr ber(rawBer);
  if (rc != LDAP_SUCCESS) return MakeLdapFailure(rc, nullptr);
  if (dn.bv_len > tree::kMaxDnBytes) return DnTooLong("a DN", dn.bv_len);
  if (dn.bv_len == 0) return {};  // the root DSE is no object of the tree

  tree::FoundEntry& found = builder_.Open(++entries_, View(dn));
  for (;;) {
    struct berval description = {0, nullptr};
    struct berval* rawValues = nullptr;
    rc = ldap_get_attribute_ber(ld, entry, ber.get(), &description, &rawValues);
    BerArrayPtr values(rawValues);
    if (rc != LDAP_SUCCESS) return MakeLdapFailure(rc, nullptr);
    if (!description.bv_val) break;
    base::Failure failure = Attribute(AttributeType(description), values.get(), &found);
    if (failure.status != base::kOk) return failure;
  }
  if (builder_.Close()) return {};
  // Building failed: this only stops the search, and the builder's own
  // failure comes out of Finish in its place.
  return base::Failure{LdapCodeStatus(LDAP_OTHER), {}, 0, {}};
}

base::Failure EntryReceiver::Attribute(std::string_view type, const struct berval* values,
                                       tree::FoundEntry* found) {
  if (!values) return {};
  if (tree::EqualsIgnoreAsciiCase(type, tree::kObjectClassAttribute)) {
    for (const struct berval* value = values; value->bv_val; ++value)
      found->flags |= tree::ObjectClassFlags(View(*value));
  } else if (tree::EqualsIgnoreAsciiCase(type, tree::kLoginScriptAttribute)) {
    // Only the first value is the script, stored once as the server sent
    // it, up to what the tool can ever read of it.
    if (found->hasScript || !values[0].bv_val) return {};
    std::string_view script = View(values[0]).substr(0, tree::kScriptKeptBytes);
    if (!builder_.scripts().Append(script, &found->scriptOffset))
      return tree::OutOfMemoryWhileLoading();
    found->hasScript = true;
    found->scriptLength = script.size();
  } else if (tree::EqualsIgnoreAsciiCase(type, tree::kAliasedObjectNameAttribute)) {
    if (found->hasAlias || !values[0].bv_val) return {};
    if (values[0].bv_len > tree::kMaxDnBytes)
      return DnTooLong("an aliasedObjectName", values[0].bv_len);
    builder_.KeepAlias(View(values[0]));
  }
  return {};
}

// A DN the tree cannot take, in the terms of a server: one that does not
// parse, or that names no object (a repeated one is kept once).
base::Failure DnFailure(const tree::DnFault& fault) {
  base::Failure failure =
      MakeClientFailure(base::kLdapBadDn, "the server sent a DN that does not parse: ");
  AppendPrintable(failure.message, fault.dn.c_str());
  return failure;
}

}  // namespace

base::Failure ReadLdapTree(LdapConnection& connection, const std::string& baseDn,
                           tree::LoadedTree& loaded, tree::LoadProgress* progress) {
  std::vector<std::string> bases;
  if (baseDn.empty()) {
    base::Failure failure = ReadNamingContexts(connection, &bases);
    if (failure.status != base::kOk) return failure;
    if (bases.empty())
      return MakeClientFailure(base::kLdapNoNamingContexts,
                               "the server lists no naming contexts: put the base DN in the URI");
  } else {
    bases.push_back(baseDn);
  }
  // Only one copy of an entry counts: naming contexts may overlap, so
  // that the server sends an entry once for each.
  tree::TreeBuilder builder(loaded.tree, tree::RepeatedDn::kKeepFirst, DnFailure, progress, true);
  EntryReceiver receiver(builder, loaded.unsearched);
  // Every base must be there: a naming context the identity cannot
  // search is a failure, not an empty part of the tree.
  base::Failure read;
  for (const std::string& each : bases)
    if ((read = ReadSubtreePaged(connection, each, kAttributes, receiver)).status != base::kOk)
      break;
  return builder.Finish(read);
}

}  // namespace ldap_reader
