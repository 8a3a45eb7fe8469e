#include "utils/ustring.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <functional>
#include <istream>
#include <locale>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <type_traits>

#include "utils/c_numbers.h"
#include "utils/utf.h"

namespace {

using size_type = ustring::size_type;

bool overlaps(const char* p, const char* begin, const char* end) {
  // std::less gives a total order even for pointers into different objects.
  const std::less<const char*> less;
  return !less(p, begin) && less(p, end);
}

bool is_ascii_digit(unsigned char c) { return c >= '0' && c <= '9'; }
char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }
char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c; }

// Pulls the UTF-16 code units of a UTF-8 text one at a time, with the rules of
// ustring::to_wstring, so two texts can be compared without converting them.
class Utf16Units {
 public:
  explicit Utf16Units(std::string_view text)
      : p_(reinterpret_cast<const unsigned char*>(text.data())), end_(p_ + text.size()) {}

  // The next code unit, or -1 where the convertible text ends.
  std::int32_t next() {
    if (pending_ >= 0) {
      const std::int32_t unit = pending_;
      pending_ = -1;
      return unit;
    }
    if (p_ == end_) return -1;
    if (ascii_run_) {
      const unsigned char b = *p_;
      if (b == 0) {
        p_ = end_;
        return -1;
      }
      if (b < 0x80) {
        ++p_;
        return b;
      }
      ascii_run_ = false;
    }
    char32_t c;
    if (!vxu::utf8_decode_one(p_, end_, c)) {
      p_ = end_;
      return -1;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      pending_ = static_cast<std::int32_t>(0xDC00 + (c & 0x3FF));
      return static_cast<std::int32_t>(0xD800 + (c >> 10));
    }
    return static_cast<std::int32_t>(c);
  }

 private:
  const unsigned char* p_;
  const unsigned char* end_;
  bool ascii_run_ = true;
  std::int32_t pending_ = -1;
};

int compare_utf16(std::string_view a, std::string_view b, bool fold_case) {
  Utf16Units x(a), y(b);
  for (;;) {
    std::int32_t u = x.next(), v = y.next();
    if (fold_case) {
      if (u >= 'A' && u <= 'Z') u += 'a' - 'A';
      if (v >= 'A' && v <= 'Z') v += 'a' - 'A';
    }
    if (u != v) return u - v;
    if (u < 0) return 0;
  }
}

