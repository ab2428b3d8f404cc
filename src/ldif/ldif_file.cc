#include "ldif/ldif_file.h"

#include "base/status.h"
#include "ldif/file_reader.h"
#include "ldif/ldif_loader.h"
#include "tree/load_progress.h"

namespace ldif {

base::Failure LoadLdifFile(const char* path, base::LoadObserver& observer,
                           std::unique_ptr<tree::LoadedTree>* out) {
  auto loaded = std::make_unique<tree::LoadedTree>();
  FileReader file;
  if (base::Failure failure = file.Open(path); failure.status != base::kOk) return failure;
  LdifNotes notes;
  tree::LoadProgress progress(&observer);
  // Read in blocks, keeping the tree and its scripts, from a pipe as from
  // a file.
  base::Failure failure = LoadLdif(file, loaded->tree, &progress, kLdifBlockSize, &notes);
  if (failure.status != base::kOk) {
    failure.where = path;
    // A line tells where a file does not parse, not where it could not be read.
    if (failure.status != base::kTreeMalformed) failure.line = 0;
    return failure;
  }
  std::string at = std::string(path) + ":";
  // A warning about the whole file (line 0) names no line.
  for (const LdifNote& warning : notes.warnings)
    observer.Notice(std::string(path) + (warning.line ? ":" + std::to_string(warning.line) : "") +
                    ": warning: " + warning.text);
  for (const LdifNote& part : notes.unsearched)
    loaded->unsearched.push_back(at + std::to_string(part.line) + ": " + part.text);
  *out = std::move(loaded);
  return {};
}

}  // namespace ldif
