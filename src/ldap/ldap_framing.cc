#include "ldap/ldap_framing.h"

#include <algorithm>

#include "ldap/ldap_limits.h"

namespace ldap_reader {
namespace {

// liblber's bounds on a header (ber_get_next): a tag of at most the bytes of
// a ber_tag_t, a length of at most 4 bytes after its first.
constexpr std::size_t kMostTagBytesAfterFirst = sizeof(ber_tag_t) - 1;
constexpr std::size_t kMostLengthBytes = 4;

}  // namespace

Sockbuf_IO MessageFraming::io_ = {&MessageFraming::Setup,   &MessageFraming::Remove,
                                  &MessageFraming::Control, &MessageFraming::Read,
                                  &MessageFraming::Write,   &MessageFraming::Close};

bool MessageFraming::Install(LDAP* ld) { return Add(ld, &io_, LBER_SBIOD_LEVEL_APPLICATION, this); }

ber_slen_t MessageFraming::Read(Sockbuf_IO_Desc* layer, void* to, ber_len_t size) {
  ber_slen_t got = LBER_SBIOD_READ_NEXT(layer, to, size);
  if (got > 0)
    static_cast<MessageFraming*>(layer->sbiod_pvt)
        ->Follow(static_cast<const unsigned char*>(to), static_cast<std::size_t>(got));
  return got;
}

void MessageFraming::HeaderEnds() {
  if (length_ == 0) {
    fault_ = Fault::kZeroLength;
  } else if (length_ > kMaxIncomingMessage) {
    fault_ = Fault::kOverCap;
  } else {
    part_ = Part::kBody;
  }
}

void MessageFraming::Follow(const unsigned char* bytes, std::size_t size) {
  for (std::size_t i = 0; i < size && fault_ == Fault::kNone;) {
    unsigned char byte = bytes[i];
    switch (part_) {
      case Part::kTag:  // a first byte of 0x1F and up: more tag bytes follow
        part_ = (byte & 0x1F) == 0x1F ? Part::kTagMore : Part::kLength;
        count_ = 0;
        ++i;
        break;
      case Part::kTagMore:
        ++i;
        if (!(byte & 0x80))
          part_ = Part::kLength;
        else if (++count_ == kMostTagBytesAfterFirst)
          fault_ = Fault::kLongTag;
        break;
      case Part::kLength:
        ++i;
        length_ = byte & 0x7F;
        if (!(byte & 0x80)) {
          HeaderEnds();
        } else if (length_ > kMostLengthBytes) {
          fault_ = Fault::kLongLength;
        } else {
          count_ = length_;
          length_ = 0;
          part_ = Part::kLengthMore;
          if (count_ == 0) HeaderEnds();
        }
        break;
      case Part::kLengthMore:
        ++i;
        length_ = length_ << 8 | byte;
        if (--count_ == 0) HeaderEnds();
        break;
      case Part::kBody: {
        std::uint64_t taken = std::min<std::uint64_t>(length_, size - i);
        i += static_cast<std::size_t>(taken);
        length_ -= taken;
        if (length_ == 0) part_ = Part::kTag;
        break;
      }
    }
  }
}

}  // namespace ldap_reader
