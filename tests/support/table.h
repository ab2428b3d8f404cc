// Test data kept beside the tests (paths from tests/): files read whole, and
// tables of cases, one a line: "KIND | FIELD | ...", under a header line
// "KIND: COLUMN | ..." that names the fields of KIND's rows; blanks around a
// field dropped, "\n" and "\xHH" in a field for a line end and for that
// byte, "-" alone for no value (null), "#" lines and blank lines skipped.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
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
  std::vector<std::string> columns, fields;
  std::string where;  // FILE:LINE, for the failure message
  // The field of `column`; a column the header does not name fails the test.
  std::size_t at(const std::string& column) const {
    for (std::size_t i = 0; i < columns.size(); ++i)
      if (columns[i] == column) return i;
    throw std::invalid_argument(where + ": no column \"" + column + "\"");
  }
  const char* operator[](const std::string& column) const {
    return text(column) == "-" ? nullptr : text(column).c_str();
  }
  const std::string& text(const std::string& column) const { return fields[at(column)]; }
  long number(const std::string& column) const { return std::stol(text(column), nullptr, 0); }
};

// The rows of `file` whose KIND is `kind`, without it.
inline std::vector<Row> ReadTable(const std::string& file, const std::string& kind) {
  std::vector<Row> rows;
  std::vector<std::string> header;
  std::istringstream lines(ReadFile(file));
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    Row row;
    row.where = file + ":" + std::to_string(number);
    const bool isHeader = line.compare(0, kind.size() + 1, kind + ":") == 0;
    std::istringstream fields((isHeader ? line.substr(kind.size() + 1) : line) + "|");
    for (std::string field; std::getline(fields, field, '|');) {
      std::size_t start = field.find_first_not_of(' '), end = field.find_last_not_of(' ');
      field = start == std::string::npos ? "" : Unescape(field.substr(start, end + 1 - start));
      row.fields.push_back(field);
    }
    if (isHeader) header = row.fields;
    if (isHeader || row.fields[0] != kind) continue;
    row.fields.erase(row.fields.begin());
    row.columns = header;
    if (row.fields.size() == header.size())
      rows.push_back(row);
    else
      ADD_FAILURE() << row.where << ": " << row.fields.size() << " fields under a header of "
                    << header.size();
  }
  EXPECT_FALSE(rows.empty()) << file << ": no " << kind << " rows";
  return rows;
}

}  // namespace qovant_test
