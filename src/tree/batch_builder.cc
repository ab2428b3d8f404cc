#include "tree/batch_builder.h"

#include <utility>

namespace dirclient {
namespace {

bool Fail(BuildFault* fault, BuildFault::Kind kind, const FoundEntry& entry) {
  fault->kind = kind;
  fault->place = entry.place;
  return false;
}

}  // namespace

bool BatchBuilder::Add(const FoundBatch& batch, BuildFault* fault) {
  std::string_view text = batch.text;
  added_ = 0;
  // One entry is kept pending while the next one's DN is parsed, so that
  // its hash slot, fetched when it was begun, has arrived from memory by
  // the time it is looked up. An entry that is not a sibling of the one
  // before may look up any node: the pending one is finished first.
  EntryPaths::Pending pending[2];
  const FoundEntry* waiting = nullptr;  // the entry of pending[turn ^ 1]
  size_t turn = 0;
  auto completeWaiting = [&] {
    const FoundEntry* entry = std::exchange(waiting, nullptr);
    return !entry || Complete(*entry, pending[turn ^ 1], text, fault);
  };
  bool ok = true;
  for (const FoundEntry& entry : batch.entries) {
    std::string_view dnText = text.substr(entry.dnBegin, entry.dnLength);
    if (!assembler_.paths().BeginSibling(tree_, dnText, parsers_[turn], &pending[turn])) {
      if (!(ok = completeWaiting())) break;
      if (!assembler_.paths().BeginAny(tree_, dnText, parsers_[turn], &pending[turn])) {
        fault->dn.assign(dnText);
        ok = Fail(fault, BuildFault::Kind::kBadDn, entry);
        break;
      }
      if (pending[turn].empty) {
        ok = Fail(fault, BuildFault::Kind::kEmptyDn, entry);
        break;
      }
    }
    if (!(ok = completeWaiting())) break;
    waiting = &entry;
    turn ^= 1;
  }
  ok = ok && completeWaiting();
  if (counter_ && added_) counter_->Counted(added_);
  return ok;
}

bool BatchBuilder::Complete(const FoundEntry& entry, const EntryPaths::Pending& pending,
                            std::string_view text, BuildFault* fault) {
  EntryFacts facts;
  facts.flags = entry.flags;
  facts.hasScript = entry.hasScript;
  facts.scriptOffset = entry.scriptOffset;
  facts.scriptLength = entry.scriptLength;
  facts.hasAlias = entry.hasAlias;
  facts.aliasTarget = text.substr(entry.aliasBegin, entry.aliasLength);
  // Its DN comes before any of its attributes the reader failed on.
  auto result = assembler_.Complete(pending, text.substr(entry.dnBegin, entry.dnLength),
                                    entry.place, facts, &fault->first);
  if (result == EntryAssembler::Result::kRefused)
    return Fail(fault, BuildFault::Kind::kRepeatedDn, entry);
  if (entry.failed) return Fail(fault, BuildFault::Kind::kReaderFailed, entry);
  if (result == EntryAssembler::Result::kAdded) ++added_;
  return true;
}

}  // namespace dirclient
