#include "client/client.h"

namespace client {

// A client that serves whole trees has nothing to report.
const std::vector<std::string>& DirClient::DirUnsearchedParts() const {
  static const std::vector<std::string> kNone;
  return kNone;
}

}  // namespace client
