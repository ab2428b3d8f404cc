#include "ldap/ldap_tree_reader.h"

#include <string>
#include <string_view>
#include <vector>

#include "tree/entry_mapping.h"
#include "ldap/ldap_limits.h"
#include "ldap/ldap_search.h"
#include "tree/name_mapping.h"
#include "client/status.h"

namespace dirclient {
namespace {

// hasSubordinates is computed by the server and sent only when asked for by
// name; it makes a container of an entry whose subordinates are all hidden.
const char* const kAttributes[] = {"objectClass", "loginScript", "aliasedObjectName",
                                   "hasSubordinates", nullptr};

std::string_view View(const struct berval& value) {
  return {value.bv_val, value.bv_len};
}

// The attribute type of a description, without its options.
std::string_view AttributeType(const struct berval& description) {
  std::string_view type = View(description);
  return type.substr(0, type.find(';'));
}

// The failure for a DN (`what`) over kMaxDn.
LdapFailure DnTooLong(const char* what, std::size_t length) {
  return MakeClientFailure(kLdapOverLimit, std::string("the server sent ") + what + " of " +
                                               std::to_string(length) +
                                               " bytes, over the largest DN (" +
                                               std::to_string(kMaxDn) + " bytes)");
}

class TreeBuilder : public EntrySink {
 public:
  TreeBuilder(LoadedTree& loaded, LoadProgress* progress)
      : loaded_(loaded), progress_(progress) {}
  bool Entry(LDAP* ld, LDAPMessage* entry, LdapFailure* failure) override;
  void Reference(std::string_view urls) override {
    loaded_.unsearched.push_back("search reference to " + std::string(urls) +
                                 ": that part of the tree is on another server");
  }
  void Finish();

 private:
  bool Attribute(std::string_view type, const struct berval* values,
                 DirTree::NodeId node, LdapFailure* failure);

  LoadedTree& loaded_;
  LoadProgress* progress_;
  DnParser dn_;
  EntryPaths paths_;
  std::vector<bool> isEntry_;  // per node: read as an entry, not a placeholder
  bool sawScript_ = false;
  bool sawAlias_ = false;
  PendingAliases aliases_;
};

bool TreeBuilder::Entry(LDAP* ld, LDAPMessage* entry, LdapFailure* failure) {
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
  DirTree::NodeId node;
  if (!paths_.AddText(tree, View(dn), dn_, &node)) {
    *failure = MakeClientFailure(kLdapBadDn, "the server sent a DN that does not parse: ");
    AppendPrintable(failure->message, std::string(View(dn)).c_str());
    return false;
  }
  if (node == DirTree::kNone) return true;  // the root DSE is no object of the tree
  if (isEntry_.size() < tree.size()) isEntry_.resize(tree.size() + tree.size() / 2);
  // A second copy of an entry (a context also read through another) adds
  // nothing.
  if (isEntry_[node]) return true;
  isEntry_[node] = true;
  tree.Respell(node, dn_.Rdn(0));
  if (progress_) progress_->Count();

  sawScript_ = sawAlias_ = false;
  for (;;) {
    struct berval description = {0, nullptr};
    struct berval* rawValues = nullptr;
    rc = ldap_get_attribute_ber(ld, entry, ber.get(), &description, &rawValues);
    BerArrayPtr values(rawValues);
    if (rc != LDAP_SUCCESS) {
      *failure = MakeLdapFailure(rc, nullptr);
      return false;
    }
    if (!description.bv_val) return true;
    if (!Attribute(AttributeType(description), values.get(), node, failure)) return false;
  }
}

bool TreeBuilder::Attribute(std::string_view type, const struct berval* values,
                            DirTree::NodeId node, LdapFailure* failure) {
  if (!values) return true;
  DirTree& tree = loaded_.tree;
  if (EqualsIgnoreAsciiCase(type, "objectClass")) {
    for (const struct berval* value = values; value->bv_val; ++value)
      tree.AddFlags(node, ObjectClassFlags(View(*value)));
  } else if (EqualsIgnoreAsciiCase(type, "loginScript")) {
    // Only the first value is the script, stored once as the server sent
    // it, up to what the tool can ever read of it.
    if (sawScript_ || !values[0].bv_val) return true;
    sawScript_ = true;
    if (!tree.StoreScript(node, View(values[0]).substr(0, kMaxKeptScript))) {
      *failure = MakeClientFailure(kOutOfMemory, "out of memory for login scripts");
      return false;
    }
  } else if (EqualsIgnoreAsciiCase(type, "aliasedObjectName")) {
    if (sawAlias_ || !values[0].bv_val) return true;
    if (values[0].bv_len > kMaxDn) {
      *failure = DnTooLong("an aliasedObjectName", values[0].bv_len);
      return false;
    }
    sawAlias_ = true;
    aliases_.Add(node, View(values[0]));
  } else if (EqualsIgnoreAsciiCase(type, "hasSubordinates")) {
    if (values[0].bv_val && EqualsIgnoreAsciiCase(View(values[0]), "TRUE"))
      tree.AddFlags(node, kNodeContainer);
  }
  return true;
}

void TreeBuilder::Finish() {
  aliases_.Mark(loaded_.tree, dn_);
  isEntry_.clear();
  isEntry_.shrink_to_fit();
}

}  // namespace

bool ReadLdapTree(LdapConnection& connection, const std::string& base,
                  LoadedTree& loaded, LdapFailure* failure, LoadProgress* progress) {
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
