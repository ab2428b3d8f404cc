#include "client/locale_record.h"

#include <cstring>

namespace client {
namespace {

constexpr std::size_t kCodePageOffset = 56;
constexpr std::size_t kCountryIdOffset = 60;

uint32_t GetLittleEndian(const LocaleRecord& record, std::size_t offset) {
  const uint8_t* b = record.bytes + offset;
  return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

void PutLittleEndian(LocaleRecord* record, std::size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) record->bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

uint32_t LocaleCodePage(const LocaleRecord& record) {
  return GetLittleEndian(record, kCodePageOffset);
}
uint32_t LocaleCountryId(const LocaleRecord& record) {
  return GetLittleEndian(record, kCountryIdOffset);
}
void SetLocaleCodePage(LocaleRecord* record, uint32_t codePage) {
  PutLittleEndian(record, kCodePageOffset, codePage);
}
void SetLocaleCountryId(LocaleRecord* record, uint32_t countryId) {
  PutLittleEndian(record, kCountryIdOffset, countryId);
}

}  // namespace client
