#include "tree/name_mapping.h"

namespace tree {
namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Bytes that stand for themselves in both a DN value and a dotted name.
bool IsPlainValueByte(char c) {
  switch (c) {
    case ',':
    case ';':
    case '+':
    case '\\':
    case '"':
    case '<':
    case '>':
    case '\0':
    case '.':
    case ' ': return false;
    default: return true;
  }
}

void SkipBlanks(std::string_view s, size_t* pos) {
  while (*pos < s.size() && s[*pos] == ' ') ++*pos;
}

// Appends one value byte in dotted form.
void AppendValueByte(std::string& out, char c) {
  if (c == '.' || c == '+' || c == '\\') {
    out += '\\';
    out += c;
  } else if (c == '\0') {
    out += "\\00";
  } else {
    out += c;
  }
}

// Past any blanks after a value: the end of the DN or a separator.
bool EndsValue(std::string_view dn, size_t* pos) {
  SkipBlanks(dn, pos);
  return *pos == dn.size() || dn[*pos] == ',' || dn[*pos] == ';' || dn[*pos] == '+';
}

// A backslash pair at *pos: two hex digits for one octet, or one of the
// characters a value must escape.
bool ParsePair(std::string_view dn, size_t* pos, char* byte) {
  if (*pos + 1 >= dn.size()) return false;
  char next = dn[*pos + 1];
  int high = HexValue(next);
  if (high >= 0) {
    if (*pos + 2 >= dn.size()) return false;
    int low = HexValue(dn[*pos + 2]);
    if (low < 0) return false;
    *byte = static_cast<char>(high << 4 | low);
    *pos += 3;
    return true;
  }
  switch (next) {
    case ' ':
    case '"':
    case '#':
    case '+':
    case ',':
    case ';':
    case '<':
    case '=':
    case '>':
    case '\\':
      *byte = next;
      *pos += 2;
      return true;
    default: return false;
  }
}

// A value in double quotes, as older exports write one holding a separator
// (cn="Smith, John"): everything up to the closing quote is the value.
bool AppendQuotedValue(std::string_view dn, size_t* pos, std::string& out) {
  ++*pos;  // the opening quote
  for (;;) {
    if (*pos >= dn.size()) return false;
    char c = dn[*pos];
    if (c == '"') break;
    if (c == '\\') {
      if (!ParsePair(dn, pos, &c)) return false;
    } else {
      ++*pos;
    }
    AppendValueByte(out, c);
  }
  ++*pos;
  return EndsValue(dn, pos);
}

// An attribute type at *pos, a keyword or a numeric OID (dotted decimals),
// upper-cased with its dots escaped.
bool AppendAttributeType(std::string_view dn, size_t* pos, std::string& out) {
  size_t start = *pos;
  if (*pos < dn.size() && IsAlpha(dn[*pos])) {
    while (*pos < dn.size() && (IsAlpha(dn[*pos]) || IsDigit(dn[*pos]) || dn[*pos] == '-')) ++*pos;
  } else if (*pos < dn.size() && IsDigit(dn[*pos])) {
    while (*pos < dn.size() && (IsDigit(dn[*pos]) || dn[*pos] == '.')) ++*pos;
    if (dn[*pos - 1] == '.') return false;
  } else {
    return false;
  }
  for (size_t i = start; i < *pos; ++i) {
    if (dn[i] == '.') out += '\\';
    out += AsciiUpper(dn[i]);
  }
  return true;
}

// A BER-encoded value ("#" and hex digits) at *pos, kept as its hex text.
bool AppendHexValue(std::string_view dn, size_t* pos, std::string& out) {
  size_t hexStart = ++*pos;
  while (*pos < dn.size() && HexValue(dn[*pos]) >= 0) ++*pos;
  size_t digits = *pos - hexStart;
  if (digits == 0 || digits % 2 != 0) return false;
  out += '#';
  out.append(dn.substr(hexStart, digits));
  return EndsValue(dn, pos);
}

// A value as most DNs write it, up to its separator; unescaped trailing
// blanks are not part of it.
bool AppendStringValue(std::string_view dn, size_t* pos, std::string& out) {
  size_t keep = out.size();
  while (*pos < dn.size()) {
    // Most of a value needs no care: copy such runs whole.
    size_t run = *pos;
    while (run < dn.size() && IsPlainValueByte(dn[run])) ++run;
    if (run > *pos) {
      out.append(dn.substr(*pos, run - *pos));
      *pos = run;
      keep = out.size();
      continue;
    }
    char c = dn[*pos];
    if (c == ',' || c == ';' || c == '+') break;
    if (c == '"' || c == '<' || c == '>' || c == '\0') return false;
    if (c == '\\') {
      if (!ParsePair(dn, pos, &c)) return false;
      AppendValueByte(out, c);
      keep = out.size();
      continue;
    }
    AppendValueByte(out, c);
    ++*pos;
    if (c != ' ') keep = out.size();
  }
  out.resize(keep);
  return true;
}

}  // namespace

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

std::string_view DnParser::Rdn(size_t index) const {
  size_t begin = index == 0 ? 0 : ends_[index - 1];
  return std::string_view(text_).substr(begin, ends_[index] - begin);
}

bool DnParser::Parse(std::string_view dn) {
  text_.clear();
  ends_.clear();
  size_t pos = 0;
  SkipBlanks(dn, &pos);
  if (pos == dn.size()) return true;
  for (;;) {
    if (!ParseRdn(dn, &pos)) return false;
    ends_.push_back(text_.size());
    if (pos == dn.size()) return true;
    // Old-style ";" separators are still written by some exporters.
    if (dn[pos] != ',' && dn[pos] != ';') return false;
    ++pos;
  }
}

bool DnParser::ParseRdn(std::string_view dn, size_t* pos) {
  for (;;) {
    if (!ParseAttributeTypeAndValue(dn, pos)) return false;
    if (*pos == dn.size() || dn[*pos] != '+') return true;
    text_ += '+';
    ++*pos;
  }
}

// attributeType "=" attributeValue, tolerating blanks around the "=" and
// the separators as LDAPv2-era exports have them.
bool DnParser::ParseAttributeTypeAndValue(std::string_view dn, size_t* pos) {
  SkipBlanks(dn, pos);
  if (!AppendAttributeType(dn, pos, text_)) return false;
  SkipBlanks(dn, pos);
  if (*pos == dn.size() || dn[*pos] != '=') return false;
  ++*pos;
  text_ += '=';
  SkipBlanks(dn, pos);
  if (*pos < dn.size() && dn[*pos] == '#') return AppendHexValue(dn, pos, text_);
  if (*pos < dn.size() && dn[*pos] == '"') return AppendQuotedValue(dn, pos, text_);
  return AppendStringValue(dn, pos, text_);
}

bool SplitDottedName(std::string_view name, std::vector<std::string_view>& components) {
  components.clear();
  if (name.empty()) return false;
  size_t start = 0;
  bool sawEquals = false;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == '.') {
      if (!sawEquals || name[start] == '=') return false;
      components.push_back(name.substr(start, i - start));
      start = i + 1;
      sawEquals = false;
      if (i + 1 == name.size()) return false;  // trailing "."
      continue;
    }
    if (name[i] == '\\') {
      if (++i == name.size()) return false;
      continue;
    }
    if (name[i] == '=') sawEquals = true;
  }
  return true;
}

}  // namespace tree
