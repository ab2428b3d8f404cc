#include <cstdlib>

#include "capture.h"

namespace qovant_test {

MemoryStream::MemoryStream() : file_(open_memstream(&data_, &size_)) {}

MemoryStream::~MemoryStream() {
  std::fclose(file_);
  std::free(data_);
}

std::string MemoryStream::text() {
  std::fflush(file_);
  return std::string(data_, size_);
}

}  // namespace qovant_test
