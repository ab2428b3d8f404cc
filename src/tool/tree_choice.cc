#include "tool/tree_choice.h"

#include <new>
#include <string>

#include "base/shown_text.h"
#include "base/status.h"
#include "client/process_locale.h"
#include "ldif/ldif_file.h"
#include "tool/console.h"
#include "tool/load_reporter.h"
#include "tool/server_tree.h"
#include "tree/tree_builder.h"

namespace tool {
namespace {

constexpr char kTreeVariable[] = "DIRCLIENT_TREE";

base::Failure LoadFromSetting(const char* setting, const base::Environment& environment,
                              base::LoadObserver& observer,
                              std::unique_ptr<tree::LoadedTree>* out) {
  if (setting && *setting && !NamesServer(setting))
    return ldif::LoadLdifFile(setting, observer, out);
  return LoadServerTree(setting, environment, observer, out);
}

}  // namespace

base::Status ConfiguredTree::Load(std::unique_ptr<tree::LoadedTree>* out) {
  bool terminal = IsTerminal(diagnostics_);
  uint32_t codePage = TerminalCodePage(diagnostics_, client::ProcessLocale(environment_).codePage);
  LineEscapes escapes(diagnostics_);
  LoadReporter reporter(diagnostics_, terminal, codePage, program_,
                        LoadReporter::MonotonicMilliseconds, escapes.on());
  const char* setting = environment_.Get(kTreeVariable);
  base::Failure failure;
  try {
    failure = LoadFromSetting(setting, environment_, reporter, out);
  } catch (const std::bad_alloc&) {
    // A tree larger than memory is a start-up failure like any other.
    out->reset();
    failure = tree::OutOfMemoryWhileLoading();
    failure.where = setting ? setting : "";
  }
  reporter.Finish();
  if (failure.status != base::kOk) Print(failure, codePage, terminal);
  return failure.status;
}

void ConfiguredTree::Print(const base::Failure& failure, uint32_t codePage, bool terminal) const {
  std::string line;
  if (!failure.where.empty()) {
    base::AppendShownText(line, failure.where, codePage, terminal);
    if (failure.line) line += ":" + std::to_string(failure.line);
    line += ": ";
  }
  base::AppendShownText(
      line, failure.message.empty() ? base::StatusText(failure.status) : failure.message, codePage,
      terminal);
  WriteText(diagnostics_, program_ + (": " + line) + "\n");
}

}  // namespace tool