// Compares the numeric values of the digit runs at the start of a and b
// (both start with a digit): the difference of the values when both fit in an
// int, as atoi would give it, else -1 or 1. Long runs are compared by their
// digits, so no value overflows.
int compare_digit_runs(std::string_view a, std::string_view b) {
  auto run = [](std::string_view s) {
    std::size_t n = 0;
    while (n < s.size() && is_ascii_digit(static_cast<unsigned char>(s[n]))) ++n;
    std::size_t first = 0;  // skip leading zeros: they do not change the value
    while (first + 1 < n && s[first] == '0') ++first;
    return s.substr(first, n - first);
  };
  const std::string_view ra = run(a), rb = run(b);
  constexpr std::size_t kIntDigits = 9;  // 999,999,999 fits in any int
  if (ra.size() <= kIntDigits && rb.size() <= kIntDigits) {
    int va = 0, vb = 0;
    for (char c : ra) va = va * 10 + (c - '0');
    for (char c : rb) vb = vb * 10 + (c - '0');
    return va - vb;
  }
  if (ra.size() != rb.size()) return ra.size() < rb.size() ? -1 : 1;
  const int r = ra.compare(rb);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int compare_natural_impl(std::string_view a, std::string_view b, bool fold_case) {
  auto byte = [fold_case](std::string_view s, std::size_t i) {
    // Digit tests and case mapping only concern 0x21-0x7D, so plain ASCII
    // tests are exact.
    return fold_case ? ascii_lower(s[i]) : s[i];
  };
  auto digit_at = [](std::string_view s, std::size_t i) {
    return i < s.size() && is_ascii_digit(static_cast<unsigned char>(s[i]));
  };
  // Lengths are at most max_length, so they and their difference fit in an int.
  const int na = static_cast<int>(a.size()), nb = static_cast<int>(b.size());
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  std::size_t i = 0;
  while (i < n && byte(a, i) == byte(b, i)) ++i;
  const std::size_t first_difference = i;
  auto byte_difference = [&]() {
    if (first_difference == n) return na - nb;
    return static_cast<int>(static_cast<signed char>(byte(a, first_difference))) -
           static_cast<int>(static_cast<signed char>(byte(b, first_difference)));
  };
  if (!digit_at(a, i) && !digit_at(b, i)) {
    if (i == a.size()) return na - nb;
    if (i == b.size()) return 1;
    return byte_difference();
  }
  while (i > 0 && is_ascii_digit(static_cast<unsigned char>(a[i - 1]))) --i;
  if (i == n) return na - nb;
  if (digit_at(a, i) && digit_at(b, i)) {
    const int r = compare_digit_runs(a.substr(i), b.substr(i));
    // Equal values spelled differently ("01" and "1"): order by the bytes, so
    // that only equal texts compare equal.
    return r != 0 ? r : byte_difference();
  }
  return static_cast<int>(static_cast<signed char>(byte(a, i))) -
         static_cast<int>(static_cast<signed char>(byte(b, i)));
}

// Position of the placeholder that arg replaces: the last occurrence of the
// smallest digit d in a "%d", or npos.
std::size_t find_placeholder(std::string_view text) {
  std::size_t best = std::string_view::npos;
  char best_digit = '9' + 1;
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* p = begin;
  while (end - p >= 2) {
    p = static_cast<const char*>(std::memchr(p, '%', static_cast<std::size_t>(end - p - 1)));
    if (p == nullptr) break;
    const char d = p[1];
    if (is_ascii_digit(static_cast<unsigned char>(d))) {
      if (d <= best_digit) {
        best_digit = d;
        best = static_cast<std::size_t>(p - begin);
      }
      p += 2;
    } else {
      p += 1;
    }
  }
  return best;
}

// text with the two bytes at pos replaced by the rendering.
ustring substitute(const ustring& text, std::size_t pos, std::string_view rendering) {
  ustring out;
  out.reserve(text.size() - 2 + rendering.size());
  out.append(text.data(), pos);
  out.append(rendering.data(), rendering.size());
  out.append(text.data() + pos + 2, text.size() - pos - 2);
  return out;
}

// The rendering right-aligned in width with fill (no change when it is at
// least as long as width).
ustring substitute_padded(const ustring& text, std::size_t pos, std::string_view rendering, int width,
                          char fill) {
  if (width <= 0 || static_cast<std::size_t>(width) <= rendering.size()) {
    return substitute(text, pos, rendering);
  }
  ustring padded(static_cast<size_type>(width) - rendering.size(), fill);
  padded.append(rendering.data(), rendering.size());
  return substitute(text, pos, padded.view());
}

template <class Int>
ustring arg_integer(const ustring& text, Int v, int width, int base, char fill) {
  const std::size_t pos = find_placeholder(text.view());
  if (pos == std::string_view::npos) return text;
  char digits[72];
  std::to_chars_result r;
  if (base == 8 || base == 16) {
    // A stream writes a negative value in these bases as its unsigned form.
    r = std::to_chars(digits, digits + sizeof digits, static_cast<std::make_unsigned_t<Int>>(v), base);
  } else {
    r = std::to_chars(digits, digits + sizeof digits, v);
  }
  return substitute_padded(text, pos, std::string_view(digits, static_cast<std::size_t>(r.ptr - digits)), width,
                           fill);
}

}  // namespace

// ---- storage -------------------------------------------------------------

void ustring::throw_length_error() { throw std::length_error("ustring"); }
void ustring::throw_out_of_range() { throw std::out_of_range("ustring"); }

