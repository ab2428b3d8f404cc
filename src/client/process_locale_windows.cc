#include <windows.h>

#include "base/code_page.h"
#include "client/process_locale.h"

namespace client {

// The variables a POSIX locale is named by mean nothing here: the console
// shows what its code page holds, and a redirected report is read in the
// ANSI code page, as the system's own upper-casing assumes.
LocaleInfo ProcessLocale(const base::Environment&) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode;
  bool console = output && output != INVALID_HANDLE_VALUE && GetConsoleMode(output, &mode);
  uint32_t codePage = console ? GetConsoleOutputCP() : GetACP();
  // The international dialling code, as the country identifier elsewhere.
  DWORD country = 1;
  if (!GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY | LOCALE_RETURN_NUMBER,
                      reinterpret_cast<LPWSTR>(&country), sizeof country / sizeof(WCHAR)))
    country = 1;
  return {IsKnownCodePage(codePage) ? codePage : base::kCodePageAscii, country};
}

}  // namespace client
