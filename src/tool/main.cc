// qovant: finds the directory objects whose login script contains a text.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "client/tree_client.h"
#include "tool/run.h"
#include "tool/tree_choice.h"
#include "tool/standard_descriptors.h"

int main(int argc, char** argv) {
  // Before anything can open a file or a socket. Without its standard
  // streams the tool cannot say anything, so it only fails.
  if (!qovant::OpenClosedStandardDescriptors()) return 1;
  // The buffers are the tool's whole state; static storage keeps 68 KB off
  // the stack and out of the heap.
  static qovant::SharedBuffers buffers;
  dirclient::ConfiguredTree source(std::getenv("DIRCLIENT_TREE"), stderr, "qovant");
  dirclient::TreeClient client(source);
  qovant::Output out(stdout, isatty(STDOUT_FILENO) == 1);
  return qovant::RunQovant(argc, argv, client, buffers, out, stderr);
}
