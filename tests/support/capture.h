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

// A stream in memory whose text can be read back.
class MemoryStream {
 public:
  MemoryStream() : file_(open_memstream(&data_, &size_)) {}
  ~MemoryStream() {
    std::fclose(file_);
    std::free(data_);
  }
  std::FILE* file() { return file_; }
  std::string text() {
    std::fflush(file_);
    return std::string(data_, size_);
  }

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
