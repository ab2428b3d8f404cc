// The bind password, read from a file the way ssh reads a private key: the
// file must be the user's (or root's) and closed to group and others, and the password never passes
// through the command line or the environment.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "base/failure.h"
#include "base/status.h"

namespace ldap_reader {

// Bytes that are wiped when they are dropped.
class SecretBytes {
 public:
  SecretBytes() = default;
  ~SecretBytes() { Wipe(); }
  SecretBytes(const SecretBytes&) = delete;
  SecretBytes& operator=(const SecretBytes&) = delete;

  // Drops the old bytes and makes room for `capacity` new ones.
  void Allocate(std::size_t capacity);
  char* data() { return bytes_.get(); }
  std::size_t capacity() const { return capacity_; }
  std::size_t size() const { return size_; }
  void set_size(std::size_t size) { size_ = size <= capacity_ ? size : capacity_; }
  std::string_view view() const { return {bytes_.get(), size_}; }
  void Wipe();

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

// Longest password file accepted; anything longer is not a password.
inline constexpr std::size_t kMaxPasswordFile = 4096;

// Reads the password from `path`: its whole content less one trailing line
// end ("\n" or "\r\n"). Refuses a file owned by neither the effective user
// nor root, one that group or others have any access to, one that is not a
// regular file, one longer than
// kMaxPasswordFile, and an empty password. On failure returns why, about
// `path`; *password is left empty.
base::Failure ReadPasswordFile(const char* path, SecretBytes* password);

}  // namespace ldap_reader
