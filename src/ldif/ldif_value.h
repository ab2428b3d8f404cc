// Values as they stand in an LDIF file: possibly folded over several lines,
// possibly base64. The loader finds a value's raw span and decodes it only
// when it needs the bytes (a script, a DN, an object class), so these work
// on raw spans.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/status.h"
#include "tree/byte_arena.h"

namespace ldif {

// How a raw value span is to be decoded.
enum ValueEncoding : uint8_t {
  kValuePlain = 0,
  kValueBase64 = 1,
  kValueFolded = 2,  // flag: the span holds line breaks followed by a blank
};

// How much room DecodeValueTo needs for a raw value span: a little more than
// the bytes it decodes to, since vector stores write whole registers.
size_t DecodedSizeBound(std::string_view raw, uint8_t encoding);

// Which base64 decoder DecodeValueTo uses: the fastest this processor runs
// (AVX2 where it has it), or the portable one (for tests of both).
enum class Base64Path : uint8_t { kFastest, kPortable };

// Decodes a raw value span (from the value's first byte, after the colon and
// its blanks, to the end of its last line) into `dest`, which has room for
// DecodedSizeBound bytes, folds dropped as it goes. Base64 must be
// the standard alphabet in whole groups of four, at most two "=" closing
// the last. Sets *size and returns true, or returns false for bad
// base64, having written bytes to be thrown away.
bool DecodeValueTo(std::string_view raw, uint8_t encoding, char* dest, size_t* size,
                   Base64Path path = Base64Path::kFastest);

// Checks and decodes a raw value span into `store`, for DirTree::SetScript
// once its node is known: kOk, kTreeMalformed for bad base64 or
// kOutOfMemory, with nothing kept unless kOk.
base::Status KeepDecoded(tree::ByteArena& store, std::string_view raw, uint8_t encoding,
                         uint64_t* offset, uint64_t* length);

// What is wrong with a base64 span that DecodeValueTo refused, in words: a
// byte outside the alphabet, "=" before the end, or a length that is not
// a multiple of four, which is what a file cut inside the value leaves.
const char* Base64Fault(std::string_view raw, uint8_t encoding);

// The same for a value wanted as a whole: plain unfolded values are returned
// without a copy, the others are built in `scratch`.
bool DecodeValue(std::string_view raw, uint8_t encoding, std::string& scratch,
                 std::string_view* value);

}  // namespace ldif
