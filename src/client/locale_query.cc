#include "client/locale_query.h"

#include <cstring>
#include <string_view>

#include "client/client.h"
#include "tree/name_mapping.h"

namespace client {
namespace {

// Compares character set names the way glibc normalizes them: case and
// punctuation do not count ("UTF-8", "utf8").
bool SameCodeset(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  for (;;) {
    while (i < a.size() && (a[i] == '-' || a[i] == '_')) ++i;
    while (j < b.size() && (b[j] == '-' || b[j] == '_')) ++j;
    if (i == a.size() || j == b.size()) return i == a.size() && j == b.size();
    if (tree::AsciiLower(a[i++]) != tree::AsciiLower(b[j++])) return false;
  }
}

struct Country {
  const char* territory;
  uint32_t id;
};
// International dialling codes, the usual country identifiers.
constexpr Country kCountries[] = {{"US", 1},  {"CA", 2},  {"NL", 31}, {"BE", 32}, {"FR", 33},
                                  {"ES", 34}, {"IT", 39}, {"CH", 41}, {"AT", 43}, {"GB", 44},
                                  {"DK", 45}, {"SE", 46}, {"NO", 47}, {"DE", 49}, {"BR", 55},
                                  {"AU", 61}, {"JP", 81}, {"FI", 358}};

}  // namespace

bool IsKnownCodePage(uint32_t codePage) {
  return codePage == base::kCodePageAscii || codePage == base::kCodePageLatin1 ||
         codePage == base::kCodePageWindows1252 || codePage == base::kCodePageWindows1250 ||
         codePage == base::kCodePageOem437 || codePage == base::kCodePageOem850 ||
         codePage == base::kCodePageOem852 || codePage == base::kCodePageUtf8;
}

LocaleInfo QueryLocale(const char* lcAll, const char* lcCtype, const char* lang) {
  const char* name = lcAll && *lcAll ? lcAll : lcCtype && *lcCtype ? lcCtype : lang;
  LocaleInfo info{base::kCodePageAscii, 1};
  if (!name || !*name || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0)
    return info;

  std::string_view locale(name);
  std::string_view language = locale.substr(0, locale.find_first_of(".@"));
  size_t underscore = language.find('_');
  if (underscore != std::string_view::npos) {
    std::string_view territory = language.substr(underscore + 1);
    for (const Country& country : kCountries)
      if (territory == country.territory) info.countryId = country.id;
  }
  size_t dot = locale.find('.');
  if (dot == std::string_view::npos) {
    // glibc's default for a locale named without a character set.
    info.codePage = base::kCodePageLatin1;
    return info;
  }
  std::string_view codeset = locale.substr(dot + 1);
  codeset = codeset.substr(0, codeset.find('@'));
  if (SameCodeset(codeset, "UTF-8"))
    info.codePage = base::kCodePageUtf8;
  else if (SameCodeset(codeset, "ISO-8859-1") || SameCodeset(codeset, "ISO8859-1") ||
           SameCodeset(codeset, "latin1"))
    info.codePage = base::kCodePageLatin1;
  else if (SameCodeset(codeset, "CP1252") || SameCodeset(codeset, "Windows-1252"))
    info.codePage = base::kCodePageWindows1252;
  return info;
}

}  // namespace client
