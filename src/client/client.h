// The directory client's operations, as the search tool sees them.
//
// The tool reaches a directory through this interface and nothing else, so
// that the tree behind it (an LDIF file, a live server, or a fake in tests)
// can change without a change to the tool. Every operation returns a Status:
// 0 for success, a negative value naming the cause otherwise (status.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "base/status.h"
#include "client/locale_record.h"

namespace client {

// Handles are small numbers the client hands out; 0 is never a valid one.
enum class ContextHandle : uint32_t {};
enum class BufferHandle : uint32_t {};
enum class StreamHandle : uint32_t {};

// -1 before the first listing of a container and after its last batch.
using IterationHandle = int32_t;
inline constexpr IterationHandle kNoIteration = -1;

inline constexpr int32_t kNameContextKey = 3;  // DirSetNameContext key
inline constexpr int32_t kStreamRead = 1;      // DirOpenAttributeStream mode
inline constexpr std::size_t kReplyBufferSize = 4096;
inline constexpr std::size_t kObjectNameSize = 260;  // 259 bytes and terminator

// The name a listing of the whole tree starts from.
inline constexpr char kRootName[] = "[Root]";
// The attribute a login script is read from as a stream.
inline constexpr char kLoginScriptName[] = "Login Script";

// What NWDSGetObjectName fills in besides the name: 80 bytes, of which the
// flags are the tool's to read; the rest belongs to the client.
struct ObjectInfo {
  uint32_t objectFlags;
  uint8_t clientData[76];
};
static_assert(sizeof(ObjectInfo) == 80);

// Filled by DirQueryLocale: 128 bytes, code page at byte 56 and country
// identifier at byte 60, both little-endian 32-bit values.

// Code pages the client reports and the tool's upper-casing understands.

class DirClient {
 public:
  virtual ~DirClient() = default;

  // Start-up: loads or connects to the tree. Both arguments must be null.
  virtual base::Status NWCallsInit(const void* reserved1, const void* reserved2) = 0;
  virtual base::Status DirQueryLocale(LocaleRecord* locale) = 0;
  virtual base::Status NWInitUnicodeTables(uint32_t countryId, uint32_t codePage) = 0;
  virtual base::Status DirReleaseUnicodeTables() = 0;

  virtual base::Status NWDSCreateContext(ContextHandle* context) = 0;
  // Only a negative status is a failure; the name is copied.
  virtual base::Status DirSetNameContext(ContextHandle context, int32_t key, const char* name) = 0;
  virtual base::Status NWDSAllocBuf(std::size_t size, BufferHandle* buffer) = 0;
  // Lists the next batch of the immediate subordinates of `object`, relative
  // to the context's name context ("" for the name context itself).
  virtual base::Status NWDSList(ContextHandle context, const char* object,
                                IterationHandle* iteration, BufferHandle buffer) = 0;
  virtual base::Status DirCountObjects(ContextHandle context, BufferHandle buffer,
                                       uint32_t* count) = 0;
  // Reads the next object of the batch; the next call moves on, after a
  // failure too.
  virtual base::Status NWDSGetObjectName(ContextHandle context, BufferHandle buffer,
                                         char (&name)[kObjectNameSize], uint32_t* attributeCount,
                                         ObjectInfo* info) = 0;
  virtual base::Status DirOpenAttributeStream(ContextHandle context, const char* object,
                                              const char* attribute, int32_t mode,
                                              StreamHandle* stream) = 0;
  // Reads at most `size` bytes; continues where the last read stopped.
  virtual base::Status DirReadStream(StreamHandle stream, void* data, uint32_t size,
                                     uint32_t* bytesRead) = 0;
  virtual base::Status DirCloseStream(StreamHandle stream) = 0;
  virtual base::Status DirReleaseBuffer(BufferHandle buffer) = 0;
  // Also ends a listing left open on the context.
  virtual base::Status DirReleaseContext(ContextHandle context) = 0;

  // Parts of the tree the client knows it could not serve although it
  // started: a read that a server limit cut (as an export records it), or a
  // search reference to another server. One line of text each, asked for
  // once the walk is done; the search is then incomplete.
  virtual const std::vector<std::string>& DirUnsearchedParts() const;
};

}  // namespace client
