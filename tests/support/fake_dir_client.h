// A directory client over a tree held in code, for testing the tool.
//
// It records every call in order, in a short text form, and can be told to
// fail any operation at its n-th call with a given status.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "client/dirclient.h"

namespace qovant_test {

using dirclient::Status;

class FakeDirClient : public dirclient::DirClient {
 public:
  enum class Op {
    NWCallsInit, DirQueryLocale, NWInitUnicodeTables, DirReleaseUnicodeTables,
    NWDSCreateContext, DirSetNameContext, NWDSAllocBuf, NWDSList, DirCountObjects,
    NWDSGetObjectName, DirOpenAttributeStream, DirReadStream, DirCloseStream,
    DirReleaseBuffer, DirReleaseContext,
  };

  // Adds an object below `parent` ("[Root]" for the top); returns its full
  // name. A null script means the object has none.
  std::string Add(const std::string& parent, const std::string& name, uint32_t flags,
                  const char* script = nullptr);
  std::string Add(const std::string& parent, const std::string& name, uint32_t flags,
                  const std::string& script);
  // The n-th call (1-based) of `op` returns `status`.
  void Fail(Op op, int nthCall, Status status);

  int batchSize = 1000;
  uint32_t codePage = dirclient::kCodePageAscii;
  std::vector<std::string> calls;
  std::vector<std::string> unsearched;  // what DirUnsearchedParts reports

  // Contexts, buffers and streams not released.
  int OpenHandles() const;

  Status NWCallsInit(const void*, const void*) override;
  Status DirQueryLocale(dirclient::LocaleRecord* locale) override;
  Status NWInitUnicodeTables(uint32_t countryId, uint32_t codePage) override;
  Status DirReleaseUnicodeTables() override;
  Status NWDSCreateContext(dirclient::ContextHandle* context) override;
  Status DirSetNameContext(dirclient::ContextHandle context, int32_t key,
                           const char* name) override;
  Status NWDSAllocBuf(std::size_t size, dirclient::BufferHandle* buffer) override;
  Status NWDSList(dirclient::ContextHandle context, const char* object,
                  dirclient::IterationHandle* iteration,
                  dirclient::BufferHandle buffer) override;
  Status DirCountObjects(dirclient::ContextHandle context, dirclient::BufferHandle buffer,
                         uint32_t* count) override;
  Status NWDSGetObjectName(dirclient::ContextHandle context, dirclient::BufferHandle buffer,
                           char (&name)[dirclient::kObjectNameSize],
                           uint32_t* attributeCount, dirclient::ObjectInfo* info) override;
  Status DirOpenAttributeStream(dirclient::ContextHandle context, const char* object,
                                const char* attribute, int32_t mode,
                                dirclient::StreamHandle* stream) override;
  Status DirReadStream(dirclient::StreamHandle stream, void* data, uint32_t size,
                       uint32_t* bytesRead) override;
  Status DirCloseStream(dirclient::StreamHandle stream) override;
  Status DirReleaseBuffer(dirclient::BufferHandle buffer) override;
  Status DirReleaseContext(dirclient::ContextHandle context) override;
  const std::vector<std::string>& DirUnsearchedParts() const override { return unsearched; }

 private:
  struct Object {
    std::string name;
    uint32_t flags;
    std::optional<std::string> script;
  };
  struct Context {
    std::string nameContext = "[Root]";
    size_t next = 0;  // next child of an open listing
  };
  struct Buffer {
    std::vector<Object> batch;
    size_t read = 0;
  };
  struct Stream {
    std::string bytes;
    size_t position = 0;
  };

  // Counts the call and returns the injected status, 0 if none.
  Status Injected(Op op);
  static std::string FullName(const std::string& parent, const std::string& name);

  std::map<std::string, std::vector<Object>> children_;  // by full name
  std::map<std::pair<Op, int>, Status> failures_;
  std::map<Op, int> callCounts_;
  std::map<uint32_t, Context> contexts_;
  std::map<uint32_t, Buffer> buffers_;
  std::map<uint32_t, Stream> streams_;
  uint32_t nextHandle_ = 1;
};

}  // namespace qovant_test
