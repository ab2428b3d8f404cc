// qovant: finds the directory objects whose login script contains a text.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "client/tree_client.h"
#include "tool/console.h"
#include "tool/run.h"
#include "tool/standard_descriptors.h"
#include "tool/tree_choice.h"

int main(int argc, char** argv) {
  // Before anything can open a file or a socket. Without its standard
  // streams the tool cannot say anything, so it only fails.
  bool outputClosed = false;
  if (!tool::OpenClosedStandardDescriptors(&outputClosed)) return 1;
  // The buffers are the tool's whole state; static storage keeps 68 KB off
  // the stack and out of the heap.
  static tool::SharedBuffers buffers;
  // The libraries read no variable of their own: what they see is this.
  base::Environment environment;
  for (char** variable = environ; *variable; ++variable) {
    const char* equals = std::strchr(*variable, '=');
    if (equals) environment.Set(std::string(*variable, equals - *variable), equals + 1);
  }
  tool::ConfiguredTree source(environment, stderr, "qovant");
  client::TreeClient client(source, environment);
  tool::Output out(stdout, tool::IsTerminal(stdout));
  if (outputClosed) out.Lost();
  return tool::RunQovant(argc, argv, client, buffers, out, stderr);
}
