// Values as they stand in an LDIF file: possibly folded over several lines,
// possibly base64. The loader keeps a value's raw span in the file and decodes
// it only when it is needed, so these work on raw spans.
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

// True when `text` is valid base64: the standard alphabet, with or without
// its final padding.
bool IsValidBase64(std::string_view text);

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

}  // namespace dirclient
