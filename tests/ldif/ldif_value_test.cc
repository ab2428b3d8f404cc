// Decoding of LDIF values: the vector and group-at-a-time decoder must judge
// and decode every byte exactly as a byte-by-byte reading of folds and the
// alphabet does.
#include "ldif/ldif_value.h"

#include <gtest/gtest.h>

#include <string>

namespace ldif {
// Names the decoder a test runs as a word.
void PrintTo(Base64Path path, std::ostream* os) {
  *os << (path == Base64Path::kFastest ? "Fastest" : "Portable");
}
}  // namespace ldif

namespace qovant_test {
namespace {

using ldif::Base64Path;

const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Sextet(char c) {
  size_t at = kAlphabet.find(c);
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

// Alphabet bytes in whole groups of four, at most two "=" closing the last.
bool ModelValid(const std::string& text) {
  size_t data = 0;
  while (data < text.size() && Sextet(text[data]) >= 0) ++data;
  size_t padding = text.size() - data;
  for (size_t i = data; i < text.size(); ++i)
    if (text[i] != '=') return false;
  return padding <= 2 && text.size() % 4 == 0;
}

// Unfolds (a line break, CR LF or LF, and one blank), checks and decodes a
// byte at a time; false for bad base64.
bool ModelDecode(const std::string& raw, uint8_t encoding, std::string* out) {
  std::string text;
  for (size_t i = 0; i < raw.size(); ++i) {
    if ((encoding & ldif::kValueFolded) && raw[i] == '\r' && i + 1 < raw.size() &&
        raw[i + 1] == '\n') {
      i += 2;  // and the blank
    } else if ((encoding & ldif::kValueFolded) && raw[i] == '\n') {
      i += 1;
    } else {
      text += raw[i];
    }
  }
  out->clear();
  if (!(encoding & ldif::kValueBase64)) {
    *out = text;
    return true;
  }
  if (!ModelValid(text)) return false;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    bits = bits << 6 | static_cast<uint32_t>(Sextet(c));
    if ((count += 6) >= 8) {
      count -= 8;
      *out += static_cast<char>(bits >> count);
    }
  }
  return true;
}

// Runs `raw` through both entry points and compares with the model; true
// when the model finds it valid.
bool Check(const std::string& raw, uint8_t encoding, Base64Path path) {
  std::string expected, out(ldif::DecodedSizeBound(raw, encoding), '\0'), scratch;
  bool valid = ModelDecode(raw, encoding, &expected);
  size_t size = 0;
  EXPECT_EQ(ldif::DecodeValueTo(raw, encoding, out.data(), &size, path), valid) << raw;
  EXPECT_EQ(valid ? out.substr(0, size) : expected, expected) << raw;
  std::string_view value;
  bool decoded = path == Base64Path::kFastest && ldif::DecodeValue(raw, encoding, scratch, &value);
  EXPECT_EQ(decoded ? value : expected, expected) << raw;
  EXPECT_TRUE(path != Base64Path::kFastest || decoded == valid) << raw;
  return valid;
}

class DecodeValueTo : public testing::TestWithParam<Base64Path> {};

// Whatever the fold width, line ends, padding and stray byte.
TEST_P(DecodeValueTo, MatchesUnfoldingCheckingThenDecoding) {
  uint32_t state = 7;
  auto next = [&state] { return (state = state * 1103515245u + 12345u) >> 16; };
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    // Now and then longer than the decoder gathers a folded value in.
    size_t length = round % 16 == 0 ? 2000 + next() % 2200 : next() % 200;
    for (size_t i = 0; i < length; ++i) text += kAlphabet[next() % 64];
    if (next() % 4) {
      if (text.size() % 4 == 1) text.pop_back();
      text.append((4 - text.size() % 4) % 4, '=');
    }
    // Any byte but a line break (which would be a fold) anywhere: the vector
    // steps must find it wherever it falls in one. A carriage return is bad
    // too, unless a fold follows it.
    if (!text.empty() && next() % 3 == 0) {
      char stray;
      do stray = static_cast<char>(next() % 256);
      while (stray == '\n');
      text[next() % text.size()] = stray;
    }
    uint8_t encoding = next() % 5 == 0 ? ldif::kValuePlain : ldif::kValueBase64;
    std::string raw = text;
    if (next() % 2) {
      size_t width = 1 + next() % 80;
      const char* lineEnd = next() % 2 ? "\r\n " : "\n ";
      raw.clear();
      for (size_t i = 0; i < text.size(); i += width)
        raw += (i ? lineEnd : "") + text.substr(i, width);
      // Now and then a continuation line with nothing but its blank.
      size_t fold = raw.find(lineEnd, next() % (raw.size() + 1));
      if (next() % 4 == 0 && fold != std::string::npos) raw.insert(fold, lineEnd);
      encoding |= ldif::kValueFolded;
    }
    Check(raw, encoding, GetParam());
    if (HasFailure()) return;
  }
}

// Every byte at every place of a value long enough for several vector
// steps, whole and folded in lines of 16.
TEST_P(DecodeValueTo, JudgesEveryByteAtEveryPlaceAsTheAlphabet) {
  const std::string base =
      "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5ejAxMjM0NTY3ODkrLw==";
  for (size_t at = 0; at < base.size(); ++at) {
    for (int byte = 0; byte < 256; ++byte) {
      if (byte == '\n' || byte == '\r') continue;  // these would be folds
      std::string text = base;
      text[at] = static_cast<char>(byte);
      std::string folded;
      for (size_t i = 0; i < text.size(); i += 16) folded += (i ? "\n " : "") + text.substr(i, 16);
      for (const std::string* raw : {&text, &folded}) {
        uint8_t encoding = ldif::kValueBase64 | (raw == &folded ? ldif::kValueFolded : 0);
        ASSERT_EQ(Check(*raw, encoding, GetParam()), ModelValid(text));
        if (HasFailure()) return;
      }
    }
  }
}

// Folds next to carriage returns and to each other, and at either end, in
// base64 and in plain values alike.
TEST_P(DecodeValueTo, UnfoldsLikeTheModelAroundOddFolds) {
  const char* const kRaws[] = {
      "QU\r\r\n \n JD", "QU\r\n \r\n JD", "QUJD\n \n \n RUZH", "\n QUJD",   "QUJD\r\n ",
      "QUJD\r",         "QU\rJD",         "Q\n U\n J\n D",     "QUJD\n \r",
  };
  for (const char* raw : kRaws) {
    // Long enough to take the vector steps too.
    for (const std::string& value : {std::string(raw), std::string(raw) + std::string(40, 'A')}) {
      for (uint8_t type : {ldif::kValueBase64, ldif::kValuePlain})
        Check(value, type | ldif::kValueFolded, GetParam());
    }
  }
}

// A folded value is decoded a few KiB at a time: its padding must count as
// padding wherever those pieces end, and any "=" before it as a bad byte.
TEST_P(DecodeValueTo, TakesPaddingOnlyAtTheEndOfALongValue) {
  for (size_t length = 2030; length < 4110; length += length == 2070 ? 2000 : 1) {
    for (size_t padding : {1, 2}) {
      std::string text;
      for (size_t i = 0; i < length; ++i) text += kAlphabet[(i * 7) % 64];
      text.resize(text.size() / 4 * 4 + 4 - padding, 'Q');
      text.append(padding, '=');
      for (size_t at : {text.size(), text.size() - padding - 5, size_t{2047}, size_t{2048}}) {
        std::string value = text;
        if (at < value.size()) value[at] = '=';
        for (size_t width : {1, 75, 76}) {
          std::string raw;
          for (size_t i = 0; i < value.size(); i += width)
            raw += (i ? "\n " : "") + value.substr(i, width);
          ASSERT_EQ(Check(raw, ldif::kValueBase64 | ldif::kValueFolded, GetParam()),
                    at >= value.size() - padding)
              << "length " << value.size() << ", \"=\" at " << at << ", width " << width;
          if (HasFailure()) return;
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothDecoders, DecodeValueTo,
                         testing::Values(Base64Path::kFastest, Base64Path::kPortable),
                         testing::PrintToStringParamName());

}  // namespace
}  // namespace qovant_test
