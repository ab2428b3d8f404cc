#include "dirclient/ldif_value.h"

#include <array>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace dirclient {
namespace {

constexpr uint8_t kNotBase64 = 0xFF;

constexpr std::array<uint8_t, 256> MakeBase64Table() {
  std::array<uint8_t, 256> table{};
  for (auto& entry : table) entry = kNotBase64;
  const char* alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (uint8_t i = 0; i < 64; ++i) table[static_cast<uint8_t>(alphabet[i])] = i;
  return table;
}
constexpr std::array<uint8_t, 256> kBase64 = MakeBase64Table();

// Per byte: 0 for the alphabet, kPad for "=", kOther for the rest, so that
// a whole piece is classified by OR-ing its bytes' classes.
constexpr uint8_t kPad = 1;
constexpr uint8_t kOther = 2;
constexpr std::array<uint8_t, 256> MakeClassTable() {
  std::array<uint8_t, 256> table{};
  for (size_t c = 0; c < 256; ++c)
    table[c] = kBase64[c] != kNotBase64 ? 0 : c == '=' ? kPad : kOther;
  return table;
}
constexpr std::array<uint8_t, 256> kClass = MakeClassTable();

#ifdef __SSE2__
// Bytes in [lo, hi], by a signed compare after moving lo to -128.
inline __m128i InRange(__m128i v, char lo, char hi) {
  __m128i shifted = _mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(-128 - lo)));
  return _mm_cmplt_epi8(shifted, _mm_set1_epi8(static_cast<char>(-128 + (hi - lo) + 1)));
}

// The classes of 16 bytes at once.
inline uint8_t Classes16(const uint8_t* p) {
  __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i letter = InRange(_mm_or_si128(v, _mm_set1_epi8(0x20)), 'a', 'z');
  __m128i digit = InRange(v, '0', '9');
  __m128i sign = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('+')),
                              _mm_cmpeq_epi8(v, _mm_set1_epi8('/')));
  __m128i pad = _mm_cmpeq_epi8(v, _mm_set1_epi8('='));
  __m128i known = _mm_or_si128(_mm_or_si128(letter, digit), _mm_or_si128(sign, pad));
  uint8_t classes = _mm_movemask_epi8(known) != 0xFFFF ? kOther : 0;
  if (_mm_movemask_epi8(pad)) classes |= kPad;
  return classes;
}
#endif

uint8_t Classes(std::string_view piece) {
  const auto* p = reinterpret_cast<const uint8_t*>(piece.data());
  size_t n = piece.size();
#ifdef __SSE2__
  if (n >= 16) {
    uint8_t classes = 0;
    size_t i = 0;
    for (; i + 16 <= n; i += 16) classes |= Classes16(p + i);
    // The last 16 bytes again, overlapping, for the rest.
    if (i < n) classes |= Classes16(p + n - 16);
    return classes;
  }
#endif
  uint8_t a = 0, b = 0, c = 0, d = 0;
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    a |= kClass[p[i]];
    b |= kClass[p[i + 1]];
    c |= kClass[p[i + 2]];
    d |= kClass[p[i + 3]];
  }
  for (; i < n; ++i) a |= kClass[p[i]];
  return static_cast<uint8_t>(a | b | c | d);
}

}  // namespace

void AppendUnfolded(std::string_view raw, std::string& out) {
  size_t start = 0;
  while (start < raw.size()) {
    const void* hit = std::memchr(raw.data() + start, '\n', raw.size() - start);
    size_t newline = hit ? static_cast<const char*>(hit) - raw.data() : raw.size();
    size_t end = newline;
    if (hit && end > start && raw[end - 1] == '\r') --end;
    out.append(raw.data() + start, end - start);
    // A fold is the line break and the one blank after it.
    start = hit ? newline + 2 : raw.size();
  }
}

