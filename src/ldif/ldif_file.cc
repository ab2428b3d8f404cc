#include "ldif/ldif_file.h"

#include <unistd.h>

#include "client/load_progress.h"
#include "client/shown_text.h"
#include "client/status.h"
#include "ldif/file_reader.h"
#include "ldif/ldif_loader.h"

namespace dirclient {

Status LoadLdifFile(const char* path, std::FILE* diagnostics,
                    const char* program, std::unique_ptr<LoadedTree>* out) {
  auto loaded = std::make_unique<LoadedTree>();
  std::string reason;
  FileReader file;
  if (!file.Open(path, &reason)) {
    std::fprintf(diagnostics, "%s: %s: %s\n", program, ShownOn(diagnostics, path).c_str(),
                 reason.c_str());
    return kTreeUnreadable;
  }
  LdifError error;
  LdifNotes notes;
  LoadProgress progress(diagnostics, isatty(fileno(diagnostics)) == 1, program);
  // Read in blocks, keeping the tree and its scripts, from a pipe as from
  // a file.
  bool loadedOk = LoadLdif(file, loaded->tree, &error, &progress, kLdifBlockSize, &notes);
  progress.Finish();
  if (!loadedOk && error.readFailed) {
    std::fprintf(diagnostics, "%s: %s: %s\n", program, ShownOn(diagnostics, path).c_str(),
                 ShownOn(diagnostics, error.message).c_str());
    return kTreeUnreadable;
  }
  if (!loadedOk && error.outOfMemory) {
    std::fprintf(diagnostics, "%s: %s: out of memory while loading the tree\n", program, path);
    return kOutOfMemory;
  }
  if (!loadedOk) {
    std::fprintf(diagnostics, "%s: %s:%llu: %s\n", program, ShownOn(diagnostics, path).c_str(),
                 static_cast<unsigned long long>(error.line),
                 ShownOn(diagnostics, error.message).c_str());
    return kTreeMalformed;
  }
  for (const LdifNote& warning : notes.warnings)
    std::fprintf(diagnostics, "%s: %s:%llu: warning: %s\n", program, path,
                 static_cast<unsigned long long>(warning.line), warning.text.c_str());
  for (const LdifNote& part : notes.unsearched)
    loaded->unsearched.push_back(std::string(path) + ":" + std::to_string(part.line) + ": " +
                                 part.text);
  *out = std::move(loaded);
  return kOk;
}

}  // namespace dirclient
