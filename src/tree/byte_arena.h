// An append-only store of bytes in one contiguous block, for the script
// bytes a server sends.
//
// It grows without copying its bytes (remapping its pages on POSIX
// systems, committing more of one reserved range on Windows), so that peak
// memory stays at the bytes held (plus the untouched tail of the block)
// even for hundreds of megabytes of scripts; a copying string would need
// the old and the new block at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace tree {

class PageWarmer;  // tree/page_warmer.h, where the system can fault pages in ahead

// Asks for huge pages for the whole 2 MiB pages within [data, data + size):
// a large table then takes a few faults, and lookups in it miss the TLB
// less. A hint only; nothing changes where the system declines.
void AdviseHugePages(void* data, std::size_t size);

// Grows `table` to `size` entries of `fill`, the new room advised for huge
// pages before it is first written (throws what the vector throws).
template <typename T>
void GrowInHugePages(std::vector<T>& table, std::size_t size, const T& fill) {
  table.reserve(size);
  AdviseHugePages(table.data(), size * sizeof(T));
  table.resize(size, fill);
}

class ByteArena {
 public:
  ByteArena() = default;
  ~ByteArena();  // stops the warming before the block goes
  ByteArena(const ByteArena&) = delete;
  ByteArena& operator=(const ByteArena&) = delete;

  // Appends `bytes` and sets *offset to where they start; false, with
  // nothing appended, when memory cannot be had. Earlier views are
  // invalidated: the block may move.
  bool Append(std::string_view bytes, uint64_t* offset);
  // Room for `size` more bytes at the end, to be written in place and then
  // kept with Commit; null when memory cannot be had. Invalidates views.
  char* Claim(std::size_t size);
  // Keeps `size` bytes written at what Claim returned; sets *offset.
  void Commit(std::size_t size, uint64_t* offset);

  // From now on has the pages of the block faulted in ahead of the writes
  // on a second thread, the block's next as it grows, for a store that
  // will grow large (on Windows: reserves room enough for it at once). Room is had only as bytes
  // come, never from a size guessed before, so that memory follows what is stored.
  void WarmAhead();

  std::string_view view() const { return {data_, size_}; }
  std::size_t size() const { return size_; }

 private:
  bool Reserve(std::size_t needed);
  void StartWarming();

  // Defined beside each system's arena: not every system has a warmer.
  struct StopWarming {
    void operator()(PageWarmer* warmer) const;
  };

  bool warm_ = false;
  std::unique_ptr<PageWarmer, StopWarming> warmer_;  // on the block data_ is now
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::size_t reserved_ = 0;  // Windows: the address space held for the block
};

}  // namespace tree
