#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/status.h"
#include "ldif/file_reader.h"

namespace ldif {

FileReader::~FileReader() {
  if (fd_ >= 0) close(fd_);
}

base::Failure FileReader::Open(const char* path) {
  fd_ = open(path, O_RDONLY | O_CLOEXEC);
  struct stat info;
  if (fd_ < 0 || fstat(fd_, &info) != 0) return UnreadableFile(path, errno);
  if (S_ISDIR(info.st_mode)) return UnreadableFile(path, EISDIR);
  if (S_ISREG(info.st_mode)) {
    size_ = static_cast<uint64_t>(info.st_size);
    posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  }
  return base::Failure{};
}

base::Failure FileReader::ReadBlock(char* dest, std::size_t size, std::size_t* got) {
  for (;;) {
    ssize_t count = read(fd_, dest, size);
    if (count >= 0) {
      *got = static_cast<std::size_t>(count);
      return base::Failure{};
    }
    if (errno != EINTR) return UnreadableFile(nullptr, errno);
  }
}

}  // namespace ldif
