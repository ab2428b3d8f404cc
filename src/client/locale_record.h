#pragma once

#include <cstdint>

namespace client {

// The locale the client reports: its code page and country, kept at the
// offsets of the record the operations pass.
struct LocaleRecord {
  uint8_t bytes[128];
};
uint32_t LocaleCodePage(const LocaleRecord& record);
uint32_t LocaleCountryId(const LocaleRecord& record);
void SetLocaleCodePage(LocaleRecord* record, uint32_t codePage);
void SetLocaleCountryId(LocaleRecord* record, uint32_t countryId);

}  // namespace client
