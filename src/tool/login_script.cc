#include "tool/login_script.h"

#include <cstring>

#include "client/client.h"

namespace tool {
namespace {

// The LDAP backend keeps no more of a script than this reads.

// Deleting the first occurrence of `pattern` until none is left, in one
// pass: each byte is appended to the kept text, and a pattern that the
// append completes is taken off its end. None of the four patterns
// overlaps itself, so the first occurrence to complete is always the one
// that repeated deletion would remove first.
void DeleteAll(char* text, const char* pattern) {
  std::size_t patternLength = std::strlen(pattern);
  std::size_t kept = 0;
  for (const char* in = text; *in; ++in) {
    text[kept++] = *in;
    if (kept >= patternLength &&
        std::memcmp(text + kept - patternLength, pattern, patternLength) == 0)
      kept -= patternLength;
  }
  text[kept] = '\0';
}

}  // namespace

void MakeDisplayName(char* text) {
  DeleteAll(text, "CN=");
  DeleteAll(text, "OU=");
  DeleteAll(text, "C=");
  DeleteAll(text, "O=");
}

void CheckLoginScript(Search& search, client::ContextHandle context, const char* object) {
  SharedBuffers& b = search.buffers;
  uint32_t byteCount = 0;
  client::StreamHandle stream;
  if (search.directory.DirOpenAttributeStream(context, object, client::kLoginScriptName,
                                              client::kStreamRead, &stream) == 0) {
    search.directory.DirReadStream(stream, b.ScriptBuffer, tree::kScriptKeptBytes, &byteCount);
    search.directory.DirCloseStream(stream);
  }
  // A reader that claims more than it was asked for must not move the
  // terminator past the buffer.
  if (byteCount > tree::kScriptKeptBytes) byteCount = tree::kScriptKeptBytes;
  b.ScriptBuffer[byteCount] = '\0';
  CharUpperA(search.caseMap, b.ScriptBuffer);
  if (byteCount == 0) return;

  char* match = std::strstr(b.ScriptBuffer, b.SearchText);
  if (!match) return;

  std::memcpy(b.ScratchName, b.CurrentName, std::strlen(b.CurrentName) + 1);
  MakeDisplayName(b.ScratchName);

  // The line runs from just after the last line break before the match to
  // the first line break at or after it.
  char* end = match + std::strcspn(match, "\r\n");
  *end = '\0';
  char* start = match;
  while (start > b.ScriptBuffer && start[-1] != '\r' && start[-1] != '\n') --start;

  search.out.WriteReport(b.ScratchName, start);
}

}  // namespace tool
