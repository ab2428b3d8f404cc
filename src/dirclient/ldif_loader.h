// Reads LDIF content records (RFC 2849) into a DirTree.
//
// The loader keeps no copy of the file: names go into the tree's arena and a
// login script is kept as its raw span in `text`, which must outlive the
// tree. Change records, URL values and anything that does not parse stop the
// load with the line where the problem stands.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dirclient/dir_tree.h"
#include "dirclient/load_progress.h"
#include "dirclient/name_mapping.h"

namespace dirclient {

struct LdifError {
  uint64_t line = 0;
  std::string message;
};

// `progress`, when given, counts the entries as they load.
bool LoadLdif(std::string_view text, DirTree& tree, LdifError* error,
              LoadProgress* progress = nullptr);

}  // namespace dirclient
