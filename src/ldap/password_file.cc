#include "ldap/password_file.h"

#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

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

base::Status ReadInto(const char* path, SecretBytes* password, std::string* reason) {
  password->Wipe();
  // O_NONBLOCK: opening a FIFO by mistake must not wait for a writer.
  FileDescriptor fd(open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) {
    *reason = strerror(errno);
    return base::kPasswordFileUnreadable;
  }
  // The checks look at the file that was opened, not at the name again.
  struct stat info;
  if (fstat(fd.get(), &info) != 0) {
    *reason = strerror(errno);
    return base::kPasswordFileUnreadable;
  }
  if (!S_ISREG(info.st_mode)) {
    *reason = "not a regular file";
    return base::kPasswordFileUnreadable;
  }
  // Whoever owns the file can change its mode, and so could have read or
  // chosen the password.
  if (info.st_uid != geteuid() && info.st_uid != 0) {
    *reason = "owned by uid " + std::to_string(info.st_uid) + ", neither yours (uid " +
              std::to_string(geteuid()) + ") nor root's";
    return base::kPasswordFileOwner;
  }
  if (info.st_mode & (S_IRWXG | S_IRWXO)) {
    *reason = "permissions " + ModeText(info.st_mode) +
              " are too open: group and others must have no access (chmod 600)";
    return base::kPasswordFileExposed;
  }

  // One byte more than accepted tells a file that is too long.
  password->Allocate(kMaxPasswordFile + 1);
  std::size_t size = 0;
  while (size < password->capacity()) {
    ssize_t got = read(fd.get(), password->data() + size, password->capacity() - size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *reason = strerror(errno);
      password->Wipe();
      return base::kPasswordFileUnreadable;
    }
    if (got == 0) break;
    size += static_cast<std::size_t>(got);
  }
  if (size > kMaxPasswordFile) {
    *reason = "longer than " + std::to_string(kMaxPasswordFile) + " bytes";
    password->Wipe();
    return base::kPasswordFileUnreadable;
  }
  const char* bytes = password->data();
  if (size > 0 && bytes[size - 1] == '\n') {
    --size;
    if (size > 0 && bytes[size - 1] == '\r') --size;
  }
  if (size == 0) {
    // An empty password would turn the simple bind into an anonymous one.
    *reason = "holds no password";
    password->Wipe();
    return base::kPasswordEmpty;
  }
  password->set_size(size);
  return base::kOk;
}

}  // namespace

base::Failure ReadPasswordFile(const char* path, SecretBytes* password) {
  base::Failure failure;
  failure.status = ReadInto(path, password, &failure.message);
  if (failure.status != base::kOk) failure.where = path;
  return failure;
}

}  // namespace ldap_reader
