// A whole file in memory, read-only: mapped when it is a regular file (so a
// large export costs no copy), read into memory otherwise (a pipe, say).
#pragma once

#include <string>
#include <string_view>

namespace dirclient {

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // On failure returns false with the system's reason in *error.
  bool Open(const char* path, std::string* error);
  std::string_view data() const { return data_; }

 private:
  void* map_ = nullptr;
  size_t mapSize_ = 0;
  std::string copy_;
  std::string_view data_;
};

}  // namespace dirclient
