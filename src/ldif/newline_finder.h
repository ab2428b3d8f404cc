// Finds the line breaks of a text one after another.
//
// An LDIF file is mostly short lines (an attribute, or 76 columns of a
// folded base64 value), so a search per line pays more for starting than for
// searching. This one marks the line breaks of 64 bytes at a time in a bit
// mask and answers the following searches from the mask.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ldif {

class NewlineFinder {
 public:
  // Forgets what it has seen: the text it searches moved or changed.
  void Reset() { base_ = kNothing; }

  // The first '\n' at or after `from` in `text`, or text.size() when there
  // is none. `text` must be the text of the calls since the last Reset.
  size_t Find(std::string_view text, size_t from) {
    if (from - base_ < 64) {
      uint64_t ahead = mask_ & (~uint64_t{0} << (from - base_));
      if (ahead) return base_ + static_cast<size_t>(__builtin_ctzll(ahead));
      return Scan(text, base_ + 64);
    }
    return Scan(text, from);
  }

 private:
  static constexpr size_t kNothing = SIZE_MAX - 64;  // no `from` falls in it

  // Marks 64 bytes at a time from `from`; the tail shorter than that is
  // searched bytewise and never marked, so the mask only covers bytes of
  // the text.
  size_t Scan(std::string_view text, size_t from);

  size_t base_ = kNothing;  // the first of the 64 bytes mask_ covers
  uint64_t mask_ = 0;       // bit i: a '\n' at base_ + i
};

}  // namespace ldif
