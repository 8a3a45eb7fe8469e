// ustring: the system's string type. UTF-8 bytes (never validated), always
// followed by a NUL that is not part of the length, with the member interface
// of std::string plus the system's text services (placeholder substitution,
// Unicode conversions, case mapping, comparisons, numeric parsing).
//
// Contracts a caller may rely on:
// - At most max_length (16,777,214) bytes. An operation whose result would be
//   longer throws std::length_error("ustring"); a position beyond the length
//   (at: not below it) throws std::out_of_range("ustring"). After either
//   exception the string is unchanged.
// - Up to 22 bytes live inside the 24-byte object: no heap allocation. Longer
//   texts live in one heap block whose capacity is 16k - 1 bytes (plus the
//   NUL); copying a long text allocates exactly one block, moving steals it.
// - Arguments may point into the string itself (s.append(s),
//   s.insert(0, s.c_str() + 1), s.replace(0, 1, s)).
// - A null const char* given to construction, assign, append, insert or
//   replace is taken as the empty text.
// - Positions are 64-bit; npos (all ones) is returned by a search that fails.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iosfwd>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

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
  // Longest text held inside the object without a heap block.
  static constexpr size_type inline_capacity = 22;

 private:
  template <class It>
  static constexpr bool is_iterator = std::is_same_v<It, iterator> || std::is_same_v<It, const_iterator>;

 public:
  ustring() noexcept { set_empty(); }
  ustring(const char* s) {
    if (s == nullptr) s = "";
    init(s, std::strlen(s));
  }
  ustring(const char* s, size_type n) { init(s, n); }
  ustring(size_type n, char c);
  ustring(const ustring& other) {
    if (other.is_long()) {
      init(other.long_data(), other.long_size());
    } else {
      std::memcpy(rep_, other.rep_, sizeof rep_);
    }
  }
  ustring(ustring&& other) noexcept {
    std::memcpy(rep_, other.rep_, sizeof rep_);
    other.set_empty();
  }
  ustring(const ustring& other, size_type pos, size_type n = npos);
  ustring(const std::string& s) { init(s.data(), s.size()); }
  explicit ustring(std::string_view s) { init(s.data(), s.size()); }
  // UTF-16 text, stored as UTF-8 (on platforms with 32-bit wchar_t, code
  // points above U+FFFF are accepted too); conversion stops at an unpaired
  // surrogate or a value above U+10FFFF and keeps everything before it.
  ustring(const std::wstring& w);
  ustring(const wchar_t* w);
  ustring(const wchar_t* w, size_type n);
  ustring(const std::u16string& w);
  ~ustring() {
    if (is_long()) release(long_data());
  }

  ustring& operator=(const ustring& other) {
    if (this != &other) {
      if (!is_long() && !other.is_long()) {
        std::memcpy(rep_, other.rep_, sizeof rep_);
      } else {
        assign(other.data(), other.size());
      }
    }
    return *this;
  }
  ustring& operator=(ustring&& other) noexcept {
    if (this != &other) {
      if (is_long()) release(long_data());
      std::memcpy(rep_, other.rep_, sizeof rep_);
      other.set_empty();
    }
    return *this;
  }
  ustring& operator=(const char* s) { return assign(s); }
  ustring& operator=(char c) { return assign(&c, 1); }
  ustring& operator=(const std::wstring& w) { return *this = ustring(w); }
  ustring& operator=(const wchar_t* w) { return *this = ustring(w); }
  ustring& operator=(const std::u16string& w) { return *this = ustring(w); }

  // Builds a text from raw bytes whose encoding is detected from a byte-order
  // mark (skipped) or from the position of zero bytes: UTF-8 (copied as is),
  // UTF-16LE/BE or UTF-32LE/BE (converted; conversion stops at the first
  // ill-formed unit or value). A trailing partial unit is ignored.
  static ustring from_bytes(const void* bytes, size_type n);

  // std::string interface.
  ustring& assign(const ustring& s) { return *this = s; }
  ustring& assign(const ustring& s, size_type pos, size_type n);
  ustring& assign(const char* s) {
    if (s == nullptr) s = "";
    return assign(s, std::strlen(s));
  }
  ustring& assign(const char* s, size_type n) {
    if (!is_long()) {
      if (n <= inline_capacity) {
        // Built aside: s may point into this text.
        char fresh[sizeof rep_] = {};
        move_bytes(fresh, s, n);
        fresh[kTagIndex] = static_cast<char>(n);
        std::memcpy(rep_, fresh, sizeof rep_);
        return *this;
      }
    } else if (n <= long_capacity()) {
      char* d = long_data();
      move_bytes(d, s, n);
      d[n] = '\0';
      set_long_size(n);
      return *this;
    }
    return assign_new_block(s, n);
  }
  ustring& assign(size_type n, char c);
  ustring& assign(const wchar_t* w, size_type n) { return *this = ustring(w, n); }

  ustring& append(const ustring& s) { return append(s.data(), s.size()); }
  ustring& append(const ustring& s, size_type pos, size_type n);
  ustring& append(const char* s) {
    if (s == nullptr) return *this;
    return append(s, std::strlen(s));
  }
  ustring& append(const char* s, size_type n) {
    const size_type old = size();
    if (n <= capacity() - old) {
      char* d = data();
      move_bytes(d + old, s, n);  // may overlap the NUL when s aliases the text
      d[old + n] = '\0';
      set_size(old + n);
      return *this;
    }
    return append_grow(s, n, old);
  }
  ustring& append(size_type n, char c) { return replace_fill(size(), 0, n, c); }
  ustring& operator+=(const ustring& s) { return append(s); }
  ustring& operator+=(const char* s) { return append(s); }
  ustring& operator+=(char c) {
    push_back(c);
    return *this;
  }
  void push_back(char c) {
    const size_type old = size();
    if (old < capacity()) {
      char* d = data();
      d[old] = c;
      d[old + 1] = '\0';
      set_size(old + 1);
    } else {
      append_grow(&c, 1, old);
    }
  }
  // Removes the last byte; no effect on an empty string.
  void pop_back() noexcept {
    const size_type n = size();
    if (n != 0) truncate(n - 1);
  }

  ustring& insert(size_type pos, const ustring& s) { return replace(pos, 0, s.data(), s.size()); }
  ustring& insert(size_type pos, const char* s) { return replace(pos, 0, s); }
  ustring& insert(size_type pos, const char* s, size_type n) { return replace(pos, 0, s, n); }
  ustring& insert(size_type pos, size_type n, char c) { return replace(pos, 0, n, c); }
  // The iterator forms are templates so that a literal 0 (s.erase(0),
  // s.insert(0, 'c')) is never taken for a null iterator.
  template <class It>
    requires is_iterator<It>
  iterator insert(It p, char c) {
    const size_type i = static_cast<size_type>(p - begin());
    replace_fill(i, 0, 1, c);
    return begin() + i;
  }

  ustring& erase(size_type pos = 0, size_type n = npos);
  template <class It>
    requires is_iterator<It>
  iterator erase(It p) {
    const size_type i = static_cast<size_type>(p - begin());
    erase(i, 1);
    return begin() + i;
  }
  iterator erase(iterator first, iterator last) {
    const size_type i = static_cast<size_type>(first - begin());
    erase(i, static_cast<size_type>(last - first));
    return begin() + i;
  }

  ustring& replace(size_type pos, size_type n, const ustring& s) { return replace(pos, n, s.data(), s.size()); }
  ustring& replace(size_type pos, size_type n, const char* s) {
    if (s == nullptr) s = "";
    return replace(pos, n, s, std::strlen(s));
  }
  ustring& replace(size_type pos, size_type n, const char* s, size_type n2);
  ustring& replace(size_type pos, size_type n, size_type n2, char c);

  // Copies up to n bytes from pos to dest (no NUL added); returns the count.
  size_type copy(char* dest, size_type n, size_type pos = 0) const;
  void resize(size_type n, char c = '\0');
  // Makes room for n bytes (capacity by the 16k - 1 rule); never shrinks.
  void reserve(size_type n);
  void clear() noexcept {
    // A short text is cleared by zeroing the whole fixed-size form: cheaper
    // than the variable-length zeroing of truncate.
    if (is_long()) {
      truncate(0);
    } else {
      set_empty();
    }
  }
  void swap(ustring& other) noexcept {
    char tmp[sizeof rep_];
    std::memcpy(tmp, rep_, sizeof rep_);
    std::memcpy(rep_, other.rep_, sizeof rep_);
    std::memcpy(other.rep_, tmp, sizeof rep_);
  }

  size_type capacity() const noexcept { return is_long() ? long_capacity() : inline_capacity; }
  size_type size() const noexcept { return is_long() ? long_size() : short_size(); }
  size_type length() const noexcept { return size(); }
  bool empty() const noexcept { return size() == 0; }
  size_type max_size() const noexcept { return max_length; }
  const char* c_str() const noexcept { return data(); }
  const char* data() const noexcept { return is_long() ? long_data() : rep_; }
  char* data() noexcept { return is_long() ? long_data() : rep_; }

  char& at(size_type i) {
    if (i >= size()) throw_out_of_range();
    return data()[i];
  }
  const char& at(size_type i) const {
    if (i >= size()) throw_out_of_range();
    return data()[i];
  }
  char& operator[](size_type i) noexcept { return data()[i]; }
  const char& operator[](size_type i) const noexcept { return data()[i]; }
  // front/back of an empty string give its terminating NUL.
  char& front() noexcept { return data()[0]; }
  const char& front() const noexcept { return data()[0]; }
  char& back() noexcept { return data()[last_index()]; }
  const char& back() const noexcept { return data()[last_index()]; }

  iterator begin() noexcept { return data(); }
  iterator end() noexcept { return data() + size(); }
  const_iterator begin() const noexcept { return data(); }
  const_iterator end() const noexcept { return data() + size(); }
  const_iterator cbegin() const noexcept { return begin(); }
  const_iterator cend() const noexcept { return end(); }

  ustring substr(size_type pos = 0, size_type n = npos) const { return ustring(*this, pos, n); }

  size_type find(const ustring& s, size_type pos = 0) const noexcept { return find(s.data(), pos, s.size()); }
  size_type find(const char* s, size_type pos = 0) const noexcept { return find(s, pos, std::strlen(s)); }
  size_type find(const char* s, size_type pos, size_type n) const noexcept {
    if (n <= 1) return n == 1 ? find(s[0], pos) : (pos <= size() ? pos : npos);
    const char* d = data();
    const size_type len = size();
    if (pos >= len || n > len - pos) return npos;
    // Candidates for the first byte lie in [p, last); memchr finds them, the
    // last byte rejects most false ones before the middle is compared.
    const char* p = d + pos;
    const char* const last = d + (len - n + 1);
    const char first = s[0], final = s[n - 1];
    while (p < last) {
      p = static_cast<const char*>(std::memchr(p, first, static_cast<std::size_t>(last - p)));
      if (p == nullptr) return npos;
      if (p[n - 1] == final && equal_middle(p, s, n)) return static_cast<size_type>(p - d);
      ++p;
    }
    return npos;
  }
  size_type find(char c, size_type pos = 0) const noexcept {
    const size_type len = size();
    if (pos >= len) return npos;
    const char* d = data();
    const void* hit = std::memchr(d + pos, c, len - pos);
    return hit ? static_cast<size_type>(static_cast<const char*>(hit) - d) : npos;
  }
  size_type rfind(const ustring& s, size_type pos = npos) const noexcept { return view().rfind(s.view(), pos); }
  size_type rfind(const char* s, size_type pos = npos) const noexcept { return view().rfind(s, pos); }
  size_type rfind(const char* s, size_type pos, size_type n) const noexcept { return view().rfind(s, pos, n); }
  size_type rfind(char c, size_type pos = npos) const noexcept { return view().rfind(c, pos); }
  size_type find_first_of(const ustring& s, size_type pos = 0) const noexcept {
    return view().find_first_of(s.view(), pos);
  }
  size_type find_first_of(const char* s, size_type pos = 0) const noexcept { return view().find_first_of(s, pos); }
  size_type find_first_of(const char* s, size_type pos, size_type n) const noexcept {
    return view().find_first_of(s, pos, n);
  }
  size_type find_first_of(char c, size_type pos = 0) const noexcept { return find(c, pos); }
  size_type find_last_of(const ustring& s, size_type pos = npos) const noexcept {
    return view().find_last_of(s.view(), pos);
  }
  size_type find_last_of(const char* s, size_type pos = npos) const noexcept { return view().find_last_of(s, pos); }
  size_type find_last_of(const char* s, size_type pos, size_type n) const noexcept {
    return view().find_last_of(s, pos, n);
  }
  size_type find_last_of(char c, size_type pos = npos) const noexcept { return rfind(c, pos); }
  size_type find_first_not_of(const ustring& s, size_type pos = 0) const noexcept {
    return view().find_first_not_of(s.view(), pos);
  }
  size_type find_first_not_of(const char* s, size_type pos = 0) const noexcept {
    return view().find_first_not_of(s, pos);
  }
  size_type find_first_not_of(const char* s, size_type pos, size_type n) const noexcept {
    return view().find_first_not_of(s, pos, n);
  }
  size_type find_first_not_of(char c, size_type pos = 0) const noexcept { return view().find_first_not_of(c, pos); }
  size_type find_last_not_of(const ustring& s, size_type pos = npos) const noexcept {
    return view().find_last_not_of(s.view(), pos);
  }
  size_type find_last_not_of(const char* s, size_type pos = npos) const noexcept {
    return view().find_last_not_of(s, pos);
  }
  size_type find_last_not_of(const char* s, size_type pos, size_type n) const noexcept {
    return view().find_last_not_of(s, pos, n);
  }
  size_type find_last_not_of(char c, size_type pos = npos) const noexcept { return view().find_last_not_of(c, pos); }

  // Byte-wise comparison (bytes as unsigned, a proper prefix first): negative,
  // zero or positive.
  int compare(const ustring& s) const noexcept {
    if (!is_long() && !s.is_long()) return compare_inline(rep_, s.rep_);
    return compare_bytes(data(), size(), s.data(), s.size());
  }
  int compare(const char* s) const noexcept { return compare_bytes(data(), size(), s, std::strlen(s)); }
  // The n bytes from pos (fewer at the end) against s / its first n2 bytes.
  int compare(size_type pos, size_type n, const char* s) const { return compare(pos, n, s, std::strlen(s)); }
  int compare(size_type pos, size_type n, const char* s, size_type n2) const {
    const size_type len = size();
    if (pos > len) throw_out_of_range();
    return compare_bytes(data() + pos, clamp_count(n, len - pos), s, n2);
  }

  // Views and conversions.
  std::string_view view() const noexcept { return {data(), static_cast<std::size_t>(size())}; }
  operator std::string_view() const noexcept { return view(); }
  std::string str() const { return std::string(view()); }

  // UTF-16 forms (wchar_t holds UTF-16 code units on every platform). The
  // leading bytes 0x01-0x7F are copied one to one and a NUL among them ends
  // the result; from the first byte of 0x80 or more the rest is decoded as
  // strict UTF-8 and decoding ends at the first ill-formed or truncated
  // sequence, keeping the units before it. Never throws for bad input.
  std::wstring to_wstring() const;
  std::u16string to_u16string() const;
  // Bytes FF FE followed by each UTF-16 code unit, low byte first.
  std::string to_utf16le() const;

  // ASCII case mapping of the bytes 0x21-0x7D; other bytes unchanged.
  ustring to_lower() const;
  ustring to_upper() const;

  // Comparisons of the UTF-16 forms, by code unit value; the nocase forms
  // fold A-Z to a-z first. Negative, zero or positive.
  int compare_nocase(const ustring& other) const;
  int compare_collate(const ustring& other) const;
  int compare_collate_nocase(const ustring& other) const;
  // Natural order: runs of decimal digits compare by numeric value
  // ("file9" < "file10"); other bytes compare as signed values. Texts that
  // differ never compare equal ("x01" < "x1").
  int compare_natural(const ustring& other) const;
  int compare_natural_nocase(const ustring& other) const;

  // atoi of the text: leading whitespace and one sign accepted, stops at the
  // first non-digit, 0 without a number; saturates at INT_MIN/INT_MAX.
  int to_int() const;
  // atof of the text in the C locale (decimal separator '.', whatever the
  // global locale); 0 without a number.
  double to_double() const;

  // Numbered placeholder substitution. A placeholder is '%' followed by one
  // digit ("%10" is placeholder 1 followed by '0'). Each call replaces the
  // last occurrence of the smallest digit present by the rendered argument and
  // returns the new text (an equal copy when there is no placeholder); the
  // string it is called on is unchanged. Chained calls therefore fill %0, %1,
  // ... in ascending order wherever they stand.
  // Text: cut to width when longer, padded on the left with fill when shorter.
  ustring arg(const ustring& text, int width = 0, char fill = ' ') const;
  ustring arg(const char* text, int width = 0, char fill = ' ') const { return arg(ustring(text), width, fill); }
  ustring arg(char c) const;
  // Integers: base 8, 10 or 16 (lower case, no prefix; other bases give
  // decimal; negative values in base 8/16 show their two's complement as a
  // stream does), right-aligned in width with fill.
  ustring arg(int v, int width = 0, int base = 10, char fill = ' ') const;
  ustring arg(unsigned int v, int width = 0, int base = 10, char fill = ' ') const;
  ustring arg(long v, int width = 0, int base = 10, char fill = ' ') const;
  ustring arg(unsigned long v, int width = 0, int base = 10, char fill = ' ') const;
  ustring arg(long long v, int width = 0, int base = 10, char fill = ' ') const;
  ustring arg(unsigned long long v, int width = 0, int base = 10, char fill = ' ') const;
  ustring arg(short v, int width = 0, int base = 10, char fill = ' ') const;
  ustring arg(unsigned short v, int width = 0, int base = 10, char fill = ' ') const;
  // As a C-locale output stream writes it: precision unless -1, 'e'
  // scientific, 'f' fixed, any other letter the default notation;
  // right-aligned in width with fill.
  ustring arg(double v, int precision = -1, char format = 'g', int width = 0, char fill = ' ') const;

  // Replaces the text by the fixed-point rendering of value with `precision`
  // decimals and no trailing zeros; false when the rendering is zero.
  bool number(double value, int precision);

 private:
  // Representation (24 bytes, no endianness assumed):
  //   short form: rep_[0..22] the bytes, then zeros up to rep_[22] (so the
  //               NUL is there), rep_[23] the length (0..22);
  //   long form:  rep_[0..7] the block pointer, rep_[8..15] the length,
  //               rep_[16..19] the capacity, rep_[23] == kLongTag.
  // Because the short form is zero-padded, two short strings are equal when
  // their 24 bytes are, and they order like their 24 bytes read as three
  // big-endian words (the length byte last breaks ties of a prefix).
  // Fields are read and written through memcpy, which compiles to plain
  // loads and stores and keeps the aliasing rules intact. A long string stays
  // long when it shrinks.
  static constexpr unsigned char kLongTag = 0x80;
  static constexpr std::size_t kTagIndex = 23;

  bool is_long() const noexcept { return static_cast<unsigned char>(rep_[kTagIndex]) == kLongTag; }
  size_type short_size() const noexcept { return static_cast<unsigned char>(rep_[kTagIndex]); }
  char* long_data() const noexcept {
    char* p;
    std::memcpy(&p, rep_, sizeof p);
    return p;
  }
  size_type long_size() const noexcept {
    size_type n;
    std::memcpy(&n, rep_ + 8, sizeof n);
    return n;
  }
  size_type long_capacity() const noexcept {
    std::uint32_t c;
    std::memcpy(&c, rep_ + 16, sizeof c);
    return c;
  }
  void set_long(char* p, size_type n, size_type cap) noexcept {
    const auto c = static_cast<std::uint32_t>(cap);
    std::memcpy(rep_, &p, sizeof p);
    std::memcpy(rep_ + 8, &n, sizeof n);
    std::memcpy(rep_ + 16, &c, sizeof c);
    rep_[kTagIndex] = static_cast<char>(kLongTag);
  }
  void set_long_size(size_type n) noexcept { std::memcpy(rep_ + 8, &n, sizeof n); }
  // For a length that grew (or stayed): the bytes up to it are written.
  void set_size(size_type n) noexcept {
    if (is_long()) {
      set_long_size(n);
    } else {
      rep_[kTagIndex] = static_cast<char>(n);
    }
  }
  // Cuts the text to n <= size() bytes, keeping the short form zero-padded.
  void truncate(size_type n) noexcept {
    if (is_long()) {
      long_data()[n] = '\0';
      set_long_size(n);
    } else {
      std::memset(rep_ + n, 0, short_size() - n);
      rep_[kTagIndex] = static_cast<char>(n);
    }
  }
  void set_empty() noexcept {
    std::memset(rep_, 0, sizeof rep_);
  }
  size_type last_index() const noexcept {
    const size_type n = size();
    return n ? n - 1 : 0;
  }

  void init(const char* s, size_type n) {
    if (n <= inline_capacity) {
      std::memset(rep_, 0, sizeof rep_);
      move_bytes(rep_, s, n);
      rep_[kTagIndex] = static_cast<char>(n);
    } else {
      init_long(s, n);
    }
  }
  void init_long(const char* s, size_type n) {
    if (n > max_length) throw_length_error();
    const size_type cap = capacity_for(n);
    char* p = allocate(cap);
    std::memcpy(p, s, n);
    p[n] = '\0';
    set_long(p, n, cap);
  }
  ustring& append_grow(const char* s, size_type n, size_type old);
  ustring& assign_new_block(const char* s, size_type n);
  ustring& replace_bytes(size_type pos, size_type n1, const char* s, size_type n2);
  ustring& replace_fill(size_type pos, size_type n1, size_type n2, char c);
  char* open_gap(size_type pos, size_type n1, size_type n2);
  void reallocate(size_type cap);

  // memmove that accepts (nullptr, 0), so empty ranges from containers pass.
  static void move_bytes(char* dest, const char* src, size_type n) noexcept {
    if (n) std::memmove(dest, src, n);
  }
  static std::uint64_t load_big_endian(const char* p) noexcept {
    unsigned char b[8];
    std::memcpy(b, p, sizeof b);
    return std::uint64_t{b[0]} << 56 | std::uint64_t{b[1]} << 48 | std::uint64_t{b[2]} << 40 |
           std::uint64_t{b[3]} << 32 | std::uint64_t{b[4]} << 24 | std::uint64_t{b[5]} << 16 |
           std::uint64_t{b[6]} << 8 | std::uint64_t{b[7]};
  }
  static int compare_inline(const char* a, const char* b) noexcept {
    for (std::size_t i = 0; i < 24; i += 8) {
      const std::uint64_t x = load_big_endian(a + i), y = load_big_endian(b + i);
      if (x != y) return x < y ? -1 : 1;
    }
    return 0;
  }
  static size_type clamp_count(size_type n, size_type available) noexcept { return n < available ? n : available; }
  // Whether the bytes between the first and the last of two n-byte ranges
  // agree; short needles are compared in place of a library call.
  static bool equal_middle(const char* a, const char* b, size_type n) noexcept {
    if (n > 16) return std::memcmp(a + 1, b + 1, n - 2) == 0;
    for (size_type i = 1; i + 1 < n; ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }
  static int compare_bytes(const char* a, size_type na, const char* b, size_type nb) noexcept {
    const size_type n = na < nb ? na : nb;
    if (n) {
      const int r = std::memcmp(a, b, n);
      if (r != 0) return r;
    }
    return na < nb ? -1 : (na > nb ? 1 : 0);
  }
  // Long blocks come from the global operator new/delete (not malloc) so that
  // a program that replaces them counts ustring blocks like std::string ones.
  static char* allocate(size_type cap) { return static_cast<char*>(::operator new(cap + 1)); }
  static void release(char* p) noexcept { ::operator delete(p); }
  // Capacity for a request of n bytes: the inline 22, else the smallest
  // 16k - 1 at least n, so that a block (capacity plus the NUL) is a multiple
  // of 16; never above the longest text, since no block needs more.
  static constexpr size_type capacity_for(size_type n) noexcept {
    if (n <= inline_capacity) return inline_capacity;
    const size_type cap = ((n + 16) & ~size_type{15}) - 1;
    return cap < max_length ? cap : max_length;
  }
  // Capacity after an append or insert that needs `needed` bytes overflowed
  // `old_cap`: doubling, so repeated appends stay linear, until doubling would
  // pass the limit; from there the largest block that can ever be needed.
  static constexpr size_type grown_capacity(size_type old_cap, size_type needed) noexcept {
    if (old_cap >= max_length / 2 - 16) return max_length;
    const size_type doubled = 2 * old_cap;
    return capacity_for(doubled > needed ? doubled : needed);
  }
  [[noreturn]] static void throw_length_error();
  [[noreturn]] static void throw_out_of_range();

  alignas(8) char rep_[24];

  friend bool operator==(const ustring& a, const ustring& b) noexcept;
};

