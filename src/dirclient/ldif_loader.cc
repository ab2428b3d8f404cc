#include "dirclient/ldif_loader.h"

#include <algorithm>
#include <array>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "dirclient/block_reader.h"
#include "dirclient/dirclient.h"
#include "dirclient/entry_mapping.h"
#include "dirclient/ldif_builder.h"
#include "dirclient/ldif_value.h"
#include "dirclient/newline_finder.h"

namespace dirclient {
namespace {

// An attribute description longer than this is not one any directory uses;
// refusing it keeps a hostile line from growing the scratch buffer.
constexpr size_t kMaxDescription = 1024;

// Entries handed to the builder at a time: enough to make handing over
// cheap, little enough to stay in the caches.
constexpr size_t kBatchEntries = 2048;
constexpr size_t kBatchText = size_t{256} << 10;

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The attribute types the loader acts on.
enum class Kind : uint8_t {
  kOther, kDn, kVersion, kChangeType, kControl, kLoginScript, kObjectClass, kAliasedObjectName
};

// True when `type` spells `lower` in any case; both the same length. A
// description holds letters, digits, "-" and ".", which setting bit 5
// leaves as they are but for letters, which it lower-cases: eight bytes
// are compared at a time.
bool SpellsName(std::string_view type, std::string_view lower) {
  size_t i = 0;
  for (; i + 8 <= type.size(); i += 8) {
    uint64_t a, b;
    std::memcpy(&a, type.data() + i, 8);
    std::memcpy(&b, lower.data() + i, 8);
    if ((a | 0x2020202020202020ull) != b) return false;
  }
  for (; i < type.size(); ++i)
    if ((type[i] | 0x20) != lower[i]) return false;
  return true;
}

// The kind of an attribute type, by name in any case: told apart by length
// first, since nearly every line names some other type.
Kind KindOf(std::string_view type) {
  switch (type.size()) {
    case 2:
      return SpellsName(type, "dn") ? Kind::kDn : Kind::kOther;
    case 7:
      return SpellsName(type, "version")   ? Kind::kVersion
             : SpellsName(type, "control") ? Kind::kControl
                                           : Kind::kOther;
    case 10:
      return SpellsName(type, "changetype") ? Kind::kChangeType : Kind::kOther;
    case 11:
      return SpellsName(type, "loginscript")   ? Kind::kLoginScript
             : SpellsName(type, "objectclass") ? Kind::kObjectClass
                                               : Kind::kOther;
    case 17:
      return SpellsName(type, "aliasedobjectname") ? Kind::kAliasedObjectName : Kind::kOther;
    default:
      return Kind::kOther;
  }
}

// The bytes of a plain attribute name: letters, digits and "-".
constexpr std::array<bool, 256> MakeNameBytes() {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c)
    table[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-';
  return table;
}
constexpr std::array<bool, 256> kNameByte = MakeNameBytes();

#ifdef __SSE2__
// 0xFF for each byte of `v` in [lo, hi]: a signed compare after moving lo
// to -128.
__m128i BytesInRange(__m128i v, char lo, char hi) {
  __m128i shifted = _mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(-128 - lo)));
  return _mm_cmplt_epi8(shifted, _mm_set1_epi8(static_cast<char>(-128 + (hi - lo) + 1)));
}
#endif

// Where the run of name bytes from `pos` ends: sixteen bytes a step while
// the text lasts, since a line's description is read on every line.
size_t NameRunEnd(std::string_view text, size_t pos) {
#ifdef __SSE2__
  for (; pos + 16 <= text.size(); pos += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + pos));
    __m128i letter = BytesInRange(_mm_or_si128(v, _mm_set1_epi8(0x20)), 'a', 'z');
    __m128i name = _mm_or_si128(_mm_or_si128(letter, BytesInRange(v, '0', '9')),
                                _mm_cmpeq_epi8(v, _mm_set1_epi8('-')));
    unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(name)) & 0xFFFFu;
    if (other) return pos + static_cast<size_t>(__builtin_ctz(other));
  }
#endif
  while (pos < text.size() && kNameByte[static_cast<uint8_t>(text[pos])]) ++pos;
  return pos;
}

// attributeType *(";" option), as RFC 4512 spells them.
bool IsValidDescription(std::string_view desc) {
  size_t i = 0;
  if (i < desc.size() && IsAlpha(desc[i])) {
    while (i < desc.size() && (IsAlpha(desc[i]) || IsDigit(desc[i]) || desc[i] == '-')) ++i;
  } else if (i < desc.size() && IsDigit(desc[i])) {
    while (i < desc.size() && (IsDigit(desc[i]) || desc[i] == '.')) ++i;
    if (desc[i - 1] == '.') return false;
  } else {
    return false;
  }
  while (i < desc.size()) {
    if (desc[i++] != ';') return false;
    size_t start = i;
    while (i < desc.size() && (IsAlpha(desc[i]) || IsDigit(desc[i]) || desc[i] == '-')) ++i;
    if (i == start) return false;
  }
  return true;
}

