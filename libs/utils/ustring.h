// ustring: the system's string type. UTF-8 bytes (never validated), always
// followed by a NUL that is not part of the length, with the member interface
// of std::string plus the system's text services.
//
// PROVISIONAL: this first version keeps its bytes in a std::string so the
// rest of the library can be written against the interface; the final
// representation (22-byte inline form, no heap allocation up to 22 bytes,
// C-heap long form) replaces it without changing the interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <compare>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

class ustring {
 public:
  using value_type = char;
  using size_type = std::uint64_t;
  using difference_type = std::ptrdiff_t;
  using reference = char&;
  using const_reference = const char&;
  using pointer = char*;
  using const_pointer = const char*;
  using iterator = char*;
  using const_iterator = const char*;

  static constexpr size_type npos = ~size_type{0};
  // Longest text a ustring holds (2^24 - 2 bytes).
  static constexpr size_type max_length = 16777214;

  ustring() = default;
  ustring(const char* s) : s_(s) { check(); }
  ustring(const char* s, size_type n) : s_(s, n) { check(); }
  ustring(size_type n, char c) : s_(checked(n), c) {}
  ustring(const ustring& other, size_type pos, size_type n = npos) : s_(other.s_, at_pos(other, pos), n) {}
  ustring(const std::string& s) : s_(s) { check(); }
  explicit ustring(std::string_view s) : s_(s) { check(); }
  // UTF-16 text (on platforms with 32-bit wchar_t, code points above U+FFFF
  // are accepted too); conversion stops at an unpaired surrogate.
  ustring(const std::wstring& w);
  ustring(const wchar_t* w);
  ustring(const wchar_t* w, size_type n);
  ustring(const std::u16string& w);

  ustring& operator=(const char* s) { s_ = s; check(); return *this; }
  ustring& operator=(char c) { s_ = c; return *this; }
  ustring& operator=(const std::wstring& w) { return *this = ustring(w); }
  ustring& operator=(const wchar_t* w) { return *this = ustring(w); }

  // Builds a text from raw bytes whose encoding is detected from a byte-order
  // mark or the position of zero bytes (UTF-8, UTF-16LE/BE, UTF-32LE/BE).
  static ustring from_bytes(const void* bytes, size_type n);

  // std::string interface.
  ustring& assign(const ustring& s) { s_ = s.s_; return *this; }
  ustring& assign(const ustring& s, size_type pos, size_type n) { s_.assign(s.s_, at_pos(s, pos), n); return *this; }
  ustring& assign(const char* s) { s_.assign(s); check(); return *this; }
  ustring& assign(const char* s, size_type n) { s_.assign(s, n); check(); return *this; }
  ustring& assign(size_type n, char c) { s_.assign(checked(n), c); return *this; }

  ustring& append(const ustring& s) { grow(s.size()); s_.append(s.s_); return *this; }
  ustring& append(const ustring& s, size_type pos, size_type n) { at_pos(s, pos); s_.append(s.s_, pos, n); check(); return *this; }
  ustring& append(const char* s) { return append(s, std::char_traits<char>::length(s)); }
  ustring& append(const char* s, size_type n) { grow(n); s_.append(s, n); return *this; }
  ustring& append(size_type n, char c) { grow(n); s_.append(n, c); return *this; }
  ustring& operator+=(const ustring& s) { return append(s); }
  ustring& operator+=(const char* s) { return append(s); }
  ustring& operator+=(char c) { push_back(c); return *this; }
  void push_back(char c) { grow(1); s_.push_back(c); }
  void pop_back() { s_.pop_back(); }

  ustring& insert(size_type pos, const ustring& s) { at_pos(*this, pos); grow(s.size()); s_.insert(pos, s.s_); return *this; }
  ustring& insert(size_type pos, const char* s) { at_pos(*this, pos); s_.insert(pos, s); check(); return *this; }
  ustring& insert(size_type pos, const char* s, size_type n) { at_pos(*this, pos); grow(n); s_.insert(pos, s, n); return *this; }
  ustring& insert(size_type pos, size_type n, char c) { at_pos(*this, pos); grow(n); s_.insert(pos, n, c); return *this; }
  iterator insert(iterator p, char c) { size_type i = p - begin(); grow(1); s_.insert(i, 1, c); return begin() + i; }

