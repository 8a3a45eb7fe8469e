// PROVISIONAL implementation; see ustring.h.
#include "utils/ustring.h"

#include <cstdlib>
#include <istream>
#include <ostream>
#include <stdexcept>

#include "utils/utf.h"

namespace {
[[noreturn]] void throw_length() { throw std::length_error("ustring"); }
[[noreturn]] void throw_range() { throw std::out_of_range("ustring"); }

std::u16string wide_units(const wchar_t* w, std::size_t n) {
  std::u16string units;
  units.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const auto c = static_cast<char32_t>(w[i]);
    if (c <= 0xFFFF) {
      units.push_back(static_cast<char16_t>(c));
    } else if (c <= vxu::kMaxCodePoint) {
      const char32_t v = c - 0x10000;
      units.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      break;
    }
  }
  return units;
}
}  // namespace

ustring::size_type ustring::checked(size_type n) {
  if (n > max_length) throw_length();
  return n;
}
ustring::size_type ustring::at_pos(const ustring& s, size_type pos) {
  if (pos > s.size()) throw_range();
  return pos;
}
void ustring::check() const {
  if (s_.size() > max_length) throw_length();
}
void ustring::grow(size_type extra) const {
  if (extra > max_length - s_.size()) throw_length();
}

ustring::ustring(const std::u16string& w) { vxu::utf16_to_utf8(w.data(), w.size(), s_); }
ustring::ustring(const wchar_t* w, size_type n) : ustring(wide_units(w, n)) {}
ustring::ustring(const wchar_t* w) : ustring(w, std::char_traits<wchar_t>::length(w)) {}
ustring::ustring(const std::wstring& w) : ustring(w.data(), w.size()) {}

char& ustring::at(size_type i) {
  if (i >= size()) throw_range();
  return s_[i];
}
const char& ustring::at(size_type i) const {
  if (i >= size()) throw_range();
  return s_[i];
}

std::u16string ustring::to_u16string() const {
  std::u16string out;
  vxu::utf8_to_utf16(s_, out);
  return out;
}
std::wstring ustring::to_wstring() const {
  const std::u16string u = to_u16string();
  return std::wstring(u.begin(), u.end());
}

int ustring::to_int() const { return std::atoi(c_str()); }
double ustring::to_double() const { return std::atof(c_str()); }

bool operator==(const ustring& a, const ustring& b) { return a.view() == b.view(); }
bool operator==(const ustring& a, const char* b) { return a.view() == std::string_view(b); }
std::strong_ordering operator<=>(const ustring& a, const ustring& b) { return a.view() <=> b.view(); }
std::strong_ordering operator<=>(const ustring& a, const char* b) { return a.view() <=> std::string_view(b); }

ustring operator+(const ustring& a, const ustring& b) { return ustring(a).append(b); }
ustring operator+(const char* a, const ustring& b) { return ustring(a).append(b); }
ustring operator+(char a, const ustring& b) { return ustring(1, a).append(b); }
ustring operator+(const ustring& a, const char* b) { return ustring(a).append(b); }
ustring operator+(const ustring& a, char b) { return ustring(a).append(1, b); }

std::ostream& operator<<(std::ostream& os, const ustring& s) { return os << s.c_str(); }
std::istream& operator>>(std::istream& is, ustring& s) {
  std::string word;
  is >> word;
  s = ustring(word);
  return is;
}
