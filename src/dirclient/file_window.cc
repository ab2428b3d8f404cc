#include "dirclient/file_window.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>

namespace dirclient {
namespace {

// A walk goes down into a container and comes back to the one above, each
// at its own place in the file: a window for each of a few places keeps
// them from being read again. A window starts small, since a container may
// hold a few objects only, and reads further ahead each time the walk goes
// on past it, as it does through a large container.
constexpr std::size_t kFirstWindow = std::size_t{16} << 10;
constexpr std::size_t kMaxWindow = std::size_t{256} << 10;
constexpr std::size_t kWindows = 16;

}  // namespace

FileWindow::~FileWindow() {
  if (fd_ >= 0) close(fd_);
}

bool FileWindow::Open(const char* path, bool* regular, std::string* error) {
  fd_ = open(path, O_RDONLY | O_CLOEXEC);
  struct stat info;
  if (fd_ < 0 || fstat(fd_, &info) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    *error = std::strerror(EISDIR);
    return false;
  }
  *regular = S_ISREG(info.st_mode);
  size_ = *regular ? static_cast<uint64_t>(info.st_size) : 0;
  if (*regular) posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

bool FileWindow::ReadBlock(char* dest, std::size_t size, std::size_t* got,
                           std::string* error) {
  for (;;) {
    ssize_t count = read(fd_, dest, size);
    if (count >= 0) {
      *got = static_cast<std::size_t>(count);
      return true;
    }
    if (errno != EINTR) {
      *error = std::strerror(errno);
      return false;
    }
  }
}

bool FileWindow::View(uint64_t offset, uint64_t length, std::string_view* bytes) {
  if (windows_.empty()) windows_.resize(kWindows);
  ++uses_;
  Window* oldest = &windows_[0];
  Window* reuse = nullptr;
  for (Window& window : windows_) {
    if (offset >= window.offset && length <= window.size &&
        offset - window.offset <= window.size - length) {
      window.lastUse = uses_;
      *bytes = std::string_view(window.bytes).substr(offset - window.offset, length);
      return true;
    }
    // A read just past a window goes on through the file: that window
    // reads further ahead next time.
    if (window.size && offset >= window.offset + window.size / 2 &&
        offset - window.offset < 2 * window.size)
      reuse = &window;
    if (window.lastUse < oldest->lastUse) oldest = &window;
  }
  std::size_t ahead = kFirstWindow;
  if (reuse) {
    ahead = std::min(2 * reuse->size, kMaxWindow);
    oldest = reuse;
  }
  if (!Fill(*oldest, offset, std::max<uint64_t>(length, ahead), length)) return false;
  oldest->lastUse = uses_;
  *bytes = std::string_view(oldest->bytes).substr(0, length);
  return true;
}

bool FileWindow::Fill(Window& window, uint64_t offset, uint64_t want, uint64_t length) {
  if (want > SIZE_MAX / 2) return false;
  // A huge script's window is not kept for the small ones after it.
  if (window.bytes.size() > kMaxWindow && want < window.bytes.size())
    std::string().swap(window.bytes);
  if (window.bytes.size() < want) window.bytes.resize(static_cast<std::size_t>(want));
  window.offset = offset;
  window.size = 0;
  while (window.size < want) {
    ssize_t count = pread(fd_, window.bytes.data() + window.size,
                          static_cast<std::size_t>(want) - window.size,
                          static_cast<off_t>(offset + window.size));
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    window.size += static_cast<std::size_t>(count);
  }
  return window.size >= length;
}

}  // namespace dirclient
