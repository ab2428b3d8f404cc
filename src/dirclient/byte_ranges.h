// Byte classes sixteen bytes at a time, for the loader's scans of names and
// base64 text.
#pragma once

#ifdef __SSE2__
#include <emmintrin.h>

namespace dirclient {

// 0xFF for each byte of `v` in [lo, hi]: a signed compare after moving lo
// to -128.
inline __m128i BytesInRange(__m128i v, char lo, char hi) {
  __m128i shifted = _mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(-128 - lo)));
  return _mm_cmplt_epi8(shifted, _mm_set1_epi8(static_cast<char>(-128 + (hi - lo) + 1)));
}

// 0xFF for each letter (either case) and digit of `v`.
inline __m128i LettersAndDigits(__m128i v) {
  return _mm_or_si128(BytesInRange(_mm_or_si128(v, _mm_set1_epi8(0x20)), 'a', 'z'),
                      BytesInRange(v, '0', '9'));
}

}  // namespace dirclient
#endif
