// A search text and a login script in, the report out. The input is
//   byte 0: length of the search text (modulo 100, so at most 99 bytes)
//   byte 1: bit 0 terminal output, bits 1-2 code page, bits 3-5 padding
//   byte 2: the padding byte
//   then the search text, then the script.
// Padding puts the script's own bytes at the end of a script of 59,997 to
// 60,003 bytes, so that matches meet the end of what the tool reads. The
// report must be exactly the one line a plain search of the first 60,000
// bytes (up to a NUL) gives, and the tool must read into its script buffer
// and nowhere else.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "base/shown_text.h"
#include "capture.h"
#include "client/tree_client.h"
#include "require.h"
#include "tool/char_upper.h"
#include "tool/run.h"
#include "tool/shared_buffers.h"

namespace {

using qovant_test::MemoryStream;

constexpr uint32_t kCodePages[] = {base::kCodePageAscii, base::kCodePageLatin1,
                                   base::kCodePageWindows1252, base::kCodePageUtf8};
constexpr char kDisplayName[] = "Fuzz.Unit.Org";

struct Input {
  std::string searchText;  // as on the command line: no NUL
  std::string script;
  uint32_t codePage;
  bool terminal;
};

Input Split(std::string_view data) {
  Input input{{}, {}, base::kCodePageAscii, false};
  if (data.size() < 3) {
    input.script = data;
    return input;
  }
  std::size_t searchLength = static_cast<uint8_t>(data[0]) % tool::kSearchTextSize;
  auto control = static_cast<uint8_t>(data[1]);
  input.terminal = control & 1;
  input.codePage = kCodePages[(control >> 1) & 3];
  unsigned padding = (control >> 3) & 7;
  char padByte = data[2];
  data.remove_prefix(3);
  searchLength = std::min(searchLength, data.size());
  std::string_view search = data.substr(0, searchLength);
  input.searchText = search.substr(0, search.find('\0'));
  data.remove_prefix(searchLength);
  if (padding) {
    std::size_t total = tree::kScriptKeptBytes + padding - 4;
    if (data.size() < total) input.script.assign(total - data.size(), padByte);
  }
  input.script.append(data);
  return input;
}

// The real client over one chain, [Root] > O=Org > OU=Unit > CN=Fuzz, where
// only CN=Fuzz has a login script; it notes where the tool reads the script
// to. (The handles the walk takes and gives back are the unit tests'.)
class OneScriptClient : public client::TreeClient {
 public:
  using Status = base::Status;
  OneScriptClient(std::unique_ptr<tree::LoadedTree> tree, uint32_t codePage)
      : TreeClient(std::move(tree)), codePage_(codePage) {}
  const void* readTarget = nullptr;
  uint32_t readSize = 0;

  Status DirQueryLocale(client::LocaleRecord* locale) override {
    client::SetLocaleCodePage(locale, codePage_);
    client::SetLocaleCountryId(locale, 1);
    return 0;
  }
  Status DirReadStream(client::StreamHandle stream, void* data, uint32_t size,
                       uint32_t* bytesRead) override {
    readTarget = data;
    readSize = size;
    return TreeClient::DirReadStream(stream, data, size, bytesRead);
  }

 private:
  uint32_t codePage_;
};

std::unique_ptr<tree::LoadedTree> OneScriptTree(std::string_view script) {
  auto loaded = std::make_unique<tree::LoadedTree>();
  tree::DirTree& tree = loaded->tree;
  tree::DirTree::NodeId org = tree.AddChild(tree::DirTree::kRoot, "O=Org");
  tree::DirTree::NodeId unit = tree.AddChild(org, "OU=Unit");
  tree.AddFlags(org, tree::kFlagContainer);
  tree.AddFlags(unit, tree::kFlagContainer);
  auto store = std::make_unique<tree::ByteArena>();
  uint64_t offset = 0;
  Require(store->Append(script, &offset), "no memory for the script");
  tree.AdoptScripts(std::move(store));
  tree.SetScript(tree.AddChild(unit, "CN=Fuzz"), offset, script.size());
  return loaded;
}

std::string Upper(const tool::CaseMap& map, std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(map.upper[static_cast<uint8_t>(c)]);
  return upper;
}

// What a terminal is shown. The rules per character set are pinned by the
// fixture cases of tests/tool/cases; here they only need to agree
// with the search, and no C0 control or DEL may be left.
std::string Shown(std::string_view text, const Input& input) {
  if (!input.terminal) return std::string(text);
  std::string shown;
  base::AppendShownText(shown, text, input.codePage, true);
  for (char c : shown)
    Require((static_cast<uint8_t>(c) >= 0x20 || c == '\t') && c != 0x7F,
            "a control byte would reach the terminal");
  return shown;
}

// The report a plain search gives: the tool reads 60,000 bytes, a NUL ends
// the text, and the line of the first match is reported, upper-cased.
std::string ExpectedReport(const Input& input) {
  std::string_view read(input.script);
  read = read.substr(0, tree::kScriptKeptBytes);
  if (read.empty()) return "";
  read = read.substr(0, read.find('\0'));
  tool::CaseMap map = tool::MakeCaseMap(input.codePage);
  std::string text = Upper(map, read);
  std::size_t match = text.find(Upper(map, input.searchText));
  if (match == std::string::npos) return "";
  std::size_t before = text.find_last_of("\r\n", match == 0 ? std::string::npos : match - 1);
  std::size_t start = match == 0 || before == std::string::npos ? 0 : before + 1;
  std::size_t end = std::min(text.find_first_of("\r\n", match), text.size());
  return Shown(kDisplayName, input) + " (" +
         Shown(std::string_view(text).substr(start, end - start), input) + ")\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  Input input = Split(std::string_view(size ? reinterpret_cast<const char*>(data) : "", size));
  std::string expected = ExpectedReport(input);

  OneScriptClient client(OneScriptTree(input.script), input.codePage);
  auto buffers = std::make_unique<tool::SharedBuffers>();
  MemoryStream out, err;
  tool::Output output(out.file(), input.terminal);
  const char* argv[] = {"qovant", input.searchText.c_str()};
  tool::ExitStatus status = tool::RunQovant(2, argv, client, *buffers, output, err.file());

  Require(status == tool::kExitComplete && err.text().empty(), "the search did not complete");
  std::string report = out.text();
  Require(report.empty() || (report.size() >= 2 && report.substr(report.size() - 2) == ")\n" &&
                             report.find('\n') == report.size() - 1),
          "the report is not one line ending in \")\\n\"");
  Require(report == expected, "the report is not the line of the first match");
  Require(client.readTarget == buffers->ScriptBuffer && client.readSize <= tree::kScriptKeptBytes,
          "the script was read past its buffer");
  Require(buffers->Depth == 0 && std::strcmp(buffers->CurrentName, client::kRootName) == 0,
          "the walk did not restore its state");
  return 0;
}
