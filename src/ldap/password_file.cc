#include "ldap/password_file.h"

#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "client/status.h"
#include "ldap/file_descriptor.h"

namespace dirclient {
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

Status ReadInto(const char* path, SecretBytes* password, std::string* reason) {
  password->Wipe();
  // O_NONBLOCK: opening a FIFO by mistake must not wait for a writer.
  FileDescriptor fd(open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) {
    *reason = strerror(errno);
    return kPasswordFileUnreadable;
  }
  // The checks look at the file that was opened, not at the name again.
  struct stat info;
  if (fstat(fd.get(), &info) != 0) {
    *reason = strerror(errno);
    return kPasswordFileUnreadable;
  }
  if (!S_ISREG(info.st_mode)) {
    *reason = "not a regular file";
    return kPasswordFileUnreadable;
  }
  // Whoever owns the file can change its mode, and so could have read or
  // chosen the password.
  if (info.st_uid != geteuid() && info.st_uid != 0) {
    *reason = "owned by uid " + std::to_string(info.st_uid) + ", neither yours (uid " +
              std::to_string(geteuid()) + ") nor root's";
    return kPasswordFileOwner;
  }
  if (info.st_mode & (S_IRWXG | S_IRWXO)) {
    *reason = "permissions " + ModeText(info.st_mode) +
              " are too open: group and others must have no access (chmod 600)";
    return kPasswordFileExposed;
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
      return kPasswordFileUnreadable;
    }
    if (got == 0) break;
    size += static_cast<std::size_t>(got);
  }
  if (size > kMaxPasswordFile) {
    *reason = "longer than " + std::to_string(kMaxPasswordFile) + " bytes";
    password->Wipe();
    return kPasswordFileUnreadable;
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
    return kPasswordEmpty;
  }
  password->set_size(size);
  return kOk;
}

}  // namespace

Failure ReadPasswordFile(const char* path, SecretBytes* password) {
  Failure failure;
  failure.status = ReadInto(path, password, &failure.message);
  if (failure.status != kOk) failure.where = path;
  return failure;
}

}  // namespace dirclient
