// How LDAP distinguished names (RFC 4514) map to the client's dotted names.
//
// An RDN becomes TYPE=value with the type upper-cased and the value without
// its RFC 4514 escapes; inside a value "." "+" and "\" get a leading
// backslash (and a NUL byte is written \00) so that a dotted name splits back
// into its components unambiguously. A multi-valued RDN joins its parts
// with "+". The RDNs of a DN, in DN order, joined by ".", make the full name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tree {

class DnParser {
 public:
  // Parses `dn`; on success the RDNs are available in DN order (leaf first).
  // An empty DN parses to no RDNs.
  bool Parse(std::string_view dn);
  size_t RdnCount() const { return ends_.size(); }
  std::string_view Rdn(size_t index) const;

 private:
  bool ParseRdn(std::string_view dn, size_t* pos);
  bool ParseAttributeTypeAndValue(std::string_view dn, size_t* pos);

  std::string text_;          // the dotted RDNs, back to back
  std::vector<size_t> ends_;  // end of each RDN in text_
};

// Splits a dotted name into its components, first (leaf) to last, at every
// "." that is not escaped. Fails on an empty component, a component without
// "=" or an empty type, and a dangling backslash.
bool SplitDottedName(std::string_view name, std::vector<std::string_view>& components);

inline char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}
inline char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

}  // namespace tree
