#include "hostile_input.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "client/tree_client.h"
#include "tool/tree_choice.h"

namespace qovant_test {
namespace {

// The client as the binary starts it, with the code page fixed so that
// results do not depend on the locale the tests run in.
class FixedLocaleClient : public dirclient::TreeClient {
 public:
  FixedLocaleClient(dirclient::TreeSource& source, const char* path, const SearchOptions& options)
      : TreeClient(source, dirclient::Environment()), path_(path), options_(options) {}
  // Scripts are kept in memory as the file loads: a cut made here, between
  // the load and the walk, must change nothing of the report.
  dirclient::Status NWCallsInit(const void* reserved1, const void* reserved2) override {
    dirclient::Status status = TreeClient::NWCallsInit(reserved1, reserved2);
    if (status == 0 && options_.cutAfterLoad >= 0 && truncate(path_, options_.cutAfterLoad) != 0)
      return -1;
    return status;
  }
  dirclient::Status DirQueryLocale(dirclient::LocaleRecord* locale) override {
    dirclient::SetLocaleCodePage(locale, options_.codePage);
    dirclient::SetLocaleCountryId(locale, 1);
    return 0;
  }

 private:
  const char* path_;
  SearchOptions options_;
};

// A file that is gone when the test is.
class TempFile {
 public:
  explicit TempFile(const std::string& content) {
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir && *dir ? dir : "/tmp") + "/qovant-hostile-XXXXXX";
    int fd = mkstemp(path_.data());
    if (fd < 0) return;
    std::size_t written = 0;
    while (written < content.size()) {
      ssize_t n = write(fd, content.data() + written, content.size() - written);
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
    close(fd);
    ok_ = written == content.size();
  }
  ~TempFile() { unlink(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  bool ok() const { return ok_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool ok_ = false;
};

bool IsSafePlainValue(std::string_view value) {
  if (value.empty()) return true;
  if (value[0] == ' ' || value[0] == ':' || value[0] == '<' || value.back() == ' ') return false;
  for (char c : value)
    if (c == '\0' || c == '\n' || c == '\r' || static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t bits = static_cast<uint8_t>(bytes[i]) << 16 |
                    static_cast<uint8_t>(bytes[i + 1]) << 8 | static_cast<uint8_t>(bytes[i + 2]);
    out += kAlphabet[bits >> 18];
    out += kAlphabet[bits >> 12 & 63];
    out += kAlphabet[bits >> 6 & 63];
    out += kAlphabet[bits & 63];
  }
  if (std::size_t rest = bytes.size() - i) {
    uint32_t bits = static_cast<uint8_t>(bytes[i]) << 16;
    if (rest == 2) bits |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    out += kAlphabet[bits >> 18];
    out += kAlphabet[bits >> 12 & 63];
    out += rest == 2 ? kAlphabet[bits >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

std::string LdifEntry(std::string_view dn, std::string_view script) {
  std::string entry = IsSafePlainValue(dn) ? "dn: " + std::string(dn) : "dn:: " + Base64(dn);
  return entry + "\nloginScript:: " + Base64(script) + "\n\n";
}

RunResult SearchLdif(const std::string& ldif, const char* text, SearchOptions options) {
  TempFile file(ldif);
  if (!file.ok()) return {-1, "", "cannot write " + file.path()};
  MemoryStream diagnostics;
  dirclient::Environment environment;
  environment.Set("DIRCLIENT_TREE", file.path());
  dirclient::ConfiguredTree source(environment, diagnostics.file(), "qovant");
  FixedLocaleClient client(source, file.path().c_str(), options);
  RunResult result = RunTool(client, {text}, options.terminal);
  // The binary writes both to standard error, the client's first.
  result.err = diagnostics.text() + result.err;
  for (std::size_t at; (at = result.err.find(file.path())) != std::string::npos;)
    result.err.replace(at, file.path().size(), "PATH");
  return result;
}

}  // namespace qovant_test
