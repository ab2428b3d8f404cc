#include "ldif/ldif_value.h"

#include <array>
#include <cstring>

#include "base/status.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ldif {
namespace {

constexpr uint8_t kNotBase64 = 0xFF;

constexpr std::array<uint8_t, 256> MakeBase64Table() {
  std::array<uint8_t, 256> table{};
  for (auto& entry : table) entry = kNotBase64;
  const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (uint8_t i = 0; i < 64; ++i) table[static_cast<uint8_t>(alphabet[i])] = i;
  return table;
}
constexpr std::array<uint8_t, 256> kBase64 = MakeBase64Table();

// A vector step decodes 32 bytes into 24 but stores all 32.
constexpr size_t kVectorSlack = 8;

}  // namespace

size_t DecodedSizeBound(std::string_view raw, uint8_t encoding) {
  return (encoding & kValueBase64) ? raw.size() / 4 * 3 + 3 + kVectorSlack : raw.size();
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

// Decodes whole groups into `out`; false, having written what must be thrown
// away, when a byte is not base64.
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

#if defined(__x86_64__) && defined(__GNUC__)
#define QOVANT_HAVE_AVX2_DECODE 1

// Decodes 32 bytes a step into 24 (storing 32), while every byte of a step
// is in the alphabet; returns how many bytes it decoded, a multiple of 32.
// A step holding any other byte is left to the caller, which finds it.
//
// Each byte's nibbles index two tables whose entries share a bit exactly
// when the byte is outside the alphabet; a third table, indexed by the high
// nibble (and "/"), gives what to add to turn the byte into its sextet.
// Multiply-adds then pack four sextets into three bytes per 32-bit lane.
__attribute__((target("avx2"))) size_t DecodeBlocksAvx2(const uint8_t* p, size_t n, char* out) {
  const __m256i lowTable =
      _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B,
                       0x1B, 0x1B, 0x1A, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                       0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
  const __m256i highTable =
      _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10,
                       0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10,
                       0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
  const __m256i shiftTable =
      _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 19, 4, -65,
                       -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i slash = _mm256_set1_epi8('/');
  const __m256i pairs = _mm256_set1_epi32(0x01400140);
  const __m256i quads = _mm256_set1_epi32(0x00011000);
  const __m256i order = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2,
                                         1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
  size_t done = 0;
  for (; done + 32 <= n; done += 32, out += 24) {
    __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + done));
    __m256i high = _mm256_and_si256(_mm256_srli_epi32(in, 4), nibble);
    __m256i low = _mm256_and_si256(in, nibble);
    __m256i outside =
        _mm256_and_si256(_mm256_shuffle_epi8(lowTable, low), _mm256_shuffle_epi8(highTable, high));
    if (!_mm256_testz_si256(outside, outside)) break;
    __m256i shift =
        _mm256_shuffle_epi8(shiftTable, _mm256_add_epi8(_mm256_cmpeq_epi8(in, slash), high));
    __m256i sextets = _mm256_add_epi8(in, shift);
    __m256i packed = _mm256_madd_epi16(_mm256_maddubs_epi16(sextets, pairs), quads);
    packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(packed, order), lanes);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), packed);
  }
  return done;
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

// Decodes `n` bytes of one run, all of which must be in the alphabet,
// continuing the group the run before split; false when one is not.
bool DecodePiece(const uint8_t* p, size_t n, bool vector, char*& out, uint32_t& carry,
                 int& carried) {
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
#ifdef QOVANT_HAVE_AVX2_DECODE
  if (vector && n >= 32) {
    size_t done = DecodeBlocksAvx2(p, n, out);
    p += done;
    n -= done;
    out += done / 4 * 3;
  }
#else
  (void)vector;
#endif
  ok = DecodeGroups(p, n / 4, out) && ok;
  p += n / 4 * 4;
  for (n %= 4; n; --n) {
    uint32_t sextet = kGroup3[*p++];
    ok = ok && !(sextet & 0x80000000u);
    carry = carry << 6 | (sextet & 63);
    ++carried;
  }
  return ok;
}

// A fold, in both decoders below, is a line break, a carriage return just
// before it on the same line, and the blank after it.

// Copies a plain value without its folds.
char* CopyUnfolded(std::string_view raw, bool folded, char* out) {
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.size(), next = raw.size();
    if (folded) {
      const void* hit = std::memchr(raw.data() + start, '\n', raw.size() - start);
      if (hit) {
        end = static_cast<size_t>(static_cast<const char*>(hit) - raw.data());
        next = end + 2;  // past the fold's blank
        if (end > start && raw[end - 1] == '\r') --end;
      }
    }
    if (end > start) {
      std::memcpy(out, raw.data() + start, end - start);
      out += end - start;
    }
    start = next;
  }
  return out;
}

// Base64 decoding state across the runs of one value.
struct Base64Runs {
  bool vector;
  char* out;
  uint32_t carry = 0;  // sextets of a group a run split
  int carried = 0;

  bool Decode(const uint8_t* p, size_t n) { return DecodePiece(p, n, vector, out, carry, carried); }

