// The banner and usage lines written for a wrong command line.
#pragma once

#include <cstddef>

namespace tool {

inline constexpr char kTitleLine[] = "Brellkin.\n";
inline constexpr char kUsageLine[] = "Use: qovant <substring>\n";

// "Compiled at Mar 07 2011  09:05:33\n" from the compiler's __DATE__
// ("Mar  7 2011") and __TIME__, with the day zero-padded.
void FormatBuildLine(const char* date, const char* time, char* out, std::size_t size);

}  // namespace tool
