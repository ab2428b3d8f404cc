#include "dirclient/ldif_loader.h"

#include <cstring>

#include "dirclient/dirclient.h"
#include "dirclient/entry_mapping.h"
#include "dirclient/ldif_value.h"

namespace dirclient {
namespace {

// An attribute description longer than this is not one any directory uses;
// refusing it keeps a hostile line from growing the scratch buffer.
constexpr size_t kMaxDescription = 1024;

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

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
  Loader(std::string_view text, DirTree& tree, LoadProgress* progress)
      : text_(text), tree_(tree), progress_(progress) {}
  bool Load(LdifError* error);

 private:
  // One logical line: a physical line and its continuations.
  struct Line {
    size_t begin;
    size_t end;  // before the final line break (and its carriage return)
    bool folded;
    uint64_t number;
    // A folded base64 value is checked while its lines are found.
    enum Base64 : uint8_t { kUnchecked, kValid, kInvalid } base64 = kUnchecked;
  };
  // An attribute line split into its parts.
  struct Attribute {
    std::string_view type;  // lower-cased, options removed
    size_t valueBegin;
    uint8_t encoding;
  };

  bool NextLine(Line* line);
  bool ScanFoldedBase64(Line* line, size_t firstNewline);
  size_t SkipFolds(size_t pos, size_t end) const;
  bool ParseAttribute(const Line& line, Attribute* attribute);
  bool Value(const Line& line, const Attribute& attribute, std::string_view* value);
  bool CheckBase64(const Line& line, const Attribute& attribute);
  bool ReadEntry(const Line& dnLine, const Attribute& dn);
  bool ReadAttribute(const Line& line, const Attribute& attribute,
                     DirTree::NodeId node, bool* sawAlias, bool* sawScript);
  void ResolveAliases();
  bool Fail(uint64_t line, std::string message);

  std::string_view text_;
  DirTree& tree_;
  LoadProgress* progress_;
  size_t pos_ = 0;
  uint64_t lineNumber_ = 1;
  LdifError* error_ = nullptr;