  // The last run: "=" only closes the value.
  bool Finish(const uint8_t* p, size_t n) {
    size_t data = n;
    while (data > 0 && p[data - 1] == '=') --data;
    size_t padding = n - data;
    if (!Decode(p, data)) return false;
    // Whole groups only: a value cut short is what a cut file leaves.
    if (padding > 2 || (carried + padding) % 4 != 0) return false;
    if (carried >= 2) {
      carry <<= 6 * (4 - carried);
      *out++ = static_cast<char>(carry >> 16);
      if (carried == 3) *out++ = static_cast<char>(carry >> 8);
    }
    return true;
  }
};

// Folded base64 is gathered into runs this long before it is decoded: a
// fold every 76 columns would otherwise end each vector run after two
// steps and leave a scalar tail on every line.
constexpr size_t kGatherSize = 2048;

// Decodes folded base64, gathered without its folds a run at a time.
bool DecodeFolded(std::string_view raw, Base64Runs& runs) {
  uint8_t gathered[kGatherSize + 16];  // room for a vector step past the end
  const auto* in = reinterpret_cast<const uint8_t*>(raw.data());
  const size_t size = raw.size();
  size_t length = 0;
  size_t i = 0;
  size_t lineStart = 0;  // where the line being gathered begins in `in`
  while (i < size) {
    if (length >= kGatherSize) {
      // All but the last few bytes, in whole groups: a carriage return that
      // a fold turns out to follow is still at hand, and an "=" decoded
      // here has more than a group after it, so it is a bad byte like any
      // other, as the rules make it.
      size_t decoded = (length - 4) / 4 * 4;
      if (!runs.Decode(gathered, decoded)) return false;
      std::memmove(gathered, gathered + decoded, length - decoded);
      length -= decoded;
    }
#ifdef __SSE2__
    if (size - i >= 16) {
      // Sixteen bytes a step up to the line break, or while there is room.
      unsigned breaks;
      for (;;) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(gathered + length), bytes);
        breaks =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
        if (breaks) break;
        i += 16;
        length += 16;
        if (size - i < 16 || length >= kGatherSize) break;
      }
      if (!breaks) continue;
      auto taken = static_cast<size_t>(__builtin_ctz(breaks));
      i += taken;
      length += taken;
    } else
#endif
        if (in[i] != '\n') {
      gathered[length++] = in[i++];
      continue;
    }
    // The line's last byte is the last one gathered.
    if (i > lineStart && in[i - 1] == '\r') --length;
    i += 2;
    lineStart = i;
  }
  return runs.Finish(gathered, length);
}

}  // namespace

bool DecodeValueTo(std::string_view raw, uint8_t encoding, char* dest, size_t* size,
                   Base64Path path) {
  const bool folded = encoding & kValueFolded;
  if (!(encoding & kValueBase64)) {
    *size = static_cast<size_t>(CopyUnfolded(raw, folded, dest) - dest);
    return true;
  }
#ifdef QOVANT_HAVE_AVX2_DECODE
  const bool vector = path == Base64Path::kFastest && HasAvx2();
#else
  const bool vector = false;
  (void)path;
#endif
  Base64Runs runs{vector, dest};
  bool decoded = folded ? DecodeFolded(raw, runs)
                        : runs.Finish(reinterpret_cast<const uint8_t*>(raw.data()), raw.size());
  if (!decoded) return false;
  *size = static_cast<size_t>(runs.out - dest);
  return true;
}

const char* Base64Fault(std::string_view raw, uint8_t encoding) {
  std::string text(DecodedSizeBound(raw, kValuePlain | (encoding & kValueFolded)), '\0');
  text.resize(
      static_cast<size_t>(CopyUnfolded(raw, encoding & kValueFolded, text.data()) - text.data()));
  size_t data = 0;
  while (data < text.size() && kGroup3[static_cast<uint8_t>(text[data])] < 64) ++data;
  size_t padding = data;
  while (padding < text.size() && text[padding] == '=') ++padding;
  if (padding < text.size())
    return padding > data ? "\"=\" before its end" : "a byte outside the base64 alphabet";
  if (padding - data > 2) return "more than two \"=\" at its end";
  return "its length is not a multiple of 4, as when a file is cut inside it";
}

bool DecodeValue(std::string_view raw, uint8_t encoding, std::string& scratch,
                 std::string_view* value) {
  if (encoding == kValuePlain) {
    *value = raw;
    return true;
  }
  scratch.resize(DecodedSizeBound(raw, encoding));
  size_t size;
  if (!DecodeValueTo(raw, encoding, scratch.data(), &size)) return false;
  scratch.resize(size);
  *value = scratch;
  return true;
}

base::Status KeepDecoded(tree::ByteArena& store, std::string_view raw, uint8_t encoding,
                         uint64_t* offset, uint64_t* length) {
  char* dest = store.Claim(DecodedSizeBound(raw, encoding));
  if (!dest) return base::kOutOfMemory;
  size_t size;
  if (!DecodeValueTo(raw, encoding, dest, &size)) return base::kTreeMalformed;
  store.Commit(size, offset);
  *length = size;
  return base::kOk;
}

}  // namespace ldif
