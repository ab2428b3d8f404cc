#include "fake_dir_client.h"

#include <algorithm>
#include <cstring>

#include "client/status.h"

namespace qovant_test {

using dirclient::BufferHandle;
using dirclient::ContextHandle;
using dirclient::StreamHandle;

std::string FakeDirClient::FullName(const std::string& parent, const std::string& name) {
  return parent == "[Root]" ? name : name + "." + parent;
}

std::string FakeDirClient::Add(const std::string& parent, const std::string& name,
                               uint32_t flags, const char* script) {
  children_[parent].push_back(
      Object{name, flags, script ? std::optional<std::string>(script) : std::nullopt});
  return FullName(parent, name);
}

std::string FakeDirClient::Add(const std::string& parent, const std::string& name,
                               uint32_t flags, const std::string& script) {
  children_[parent].push_back(Object{name, flags, script});
  return FullName(parent, name);
}

void FakeDirClient::Fail(Op op, int nthCall, Status status) {
  failures_[{op, nthCall}] = status;
}

int FakeDirClient::OpenHandles() const {
  return static_cast<int>(contexts_.size() + buffers_.size() + streams_.size());
}

Status FakeDirClient::Injected(Op op) {
  int call = ++callCounts_[op];
  auto failure = failures_.find({op, call});
  return failure == failures_.end() ? 0 : failure->second;
}

Status FakeDirClient::NWCallsInit(const void*, const void*) {
  calls.push_back("NWCallsInit");
  return Injected(Op::NWCallsInit);
}

Status FakeDirClient::DirQueryLocale(dirclient::LocaleRecord* locale) {
  calls.push_back("DirQueryLocale");
  dirclient::SetLocaleCodePage(locale, codePage);
  dirclient::SetLocaleCountryId(locale, 49);
  return Injected(Op::DirQueryLocale);
}

Status FakeDirClient::NWInitUnicodeTables(uint32_t countryId, uint32_t page) {
  calls.push_back("NWInitUnicodeTables " + std::to_string(countryId) + " " +
                  std::to_string(page));
  return Injected(Op::NWInitUnicodeTables);
}

Status FakeDirClient::DirReleaseUnicodeTables() {
  calls.push_back("DirReleaseUnicodeTables");
  return Injected(Op::DirReleaseUnicodeTables);
}

Status FakeDirClient::NWDSCreateContext(ContextHandle* context) {
  calls.push_back("NWDSCreateContext");
  if (Status s = Injected(Op::NWDSCreateContext)) return s;
  uint32_t handle = nextHandle_++;
  calls.back() += " -> " + std::to_string(handle);
  contexts_[handle] = Context{};
  *context = static_cast<ContextHandle>(handle);
  return 0;
}

Status FakeDirClient::DirSetNameContext(ContextHandle context, int32_t key,
                                        const char* name) {
  calls.push_back("DirSetNameContext " + std::to_string(key) + " " + name);
  // Only a negative status is a failure.
  Status status = Injected(Op::DirSetNameContext);
  if (status < 0) return status;
  contexts_.at(static_cast<uint32_t>(context)).nameContext = name;
  return status;
}

Status FakeDirClient::NWDSAllocBuf(std::size_t size, BufferHandle* buffer) {
  calls.push_back("NWDSAllocBuf " + std::to_string(size));
  if (Status s = Injected(Op::NWDSAllocBuf)) return s;
  uint32_t handle = nextHandle_++;
  calls.back() += " -> " + std::to_string(handle);
  buffers_[handle] = Buffer{};
  *buffer = static_cast<BufferHandle>(handle);
  return 0;
}

Status FakeDirClient::NWDSList(ContextHandle contextHandle, const char* object,
                               dirclient::IterationHandle* iteration,
                               BufferHandle bufferHandle) {
  Context& context = contexts_.at(static_cast<uint32_t>(contextHandle));
  calls.push_back("NWDSList " + context.nameContext + " " + std::to_string(*iteration));
  if (Status s = Injected(Op::NWDSList)) return s;
  if (*object) return dirclient::kBadName;
  auto found = children_.find(context.nameContext);
  static const std::vector<Object> kNone;
  const std::vector<Object>& all = found == children_.end() ? kNone : found->second;
  if (*iteration == dirclient::kNoIteration) context.next = 0;
  Buffer& buffer = buffers_.at(static_cast<uint32_t>(bufferHandle));
  size_t end = std::min(all.size(), context.next + static_cast<size_t>(batchSize));
  buffer.batch.assign(all.begin() + static_cast<long>(context.next),
                      all.begin() + static_cast<long>(end));
  buffer.read = 0;
  context.next = end;
  *iteration = end == all.size() ? dirclient::kNoIteration : static_cast<int32_t>(end);
  return 0;
}

Status FakeDirClient::DirCountObjects(ContextHandle, BufferHandle bufferHandle,
                                      uint32_t* count) {
  calls.push_back("DirCountObjects");
  if (Status s = Injected(Op::DirCountObjects)) return s;
  *count = static_cast<uint32_t>(buffers_.at(static_cast<uint32_t>(bufferHandle)).batch.size());
  return 0;
}

Status FakeDirClient::NWDSGetObjectName(ContextHandle, BufferHandle bufferHandle,
                                        char (&name)[dirclient::kObjectNameSize],
                                        uint32_t* attributeCount,
                                        dirclient::ObjectInfo* info) {
  Buffer& buffer = buffers_.at(static_cast<uint32_t>(bufferHandle));
  const Object& object = buffer.batch.at(buffer.read++);
  calls.push_back("NWDSGetObjectName " + object.name);
  if (Status s = Injected(Op::NWDSGetObjectName)) return s;
  std::snprintf(name, sizeof name, "%s", object.name.c_str());
  *attributeCount = 0;
  info->objectFlags = object.flags;
  return 0;
}

Status FakeDirClient::DirOpenAttributeStream(ContextHandle contextHandle, const char* object,
                                             const char* attribute, int32_t mode,
                                             StreamHandle* stream) {
  calls.push_back(std::string("DirOpenAttributeStream ") + object + " \"" + attribute +
                  "\" " + std::to_string(mode));
  if (Status s = Injected(Op::DirOpenAttributeStream)) return s;
  const Context& context = contexts_.at(static_cast<uint32_t>(contextHandle));
  for (const Object& candidate : children_[context.nameContext]) {
    if (candidate.name != object) continue;
    if (!candidate.script) return dirclient::kNoSuchAttribute;
    uint32_t handle = nextHandle_++;
    streams_[handle] = Stream{*candidate.script, 0};
    *stream = static_cast<StreamHandle>(handle);
    return 0;
  }
  return dirclient::kNoSuchObject;
}

Status FakeDirClient::DirReadStream(StreamHandle streamHandle, void* data, uint32_t size,
                                    uint32_t* bytesRead) {
  calls.push_back("DirReadStream " + std::to_string(size));
  Stream& stream = streams_.at(static_cast<uint32_t>(streamHandle));
  size_t count = std::min<size_t>(size, stream.bytes.size() - stream.position);
  std::memcpy(data, stream.bytes.data() + stream.position, count);
  stream.position += count;
  *bytesRead = static_cast<uint32_t>(count);
  return Injected(Op::DirReadStream);
}

Status FakeDirClient::DirCloseStream(StreamHandle stream) {
  calls.push_back("DirCloseStream");
  streams_.erase(static_cast<uint32_t>(stream));
  return Injected(Op::DirCloseStream);
}

Status FakeDirClient::DirReleaseBuffer(BufferHandle buffer) {
  calls.push_back("DirReleaseBuffer " + std::to_string(static_cast<uint32_t>(buffer)));
  buffers_.erase(static_cast<uint32_t>(buffer));
  return Injected(Op::DirReleaseBuffer);
}

Status FakeDirClient::DirReleaseContext(ContextHandle context) {
  calls.push_back("DirReleaseContext " + std::to_string(static_cast<uint32_t>(context)));
  contexts_.erase(static_cast<uint32_t>(context));
  return Injected(Op::DirReleaseContext);
}

}  // namespace qovant_test
