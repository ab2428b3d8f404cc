// The header of each message libldap reads from a server, followed as the
// bytes pass up to it, to tell why liblber refused a message.
//
// liblber answers ERANGE both for a header that claims more than the
// largest incoming message (the client's cap) and for one it cannot frame:
// a length of 0, a length field over 4 bytes, a tag over 8 bytes. Only the
// header tells them apart, and liblber keeps it to itself. Stacked above
// TLS, this layer sees the messages as libldap does, and reads their
// headers by the same rules.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ldap/sockbuf_layer.h"

namespace ldap_reader {

class MessageFraming : private SockbufLayer {
 public:
  enum class Fault { kNone, kOverCap, kZeroLength, kLongLength, kLongTag };

  MessageFraming() = default;
  MessageFraming(const MessageFraming&) = delete;
  MessageFraming& operator=(const MessageFraming&) = delete;
  // Stacks the layer on the connection `ld` has open; the connection must
  // be closed before the layer goes. False when libldap refuses.
  bool Install(LDAP* ld);
  // What was wrong with the last header read, if anything: once a header is
  // wrong, nothing after it is read as a message.
  Fault fault() const { return fault_; }

 private:
  // Follows what passes up; the rest is SockbufLayer's.
  static ber_slen_t Read(Sockbuf_IO_Desc* layer, void* to, ber_len_t size);
  void Follow(const unsigned char* bytes, std::size_t size);
  void HeaderEnds();

  static Sockbuf_IO io_;  // never changed; liblber takes it by a plain pointer
  enum class Part { kTag, kTagMore, kLength, kLengthMore, kBody } part_ = Part::kTag;
  std::size_t count_ = 0;     // tag bytes after the first, or length bytes left
  std::uint64_t length_ = 0;  // the message's length, then what is left of it
  Fault fault_ = Fault::kNone;
};

}  // namespace ldap_reader
