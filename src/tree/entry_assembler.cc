#include "tree/entry_assembler.h"


namespace dirclient {

void EntryAssembler::Finish() {
  aliases_.Mark(tree_, aliasParser_);
  entryPlace_.clear();
  entryPlace_.shrink_to_fit();
}

}  // namespace dirclient
