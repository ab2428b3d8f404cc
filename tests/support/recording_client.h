// The real client over a tree given as LDIF text, wrapped for testing the
// tool: every call is recorded in order in a short text form, and the n-th
// call of any operation can be made to fail with a given status.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "client/tree_client.h"
#include "ldif_text.h"

namespace qovant_test {

using base::Status;

inline std::unique_ptr<tree::LoadedTree> LoadText(std::string_view ldif) {
  auto loaded = std::make_unique<tree::LoadedTree>();
  base::Failure error = LoadLdifText(ldif, loaded->tree);
  EXPECT_EQ(error.status, base::kOk) << error.line << ": " << error.message;
  return loaded;
}

class RecordingClient : public client::DirClient {
 public:
  explicit RecordingClient(std::string_view ldif) : real_(LoadText(ldif)) {}
  // The n-th call (1-based) of the operation named `op` returns `status`. The
  // call still reaches the real client first, unless it would take a handle.
  void Fail(const std::string& op, int nthCall, Status status) {
    failures_[{op, nthCall}] = status;
  }

  std::vector<std::string> calls;
  std::vector<std::string> unsearched;  // what DirUnsearchedParts reports
  // Contexts, buffers and streams not released.
  int OpenHandles() const { return static_cast<int>(open_.size()); }

  Status NWCallsInit(const void* a, const void* b) override {
    return Record("NWCallsInit", real_.NWCallsInit(a, b));
  }
  // ASCII and country 49, whatever the locale the tests run in.
  Status DirQueryLocale(client::LocaleRecord* locale) override {
    Status status = real_.DirQueryLocale(locale);
    client::SetLocaleCodePage(locale, base::kCodePageAscii);
    client::SetLocaleCountryId(locale, 49);
    return Record("DirQueryLocale", status);
  }
  Status NWInitUnicodeTables(uint32_t country, uint32_t page) override {
    return Record("NWInitUnicodeTables " + std::to_string(country) + " " + std::to_string(page),
                  real_.NWInitUnicodeTables(country, page));
  }
  Status DirReleaseUnicodeTables() override {
    return Record("DirReleaseUnicodeTables", real_.DirReleaseUnicodeTables());
  }
  Status NWDSCreateContext(client::ContextHandle* context) override {
    if (Status s = Record("NWDSCreateContext", 0)) return s;
    Status status = real_.NWDSCreateContext(context);
    return Taken("c", status, static_cast<uint32_t>(*context));
  }
  Status DirSetNameContext(client::ContextHandle context, int32_t key, const char* name) override {
    nameContexts_[static_cast<uint32_t>(context)] = name;
    return Record("DirSetNameContext " + std::to_string(key) + " " + name,
                  real_.DirSetNameContext(context, key, name));
  }
  Status NWDSAllocBuf(std::size_t size, client::BufferHandle* buffer) override {
    if (Status s = Record("NWDSAllocBuf " + std::to_string(size), 0)) return s;
    Status status = real_.NWDSAllocBuf(size, buffer);
    return Taken("b", status, static_cast<uint32_t>(*buffer));
  }
  // The iteration shows as -1 (a first listing) or "on" (a later batch).
  Status NWDSList(client::ContextHandle context, const char* object,
                  client::IterationHandle* iteration, client::BufferHandle buffer) override {
    std::string call = "NWDSList " + nameContexts_[static_cast<uint32_t>(context)] + object +
                       (*iteration == client::kNoIteration ? " -1" : " on");
    return Record(call, real_.NWDSList(context, object, iteration, buffer));
  }
  Status DirCountObjects(client::ContextHandle context, client::BufferHandle buffer,
                         uint32_t* count) override {
    return Record("DirCountObjects", real_.DirCountObjects(context, buffer, count));
  }
  Status NWDSGetObjectName(client::ContextHandle context, client::BufferHandle buffer,
                           char (&name)[client::kObjectNameSize], uint32_t* attributeCount,
                           client::ObjectInfo* info) override {
    Status status = real_.NWDSGetObjectName(context, buffer, name, attributeCount, info);
    return Record(std::string("NWDSGetObjectName ") + name, status);
  }
  Status DirOpenAttributeStream(client::ContextHandle context, const char* object,
                                const char* attribute, int32_t mode,
                                client::StreamHandle* stream) override {
    std::string call = std::string("DirOpenAttributeStream ") + object + " \"" + attribute + "\" " +
                       std::to_string(mode);
    if (Status s = Record(call, 0)) return s;
    Status status = real_.DirOpenAttributeStream(context, object, attribute, mode, stream);
    if (status == 0) open_.insert("s" + std::to_string(static_cast<uint32_t>(*stream)));
    return status;
  }
  Status DirReadStream(client::StreamHandle stream, void* data, uint32_t size,
                       uint32_t* bytesRead) override {
    return Record("DirReadStream " + std::to_string(size),
                  real_.DirReadStream(stream, data, size, bytesRead));
  }
  Status DirCloseStream(client::StreamHandle stream) override {
    open_.erase("s" + std::to_string(static_cast<uint32_t>(stream)));
    return Record("DirCloseStream", real_.DirCloseStream(stream));
  }
  Status DirReleaseBuffer(client::BufferHandle buffer) override {
    std::string handle = "b" + std::to_string(static_cast<uint32_t>(buffer));
    open_.erase(handle);
    return Record("DirReleaseBuffer " + handle, real_.DirReleaseBuffer(buffer));
  }
  Status DirReleaseContext(client::ContextHandle context) override {
    std::string handle = "c" + std::to_string(static_cast<uint32_t>(context));
    open_.erase(handle);
    return Record("DirReleaseContext " + handle, real_.DirReleaseContext(context));
  }
  const std::vector<std::string>& DirUnsearchedParts() const override {
    return unsearched.empty() ? real_.DirUnsearchedParts() : unsearched;
  }

 private:
  // Records the call; returns the injected status if any, else `status`.
  Status Record(std::string call, Status status) {
    std::string op = call.substr(0, call.find(' '));
    calls.push_back(std::move(call));
    auto failure = failures_.find({op, ++callCounts_[op]});
    return failure == failures_.end() ? status : failure->second;
  }
  // Records the handle a successful create or alloc took: "-> c1", "-> b2".
  Status Taken(const char* kind, Status status, uint32_t handle) {
    if (status != 0) return status;
    calls.back() += std::string(" -> ") + kind + std::to_string(handle);
    open_.insert(kind + std::to_string(handle));
    return status;
  }

  client::TreeClient real_;
  std::map<std::pair<std::string, int>, Status> failures_;
  std::map<std::string, int> callCounts_;
  std::map<uint32_t, std::string> nameContexts_;
  std::set<std::string> open_;
};

}  // namespace qovant_test