  std::string description_;
  std::string valueScratch_;
  DnParser dn_;
  EntryPaths paths_;
  std::vector<uint64_t> entryLine_;  // per node: line of its entry, 0 if none
  struct PendingAlias {
    DirTree::NodeId node;
    size_t begin;
    size_t end;
    uint8_t encoding;
  };
  std::vector<PendingAlias> aliases_;
};

bool Loader::Fail(uint64_t line, std::string message) {
  error_->line = line;
  error_->message = std::move(message);
  return false;
}

bool Loader::NextLine(Line* line) {
  if (pos_ >= text_.size()) return false;
  line->begin = pos_;
  line->number = lineNumber_;
  line->folded = false;
  line->base64 = Line::kUnchecked;
  for (;;) {
    const void* hit = std::memchr(text_.data() + pos_, '\n', text_.size() - pos_);
    size_t newline = hit ? static_cast<const char*>(hit) - text_.data() : text_.size();
    line->end = newline;
    pos_ = hit ? newline + 1 : text_.size();
    ++lineNumber_;
    // A blank line ends a record and continues nothing.
    bool blank = newline == line->begin ||
                 (newline == line->begin + 1 && text_[line->begin] == '\r');
    if (!blank && pos_ < text_.size() && text_[pos_] == ' ') {
      if (!line->folded && ScanFoldedBase64(line, newline)) return true;
      line->folded = true;
      continue;
    }
    break;
  }
  if (line->end > line->begin && text_[line->end - 1] == '\r') --line->end;
  return true;
}

// A base64 value folded over many lines, most of an export's bytes: its
// lines are found and checked in one pass. Exporters fold at a fixed width,
// so the next line break is first looked for where the last one stood.
// Returns false, having consumed nothing, unless the first line holds the
// description, "::" and the start of the value.
bool Loader::ScanFoldedBase64(Line* line, size_t firstNewline) {
  size_t firstEnd = firstNewline;
  if (firstEnd > line->begin && text_[firstEnd - 1] == '\r') --firstEnd;
  const void* colon = std::memchr(text_.data() + line->begin, ':', firstEnd - line->begin);
  if (!colon) return false;
  size_t value = static_cast<const char*>(colon) - text_.data() + 1;
  if (value >= firstEnd || text_[value] != ':') return false;
  ++value;
  while (value < firstEnd && text_[value] == ' ') ++value;
  if (value == firstEnd) return false;

  Base64Check check;
  check.Feed(text_.substr(value, firstEnd - value));
  size_t end = firstEnd;
  size_t width = 0;  // of the last continuation line, from after its blank
  size_t pos = pos_;
  while (pos < text_.size() && text_[pos] == ' ') {
    size_t start = pos + 1;
    size_t newline = std::string_view::npos;
    size_t dataEnd = 0;
    if (width > 0 && start + width < text_.size() && text_[start + width] == '\n') {
      dataEnd = start + width;
      if (text_[dataEnd - 1] == '\r') --dataEnd;
      if (Base64Check::AllAlphabet(text_.substr(start, dataEnd - start))) newline = start + width;
    }
    if (newline == std::string_view::npos) {
      const void* hit = std::memchr(text_.data() + start, '\n', text_.size() - start);
      newline = hit ? static_cast<const char*>(hit) - text_.data() : text_.size();
      dataEnd = newline;
      if (dataEnd > start && text_[dataEnd - 1] == '\r') --dataEnd;
      width = newline - start;
    }
    check.Feed(text_.substr(start, dataEnd - start));
    ++lineNumber_;
    end = dataEnd;
    pos = newline < text_.size() ? newline + 1 : text_.size();
  }
  line->end = end;
  line->folded = true;
  line->base64 = check.Valid() ? Line::kValid : Line::kInvalid;
  pos_ = pos;
  return true;
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

bool Loader::ParseAttribute(const Line& line, Attribute* attribute) {
  description_.clear();
  size_t pos = line.begin;
  for (;;) {
    if (line.folded) pos = SkipFolds(pos, line.end);
    if (pos >= line.end)
      return Fail(line.number, "line is neither an attribute nor a continuation");
    char c = text_[pos++];
    if (c == ':') break;
    if (description_.size() == kMaxDescription)
      return Fail(line.number, "attribute description too long");
    description_ += AsciiLower(c);
  }
  if (!IsValidDescription(description_))
    return Fail(line.number, "line is neither an attribute nor a continuation");
  attribute->type = std::string_view(description_).substr(0, description_.find(';'));
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
  if (line.folded && !std::memchr(text_.data() + pos, '\n', line.end - pos))
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

// Validates a base64 value without decoding it; plain values always pass.
bool Loader::CheckBase64(const Line& line, const Attribute& attribute) {
  if (!(attribute.encoding & kValueBase64)) return true;
  std::string_view raw = text_.substr(attribute.valueBegin, line.end - attribute.valueBegin);
  bool valid = line.base64 != Line::kUnchecked ? line.base64 == Line::kValid
               : (attribute.encoding & kValueFolded) ? IsValidFoldedBase64(raw)
                                                      : IsValidBase64(raw);
  if (!valid) return Fail(line.number, "bad base64 value");
  return true;
}

bool Loader::Load(LdifError* error) {
  error_ = error;
  Line line;
  Attribute attribute;
  bool first = true;
  while (NextLine(&line)) {
    if (line.begin == line.end) continue;  // blank lines between records
    char c = text_[line.begin];
    if (c == '#') continue;
    if (c == ' ') return Fail(line.number, "continuation line with nothing to continue");
    if (!ParseAttribute(line, &attribute)) return false;
    if (first && attribute.type == "version") {
      std::string_view value;
      if (!Value(line, attribute, &value)) return false;
      if (value != "1") return Fail(line.number, "unsupported LDIF version");
      first = false;
      continue;
    }
    first = false;
    if (attribute.type != "dn" || description_ != "dn")
      return Fail(line.number, "record does not begin with \"dn:\"");
    if (!ReadEntry(line, attribute)) return false;
  }
  ResolveAliases();
  tree_.SetScriptSource(text_);
  return true;
}

bool Loader::ReadEntry(const Line& dnLine, const Attribute& dn) {
  std::string_view dnText;
  if (!Value(dnLine, dn, &dnText)) return false;
  if (!dn_.Parse(dnText)) return Fail(dnLine.number, "DN does not parse");
  if (dn_.RdnCount() == 0) return Fail(dnLine.number, "empty DN");

  DirTree::NodeId node = paths_.Add(tree_, dn_);
  if (entryLine_.size() < tree_.size()) entryLine_.resize(tree_.size() + tree_.size() / 2, 0);
  if (entryLine_[node] != 0)
    return Fail(dnLine.number,
                "duplicate DN (first at line " + std::to_string(entryLine_[node]) + ")");
  entryLine_[node] = dnLine.number;
  if (progress_) progress_->Count();

  bool sawAlias = false;
  bool sawScript = false;
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
    if (attribute.type == "dn") return Fail(line.number, "missing blank line before \"dn:\"");
    if (attribute.type == "changetype" || (firstAttribute && attribute.type == "control"))
      return Fail(line.number, "change records are not supported");
    firstAttribute = false;
    if (!ReadAttribute(line, attribute, node, &sawAlias, &sawScript)) return false;
  }
  return true;
}

bool Loader::ReadAttribute(const Line& line, const Attribute& attribute,
                           DirTree::NodeId node, bool* sawAlias, bool* sawScript) {
  std::string_view type = attribute.type;
  if (type == "loginscript") {
    // Only the first value is the script; it is validated now and decoded
    // when it is read.
    if (!CheckBase64(line, attribute)) return false;
    if (!*sawScript)
      tree_.SetScript(node, attribute.valueBegin, line.end - attribute.valueBegin,
                      attribute.encoding);
    *sawScript = true;
    return true;
  }
  if (type == "objectclass") {
    std::string_view value;
    if (!Value(line, attribute, &value)) return false;
    tree_.AddFlags(node, ObjectClassFlags(value));
    return true;
  }
  if (type == "aliasedobjectname") {
    if (!CheckBase64(line, attribute)) return false;
    if (!*sawAlias)
      aliases_.push_back({node, attribute.valueBegin, line.end, attribute.encoding});
    *sawAlias = true;
    return true;
  }
  return CheckBase64(line, attribute);
}

// An alias is a container alias when its target, known only once the whole
// file is read, is a container. Targets that do not parse or do not exist
// leave it a plain alias.
void Loader::ResolveAliases() {
  for (const PendingAlias& alias : aliases_) {
    std::string_view target;
    std::string_view raw = text_.substr(alias.begin, alias.end - alias.begin);
    if (DecodeValue(raw, alias.encoding, valueScratch_, &target))
      MarkContainerAlias(tree_, alias.node, target, dn_);
  }
  aliases_.clear();
  aliases_.shrink_to_fit();
}

}  // namespace

bool LoadLdif(std::string_view text, DirTree& tree, LdifError* error,
              LoadProgress* progress) {
  Loader loader(text, tree, progress);
  return loader.Load(error);
}

}  // namespace dirclient