ustring::ustring(size_type n, char c) {
  if (n > max_length) throw_length_error();
  char* d = rep_;
  if (n <= inline_capacity) {
    std::memset(rep_, 0, sizeof rep_);
    rep_[kTagIndex] = static_cast<char>(n);
  } else {
    const size_type cap = capacity_for(n);
    d = allocate(cap);
    set_long(d, n, cap);
  }
  std::memset(d, c, n);
  d[n] = '\0';
}

ustring::ustring(const ustring& other, size_type pos, size_type n) {
  const size_type len = other.size();
  if (pos > len) throw_out_of_range();
  init(other.data() + pos, clamp_count(n, len - pos));
}

void ustring::reallocate(size_type cap) {
  const size_type n = size();
  char* p = allocate(cap);
  std::memcpy(p, data(), n + 1);
  if (is_long()) release(long_data());
  set_long(p, n, cap);
}

ustring& ustring::assign_new_block(const char* s, size_type n) {
  if (n > max_length) throw_length_error();
  const size_type cap = capacity_for(n);
  char* p = allocate(cap);
  std::memcpy(p, s, n);  // before the old block goes: s may point into it
  p[n] = '\0';
  if (is_long()) release(long_data());
  set_long(p, n, cap);
  return *this;
}

ustring& ustring::assign(const ustring& s, size_type pos, size_type n) {
  const size_type len = s.size();
  if (pos > len) throw_out_of_range();
  return assign(s.data() + pos, clamp_count(n, len - pos));
}

ustring& ustring::assign(size_type n, char c) {
  if (n > max_length) throw_length_error();
  if (n > capacity()) reallocate(capacity_for(n));
  if (n < size()) truncate(n);
  char* d = data();
  std::memset(d, c, n);
  d[n] = '\0';
  set_size(n);
  return *this;
}

ustring& ustring::append(const ustring& s, size_type pos, size_type n) {
  const size_type len = s.size();
  if (pos > len) throw_out_of_range();
  return append(s.data() + pos, clamp_count(n, len - pos));
}

// Replaces the n1 bytes at pos (pos <= size(), n1 <= size() - pos) by a gap of
// n2 bytes and returns the gap's start; bytes around the gap keep their order.
// Checks the length before anything changes.
char* ustring::open_gap(size_type pos, size_type n1, size_type n2) {
  const size_type old = size();
  if (n2 > n1 && n2 - n1 > max_length - old) throw_length_error();
  const size_type new_size = old - n1 + n2;
  const size_type tail = old - pos - n1;
  if (new_size <= capacity()) {
    char* d = data();
    if (n1 != n2) move_bytes(d + pos + n2, d + pos + n1, tail);
    if (new_size < old) {
      truncate(new_size);
    } else {
      d[new_size] = '\0';
      set_size(new_size);
    }
    return d + pos;
  }
  const size_type cap = grown_capacity(capacity(), new_size);
  char* p = allocate(cap);
  const char* d = data();
  move_bytes(p, d, pos);
  move_bytes(p + pos + n2, d + pos + n1, tail);
  p[new_size] = '\0';
  if (is_long()) release(long_data());
  set_long(p, new_size, cap);
  return p + pos;
}

ustring& ustring::replace_bytes(size_type pos, size_type n1, const char* s, size_type n2) {
  const size_type old = size();
  if (n2 > n1 && n2 - n1 > max_length - old) throw_length_error();
  const size_type new_size = old - n1 + n2;
  const size_type tail = old - pos - n1;
  char* d = data();
  if (new_size > capacity()) {
    // Build the result in a new block; the old one, which s may point into,
    // goes last.
    const size_type cap = grown_capacity(capacity(), new_size);
    char* p = allocate(cap);
    move_bytes(p, d, pos);
    move_bytes(p + pos, s, n2);
    move_bytes(p + pos + n2, d + pos + n1, tail);
    p[new_size] = '\0';
    if (is_long()) release(d);
    set_long(p, new_size, cap);
    return *this;
  }
  if (n2 != 0 && overlaps(s, d, d + old + 1)) {
    // The source is part of this text and would move when the gap opens:
    // work from a copy (it allocates only for pieces above 22 bytes).
    const ustring piece(s, n2);
    move_bytes(open_gap(pos, n1, n2), piece.data(), n2);
    return *this;
  }
  move_bytes(open_gap(pos, n1, n2), s, n2);
  return *this;
}

