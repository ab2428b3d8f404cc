#include "ldif/ldif_attribute.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "ldif/ldif_value.h"
#include "tree/entry_mapping.h"

namespace ldif {
namespace {

// An attribute description longer than this is not one any directory uses;
// refusing it keeps a hostile line from growing the scratch buffer.
constexpr size_t kMaxDescription = 1024;

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The types the tree is built from are compared in lower case here, and
// spelled once, for every source, in entry_mapping.h.
constexpr bool IsLowerCaseOf(std::string_view lower, std::string_view name) {
  if (lower.size() != name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] + 32) : name[i];
    if (c != lower[i]) return false;
  }
  return true;
}
static_assert(IsLowerCaseOf("objectclass", tree::kObjectClassAttribute) &&
              IsLowerCaseOf("loginscript", tree::kLoginScriptAttribute) &&
              IsLowerCaseOf("aliasedobjectname", tree::kAliasedObjectNameAttribute));

// Kinds whose lines must follow the grammar to the letter.
bool IsStrict(Kind kind) { return kind != Kind::kOther; }

// True when `type` spells `lower` in any case; both the same length. A
// description holds letters, digits, "-" and ".", which setting bit 5
// leaves as they are but for letters, which it lower-cases: eight bytes
// are compared at a time.
bool SpellsName(std::string_view type, std::string_view lower) {
  size_t i = 0;
  for (; i + 8 <= type.size(); i += 8) {
    uint64_t a, b;
    std::memcpy(&a, type.data() + i, 8);
    std::memcpy(&b, lower.data() + i, 8);
    if ((a | 0x2020202020202020ull) != b) return false;
  }
  for (; i < type.size(); ++i)
    if ((type[i] | 0x20) != lower[i]) return false;
  return true;
}

// The kind of an attribute type, by name in any case: told apart by length
// first, since nearly every line names some other type.
[[gnu::always_inline]] inline Kind KindOf(std::string_view type) {
  switch (type.size()) {
    case 2: return SpellsName(type, "dn") ? Kind::kDn : Kind::kOther;
    case 3: return SpellsName(type, "ref") ? Kind::kRef : Kind::kOther;
    case 4: return SpellsName(type, "text") ? Kind::kText : Kind::kOther;
    case 6:
      return SpellsName(type, "search")   ? Kind::kSearch
             : SpellsName(type, "result") ? Kind::kResult
                                          : Kind::kOther;
    case 7:
      return SpellsName(type, "version")   ? Kind::kVersion
             : SpellsName(type, "control") ? Kind::kControl
                                           : Kind::kOther;
    case 10: return SpellsName(type, "changetype") ? Kind::kChangeType : Kind::kOther;
    case 11:
      return SpellsName(type, "loginscript")   ? Kind::kLoginScript
             : SpellsName(type, "objectclass") ? Kind::kObjectClass
                                               : Kind::kOther;
    case 12: return SpellsName(type, "pagedresults") ? Kind::kPagedResults : Kind::kOther;
    case 17: return SpellsName(type, "aliasedobjectname") ? Kind::kAliasedObjectName : Kind::kOther;
    default: return Kind::kOther;
  }
}

// The bytes of a plain attribute name: letters, digits and "-".
constexpr std::array<bool, 256> MakeNameBytes() {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c)
    table[c] =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
  return table;
}
constexpr std::array<bool, 256> kNameByte = MakeNameBytes();

#ifdef __SSE2__
// 0xFF for each byte of `v` in [lo, hi]: a signed compare after moving lo
// to -128.
__m128i BytesInRange(__m128i v, char lo, char hi) {
  __m128i shifted = _mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(-128 - lo)));
  return _mm_cmplt_epi8(shifted, _mm_set1_epi8(static_cast<char>(-128 + (hi - lo) + 1)));
}
#endif

// Where the run of name bytes from `pos` ends: sixteen bytes a step while
// the text lasts, since a line's description is read on every line.
size_t NameRunEnd(std::string_view text, size_t pos) {
#ifdef __SSE2__
  for (; pos + 16 <= text.size(); pos += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + pos));
    __m128i letter = BytesInRange(_mm_or_si128(v, _mm_set1_epi8(0x20)), 'a', 'z');
    __m128i name = _mm_or_si128(_mm_or_si128(letter, BytesInRange(v, '0', '9')),
                                _mm_cmpeq_epi8(v, _mm_set1_epi8('-')));
    unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(name)) & 0xFFFFu;
    if (other) return pos + static_cast<size_t>(__builtin_ctz(other));
  }
