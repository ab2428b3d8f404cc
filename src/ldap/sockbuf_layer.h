// What the layers the client stacks on a connection's Sockbuf share: the
// calls a layer does not take over pass on to the layer beneath it, and the
// layer's object rides in the descriptor's private pointer.
#pragma once

#include <lber.h>
#include <ldap.h>

namespace ldap_reader {

class SockbufLayer {
 protected:
  // Stacks `io` at `level` on the connection `ld` has open, `self` its
  // object; false when libldap refuses.
  static bool Add(LDAP* ld, Sockbuf_IO* io, int level, void* self) {
    Sockbuf* socket = nullptr;
    if (ldap_get_option(ld, LDAP_OPT_SOCKBUF, &socket) != LDAP_OPT_SUCCESS || !socket) return false;
    return ber_sockbuf_add_io(socket, io, level, self) == 0;
  }

  static int Setup(Sockbuf_IO_Desc* layer, void* self) {
    layer->sbiod_pvt = self;
    return 0;
  }
  static int Remove(Sockbuf_IO_Desc*) { return 0; }
  static int Control(Sockbuf_IO_Desc* layer, int option, void* argument) {
    return LBER_SBIOD_CTRL_NEXT(layer, option, argument);
  }
  static ber_slen_t Read(Sockbuf_IO_Desc* layer, void* to, ber_len_t size) {
    return LBER_SBIOD_READ_NEXT(layer, to, size);
  }
  static ber_slen_t Write(Sockbuf_IO_Desc* layer, void* from, ber_len_t size) {
    return LBER_SBIOD_WRITE_NEXT(layer, from, size);
  }
  static int Close(Sockbuf_IO_Desc*) { return 0; }
};

}  // namespace ldap_reader
