// Distinguished names to dotted names, and dotted names back to components.
// The cases are rows of tree/name_mapping.table.
#include "tree/name_mapping.h"

#include <gtest/gtest.h>

#include "table.h"

namespace qovant_test {
namespace {

const char kTable[] = "tree/name_mapping.table";

TEST(NameMappingTest, DnsMapToDottedNames) {
  tree::DnParser parser;
  for (const Row& row : ReadTable(kTable, "dn")) {
    bool parsed = parser.Parse(row.text("dn"));
    EXPECT_EQ(parsed, row["dotted"] != nullptr) << row.where;
    if (!parsed || !row["dotted"]) continue;
    std::string dotted;
    for (size_t i = 0; i < parser.RdnCount(); ++i)
      dotted += (i ? "." : "") + std::string(parser.Rdn(i));
    EXPECT_EQ(dotted, row.text("dotted")) << row.where;
  }
}

TEST(NameMappingTest, DottedNamesSplitAtUnescapedDots) {
  for (const Row& row : ReadTable(kTable, "split")) {
    std::vector<std::string_view> parts;
    bool split = tree::SplitDottedName(row.text("dotted"), parts);
    EXPECT_EQ(split, row["parts"] != nullptr) << row.where;
    if (!split) continue;
    std::string joined;
    for (size_t i = 0; i < parts.size(); ++i) joined += (i ? ";" : "") + std::string(parts[i]);
    EXPECT_EQ(joined, row.text("parts")) << row.where;
  }
}

}  // namespace
}  // namespace qovant_test
