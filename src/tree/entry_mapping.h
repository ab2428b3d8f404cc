// What every backend shares of an entry: the longest DN, the attribute
// types read, the flags its object classes give, and the container-alias
// mark its alias target earns once the whole tree is known.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tree/dir_tree.h"
#include "tree/name_mapping.h"

namespace tree {

// The longest DN any source may give: a file, or a server. It caps an
// entry's DN and its aliasedObjectName alike.
inline constexpr std::size_t kMaxDnBytes = 64 * 1024;
// What refusing one says, the same from a file and a server: `what` ("a
// DN", "an aliasedObjectName") "of N bytes, over the largest DN (65536
// bytes)".
std::string DnOverLimit(const char* what, std::size_t length);

// The attribute types the client reads, spelled once for every source.
inline constexpr std::string_view kObjectClassAttribute = "objectClass";
inline constexpr std::string_view kLoginScriptAttribute = "loginScript";
inline constexpr std::string_view kAliasedObjectNameAttribute = "aliasedObjectName";

// The node `dn` names, or kNone when it names none (or no RDN).
DirTree::NodeId FindEntryPath(const DirTree& tree, const DnParser& dn);

// The flags one objectClass value gives (alias, container), 0 for others.
uint32_t ObjectClassFlags(std::string_view objectClass);

// Marks `alias` a container alias when `target` names a container of the
// tree. Targets that do not parse or are not in the tree leave it a plain
// alias. `scratch` is reused for the parse.
void MarkContainerAlias(DirTree& tree, DirTree::NodeId alias, std::string_view target,
                        DnParser& scratch);

// Alias targets, kept until the whole tree is read: only then is it known
// whether they name containers.
class PendingAliases {
 public:
  void Add(DirTree::NodeId alias, std::string_view target);
  // Marks each alias whose target is a container, and forgets them all.
  void Mark(DirTree& tree, DnParser& scratch);

 private:
  struct Pending {
    DirTree::NodeId node;
    size_t begin;
    size_t length;
  };
  std::vector<Pending> aliases_;
  std::string targets_;
};

}  // namespace tree
