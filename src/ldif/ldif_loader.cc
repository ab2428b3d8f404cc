#include "ldif/ldif_loader.h"

#include <algorithm>
#include <array>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "ldif/block_reader.h"
#include "client/dirclient.h"
#include "tree/entry_mapping.h"
#include "ldif/ldif_builder.h"
#include "ldif/ldif_value.h"
#include "ldif/newline_finder.h"

namespace dirclient {
namespace {

// An attribute description longer than this is not one any directory uses;
// refusing it keeps a hostile line from growing the scratch buffer.
constexpr size_t kMaxDescription = 1024;

// No value of an export comes near this; without a bound, an input that
// never ends a line (/dev/zero) would take all memory first.
constexpr size_t kMaxLine = size_t{64} << 20;

// Entries handed to the builder at a time: enough to make handing over
// cheap, little enough to stay in the caches.
constexpr size_t kBatchEntries = 2048;
constexpr size_t kBatchText = size_t{256} << 10;

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The attribute types the loader acts on: those of entries, of change
// records, and of the result and reference records ldapsearch writes.
enum class Kind : uint8_t {
  kOther, kDn, kVersion, kChangeType, kControl, kLoginScript, kObjectClass, kAliasedObjectName,
  kSearch, kResult, kText, kRef, kPagedResults
};

// Kinds whose lines must follow the grammar to the letter: a mistake in
// them would change the report. Lines of other types are only checked as
// far as real exports keep to the grammar.
bool IsStrict(Kind kind) { return kind != Kind::kOther; }

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
[[gnu::always_inline]] inline Kind KindOf(std::string_view type) {
  switch (type.size()) {
    case 2:
      return SpellsName(type, "dn") ? Kind::kDn : Kind::kOther;
    case 3:
      return SpellsName(type, "ref") ? Kind::kRef : Kind::kOther;
    case 4:
      return SpellsName(type, "text") ? Kind::kText : Kind::kOther;
    case 6:
      return SpellsName(type, "search")   ? Kind::kSearch
             : SpellsName(type, "result") ? Kind::kResult
                                          : Kind::kOther;
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
    case 12:
      return SpellsName(type, "pagedresults") ? Kind::kPagedResults : Kind::kOther;
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

// Real exports bend the grammar for attributes nobody here reads: range
// options ("member;range=0-1499"), "_" in names. Any visible ASCII will do
// for those; a blank or a control byte still means a broken line.
bool IsTolerableDescription(std::string_view desc) {
  if (desc.empty()) return false;
  for (char c : desc)
    if (c <= ' ' || c > '~') return false;
  return true;
}

// The value of a "result:" line: the code, then its text.
bool ParseResultCode(std::string_view value, unsigned* code, std::string_view* text) {
  size_t digits = 0;
  unsigned parsed = 0;
  while (digits < value.size() && digits < 9 && IsDigit(value[digits]))
    parsed = parsed * 10 + static_cast<unsigned>(value[digits++] - '0');
  if (digits == 0 || (digits < value.size() && value[digits] != ' ')) return false;
  *code = parsed;
  *text = value.substr(std::min(value.size(), digits + 1));
  return true;
}

// True when a "pagedresults:" value carries a cookie: more pages follow.
bool HasMoreCookie(std::string_view value) {
  size_t at = value.find("cookie=");
  if (at == std::string_view::npos) return false;
  at += 7;
  return at < value.size() && value[at] != ' ';
}

std::string_view TrimTrailingBlanks(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

class Loader {
 public:
  // Loads `text`, all in memory.
  Loader(std::string_view text, DirTree& tree, LoadProgress* progress, LdifNotes* notes)
      : text_(text), atEnd_(true), tree_(tree), notes_(notes), builder_(tree, progress) {}
  // Loads what `reader` reads, a block of `blockSize` bytes at a time, the
  // tree built on a second thread where one can be had.
  Loader(BlockReader& reader, std::size_t blockSize, DirTree& tree, LoadProgress* progress,
         LdifNotes* notes)
      : reader_(&reader), blockSize_(blockSize), tree_(tree), notes_(notes),
        builder_(tree, progress) {}
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
  // Every line of the file passes here: kept inline in the loops that
  // read entries, which the rarer records' readers would otherwise stop.
  [[gnu::always_inline]] bool NextLine(Line* line);
  Scan ScanLine(Line* line);
  bool Refill();
  size_t SkipFolds(size_t pos, size_t end) const;
  bool ParseAttribute(const Line& line, Attribute* attribute);
  bool ParseDescription(const Line& line, size_t* pos, Attribute* attribute);
  bool Value(const Line& line, const Attribute& attribute, std::string_view* value);
  bool CheckBase64(const Line& line, const Attribute& attribute);
  bool FailBase64(const Line& line, const Attribute& attribute);
  bool CheckOtherValue(const Line& line, const Attribute& attribute);
  bool CheckEncoding();
  void NoteComment(const Line& line);
  bool ReadEntry(const Line& dnLine, const Attribute& dn);
  // How reading an entry's attributes ended: kRefused when the record is
  // no entry at all but another change record, so that this, not its DN,
  // is the fault reported.
  enum class Outcome { kRead, kFailed, kRefused };
  Outcome ReadAttributes(FoundEntry* entry);
  bool ReadChangeType(const Line& line, const Attribute& attribute);
  bool ReadResult(const Line& searchLine);
  bool ReadReference(const Line& refLine, const Attribute& ref);
  bool SkipRecord();
  bool CheckComplete();
  void Note(std::vector<LdifNote> LdifNotes::*list, uint64_t line, std::string text);
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
  LdifNotes* notes_;
  uint64_t entries_ = 0;
  bool unterminated_ = false;  // the last line has no line break

  // ldapsearch's own format: its header opens the file, and each search
  // (each page of a paged one) ends with a result record.
  bool extended_ = false;
  bool paged_ = false;  // its header asks for paged results
  bool sawResult_ = false;
  uint64_t recordsSinceResult_ = 0;
  unsigned lastResultCode_ = 0;
  bool lastResultPaged_ = false;  // the last result carries the paging control
  bool moreCookie_ = false;       // and that asks for another page
  LdifError builderError_;
  bool builderFailed_ = false;  // building here failed

  std::string valueScratch_;
  // The scripts, decoded as they are read: this thread's own store, which
  // the tree takes once the load is done, while the builder's thread only
  // names where each script stands.
  std::unique_ptr<ByteArena> scripts_ = std::make_unique<ByteArena>();
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

inline bool Loader::NextLine(Line* line) {
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
    if (keep > kMaxLine)
      return Fail(lineNumber_, "line longer than " + std::to_string(kMaxLine >> 20) +
                                   " MiB with its continuations: no export holds one");
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
    if (!hit) unterminated_ = true;
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
  size_t semicolon = description.find(';');
  attribute->kind = KindOf(std::string_view(description).substr(0, semicolon));
  attribute->options = semicolon != std::string::npos;
  if (!IsValidDescription(description) &&
      (IsStrict(attribute->kind) || !IsTolerableDescription(description)))
    return Fail(line.number, "line is neither an attribute nor a continuation");
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
    return FailBase64(line, attribute);
  return true;
}

bool Loader::FailBase64(const Line& line, const Attribute& attribute) {
  std::string_view raw = text_.substr(attribute.valueBegin, line.end - attribute.valueBegin);
  return Fail(line.number, std::string("bad base64 value: ") + Base64Fault(raw, attribute.encoding));
}

// Validates a base64 value the loader has no use for, by decoding it; plain
// values always pass.
bool Loader::CheckBase64(const Line& line, const Attribute& attribute) {
  std::string_view unused;
  return !(attribute.encoding & kValueBase64) || Value(line, attribute, &unused);
}

bool Loader::Load(LdifError* error) {
  error_ = error;
  if (std::size_t expected = reader_ ? reader_->SizeHint() : text_.size()) {
    // Exports take some hundreds of bytes an entry; decoded scripts never
    // take more room than the file.
    tree_.Reserve(expected / 512);
    scripts_->ReserveAndWarm(expected);
  }
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
  tree_.AdoptScripts(std::move(scripts_));
  return true;
}

bool Loader::Read() {
  if (!CheckEncoding()) return false;
  Line line;
  Attribute attribute;
  bool first = true;
  while (NextLine(&line)) {
    if (line.begin == line.end) continue;  // blank lines between records
    char c = text_[line.begin];
    if (c == '#') {
      NoteComment(line);
      continue;
    }
    if (c == ' ') return Fail(line.number, "continuation line with nothing to continue");
    if (!ParseAttribute(line, &attribute)) return false;
    if (first && attribute.kind == Kind::kVersion) {
      std::string_view value;
      if (!Value(line, attribute, &value)) return false;
      if (TrimTrailingBlanks(value) != "1") return Fail(line.number, "unsupported LDIF version");
      first = false;
      continue;
    }
    first = false;
    bool read;
    if (attribute.kind == Kind::kDn && !attribute.options)
      read = ReadEntry(line, attribute);
    else if (attribute.kind == Kind::kSearch)
      read = ReadResult(line);
    else if (attribute.kind == Kind::kRef)
      read = ReadReference(line, attribute);
    else
      return Fail(line.number, "record does not begin with \"dn:\"");
    if (!read) return false;
  }
  return !failed_ && CheckComplete();  // a refill that failed ends the loop too
}

// A leading UTF-8 byte-order mark is skipped. UTF-16, which some shells
// write when output is redirected, is told apart by its mark or by the
// zero byte beside the first character, and named, since its lines would
// otherwise all fail to parse for no visible reason.
bool Loader::CheckEncoding() {
  while (reader_ && !atEnd_ && text_.size() - pos_ < 4)
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
  return Fail(1, std::string("the file is ") + encoding +
                     ", not UTF-8: convert it first, for example with "
                     "iconv -f UTF-16 -t UTF-8");
}

// ldapsearch opens its own format with this header, and repeats it before
// every page of a paged search.
void Loader::NoteComment(const Line& line) {
  std::string_view comment = text_.substr(line.begin, line.end - line.begin);
  if (line.number == 1 && comment == "# extended LDIF") extended_ = true;
  if (extended_ && comment.starts_with("# with pagedResults control")) paged_ = true;
}

void Loader::Note(std::vector<LdifNote> LdifNotes::*list, uint64_t line, std::string text) {
  if (notes_) (notes_->*list).push_back({line, std::move(text)});
}

// What the whole file must show once it is read. An export that stops
// before ldapsearch's last result record, or after a page that asks for
// another, was cut; a file without entries is no export of a tree.
bool Loader::CheckComplete() {
  uint64_t last = std::max<uint64_t>(1, lineNumber_ - 1);
  if (extended_ && (!sawResult_ || recordsSinceResult_ > 0))
    return Fail(last, "ldapsearch output without its final result record: the file was cut");
  if (extended_ && (moreCookie_ || (paged_ && lastResultCode_ == 0 && !lastResultPaged_)))
    return Fail(last,
                "ldapsearch output that ends before the last page of its search: "
                "the file was cut");
  if (entries_ == 0) return Fail(last, "the file holds no entries");
  if (unterminated_)
    Note(&LdifNotes::warnings, last, "the last line has no line end: the file may have been cut");
  return true;
}

// A record ldapsearch writes at the end of each search, and of each page:
// a result other than success means the server left part of the tree out.
bool Loader::ReadResult(const Line& searchLine) {
  bool haveCode = false;
  unsigned code = 0;
  uint64_t codeLine = searchLine.number;
  std::string codeText, message;
  bool paged = false, more = false;
  Line line;
  Attribute attribute;
  while (NextLine(&line)) {
    if (line.begin == line.end) break;
    if (text_[line.begin] == '#') {
      NoteComment(line);
      continue;
    }
    if (!ParseAttribute(line, &attribute)) return false;
    std::string_view value;
    if (attribute.kind == Kind::kResult || attribute.kind == Kind::kText ||
        attribute.kind == Kind::kPagedResults) {
      if (!Value(line, attribute, &value)) return false;
    } else if (!CheckOtherValue(line, attribute)) {
      return false;
    }
    if (attribute.kind == Kind::kResult) {
      std::string_view text;
      if (!ParseResultCode(value, &code, &text))
        return Fail(line.number, "\"result:\" line without a result code");
      haveCode = true;
      codeLine = line.number;
      codeText.assign(text);
    } else if (attribute.kind == Kind::kText) {
      message.assign(value);
    } else if (attribute.kind == Kind::kPagedResults) {
      paged = true;
      more = HasMoreCookie(value);
    }
  }
  if (failed_) return false;
  if (!haveCode)
    return Fail(searchLine.number, "search result record without its \"result:\" line");
  sawResult_ = true;
  recordsSinceResult_ = 0;
  lastResultCode_ = code;
  lastResultPaged_ = paged;
  moreCookie_ = more;
  if (code != 0) {
    std::string why = codeText.empty() ? "" : " (" + codeText + ")";
    if (!message.empty()) why += ": " + message;
    Note(&LdifNotes::unsearched, codeLine,
         "the search that wrote this file ended with result " + std::to_string(code) + why +
             ", so the file holds only part of the tree");
  }
  return true;
}

// A search continuation reference: a part of the tree held by another
// server, which the export does not contain.
bool Loader::ReadReference(const Line& refLine, const Attribute& ref) {
  Line line = refLine;
  Attribute attribute = ref;
  for (;;) {
    if (attribute.kind == Kind::kRef) {
      std::string_view url;
      if (!Value(line, attribute, &url)) return false;
      Note(&LdifNotes::unsearched, line.number,
           "search reference to " + std::string(url) +
               ": that part of the tree is on another server and not in this file");
    } else if (!CheckOtherValue(line, attribute)) {
      return false;
    }
    do {
      if (!NextLine(&line) || line.begin == line.end) {
        ++recordsSinceResult_;
        return !failed_;
      }
    } while (text_[line.begin] == '#');
    if (!ParseAttribute(line, &attribute)) return false;
  }
}

// Passes over a record the tree has no place for.
bool Loader::SkipRecord() {
  Line line;
  while (NextLine(&line))
    if (line.begin == line.end) break;
  return !failed_;
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
  // The root DSE, which some exports include, describes the server, not
  // an object of any tree.
  if (dnText.empty()) return SkipRecord();
  if (dnText.size() > kMaxDnBytes)
    return Fail(dnLine.number, "DN longer than " + std::to_string(kMaxDnBytes >> 10) + " KiB");
  FoundEntry entry{};
  entry.dnLine = dnLine.number;
  entry.dnLength = static_cast<uint32_t>(dnText.size());
  entry.dnBegin = KeepText(dnText);
  Outcome outcome = ReadAttributes(&entry);
  if (outcome == Outcome::kRefused) return false;
  entry.failed = outcome == Outcome::kFailed;
  batch_->entries.push_back(entry);
  // The builder checks the DN before the reader's failure is reported.
  if (entry.failed) return false;
  ++entries_;
  ++recordsSinceResult_;
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

Loader::Outcome Loader::ReadAttributes(FoundEntry* entry) {
  // An add record may open with controls, which change nothing in the
  // entry, then names its change type; a content record starts with its
  // attributes.
  bool opening = true;
  bool control = false;
  uint64_t attributes = 0;
  Line line;
  Attribute attribute;
  while (NextLine(&line)) {
    if (line.begin == line.end) break;
    char c = text_[line.begin];
    if (c == '#') continue;
    if (!ParseAttribute(line, &attribute)) return Outcome::kFailed;
    // Without it the next record would become attributes of this one and
    // its entry would vanish from the tree.
    if (attribute.kind == Kind::kDn) {
      Fail(line.number, "missing blank line before \"dn:\"");
      return Outcome::kFailed;
    }
    if (opening && attribute.kind == Kind::kControl) {
      control = true;
      if (!CheckOtherValue(line, attribute)) return Outcome::kFailed;
      continue;
    }
    if (opening && attribute.kind == Kind::kChangeType) {
      opening = false;
      if (!ReadChangeType(line, attribute)) return Outcome::kRefused;
      continue;
    }
    if (opening && control) {
      Fail(line.number, "\"control:\" line outside a change record");
      return Outcome::kFailed;
    }
    if (attribute.kind == Kind::kChangeType) {
      Fail(line.number, "\"changetype:\" line after the entry's attributes");
      return Outcome::kFailed;
    }
    opening = false;
    ++attributes;
    if (!ReadAttribute(line, attribute, entry)) return Outcome::kFailed;
  }
  if (failed_) return Outcome::kFailed;  // a refill that failed ends the entry too
  // Every entry has at least its object classes: a record without any
  // attribute is what a file cut right after a "dn:" line leaves.
  if (attributes == 0) {
    Fail(entry->dnLine,
         "entry without attributes: the file was cut after this \"dn:\" line, or the "
         "export left out objectClass");
    return Outcome::kFailed;
  }
  return Outcome::kRead;
}

// An add record carries exactly the entry's attributes; any other change
// record describes a change, not a tree.
bool Loader::ReadChangeType(const Line& line, const Attribute& attribute) {
  std::string_view value;
  if (!Value(line, attribute, &value)) return false;
  value = TrimTrailingBlanks(value);
  if (EqualsIgnoreAsciiCase(value, "add")) return true;
  // The value is named only when it is a known type: it goes to a
  // terminal as it stands.
  std::string what = "an unknown change type";
  for (const char* type : {"modify", "delete", "modrdn", "moddn"})
    if (EqualsIgnoreAsciiCase(value, type)) what = std::string("\"changetype: ") + type + "\"";
  return Fail(line.number, "change record (" + what +
                               "): a tree must be exported as entries, not as changes");
}

bool Loader::ReadAttribute(const Line& line, const Attribute& attribute, FoundEntry* entry) {
  if (attribute.kind == Kind::kLoginScript) {
    // Only the first value is the script. It is checked and decoded now,
    // in one pass, while its line is at hand: a block read from a file is
    // gone by the time the walk asks for it.
    if (entry->hasScript) return CheckBase64(line, attribute);
    std::string_view raw = text_.substr(attribute.valueBegin, line.end - attribute.valueBegin);
    switch (KeepDecoded(*scripts_, raw, attribute.encoding, &entry->scriptOffset,
                        &entry->scriptLength)) {
      case Kept::kKept:
        entry->hasScript = true;
        return true;
      case Kept::kBadValue:
        return FailBase64(line, attribute);
      case Kept::kNoMemory:
        break;
    }
    // Bad base64 is the fault to report, whatever memory there is.
    if (!CheckBase64(line, attribute)) return false;
    error_->outOfMemory = true;
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
  return CheckOtherValue(line, attribute);
}

// A value of a type the loader has no use for: its base64 is still
// checked, since a value cut short proves the file was cut, but blanks
// after it, which some exports leave, are let pass.
bool Loader::CheckOtherValue(const Line& line, const Attribute& attribute) {
  if (!(attribute.encoding & kValueBase64)) return true;
  Line trimmed = line;
  while (trimmed.end > attribute.valueBegin && text_[trimmed.end - 1] == ' ') --trimmed.end;
  return CheckBase64(trimmed, attribute);
}

}  // namespace

bool LoadLdif(std::string_view text, DirTree& tree, LdifError* error,
              LoadProgress* progress, LdifNotes* notes) {
  Loader loader(text, tree, progress, notes);
  return loader.Load(error);
}

bool LoadLdif(BlockReader& reader, DirTree& tree, LdifError* error,
              LoadProgress* progress, std::size_t blockSize, LdifNotes* notes) {
  Loader loader(reader, blockSize ? blockSize : 1, tree, progress, notes);
  return loader.Load(error);
}

}  // namespace dirclient
