// How entries land in the tree, shared by the LDIF and LDAP backends:
// flags from object classes, reused node chains, remembered containers.
// Placeholders for ancestors and container aliases are shown through the
// loader (ldif/cases, LdifFlagsTest).
#include "tree/entry_mapping.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/dirclient.h"
#include "table.h"

namespace qovant_test {
namespace {

using dirclient::DirTree;
using dirclient::DnParser;

DirTree::NodeId Find(const DirTree& tree, const char* dn) {
  DnParser parser;
  EXPECT_TRUE(parser.Parse(dn)) << dn;
  return dirclient::FindEntryPath(tree, parser);
}

TEST(EntryMappingTest, ObjectClassesGiveFlags) {
  for (const Row& row : ReadTable("tree/entry_mapping.table", "class"))
    EXPECT_EQ(dirclient::ObjectClassFlags(row.text(0)), row.number(1)) << row.where;
}

// Reusing the last chain must build the very tree that looking up every
// RDN builds, whatever order the entries come in.
TEST(EntryMappingTest, ReusedChainsBuildTheSameTree) {
  const char* const dns[] = {
      "o=Acme", "ou=Sales,o=Acme", "cn=Ann,ou=Sales,o=Acme",
      "cn=Bob,ou=Sales,o=Acme",         // sibling
      "cn=Kid,cn=Bob,ou=Sales,o=Acme",  // the last leaf becomes a parent
      "ou=Ops,o=Acme",                  // back up two levels
      "cn=X,ou=Deep,ou=Ops,o=Acme",     // a placeholder under a cached node
      "CN=ann,OU=sales,O=ACME",         // same entry, other spelling
      "ou=Deep,ou=Ops,o=Acme",          // the placeholder's own entry
      "dc=example,dc=com", "cn=Ann,ou=Sales,o=Acme"};
  DirTree cached, fresh;
  dirclient::EntryPaths paths;
  DnParser parser;
  for (const char* dn : dns) {
    ASSERT_TRUE(parser.Parse(dn));
    EXPECT_EQ(paths.Add(cached, parser), dirclient::AddEntryPath(fresh, parser)) << dn;
  }
  ASSERT_EQ(cached.size(), fresh.size());
  for (DirTree::NodeId node = 1; node < cached.size(); ++node) {
    EXPECT_EQ(cached.Name(node), fresh.Name(node));
    EXPECT_EQ(cached.Parent(node), fresh.Parent(node));
    EXPECT_EQ(cached.Flags(node), fresh.Flags(node)) << cached.Name(node);
  }
  EXPECT_EQ(cached.Flags(Find(cached, "cn=Bob,ou=Sales,o=Acme")), dirclient::kFlagContainer);
}

// A remembered container is found by its DN as spelled, among as many as
// make its table grow; spelled otherwise, it is left to the full path.
TEST(EntryMappingTest, RemembersContainersByTheirSpelling) {
  DirTree tree;
  dirclient::EntryPaths paths;
  DnParser parser;
  std::vector<DirTree::NodeId> units;
  auto unitDn = [](int i) { return "ou=U" + std::to_string(i) + ",o=Acme"; };
  for (int i = 0; i < 2000; ++i) {
    dirclient::EntryPaths::Pending pending;
    ASSERT_TRUE(paths.Begin(tree, unitDn(i), parser, &pending));
    DirTree::NodeId node = dirclient::EntryPaths::Finish(tree, pending);
    paths.RememberContainer(unitDn(i), node);
    units.push_back(node);
  }
  for (int i = 1999; i >= 0; --i) {
    std::string dn = "cn=P," + unitDn(i);
    dirclient::EntryPaths::Pending pending;
    ASSERT_TRUE(paths.BeginSibling(tree, dn, parser, &pending)) << dn;
    EXPECT_EQ(pending.parent, units[i]) << dn;
  }
  dirclient::EntryPaths::Pending pending;
  EXPECT_FALSE(paths.BeginSibling(tree, "cn=P,OU=u7,o=Acme", parser, &pending));
  ASSERT_TRUE(paths.BeginAny(tree, "cn=P,OU=u7,o=Acme", parser, &pending));
  EXPECT_EQ(tree.Parent(pending.node), units[7]);
}

}  // namespace
}  // namespace qovant_test
