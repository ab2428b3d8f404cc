#include "one_script_client.h"

#include <algorithm>
#include <cstring>

#include "client/status.h"

namespace qovant_fuzz {
namespace {

using dirclient::Status;

// Level n lists the one object kNames[n]; the last one is no container.
constexpr const char* kNames[] = {"O=Org", "OU=Unit", "CN=Fuzz"};
constexpr const char* kFullNames[] = {"[Root]", "O=Org", "OU=Unit.O=Org",
                                      "CN=Fuzz.OU=Unit.O=Org"};
constexpr int kLevels = 3;

int LevelOf(const char* fullName) {
  for (int level = 0; level <= kLevels; ++level)
    if (std::strcmp(fullName, kFullNames[level]) == 0) return level;
  return -1;
}

}  // namespace

template <typename Handle>
OneScriptClient::Slot* OneScriptClient::Find(Slot (&slots)[kSlots], Handle handle) {
  auto index = static_cast<uint32_t>(handle);
  if (index == 0 || index > kSlots || !slots[index - 1].used) return nullptr;
  return &slots[index - 1];
}

template <typename Handle>
bool OneScriptClient::Take(Slot (&slots)[kSlots], Handle* handle) {
  for (int i = 0; i < kSlots; ++i) {
    if (slots[i].used) continue;
    slots[i] = Slot{true, -1};
    *handle = static_cast<Handle>(i + 1);
    ++openHandles_;
    return true;
  }
  return false;
}

Status OneScriptClient::DirQueryLocale(dirclient::LocaleRecord* locale) {
  dirclient::SetLocaleCodePage(locale, codePage_);
  dirclient::SetLocaleCountryId(locale, 1);
  return 0;
}

Status OneScriptClient::NWDSCreateContext(dirclient::ContextHandle* context) {
  return Take(contexts_, context) ? 0 : dirclient::kOutOfMemory;
}

Status OneScriptClient::DirSetNameContext(dirclient::ContextHandle handle, int32_t key,
                                          const char* name) {
  Slot* context = Find(contexts_, handle);
  if (!context) return dirclient::kBadContext;
  if (key != dirclient::kNameContextKey || !name) return dirclient::kBadArgument;
  context->level = LevelOf(name);
  return 0;
}

Status OneScriptClient::NWDSAllocBuf(std::size_t size, dirclient::BufferHandle* buffer) {
  if (size != dirclient::kReplyBufferSize) return dirclient::kBadBufferSize;
  return Take(buffers_, buffer) ? 0 : dirclient::kOutOfMemory;
}

Status OneScriptClient::NWDSList(dirclient::ContextHandle contextHandle, const char* object,
                                 dirclient::IterationHandle* iteration,
                                 dirclient::BufferHandle bufferHandle) {
  Slot* context = Find(contexts_, contextHandle);
  Slot* buffer = Find(buffers_, bufferHandle);
  if (!context || !buffer) return dirclient::kBadContext;
  if (!object || *object || !iteration || *iteration != dirclient::kNoIteration)
    return dirclient::kBadArgument;
  if (context->level < 0) return dirclient::kNoSuchObject;
  buffer->level = context->level;
  return 0;
}

Status OneScriptClient::DirCountObjects(dirclient::ContextHandle, dirclient::BufferHandle handle,
                                        uint32_t* count) {
  Slot* buffer = Find(buffers_, handle);
  if (!buffer || !count) return dirclient::kBadBuffer;
  *count = buffer->level >= 0 && buffer->level < kLevels ? 1 : 0;
  return 0;
}

Status OneScriptClient::NWDSGetObjectName(dirclient::ContextHandle,
                                          dirclient::BufferHandle handle,
                                          char (&name)[dirclient::kObjectNameSize],
                                          uint32_t* attributeCount,
                                          dirclient::ObjectInfo* info) {
  Slot* buffer = Find(buffers_, handle);
  if (!buffer || buffer->level < 0 || buffer->level >= kLevels) return dirclient::kNoMoreObjects;
  std::strcpy(name, kNames[buffer->level]);
  *attributeCount = 0;
  std::memset(info, 0, sizeof *info);
  info->objectFlags = buffer->level + 1 < kLevels ? dirclient::kFlagContainer : 0;
  buffer->level = -1;  // read
  return 0;
}

Status OneScriptClient::DirOpenAttributeStream(dirclient::ContextHandle handle,
                                               const char* object, const char* attribute,
                                               int32_t mode, dirclient::StreamHandle* stream) {
  Slot* context = Find(contexts_, handle);
  if (!context || !object || !attribute || !stream) return dirclient::kBadArgument;
  if (mode != dirclient::kStreamRead) return dirclient::kBadStreamMode;
  if (context->level != kLevels - 1 || std::strcmp(object, kNames[kLevels - 1]) != 0 ||
      std::strcmp(attribute, "Login Script") != 0)
    return dirclient::kNoSuchAttribute;
  if (streamOpen_) return dirclient::kOutOfMemory;
  streamOpen_ = true;
  streamPosition_ = 0;
  ++openHandles_;
  *stream = static_cast<dirclient::StreamHandle>(1);
  return 0;
}

Status OneScriptClient::DirReadStream(dirclient::StreamHandle stream, void* data, uint32_t size,
                                      uint32_t* bytesRead) {
  if (!streamOpen_ || static_cast<uint32_t>(stream) != 1) return dirclient::kBadStream;
  readTarget_ = data;
  readSize_ = size;
  std::size_t count = std::min<std::size_t>(size, script_.size() - streamPosition_);
  if (count) std::memcpy(data, script_.data() + streamPosition_, count);
  streamPosition_ += count;
  *bytesRead = static_cast<uint32_t>(count);
  return 0;
}

Status OneScriptClient::DirCloseStream(dirclient::StreamHandle stream) {
  if (!streamOpen_ || static_cast<uint32_t>(stream) != 1) return dirclient::kBadStream;
  streamOpen_ = false;
  --openHandles_;
  return 0;
}

Status OneScriptClient::DirReleaseBuffer(dirclient::BufferHandle handle) {
  Slot* buffer = Find(buffers_, handle);
  if (!buffer) return dirclient::kBadBuffer;
  buffer->used = false;
  --openHandles_;
  return 0;
}

Status OneScriptClient::DirReleaseContext(dirclient::ContextHandle handle) {
  Slot* context = Find(contexts_, handle);
  if (!context) return dirclient::kBadContext;
  context->used = false;
  --openHandles_;
  return 0;
}

}  // namespace qovant_fuzz
