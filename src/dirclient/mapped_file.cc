#include "dirclient/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dirclient {
namespace {

// Closes the descriptor on every path; the mapping outlives it.
struct FileDescriptor {
  int fd;
  ~FileDescriptor() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

MappedFile::~MappedFile() {
  if (map_) munmap(map_, mapSize_);
}

bool MappedFile::Open(const char* path, std::string* error) {
  FileDescriptor file{open(path, O_RDONLY | O_CLOEXEC)};
  struct stat info;
  if (file.fd < 0 || fstat(file.fd, &info) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  if (S_ISREG(info.st_mode) && info.st_size > 0) {
    // The loader reads every byte: mapping all pages at once costs far less
    // than a fault for each.
    void* map = mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ,
                     MAP_PRIVATE | MAP_POPULATE, file.fd, 0);
    if (map == MAP_FAILED) {
      *error = std::strerror(errno);
      return false;
    }
    map_ = map;
    mapSize_ = static_cast<size_t>(info.st_size);
    data_ = std::string_view(static_cast<const char*>(map), mapSize_);
    return true;
  }
  char block[1 << 16];
  for (;;) {
    ssize_t got = read(file.fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = std::strerror(errno);
      return false;
    }
    if (got == 0) break;
    copy_.append(block, static_cast<size_t>(got));
  }
  data_ = copy_;
  return true;
}

}  // namespace dirclient
