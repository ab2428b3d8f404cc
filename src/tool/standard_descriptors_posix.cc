#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "tool/standard_descriptors.h"

namespace tool {

bool OpenClosedStandardDescriptors(bool* outputClosed) {
  *outputClosed = false;
  // Checked in order: open() takes the lowest free number, so the one
  // opened is the one found closed.
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == STDOUT_FILENO) *outputClosed = true;
    int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened != fd) {
      if (opened >= 0) close(opened);
      return false;
    }
  }
  return true;
}

}  // namespace tool
