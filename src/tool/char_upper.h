// Upper-casing that maps each byte to one byte, by the rules of one
// single-byte character set. The search text and every script go through
// the same map, so that the match ignores case.
#pragma once

#include <cstdint>

namespace tool {

struct CaseMap {
  uint8_t upper[256];
  bool asciiOnly;  // only a-z change, so the table can be skipped
};

// ASCII letters always; Latin-1 letters only for ISO-8859-1 and
// Windows-1252; every other byte stays, so UTF-8 text is never altered.
CaseMap MakeCaseMap(uint32_t codePage);

// Upper-cases a zero-terminated text in place.
void CharUpperA(const CaseMap& map, char* text);

}  // namespace tool
