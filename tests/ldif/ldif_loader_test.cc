// Fixture cases, each NAME.ldif with its NAME.expected: "exit N", then
// optional "search TEXT" (bytes as \xHH), "codepage N", "terminal", "utf8"
// (the argument is UTF-8 whatever the code page) and "cut N" (the file cut
// to N bytes once loaded, which must change nothing) lines,
// an "err LINE" for each line of standard error (the file's path written
// PATH), and after "--- stdout" the exact standard output. The whole tool
// searches each file for "map" unless told otherwise (e2e/run.sh reads the
// "exit" and "err" lines of the exports' too). The loader's own cases
// (ldif/cases: every syntax content records may use, the errors that stop a
// load with their line, files cut short) are also loaded from memory in
// blocks of every size, and then fail wherever a read fails.
#include "ldif/ldif_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <sstream>

#include "capture.h"
#include "client/tree_client.h"
#include "hostile_input.h"
#include "ldif_text.h"
#include "table.h"

namespace qovant_test {
namespace {

using ldif::LoadLdif;
using tree::LoadedTree;

const char kReadError[] = "Input/output error";

// The text reaches the loader all at once (block 0), or through a reader
// in blocks of 1 to 80 bytes that gives 1 to 3 bytes a call for three sizes
// in four. Each size ends blocks at other places: across them, inside every
// token and right after each line of a folded value.
constexpr std::size_t kLargestBlock = 80;

base::Failure Load(const std::string& ldif, std::unique_ptr<LoadedTree>* out, std::size_t block = 0,
                   std::size_t failAt = SIZE_MAX) {
  auto loaded = std::make_unique<LoadedTree>();
  StringReader reader(ldif, block % 4, failAt);
  base::Failure error =
      LoadLdif(reader, loaded->tree, nullptr, block ? block : ldif::kLdifBlockSize);
  if (error.status == base::kOk) *out = std::move(loaded);
  return error;
}

struct Fixture {
  std::string name;
  bool inBlocks = false;
  std::string ldif, search = "map", err, out;
  int exitStatus = -1;
  SearchOptions options;
};

void PrintTo(const Fixture& f, std::ostream* os) { *os << f.name; }

std::vector<Fixture> Fixtures(const char* dir, bool inBlocks) {
  std::vector<Fixture> fixtures;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(QOVANT_TESTS_DIR) + dir)) {
    if (entry.path().extension() != ".ldif") continue;
    Fixture f;
    f.name = entry.path().stem().string();
    f.inBlocks = inBlocks;
    f.ldif = ReadFile(entry.path());
    std::string expected =
        ReadFile(std::filesystem::path(entry.path()).replace_extension(".expected"));
    std::size_t stdoutAt = expected.find("--- stdout\n");
    f.out = expected.substr(stdoutAt + 11);
    std::istringstream header(expected.substr(0, stdoutAt));
    for (std::string line; std::getline(header, line);) {
      std::string word = line.substr(0, line.find(' ')),
                  rest = line.substr(word.size() + (word != line));
      if (word == "exit") f.exitStatus = std::stoi(rest);
      if (word == "search") f.search = Unescape(rest);
      if (word == "codepage") f.options.codePage = static_cast<uint32_t>(std::stoul(rest));
      if (word == "terminal") f.options.terminal = true;
      if (word == "utf8") f.options.utf8Text = true;
      if (word == "cut") f.options.cutAfterLoad = std::stol(rest);
      if (word == "err") f.err += rest + "\n";
    }
    fixtures.push_back(f);
  }
  std::sort(fixtures.begin(), fixtures.end(), [](auto& a, auto& b) { return a.name < b.name; });
  return fixtures;
}

class Case : public testing::TestWithParam<Fixture> {};

TEST_P(Case, GivesItsExpectedOutput) {
  const Fixture& f = GetParam();
  RunResult result = SearchLdif(f.ldif, f.search.c_str(), f.options);
  EXPECT_EQ(result.out, f.out);
  EXPECT_EQ(result.err, f.err);
  EXPECT_EQ(result.exitStatus, f.exitStatus);
  if (!f.inBlocks) return;
  // A load error is the last line of standard error: "qovant: PATH:LINE: MESSAGE".
  std::size_t lineAt = f.err.rfind("qovant: PATH:") + 13, messageAt = f.err.find(": ", lineAt) + 2;
  for (std::size_t block = 0; block <= kLargestBlock; ++block) {
    SCOPED_TRACE("block " + std::to_string(block));
    std::unique_ptr<LoadedTree> loaded;
    base::Failure error = Load(f.ldif, &loaded, block);
    if (f.exitStatus == 1) {
      EXPECT_EQ(loaded, nullptr);
      EXPECT_EQ(std::to_string(error.line), f.err.substr(lineAt, messageAt - 2 - lineAt));
      EXPECT_EQ(error.message + "\n", f.err.substr(messageAt));
      EXPECT_EQ(error.status, base::kTreeMalformed);
      continue;
    }
    ASSERT_NE(loaded, nullptr) << error.message;
    client::TreeClient client(std::move(loaded));
    EXPECT_EQ(RunTool(client, {f.search.c_str()}).out, f.out);
    // Even at the very end: the bytes before a failed read are not a shorter file.
    for (std::size_t failAt = 0; block && failAt <= f.ldif.size(); ++failAt) {
      error = Load(f.ldif, &loaded, block, failAt);  // `loaded` went to the client
      EXPECT_TRUE(error.status == base::kTreeUnreadable && error.message == kReadError)
          << "fails at " << failAt << ": " << error.message;
    }
  }
}

std::string FixtureName(const testing::TestParamInfo<Fixture>& info) {
  std::string name = info.param.name;
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Ldif, Case, testing::ValuesIn(Fixtures("ldif/cases", true)), FixtureName);
INSTANTIATE_TEST_SUITE_P(Tool, Case, testing::ValuesIn(Fixtures("tool/cases", false)), FixtureName);

// Alias targets are resolved once the whole input is read, long after the
// block that held them was reused.
TEST(LdifFlagsTest, ContainersAndAliasesFollowClassesAndTargets) {
  const std::string ldif = ReadFile("ldif/flags.ldif");
  const std::vector<Row> rows = ReadTable("ldif/flags.table", "flags");
  for (std::size_t block = 0; block <= kLargestBlock; ++block) {
    std::unique_ptr<LoadedTree> loaded;
    base::Failure error = Load(ldif, &loaded, block);
    ASSERT_NE(loaded, nullptr) << error.message;
    bool parsed;
    for (const Row& row : rows)
      EXPECT_EQ(
          loaded->tree.Flags(loaded->tree.Resolve(tree::DirTree::kRoot, row.text("name"), &parsed)),
          row.number("flags"))
          << row.where << ", block " << block;
  }
}

}  // namespace
}  // namespace qovant_test
