#include "ldif/ldif_loader.h"

#include "ldif/ldif_parser.h"

namespace ldif {

bool LoadLdif(BlockReader& reader, tree::DirTree& tree, base::Failure* error,
              tree::LoadProgress* progress, std::size_t blockSize, LdifNotes* notes) {
  RecordParser loader(reader, blockSize ? blockSize : 1, tree, progress, notes);
  return loader.Load(error);
}

}  // namespace ldif
