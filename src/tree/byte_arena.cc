// What the arena does alike on every system; how it gets and grows its
// block is in byte_arena_posix.cc and byte_arena_windows.cc.
#include "tree/byte_arena.h"

#include <cstdint>
#include <cstring>

namespace tree {

char* ByteArena::Claim(std::size_t size) {
  // Even an empty claim gets a block, so that null only means no memory.
  if (size >= SIZE_MAX - size_ || !Reserve(size_ + size + 1)) return nullptr;
  return data_ + size_;
}

bool ByteArena::Append(std::string_view bytes, uint64_t* offset) {
  char* dest = Claim(bytes.size());
  if (!dest) return false;
  if (!bytes.empty()) std::memcpy(dest, bytes.data(), bytes.size());
  Commit(bytes.size(), offset);
  return true;
}

}  // namespace tree
