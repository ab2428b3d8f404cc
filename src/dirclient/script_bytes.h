// Where a tree's login scripts are read from when the walk asks for them:
// the text a tree was loaded from, kept in memory, or the file it was read
// from, read again.
#pragma once

#include <cstdint>
#include <string_view>

namespace dirclient {

class ScriptBytes {
 public:
  virtual ~ScriptBytes() = default;
  // Views bytes [offset, offset + length) until the next call; false when
  // they can no longer be had (the file shrank or cannot be read).
  virtual bool View(uint64_t offset, uint64_t length, std::string_view* bytes) = 0;
};

class MemoryScriptBytes : public ScriptBytes {
 public:
  explicit MemoryScriptBytes(std::string_view bytes = {}) : bytes_(bytes) {}
  bool View(uint64_t offset, uint64_t length, std::string_view* bytes) override {
    if (offset > bytes_.size() || length > bytes_.size() - offset) return false;
    *bytes = bytes_.substr(offset, length);
    return true;
  }

 private:
  std::string_view bytes_;
};

}  // namespace dirclient
