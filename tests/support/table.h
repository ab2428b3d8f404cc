// Test data kept beside the tests (paths from tests/): files read whole, and
// tables of cases, one a line: "KIND | FIELD | ...", blanks around a field
// dropped, "\n" and "\xHH" in a field for a line end and for that byte, "-"
// alone for no value (null), "#" lines and blank lines skipped.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace qovant_test {

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(std::filesystem::path(QOVANT_TESTS_DIR) / path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string Unescape(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text.compare(i, 2, "\\x") == 0) {
      bytes += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else if (text.compare(i, 2, "\\n") == 0) {
      bytes += '\n';
      ++i;
    } else {
      bytes += text[i];
    }
  return bytes;
}

struct Row {
  std::vector<std::string> fields;
  std::vector<bool> null;
  std::string where;  // FILE:LINE, for the failure message
  const char* operator[](std::size_t i) const { return null.at(i) ? nullptr : fields[i].c_str(); }
  const std::string& text(std::size_t i) const { return fields.at(i); }
  long number(std::size_t i) const { return std::stol(fields.at(i), nullptr, 0); }
};

// The rows of `file` whose KIND is `kind`, without it.
inline std::vector<Row> ReadTable(const std::string& file, const std::string& kind) {
  std::vector<Row> rows;
  std::istringstream lines(ReadFile(file));
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    Row row;
    row.where = file + ":" + std::to_string(number);
    std::istringstream fields(line + "|");
    for (std::string field; std::getline(fields, field, '|');) {
      std::size_t start = field.find_first_not_of(' '), end = field.find_last_not_of(' ');
      field = start == std::string::npos ? "" : Unescape(field.substr(start, end + 1 - start));
      row.null.push_back(field == "-");
      row.fields.push_back(field);
    }
    if (row.fields[0] != kind) continue;
    row.fields.erase(row.fields.begin());
    row.null.erase(row.null.begin());
    rows.push_back(row);
  }
  EXPECT_FALSE(rows.empty()) << file << ": no " << kind << " rows";
  return rows;
}

}  // namespace qovant_test
