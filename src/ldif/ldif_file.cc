#include "ldif/ldif_file.h"

#include "client/load_progress.h"
#include "client/status.h"
#include "ldif/file_reader.h"
#include "ldif/ldif_loader.h"

namespace dirclient {

Status LoadLdifFile(const char* path, LoadObserver& observer, std::unique_ptr<LoadedTree>* out,
                    Failure* failure) {
  failure->where = path;
  auto loaded = std::make_unique<LoadedTree>();
  FileReader file;
  if (!file.Open(path, &failure->message)) return failure->status = kTreeUnreadable;
  LdifError error;
  LdifNotes notes;
  LoadProgress progress(&observer);
  // Read in blocks, keeping the tree and its scripts, from a pipe as from
  // a file.
  if (!LoadLdif(file, loaded->tree, &error, &progress, kLdifBlockSize, &notes)) {
    failure->message = error.message;
    if (error.readFailed) return failure->status = kTreeUnreadable;
    if (error.outOfMemory) {
      failure->message = "out of memory while loading the tree";
      return failure->status = kOutOfMemory;
    }
    failure->line = error.line;
    return failure->status = kTreeMalformed;
  }
  std::string at = std::string(path) + ":";
  for (const LdifNote& warning : notes.warnings)
    observer.Notice(at + std::to_string(warning.line) + ": warning: " + warning.text);
  for (const LdifNote& part : notes.unsearched)
    loaded->unsearched.push_back(at + std::to_string(part.line) + ": " + part.text);
  *out = std::move(loaded);
  return kOk;
}

}  // namespace dirclient
