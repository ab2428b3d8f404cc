#pragma once

#include <cstdint>

namespace base {

// The code pages the client knows, by number; they decide which bytes a
// terminal is shown.
inline constexpr uint32_t kCodePageAscii = 20127;
inline constexpr uint32_t kCodePageLatin1 = 28591;
inline constexpr uint32_t kCodePageWindows1252 = 1252;
inline constexpr uint32_t kCodePageWindows1250 = 1250;
inline constexpr uint32_t kCodePageOem437 = 437;
inline constexpr uint32_t kCodePageOem850 = 850;
inline constexpr uint32_t kCodePageOem852 = 852;
inline constexpr uint32_t kCodePageUtf8 = 65001;

}  // namespace base
