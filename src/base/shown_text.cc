#include "base/shown_text.h"

#include "base/code_page.h"

namespace base {
namespace {

bool IsC0OrDel(unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7F; }

bool InRange(std::string_view text, std::size_t i, unsigned char low, unsigned char high) {
  if (i >= text.size()) return false;
  auto c = static_cast<unsigned char>(text[i]);
  return c >= low && c <= high;
}

// The length of the well-formed UTF-8 sequence at the start of `text`
// (RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF), or
// 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text) {
  auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return 1;
  unsigned char low = 0x80, high = 0xBF;
  std::size_t length;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (!InRange(text, 1, low, high)) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (!InRange(text, i, 0x80, 0xBF)) return 0;
  return length;
}

}  // namespace

ShownChar NextTerminalChar(std::string_view text, uint32_t codePage) {
  auto c = static_cast<unsigned char>(text[0]);
  if (c < 0x80) return {1, !IsC0OrDel(c)};
  if (codePage == kCodePageLatin1 || codePage == kCodePageWindows1252) return {1, c > 0x9F};
  if (codePage != kCodePageUtf8) return {1, false};
  std::size_t length = Utf8SequenceLength(text);
  if (length == 0) return {1, false};
  // U+0080-U+009F are C2 80 to C2 9F.
  bool c1 = c == 0xC2 && static_cast<unsigned char>(text[1]) <= 0x9F;
  return {length, !c1};
}

void AppendShownText(std::string& out, std::string_view text, uint32_t codePage, bool terminal) {
  while (!text.empty()) {
    ShownChar shown = terminal ? NextTerminalChar(text, codePage)
                               : ShownChar{1, !IsC0OrDel(static_cast<unsigned char>(text[0]))};
    if (shown.safe)
      out.append(text.substr(0, shown.length));
    else
      out += '?';
    text.remove_prefix(shown.length);
  }
}

}  // namespace base
