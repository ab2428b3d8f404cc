// Owners for what libldap hands out, each freed by its own libldap call, so
// that no early return can leak a handle, a message or a control.
#pragma once

#include <ldap.h>

#include <memory>

namespace ldap_reader {

struct LdapUnbind {
  void operator()(LDAP* ld) const { ldap_unbind_ext_s(ld, nullptr, nullptr); }
};
struct LdapMessageFree {
  void operator()(LDAPMessage* message) const { ldap_msgfree(message); }
};
struct LdapControlFree {
  void operator()(LDAPControl* control) const { ldap_control_free(control); }
};
struct LdapControlsFree {
  void operator()(LDAPControl** controls) const { ldap_controls_free(controls); }
};
struct BerElementFree {
  void operator()(BerElement* ber) const { ber_free(ber, 0); }
};
// Memory libldap allocated: strings, value arrays, berval contents.
struct LdapMemFree {
  void operator()(void* memory) const { ldap_memfree(memory); }
};
struct BerValuesFree {
  void operator()(struct berval** values) const { ldap_value_free_len(values); }
};
struct LdapUrlFree {
  void operator()(LDAPURLDesc* url) const { ldap_free_urldesc(url); }
};

using LdapHandle = std::unique_ptr<LDAP, LdapUnbind>;
using LdapMessagePtr = std::unique_ptr<LDAPMessage, LdapMessageFree>;
using LdapControlPtr = std::unique_ptr<LDAPControl, LdapControlFree>;
using LdapControlsPtr = std::unique_ptr<LDAPControl*, LdapControlsFree>;
using BerElementPtr = std::unique_ptr<BerElement, BerElementFree>;
using LdapStringPtr = std::unique_ptr<char, LdapMemFree>;
using BerArrayPtr = std::unique_ptr<struct berval, LdapMemFree>;  // BerVarray
using BerValuesPtr = std::unique_ptr<struct berval*, BerValuesFree>;
using LdapUrlPtr = std::unique_ptr<LDAPURLDesc, LdapUrlFree>;

// A berval whose bytes libldap allocated (a paged-results cookie).
class OwnedBerval {
 public:
  OwnedBerval() = default;
  ~OwnedBerval() { Reset(); }
  OwnedBerval(const OwnedBerval&) = delete;
  OwnedBerval& operator=(const OwnedBerval&) = delete;

  // Takes over `value`, whose bytes libldap allocated.
  void Adopt(struct berval value) {
    Reset();
    value_ = value;
  }
  // Hands the bytes over to the caller, who must free them.
  struct berval Release() {
    struct berval value = value_;
    value_ = {0, nullptr};
    return value;
  }
  void Reset() {
    if (value_.bv_val) ldap_memfree(value_.bv_val);
    value_ = {0, nullptr};
  }
  bool empty() const { return value_.bv_len == 0; }
  struct berval* get() {
    return &value_;
  }
  const struct berval& value() const { return value_; }

 private:
  struct berval value_ = {0, nullptr};
};

}  // namespace ldap_reader
