#include "ldif/file_reader.h"

#include <cstring>

#include "base/status.h"

namespace ldif {

base::Failure UnreadableFile(const char* path, int error) {
  base::Failure failure;
  failure.status = base::kTreeUnreadable;
  if (path) failure.where = path;
  failure.message = std::strerror(error);
  return failure;
}

}  // namespace ldif
