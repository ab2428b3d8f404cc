#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "tree/byte_arena.h"

namespace tree {
namespace {

// Address space reserved once, at the first claim, and committed as the
// bytes come, so that the block never moves: more than any tree's scripts
// need, and a sliver of 64-bit address space.
constexpr std::size_t kReserved = std::size_t{64} << 30;
// Committed in steps of this much, or of half what is held, whichever is more.
constexpr std::size_t kFirstCapacity = std::size_t{1} << 20;

}  // namespace

// Large pages need a privilege a workstation user lacks: no hint to give.
void AdviseHugePages(void*, std::size_t) {}

// No warmer is started here: Windows has no call that faults pages in
// without touching them.
void ByteArena::StopWarming::operator()(PageWarmer*) const {}
void ByteArena::WarmAhead() { warm_ = true; }
void ByteArena::StartWarming() {}

ByteArena::~ByteArena() {
  if (data_) VirtualFree(data_, 0, MEM_RELEASE);
}

bool ByteArena::Reserve(std::size_t needed) {
  if (needed <= capacity_) return true;
  if (needed > kReserved) return false;
  if (!data_) {
    data_ = static_cast<char*>(VirtualAlloc(nullptr, kReserved, MEM_RESERVE, PAGE_NOACCESS));
    if (!data_) return false;
  }
  std::size_t capacity = capacity_ + std::max(kFirstCapacity, capacity_ / 2);
  if (capacity < needed) capacity = needed;
  if (capacity > kReserved) capacity = kReserved;
  if (!VirtualAlloc(data_ + capacity_, capacity - capacity_, MEM_COMMIT, PAGE_READWRITE))
    return false;
  capacity_ = capacity;
  return true;
}

char* ByteArena::Claim(std::size_t size) {
  // Even an empty claim gets a block, so that null only means no memory.
  if (size >= SIZE_MAX - size_ || !Reserve(size_ + size + 1)) return nullptr;
  return data_ + size_;
}

void ByteArena::Commit(std::size_t size, uint64_t* offset) {
  *offset = size_;
  size_ += size;
}

bool ByteArena::Append(std::string_view bytes, uint64_t* offset) {
  char* dest = Claim(bytes.size());
  if (!dest) return false;
  if (!bytes.empty()) std::memcpy(dest, bytes.data(), bytes.size());
  Commit(bytes.size(), offset);
  return true;
}

}  // namespace tree
