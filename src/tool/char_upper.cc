#include "tool/char_upper.h"

#include <cstring>

#include "client/client.h"

namespace tool {

CaseMap MakeCaseMap(uint32_t codePage) {
  CaseMap map;
  for (int c = 0; c < 256; ++c) map.upper[c] = static_cast<uint8_t>(c);
  for (int c = 'a'; c <= 'z'; ++c) map.upper[c] = static_cast<uint8_t>(c - 0x20);
  bool latin1 = codePage == base::kCodePageLatin1;
  bool windows1252 = codePage == base::kCodePageWindows1252;
  map.asciiOnly = !latin1 && !windows1252;
  if (latin1 || windows1252) {
    // à..þ to À..Þ, except ÷ (0xF7), which is no letter.
    for (int c = 0xE0; c <= 0xFE; ++c)
      if (c != 0xF7) map.upper[c] = static_cast<uint8_t>(c - 0x20);
  }
  if (windows1252) {
    map.upper[0x9A] = 0x8A;  // š
    map.upper[0x9C] = 0x8C;  // œ
    map.upper[0x9E] = 0x8E;  // ž
    map.upper[0xFF] = 0x9F;  // ÿ
  }
  return map;
}

void CharUpperA(const CaseMap& map, char* text) {
  // Every script goes through here. Finding the end first leaves a loop
  // without that test, which the compiler vectorizes in the ASCII case.
  auto* p = reinterpret_cast<unsigned char*>(text);
  std::size_t length = std::strlen(text);
  if (map.asciiOnly) {
    for (std::size_t i = 0; i < length; ++i)
      p[i] =
          static_cast<unsigned char>(p[i] - ((static_cast<unsigned char>(p[i] - 'a') < 26) << 5));
  } else {
    for (std::size_t i = 0; i < length; ++i) p[i] = map.upper[p[i]];
  }
}

}  // namespace tool
