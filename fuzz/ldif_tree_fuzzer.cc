// Arbitrary bytes as an LDIF file: the loader either refuses them with a line
// of the file and a reason, or loads a tree that the whole tool then walks,
// so that hostile names and scripts reach the walk, the script check and the
// output.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "capture.h"
#include "client/tree_client.h"
#include "ldif/ldif_loader.h"
#include "ldif_text.h"
#include "require.h"
#include "tool/run.h"
#include "tool/shared_buffers.h"
#include "tree/loaded_tree.h"

namespace {

using qovant_test::MemoryStream;

uint64_t LineCount(std::string_view text) {
  uint64_t lines = 1;
  for (char c : text) lines += c == '\n';
  return lines;
}

// Walks the loaded tree with the empty search text, which every non-empty
// script contains, so that every script's first line is cut and reported.
// Returns the report.
std::string SearchAll(std::unique_ptr<tree::LoadedTree> loaded, bool terminal) {
  client::TreeClient client(std::move(loaded));
  auto buffers = std::make_unique<tool::SharedBuffers>();
  MemoryStream out, err;
  tool::Output output(out.file(), terminal);
  const char* argv[] = {"qovant", ""};
  tool::ExitStatus status = tool::RunQovant(2, argv, client, *buffers, output, err.file());

  Require(status == tool::kExitComplete || status == tool::kExitIncomplete,
          "a loaded tree must be searched");
  Require((status == tool::kExitComplete) == err.text().empty(),
          "an incomplete search and only that says so on standard error");
  Require(buffers->Depth == 0, "the walk left levels open");
  Require(std::strcmp(buffers->CurrentName, client::kRootName) == 0,
          "the walk did not restore the top name");
  // Without walk messages the output is report lines only.
  std::string report = out.text();
  Require(status != tool::kExitComplete || report.empty() ||
              (report.size() >= 2 && report.substr(report.size() - 2) == ")\n"),
          "a complete search ends with a whole report line");
  return report;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // The fuzzer's copy of the input has its exact size, so any read past the
  // end of the "file" is caught.
  std::string_view text(size ? reinterpret_cast<const char*>(data) : "", size);
  auto loaded = std::make_unique<tree::LoadedTree>();
  base::Failure error = qovant_test::LoadLdifText(text, loaded->tree);
  bool ok = error.status == base::kOk;

  // Read in blocks of a few bytes: the same tree, or the same failure at
  // the same line.
  auto blocks = std::make_unique<tree::LoadedTree>();
  qovant_test::StringReader reader(text, 7);
  base::Failure blockError = ldif::LoadLdif(reader, blocks->tree, nullptr, 1 + size % 61);
  bool blockOk = blockError.status == base::kOk;
  Require(ok == blockOk, "loading in blocks must succeed exactly when loading whole");

  if (!ok) {
    Require(error.line >= 1 && error.line <= LineCount(text), "error line outside the file");
    Require(!error.message.empty(), "error without a reason");
    Require(blockError.line == error.line && blockError.message == error.message,
            "loading in blocks must fail where loading whole does");
    return 0;
  }
  bool terminal = size % 2 == 1;
  Require(SearchAll(std::move(loaded), terminal) == SearchAll(std::move(blocks), terminal),
          "loading in blocks must give the tree loading whole gives");
  return 0;
}
