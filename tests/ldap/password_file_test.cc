// The password file: what counts as the password, and which files are
// refused before anything is sent to a server.
#include "ldap/password_file.h"

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <system_error>

#include "ldap/secret_guard.h"
#include "client/status.h"
#include "param_name.h"

namespace qovant_test {
namespace {

using dirclient::ReadPasswordFile;
using dirclient::SecretBytes;
using dirclient::Status;

class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/qovant-password.XXXXXX";
    path_ = mkdtemp(pattern) ? pattern : "";
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  std::string Write(const std::string& name, const std::string& content, mode_t mode) {
    std::string file = path_ + "/" + name;
    std::ofstream(file, std::ios::binary) << content;
    chmod(file.c_str(), mode);
    return file;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct ContentCase {
  const char* title;
  std::string content;
  mode_t mode;
  Status status;
  std::string password;  // when the status is kOk
};

// Parameters print as their titles, not as raw bytes.
void PrintTo(const ContentCase& c, std::ostream* out) { *out << c.title; }

class PasswordContentTest : public testing::TestWithParam<ContentCase> {};

TEST_P(PasswordContentTest, ReadsThePasswordOrRefusesTheFile) {
  const ContentCase& c = GetParam();
  TempFolder folder;
  std::string path = folder.Write("password", c.content, c.mode);
  SecretBytes password;
  EXPECT_EQ(ReadPasswordFile(path.c_str(), &password).status, c.status);
  if (c.status == dirclient::kOk)
    EXPECT_EQ(std::string(password.view()), c.password);
  else
    EXPECT_EQ(password.size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PasswordContentTest,
    testing::Values(
        ContentCase{"line end removed", "secret\n", 0600, dirclient::kOk, "secret"},
        ContentCase{"CRLF line end removed", "secret\r\n", 0600, dirclient::kOk, "secret"},
        ContentCase{"no line end", "secret", 0600, dirclient::kOk, "secret"},
        ContentCase{"only one line end removed", "secret\n\n", 0600, dirclient::kOk, "secret\n"},
        ContentCase{"lone carriage return kept", "secret\r", 0600, dirclient::kOk, "secret\r"},
        ContentCase{"blanks and tabs kept", " pass word\t\n", 0600, dirclient::kOk, " pass word\t"},
        ContentCase{"NUL bytes kept", std::string("a\0b\n", 4), 0600, dirclient::kOk,
                    std::string("a\0b", 3)},
        ContentCase{"owner read only", "secret\n", 0400, dirclient::kOk, "secret"},
        ContentCase{"owner execute does not matter", "secret\n", 0700, dirclient::kOk, "secret"},
        ContentCase{"longest accepted", std::string(dirclient::kMaxPasswordFile, 'x'), 0600,
                    dirclient::kOk, std::string(dirclient::kMaxPasswordFile, 'x')},
        ContentCase{"one byte too long", std::string(dirclient::kMaxPasswordFile + 1, 'x'), 0600,
                    dirclient::kPasswordFileUnreadable, ""},
        ContentCase{"empty file", "", 0600, dirclient::kPasswordEmpty, ""},
        ContentCase{"line end alone", "\n", 0600, dirclient::kPasswordEmpty, ""},
        ContentCase{"CRLF alone", "\r\n", 0600, dirclient::kPasswordEmpty, ""},
        ContentCase{"group readable", "secret\n", 0640, dirclient::kPasswordFileExposed, ""},
        ContentCase{"others readable", "secret\n", 0604, dirclient::kPasswordFileExposed, ""},
        ContentCase{"world readable", "secret\n", 0644, dirclient::kPasswordFileExposed, ""},
        ContentCase{"group writable", "secret\n", 0620, dirclient::kPasswordFileExposed, ""},
        ContentCase{"others execute", "secret\n", 0601, dirclient::kPasswordFileExposed, ""},
        ContentCase{"group execute", "secret\n", 0610, dirclient::kPasswordFileExposed, ""}),
    TitleName<ContentCase>);

TEST(PasswordFileTest, ExposedFileNamesItsModeAndTheFix) {
  TempFolder folder;
  std::string path = folder.Write("password", "secret\n", 0644);
  SecretBytes password;
  EXPECT_EQ(ReadPasswordFile(path.c_str(), &password).message, "permissions 0644 are too open: group and others must have no access (chmod 600)");
}

TEST(PasswordFileTest, RefusesWhatIsNotAFile) {
  TempFolder folder;
  std::string fifo = folder.path() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string path;
    std::string reason;
  } cases[] = {
      {folder.path() + "/absent", "No such file or directory"},
      {folder.path(), "not a regular file"},
      {fifo, "not a regular file"},  // and no wait for a writer
  };
  for (const Case& c : cases) {
    SecretBytes password;
    dirclient::Failure failure = ReadPasswordFile(c.path.c_str(), &password);
    EXPECT_EQ(failure.status, dirclient::kPasswordFileUnreadable) << c.path;
    EXPECT_EQ(failure.message, c.reason) << c.path;
  }
}

TEST(PasswordFileTest, WipeZeroesTheBytes) {
  SecretBytes secret;
  secret.Allocate(8);
  std::memcpy(secret.data(), "password", 8);
  secret.set_size(8);
  secret.Wipe();
  EXPECT_EQ(secret.size(), 0u);
  EXPECT_EQ(std::string(secret.data(), 8), std::string(8, '\0'));
}

// Not dumpable while the secret is held; dumpable again after, unless it
// was handed to libldap, whose copies cannot be wiped.
TEST(SecretGuardTest, RestoresDumpableOnlyWhenTheSecretStayedHere) {
  ASSERT_EQ(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 1);
  {
    dirclient::SecretGuard guard;
    EXPECT_TRUE(guard.active());
    EXPECT_EQ(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
  }
  EXPECT_EQ(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 1);
  {
    dirclient::SecretGuard guard;
    guard.HandedOn();
  }
  EXPECT_EQ(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
  prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
}

}  // namespace
}  // namespace qovant_test
