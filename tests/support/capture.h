// Runs the tool against a client with standard output and error captured.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "client/client.h"
#include "tool/run.h"
#include "tool/shared_buffers.h"

namespace qovant_test {

// A stream whose text can be read back: in memory where the system has
// open_memstream, in a file deleted on close elsewhere.
class MemoryStream {
 public:
  MemoryStream();
  ~MemoryStream();
  std::FILE* file() { return file_; }
  std::string text();

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  std::FILE* file_;
};

struct RunResult {
  int exitStatus;
  std::string out;
  std::string err;
};

inline RunResult RunTool(client::DirClient& client, std::vector<const char*> args,
                         bool terminal = false, bool utf8Text = false) {
  args.insert(args.begin(), "qovant");
  auto buffers = std::make_unique<tool::SharedBuffers>();
  MemoryStream out, err;
  tool::Output output(out.file(), terminal);
  int status = tool::RunQovant(static_cast<int>(args.size()), args.data(), client, *buffers, output,
                               err.file(), utf8Text);
  return {status, out.text(), err.text()};
}

}  // namespace qovant_test