class Loader {
 public:
  // Loads `text`, all in memory.
  Loader(std::string_view text, DirTree& tree, LoadProgress* progress)
      : text_(text), atEnd_(true), tree_(tree), builder_(tree, progress) {}
  // Loads what `reader` reads, a block of `blockSize` bytes at a time, the
  // tree built on a second thread where one can be had.
  Loader(BlockReader& reader, std::size_t blockSize, DirTree& tree, LoadProgress* progress)
      : reader_(&reader), blockSize_(blockSize), tree_(tree), builder_(tree, progress) {}
  bool Load(LdifError* error);

 private:
  bool Read();
  // One logical line: a physical line and its continuations.
  struct Line {
    size_t begin;
    size_t end;  // before the final line break (and its carriage return)
    bool folded;
    size_t firstBreak;  // where the first physical line ends, when folded
    uint64_t number;
  };
  // An attribute line split into its parts.
  struct Attribute {
    Kind kind;
    bool options;  // the description holds ";" options
    size_t valueBegin;
    uint8_t encoding;
  };

  // kMore: the logical line runs past the bytes at hand.
  enum class Scan { kLine, kEnd, kMore };
  bool NextLine(Line* line);
  Scan ScanLine(Line* line);
  bool Refill();
  size_t SkipFolds(size_t pos, size_t end) const;
  bool ParseAttribute(const Line& line, Attribute* attribute);
  bool ParseDescription(const Line& line, size_t* pos, Attribute* attribute);
  bool Value(const Line& line, const Attribute& attribute, std::string_view* value);
  bool CheckBase64(const Line& line, const Attribute& attribute);
  bool ReadEntry(const Line& dnLine, const Attribute& dn);
  bool ReadAttributes(FoundEntry* entry);
  bool ReadAttribute(const Line& line, const Attribute& attribute, FoundEntry* entry);
  uint32_t KeepText(std::string_view text);
  // Hands the batch to the builder; false once building has failed.
  bool Hand();
  bool Fail(uint64_t line, std::string message);

  // The bytes at hand: all of the text, or the reader's current block from
  // the start of the line being read.
  std::string_view text_;
  bool atEnd_ = false;  // nothing follows text_
  BlockReader* reader_ = nullptr;
  std::size_t blockSize_ = 0;
  std::string block_;
  DirTree& tree_;
  size_t pos_ = 0;
  NewlineFinder newlines_;  // in text_
  uint64_t lineNumber_ = 1;
  LdifError* error_ = nullptr;
  bool failed_ = false;
  LdifError builderError_;
  bool builderFailed_ = false;  // building here failed

  std::string valueScratch_;
  LdifBuilder builder_;
  std::unique_ptr<BuildThread> thread_;  // when building on a second thread
  std::unique_ptr<FoundBatch> batch_ = std::make_unique<FoundBatch>();
};

bool Loader::Fail(uint64_t line, std::string message) {
  failed_ = true;
  error_->line = line;
  error_->message = std::move(message);
  return false;
}

