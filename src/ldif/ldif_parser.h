// The LDIF grammar over the lines of a file: content, add and other change
// records, and ldapsearch's result and reference records. Entries go on to
// the builder in batches; what the export says it left out goes to the
// caller's notes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ldif/ldif_attribute.h"
#include "ldif/ldif_lines.h"
#include "ldif/ldif_loader.h"
#include "ldif/ldif_value.h"
#include "tree/tree_builder.h"

namespace ldif {

class RecordParser {
 public:
  // Reads what `reader` reads, a block of `blockSize` bytes at a time, the
  // tree built on a second thread where one can be had.
  RecordParser(BlockReader& reader, std::size_t blockSize, tree::DirTree& dirTree,
               tree::LoadProgress* progress, LdifNotes* notes)
      : lines_(reader, blockSize, failure_),
        reader_(reader),
        tree_(dirTree),
        notes_(notes),
        builder_(dirTree, tree::RepeatedDn::kRefuse, DnFailure, progress, true) {}
  // Status 0 once the whole file is in the tree.
  base::Failure Load();

 private:
  std::string_view text() const { return lines_.text(); }
  bool Fail(uint64_t line, std::string message) { return failure_.Fail(line, std::move(message)); }
  bool Read();
  // A DN the tree cannot take, as a failure at its line.
  static base::Failure DnFailure(const tree::DnFault& fault);

  // Entries (ldif_parser.cc).
  bool ReadEntry(const LineReader::Line& dnLine, const Attribute& dn);
  // How reading an entry's attributes ended: kRefused when the record is
  // no entry at all but another change record, so that this, not its DN,
  // is the fault reported.
  enum class Outcome { kRead, kFailed, kRefused };
  [[gnu::always_inline]] Outcome ReadAttributes(tree::FoundEntry* entry);
  // A record without attributes: `changeRecord` an add record, which was
  // cut; `ended` by a blank line, else by the end of the file; `lastLine`
  // its last.
  Outcome EndWithoutAttributes(const tree::FoundEntry& entry, bool changeRecord, bool ended,
                               uint64_t lastLine);
  bool ReadChangeType(const LineReader::Line& line, const Attribute& attribute);
  [[gnu::always_inline]] bool ReadAttribute(const LineReader::Line& line,
                                            const Attribute& attribute, tree::FoundEntry* entry);
  [[gnu::always_inline]] bool Value(const LineReader::Line& line, const Attribute& attribute,
                                    std::string_view* value);
  bool CheckBase64(const LineReader::Line& line, const Attribute& attribute);
  bool FailBase64(const LineReader::Line& line, const Attribute& attribute);
  bool CheckOtherValue(const LineReader::Line& line, const Attribute& attribute);
  // `before`: the last line of the record before `line`.
  bool FailRunTogether(const LineReader::Line& line, const Attribute& attribute, uint64_t before);

  // What an export says of itself (ldif_export_records.cc).
  void NoteComment(const LineReader::Line& line);
  void Note(std::vector<LdifNote> LdifNotes::*list, uint64_t line, std::string text);
  bool ReadResult(const LineReader::Line& searchLine);
  bool ReadReference(const LineReader::Line& refLine, const Attribute& ref);
  bool SkipRecord();
  bool CheckComplete();

  LoadFailure failure_;  // before lines_, which refers to it
  LineReader lines_;
  BlockReader& reader_;
  tree::DirTree& tree_;
  LdifNotes* notes_;
  uint64_t entries_ = 0;
  bool sawObjectClass_ = false;
  // The "dn:" line of an entry without attributes that the end of the file
  // ended, not a blank line: it may have been cut after that line.
  uint64_t bareAtEnd_ = 0;

  // ldapsearch's own format: its header opens the file, and each search
  // (each page of a paged one) ends with a result record.
  bool extended_ = false;
  bool paged_ = false;  // its header asks for paged results
  bool sawResult_ = false;
  uint64_t recordsSinceResult_ = 0;
  unsigned lastResultCode_ = 0;
  bool lastResultPaged_ = false;  // the last result carries the paging control
  bool moreCookie_ = false;       // and that asks for another page
  // The first result other than success, named when no entry came before.
  uint64_t failedResultLine_ = 0;
  std::string failedResult_;

  std::string valueScratch_;
  // Entries go here as they are read; the scripts, decoded as they are
  // read, into its store.
  tree::TreeBuilder builder_;
};

inline bool RecordParser::Value(const LineReader::Line& line, const Attribute& attribute,
                                std::string_view* value) {
  std::string_view raw = text().substr(attribute.valueBegin, line.end - attribute.valueBegin);
  if (!DecodeValue(raw, attribute.encoding, valueScratch_, value))
    return FailBase64(line, attribute);
  return true;
}

// Blanks some exports leave after a value.
inline std::string_view TrimTrailingBlanks(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace ldif
