#include "ldif/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dirclient {

FileReader::~FileReader() {
  if (fd_ >= 0) close(fd_);
}

bool FileReader::Open(const char* path, std::string* error) {
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
  if (S_ISREG(info.st_mode)) {
    size_ = static_cast<uint64_t>(info.st_size);
    posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  }
  return true;
}

bool FileReader::ReadBlock(char* dest, std::size_t size, std::size_t* got,
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

}  // namespace dirclient
