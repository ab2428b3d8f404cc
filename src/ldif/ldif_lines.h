// The lines of an LDIF file: read in blocks, a physical line and its
// continuations joined into one logical line, line breaks LF or CRLF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ldif/block_reader.h"
#include "ldif/ldif_loader.h"
#include "ldif/newline_finder.h"

namespace ldif {

// The first failure of a load, which its parts share.
struct LoadFailure {
  base::Failure failure;  // status 0 until something failed

  bool failed() const { return failure.status != base::kOk; }
  // A malformed file at `line`; false, for the caller to return.
  bool Fail(uint64_t line, std::string message) {
    failure = base::Failure{base::kTreeMalformed, {}, line, std::move(message)};
    return false;
  }
};

class LineReader {
 public:
  // One logical line: a physical line and its continuations.
  struct Line {
    size_t begin;
    size_t end;  // before the final line break (and its carriage return)
    bool folded;
    size_t firstBreak;  // where the first physical line ends, when folded
    uint64_t number;
  };

  // Lines of what `reader` reads, a block of `blockSize` bytes at a time.
  LineReader(BlockReader& reader, std::size_t blockSize, LoadFailure& failure)
      : reader_(reader), blockSize_(blockSize), failure_(failure) {}

  // Skips a leading UTF-8 byte-order mark; refuses UTF-16 by name.
  bool CheckEncoding();
  // The next logical line; false at the end, or on a failure.
  [[gnu::always_inline]] bool Next(Line* line);
  // The bytes the last lines stand in; valid until the next Next.
  std::string_view text() const { return text_; }
  // Moves past any folds (a line break and one blank) at `pos`.
  size_t SkipFolds(size_t pos, size_t end) const;
  uint64_t lineNumber() const { return lineNumber_; }  // of the next line
  bool unterminated() const { return unterminated_; }  // no break after the last

 private:
  // kMore: the logical line runs past the bytes at hand.
  enum class Scan { kLine, kEnd, kMore };
  Scan ScanLine(Line* line);
  bool Refill();

  // The bytes at hand: the reader's current block from the start of the
  // line being read.
  std::string_view text_;
  bool atEnd_ = false;  // nothing follows text_
  BlockReader& reader_;
  std::size_t blockSize_ = 0;
  std::string block_;
  size_t pos_ = 0;
  NewlineFinder newlines_;  // in text_
  uint64_t lineNumber_ = 1;
  bool unterminated_ = false;
  LoadFailure& failure_;
};

// Every line of the file passes here, so these stay inline in the loops
// that read records.
inline bool LineReader::Next(Line* line) {
  for (;;) {
    size_t pos = pos_;
    uint64_t number = lineNumber_;
    Scan scan = ScanLine(line);
    if (scan != Scan::kMore) return scan == Scan::kLine;
    pos_ = pos;
    lineNumber_ = number;
    if (!Refill()) return false;
  }
}

inline LineReader::Scan LineReader::ScanLine(Line* line) {
  if (pos_ >= text_.size()) return atEnd_ ? Scan::kEnd : Scan::kMore;
  line->begin = pos_;
  line->number = lineNumber_;
  line->folded = false;
  for (;;) {
    size_t newline = newlines_.Find(text_, pos_);
    bool hit = newline < text_.size();
    if (!hit && !atEnd_) return Scan::kMore;
    line->end = newline;
    pos_ = hit ? newline + 1 : text_.size();
    if (!hit) unterminated_ = true;
    ++lineNumber_;
    // A blank line ends a record and continues nothing.
    bool blank =
        newline == line->begin || (newline == line->begin + 1 && text_[line->begin] == '\r');
    if (!blank && pos_ == text_.size() && !atEnd_) return Scan::kMore;
    if (!blank && pos_ < text_.size() && text_[pos_] == ' ') {
      if (!line->folded) line->firstBreak = newline;
      line->folded = true;
      continue;
    }
    break;
  }
  if (line->end > line->begin && text_[line->end - 1] == '\r') --line->end;
  return Scan::kLine;
}

// Moves past any folds (a line break and one blank) at `pos`.
inline size_t LineReader::SkipFolds(size_t pos, size_t end) const {
  for (;;) {
    if (pos < end && text_[pos] == '\n') {
      pos += 2;
    } else if (pos + 1 < end && text_[pos] == '\r' && text_[pos + 1] == '\n') {
      pos += 3;
    } else {
      return pos;
    }
  }
}

}  // namespace ldif
