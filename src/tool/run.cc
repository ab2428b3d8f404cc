#include "tool/run.h"

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/shown_text.h"
#include "tool/banner.h"
#include "tool/search.h"
#include "tool/walk.h"

namespace tool {
namespace {

ExitStatus WriteUsage(Output& out) {
  char buildLine[64];
  FormatBuildLine(__DATE__, __TIME__, buildLine, sizeof buildLine);
  out.Write(kTitleLine);
  out.Write(buildLine);
  out.Write(kUsageLine);
  return kExitUsage;
}

// A search text cut to fit would report wrong matches, so a longer one is
// refused before anything else happens.
ExitStatus RefuseLongSubstring(Output& out) {
  out.Write("qovant: the substring is longer than 99 bytes\n");
  out.Write(kUsageLine);
  return kExitUsage;
}

ExitStatus SearchTree(const char* substring, client::DirClient& directory, SharedBuffers& buffers,
                      Output& out, std::FILE* diagnostics) {
  base::Status status = directory.NWCallsInit(nullptr, nullptr);
  if (status != 0) {
    out.WriteStatus("\nNWCallsInit returned ", status);
    return kExitStartFailed;
  }
  client::LocaleRecord locale{};
  directory.DirQueryLocale(&locale);
  uint32_t codePage = client::LocaleCodePage(locale);
  status = directory.NWInitUnicodeTables(client::LocaleCountryId(locale), codePage);
  if (status != 0) {
    out.WriteStatus("\nNWInitUnicodeTables returned ", status);
    return kExitStartFailed;
  }

  out.SetCodePage(codePage);
  Search search{directory, buffers, out, MakeCaseMap(codePage), {}};
  std::memcpy(buffers.CurrentName, client::kRootName, sizeof client::kRootName);
  std::memcpy(buffers.SearchText, substring, std::strlen(substring) + 1);
  CharUpperA(search.caseMap, buffers.SearchText);
  buffers.Depth = 0;

  WalkContainer(search);
  directory.DirReleaseUnicodeTables();

  // What the client knows it left out is said after the report, so that
  // it is the last thing a reader sees.
  const std::vector<std::string>& unsearched = directory.DirUnsearchedParts();
  bool terminal = isatty(fileno(diagnostics)) == 1;
  for (const std::string& part : unsearched) {
    std::string shown;
    base::AppendShownText(shown, part, codePage, terminal);
    std::fprintf(diagnostics, "qovant: not searched: %s\n", shown.c_str());
  }
  const SearchCounts& counts = search.counts;
  if (counts.walkFailures || counts.skippedObjects)
    std::fprintf(diagnostics,
                 "qovant: search incomplete: %llu part(s) of the tree could not be "
                 "read, %llu object(s) skipped\n",
                 static_cast<unsigned long long>(counts.walkFailures),
                 static_cast<unsigned long long>(counts.skippedObjects));
  if (out.failed() || !unsearched.empty() || counts.walkFailures || counts.skippedObjects)
    return kExitIncomplete;
  return kExitComplete;
}

}  // namespace

ExitStatus RunQovant(int argc, const char* const* argv, client::DirClient& directory,
                     SharedBuffers& buffers, Output& out, std::FILE* diagnostics) {
  ExitStatus result;
  if (argc != 2)
    result = WriteUsage(out);
  else if (std::strlen(argv[1]) >= kSearchTextSize)
    result = RefuseLongSubstring(out);
  else
    result = SearchTree(argv[1], directory, buffers, out, diagnostics);

  // Everything written reaches the stream before the process ends, on the
  // failure exits too; a stream that could not take it makes the run fail.
  if (!out.Flush()) {
    std::fprintf(diagnostics, "qovant: cannot write standard output: %s\n",
                 std::strerror(out.error()));
    if (result == kExitComplete) result = kExitIncomplete;
  }
  return result;
}

}  // namespace tool
