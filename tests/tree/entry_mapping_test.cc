// How entries land in the tree, shared by the LDIF and LDAP backends:
// flags from object classes, the builder's shortcuts to an entry's parent.
// Placeholders for ancestors and container aliases are shown through the
// loader (ldif/cases, LdifFlagsTest).
#include "tree/entry_mapping.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/client.h"
#include "table.h"
#include "tree/tree_builder.h"

namespace qovant_test {
namespace {

using tree::DirTree;
using tree::DnParser;

TEST(EntryMappingTest, ObjectClassesGiveFlags) {
  for (const Row& row : ReadTable("tree/entry_mapping.table", "class"))
    EXPECT_EQ(tree::ObjectClassFlags(row.text("class")), row.number("flags")) << row.where;
}

// The node of every RDN of `dn`, looked up level by level, the ancestors
// made containers: what the builder's shortcuts must come to.
DirTree::NodeId AddPath(DirTree& tree, const char* dn, uint32_t flags) {
  DnParser parser;
  EXPECT_TRUE(parser.Parse(dn)) << dn;
  DirTree::NodeId node = DirTree::kRoot;
  for (size_t i = parser.RdnCount(); i-- > 0;) {
    if (node != DirTree::kRoot) tree.AddFlags(node, tree::kFlagContainer);
    DirTree::NodeId child = tree.FindChild(node, parser.Rdn(i));
    node = child != DirTree::kNone ? child : tree.AddChild(node, parser.Rdn(i));
  }
  tree.AddFlags(node, flags);
  return node;
}

// The builder's shortcuts (the last chain, the last parent, remembered
// containers, among as many as make their table grow) must build the very
// tree that looking up every RDN builds, whatever order the entries come
// in; a container spelled otherwise is left to the full path.
TEST(EntryMappingTest, ShortcutsBuildTheSameTree) {
  std::vector<std::string> dns = {
      "o=Acme",
      "ou=Sales,o=Acme",
      "cn=Ann,ou=Sales,o=Acme",
      "cn=Bob,ou=Sales,o=Acme",         // sibling
      "cn=Kid,cn=Bob,ou=Sales,o=Acme",  // the last leaf becomes a parent
      "ou=Ops,o=Acme",                  // back up two levels
      "cn=X,ou=Deep,ou=Ops,o=Acme",     // a placeholder under a cached node
      "CN=ann,OU=sales,O=ACME",         // same entry, other spelling
      "ou=Deep,ou=Ops,o=Acme",          // the placeholder's own entry
      "dc=example,dc=com",
      "cn=Ann,ou=Sales,o=Acme"};
  auto unitDn = [](int i) { return "ou=U" + std::to_string(i) + ",o=Acme"; };
  for (int i = 0; i < 2000; ++i) dns.push_back(unitDn(i));
  for (int i = 1999; i >= 0; --i) dns.push_back("cn=P," + unitDn(i));
  dns.push_back("cn=Q,OU=u7,o=Acme");
  DirTree built, fresh;
  tree::TreeBuilder builder(built, tree::RepeatedDn::kKeepFirst, nullptr, nullptr, false);
  for (const std::string& dn : dns) {
    uint32_t flags = dn.starts_with("ou=") ? tree::kFlagContainer : 0;
    builder.Open(1, dn).flags = flags;
    ASSERT_TRUE(builder.Close()) << dn;
    AddPath(fresh, dn.c_str(), flags);
  }
  base::Failure failure = builder.Finish({});
  ASSERT_EQ(failure.status, base::kOk) << failure.message;
  ASSERT_EQ(built.size(), fresh.size());
  for (DirTree::NodeId node = 1; node < built.size(); ++node) {
    EXPECT_EQ(built.Name(node), fresh.Name(node));
    EXPECT_EQ(built.Parent(node), fresh.Parent(node)) << built.Name(node);
    EXPECT_EQ(built.Flags(node), fresh.Flags(node)) << built.Name(node);
  }
}

}  // namespace
}  // namespace qovant_test
