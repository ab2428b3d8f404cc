// Reads LDIF exports (RFC 2849) into a DirTree: content records, add
// records, and ldapsearch's own output with its result and reference
// records.
//
// Names go into the tree's arena and each entry's login script, decoded,
// into its store, so that nothing of the input is needed once it is loaded.
// Other change records, URL values, anything that does not parse and
// anything that proves the file was cut stop the load with the line where
// the problem stands.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/failure.h"
#include "base/status.h"
#include "ldif/block_reader.h"
#include "tree/dir_tree.h"
#include "tree/load_progress.h"
#include "tree/name_mapping.h"

namespace ldif {

// What a load found besides the tree, each at its line.
struct LdifNote {
  uint64_t line;  // 0: about the whole file
  std::string text;
};
struct LdifNotes {
  // Parts of the directory the export says it left out: a search ended by
  // a server limit, a reference to another server.
  std::vector<LdifNote> unsearched;
  // Doubts that cannot be proven, such as a last line without its end.
  std::vector<LdifNote> warnings;
};

// Loads what `reader` reads, holding only the lines being parsed (in blocks
// of `blockSize` bytes, more for a longer line). `progress`, when given,
// counts the entries as they load. Status 0 once the whole file is in
// `dirTree`.
constexpr std::size_t kLdifBlockSize = std::size_t{1} << 20;
base::Failure LoadLdif(BlockReader& reader, tree::DirTree& dirTree,
                       tree::LoadProgress* progress = nullptr,
                       std::size_t blockSize = kLdifBlockSize, LdifNotes* notes = nullptr);

}  // namespace ldif
