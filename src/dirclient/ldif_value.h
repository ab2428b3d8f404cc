// Values as they stand in an LDIF file: possibly folded over several lines,
// possibly base64. The loader finds a value's raw span and decodes it only
// when it needs the bytes (a script, a DN, an object class), so these work
// on raw spans.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dirclient {

// How a raw value span is to be decoded.
enum ValueEncoding : uint8_t {
  kValuePlain = 0,
  kValueBase64 = 1,
  kValueFolded = 2,  // flag: the span holds line breaks followed by a blank
};

// Removes every fold (LF or CRLF followed by one blank) from `raw`, appending
// the result to `out`.
void AppendUnfolded(std::string_view raw, std::string& out);

// Checks base64 fed in pieces (the lines of a folded value): alphabet
// bytes, then at most two "=" at the very end, with or without that final
// padding.
class Base64Check {
 public:
  void Feed(std::string_view piece);
  bool Valid() const;

 private:
  size_t data_ = 0;
  size_t padding_ = 0;
  bool ok_ = true;
};

// True when `text` is valid base64: the standard alphabet, with or without
// its final padding.
bool IsValidBase64(std::string_view text);
// The same for a raw span that may hold folds, without unfolding it.
bool IsValidFoldedBase64(std::string_view raw);

// Decodes valid base64 `text` into `dest`, which has room for
// DecodedBase64Size(text) bytes and may overlap `text` from its start.
size_t DecodedBase64Size(std::string_view text);
size_t DecodeBase64(std::string_view text, char* dest);

// Decodes a raw value span (from the value's first byte, after the colon and
// its blanks, to the end of its last line) into
// its bytes. Plain unfolded values are returned without a copy; the others
// are built in `scratch`. Returns false for bad base64.
bool DecodeValue(std::string_view raw, uint8_t encoding, std::string& scratch,
                 std::string_view* value);

// How much room DecodeValueTo needs for a raw value span: a little more than
// the bytes it decodes to, since vector stores write whole registers.
size_t DecodedSizeBound(std::string_view raw, uint8_t encoding);

// Which base64 decoder DecodeValueTo uses: the fastest this processor runs
// (AVX2 where it has it), or the portable one (for tests of both).
enum class Base64Path : uint8_t { kFastest, kPortable };

// Decodes a raw value span into `dest`, which has room for DecodedSizeBound
// bytes, checking base64 as IsValidFoldedBase64 does, in one pass over folds
// and groups. Sets *size and returns true, or returns false for bad base64,
// having written bytes to be thrown away.
bool DecodeValueTo(std::string_view raw, uint8_t encoding, char* dest, size_t* size,
                   Base64Path path = Base64Path::kFastest);

}  // namespace dirclient
