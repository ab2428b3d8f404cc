// qovant.exe: finds the directory objects whose login script contains a
// text. The command line and the environment are read as UTF-16, whatever
// the code page, and handed on as UTF-8: a file name or a search text
// outside the code page arrives whole.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/wide_text_windows.h"
#include "tool/main.h"
#include "tool/standard_descriptors.h"

namespace {

// The libraries read no variable of their own: what they see is this.
base::Environment ReadEnvironment() {
  base::Environment environment;
  for (wchar_t** variable = _wenviron; variable && *variable; ++variable) {
    std::string text = base::Utf8FromWide(*variable);
    // The hidden per-drive variables' names begin with '=' ("=C:=C:\work").
    std::size_t equals = text.find('=', 1);
    if (equals != std::string::npos)
      environment.Set(text.substr(0, equals), text.substr(equals + 1));
  }
  return environment;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  bool outputClosed = false;
  if (!tool::OpenClosedStandardDescriptors(&outputClosed)) return 1;
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(base::Utf8FromWide(argv[i]));
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  pointers.push_back(nullptr);
  return tool::RunMain(argc, pointers.data(), ReadEnvironment(), true, outputClosed);
}