ustring& ustring::replace_fill(size_type pos, size_type n1, size_type n2, char c) {
  char* gap = open_gap(pos, n1, n2);
  if (n2) std::memset(gap, c, n2);
  return *this;
}

ustring& ustring::replace(size_type pos, size_type n, const char* s, size_type n2) {
  const size_type len = size();
  if (pos > len) throw_out_of_range();
  return replace_bytes(pos, clamp_count(n, len - pos), s, n2);
}

ustring& ustring::replace(size_type pos, size_type n, size_type n2, char c) {
  const size_type len = size();
  if (pos > len) throw_out_of_range();
  return replace_fill(pos, clamp_count(n, len - pos), n2, c);
}

ustring& ustring::erase(size_type pos, size_type n) {
  const size_type len = size();
  if (pos > len) throw_out_of_range();
  open_gap(pos, clamp_count(n, len - pos), 0);
  return *this;
}

ustring::size_type ustring::copy(char* dest, size_type n, size_type pos) const {
  const size_type len = size();
  if (pos > len) throw_out_of_range();
  const size_type count = clamp_count(n, len - pos);
  move_bytes(dest, data() + pos, count);
  return count;
}

void ustring::resize(size_type n, char c) {
  const size_type len = size();
  if (n <= len) {
    truncate(n);
  } else {
    append(n - len, c);
  }
}

void ustring::reserve(size_type n) {
  if (n > max_length) throw_length_error();
  if (n > capacity()) reallocate(capacity_for(n));
}

// ---- Unicode ---------------------------------------------------------------

ustring::ustring(const std::u16string& w) : ustring() {
  reserve(clamp_count(w.size(), max_length));
  const char16_t* units = w.data();
  vxu::utf16_to_utf8_chunked(
      w.size(), [units](std::size_t i) { return static_cast<char32_t>(units[i]); },
      [this](const char* p, std::size_t n) { append(p, n); });
}

ustring::ustring(const wchar_t* w, size_type n) : ustring() {
  if (w == nullptr) return;
  reserve(clamp_count(n, max_length));
  // A negative 32-bit wchar_t becomes a value above U+10FFFF and ends the text.
  vxu::utf16_to_utf8_chunked(
      static_cast<std::size_t>(n), [w](std::size_t i) { return static_cast<char32_t>(w[i]); },
      [this](const char* p, std::size_t count) { append(p, count); });
}

ustring::ustring(const wchar_t* w) : ustring(w, w ? std::char_traits<wchar_t>::length(w) : 0) {}

ustring::ustring(const std::wstring& w) : ustring(w.data(), w.size()) {}

std::wstring ustring::to_wstring() const {
  std::wstring out;
  vxu::utf8_to_utf16_chunked<wchar_t>(view(), [&out](const wchar_t* p, std::size_t n) { out.append(p, n); });
  return out;
}

std::u16string ustring::to_u16string() const {
  std::u16string out;
  vxu::utf8_to_utf16_chunked<char16_t>(view(), [&out](const char16_t* p, std::size_t n) { out.append(p, n); });
  return out;
}

std::string ustring::to_utf16le() const {
  std::string out("\xFF\xFE", 2);
  out.reserve(2 + 2 * static_cast<std::size_t>(size()));
  vxu::utf8_to_utf16_chunked<char16_t>(view(), [&out](const char16_t* p, std::size_t n) {
    char bytes[2 * vxu::kUtfChunkUnits];
    for (std::size_t i = 0; i < n; ++i) {
      bytes[2 * i] = static_cast<char>(p[i] & 0xFF);
      bytes[2 * i + 1] = static_cast<char>(p[i] >> 8);
    }
    out.append(bytes, 2 * n);
  });
  return out;
}