bool Loader::NextLine(Line* line) {
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

// Moves the line being read to the front of the block and reads more after
// it. A line longer than half the block doubles the block, so that every
// refill reads at least half a block and a long line is scanned again only
// as often as the block doubles.
bool Loader::Refill() {
  size_t keep = text_.size() - pos_;
  if (block_.size() < blockSize_) {
    block_.resize(blockSize_);
  } else if (keep > block_.size() / 2) {
    if (block_.size() > SIZE_MAX / 2) return Fail(lineNumber_, "line too long");
    block_.resize(block_.size() * 2);
  }
  // text_ is the start of block_, which the resize kept.
  std::memmove(block_.data(), block_.data() + pos_, keep);
  pos_ = 0;
  size_t filled = keep;
  while (filled < block_.size()) {
    size_t got = 0;
    std::string reason;
    if (!reader_->ReadBlock(block_.data() + filled, block_.size() - filled, &got, &reason)) {
      error_->readFailed = true;
      return Fail(lineNumber_, reason);
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

Loader::Scan Loader::ScanLine(Line* line) {
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
    ++lineNumber_;
    // A blank line ends a record and continues nothing.
    bool blank = newline == line->begin ||
                 (newline == line->begin + 1 && text_[line->begin] == '\r');
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
size_t Loader::SkipFolds(size_t pos, size_t end) const {
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

// Any other description: with options, a numeric OID, or folded.
bool Loader::ParseDescription(const Line& line, size_t* pos, Attribute* attribute) {
  std::string description;
  for (;;) {
    if (line.folded) *pos = SkipFolds(*pos, line.end);
    if (*pos >= line.end)
      return Fail(line.number, "line is neither an attribute nor a continuation");
    char c = text_[(*pos)++];
    if (c == ':') break;
    if (description.size() == kMaxDescription)
      return Fail(line.number, "attribute description too long");
    description += c;
  }
  if (!IsValidDescription(description))
    return Fail(line.number, "line is neither an attribute nor a continuation");
  size_t semicolon = description.find(';');
  attribute->kind = KindOf(std::string_view(description).substr(0, semicolon));
  attribute->options = semicolon != std::string::npos;
  return true;
}

bool Loader::ParseAttribute(const Line& line, Attribute* attribute) {
  size_t pos = line.begin;
  // A description nearly always stands whole before the first fold: taken
  // in one piece. Anything else goes byte by byte below.
  const char* text = text_.data();
  size_t limit = std::min(line.end, line.begin + kMaxDescription);
  size_t colon = std::min(NameRunEnd(text_, pos), limit);
  // Letters, digits and "-" only, from a letter on.
  bool plain = pos < limit && IsAlpha(text[pos]);
  if (colon < line.end && text[colon] == ':' && plain) {
    // A plain name is a valid description as it stands.
    attribute->kind = KindOf(std::string_view(text + pos, colon - pos));
    attribute->options = false;
    pos = colon + 1;
  } else if (!ParseDescription(line, &pos, attribute)) {
    return false;
  }
  attribute->encoding = line.folded ? kValueFolded : kValuePlain;

  if (line.folded) pos = SkipFolds(pos, line.end);
  if (pos < line.end && text_[pos] == ':') {
    attribute->encoding |= kValueBase64;
    ++pos;
  } else if (pos < line.end && text_[pos] == '<') {
    return Fail(line.number, "URL values (\":<\") are not supported");
  }
  for (;;) {
    if (line.folded) pos = SkipFolds(pos, line.end);
    if (pos < line.end && text_[pos] == ' ') {
      ++pos;
      continue;
    }
    break;
  }
  attribute->valueBegin = pos;
  // The value is folded when a line break follows its first byte; nearly
  // always the first one does.
  if (line.folded && pos > line.firstBreak &&
      !std::memchr(text_.data() + pos, '\n', line.end - pos))
    attribute->encoding &= static_cast<uint8_t>(~kValueFolded);
  return true;
}

bool Loader::Value(const Line& line, const Attribute& attribute,
                   std::string_view* value) {
  std::string_view raw = text_.substr(attribute.valueBegin, line.end - attribute.valueBegin);
  if (!DecodeValue(raw, attribute.encoding, valueScratch_, value))
    return Fail(line.number, "bad base64 value");
  return true;
}

// Validates a base64 value the loader has no use for, by decoding it; plain
// values always pass.
bool Loader::CheckBase64(const Line& line, const Attribute& attribute) {
  std::string_view unused;
  return !(attribute.encoding & kValueBase64) || Value(line, attribute, &unused);
}

bool Loader::Load(LdifError* error) {
  error_ = error;
  if (reader_) {
    try {
      thread_ = std::make_unique<BuildThread>(builder_);
    } catch (const std::exception&) {
      // Without a second thread the batches are built here.
    }
  }
  bool read = Read();
  if (!builderFailed_) Hand();  // the last batch
  if (thread_) {
    // The builder's own failure comes before the reader's: it stopped at
    // an entry the reader found before failing.
    bool readerFailed = false;
    if (!thread_->Finish(&builderError_, &readerFailed)) builderFailed_ = !readerFailed;
    thread_.reset();
  }
  if (builderFailed_) {
    *error = builderError_;
    return false;
  }
  if (!read) return false;  // *error holds the reader's failure
  builder_.Finish();
  return true;
}

bool Loader::Read() {
  Line line;
  Attribute attribute;
  bool first = true;
  while (NextLine(&line)) {
    if (line.begin == line.end) continue;  // blank lines between records
    char c = text_[line.begin];
    if (c == '#') continue;
    if (c == ' ') return Fail(line.number, "continuation line with nothing to continue");
    if (!ParseAttribute(line, &attribute)) return false;
    if (first && attribute.kind == Kind::kVersion) {
      std::string_view value;
      if (!Value(line, attribute, &value)) return false;
      if (value != "1") return Fail(line.number, "unsupported LDIF version");
      first = false;
      continue;
    }
    first = false;
    if (attribute.kind != Kind::kDn || attribute.options)
      return Fail(line.number, "record does not begin with \"dn:\"");
    if (!ReadEntry(line, attribute)) return false;
  }
  return !failed_;  // a refill that failed ends the loop too
}

bool Loader::Hand() {
  if (thread_) return thread_->Hand(&batch_);
  bool readerFailed = false;
  bool ok = builder_.Add(*batch_, &builderError_, &readerFailed);
  batch_->entries.clear();
  batch_->text.clear();
  // The reader's own failure is already in error_.
  if (!ok && !readerFailed) builderFailed_ = true;
  return ok;
}

bool Loader::ReadEntry(const Line& dnLine, const Attribute& dn) {
  std::string_view dnText;
  if (!Value(dnLine, dn, &dnText)) return false;
  FoundEntry entry{};
  entry.dnLine = dnLine.number;
  entry.dnLength = static_cast<uint32_t>(dnText.size());
  entry.dnBegin = KeepText(dnText);
  bool read = ReadAttributes(&entry);
  entry.failed = !read;
  batch_->entries.push_back(entry);
  // The builder checks the DN before the reader's failure is reported.
  if (!read) return false;
  if (batch_->entries.size() >= kBatchEntries || batch_->text.size() >= kBatchText) {
    if (!Hand()) return false;
  }
  return true;
}

uint32_t Loader::KeepText(std::string_view text) {
  auto begin = static_cast<uint32_t>(batch_->text.size());
  batch_->text.append(text);
  return begin;
}

bool Loader::ReadAttributes(FoundEntry* entry) {
  bool firstAttribute = true;
  Line line;
  Attribute attribute;
  while (NextLine(&line)) {
    if (line.begin == line.end) break;
    char c = text_[line.begin];
    if (c == '#') continue;
    if (!ParseAttribute(line, &attribute)) return false;
    // Without it the next record would become attributes of this one and
    // its entry would vanish from the tree.
    if (attribute.kind == Kind::kDn)
      return Fail(line.number, "missing blank line before \"dn:\"");
    if (attribute.kind == Kind::kChangeType ||
        (firstAttribute && attribute.kind == Kind::kControl))
      return Fail(line.number, "change records are not supported");
    firstAttribute = false;
    if (!ReadAttribute(line, attribute, entry)) return false;
  }
  return !failed_;  // a refill that failed ends the entry too
}

bool Loader::ReadAttribute(const Line& line, const Attribute& attribute, FoundEntry* entry) {
  if (attribute.kind == Kind::kLoginScript) {
    // Only the first value is the script. It is checked and decoded now,
    // in one pass, while its line is at hand: a block read from a file is
    // gone by the time the walk asks for it.
    if (entry->hasScript) return CheckBase64(line, attribute);
    std::string_view raw = text_.substr(attribute.valueBegin, line.end - attribute.valueBegin);
    switch (tree_.KeepScript(raw, attribute.encoding, &entry->scriptOffset, &entry->scriptLength)) {
      case DirTree::Kept::kKept:
        entry->hasScript = true;
        return true;
      case DirTree::Kept::kBadValue:
        return Fail(line.number, "bad base64 value");
      case DirTree::Kept::kNoMemory:
        break;
    }
    // Bad base64 is the fault to report, whatever memory there is.
    if (!CheckBase64(line, attribute)) return false;
    return Fail(line.number, "out of memory");
  }
  if (attribute.kind == Kind::kObjectClass) {
    std::string_view value;
    if (!Value(line, attribute, &value)) return false;
    entry->flags |= ObjectClassFlags(value);
    return true;
  }
  if (attribute.kind == Kind::kAliasedObjectName) {
    std::string_view target;
    if (!Value(line, attribute, &target)) return false;
    if (!entry->hasAlias) {
      entry->hasAlias = true;
      entry->aliasLength = static_cast<uint32_t>(target.size());
      entry->aliasBegin = KeepText(target);
    }
    return true;
  }
  return CheckBase64(line, attribute);
}

}  // namespace

bool LoadLdif(std::string_view text, DirTree& tree, LdifError* error,
              LoadProgress* progress) {
  Loader loader(text, tree, progress);
  return loader.Load(error);
}

bool LoadLdif(BlockReader& reader, DirTree& tree, LdifError* error,
              LoadProgress* progress, std::size_t blockSize) {
  Loader loader(reader, blockSize ? blockSize : 1, tree, progress);
  return loader.Load(error);
}

}  // namespace dirclient
