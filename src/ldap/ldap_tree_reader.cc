#include "ldap/ldap_tree_reader.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tree/batch_builder.h"
#include "tree/batch_feed.h"
#include "tree/byte_arena.h"
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
  return MakeClientFailure(kLdapOverLimit, "the server sent " + DnOverLimit(what, length));
}

// Decodes each entry the server sends into the feed's batch, on the thread
// that waits for the server, while the tree is built on the other; scripts
// go into this thread's own store, which the tree takes at the end.
class EntryReceiver : public EntrySink {
 public:
  EntryReceiver(BatchFeed& feed, ByteArena& scripts, std::vector<std::string>& unsearched)
      : feed_(feed), scripts_(scripts), unsearched_(unsearched) {}
  bool Entry(LDAP* ld, LDAPMessage* entry, Failure* failure) override;
  void Reference(std::string_view urls) override {
    unsearched_.push_back("search reference to " + std::string(urls) +
                          ": that part of the tree is on another server");
  }

 private:
  bool Attribute(std::string_view type, const struct berval* values, FoundEntry* found,
                 Failure* failure);

  BatchFeed& feed_;
  ByteArena& scripts_;
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

  FoundBatch& batch = feed_.batch();
  FoundEntry found{};
  found.place = ++entries_;
  found.dnLength = static_cast<uint32_t>(dn.bv_len);
  found.dnBegin = batch.Keep(View(dn));
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
  batch.entries.push_back(found);
  // Building failed: its own failure is the one reported (BuildFailure).
  return feed_.HandIfFull();
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
    if (!scripts_.Append(script, &found->scriptOffset)) {
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
    found->hasAlias = true;
    found->aliasLength = static_cast<uint32_t>(values[0].bv_len);
    found->aliasBegin = feed_.batch().Keep(View(values[0]));
  }
  return true;
}

// What stopped the building of the tree, in the terms of a server.
Failure BuildFailure(const BuildFault& fault) {
  if (fault.kind == BuildFault::Kind::kOutOfMemory)
    return MakeClientFailure(kOutOfMemory, kOutOfMemoryWhileLoading);
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
  BatchBuilder builder(loaded.tree, RepeatedDn::kKeepFirst, progress);
  auto scripts = std::make_unique<ByteArena>();
  bool read = true;
  {
    BatchFeed feed(builder, true);
    EntryReceiver receiver(feed, *scripts, loaded.unsearched);
    // Every base must be there: a naming context the identity cannot
    // search is a failure, not an empty part of the tree.
    for (const std::string& each : bases)
      if (!(read = ReadSubtreePaged(connection, each, kAttributes, receiver, failure))) break;
    BuildFault fault;
    if (!feed.Finish(&fault)) {
      *failure = BuildFailure(fault);
      return false;
    }
  }
  if (!read) return false;
  builder.Finish();
  loaded.tree.AdoptScripts(std::move(scripts));
  return true;
}

}  // namespace dirclient
