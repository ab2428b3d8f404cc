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

// Decoding into the tree's store, checking as it goes, must agree with
// unfolding, checking and decoding one after the other, whatever the fold
// width, line ends, padding, stray byte and decoder.
class DecodeValueTo : public testing::TestWithParam<dirclient::Base64Path> {};

TEST_P(DecodeValueTo, MatchesUnfoldingCheckingThenDecoding) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  uint32_t state = 7;
  auto next = [&state] { return (state = state * 1103515245u + 12345u) >> 16; };
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    size_t length = next() % 200;
    for (size_t i = 0; i < length; ++i) text += alphabet[next() % 64];
    if (next() % 4) {
      if (text.size() % 4 == 1) text.pop_back();
      if (next() % 2) text.append((4 - text.size() % 4) % 4, '=');
    }
    // Any byte but a line break (which would be a fold) anywhere: the vector
    // steps must find it wherever it falls in one.
    if (!text.empty() && next() % 3 == 0) {
      char stray;
      do stray = static_cast<char>(next() % 256); while (stray == '\n' || stray == '\r');
      text[next() % text.size()] = stray;
    }
    uint8_t encoding = next() % 5 == 0 ? dirclient::kValuePlain : dirclient::kValueBase64;
    std::string raw = text;
    if (next() % 2) {
      size_t width = 1 + next() % 80;
      const char* lineEnd = next() % 2 ? "\r\n " : "\n ";
      raw.clear();
      for (size_t i = 0; i < text.size(); i += width) raw += (i ? lineEnd : "") + text.substr(i, width);
      encoding |= dirclient::kValueFolded;
    }
    SCOPED_TRACE(raw);
    std::string scratch;
    std::string_view expected;
    bool valid = dirclient::DecodeValue(raw, encoding, scratch, &expected);
    std::string out(dirclient::DecodedSizeBound(raw, encoding), '\0');
    size_t size = 0;
    ASSERT_EQ(dirclient::DecodeValueTo(raw, encoding, out.data(), &size, GetParam()), valid);
    if (valid) {
      out.resize(size);
      ASSERT_EQ(out, expected);
    }
  }
}

// Every byte at every place of a value long enough for several vector steps.
TEST_P(DecodeValueTo, JudgesEveryByteAtEveryPlaceAsTheCheck) {
  const std::string base =
      "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5ejAxMjM0NTY3ODkrLw==";
  for (size_t at = 0; at < base.size(); ++at) {
    for (int byte = 0; byte < 256; ++byte) {
      if (byte == '\n') continue;
      std::string text = base;
      text[at] = static_cast<char>(byte);
      std::string out(dirclient::DecodedSizeBound(text, dirclient::kValueBase64), '\0');
      size_t size = 0;
      bool decoded = dirclient::DecodeValueTo(text, dirclient::kValueBase64, out.data(), &size,
                                              GetParam());
      ASSERT_EQ(decoded, ModelValid(text)) << "byte " << byte << " at " << at;
      if (!decoded) continue;
      std::string scratch;
      std::string_view expected;
      ASSERT_TRUE(dirclient::DecodeValue(text, dirclient::kValueBase64, scratch, &expected));
      ASSERT_EQ(out.substr(0, size), expected) << "byte " << byte << " at " << at;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothDecoders, DecodeValueTo,
                         testing::Values(dirclient::Base64Path::kFastest,
                                         dirclient::Base64Path::kPortable),
                         [](const testing::TestParamInfo<dirclient::Base64Path>& param) {
                           return param.param == dirclient::Base64Path::kFastest ? "Fastest"
                                                                                : "Portable";
                         });

}  // namespace
}  // namespace qovant_test
