#include "tool/banner.h"

#include <cstdio>

namespace tool {

void FormatBuildLine(const char* date, const char* time, char* out, std::size_t size) {
  // __DATE__ is "Mmm dd yyyy" with a blank for a leading zero.
  char day[3] = {date[4] == ' ' ? '0' : date[4], date[5], '\0'};
  std::snprintf(out, size, "Compiled at %.3s %s %.4s  %.8s\n", date, day, date + 7, time);
}

}  // namespace tool