// Append that overflows the capacity (n > 0, old == size()): the result is
// built in a new block before the old one, which s may point into, goes.
// Inline like the rest of append: a call here costs more than the copies of
// texts of a few hundred bytes. The length test is written so the compiler
// can see old + n <= max_length (no false overflow warnings at call sites).
inline ustring& ustring::append_grow(const char* s, size_type n, size_type old) {
  if (n > max_length || old > max_length - n) throw_length_error();
  const size_type cap = grown_capacity(capacity(), old + n);
  char* p = allocate(cap);
  char* d = data();
  if (old) std::memcpy(p, d, old);
  std::memcpy(p + old, s, n);
  p[old + n] = '\0';
  if (is_long()) release(d);
  set_long(p, old + n, cap);
  return *this;
}

inline bool operator==(const ustring& a, const ustring& b) noexcept {
  if (!a.is_long() && !b.is_long()) return std::memcmp(a.rep_, b.rep_, sizeof a.rep_) == 0;
  const ustring::size_type n = a.size();
  return n == b.size() && (n == 0 || std::memcmp(a.data(), b.data(), n) == 0);
}
inline bool operator==(const ustring& a, const char* b) noexcept { return a.view() == std::string_view(b); }
inline std::strong_ordering operator<=>(const ustring& a, const ustring& b) noexcept {
  return a.compare(b) <=> 0;
}
inline std::strong_ordering operator<=>(const ustring& a, const char* b) noexcept { return a.compare(b) <=> 0; }

ustring operator+(const ustring& a, const ustring& b);
ustring operator+(const char* a, const ustring& b);
ustring operator+(char a, const ustring& b);
ustring operator+(const ustring& a, const char* b);
ustring operator+(const ustring& a, char b);

// Writes the bytes up to the first NUL.
std::ostream& operator<<(std::ostream& os, const ustring& s);
// Reads one whitespace-delimited word (as for std::string).
std::istream& operator>>(std::istream& is, ustring& s);

template <>
struct std::hash<ustring> {
  std::size_t operator()(const ustring& s) const noexcept { return std::hash<std::string_view>()(s.view()); }
};