ustring ustring::from_bytes(const void* bytes, size_type n) {
  enum class Encoding { kUtf8, kUtf16Le, kUtf16Be, kUtf32Le, kUtf32Be };
  const auto* b = static_cast<const unsigned char*>(bytes);
  if (b == nullptr) n = 0;
  Encoding encoding = Encoding::kUtf8;
  size_type mark = 0;
  if (n >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF) {
    encoding = Encoding::kUtf32Be, mark = 4;
  } else if (n >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) {
    encoding = Encoding::kUtf32Le, mark = 4;
  } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    encoding = Encoding::kUtf16Be, mark = 2;
  } else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    encoding = Encoding::kUtf16Le, mark = 2;
  } else if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    encoding = Encoding::kUtf8, mark = 3;
  } else if (n >= 4 && b[0] == 0 && b[1] == 0 && (b[2] != 0 || b[3] != 0)) {
    encoding = Encoding::kUtf32Be;
  } else if (n >= 4 && (b[0] != 0 || b[1] != 0) && b[2] == 0 && b[3] == 0) {
    encoding = Encoding::kUtf32Le;
  } else if (n >= 2 && b[0] == 0 && b[1] != 0) {
    encoding = Encoding::kUtf16Be;
  } else if (n >= 2 && b[0] != 0 && b[1] == 0) {
    encoding = Encoding::kUtf16Le;
  }
  const unsigned char* p = b + mark;
  const size_type rest = n - mark;
  if (encoding == Encoding::kUtf8) return ustring(reinterpret_cast<const char*>(p), rest);

  ustring out;
  auto sink = [&out](const char* s, std::size_t count) { out.append(s, count); };
  switch (encoding) {
    case Encoding::kUtf16Le:
    case Encoding::kUtf16Be: {
      const bool big = encoding == Encoding::kUtf16Be;
      const auto count = static_cast<std::size_t>(rest / 2);
      out.reserve(clamp_count(count, max_length));
      vxu::utf16_to_utf8_chunked(
          count,
          [p, big](std::size_t i) {
            const unsigned char* u = p + 2 * i;
            return static_cast<char32_t>(big ? (u[0] << 8 | u[1]) : (u[1] << 8 | u[0]));
          },
          sink);
      break;
    }
    default: {
      const bool big = encoding == Encoding::kUtf32Be;
      const auto count = static_cast<std::size_t>(rest / 4);
      out.reserve(clamp_count(count, max_length));
      vxu::utf32_to_utf8_chunked(
          count,
          [p, big](std::size_t i) {
            const unsigned char* u = p + 4 * i;
            return big ? (char32_t{u[0]} << 24 | char32_t{u[1]} << 16 | char32_t{u[2]} << 8 | u[3])
                       : (char32_t{u[3]} << 24 | char32_t{u[2]} << 16 | char32_t{u[1]} << 8 | u[0]);
          },
          sink);
      break;
    }
  }
  return out;
}

// ---- case and comparison ---------------------------------------------------

