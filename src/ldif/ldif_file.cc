#include "ldif/ldif_file.h"

#include "base/status.h"
#include "ldif/file_reader.h"
#include "ldif/ldif_loader.h"
#include "tree/load_progress.h"

namespace ldif {

base::Status LoadLdifFile(const char* path, base::LoadObserver& observer,
                          std::unique_ptr<tree::LoadedTree>* out, base::Failure* failure) {
  auto loaded = std::make_unique<tree::LoadedTree>();
  FileReader file;
  *failure = file.Open(path);
  if (failure->status != base::kOk) return failure->status;
  failure->where = path;
  base::Failure error;
  LdifNotes notes;
  tree::LoadProgress progress(&observer);
  // Read in blocks, keeping the tree and its scripts, from a pipe as from
  // a file.
  if (!LoadLdif(file, loaded->tree, &error, &progress, kLdifBlockSize, &notes)) {
    failure->status = error.status;
    failure->message = error.message;
    if (error.status == base::kOutOfMemory) failure->message = base::kOutOfMemoryWhileLoading;
    // A line tells where a file does not parse, not where it could not be read.
    if (error.status == base::kTreeMalformed) failure->line = error.line;
    return failure->status;
  }
  std::string at = std::string(path) + ":";
  // A warning about the whole file (line 0) names no line.
  for (const LdifNote& warning : notes.warnings)
    observer.Notice(std::string(path) + (warning.line ? ":" + std::to_string(warning.line) : "") +
                    ": warning: " + warning.text);
  for (const LdifNote& part : notes.unsearched)
    loaded->unsearched.push_back(at + std::to_string(part.line) + ": " + part.text);
  *out = std::move(loaded);
  return base::kOk;
}

}  // namespace ldif
