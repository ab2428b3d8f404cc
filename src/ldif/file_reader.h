// An LDIF file read once, front to back, in blocks: the loader keeps what
// it needs as it goes, so memory holds the tree, not the file.
#pragma once

#include <cstdint>
#include <string>

#include "ldif/block_reader.h"

namespace ldif {

class FileReader : public BlockReader {
 public:
  FileReader() = default;
  ~FileReader() override;
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // Opens `path` (UTF-8 on Windows, whatever the code page); a failure
  // (kTreeUnreadable, about `path`) with the system's reason otherwise. A
  // directory is refused as one on every system.
  base::Failure Open(const char* path);
  uint64_t size() const { return size_; }  // of a regular file, else 0
  std::size_t SizeHint() const override { return static_cast<std::size_t>(size_); }

  base::Failure ReadBlock(char* dest, std::size_t size, std::size_t* got) override;

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

// The failure of a tree file that cannot be read: kTreeUnreadable, about
// `path`, with the system's words for `error` (an errno value).
base::Failure UnreadableFile(const char* path, int error);

}  // namespace ldif
