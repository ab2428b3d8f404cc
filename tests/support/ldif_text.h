// LDIF text loaded through the loader's one entry point, a block reader,
// as a file or a pipe is read.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ldif/ldif_loader.h"

namespace qovant_test {

// Hands `text` over at most `perCall` bytes a call (0: as much as asked),
// and fails once `failAt` bytes have gone.
class StringReader : public ldif::BlockReader {
 public:
  explicit StringReader(std::string_view text, std::size_t perCall = 0,
                        std::size_t failAt = SIZE_MAX)
      : text_(text), perCall_(perCall), failAt_(failAt) {}
  base::Failure ReadBlock(char* dest, std::size_t size, std::size_t* got) override {
    base::Failure failure;
    if (size == 0) {  // a read of nothing would look like the end
      failure.status = base::kTreeUnreadable;
      failure.message = "read of nothing";
      return failure;
    }
    if (at_ >= failAt_) {
      failure.status = base::kTreeUnreadable;
      failure.message = "Input/output error";
      return failure;
    }
    *got = text_.copy(dest, std::min({size, failAt_ - at_, perCall_ ? perCall_ : size}), at_);
    at_ += *got;
    return failure;
  }
  std::size_t SizeHint() const override { return text_.size(); }

 private:
  std::string_view text_;
  std::size_t perCall_, failAt_, at_ = 0;
};

// Loads `text` as the tool loads a file.
inline base::Failure LoadLdifText(std::string_view text, tree::DirTree& tree) {
  StringReader reader(text);
  return ldif::LoadLdif(reader, tree);
}

}  // namespace qovant_test
