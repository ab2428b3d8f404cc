#include "ldif/ldif_lines.h"

#include <cstring>

namespace ldif {
namespace {

// No value of an export comes near this; without a bound, an input that
// never ends a line (/dev/zero) would take all memory first.
constexpr size_t kMaxLine = size_t{64} << 20;

}  // namespace

// Moves the line being read to the front of the block and reads more after
// it. A line longer than half the block doubles the block, so that every
// refill reads at least half a block and a long line is scanned again only
// as often as the block doubles.
bool LineReader::Refill() {
  size_t keep = text_.size() - pos_;
  if (block_.size() < blockSize_) {
    block_.resize(blockSize_);
  } else if (keep > block_.size() / 2) {
    if (keep > kMaxLine)
      return failure_.Fail(lineNumber_, "line longer than " + std::to_string(kMaxLine >> 20) +
                                            " MiB with its continuations: no export holds one");
    block_.resize(block_.size() * 2);
  }
  // text_ is the start of block_, which the resize kept.
  std::memmove(block_.data(), block_.data() + pos_, keep);
  pos_ = 0;
  size_t filled = keep;
  while (filled < block_.size()) {
    size_t got = 0;
    base::Failure read = reader_.ReadBlock(block_.data() + filled, block_.size() - filled, &got);
    if (read.status != base::kOk) {
      failure_.failure = base::Failure{read.status, {}, lineNumber_, read.message};
      return false;
    }
    if (got == 0) {
      atEnd_ = true;
      break;
    }
    filled += got;
  }
  text_ = std::string_view(block_.data(), filled);
  newlines_.Reset();
  return true;
}

// A leading UTF-8 byte-order mark is skipped. UTF-16, which some shells
// write when output is redirected, is told apart by its mark or by the
// zero byte beside the first character, and named, since its lines would
// otherwise all fail to parse for no visible reason.
bool LineReader::CheckEncoding() {
  while (!atEnd_ && text_.size() - pos_ < 4)
    if (!Refill()) return false;
  std::string_view head = text_.substr(pos_, 4);
  if (head.starts_with("\xEF\xBB\xBF")) {
    pos_ += 3;
    return true;
  }
  const char* encoding = nullptr;
  bool twoBytes = head.size() >= 2;
  if (head.starts_with("\xFF\xFE") || (twoBytes && head[0] != 0 && head[1] == 0))
    encoding = "UTF-16 (little-endian)";
  else if (head.starts_with("\xFE\xFF") || (twoBytes && head[0] == 0 && head[1] != 0))
    encoding = "UTF-16 (big-endian)";
  if (!encoding) return true;
  return failure_.Fail(1, std::string("the file is ") + encoding +
                              ", not UTF-8: convert it first, for example with "
                              "iconv -f UTF-16 -t UTF-8");
}

}  // namespace ldif
