// Base64 checks and decoding of LDIF values: the block-at-a-time checks
// must judge every byte exactly as a byte-by-byte reading of the alphabet.
#include <gtest/gtest.h>

#include <string>

#include "dirclient/ldif_value.h"

namespace qovant_test {
namespace {

bool InAlphabet(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '+' || c == '/';
}

// Alphabet bytes, then at most two "=" closing a whole group.
bool ModelValid(const std::string& text) {
  size_t data = 0;
  while (data < text.size() && InAlphabet(static_cast<unsigned char>(text[data]))) ++data;
  size_t padding = text.size() - data;
  for (size_t i = data; i < text.size(); ++i)
    if (text[i] != '=') return false;
  return padding <= 2 && data % 4 != 1 && (padding == 0 || text.size() % 4 == 0);
}

TEST(Base64Check, EveryByteAtEveryPlaceAgreesWithTheAlphabet) {
  const std::string base = "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5";
  for (size_t length : {3u, 4u, 15u, 16u, 17u, 31u, 32u, 33u, 48u, 64u}) {
    for (size_t at : {size_t{0}, length / 2, length - 2, length - 1}) {
      for (int byte = 0; byte < 256; ++byte) {
        std::string text = base.substr(0, length);
        text[at] = static_cast<char>(byte);
        SCOPED_TRACE("length " + std::to_string(length) + ", byte " + std::to_string(byte) +
                     " at " + std::to_string(at));
        EXPECT_EQ(dirclient::IsValidBase64(text), ModelValid(text));
        // The same text in folded lines of 16 must be judged alike (a line
        // break there would be a fold, not a byte of the value).
        if (byte == '\n' || byte == '\r') continue;
        std::string folded;
        for (size_t i = 0; i < text.size(); i += 16)
          folded += (i ? "\n " : "") + text.substr(i, 16);
        EXPECT_EQ(dirclient::IsValidFoldedBase64(folded), ModelValid(text));
      }
    }
  }
}

// Decoding into the tree's store in one pass over folds and groups must give
// the bytes of unfolding first and decoding after, whatever the fold width,
// line ends, padding and value.
TEST(DecodeCheckedValueTo, MatchesUnfoldingThenDecoding) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  uint32_t state = 7;
  auto next = [&state] { return (state = state * 1103515245u + 12345u) >> 16; };
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    size_t length = next() % 200;
    for (size_t i = 0; i < length; ++i) text += alphabet[next() % 64];
    if (text.size() % 4 == 1) text.pop_back();
    if (next() % 2) text.append((4 - text.size() % 4) % 4, '=');
    uint8_t encoding = dirclient::kValueBase64;
    if (next() % 3 == 0) encoding = dirclient::kValuePlain;
    std::string raw = text;
    if (next() % 2) {
      size_t width = 1 + next() % 80;
      const char* lineEnd = next() % 2 ? "\r\n " : "\n ";
      raw.clear();
      for (size_t i = 0; i < text.size(); i += width) raw += (i ? lineEnd : "") + text.substr(i, width);
      encoding |= dirclient::kValueFolded;
    }
    std::string scratch;
    std::string_view expected;
    ASSERT_TRUE(dirclient::DecodeValue(raw, encoding, scratch, &expected)) << raw;
    std::string out(dirclient::DecodedSizeBound(raw, encoding), '\0');
    out.resize(dirclient::DecodeCheckedValueTo(raw, encoding, out.data()));
    ASSERT_EQ(out, expected) << raw;
  }
}

}  // namespace
}  // namespace qovant_test
