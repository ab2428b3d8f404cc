#include <sys/mman.h>

#include <cstdint>
#include <exception>

#include "tree/byte_arena.h"
#include "tree/page_warmer.h"

namespace tree {
namespace {

constexpr std::size_t kFirstCapacity = std::size_t{1} << 20;
constexpr std::size_t kGranule = std::size_t{1} << 16;

}  // namespace

void AdviseHugePages(void* data, std::size_t size) {
  constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
  auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  auto end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(kHuge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

void ByteArena::StopWarming::operator()(PageWarmer* warmer) const { delete warmer; }

ByteArena::~ByteArena() {
  warmer_.reset();
  if (data_) munmap(data_, capacity_);
}

void ByteArena::WarmAhead() {
  warm_ = true;
  if (data_) StartWarming();
}

void ByteArena::StartWarming() {
  try {
    warmer_.reset(new PageWarmer(data_, capacity_, size_));
  } catch (const std::exception&) {
    // Without a second thread the writer faults its pages in itself.
  }
}

bool ByteArena::Reserve(std::size_t needed) {
  if (needed <= capacity_) return true;
  warmer_.reset();  // the block may move
  std::size_t capacity = capacity_ ? capacity_ : kFirstCapacity;
  // A warmed block grows in larger steps: each move restarts the warming.
  std::size_t factor = warm_ ? 4 : 2;
  while (capacity < needed) {
    if (capacity > SIZE_MAX / factor) return false;
    capacity *= factor;
  }
  if (capacity % kGranule) capacity += kGranule - capacity % kGranule;
  void* block =
      data_ ? mremap(data_, capacity_, capacity, MREMAP_MAYMOVE)
            : mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return false;
  AdviseHugePages(block, capacity);
  data_ = static_cast<char*>(block);
  capacity_ = capacity;
  if (warm_) StartWarming();
  return true;
}

void ByteArena::Commit(std::size_t size, uint64_t* offset) {
  *offset = size_;
  size_ += size;
  if (warmer_) warmer_->Used(size_);
}

}  // namespace tree
