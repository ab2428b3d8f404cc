#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <string>

#include "base/status.h"
#include "base/wide_text_windows.h"
#include "ldif/file_reader.h"

namespace ldif {

FileReader::~FileReader() {
  if (fd_ >= 0) _close(fd_);
}

base::Failure FileReader::Open(const char* path) {
  // The name is UTF-8, whatever the code page: the wide call opens any file.
  std::wstring name;
  if (!base::WideFromUtf8(path, &name)) return UnreadableFile(path, EILSEQ);
  // Bytes as they are, CR LF included; read front to back (sequential scan).
  fd_ = _wopen(name.c_str(), _O_RDONLY | _O_BINARY | _O_SEQUENTIAL | _O_NOINHERIT);
  if (fd_ < 0) {
    int error = errno;
    // Windows refuses to open a directory as a file without saying why.
    DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      error = EISDIR;
    return UnreadableFile(path, error);
  }
  struct _stat64 info;
  if (_fstat64(fd_, &info) != 0) return UnreadableFile(path, errno);
  if ((info.st_mode & _S_IFMT) == _S_IFREG) size_ = static_cast<uint64_t>(info.st_size);
  return base::Failure{};
}

base::Failure FileReader::ReadBlock(char* dest, std::size_t size, std::size_t* got) {
  int count = _read(fd_, dest, static_cast<unsigned>(size > INT_MAX ? INT_MAX : size));
  if (count < 0) return UnreadableFile(nullptr, errno);
  *got = static_cast<std::size_t>(count);
  return base::Failure{};
}

}  // namespace ldif