void Base64Check::Feed(std::string_view piece) {
  if (!ok_) return;
  // Alphabet bytes only, before any padding: the common piece, in one pass.
  if (padding_ == 0 && Classes(piece) == 0) {
    data_ += piece.size();
    return;
  }
  for (char c : piece) {
    if (kBase64[static_cast<uint8_t>(c)] != kNotBase64 && padding_ == 0) {
      ++data_;
    } else if (c == '=') {
      ++padding_;
    } else {
      ok_ = false;
      return;
    }
  }
}

bool Base64Check::Valid() const {
  return ok_ && padding_ <= 2 && data_ % 4 != 1 &&
         (padding_ == 0 || (data_ + padding_) % 4 == 0);
}

bool Base64Check::FeedIfAlphabet(std::string_view piece) {
  uint8_t classes = Classes(piece);
  if (classes & kOther) return false;
  if (classes == 0 && padding_ == 0)
    data_ += piece.size();
  else
    Feed(piece);
  return true;
}

bool IsValidBase64(std::string_view text) {
  Base64Check check;
  check.Feed(text);
  return check.Valid();
}

bool IsValidFoldedBase64(std::string_view raw) {
  Base64Check check;
  size_t start = 0;
  while (start < raw.size()) {
    const void* hit = std::memchr(raw.data() + start, '\n', raw.size() - start);
    size_t end = hit ? static_cast<const char*>(hit) - raw.data() : raw.size();
    size_t next = hit ? end + 2 : raw.size();  // past the fold's blank
    if (hit && end > start && raw[end - 1] == '\r') --end;
    check.Feed(raw.substr(start, end - start));
    start = next;
  }
  return check.Valid();
}

size_t DecodedBase64Size(std::string_view text) {
  size_t data = text.size();
  while (data > 0 && text[data - 1] == '=') --data;
  return data / 4 * 3 + (data % 4 ? data % 4 - 1 : 0);
}

size_t DecodeBase64(std::string_view text, char* dest) {
  size_t data = text.size();
  while (data > 0 && text[data - 1] == '=') --data;
  char* const start = dest;
  const auto* src = reinterpret_cast<const uint8_t*>(text.data());
  size_t i = 0;
  // Each group is read whole before its bytes are written, so `dest` may
  // point at or before `text`: decoding in place is safe.
  for (; i + 4 <= data; i += 4) {
    uint32_t bits = kBase64[src[i]] << 18 | kBase64[src[i + 1]] << 12 |
                    kBase64[src[i + 2]] << 6 | kBase64[src[i + 3]];
    *dest++ = static_cast<char>(bits >> 16);
    *dest++ = static_cast<char>(bits >> 8);
    *dest++ = static_cast<char>(bits);
  }
  if (data - i >= 2) {
    uint32_t bits = kBase64[src[i]] << 18 | kBase64[src[i + 1]] << 12;
    if (data - i == 3) bits |= kBase64[src[i + 2]] << 6;
    *dest++ = static_cast<char>(bits >> 16);
    if (data - i == 3) *dest++ = static_cast<char>(bits >> 8);
  }
  return static_cast<size_t>(dest - start);
}

size_t DecodedSizeBound(std::string_view raw, uint8_t encoding) {
  return (encoding & kValueBase64) ? raw.size() / 4 * 3 + 3 : raw.size();
}

namespace {

// The sextet of each byte already in place in a group's 24 bits, one table
// per place, so that a group takes four lookups and three ORs. Bytes
// outside the alphabet set bit 31.
using GroupTable = std::array<uint32_t, 256>;
constexpr GroupTable MakeGroupTable(int shift) {
  GroupTable table{};
  for (size_t c = 0; c < 256; ++c)
    table[c] = kBase64[c] == kNotBase64 ? 0x80000000u : uint32_t{kBase64[c]} << shift;
  return table;
}
constexpr GroupTable kGroup0 = MakeGroupTable(18);
constexpr GroupTable kGroup1 = MakeGroupTable(12);
constexpr GroupTable kGroup2 = MakeGroupTable(6);
constexpr GroupTable kGroup3 = MakeGroupTable(0);

// Decodes whole groups of one line into `out`; false, having written what
// must be thrown away, when a byte is not base64 (the line was guessed
// wrong).
bool DecodeGroups(const uint8_t* p, size_t groups, char*& out) {
  uint32_t bad = 0;
  for (size_t i = 0; i < groups; ++i, p += 4) {
    uint32_t bits = kGroup0[p[0]] | kGroup1[p[1]] | kGroup2[p[2]] | kGroup3[p[3]];
    bad |= bits;
    out[0] = static_cast<char>(bits >> 16);
    out[1] = static_cast<char>(bits >> 8);
    out[2] = static_cast<char>(bits);
    out += 3;
  }
  return !(bad & 0x80000000u);
}

}  // namespace

