// A directory client with one fixed chain, [Root] > O=Org > OU=Unit > CN=Fuzz,
// where only CN=Fuzz has a login script: the script check alone, with the
// walk around it, at the speed a fuzzer needs.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "client/dirclient.h"

namespace qovant_fuzz {

class OneScriptClient : public dirclient::DirClient {
 public:
  OneScriptClient(std::string script, uint32_t codePage)
      : script_(std::move(script)), codePage_(codePage) {}

  // Where the tool asked for the script to go, and how many bytes at most.
  const void* readTarget() const { return readTarget_; }
  uint32_t readSize() const { return readSize_; }
  // Contexts, buffers and streams taken and not given back.
  int openHandles() const { return openHandles_; }

  dirclient::Status NWCallsInit(const void*, const void*) override { return 0; }
  dirclient::Status DirQueryLocale(dirclient::LocaleRecord* locale) override;
  dirclient::Status NWInitUnicodeTables(uint32_t, uint32_t) override { return 0; }
  dirclient::Status DirReleaseUnicodeTables() override { return 0; }
  dirclient::Status NWDSCreateContext(dirclient::ContextHandle* context) override;
  dirclient::Status DirSetNameContext(dirclient::ContextHandle context, int32_t key,
                                      const char* name) override;
  dirclient::Status NWDSAllocBuf(std::size_t size, dirclient::BufferHandle* buffer) override;
  dirclient::Status NWDSList(dirclient::ContextHandle context, const char* object,
                             dirclient::IterationHandle* iteration,
                             dirclient::BufferHandle buffer) override;
  dirclient::Status DirCountObjects(dirclient::ContextHandle context,
                                    dirclient::BufferHandle buffer,
                                    uint32_t* count) override;
  dirclient::Status NWDSGetObjectName(dirclient::ContextHandle context,
                                      dirclient::BufferHandle buffer,
                                      char (&name)[dirclient::kObjectNameSize],
                                      uint32_t* attributeCount,
                                      dirclient::ObjectInfo* info) override;
  dirclient::Status DirOpenAttributeStream(dirclient::ContextHandle context,
                                           const char* object, const char* attribute,
                                           int32_t mode,
                                           dirclient::StreamHandle* stream) override;
  dirclient::Status DirReadStream(dirclient::StreamHandle stream, void* data, uint32_t size,
                                  uint32_t* bytesRead) override;
  dirclient::Status DirCloseStream(dirclient::StreamHandle stream) override;
  dirclient::Status DirReleaseBuffer(dirclient::BufferHandle buffer) override;
  dirclient::Status DirReleaseContext(dirclient::ContextHandle context) override;

 private:
  static constexpr int kSlots = 4;  // the walk holds one per open level, 3 here
  struct Slot {
    bool used = false;
    int level = -1;  // contexts: the level of the name context, -1 for none
  };

  template <typename Handle>
  static Slot* Find(Slot (&slots)[kSlots], Handle handle);
  template <typename Handle>
  bool Take(Slot (&slots)[kSlots], Handle* handle);

  std::string script_;
  uint32_t codePage_;
  Slot contexts_[kSlots];
  Slot buffers_[kSlots];  // level: the level whose one child the batch holds
  bool streamOpen_ = false;
  std::size_t streamPosition_ = 0;
  int openHandles_ = 0;
  const void* readTarget_ = nullptr;
  uint32_t readSize_ = 0;
};

}  // namespace qovant_fuzz
