#include "ldif/ldif_parser.h"

#include <algorithm>
#include <cstring>

#include "base/status.h"
#include "ldif/ldif_value.h"
#include "tree/entry_mapping.h"

namespace ldif {

base::Failure RecordParser::DnFailure(const tree::DnFault& fault) {
  base::Failure failure{base::kTreeMalformed, {}, fault.place, {}};
  switch (fault.kind) {
    case tree::DnFault::Kind::kBadDn: failure.message = "DN does not parse"; break;
    case tree::DnFault::Kind::kEmptyDn: failure.message = "empty DN"; break;
    case tree::DnFault::Kind::kRepeatedDn:
      failure.message = "duplicate DN (first at line " + std::to_string(fault.first) + ")";
      break;
  }
  return failure;
}

base::Failure RecordParser::Load() {
  if (std::size_t expected = reader_.SizeHint()) {
    // Exports take some hundreds of bytes an entry. The size is a guess
    // only (a sparse file claims terabytes): the tree and the scripts grow
    // with what is read.
    tree_.ExpectNodes(expected / 512);
    builder_.scripts().WarmAhead();
  }
  Read();
  return builder_.Finish(failure_.failure);
}

bool RecordParser::Read() {
  if (!lines_.CheckEncoding()) return false;
  LineReader::Line line;
  Attribute attribute;
  bool first = true;
  while (lines_.Next(&line)) {
    if (line.begin == line.end) continue;  // blank lines between records
    char c = text()[line.begin];
    if (c == '#') {
      NoteComment(line);
      continue;
    }
    if (c == ' ') return Fail(line.number, "continuation line with nothing to continue");
    if (!ParseAttribute(lines_, line, &attribute, failure_)) return false;
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
  return !failure_.failed() && CheckComplete();  // a refill that failed ends the loop too
}

bool RecordParser::FailBase64(const LineReader::Line& line, const Attribute& attribute) {
  std::string_view raw = text().substr(attribute.valueBegin, line.end - attribute.valueBegin);
  return Fail(line.number,
              std::string("bad base64 value: ") + Base64Fault(raw, attribute.encoding));
}
// Validates a base64 value the loader has no use for, by decoding it; plain
// values always pass.
bool RecordParser::CheckBase64(const LineReader::Line& line, const Attribute& attribute) {
  std::string_view unused;
  return !(attribute.encoding & kValueBase64) || Value(line, attribute, &unused);
}
bool RecordParser::ReadEntry(const LineReader::Line& dnLine, const Attribute& dn) {
  std::string_view dnText;
  if (!Value(dnLine, dn, &dnText)) return false;
  // The root DSE, which some exports include, describes the server, not
  // an object of any tree.
  if (dnText.empty()) return SkipRecord();
  if (dnText.size() > tree::kMaxDnBytes)
    return Fail(dnLine.number, tree::DnOverLimit("a DN", dnText.size()));
  tree::FoundEntry& entry = builder_.Open(dnLine.number, dnText);
  Outcome outcome = ReadAttributes(&entry);
  if (outcome == Outcome::kRefused) return false;
  if (outcome == Outcome::kFailed) {
    builder_.CloseFailed();  // its DN is checked before the reader's failure is reported
    return false;
  }
  ++entries_;
  ++recordsSinceResult_;
  return builder_.Close();
}
inline RecordParser::Outcome RecordParser::ReadAttributes(tree::FoundEntry* entry) {
  // An add record may open with controls, which change nothing in the
  // entry, then names its change type; a content record starts with its
  // attributes.
  bool opening = true;
  bool control = false;
  bool ended = false;  // by a blank line, not by the end of the file
  uint64_t attributes = 0;
  uint64_t lastLine = lines_.lineNumber() - 1;  // where the record read so far ends
  LineReader::Line line;
  Attribute attribute;
  while (lines_.Next(&line)) {
    if (line.begin == line.end) {
      ended = true;
      break;
    }
    char c = text()[line.begin];
    if (c == '#') continue;
    if (!ParseAttribute(lines_, line, &attribute, failure_)) return Outcome::kFailed;
    if (attribute.kind == Kind::kDn || attribute.kind == Kind::kSearch) {
      FailRunTogether(line, attribute, lastLine);
      return Outcome::kFailed;
    }
    lastLine = lines_.lineNumber() - 1;
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
  if (failure_.failed()) return Outcome::kFailed;  // a refill that failed ends the entry too
  if (attributes > 0) return Outcome::kRead;
  return EndWithoutAttributes(*entry, control || !opening, ended, lastLine);
}

RecordParser::Outcome RecordParser::EndWithoutAttributes(const tree::FoundEntry& entry,
                                                         bool changeRecord, bool ended,
                                                         uint64_t lastLine) {
  // No add is made without the entry's object classes: an add record
  // without attributes was cut.
  if (changeRecord) {
    Fail(lastLine, "add record without attributes: the file was cut after this line");
    return Outcome::kFailed;
  }
  // A bare "dn:" line is what ldapsearch writes for an entry none of whose
  // requested attributes the reader may see or the entry has: an object
  // without attributes. Only one that the end of the file closes may
  // instead be a cut.
  if (!ended) bareAtEnd_ = entry.place;
  return Outcome::kRead;
}
// An add record carries exactly the entry's attributes; any other change
// record describes a change, not a tree.
bool RecordParser::ReadChangeType(const LineReader::Line& line, const Attribute& attribute) {
  std::string_view value;
  if (!Value(line, attribute, &value)) return false;
  value = TrimTrailingBlanks(value);
  if (tree::EqualsIgnoreAsciiCase(value, "add")) return true;
  // The value is named only when it is a known type: it goes to a
  // terminal as it stands.
  std::string what = "an unknown change type";
  for (const char* type : {"modify", "delete", "modrdn", "moddn"})
    if (tree::EqualsIgnoreAsciiCase(value, type))
      what = std::string("\"changetype: ") + type + "\"";
  return Fail(line.number,
              "change record (" + what + "): a tree must be exported as entries, not as changes");
}
inline bool RecordParser::ReadAttribute(const LineReader::Line& line, const Attribute& attribute,
                                        tree::FoundEntry* entry) {
  if (attribute.kind == Kind::kLoginScript) {
    // Only the first value is the script. It is checked and decoded now,
    // in one pass, while its line is at hand: a block read from a file is
    // gone by the time the walk asks for it.
    if (entry->hasScript) return CheckBase64(line, attribute);
    std::string_view raw = text().substr(attribute.valueBegin, line.end - attribute.valueBegin);
    switch (KeepDecoded(builder_.scripts(), raw, attribute.encoding, &entry->scriptOffset,
                        &entry->scriptLength)) {
      case base::kOk: entry->hasScript = true; return true;
      case base::kTreeMalformed: return FailBase64(line, attribute);
      default:  // kOutOfMemory
        break;
    }
    // Bad base64 is the fault to report, whatever memory there is.
    if (!CheckBase64(line, attribute)) return false;
    failure_.failure = tree::OutOfMemoryWhileLoading();
    return false;
  }
  if (attribute.kind == Kind::kObjectClass) {
    sawObjectClass_ = true;
    std::string_view value;
    if (!Value(line, attribute, &value)) return false;
    entry->flags |= tree::ObjectClassFlags(value);
    return true;
  }
  if (attribute.kind == Kind::kAliasedObjectName) {
    std::string_view target;
    if (!Value(line, attribute, &target)) return false;
    // Capped as a server's is: its export must not load where it fails.
    if (!entry->hasAlias && target.size() > tree::kMaxDnBytes)
      return Fail(line.number, tree::DnOverLimit("an aliasedObjectName", target.size()));
    builder_.KeepAlias(target);
    return true;
  }
  return CheckOtherValue(line, attribute);
}
// A value of a type the loader has no use for: its base64 is still
// checked, since a value cut short proves the file was cut, but blanks
// after it, which some exports leave, are let pass.
bool RecordParser::CheckOtherValue(const LineReader::Line& line, const Attribute& attribute) {
  if (!(attribute.encoding & kValueBase64)) return true;
  LineReader::Line trimmed = line;
  while (trimmed.end > attribute.valueBegin && text()[trimmed.end - 1] == ' ') --trimmed.end;
  return CheckBase64(trimmed, attribute);
}

// Without the blank line between two records the second would become
// attributes of the first: the boundaries of the file's records are lost.
bool RecordParser::FailRunTogether(const LineReader::Line& line, const Attribute& attribute,
                                   uint64_t before) {
  const char* type = attribute.kind == Kind::kDn ? "dn" : "search";
  return Fail(line.number, std::string("a new record begins without the blank line that must "
                                       "come before it: this \"") +
                               type + ":\" line follows line " + std::to_string(before) +
                               ", where the record before ends");
}

}  // namespace ldif