size_t DecodeCheckedValueTo(std::string_view raw, uint8_t encoding, char* dest) {
  char* out = dest;
  const bool base64 = encoding & kValueBase64;
  uint32_t carry = 0;  // sextets of a group split by a fold
  int carried = 0;
  size_t width = 0;  // of the last folded line: exporters fold at one width
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.size(), next = raw.size();
    bool guessed = false;
    if (encoding & kValueFolded) {
      if (width && start + width < raw.size() && raw[start + width] == '\n') {
        end = start + width;
        next = end + 2;
        guessed = true;
      } else {
        const void* hit = std::memchr(raw.data() + start, '\n', raw.size() - start);
        if (hit) {
          end = static_cast<size_t>(static_cast<const char*>(hit) - raw.data());
          next = end + 2;  // past the fold's blank
          width = end - start;
        }
      }
      if (end > start && raw[end - 1] == '\r') --end;
    }
    const auto* p = reinterpret_cast<const uint8_t*>(raw.data() + start);
    size_t n = end > start ? end - start : 0;
    if (!base64) {
      if (guessed && std::memchr(p, '\n', n)) {
        width = 0;  // guessed wrong: look for the line break
        continue;
      }
      std::memcpy(out, p, n);
      out += n;
      start = next;
      continue;
    }
    while (n > 0 && p[n - 1] == '=') --n;  // padding closes the value
    char* const lineOut = out;
    const uint32_t lineCarry = carry;
    const int lineCarried = carried;
    bool ok = true;
    for (; carried && n; --n) {
      uint32_t sextet = kGroup3[*p++];
      ok = ok && !(sextet & 0x80000000u);
      carry = carry << 6 | (sextet & 63);
      if (++carried == 4) {
        *out++ = static_cast<char>(carry >> 16);
        *out++ = static_cast<char>(carry >> 8);
        *out++ = static_cast<char>(carry);
        carried = 0;
      }
    }
    ok = DecodeGroups(p, n / 4, out) && ok;
    p += n / 4 * 4;
    for (n %= 4; n; --n) {
      uint32_t sextet = kGroup3[*p++];
      ok = ok && !(sextet & 0x80000000u);
      carry = carry << 6 | (sextet & 63);
      ++carried;
    }
    if (guessed && !ok) {
      // The guessed line held a line break: decode it again, found.
      out = lineOut;
      carry = lineCarry;
      carried = lineCarried;
      width = 0;
      continue;
    }
    start = next;
  }
  if (carried >= 2) {
    carry <<= 6 * (4 - carried);
    *out++ = static_cast<char>(carry >> 16);
    if (carried == 3) *out++ = static_cast<char>(carry >> 8);
  }
  return static_cast<size_t>(out - dest);
}

bool DecodeValue(std::string_view raw, uint8_t encoding, std::string& scratch,
                 std::string_view* value) {
  std::string_view text = raw;
  bool inScratch = encoding & kValueFolded;
  if (inScratch) {
    scratch.clear();
    AppendUnfolded(raw, scratch);
    text = scratch;
  }
  if (!(encoding & kValueBase64)) {
    *value = text;
    return true;
  }
  if (!IsValidBase64(text)) return false;
  if (!inScratch) scratch.resize(DecodedBase64Size(text));
  size_t size = DecodeBase64(text, scratch.data());
  scratch.resize(size);
  *value = scratch;
  return true;
}

}  // namespace dirclient
