// The password file: what counts as the password, and which files are
// refused before anything is sent to a server.
#include "ldap/password_file.h"

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "base/status.h"
#include "ldap/secret_guard.h"
#include "table.h"

namespace qovant_test {
namespace {

using base::Status;
using ldap_reader::ReadPasswordFile;
using ldap_reader::SecretBytes;

// A folder of its own for each test, gone with it.
struct TempFolder {
  std::string path = std::filesystem::temp_directory_path() / "qovant-password-XXXXXX";
  TempFolder() { EXPECT_NE(mkdtemp(path.data()), nullptr); }
  ~TempFolder() { std::filesystem::remove_all(path); }
  std::string Write(const std::string& content, mode_t mode) {
    std::string file = path + "/password";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
    chmod(file.c_str(), mode);
    return file;
  }
};

// Reads `content` from a file of `mode`: the status, and the password read.
std::pair<Status, std::string> Read(const std::string& content, mode_t mode) {
  TempFolder folder;
  SecretBytes password;
  Status status = ReadPasswordFile(folder.Write(content, mode).c_str(), &password).status;
  EXPECT_TRUE(status == base::kOk || password.size() == 0);
  return {status, std::string(password.view())};
}

// The messages of refused files are shown by the LDAP cases (ldap/paging.sh).
TEST(PasswordFileTest, ReadsThePasswordOrRefusesTheFile) {
  const std::map<std::string, Status> statuses = {
      {"ok", base::kOk}, {"empty", base::kPasswordEmpty}, {"exposed", base::kPasswordFileExposed}};
  for (const Row& row : ReadTable("ldap/password_file.table", "file"))
    EXPECT_EQ(
        Read(row.text("content"), static_cast<mode_t>(std::stol(row.text("mode"), nullptr, 8))),
        std::make_pair(statuses.at(row.text("result")), row.text("password")))
        << row.where;
  const std::string longest(ldap_reader::kMaxPasswordFile, 'x');
  EXPECT_EQ(Read(longest, 0600).second, longest);
  EXPECT_EQ(Read(longest + "x", 0600).first, base::kPasswordFileUnreadable);
}

TEST(PasswordFileTest, RefusesWhatIsNotAFile) {
  TempFolder folder;
  std::string fifo = folder.path + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  auto reason = [](const std::string& path) {
    SecretBytes password;
    base::Failure failure = ReadPasswordFile(path.c_str(), &password);
    EXPECT_EQ(failure.status, base::kPasswordFileUnreadable) << path;
    return failure.message;
  };
  EXPECT_EQ(reason(folder.path + "/absent"), "No such file or directory");
  EXPECT_EQ(reason(folder.path), "not a regular file");
  EXPECT_EQ(reason(fifo), "not a regular file");  // and no wait for a writer
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
    ldap_reader::SecretGuard guard;
    EXPECT_EQ(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
  }
  EXPECT_EQ(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 1);
  {
    ldap_reader::SecretGuard guard;
    guard.HandedOn();
  }
  EXPECT_EQ(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
  prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
}

}  // namespace
}  // namespace qovant_test
