// A read-ahead buffer beneath libldap's reads of a connection.
//
// libldap reads each message with two reads (its header, then its body),
// each after a poll of the socket: three system calls a message, three
// million for a tree of a million entries, which cost more than the
// entries themselves. Stacked under libldap's reads (and under TLS, where
// there is TLS), this buffer takes what the socket holds in large blocks,
// and tells libldap that data is ready while it holds some, so that most
// messages are read with no system call at all.
#pragma once

#include <cstddef>
#include <memory>

#include "ldap/sockbuf_layer.h"

namespace ldap_reader {

class ReadAhead : private SockbufLayer {
 public:
  ReadAhead() = default;
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;
  // Stacks the buffer on the connection `ld` has open; the connection must
  // be closed before the buffer goes. False when libldap refuses, and
  // reads then go to the socket as before.
  bool Install(LDAP* ld);

 private:
  // Reads and data-ready checks come from the buffer; the rest is
  // SockbufLayer's.
  static int Control(Sockbuf_IO_Desc* layer, int option, void* argument);
  static ber_slen_t Read(Sockbuf_IO_Desc* layer, void* to, ber_len_t size);

  static Sockbuf_IO io_;   // never changed; liblber takes it by a plain pointer
  std::size_t begin_ = 0;  // what is buffered and not yet read
  std::size_t end_ = 0;
  static constexpr std::size_t kSize = std::size_t{64} << 10;
  std::unique_ptr<char[]> buffer_;
};

}  // namespace ldap_reader
