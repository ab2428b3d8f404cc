#include "dirclient/byte_arena.h"

#include <sys/mman.h>

#include <cstring>

namespace dirclient {
namespace {

constexpr std::size_t kFirstCapacity = std::size_t{1} << 20;
constexpr std::size_t kGranule = std::size_t{1} << 16;

}  // namespace

ByteArena::~ByteArena() {
  if (data_) munmap(data_, capacity_);
}

bool ByteArena::Reserve(std::size_t needed) {
  if (needed <= capacity_) return true;
  std::size_t capacity = capacity_ ? capacity_ : kFirstCapacity;
  while (capacity < needed) {
    if (capacity > SIZE_MAX / 2) return false;
    capacity *= 2;
  }
  if (capacity % kGranule) capacity += kGranule - capacity % kGranule;
  void* block = data_ ? mremap(data_, capacity_, capacity, MREMAP_MAYMOVE)
                      : mmap(nullptr, capacity, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return false;
  // Every fresh page costs a fault; a large block takes fewer, larger ones
  // where the system allows.
  if (capacity >= (std::size_t{4} << 20)) madvise(block, capacity, MADV_HUGEPAGE);
  data_ = static_cast<char*>(block);
  capacity_ = capacity;
  return true;
}

bool ByteArena::Append(std::string_view bytes, uint64_t* offset) {
  if (bytes.size() > SIZE_MAX - size_ || !Reserve(size_ + bytes.size()))
    return false;
  if (!bytes.empty()) std::memcpy(data_ + size_, bytes.data(), bytes.size());
  *offset = size_;
  size_ += bytes.size();
  return true;
}

}  // namespace dirclient
