// qovant: finds the directory objects whose login script contains a text.
#include <unistd.h>

#include <cstring>
#include <string>

#include "tool/main.h"
#include "tool/standard_descriptors.h"

int main(int argc, char** argv) {
  // Before anything can open a file or a socket. Without its standard
  // streams the tool cannot say anything, so it only fails.
  bool outputClosed = false;
  if (!tool::OpenClosedStandardDescriptors(&outputClosed)) return 1;
  // The libraries read no variable of their own: what they see is this.
  base::Environment environment;
  for (char** variable = environ; *variable; ++variable) {
    const char* equals = std::strchr(*variable, '=');
    if (equals) environment.Set(std::string(*variable, equals - *variable), equals + 1);
  }
  // The command line comes in the locale's character set.
  return tool::RunMain(argc, argv, environment, false, outputClosed);
}
