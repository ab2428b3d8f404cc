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
  bool Entry(LDAP* ld, LDAPMessage* entry, base::Failure* failure) override;
  void Reference(std::string_view urls) override {
    unsearched_.push_back("search reference to " + std::string(urls) +
                          ": that part of the tree is on another server");
  }

 private:
  bool Attribute(std::string_view type, const struct berval* values, tree::FoundEntry* found,
                 base::Failure* failure);

  tree::TreeBuilder& builder_;
  std::vector<std::string>& unsearched_;
  uint64_t entries_ = 0;
};

bool EntryReceiver::Entry(LDAP* ld, LDAPMessage* entry, base::Failure* failure) {
  BerElement* rawBer = nullptr;
  struct berval dn = {0, nullptr};
  int rc = ldap_get_dn_ber(ld, entry, &rawBer, &dn);
  BerElementPtr ber(rawBer);
  if (rc != LDAP_SUCCESS) {
    *failure = MakeLdapFailure(rc, nullptr);
    return false;
  }
  if (dn.bv_len > tree::kMaxDnBytes) {
    *failure = DnTooLong("a DN", dn.bv_len);
    return false;
  }
  if (dn.bv_len == 0) return true;  // the root DSE is no object of the tree

  tree::FoundEntry& found = builder_.Open(++entries_, View(dn));
  for (;;) {
    struct berval description = {0, nullptr};
    struct berval* rawValues = nullptr;
    rc = ldap_get_attribute_ber(ld, entry, ber.get(), &description, &rawValues);
    BerArrayPtr values(rawValues);
    if (rc != LDAP_SUCCESS) {
      *failure = MakeLdapFailure(rc, nullptr);
      return false;
    }
    if (!description.bv_val) break;
    if (!Attribute(AttributeType(description), values.get(), &found, failure)) return false;
  }
  // Building failed: its own failure is the one reported (DnFailure).
  return builder_.Close();
}

bool EntryReceiver::Attribute(std::string_view type, const struct berval* values,
                              tree::FoundEntry* found, base::Failure* failure) {
  if (!values) return true;
  if (tree::EqualsIgnoreAsciiCase(type, tree::kObjectClassAttribute)) {
    for (const struct berval* value = values; value->bv_val; ++value)
      found->flags |= tree::ObjectClassFlags(View(*value));
  } else if (tree::EqualsIgnoreAsciiCase(type, tree::kLoginScriptAttribute)) {
    // Only the first value is the script, stored once as the server sent
    // it, up to what the tool can ever read of it.
    if (found->hasScript || !values[0].bv_val) return true;
    std::string_view script = View(values[0]).substr(0, tree::kScriptKeptBytes);
    if (!builder_.scripts().Append(script, &found->scriptOffset)) {
      *failure = MakeClientFailure(base::kOutOfMemory, base::kOutOfMemoryWhileLoading);
      return false;
    }
    found->hasScript = true;
    found->scriptLength = script.size();
  } else if (tree::EqualsIgnoreAsciiCase(type, tree::kAliasedObjectNameAttribute)) {
    if (found->hasAlias || !values[0].bv_val) return true;
    if (values[0].bv_len > tree::kMaxDnBytes) {
      *failure = DnTooLong("an aliasedObjectName", values[0].bv_len);
      return false;
    }
    builder_.KeepAlias(View(values[0]));
  }
  return true;
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

bool ReadLdapTree(LdapConnection& connection, const std::string& base, tree::LoadedTree& loaded,
                  base::Failure* failure, tree::LoadProgress* progress) {
  std::vector<std::string> bases;
  if (base.empty()) {
    if (!ReadNamingContexts(connection, &bases, failure)) return false;
    if (bases.empty()) {
      *failure =
          MakeClientFailure(base::kLdapNoNamingContexts,
                            "the server lists no naming contexts: put the base DN in the URI");
      return false;
    }
  } else {
    bases.push_back(base);
  }
  // Only one copy of an entry counts: naming contexts may overlap, so
  // that the server sends an entry once for each.
  tree::TreeBuilder builder(loaded.tree, tree::RepeatedDn::kKeepFirst, DnFailure, progress, true);
  EntryReceiver receiver(builder, loaded.unsearched);
  // Every base must be there: a naming context the identity cannot
  // search is a failure, not an empty part of the tree.
  bool read = true;
  for (const std::string& each : bases)
    if (!(read = ReadSubtreePaged(connection, each, kAttributes, receiver, failure))) break;
  return builder.Finish(read, failure);
}

}  // namespace ldap_reader
