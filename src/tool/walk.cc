#include "tool/walk.h"

#include <cstring>

#include "tool/login_script.h"

namespace tool {
namespace {

using client::BufferHandle;
using client::ContextHandle;

// Builds the object's full name in CurrentName and returns where the
// parent's name starts again (the restore source), or null when the full
// name would not fit; then CurrentName is untouched.
const char* BuildFullName(SharedBuffers& b, const char* objectName, std::size_t parentLength) {
  std::size_t objectLength = std::strlen(objectName);
  if (b.Depth == 1) {
    std::memcpy(b.CurrentName, objectName, objectLength + 1);
    return client::kRootName;
  }
  if (objectLength + 1 + parentLength > kNameSize - 1) return nullptr;
  std::memcpy(b.ScratchName, b.CurrentName, parentLength + 1);
  std::memcpy(b.CurrentName, objectName, objectLength);
  b.CurrentName[objectLength] = '.';
  char* restore = b.CurrentName + objectLength + 1;
  std::memcpy(restore, b.ScratchName, parentLength + 1);
  return restore;
}

// Lists the batches of one container and handles each object in them.
// Returns when the listing ends or fails; the caller releases.
void ListContainer(Search& search, client::ContextHandle context, client::BufferHandle buffer) {
  SharedBuffers& b = search.buffers;
  client::DirClient& directory = search.directory;
  client::IterationHandle iteration = client::kNoIteration;
  // The container's name does not change while its objects are handled.
  const std::size_t parentLength = std::strlen(b.CurrentName);
  char objectName[client::kObjectNameSize];
  client::ObjectInfo info;
  uint32_t attributeCount;

  do {
    base::Status status = directory.NWDSList(context, "", &iteration, buffer);
    if (status != 0) {
      search.out.WriteStatus(" NWDSList returned ", status, " - object not found\n");
      ++search.counts.walkFailures;
      return;
    }
    uint32_t count;
    if (directory.DirCountObjects(context, buffer, &count) != 0) {
      ++search.counts.walkFailures;
      return;
    }
    for (uint32_t index = 0; index < count; ++index) {
      // Nothing more can be reported once standard output has failed.
      if (search.out.failed()) return;
      status = directory.NWDSGetObjectName(context, buffer, objectName, &attributeCount, &info);
      if (status != 0) {
        search.out.WriteStatus("\nNWDSGetObjectName returned ", status);
        ++search.counts.walkFailures;
        continue;
      }
      if (info.objectFlags & (tree::kFlagAlias | tree::kFlagContainerAlias)) continue;
      const char* restore = BuildFullName(b, objectName, parentLength);
      if (!restore) {
        search.out.WriteNamed("\nFull name longer than 4095 bytes, skipped: ", objectName);
        ++search.counts.skippedObjects;
        continue;
      }
      CheckLoginScript(search, context, objectName);
      if (info.objectFlags & tree::kFlagContainer) WalkContainer(search);
      // Source and destination overlap, the source behind: memmove keeps
      // the parent's name intact.
      std::memmove(b.CurrentName, restore, std::strlen(restore) + 1);
    }
  } while (iteration != client::kNoIteration);
}

}  // namespace

void WalkContainer(Search& search) {
  SharedBuffers& b = search.buffers;
  client::DirClient& directory = search.directory;
  ++b.Depth;

  client::ContextHandle context;
  base::Status status = directory.NWDSCreateContext(&context);
  if (status != 0) {
    search.out.Write("\nNWDSCreateContext failed.");
    ++search.counts.walkFailures;
  } else {
    client::BufferHandle buffer;
    status = directory.NWDSAllocBuf(client::kReplyBufferSize, &buffer);
    if (status != 0) {
      search.out.WriteStatus("\nNWDSAllocBuf returned ", status);
      ++search.counts.walkFailures;
    } else {
      if (directory.DirSetNameContext(context, client::kNameContextKey, b.CurrentName) < 0)
        ++search.counts.walkFailures;
      else
        ListContainer(search, context, buffer);
      directory.DirReleaseBuffer(buffer);
    }
    directory.DirReleaseContext(context);
  }
  --b.Depth;
}

}  // namespace tool
