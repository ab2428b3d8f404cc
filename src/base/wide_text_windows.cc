#include "base/wide_text_windows.h"

#include <windows.h>

#include <climits>

namespace base {

bool WideFromUtf8(std::string_view text, std::wstring* wide) {
  if (text.empty()) {
    wide->clear();
    return true;
  }
  if (text.size() > INT_MAX) return false;
  int length = static_cast<int>(text.size());
  int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (count <= 0) return false;
  std::wstring converted(static_cast<std::size_t>(count), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, converted.data(), count);
  *wide = std::move(converted);
  return true;
}

std::string Utf8FromWide(std::wstring_view wide) {
  if (wide.empty() || wide.size() > INT_MAX / 3) return std::string();
  int length = static_cast<int>(wide.size());
  int count = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(count > 0 ? count : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, text.data(), count, nullptr, nullptr);
  return text;
}

}  // namespace base
