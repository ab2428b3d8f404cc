#include "ldif/newline_finder.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ldif {
namespace {

uint64_t NewlineMask(const char* p) {
#ifdef __SSE2__
  const __m128i newline = _mm_set1_epi8('\n');
  uint64_t mask = 0;
  for (int i = 0; i < 4; ++i) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    auto bits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, newline)));
    mask |= uint64_t{bits} << (16 * i);
  }
  return mask;
#else
  uint64_t mask = 0;
  for (int i = 0; i < 64; ++i) mask |= uint64_t{p[i] == '\n'} << i;
  return mask;
#endif
}

}  // namespace

size_t NewlineFinder::Scan(std::string_view text, size_t from) {
  for (; from <= text.size() && text.size() - from >= 64; from += 64) {
    uint64_t mask = NewlineMask(text.data() + from);
    if (mask) {
      base_ = from;
      mask_ = mask;
      return from + static_cast<size_t>(__builtin_ctzll(mask));
    }
  }
  base_ = kNothing;
  if (from >= text.size()) return text.size();
  const void* hit = std::memchr(text.data() + from, '\n', text.size() - from);
  return hit ? static_cast<size_t>(static_cast<const char*>(hit) - text.data()) : text.size();
}

}  // namespace ldif
