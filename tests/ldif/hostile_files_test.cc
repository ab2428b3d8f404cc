// A million-line LDIF file whose last line is bad, through the whole tool:
// a file that does not load stops the tool before any report, naming the
// line. Files cut short anywhere, or once loaded, are fixture cases
// (ldif/cases/cut-*, tool/cases/file-*-once-loaded).
#include <gtest/gtest.h>

#include <string>

#include "hostile_input.h"
#include "table.h"

namespace qovant_test {
namespace {

const char kMalformed[] = "\nNWCallsInit returned FFFFFD88";

TEST(MillionLines, BadLastLineStopsTheToolBeforeAnyReport) {
  // Lines 1-3: the top; 4-999,995: 249,998 records of four lines;
  // 999,996-999,998: one of three; 999,999: the last DN; 1,000,000: the bad line.
  std::string ldif = "dn: o=Big\nobjectClass: organization\n\n";
  ldif.reserve(32u << 20);
  for (int i = 0; i < 249998; ++i) {
    std::string number = std::to_string(i);
    ldif +=
        "dn: cn=u" + number + ",o=Big\nobjectClass: person\nloginScript: map " + number + "\n\n";
  }
  ldif += "dn: cn=next,o=Big\nobjectClass: person\n\ndn: cn=last,o=Big\n";
  for (const Row& row : ReadTable("ldif/hostile_files.table", "last")) {
    RunResult result = SearchLdif(ldif + row.text("line") + "\n", "map");
    EXPECT_EQ(result.out, kMalformed) << row.where;
    EXPECT_EQ(result.exitStatus, 1) << row.where;
    EXPECT_EQ(result.err, "qovant: PATH:1000000: " + row.text("message") + "\n") << row.where;
  }
}

}  // namespace
}  // namespace qovant_test
