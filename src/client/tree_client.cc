#include "client/tree_client.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/status.h"
#include "client/locale_query.h"
#include "tree/entry_mapping.h"
#include "tree/name_mapping.h"

namespace client {
namespace {

// The tree keeps each object's flags as the listing hands them over.

constexpr std::size_t kMinBufferSize = 1024;
constexpr std::size_t kMaxBufferSize = 1 << 20;
constexpr std::size_t kMaxListedName = kObjectNameSize - 1;

// A listing hands over as many objects as a reply of the buffer's size
// holds: a count, then per object its node, flags and name length, and the
// name unless it is too long to hand to the tool. Callers see where a batch
// ends (the walk does), so the batches keep that size, though the objects
// are kept as nodes.
constexpr std::size_t kEntryHeader = 4 + 4 + 4;
constexpr std::size_t kBatchHeader = 4;

// The login script is asked for by its directory name, "Login Script": the
// LDAP attribute is that name without its blanks, in any case.
bool IsLoginScriptAttribute(const char* attribute) {
  // The spelling callers use, asked for once an object, before any other.
  if (std::strcmp(attribute, kLoginScriptName) == 0) return true;
  constexpr std::string_view kName = tree::kLoginScriptAttribute;
  std::size_t matched = 0;
  for (const char* c = attribute; *c; ++c) {
    if (*c == ' ') continue;
    if (matched == kName.size() || tree::AsciiLower(*c) != tree::AsciiLower(kName[matched]))
      return false;
    ++matched;
  }
  return matched == kName.size();
}

// Handles are table index + 1, so that 0 is never valid.
template <typename Table>
uint32_t TakeSlot(Table& table) {
  for (std::size_t i = 0; i < table.size(); ++i)
    if (!table[i]->used) return static_cast<uint32_t>(i + 1);
  table.push_back(std::make_unique<typename Table::value_type::element_type>());
  return static_cast<uint32_t>(table.size());
}

template <typename Table>
auto* FindSlot(Table& table, uint32_t handle) {
  using Slot = typename Table::value_type::element_type;
  if (handle == 0 || handle > table.size() || !table[handle - 1]->used)
    return static_cast<Slot*>(nullptr);
  return table[handle - 1].get();
}

}  // namespace

struct TreeClient::Context {
  bool used = false;
  tree::DirTree::NodeId nameContext = tree::DirTree::kRoot;  // kNone: names no object
  // An open listing: the container and the next child to hand out.
  bool listing = false;
  tree::DirTree::NodeId listed = tree::DirTree::kNone;
  tree::DirTree::NodeId next = tree::DirTree::kNone;
  // The last object read from a reply buffer, so that opening its stream
  // right after needs no lookup.
  tree::DirTree::NodeId lastObject = tree::DirTree::kNone;
};

struct TreeClient::Buffer {
  bool used = false;
  std::size_t size = 0;                       // as allocated
  std::vector<tree::DirTree::NodeId> listed;  // by the last listing, in order
  uint32_t read = 0;
};

struct TreeClient::Stream {
  bool used = false;
  std::string_view bytes;
  std::size_t position = 0;
};

TreeClient::TreeClient(TreeSource& source, const base::Environment& environment)
    : source_(&source), environment_(environment) {}

TreeClient::TreeClient(std::unique_ptr<tree::LoadedTree> loaded) : loaded_(std::move(loaded)) {}

TreeClient::~TreeClient() = default;

TreeClient::Context* TreeClient::FindContext(ContextHandle handle) {
  return FindSlot(contexts_, static_cast<uint32_t>(handle));
}
TreeClient::Buffer* TreeClient::FindBuffer(BufferHandle handle) {
  return FindSlot(buffers_, static_cast<uint32_t>(handle));
}
TreeClient::Stream* TreeClient::FindStream(StreamHandle handle) {
  return FindSlot(streams_, static_cast<uint32_t>(handle));
}

base::Status TreeClient::NWCallsInit(const void* reserved1, const void* reserved2) {
  if (reserved1 || reserved2) return base::kBadArgument;
  if (started_) return base::kAlreadyStarted;
  if (!loaded_) {
    base::Status status = source_ ? source_->Load(&loaded_) : base::kNoTreeConfigured;
    if (status != base::kOk) return status;
  }
  started_ = true;
  return base::kOk;
}

const std::vector<std::string>& TreeClient::DirUnsearchedParts() const {
  return loaded_ ? loaded_->unsearched : DirClient::DirUnsearchedParts();
}

base::Status TreeClient::DirQueryLocale(LocaleRecord* locale) {
  if (!locale) return base::kBadArgument;
  LocaleInfo info = QueryLocale(environment_.Get("LC_ALL"), environment_.Get("LC_CTYPE"),
                                environment_.Get("LANG"));
  SetLocaleCodePage(locale, info.codePage);
  SetLocaleCountryId(locale, info.countryId);
  return base::kOk;
}

base::Status TreeClient::NWInitUnicodeTables(uint32_t, uint32_t codePage) {
  if (!started_) return base::kNotStarted;
  return IsKnownCodePage(codePage) ? base::kOk : base::kUnknownCodePage;
}

base::Status TreeClient::DirReleaseUnicodeTables() {
  return started_ ? base::kOk : base::kNotStarted;
}

base::Status TreeClient::NWDSCreateContext(ContextHandle* context) {
  if (!started_) return base::kNotStarted;
  if (!context) return base::kBadArgument;
  uint32_t handle = TakeSlot(contexts_);
  *contexts_[handle - 1] = Context{};
  contexts_[handle - 1]->used = true;
  *context = static_cast<ContextHandle>(handle);
  return base::kOk;
}

base::Status TreeClient::DirSetNameContext(ContextHandle handle, int32_t key, const char* name) {
  Context* context = FindContext(handle);
  if (!context) return base::kBadContext;
  if (key != kNameContextKey) return base::kBadContextKey;
  if (!name) return base::kBadArgument;
  if (std::strcmp(name, kRootName) == 0) {
    context->nameContext = tree::DirTree::kRoot;
    return base::kOk;
  }
  // A walk names the container it just read from a listing: try that
  // object before a lookup from the top.
  if (loaded_->tree.HasFullName(lastListed_, name)) {
    context->nameContext = lastListed_;
    return base::kOk;
  }
  bool parsed;
  tree::DirTree::NodeId node = loaded_->tree.Resolve(tree::DirTree::kRoot, name, &parsed);
  if (!parsed) return base::kBadName;
  // A name that parses but names nothing fails later, when it is listed.
  context->nameContext = node;
  return base::kOk;
}

base::Status TreeClient::NWDSAllocBuf(std::size_t size, BufferHandle* buffer) {
  if (!started_) return base::kNotStarted;
  if (!buffer) return base::kBadArgument;
  if (size < kMinBufferSize || size > kMaxBufferSize) return base::kBadBufferSize;
  uint32_t handle = TakeSlot(buffers_);
  Buffer& slot = *buffers_[handle - 1];
  slot.used = true;
  slot.size = size;
  slot.listed.clear();
  slot.listed.reserve(size / kEntryHeader);  // as many as a listing can hand over
  slot.read = 0;
  *buffer = static_cast<BufferHandle>(handle);
  return base::kOk;
}

tree::DirTree::NodeId TreeClient::ResolveObject(Context& context, const char* object,
                                                base::Status* status) const {
  *status = base::kOk;
  if (context.nameContext == tree::DirTree::kNone) {
    *status = base::kNoSuchObject;
    return tree::DirTree::kNone;
  }
  const tree::DirTree& tree = loaded_->tree;
  if (context.lastObject != tree::DirTree::kNone &&
      tree.Parent(context.lastObject) == context.nameContext &&
      tree.Name(context.lastObject) == object)
    return context.lastObject;
  bool parsed;
  tree::DirTree::NodeId node = tree.Resolve(context.nameContext, object, &parsed);
  if (!parsed)
    *status = base::kBadName;
  else if (node == tree::DirTree::kNone)
    *status = base::kNoSuchObject;
  return node;
}

base::Status TreeClient::NWDSList(ContextHandle handle, const char* object,
                                  IterationHandle* iteration, BufferHandle bufferHandle) {
  Context* context = FindContext(handle);
  if (!context) return base::kBadContext;
  Buffer* buffer = FindBuffer(bufferHandle);
  if (!buffer) return base::kBadBuffer;
  if (!object || !iteration) return base::kBadArgument;
  base::Status status;
  tree::DirTree::NodeId container = ResolveObject(*context, object, &status);
  if (status != base::kOk) return status;

  const tree::DirTree& tree = loaded_->tree;
  tree::DirTree::NodeId child;
  if (*iteration == kNoIteration) {
    child = tree.FirstChild(container);
  } else {
    if (!context->listing || context->listed != container ||
        static_cast<tree::DirTree::NodeId>(*iteration) != context->next)
      return base::kBadIteration;
    child = context->next;
  }

  // As many subordinates as fit; a name too long to hand over still takes
  // its place, so that reading it fails and the batch goes on.
  buffer->listed.clear();
  buffer->read = 0;
  std::size_t used = kBatchHeader;
  for (; child != tree::DirTree::kNone; child = tree.NextSibling(child)) {
    std::size_t length = tree.Name(child).size();
    used += kEntryHeader + (length <= kMaxListedName ? length : 0);
    if (used > buffer->size) break;
    buffer->listed.push_back(child);
  }

  context->listing = child != tree::DirTree::kNone;
  context->listed = container;
  context->next = child;
  *iteration = context->listing ? static_cast<IterationHandle>(child) : kNoIteration;
  return base::kOk;
}

base::Status TreeClient::DirCountObjects(ContextHandle handle, BufferHandle bufferHandle,
                                         uint32_t* count) {
  if (!FindContext(handle)) return base::kBadContext;
  Buffer* buffer = FindBuffer(bufferHandle);
  if (!buffer) return base::kBadBuffer;
  if (!count) return base::kBadArgument;
  *count = static_cast<uint32_t>(buffer->listed.size());
  return base::kOk;
}

base::Status TreeClient::NWDSGetObjectName(ContextHandle handle, BufferHandle bufferHandle,
                                           char (&name)[kObjectNameSize], uint32_t* attributeCount,
                                           ObjectInfo* info) {
  Context* context = FindContext(handle);
  if (!context) return base::kBadContext;
  Buffer* buffer = FindBuffer(bufferHandle);
  if (!buffer) return base::kBadBuffer;
  if (!attributeCount || !info) return base::kBadArgument;
  name[0] = '\0';
  if (buffer->read >= buffer->listed.size()) return base::kNoMoreObjects;

  const tree::DirTree& tree = loaded_->tree;
  tree::DirTree::NodeId node = buffer->listed[buffer->read++];
  std::string_view listed = tree.Name(node);
  if (listed.size() > kMaxListedName) return base::kNameTooLong;
  std::memcpy(name, listed.data(), listed.size());
  name[listed.size()] = '\0';
  *attributeCount = 0;
  std::memset(info, 0, sizeof *info);
  info->objectFlags = tree.Flags(node);
  context->lastObject = node;
  lastListed_ = node;
  // The caller reads this object's script next and then, most likely, the
  // next one's: a script is read from memory the load wrote long ago, so
  // the next one is fetched while this one is handled.
  if (buffer->read < buffer->listed.size()) tree.PrefetchScript(buffer->listed[buffer->read]);
  return base::kOk;
}

base::Status TreeClient::DirOpenAttributeStream(ContextHandle handle, const char* object,
                                                const char* attribute, int32_t mode,
                                                StreamHandle* streamHandle) {
  Context* context = FindContext(handle);
  if (!context) return base::kBadContext;
  if (!object || !attribute || !streamHandle) return base::kBadArgument;
  if (mode != kStreamRead) return base::kBadStreamMode;
  if (!IsLoginScriptAttribute(attribute)) return base::kNoSuchAttribute;
  base::Status status;
  tree::DirTree::NodeId node = ResolveObject(*context, object, &status);
  if (status != base::kOk) return status;
  if (!loaded_->tree.HasScript(node)) return base::kNoSuchAttribute;

  uint32_t slot = TakeSlot(streams_);
  Stream& stream = *streams_[slot - 1];
  stream.bytes = loaded_->tree.Script(node);
  stream.used = true;
  stream.position = 0;
  *streamHandle = static_cast<StreamHandle>(slot);
  return base::kOk;
}

base::Status TreeClient::DirReadStream(StreamHandle handle, void* data, uint32_t size,
                                       uint32_t* bytesRead) {
  Stream* stream = FindStream(handle);
  if (!stream) return base::kBadStream;
  if (!bytesRead || (!data && size)) return base::kBadArgument;
  std::size_t count = std::min<std::size_t>(size, stream->bytes.size() - stream->position);
  if (count) std::memcpy(data, stream->bytes.data() + stream->position, count);
  stream->position += count;
  *bytesRead = static_cast<uint32_t>(count);
  return base::kOk;
}

base::Status TreeClient::DirCloseStream(StreamHandle handle) {
  Stream* stream = FindStream(handle);
  if (!stream) return base::kBadStream;
  stream->used = false;
  stream->bytes = {};
  return base::kOk;
}

base::Status TreeClient::DirReleaseBuffer(BufferHandle handle) {
  Buffer* buffer = FindBuffer(handle);
  if (!buffer) return base::kBadBuffer;
  buffer->used = false;
  return base::kOk;
}

base::Status TreeClient::DirReleaseContext(ContextHandle handle) {
  Context* context = FindContext(handle);
  if (!context) return base::kBadContext;
  context->used = false;  // ends a listing left open with it
  return base::kOk;
}

}  // namespace client
