#include "client/dirclient.h"

namespace dirclient {

// A client that serves whole trees has nothing to report.
const std::vector<std::string>& DirClient::DirUnsearchedParts() const {
  static const std::vector<std::string> kNone;
  return kNone;
}

}  // namespace dirclient
