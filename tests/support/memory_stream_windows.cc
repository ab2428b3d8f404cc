#include <windows.h>

#include <cstdio>

#include "capture.h"

namespace qovant_test {

// A file in the temporary folder, deleted when closed ("D"); binary, so
// that the text reads back as written.
MemoryStream::MemoryStream() : file_(nullptr) {
  wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH + 1, folder) && GetTempFileNameW(folder, L"qvt", 0, name))
    file_ = _wfopen(name, L"w+bD");
}

MemoryStream::~MemoryStream() { std::fclose(file_); }

std::string MemoryStream::text() {
  std::fflush(file_);
  std::string text(static_cast<std::size_t>(std::ftell(file_)), '\0');
  std::rewind(file_);
  text.resize(std::fread(text.data(), 1, text.size(), file_));
  std::fseek(file_, 0, SEEK_END);
  return text;
}

}  // namespace qovant_test
