#include "ldif/ldif_loader.h"

#include "ldif/ldif_parser.h"

namespace ldif {

base::Failure LoadLdif(BlockReader& reader, tree::DirTree& dirTree, tree::LoadProgress* progress,
                       std::size_t blockSize, LdifNotes* notes) {
  RecordParser loader(reader, blockSize ? blockSize : 1, dirTree, progress, notes);
  return loader.Load();
}

}  // namespace ldif
