// What an export says of itself: ldapsearch's result and reference
// records, and whether the file holds the whole of what was exported.
#include <algorithm>
#include <string>

#include "ldif/ldif_parser.h"
#include "tree/loaded_tree.h"

namespace ldif {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

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

}  // namespace

// ldapsearch opens its own format with this header, and repeats it before
// every page of a paged search.
void RecordParser::NoteComment(const LineReader::Line& line) {
  std::string_view comment = text().substr(line.begin, line.end - line.begin);
  if (line.number == 1 && comment == "# extended LDIF") extended_ = true;
  if (extended_ && comment.starts_with("# with pagedResults control")) paged_ = true;
}
void RecordParser::Note(std::vector<LdifNote> LdifNotes::*list, uint64_t line, std::string text) {
  if (notes_) (notes_->*list).push_back({line, std::move(text)});
}
// What the whole file must show once it is read. An export that stops
// before ldapsearch's last result record, or after a page that asks for
// another, was cut; a file without entries is no export of a tree, and
// one whose search failed is named by that search's result.
bool RecordParser::CheckComplete() {
  uint64_t last = std::max<uint64_t>(1, lines_.lineNumber() - 1);
  if (extended_ && (!sawResult_ || recordsSinceResult_ > 0))
    return Fail(last, "ldapsearch output without its final result record: the file was cut");
  if (extended_ && (moreCookie_ || (paged_ && lastResultCode_ == 0 && !lastResultPaged_)))
    return Fail(last,
                "ldapsearch output that ends before the last page of its search: "
                "the file was cut");
  if (entries_ == 0 && failedResultLine_ > 0) return Fail(failedResultLine_, failedResult_);
  if (entries_ == 0) return Fail(last, "the file holds no entries");
  // One warning for the one doubt about the file's end.
  if (bareAtEnd_)
    Note(&LdifNotes::warnings, bareAtEnd_,
         "the last entry has no attributes: the file may have been cut after its \"dn:\" line");
  else if (lines_.unterminated())
    Note(&LdifNotes::warnings, last, "the last line has no line end: the file may have been cut");
  if (!sawObjectClass_)
    Note(&LdifNotes::warnings, 0,
         "no entry has an objectClass: the export left it out, so aliases cannot be told "
         "apart and are searched like other objects");
  return true;
}
// A record ldapsearch writes at the end of each search, and of each page:
// a result other than success means the server left part of the tree out.
bool RecordParser::ReadResult(const LineReader::Line& searchLine) {
  bool haveCode = false;
  unsigned code = 0;
  uint64_t codeLine = searchLine.number;
  uint64_t lastLine = lines_.lineNumber() - 1;  // where the record read so far ends
  std::string codeText, message;
  bool paged = false, more = false;
  LineReader::Line line;
  Attribute attribute;
  while (lines_.Next(&line)) {
    if (line.begin == line.end) break;
    if (text()[line.begin] == '#') {
      NoteComment(line);
      continue;
    }
    if (!ParseAttribute(lines_, line, &attribute, failure_)) return false;
    if (attribute.kind == Kind::kDn || attribute.kind == Kind::kSearch)
      return FailRunTogether(line, attribute, lastLine);
    lastLine = lines_.lineNumber() - 1;
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
  if (failure_.failed()) return false;
  if (!haveCode)
    return Fail(searchLine.number, "search result record without its \"result:\" line");
  sawResult_ = true;
  recordsSinceResult_ = 0;
  lastResultCode_ = code;
  lastResultPaged_ = paged;
  moreCookie_ = more;
  if (code != 0) {
    std::string why = "the search that wrote this file ended with result " + std::to_string(code) +
                      (codeText.empty() ? "" : " (" + codeText + ")");
    if (!message.empty()) why += ": " + message;
    if (failedResultLine_ == 0) {
      failedResultLine_ = codeLine;
      failedResult_ = why;
    }
    Note(&LdifNotes::unsearched, codeLine, why + ", so the file holds only part of the tree");
  }
  return true;
}
// A search continuation reference: a part of the tree held by another
// server, which the export does not contain.
bool RecordParser::ReadReference(const LineReader::Line& refLine, const Attribute& ref) {
  LineReader::Line line = refLine;
  Attribute attribute = ref;
  uint64_t lastLine = lines_.lineNumber() - 1;  // where the record read so far ends
  for (;;) {
    if (attribute.kind == Kind::kRef) {
      std::string_view url;
      if (!Value(line, attribute, &url)) return false;
      Note(&LdifNotes::unsearched, line.number,
           tree::SearchReferenceNote(url) + " and not in this file");
    } else if (!CheckOtherValue(line, attribute)) {
      return false;
    }
    do {
      if (!lines_.Next(&line) || line.begin == line.end) {
        ++recordsSinceResult_;
        return !failure_.failed();
      }
    } while (text()[line.begin] == '#');
    if (!ParseAttribute(lines_, line, &attribute, failure_)) return false;
    if (attribute.kind == Kind::kDn || attribute.kind == Kind::kSearch)
      return FailRunTogether(line, attribute, lastLine);
    lastLine = lines_.lineNumber() - 1;
  }
}
// Passes over a record the tree has no place for.
bool RecordParser::SkipRecord() {
  LineReader::Line line;
  Attribute attribute;
  uint64_t lastLine = lines_.lineNumber() - 1;
  while (lines_.Next(&line)) {
    if (line.begin == line.end) break;
    if (text()[line.begin] == '#') continue;
    if (!ParseAttribute(lines_, line, &attribute, failure_)) return false;
    if (attribute.kind == Kind::kDn || attribute.kind == Kind::kSearch)
      return FailRunTogether(line, attribute, lastLine);
    lastLine = lines_.lineNumber() - 1;
  }
  return !failure_.failed();
}

}  // namespace ldif
