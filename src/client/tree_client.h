// The started client: serves the directory operations from a loaded tree.
//
// Contexts, reply buffers and streams live in tables owned by the client and
// are named by small handles, so nothing the tool forgets to release can
// outlive the client.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/environment.h"
#include "client/client.h"
#include "client/tree_source.h"

namespace client {

class TreeClient : public DirClient {
 public:
  // Loads its tree from `source` when it starts; the locale query reads
  // LC_ALL, LC_CTYPE and LANG from `environment`.
  TreeClient(TreeSource& source, const base::Environment& environment);
  // Serves an already loaded tree (tests, other backends).
  explicit TreeClient(std::unique_ptr<tree::LoadedTree> loaded);
  ~TreeClient() override;

  base::Status NWCallsInit(const void* reserved1, const void* reserved2) override;
  base::Status DirQueryLocale(LocaleRecord* locale) override;
  base::Status NWInitUnicodeTables(uint32_t countryId, uint32_t codePage) override;
  base::Status DirReleaseUnicodeTables() override;
  base::Status NWDSCreateContext(ContextHandle* context) override;
  base::Status DirSetNameContext(ContextHandle context, int32_t key, const char* name) override;
  base::Status NWDSAllocBuf(std::size_t size, BufferHandle* buffer) override;
  base::Status NWDSList(ContextHandle context, const char* object, IterationHandle* iteration,
                        BufferHandle buffer) override;
  base::Status DirCountObjects(ContextHandle context, BufferHandle buffer,
                               uint32_t* count) override;
  base::Status NWDSGetObjectName(ContextHandle context, BufferHandle buffer,
                                 char (&name)[kObjectNameSize], uint32_t* attributeCount,
                                 ObjectInfo* info) override;
  base::Status DirOpenAttributeStream(ContextHandle context, const char* object,
                                      const char* attribute, int32_t mode,
                                      StreamHandle* stream) override;
  base::Status DirReadStream(StreamHandle stream, void* data, uint32_t size,
                             uint32_t* bytesRead) override;
  base::Status DirCloseStream(StreamHandle stream) override;
  base::Status DirReleaseBuffer(BufferHandle buffer) override;
  base::Status DirReleaseContext(ContextHandle context) override;
  const std::vector<std::string>& DirUnsearchedParts() const override;

 private:
  struct Context;
  struct Buffer;
  struct Stream;
  Context* FindContext(ContextHandle handle);
  Buffer* FindBuffer(BufferHandle handle);
  Stream* FindStream(StreamHandle handle);
  tree::DirTree::NodeId ResolveObject(Context& context, const char* object,
                                      base::Status* status) const;

  TreeSource* source_ = nullptr;
  base::Environment environment_;
  std::unique_ptr<tree::LoadedTree> loaded_;
  bool started_ = false;
  tree::DirTree::NodeId lastListed_ = tree::DirTree::kNone;  // last object read from a batch
  std::vector<std::unique_ptr<Context>> contexts_;
  std::vector<std::unique_ptr<Buffer>> buffers_;
  std::vector<std::unique_ptr<Stream>> streams_;
};

}  // namespace client
