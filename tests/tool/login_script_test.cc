// The display name: the four type texts deleted in order. The script check
// and display names in reports are shown by the fixture cases in tool/cases.
#include "tool/login_script.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

namespace qovant_test {
namespace {

// The one-pass deletion must give what deleting the first occurrence, over
// and over, gives: compare with that literal reading on random names, made
// of the letters of the four texts in either case, so that deletions make
// new occurrences ("CCN=N=x" is "x").
void DeleteFirstOccurrences(std::string& text, const std::string& pattern) {
  for (size_t at; (at = text.find(pattern)) != std::string::npos;) text.erase(at, pattern.size());
}

TEST(MakeDisplayNameTest, AgreesWithRepeatedDeletionOnRandomNames) {
  std::mt19937 random(7);
  const char alphabet[] = "CNOUcno=.x";
  for (int round = 0; round < 20000; ++round) {
    std::string name(random() % 24, ' ');
    for (char& c : name) c = alphabet[random() % (sizeof alphabet - 1)];
    std::string expected = name;
    for (const char* pattern : {"CN=", "OU=", "C=", "O="})
      DeleteFirstOccurrences(expected, pattern);
    char text[32];
    std::snprintf(text, sizeof text, "%s", name.c_str());
    tool::MakeDisplayName(text);
    ASSERT_EQ(text, expected) << name;
  }
}

}  // namespace
}  // namespace qovant_test
