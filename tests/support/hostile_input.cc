#include "hostile_input.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "client/tree_client.h"
#include "tool/tree_choice.h"

namespace qovant_test {
namespace {

// The client as the binary starts it, with the code page fixed so that
// results do not depend on the locale the tests run in.
class FixedLocaleClient : public client::TreeClient {
 public:
  FixedLocaleClient(client::TreeSource& source, const char* path, const SearchOptions& options)
      : TreeClient(source, base::Environment()), path_(path), options_(options) {}
  // Scripts are kept in memory as the file loads: a cut made here, between
  // the load and the walk, must change nothing of the report.
  base::Status NWCallsInit(const void* reserved1, const void* reserved2) override {
    base::Status status = TreeClient::NWCallsInit(reserved1, reserved2);
    std::error_code error;
    if (status == 0 && options_.cutAfterLoad >= 0)
      std::filesystem::resize_file(path_, static_cast<uintmax_t>(options_.cutAfterLoad), error);
    if (error) return -1;
    return status;
  }
  base::Status DirQueryLocale(client::LocaleRecord* locale) override {
    client::SetLocaleCodePage(locale, options_.codePage);
    client::SetLocaleCountryId(locale, 1);
    return 0;
  }

 private:
  const char* path_;
  SearchOptions options_;
};

// A file that is gone when the test is; its path is empty when it could
// not be written whole.
struct TempFile {
  std::string path = (std::filesystem::temp_directory_path() / "qovant-hostile-XXXXXX").string();
  explicit TempFile(const std::string& content) {
    int fd = mkstemp(path.data());
    if (fd >= 0) close(fd);
    std::ofstream(path, std::ios::binary) << content;
    if (fd < 0 || std::filesystem::file_size(path, error) != content.size()) Remove();
  }
  ~TempFile() { Remove(); }
  void Remove() {
    std::filesystem::remove(path, error);
    path.clear();
  }
  std::error_code error;
};

}  // namespace

std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t bits = 0;
    for (std::size_t j = 0; j < 3; ++j)
      bits = bits << 8 | (i + j < bytes.size() ? static_cast<uint8_t>(bytes[i + j]) : 0);
    for (std::size_t j = 0; j < 4; ++j)
      out += i + j <= bytes.size() ? kAlphabet[bits >> (18 - 6 * j) & 63] : '=';
  }
  return out;
}

std::string LdifEntry(std::string_view dn, std::string_view script) {
  return "dn:: " + Base64(dn) + "\nobjectClass: top\nloginScript:: " + Base64(script) + "\n\n";
}

RunResult SearchLdif(const std::string& ldif, const char* text, SearchOptions options) {
  TempFile file(ldif);
  if (file.path.empty()) return {-1, "", "cannot write a temporary file"};
  MemoryStream diagnostics;
  base::Environment environment;
  environment.Set("DIRCLIENT_TREE", file.path);
  tool::ConfiguredTree source(environment, diagnostics.file(), "qovant");
  FixedLocaleClient client(source, file.path.c_str(), options);
  RunResult result = RunTool(client, {text}, options.terminal, options.utf8Text);
  // The binary writes both to standard error, the client's first.
  result.err = diagnostics.text() + result.err;
  for (std::size_t at; (at = result.err.find(file.path)) != std::string::npos;)
    result.err.replace(at, file.path.size(), "PATH");
  return result;
}

}  // namespace qovant_test
