// Which tree the client serves: the one place that picks a source, a file
// or a server, from the settings, and says on standard error how loading
// it went.
#pragma once

#include <cstdio>
#include <memory>

#include "base/environment.h"
#include "base/failure.h"
#include "client/tree_source.h"

namespace tool {

// The tree DIRCLIENT_TREE names: an LDIF file, an LDAP URI, or, unset,
// the server libldap's own configuration names. Loaded when the client
// starts; a failure is written to `diagnostics` as one line after
// `program` and a colon, with anything from a file or a server shown so
// that it cannot drive a terminal.
class ConfiguredTree : public client::TreeSource {
 public:
  ConfiguredTree(const base::Environment& environment, std::FILE* diagnostics, const char* program)
      : environment_(environment), diagnostics_(diagnostics), program_(program) {}
  base::Status Load(std::unique_ptr<tree::LoadedTree>* out) override;

 private:
  void Print(const base::Failure& failure, uint32_t codePage, bool terminal) const;

  const base::Environment& environment_;
  std::FILE* diagnostics_;
  const char* program_;
};

}  // namespace tool