  ustring& erase(size_type pos = 0, size_type n = npos) { at_pos(*this, pos); s_.erase(pos, n); return *this; }
  iterator erase(iterator p) { size_type i = p - begin(); s_.erase(i, 1); return begin() + i; }
  iterator erase(iterator first, iterator last) { size_type i = first - begin(); s_.erase(i, last - first); return begin() + i; }

  ustring& replace(size_type pos, size_type n, const ustring& s) { at_pos(*this, pos); s_.replace(pos, n, s.s_); check(); return *this; }
  ustring& replace(size_type pos, size_type n, const char* s) { at_pos(*this, pos); s_.replace(pos, n, s); check(); return *this; }
  ustring& replace(size_type pos, size_type n, const char* s, size_type n2) { at_pos(*this, pos); s_.replace(pos, n, s, n2); check(); return *this; }
  ustring& replace(size_type pos, size_type n, size_type n2, char c) { at_pos(*this, pos); s_.replace(pos, n, n2, c); check(); return *this; }

  size_type copy(char* dest, size_type n, size_type pos = 0) const { at_pos(*this, pos); return s_.copy(dest, n, pos); }
  void resize(size_type n, char c = '\0') { s_.resize(checked(n), c); }
  void reserve(size_type n) { s_.reserve(checked(n)); }
  void clear() { s_.clear(); }
  void swap(ustring& other) noexcept { s_.swap(other.s_); }

  size_type capacity() const { return s_.capacity(); }
  size_type size() const { return s_.size(); }
  size_type length() const { return s_.size(); }
  bool empty() const { return s_.empty(); }
  size_type max_size() const { return max_length; }
  const char* c_str() const { return s_.c_str(); }
  const char* data() const { return s_.data(); }
  char* data() { return s_.data(); }

  char& at(size_type i);
  const char& at(size_type i) const;
  char& operator[](size_type i) { return s_[i]; }
  const char& operator[](size_type i) const { return s_[i]; }
  char& front() { return s_.front(); }
  const char& front() const { return s_.front(); }
  char& back() { return s_.back(); }
  const char& back() const { return s_.back(); }

  iterator begin() { return s_.data(); }
  iterator end() { return s_.data() + s_.size(); }
  const_iterator begin() const { return s_.data(); }
  const_iterator end() const { return s_.data() + s_.size(); }
  const_iterator cbegin() const { return begin(); }
  const_iterator cend() const { return end(); }

  ustring substr(size_type pos = 0, size_type n = npos) const { return ustring(*this, pos, n); }

  size_type find(const ustring& s, size_type pos = 0) const { return s_.find(s.s_, pos); }
  size_type find(const char* s, size_type pos = 0) const { return s_.find(s, pos); }
  size_type find(const char* s, size_type pos, size_type n) const { return s_.find(s, pos, n); }
  size_type find(char c, size_type pos = 0) const { return s_.find(c, pos); }
  size_type rfind(const ustring& s, size_type pos = npos) const { return s_.rfind(s.s_, pos); }
  size_type rfind(const char* s, size_type pos = npos) const { return s_.rfind(s, pos); }
  size_type rfind(const char* s, size_type pos, size_type n) const { return s_.rfind(s, pos, n); }
  size_type rfind(char c, size_type pos = npos) const { return s_.rfind(c, pos); }
  size_type find_first_of(const ustring& s, size_type pos = 0) const { return s_.find_first_of(s.s_, pos); }
  size_type find_first_of(const char* s, size_type pos = 0) const { return s_.find_first_of(s, pos); }
  size_type find_first_of(const char* s, size_type pos, size_type n) const { return s_.find_first_of(s, pos, n); }
  size_type find_first_of(char c, size_type pos = 0) const { return s_.find_first_of(c, pos); }
  size_type find_last_of(const ustring& s, size_type pos = npos) const { return s_.find_last_of(s.s_, pos); }
  size_type find_last_of(const char* s, size_type pos = npos) const { return s_.find_last_of(s, pos); }
  size_type find_last_of(const char* s, size_type pos, size_type n) const { return s_.find_last_of(s, pos, n); }
  size_type find_last_of(char c, size_type pos = npos) const { return s_.find_last_of(c, pos); }
  size_type find_first_not_of(const ustring& s, size_type pos = 0) const { return s_.find_first_not_of(s.s_, pos); }
  size_type find_first_not_of(const char* s, size_type pos = 0) const { return s_.find_first_not_of(s, pos); }
  size_type find_first_not_of(const char* s, size_type pos, size_type n) const { return s_.find_first_not_of(s, pos, n); }
  size_type find_first_not_of(char c, size_type pos = 0) const { return s_.find_first_not_of(c, pos); }
  size_type find_last_not_of(const ustring& s, size_type pos = npos) const { return s_.find_last_not_of(s.s_, pos); }
  size_type find_last_not_of(const char* s, size_type pos = npos) const { return s_.find_last_not_of(s, pos); }
  size_type find_last_not_of(const char* s, size_type pos, size_type n) const { return s_.find_last_not_of(s, pos, n); }
  size_type find_last_not_of(char c, size_type pos = npos) const { return s_.find_last_not_of(c, pos); }

