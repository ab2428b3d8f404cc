// The LDIF file as the system opens it: a name in UTF-8 outside any code
// page, bytes as they are (CR LF, Ctrl-Z), a directory refused as one.
#include "ldif/file_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/status.h"

namespace qovant_test {
namespace {

TEST(FileReaderTest, OpensUtf8NamesAndRefusesDirectories) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / fs::path(u8"qovant-J\u00fcrgen-\U0001F600");
  fs::create_directories(dir);
  const std::string content = "dn: o=\xc3\xbc\r\n\x1a\n# after Ctrl-Z\n";
  std::ofstream(dir / u8"tr\u00e9e.ldif", std::ios::binary) << content;
  auto utf8 = [](const fs::path& path) {
    std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
  };

  {  // closed before the folder goes: Windows deletes no open file
    ldif::FileReader file;
    ASSERT_EQ(file.Open(utf8(dir / u8"tr\u00e9e.ldif").c_str()).status, base::kOk);
    EXPECT_EQ(file.size(), content.size());
    std::string read(64, '\0');
    std::size_t got = 0;
    ASSERT_EQ(file.ReadBlock(read.data(), read.size(), &got).status, base::kOk);
    EXPECT_EQ(read.substr(0, got), content);
  }

  for (auto [path, message] : {std::pair{dir, "Is a directory"},
                               std::pair{dir / "none.ldif", "No such file or directory"}}) {
    ldif::FileReader refused;
    base::Failure failure = refused.Open(utf8(path).c_str());
    EXPECT_EQ(failure.status, base::kTreeUnreadable);
    EXPECT_EQ(failure.where, utf8(path));
    EXPECT_EQ(failure.message, message);
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qovant_test
