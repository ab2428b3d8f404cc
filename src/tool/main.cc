#include "tool/main.h"

#include <cstdio>

#include "client/tree_client.h"
#include "tool/console.h"
#include "tool/run.h"
#include "tool/tree_choice.h"

namespace tool {

int RunMain(int argc, const char* const* argv, const base::Environment& environment, bool utf8Text,
            bool outputClosed) {
  // The buffers are the tool's whole state; static storage keeps 68 KB off
  // the stack and out of the heap.
  static SharedBuffers buffers;
  ConfiguredTree source(environment, stderr, "qovant");
  client::TreeClient client(source, environment);
  Output out(stdout, IsTerminal(stdout));
  if (outputClosed) out.Lost();
  return RunQovant(argc, argv, client, buffers, out, stderr, utf8Text);
}

}  // namespace tool
