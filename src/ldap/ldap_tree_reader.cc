#include "ldap/ldap_tree_reader.h"

#include <string>
#include <string_view>
#include <vector>

#include "tree/entry_assembler.h"
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
  return MakeClientFailure(kLdapOverLimit, std::string("the server sent ") + what + " of " +
                                               std::to_string(length) +
                                               " bytes, over the largest DN (" +
                                               std::to_string(kMaxDn) + " bytes)");
}

class TreeBuilder : public EntrySink {
 public:
  TreeBuilder(LoadedTree& loaded, LoadProgress* progress)
      : loaded_(loaded), progress_(progress), assembler_(loaded.tree, RepeatedDn::kKeepFirst) {}
  bool Entry(LDAP* ld, LDAPMessage* entry, Failure* failure) override;
  void Reference(std::string_view urls) override {
    loaded_.unsearched.push_back("search reference to " + std::string(urls) +
                                 ": that part of the tree is on another server");
  }
  void Finish() { assembler_.Finish(); }

 private:
  bool Attribute(std::string_view type, const struct berval* values, EntryFacts* facts,
                 Failure* failure);

  LoadedTree& loaded_;
  LoadProgress* progress_;
  EntryAssembler assembler_;
  DnParser dn_;
  uint64_t entries_ = 0;
  std::string aliasTarget_;  // the entry's, kept past its message
};

bool TreeBuilder::Entry(LDAP* ld, LDAPMessage* entry, Failure* failure) {
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
  DirTree& tree = loaded_.tree;
  EntryPaths::Pending pending;
  if (!assembler_.paths().Begin(tree, View(dn), dn_, &pending)) {
    *failure = MakeClientFailure(kLdapBadDn, "the server sent a DN that does not parse: ");
    AppendPrintable(failure->message, std::string(View(dn)).c_str());
    return false;
  }
  if (pending.empty) return true;  // the root DSE is no object of the tree

  EntryFacts facts;
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
    if (!Attribute(AttributeType(description), values.get(), &facts, failure)) return false;
  }
  uint64_t first;
  // A second copy of an entry (a context also read through another) adds
  // nothing.
  if (assembler_.Complete(pending, View(dn), ++entries_, facts, &first) ==
          EntryAssembler::Result::kAdded &&
      progress_)
    progress_->Count();
  return true;
}

bool TreeBuilder::Attribute(std::string_view type, const struct berval* values,
                            EntryFacts* facts, Failure* failure) {
  if (!values) return true;
  if (EqualsIgnoreAsciiCase(type, kObjectClassAttribute)) {
    for (const struct berval* value = values; value->bv_val; ++value)
      facts->flags |= ObjectClassFlags(View(*value));
  } else if (EqualsIgnoreAsciiCase(type, kLoginScriptAttribute)) {
    // Only the first value is the script, stored once as the server sent
    // it, up to what the tool can ever read of it.
    if (facts->hasScript || !values[0].bv_val) return true;
    std::string_view script = View(values[0]).substr(0, kMaxKeptScript);
    if (!loaded_.tree.ScriptStore().Append(script, &facts->scriptOffset)) {
      *failure = MakeClientFailure(kOutOfMemory, "out of memory for login scripts");
      return false;
    }
    facts->hasScript = true;
    facts->scriptLength = script.size();
  } else if (EqualsIgnoreAsciiCase(type, kAliasedObjectNameAttribute)) {
    if (facts->hasAlias || !values[0].bv_val) return true;
    if (values[0].bv_len > kMaxDn) {
      *failure = DnTooLong("an aliasedObjectName", values[0].bv_len);
      return false;
    }
    aliasTarget_.assign(View(values[0]));
    facts->hasAlias = true;
    facts->aliasTarget = aliasTarget_;
  }
  return true;
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
  TreeBuilder builder(loaded, progress);
  // Every base must be there: a naming context the identity cannot search
  // is a failure, not an empty part of the tree.
  for (const std::string& each : bases)
    if (!ReadSubtreePaged(connection, each, kAttributes, builder, failure)) return false;
  builder.Finish();
  return true;
}

}  // namespace dirclient
