#include "ldap/password_file.h"

#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>

#include "base/status.h"
#include "ldap/file_descriptor.h"

namespace ldap_reader {
namespace {

std::string ModeText(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

}  // namespace

void SecretBytes::Allocate(std::size_t capacity) {
  Wipe();
  bytes_ = std::make_unique<char[]>(capacity);
  capacity_ = capacity;
  size_ = 0;
}

void SecretBytes::Wipe() {
  if (bytes_) explicit_bzero(bytes_.get(), capacity_);
  size_ = 0;
}

namespace {

base::Failure Refusal(base::Status status, std::string message) {
  return base::Failure{status, {}, 0, std::move(message)};
}

// The checks look at the file that was opened, not at the name again.
base::Failure CheckOpenedFile(const FileDescriptor& fd) {
  struct stat info;
  if (fstat(fd.get(), &info) != 0) return Refusal(base::kPasswordFileUnreadable, strerror(errno));
  if (!S_ISREG(info.st_mode)) return Refusal(base::kPasswordFileUnreadable, "not a regular file");
  // Whoever owns the file can change its mode, and so could have read or
  // chosen the password.
  if (info.st_uid != geteuid() && info.st_uid != 0)
    return Refusal(base::kPasswordFileOwner, "owned by uid " + std::to_string(info.st_uid) +
                                                 ", neither yours (uid " +
                                                 std::to_string(geteuid()) + ") nor root's");
  if (info.st_mode & (S_IRWXG | S_IRWXO))
    return Refusal(base::kPasswordFileExposed,
                   "permissions " + ModeText(info.st_mode) +
                       " are too open: group and others must have no access (chmod 600)");
  return {};
}

// The whole file into *password, its length in *size.
base::Failure ReadAll(const FileDescriptor& fd, SecretBytes* password, std::size_t* size) {
  // One byte more than accepted tells a file that is too long.
  password->Allocate(kMaxPasswordFile + 1);
  *size = 0;
  while (*size < password->capacity()) {
    ssize_t got = read(fd.get(), password->data() + *size, password->capacity() - *size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Refusal(base::kPasswordFileUnreadable, strerror(errno));
    if (got == 0) break;
    *size += static_cast<std::size_t>(got);
  }
  if (*size > kMaxPasswordFile)
    return Refusal(base::kPasswordFileUnreadable,
                   "longer than " + std::to_string(kMaxPasswordFile) + " bytes");
  return {};
}

base::Failure ReadInto(const char* path, SecretBytes* password) {
  password->Wipe();
  // O_NONBLOCK: opening a FIFO by mistake must not wait for a writer.
  FileDescriptor fd(open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) return Refusal(base::kPasswordFileUnreadable, strerror(errno));
  base::Failure failure = CheckOpenedFile(fd);
  std::size_t size = 0;
  if (failure.status == base::kOk) failure = ReadAll(fd, password, &size);
  if (failure.status != base::kOk) return failure;
  const char* bytes = password->data();
  if (size > 0 && bytes[size - 1] == '\n') {
    --size;
    if (size > 0 && bytes[size - 1] == '\r') --size;
  }
  // An empty password would turn the simple bind into an anonymous one.
  if (size == 0) return Refusal(base::kPasswordEmpty, "holds no password");
  password->set_size(size);
  return {};
}

}  // namespace

base::Failure ReadPasswordFile(const char* path, SecretBytes* password) {
  base::Failure failure = ReadInto(path, password);
  if (failure.status != base::kOk) {
    password->Wipe();
    failure.where = path;
  }
  return failure;
}

}  // namespace ldap_reader
