// One attribute line of an LDIF record, split into its parts: the type it
// names, its options, and where its value starts and how it is encoded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ldif/ldif_lines.h"

namespace ldif {

// The attribute types the reader acts on: those of entries, of change
// records, and of the result and reference records ldapsearch writes.
enum class Kind : uint8_t {
  kOther,
  kDn,
  kVersion,
  kChangeType,
  kControl,
  kLoginScript,
  kObjectClass,
  kAliasedObjectName,
  kSearch,
  kResult,
  kText,
  kRef,
  kPagedResults
};

struct Attribute {
  Kind kind;
  bool options;  // the description holds ";" options
  size_t valueBegin;
  uint8_t encoding;  // ValueEncoding bits
};

// Splits `line`. Types the reader acts on must follow the grammar to the
// letter, since a mistake in them would change the report; other types
// only as far as real exports keep to it.
bool ParseAttribute(const LineReader& lines, const LineReader::Line& line, Attribute* attribute,
                    LoadFailure& failure);

}  // namespace ldif
