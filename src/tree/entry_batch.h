// Entries as a reader found them, handed in batches to the thread that
// builds the tree: a reader (lines and base64, or a server's messages) and
// a builder (DNs, lookups in a large table) then share the machine's cores.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dirclient {

// One entry as the reader found it.
struct FoundEntry {
  uint64_t place;  // a file's line of its DN, or its number among a server's entries
  uint64_t scriptOffset;  // in the script store the tree adopts
  uint64_t scriptLength;
  uint32_t dnBegin, dnLength;        // in FoundBatch::text
  uint32_t aliasBegin, aliasLength;  // the first alias target, likewise
  uint32_t flags;
  bool hasScript;
  bool hasAlias;
  bool failed;  // its attributes did not read: the reader's failure is next
};

// Entries in the order they were read, with the DNs and alias targets they
// refer to.
struct FoundBatch {
  std::vector<FoundEntry> entries;
  std::string text;

  // Copies `bytes` into the batch's text; where they begin.
  uint32_t Keep(std::string_view bytes) {
    auto begin = static_cast<uint32_t>(text.size());
    text.append(bytes);
    return begin;
  }
  // Full enough to hand over: handing over is cheap per entry, and the
  // batch still fits the caches.
  bool Full() const { return entries.size() >= 2048 || text.size() >= (std::size_t{256} << 10); }
  void Clear() {
    entries.clear();
    text.clear();
  }
};

}  // namespace dirclient
