#include "ldap/ldap_tree_reader.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tree/entry_mapping.h"
#include "tree/tree_builder.h"
#include "ldap/ldap_limits.h"
#include "ldap/ldap_search.h"
#include "tree/name_mapping.h"
#include "client/status.h"

namespace dirclient {
namespace {

// Only what the report needs. A container whose subordinates are all
// hidden is listed empty, as a leaf is, so the server is not asked to
// compute hasSubordinates for every entry.
const char* const kAttributes[] = {kObjectClassAttribute.data(), kLoginScriptAttribute.data(),
                                   kAliasedObjectNameAttribute.data(), nullptr};

std::string_view View(const struct berval& value) {
  return {value.bv_val, value.bv_len};
}

// The attribute type of a description, without its options.
std::string_view AttributeType(const struct berval& description) {
  std::string_view type = View(description);
  return type.substr(0, type.find(';'));
}

// The failure for a DN (`what`) over kMaxDn.
Failure DnTooLong(const char* what, std::size_t length) {
  return MakeClientFailure(kLdapOverLimit, "the server sent " + DnOverLimit(what, length));
}

// Decodes each entry the server sends for the builder, on the thread that
// waits for the server.
class EntryReceiver : public EntrySink {
 public:
  EntryReceiver(TreeBuilder& builder, std::vector<std::string>& unsearched)
      : builder_(builder), unsearched_(unsearched) {}
  bool Entry(LDAP* ld, LDAPMessage* entry, Failure* failure) override;
  void Reference(std::string_view urls) override {
    unsearched_.push_back("search reference to " + std::string(urls) +
                          ": that part of the tree is on another server");
  }

 private:
  bool Attribute(std::string_view type, const struct berval* values, FoundEntry* found,
                 Failure* failure);

  TreeBuilder& builder_;
  std::vector<std::string>& unsearched_;
  uint64_t entries_ = 0;
};

bool EntryReceiver::Entry(LDAP* ld, LDAPMessage* entry, Failure* failure) {
  BerElement* rawBer = nullptr;
  struct berval dn = {0, nullptr};
  int rc = ldap_get_dn_ber(ld, entry, &rawBer, &dn);
  BerElementPtr ber(rawBer);
  if (rc != LDAP_SUCCESS) {
    *failure = MakeLdapFailure(rc, nullptr);
    return false;
  }
  if (dn.bv_len > kMaxDn) {
    *failure = DnTooLong("a DN", dn.bv_len);
    return false;
  }
  if (dn.bv_len == 0) return true;  // the root DSE is no object of the tree

  FoundEntry& found = builder_.Open(++entries_, View(dn));
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
                              FoundEntry* found, Failure* failure) {
  if (!values) return true;
  if (EqualsIgnoreAsciiCase(type, kObjectClassAttribute)) {
    for (const struct berval* value = values; value->bv_val; ++value)
      found->flags |= ObjectClassFlags(View(*value));
  } else if (EqualsIgnoreAsciiCase(type, kLoginScriptAttribute)) {
    // Only the first value is the script, stored once as the server sent
    // it, up to what the tool can ever read of it.
    if (found->hasScript || !values[0].bv_val) return true;
    std::string_view script = View(values[0]).substr(0, kMaxKeptScript);
    if (!builder_.scripts().Append(script, &found->scriptOffset)) {
      *failure = MakeClientFailure(kOutOfMemory, kOutOfMemoryWhileLoading);
      return false;
    }
    found->hasScript = true;
    found->scriptLength = script.size();
  } else if (EqualsIgnoreAsciiCase(type, kAliasedObjectNameAttribute)) {
    if (found->hasAlias || !values[0].bv_val) return true;
    if (values[0].bv_len > kMaxDn) {
      *failure = DnTooLong("an aliasedObjectName", values[0].bv_len);
      return false;
    }
    builder_.KeepAlias(View(values[0]));
  }
  return true;
}

// A DN the tree cannot take, in the terms of a server: one that does not
// parse, or that names no object (a repeated one is kept once).
Failure DnFailure(const DnFault& fault) {
  Failure failure = MakeClientFailure(kLdapBadDn, "the server sent a DN that does not parse: ");
  AppendPrintable(failure.message, fault.dn.c_str());
  return failure;
}

}  // namespace

bool ReadLdapTree(LdapConnection& connection, const std::string& base,
                  LoadedTree& loaded, Failure* failure, LoadProgress* progress) {
  std::vector<std::string> bases;
  if (base.empty()) {
    if (!ReadNamingContexts(connection, &bases, failure)) return false;
    if (bases.empty()) {
      *failure = MakeClientFailure(
          kLdapNoNamingContexts,
          "the server lists no naming contexts: put the base DN in the URI");
      return false;
    }
  } else {
    bases.push_back(base);
  }
  // Only one copy of an entry counts: naming contexts may overlap, so
  // that the server sends an entry once for each.
  TreeBuilder builder(loaded.tree, RepeatedDn::kKeepFirst, DnFailure, progress, true);
  EntryReceiver receiver(builder, loaded.unsearched);
  // Every base must be there: a naming context the identity cannot
  // search is a failure, not an empty part of the tree.
  bool read = true;
  for (const std::string& each : bases)
    if (!(read = ReadSubtreePaged(connection, each, kAttributes, receiver, failure))) break;
  return builder.Finish(read, failure);
}

}  // namespace dirclient
