#include "ldap/ldap_read_ahead.h"

#include <algorithm>
#include <cstring>

namespace ldap_reader {

Sockbuf_IO ReadAhead::io_ = {&ReadAhead::Setup, &ReadAhead::Remove, &ReadAhead::Control,
                             &ReadAhead::Read,  &ReadAhead::Write,  &ReadAhead::Close};

bool ReadAhead::Install(LDAP* ld) {
  // At the provider level, a layer added last stands above those there
  // already (the socket's own) and below TLS.
  buffer_ = std::make_unique<char[]>(kSize);
  return Add(ld, &io_, LBER_SBIOD_LEVEL_PROVIDER, this);
}

int ReadAhead::Control(Sockbuf_IO_Desc* layer, int option, void* argument) {
  auto* self = static_cast<ReadAhead*>(layer->sbiod_pvt);
  if (option == LBER_SB_OPT_DATA_READY && self->begin_ != self->end_) return 1;
  return LBER_SBIOD_CTRL_NEXT(layer, option, argument);
}

ber_slen_t ReadAhead::Read(Sockbuf_IO_Desc* layer, void* to, ber_len_t size) {
  auto* self = static_cast<ReadAhead*>(layer->sbiod_pvt);
  if (self->begin_ == self->end_) {
    // A read as large as the buffer gains nothing from it.
    if (size >= kSize) return LBER_SBIOD_READ_NEXT(layer, to, size);
    ber_slen_t got = LBER_SBIOD_READ_NEXT(layer, self->buffer_.get(), kSize);
    if (got <= 0) return got;
    self->begin_ = 0;
    self->end_ = static_cast<std::size_t>(got);
  }
  std::size_t taken = std::min<std::size_t>(size, self->end_ - self->begin_);
  std::memcpy(to, self->buffer_.get() + self->begin_, taken);
  self->begin_ += taken;
  return static_cast<ber_slen_t>(taken);
}

}  // namespace ldap_reader