ustring ustring::to_lower() const {
  ustring out(*this);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

ustring ustring::to_upper() const {
  ustring out(*this);
  for (char& c : out) c = ascii_upper(c);
  return out;
}

int ustring::compare_nocase(const ustring& other) const { return compare_utf16(view(), other.view(), true); }
int ustring::compare_collate(const ustring& other) const { return compare_utf16(view(), other.view(), false); }
int ustring::compare_collate_nocase(const ustring& other) const {
  return compare_utf16(view(), other.view(), true);
}
int ustring::compare_natural(const ustring& other) const {
  return compare_natural_impl(view(), other.view(), false);
}
int ustring::compare_natural_nocase(const ustring& other) const {
  return compare_natural_impl(view(), other.view(), true);
}

// ---- numbers ---------------------------------------------------------------

int ustring::to_int() const { return vxu::c_atoi(view()); }

double ustring::to_double() const { return vxu::c_atof(view()); }

// ---- arg -------------------------------------------------------------------

ustring ustring::arg(const ustring& text, int width, char fill) const {
  const std::size_t pos = find_placeholder(view());
  if (pos == std::string_view::npos) return *this;
  std::string_view rendering = text.view();
  if (width > 0 && rendering.size() > static_cast<std::size_t>(width)) {
    rendering = rendering.substr(0, static_cast<std::size_t>(width));
  }
  return substitute_padded(*this, pos, rendering, width, fill);
}

ustring ustring::arg(char c) const {
  const std::size_t pos = find_placeholder(view());
  if (pos == std::string_view::npos) return *this;
  return substitute(*this, pos, std::string_view(&c, 1));
}

ustring ustring::arg(int v, int width, int base, char fill) const { return arg_integer(*this, v, width, base, fill); }
ustring ustring::arg(unsigned int v, int width, int base, char fill) const {
  return arg_integer(*this, v, width, base, fill);
}
ustring ustring::arg(long v, int width, int base, char fill) const { return arg_integer(*this, v, width, base, fill); }
ustring ustring::arg(unsigned long v, int width, int base, char fill) const {
  return arg_integer(*this, v, width, base, fill);
}
ustring ustring::arg(long long v, int width, int base, char fill) const {
  return arg_integer(*this, v, width, base, fill);
}
ustring ustring::arg(unsigned long long v, int width, int base, char fill) const {
  return arg_integer(*this, v, width, base, fill);
}
ustring ustring::arg(short v, int width, int base, char fill) const {
  return arg_integer(*this, v, width, base, fill);
}
ustring ustring::arg(unsigned short v, int width, int base, char fill) const {
  return arg_integer(*this, v, width, base, fill);
}

ustring ustring::arg(double v, int precision, char format, int width, char fill) const {
  const std::size_t pos = find_placeholder(view());
  if (pos == std::string_view::npos) return *this;
  std::ostringstream os;
  os.imbue(std::locale::classic());  // '.' whatever the global locale says
  if (precision != -1) os.precision(precision);
  if (format == 'e') {
    os << std::scientific;
  } else if (format == 'f') {
    os << std::fixed;
  }
  if (width > 0) {
    os.width(width);
    os.fill(fill);
  }
  os << v;
  const std::string rendering = std::move(os).str();
  return substitute(*this, pos, rendering);
}

// ---- free operators ----------------------------------------------------------

namespace {
ustring concat(const char* a, size_type na, const char* b, size_type nb) {
  if (na > ustring::max_length || nb > ustring::max_length - na) throw std::length_error("ustring");
  ustring out;
  out.reserve(na + nb);  // one block at most
  out.append(a, na);
  out.append(b, nb);
  return out;
}
}  // namespace

ustring operator+(const ustring& a, const ustring& b) { return concat(a.data(), a.size(), b.data(), b.size()); }
ustring operator+(const char* a, const ustring& b) {
  return concat(a ? a : "", a ? std::strlen(a) : 0, b.data(), b.size());
}
ustring operator+(char a, const ustring& b) { return concat(&a, 1, b.data(), b.size()); }
ustring operator+(const ustring& a, const char* b) {
  return concat(a.data(), a.size(), b ? b : "", b ? std::strlen(b) : 0);
}
ustring operator+(const ustring& a, char b) { return concat(a.data(), a.size(), &b, 1); }

std::ostream& operator<<(std::ostream& os, const ustring& s) { return os << s.c_str(); }

std::istream& operator>>(std::istream& is, ustring& s) {
  std::string word;
  if (is >> word) s.assign(word.data(), word.size());
  return is;
}
