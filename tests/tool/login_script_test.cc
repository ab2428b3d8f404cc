// The display name: the four type texts deleted in order. The script check
// itself is shown by the fixture cases in tool/cases.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "tool/login_script.h"

namespace qovant_test {
namespace {

struct DisplayCase {
  const char* fullName;
  const char* display;
};

TEST(MakeDisplayNameTest, DeletesTheFourTypeTextsInOrder) {
  const DisplayCase cases[] = {
      {"CN=Ann.OU=Sales.O=Acme", "Ann.Sales.Acme"},
      {"O=Acme", "Acme"},
      {"CN=ABC=1.O=X", "AB1.X"},
      {"DC=example.DC=com", "Dexample.Dcom"},
      {"UID=frank.L=Berlin.C=DE", "UID=frank.L=Berlin.DE"},
      {"CCN=N=x", "x"},      // a deletion that makes a new occurrence
      {"OCN=U=y", "y"},      // "CN=" goes first, leaving "OU="
      {"cn=lower.o=case", "cn=lower.o=case"},
      {"", ""},
  };
  for (const DisplayCase& c : cases) {
    char text[64];
    std::snprintf(text, sizeof text, "%s", c.fullName);
    qovant::MakeDisplayName(text);
    EXPECT_STREQ(text, c.display) << c.fullName;
  }
}

// The one-pass deletion must give what deleting the first occurrence, over
// and over, gives: compare with that literal reading on random names.
void DeleteFirstOccurrences(std::string& text, const std::string& pattern) {
  for (size_t at; (at = text.find(pattern)) != std::string::npos;) text.erase(at, pattern.size());
}

TEST(MakeDisplayNameTest, AgreesWithRepeatedDeletionOnRandomNames) {
  std::mt19937 random(7);
  const char alphabet[] = "CNOU=.x";
  for (int round = 0; round < 20000; ++round) {
    std::string name(random() % 24, ' ');
    for (char& c : name) c = alphabet[random() % (sizeof alphabet - 1)];
    std::string expected = name;
    for (const char* pattern : {"CN=", "OU=", "C=", "O="}) DeleteFirstOccurrences(expected, pattern);
    char text[32];
    std::snprintf(text, sizeof text, "%s", name.c_str());
    qovant::MakeDisplayName(text);
    ASSERT_EQ(text, expected) << name;
  }
}

}  // namespace
}  // namespace qovant_test