#endif
  while (pos < text.size() && kNameByte[static_cast<uint8_t>(text[pos])]) ++pos;
  return pos;
}

// attributeType *(";" option), as RFC 4512 spells them.
bool IsValidDescription(std::string_view desc) {
  size_t i = 0;
  if (i < desc.size() && IsAlpha(desc[i])) {
    while (i < desc.size() && (IsAlpha(desc[i]) || IsDigit(desc[i]) || desc[i] == '-')) ++i;
  } else if (i < desc.size() && IsDigit(desc[i])) {
    while (i < desc.size() && (IsDigit(desc[i]) || desc[i] == '.')) ++i;
    if (desc[i - 1] == '.') return false;
  } else {
    return false;
  }
  while (i < desc.size()) {
    if (desc[i++] != ';') return false;
    size_t start = i;
    while (i < desc.size() && (IsAlpha(desc[i]) || IsDigit(desc[i]) || desc[i] == '-')) ++i;
    if (i == start) return false;
  }
  return true;
}

// Real exports bend the grammar for attributes nobody here reads: range
// options ("member;range=0-1499"), "_" in names. Any visible ASCII will do
// for those; a blank or a control byte still means a broken line.
bool IsTolerableDescription(std::string_view desc) {
  if (desc.empty()) return false;
  for (char c : desc)
    if (c <= ' ' || c > '~') return false;
  return true;
}

constexpr char kNotAnAttribute[] = "line is neither an attribute nor a continuation";

// Any other description: with options, a numeric OID, or folded.
bool ParseDescription(const LineReader& lines, const LineReader::Line& line, size_t* pos,
                      Attribute* attribute, LoadFailure& failure) {
  std::string_view text = lines.text();
  std::string description;
  for (;;) {
    if (line.folded) *pos = lines.SkipFolds(*pos, line.end);
    if (*pos >= line.end) return failure.Fail(line.number, kNotAnAttribute);
    char c = text[(*pos)++];
    if (c == ':') break;
    if (description.size() == kMaxDescription)
      return failure.Fail(line.number, "attribute description too long");
    description += c;
  }
  size_t semicolon = description.find(';');
  attribute->kind = KindOf(std::string_view(description).substr(0, semicolon));
  attribute->options = semicolon != std::string::npos;
  if (!IsValidDescription(description) &&
      (IsStrict(attribute->kind) || !IsTolerableDescription(description)))
    return failure.Fail(line.number, kNotAnAttribute);
  return true;
}

}  // namespace

bool ParseAttribute(const LineReader& lines, const LineReader::Line& line, Attribute* attribute,
                    LoadFailure& failure) {
  size_t pos = line.begin;
  // A description nearly always stands whole before the first fold: taken
  // in one piece. Anything else goes byte by byte below.
  std::string_view text = lines.text();
  size_t limit = std::min(line.end, line.begin + kMaxDescription);
  size_t colon = std::min(NameRunEnd(text, pos), limit);
  // Letters, digits and "-" only, from a letter on.
  bool plain = pos < limit && IsAlpha(text[pos]);
  if (colon < line.end && text[colon] == ':' && plain) {
    // A plain name is a valid description as it stands.
    attribute->kind = KindOf(text.substr(pos, colon - pos));
    attribute->options = false;
    pos = colon + 1;
  } else if (!ParseDescription(lines, line, &pos, attribute, failure)) {
    return false;
  }
  attribute->encoding = line.folded ? kValueFolded : kValuePlain;

  if (line.folded) pos = lines.SkipFolds(pos, line.end);
  if (pos < line.end && text[pos] == ':') {
    attribute->encoding |= kValueBase64;
    ++pos;
  } else if (pos < line.end && text[pos] == '<') {
    return failure.Fail(line.number, "URL values (\":<\") are not supported");
  }
  for (;;) {
    if (line.folded) pos = lines.SkipFolds(pos, line.end);
    if (pos < line.end && text[pos] == ' ') {
      ++pos;
      continue;
    }
    break;
  }
  attribute->valueBegin = pos;
  // The value is folded when a line break follows its first byte; nearly
  // always the first one does.
  if (line.folded && pos > line.firstBreak && !std::memchr(text.data() + pos, '\n', line.end - pos))
    attribute->encoding &= static_cast<uint8_t>(~kValueFolded);
  return true;
}

}  // namespace ldif
