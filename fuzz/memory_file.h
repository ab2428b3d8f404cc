// A stream in memory for the tool's output in the harnesses, freed with the
// input it was made for.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace qovant_fuzz {

class MemoryFile {
 public:
  MemoryFile() : file_(open_memstream(&data_, &size_)) {
    if (!file_) std::abort();
  }
  ~MemoryFile() {
    std::fclose(file_);
    std::free(data_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  std::FILE* file() { return file_; }
  std::string_view text() {
    std::fflush(file_);
    return {data_, size_};
  }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
};

// Ends the run with a message when a property of the tool does not hold; the
// fuzzer keeps the input that did it.
inline void Require(bool condition, const char* harness, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "%s: %s\n", harness, what);
  std::abort();
}

}  // namespace qovant_fuzz
