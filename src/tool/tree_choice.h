// Which tree the client serves: the one place that picks a source, a file
// or a server, from the settings, and says on standard error how loading
// it went.
#pragma once

#include <cstdio>
#include <memory>

#include "client/environment.h"
#include "client/failure.h"
#include "client/tree_source.h"

namespace dirclient {

// The tree DIRCLIENT_TREE names: an LDIF file, an LDAP URI, or, unset,
// the server libldap's own configuration names. Loaded when the client
// starts; a failure is written to `diagnostics` as one line after
// `program` and a colon, with anything from a file or a server shown so
// that it cannot drive a terminal.
class ConfiguredTree : public TreeSource {
 public:
  ConfiguredTree(const Environment& environment, std::FILE* diagnostics, const char* program)
      : environment_(environment), diagnostics_(diagnostics), program_(program) {}
  Status Load(std::unique_ptr<LoadedTree>* out) override;

 private:
  void Print(const Failure& failure, uint32_t codePage, bool terminal) const;

  const Environment& environment_;
  std::FILE* diagnostics_;
  const char* program_;
};

}  // namespace dirclient
