// Upper-casing that maps each byte to one byte, by the rules of one
// single-byte character set. The search text and every script go through
// the same map, so that the match ignores case.
#pragma once

#include <array>
#include <cstdint>

namespace tool {

struct CaseMap {
  uint8_t upper[256];
  bool asciiOnly;  // only a-z change, so the tables can be skipped
  // The texts are UTF-8 and fold by the letters of a single-byte code page:
  // the two-byte sequence of a letter it has, indexed by (lead - 0xC2) * 64
  // + (trail - 0x80), holds the sequence of its upper case (lead << 8 |
  // trail); 0 where the character stays.
  bool utf8;
  std::array<uint16_t, 30 * 64> utf8Upper;
};

// ASCII letters always; the letters of ISO-8859-1, Windows-1252 and -1250,
// and OEM 437, 850 and 852 as that code page upper-cases them; every other
// byte stays.
// With `utf8Text`, the texts are UTF-8 whatever the code page: a character
// the code page has is folded as its byte would be, where its upper case is
// as long in UTF-8, and nothing else changes, so UTF-8 stays well-formed.
// UTF-8 as the code page itself folds ASCII alone.
CaseMap MakeCaseMap(uint32_t codePage, bool utf8Text = false);

// Upper-cases a zero-terminated text in place.
void CharUpperA(const CaseMap& map, char* text);

}  // namespace tool
