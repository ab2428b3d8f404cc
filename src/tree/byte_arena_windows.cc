#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "tree/byte_arena.h"

namespace tree {
namespace {

// Address space is reserved once and committed as the bytes come, so the
// block does not move: room for any store of the tree's own, and for a
// store that will grow large (WarmAhead), more than any tree's scripts
// need. Both are slivers of 64-bit address space, cheap on Windows; wine
// pays by the size, so the first stays small.
constexpr std::size_t kReserve = std::size_t{1} << 30;
constexpr std::size_t kLargeReserve = std::size_t{64} << 30;
// Committed in steps of this much, or of half what is held, whichever is more.
constexpr std::size_t kCommitStep = std::size_t{1} << 20;

}  // namespace

// Large pages need a privilege a workstation user lacks: no hint to give.
void AdviseHugePages(void*, std::size_t) {}

// The page warmer has no Windows counterpart: the writer faults its pages in.
void ByteArena::StopWarming::operator()(PageWarmer*) const {}
void ByteArena::WarmAhead() { warm_ = true; }
void ByteArena::StartWarming() {}

ByteArena::~ByteArena() {
  if (data_) VirtualFree(data_, 0, MEM_RELEASE);
}

bool ByteArena::Reserve(std::size_t needed) {
  if (needed <= capacity_) return true;
  if (needed > reserved_) {
    // Past its reservation a store moves, once per doubling: the only copy.
    std::size_t reserved = std::max({needed, reserved_ * 2, warm_ ? kLargeReserve : kReserve});
    auto* block = static_cast<char*>(VirtualAlloc(nullptr, reserved, MEM_RESERVE, PAGE_NOACCESS));
    if (block && size_ && !VirtualAlloc(block, size_, MEM_COMMIT, PAGE_READWRITE)) {
      VirtualFree(block, 0, MEM_RELEASE);
      block = nullptr;
    }
    if (!block) return false;
    if (size_) std::memcpy(block, data_, size_);
    if (data_) VirtualFree(data_, 0, MEM_RELEASE);
    data_ = block;
    reserved_ = reserved;
    capacity_ = size_;
  }
  std::size_t capacity =
      std::min(reserved_, std::max(needed, capacity_ + std::max(kCommitStep, capacity_ / 2)));
  if (!VirtualAlloc(data_ + capacity_, capacity - capacity_, MEM_COMMIT, PAGE_READWRITE))
    return false;
  capacity_ = capacity;
  return true;
}

void ByteArena::Commit(std::size_t size, uint64_t* offset) {
  *offset = size_;
  size_ += size;
}

}  // namespace tree
