#include "dirclient/tree_source.h"

#include "dirclient/ldif_loader.h"
#include "dirclient/status.h"

namespace dirclient {

Status LoadLdifFile(const char* path, std::FILE* diagnostics,
                    const char* program, std::unique_ptr<LoadedTree>* out) {
  auto loaded = std::make_unique<LoadedTree>();
  std::string reason;
  if (!loaded->file.Open(path, &reason)) {
    std::fprintf(diagnostics, "%s: %s: %s\n", program, path, reason.c_str());
    return kTreeUnreadable;
  }
  LdifError error;
  if (!LoadLdif(loaded->file.data(), loaded->tree, &error)) {
    std::fprintf(diagnostics, "%s: %s:%llu: %s\n", program, path,
                 static_cast<unsigned long long>(error.line), error.message.c_str());
    return kTreeMalformed;
  }
  *out = std::move(loaded);
  return kOk;
}

Status LoadConfiguredTree(const char* setting, std::FILE* diagnostics,
                          const char* program, std::unique_ptr<LoadedTree>* out) {
  if (!setting || !*setting) {
    std::fprintf(diagnostics,
                 "%s: no directory tree configured: set DIRCLIENT_TREE to an "
                 "LDIF file\n",
                 program);
    return kNoTreeConfigured;
  }
  return LoadLdifFile(setting, diagnostics, program, out);
}

}  // namespace dirclient