  int compare(const ustring& s) const { return s_.compare(s.s_); }
  int compare(const char* s) const { return s_.compare(s); }
  int compare(size_type pos, size_type n, const char* s) const { at_pos(*this, pos); return s_.compare(pos, n, s); }
  int compare(size_type pos, size_type n, const char* s, size_type n2) const { at_pos(*this, pos); return s_.compare(pos, n, s, n2); }

  // Views and conversions.
  std::string_view view() const { return s_; }
  operator std::string_view() const { return s_; }
  std::string str() const { return s_; }

  // UTF-16 forms (wchar_t holds UTF-16 code units on every platform).
  std::wstring to_wstring() const;
  std::u16string to_u16string() const;
  // Bytes FF FE followed by each UTF-16 code unit, low byte first.
  std::string to_utf16le() const;

  // ASCII case mapping of the bytes 0x21-0x7D; other bytes unchanged.
  ustring to_lower() const;
  ustring to_upper() const;

  int compare_nocase(const ustring& other) const;
  int compare_collate(const ustring& other) const;
  int compare_collate_nocase(const ustring& other) const;
  int compare_natural(const ustring& other) const;
  int compare_natural_nocase(const ustring& other) const;

  int to_int() const;
  double to_double() const;

  // Numbered placeholder substitution: replaces the placeholder "%d" with
  // the smallest digit d by the rendered argument; see ustring.cpp.
  ustring arg(const ustring& text, int width = 0, char fill = ' ') const;
  ustring arg(const char* text, int width = 0, char fill = ' ') const { return arg(ustring(text), width, fill); }
  ustring arg(char c) const;
  ustring arg(int v, int width = 0, int base = 10, char fill = ' ') const;
  ustring arg(unsigned int v, int width = 0, int base = 10, char fill = ' ') const;
  ustring arg(long v, int width = 0, int base = 10, char fill = ' ') const;
  ustring arg(unsigned long v, int width = 0, int base = 10, char fill = ' ') const;
  ustring arg(long long v, int width = 0, int base = 10, char fill = ' ') const;
  ustring arg(unsigned long long v, int width = 0, int base = 10, char fill = ' ') const;
  ustring arg(short v, int width = 0, int base = 10, char fill = ' ') const;
  ustring arg(unsigned short v, int width = 0, int base = 10, char fill = ' ') const;
  ustring arg(double v, int precision = -1, char format = 'g', int width = 0, char fill = ' ') const;

  // Replaces the text by the fixed-point rendering of value with `precision`
  // decimals and no trailing zeros; false when the rendering is zero.
  bool number(double value, int precision);

 private:
  static size_type checked(size_type n);
  static size_type at_pos(const ustring& s, size_type pos);
  void check() const;
  void grow(size_type extra) const;

  std::string s_;
};

bool operator==(const ustring& a, const ustring& b);
bool operator==(const ustring& a, const char* b);
std::strong_ordering operator<=>(const ustring& a, const ustring& b);
std::strong_ordering operator<=>(const ustring& a, const char* b);

ustring operator+(const ustring& a, const ustring& b);
ustring operator+(const char* a, const ustring& b);
ustring operator+(char a, const ustring& b);
ustring operator+(const ustring& a, const char* b);
ustring operator+(const ustring& a, char b);

std::ostream& operator<<(std::ostream& os, const ustring& s);
std::istream& operator>>(std::istream& is, ustring& s);

template <>
struct std::hash<ustring> {
  std::size_t operator()(const ustring& s) const noexcept { return std::hash<std::string_view>()(s.view()); }
};
