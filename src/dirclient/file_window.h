// An LDIF file as the client uses it: read once from the start to load the
// tree, then read again, a window at a time, for the scripts the walk asks
// for. Nothing of the file is kept in memory but a few windows, so peak
// memory is the tree's index, not the file's size.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dirclient/block_reader.h"
#include "dirclient/script_bytes.h"

namespace dirclient {

class FileWindow : public BlockReader, public ScriptBytes {
 public:
  FileWindow() = default;
  ~FileWindow() override;
  FileWindow(const FileWindow&) = delete;
  FileWindow& operator=(const FileWindow&) = delete;

  // Opens `path`; false with the system's reason in *error. *regular tells
  // whether the file can be read again at any offset (a pipe cannot).
  bool Open(const char* path, bool* regular, std::string* error);
  uint64_t size() const { return size_; }  // when opened, of a regular file

  bool ReadBlock(char* dest, std::size_t size, std::size_t* got,
                 std::string* error) override;
  bool View(uint64_t offset, uint64_t length, std::string_view* bytes) override;

 private:
  struct Window {
    std::string bytes;
    uint64_t offset = 0;
    std::size_t size = 0;  // bytes that hold file data
    uint64_t lastUse = 0;
  };
  // Reads `want` bytes from `offset`, or to the end of the file; false when
  // fewer than `length` could be read.
  bool Fill(Window& window, uint64_t offset, uint64_t want, uint64_t length);

  int fd_ = -1;
  uint64_t size_ = 0;
  std::vector<Window> windows_;
  uint64_t uses_ = 0;
};

}  // namespace dirclient
