#include "utils/format.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace vxu {
namespace {

[[noreturn]] void throw_length() { throw std::length_error("ustring"); }

// Collects the result in an on-stack buffer and spills into a ustring only
// when a result outgrows it, so a typical format allocates at most once.
class FormatSink {
 public:
  void append(const char* p, std::size_t n) {
    if (n <= kCapacity - used_) {
      // Most pieces are a few bytes: a plain loop beats a call to memcpy.
      char* dest = buf_ + used_;
      if (n <= 16) {
        for (std::size_t i = 0; i < n; ++i) dest[i] = p[i];
      } else {
        std::memcpy(dest, p, n);
      }
      used_ += n;
      return;
    }
    reserve(n);
    flush();
    if (n <= kCapacity) {
      std::memcpy(buf_, p, n);
      used_ = n;
    } else {
      spill_.append(p, n);
    }
  }

  void append_fill(char c, std::size_t n) {
    if (n <= 16 && n <= kCapacity - used_) {
      for (std::size_t i = 0; i < n; ++i) buf_[used_ + i] = c;
      used_ += n;
      return;
    }
    reserve(n);
    while (n > 0) {
      if (used_ == kCapacity) flush();
      const std::size_t k = std::min(n, kCapacity - used_);
      std::memset(buf_ + used_, c, k);
      used_ += k;
      n -= k;
    }
  }

  // Runs render(dest, size) -> int, an snprintf-like callback, first into the
  // free part of the buffer and again into a fitting one when it reported a
  // longer result. A negative report (the C library failed) adds nothing.
  template <class Render>
  void render(Render&& fn) {
    const int r = fn(buf_ + used_, kCapacity - used_);
    if (r < 0) return;
    const auto n = static_cast<std::size_t>(r);
    if (n < kCapacity - used_) {
      used_ += n;
      return;
    }
    reserve(n);
    flush();
    if (n < kCapacity) {
      fn(buf_, kCapacity);
      used_ = n;
      return;
    }
    std::string big(n, '\0');
    fn(big.data(), n + 1);
    spill_.append(big.data(), n);
  }

  ustring finish() {
    if (spill_.empty()) return ustring(buf_, used_);
    spill_.append(buf_, used_);
    return std::move(spill_);
  }

 private:
  static constexpr std::size_t kCapacity = 256;

  // Fails before anything is allocated for a result that cannot be a ustring.
  void reserve(std::size_t n) const {
    const std::size_t total = spill_.size() + used_;
    if (total > ustring::max_length || n > ustring::max_length - total) throw_length();
  }
  void flush() {
    spill_.append(buf_, used_);
    used_ = 0;
  }

  char buf_[kCapacity];
  std::size_t used_ = 0;
  ustring spill_;
};

enum DirectiveClass { eDirectiveClass_Integer, eDirectiveClass_Char, eDirectiveClass_Double, eDirectiveClass_Pointer, eDirectiveClass_Text };

// Where a width or precision comes from.
enum SlotSource { eSlotSource_None, eSlotSource_Literal, eSlotSource_Argument };

constexpr std::size_t kMaxDirective = 127;
// Literal numbers saturate here: far beyond any length a ustring can reach,
// far below overflow.
constexpr std::int64_t kNumberCap = std::int64_t{1} << 40;

struct Directive {
  bool minus = false, plus = false, space = false, hash = false, zero = false;
  SlotSource width_source = eSlotSource_None;
  SlotSource precision_source = eSlotSource_None;
  std::int64_t width = 0;
  std::int64_t precision = 0;
  std::size_t width_pos = 0;  // 1-based explicit position, 0 = sequential
  std::size_t precision_pos = 0;
  std::size_t value_pos = 0;
  int h_count = 0;  // "h" cuts to 16 bits, "hh" to 8
  char conversion = 0;
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

DirectiveClass classify(char conversion) {
  switch (conversion) {
    case 'c': return eDirectiveClass_Char;
    case 'e': case 'E': case 'f': case 'g': case 'G': return eDirectiveClass_Double;
    case 'p': return eDirectiveClass_Pointer;
    case 's': return eDirectiveClass_Text;
    default: return eDirectiveClass_Integer;
  }
}

// What a character means inside a directive.
enum CharRole : std::uint8_t {
  eCharRole_Other,  // ends the directive as a literal
  eCharRole_Conversion,
  eCharRole_Flag,
  eCharRole_Zero,  // flag, or a digit after "."
  eCharRole_Digit,
  eCharRole_Dot,
  eCharRole_Star,
  eCharRole_ShortLength,
  eCharRole_Length,
};

constexpr std::array<CharRole, 256> make_roles() {
  std::array<CharRole, 256> roles{};
  for (unsigned char c : std::string_view("diouxXDOUceEfgGps")) roles[c] = eCharRole_Conversion;
  for (unsigned char c : std::string_view(" #+-")) roles[c] = eCharRole_Flag;
  roles['0'] = eCharRole_Zero;
  for (unsigned char c = '1'; c <= '9'; ++c) roles[c] = eCharRole_Digit;
  roles['.'] = eCharRole_Dot;
  roles['*'] = eCharRole_Star;
  roles['h'] = eCharRole_ShortLength;
  roles['l'] = eCharRole_Length;
  roles['q'] = eCharRole_Length;
  return roles;
}
constexpr std::array<CharRole, 256> kCharRoles = make_roles();

// A number from an argument used as width or precision; false when the
// argument is not a number.
bool argument_as_int(const FormatArg& a, std::int64_t& out) {
  switch (a.kind) {
    case eFormatArgKind_Signed:
    case eFormatArgKind_Char:
      out = static_cast<std::int64_t>(a.u);
      break;
    case eFormatArgKind_Unsigned:
      out = a.u > static_cast<std::uint64_t>(kNumberCap) ? kNumberCap : static_cast<std::int64_t>(a.u);
      break;
    case eFormatArgKind_Double:
      if (std::isnan(a.d)) out = 0;
      else if (a.d >= static_cast<double>(kNumberCap)) out = kNumberCap;
      else if (a.d <= -static_cast<double>(kNumberCap)) out = -kNumberCap;
      else out = static_cast<std::int64_t>(a.d);
      break;
    default:
      return false;
  }
  if (out > kNumberCap) out = kNumberCap;
  if (out < -kNumberCap) out = -kNumberCap;
  return true;
}

// The integer bits a directive renders for an argument that can be one.
std::uint64_t integer_bits(const FormatArg& a) {
  switch (a.kind) {
    case eFormatArgKind_Double: {
      const double d = a.d;
      if (std::isnan(d)) return 0;
      if (d >= 9223372036854775808.0) return static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
      if (d < -9223372036854775808.0) return static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::min());
      return static_cast<std::uint64_t>(static_cast<std::int64_t>(d));
    }
    case eFormatArgKind_CString:
    case eFormatArgKind_Pointer:
      return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(a.p));
    default:
      return a.u;
  }
}

// Bit width of an argument taken as an integer (pointers and converted
// doubles count as 64 bits).
int integer_width(const FormatArg& a) {
  return (a.kind == eFormatArgKind_Signed || a.kind == eFormatArgKind_Unsigned || a.kind == eFormatArgKind_Char) ? a.bits : 64;
}

double double_value(const FormatArg& a) {
  switch (a.kind) {
    case eFormatArgKind_Double: return a.d;
    case eFormatArgKind_Unsigned: return static_cast<double>(a.u);
    default: return static_cast<double>(static_cast<std::int64_t>(a.u));
  }
}

bool accepts(DirectiveClass cls, FormatArgKind kind) {
  switch (cls) {
    case eDirectiveClass_Integer:
    case eDirectiveClass_Char:
      return kind != eFormatArgKind_Text;
    case eDirectiveClass_Double:
      return kind == eFormatArgKind_Signed || kind == eFormatArgKind_Unsigned || kind == eFormatArgKind_Char ||
             kind == eFormatArgKind_Double;
    case eDirectiveClass_Pointer:
      return kind == eFormatArgKind_Signed || kind == eFormatArgKind_Unsigned || kind == eFormatArgKind_Char ||
             kind == eFormatArgKind_Pointer || kind == eFormatArgKind_CString;
    case eDirectiveClass_Text:
      return true;
  }
  return false;
}

// Renders one value through the C library's snprintf. The directive is
// rebuilt from its flags with "*" standing for a width and ".*" for a
// precision, each present only when set, so the C library parses no digits
// and no argument it does not need.
template <class V>
void render_with_c_library(FormatSink& out, const Directive& d, bool minus, int width, int precision, char conversion,
                           V value, const char* length = "") {
  char directive[16];
  char* p = directive;
  *p++ = '%';
  if (minus) *p++ = '-';
  if (d.plus) *p++ = '+';
  if (d.space) *p++ = ' ';
  if (d.hash) *p++ = '#';
  if (d.zero) *p++ = '0';
  if (width > 0) *p++ = '*';
  if (precision >= 0) {
    *p++ = '.';
    *p++ = '*';
  }
  while (*length != '\0') *p++ = *length++;
  *p++ = conversion;
  *p = '\0';
  if (width > 0 && precision >= 0) {
    out.render([&](char* dest, std::size_t size) { return std::snprintf(dest, size, directive, width, precision, value); });
  } else if (width > 0) {
    out.render([&](char* dest, std::size_t size) { return std::snprintf(dest, size, directive, width, value); });
  } else if (precision >= 0) {
    out.render([&](char* dest, std::size_t size) { return std::snprintf(dest, size, directive, precision, value); });
  } else {
    out.render([&](char* dest, std::size_t size) { return std::snprintf(dest, size, directive, value); });
  }
}

// Text bytes of a "%s"-style rendering: n bytes at p, cut by the precision and
// at the first NUL.
void append_text(FormatSink& out, const char* p, std::size_t n, bool minus, std::int64_t width,
                 std::int64_t precision) {
  if (precision >= 0 && static_cast<std::uint64_t>(precision) < n) n = static_cast<std::size_t>(precision);
  if (const void* nul = std::memchr(p, '\0', n)) n = static_cast<const char*>(nul) - p;
  const std::size_t pad = width > 0 && static_cast<std::uint64_t>(width) > n ? static_cast<std::size_t>(width) - n : 0;
  if (!minus && pad) out.append_fill(' ', pad);
  out.append(p, n);
  if (minus && pad) out.append_fill(' ', pad);
}

// Renders an argument in its natural form ("%d"/"%u", "%c", "%g", "%p", text)
// as text with the given cut and padding.
void append_natural(FormatSink& out, const FormatArg& a, bool minus, std::int64_t width, std::int64_t precision) {
  char tmp[64];
  int n = 0;
  switch (a.kind) {
    case eFormatArgKind_Text:
      append_text(out, a.s, a.length, minus, width, precision);
      return;
    case eFormatArgKind_CString:
      if (a.s == nullptr) {
        append_text(out, "(null)", 6, minus, width, -1);
      } else {
        // With a precision, a string shorter than it is read only up to its NUL.
        std::size_t len = 0;
        if (precision < 0) {
          len = std::strlen(a.s);
        } else {
          while (len < static_cast<std::uint64_t>(precision) && a.s[len] != '\0') ++len;
        }
        append_text(out, a.s, len, minus, width, precision);
      }
      return;
    case eFormatArgKind_Char:
      tmp[0] = static_cast<char>(a.u);
      n = 1;
      break;
    case eFormatArgKind_Signed:
      n = a.bits == 32 ? std::snprintf(tmp, sizeof tmp, "%d", static_cast<int>(static_cast<std::int32_t>(a.u)))
                       : std::snprintf(tmp, sizeof tmp, "%lld", static_cast<long long>(a.u));
      break;
    case eFormatArgKind_Unsigned:
      n = std::snprintf(tmp, sizeof tmp, "%llu", static_cast<unsigned long long>(a.u));
      break;
    case eFormatArgKind_Double:
      n = std::snprintf(tmp, sizeof tmp, "%g", a.d);
      break;
    case eFormatArgKind_Pointer:
      n = std::snprintf(tmp, sizeof tmp, "%p", a.p);
      break;
  }
  if (n < 0) n = 0;
  append_text(out, tmp, static_cast<std::size_t>(n), minus, width, precision);
}

// Renders one value directive whose slots are resolved.
void render(FormatSink& out, const Directive& d, const FormatArg& a, std::int64_t width, std::int64_t precision) {
  bool minus = d.minus;
  if (width < 0) {
    minus = true;
    width = -width;
  }
  if (width > static_cast<std::int64_t>(ustring::max_length)) throw_length();

  const DirectiveClass cls = classify(d.conversion);
  if (cls == eDirectiveClass_Text) {
    append_natural(out, a, minus, width, precision);
    return;
  }
  if (!accepts(cls, a.kind)) {
    append_natural(out, a, minus, width, -1);
    return;
  }
  if (cls == eDirectiveClass_Char) precision = -1;  // no meaning for %c
  if (precision > static_cast<std::int64_t>(ustring::max_length)) throw_length();

  // Both are at most ustring::max_length by now, so they fit an int.
  const int w = static_cast<int>(width);
  const int prec = static_cast<int>(precision < 0 ? -1 : precision);
  switch (cls) {
    case eDirectiveClass_Integer: {
      const std::uint64_t bits = integer_bits(a);
      const char conv = d.conversion == 'D' ? 'd' : d.conversion == 'O' ? 'o' : d.conversion == 'U' ? 'u' : d.conversion;
      std::int64_t sv = 0;
      std::uint64_t uv = 0;
      if (d.h_count >= 2) {
        sv = static_cast<signed char>(bits);
        uv = static_cast<unsigned char>(bits);
      } else if (d.h_count == 1) {
        sv = static_cast<short>(bits);
        uv = static_cast<unsigned short>(bits);
      } else if (integer_width(a) == 32) {
        sv = static_cast<std::int32_t>(bits);
        uv = static_cast<std::uint32_t>(bits);
      } else {
        sv = static_cast<std::int64_t>(bits);
        uv = bits;
      }
      // Cut to its width above, the value goes to the C library as a long
      // long, which prints every width the same way.
      if (conv == 'd' || conv == 'i') {
        render_with_c_library(out, d, minus, w, prec, conv, static_cast<long long>(sv), "ll");
      } else {
        render_with_c_library(out, d, minus, w, prec, conv, static_cast<unsigned long long>(uv), "ll");
      }
      return;
    }
    case eDirectiveClass_Char: {
      const int c = static_cast<unsigned char>(integer_bits(a));
      render_with_c_library(out, d, minus, w, -1, 'c', c);
      return;
    }
    case eDirectiveClass_Double: {
      render_with_c_library(out, d, minus, w, prec, d.conversion, double_value(a));
      return;
    }
    case eDirectiveClass_Pointer: {
      const void* p = a.kind == eFormatArgKind_Pointer || a.kind == eFormatArgKind_CString
                          ? a.p
                          : reinterpret_cast<const void*>(static_cast<std::uintptr_t>(a.u));
      render_with_c_library(out, d, minus, w, prec, 'p', p);
      return;
    }
    case eDirectiveClass_Text:
      break;
  }
}

}  // namespace

ustring format_args(std::string_view fmt, const FormatArg* args, std::size_t count) {
  const char* const begin = fmt.data();
  const char* const end = begin + fmt.size();

  // Arguments an explicit position may refer to: supplied, and at most three
  // per "%" of the format. Counted when the first position needs it.
  std::size_t usable_by_position = ~std::size_t{0};
  auto position_limit = [&] {
    if (usable_by_position == ~std::size_t{0}) {
      std::size_t percents = 0;
      for (const char* c = begin; c != end; ++c) percents += (*c == '%');
      usable_by_position = std::min(count, 3 * percents);
    }
    return usable_by_position;
  };

  FormatSink out;
  std::size_t next_sequential = 0;
  const char* p = begin;
  while (p != end) {
    const char* pct = static_cast<const char*>(std::memchr(p, '%', static_cast<std::size_t>(end - p)));
    if (pct == nullptr) {
      out.append(p, static_cast<std::size_t>(end - p));
      break;
    }
    out.append(p, static_cast<std::size_t>(pct - p));

    Directive d;
    bool after_dot = false;
    bool width_pending = false;      // "*" without a position yet
    bool precision_pending = false;  // ".*" without a position yet
    std::size_t position_chars = 0;  // "n$" parts, not counted in the length
    const char* q = pct + 1;
    char literal = 0;
    bool ended = false;
    while (q != end) {
      const char c = *q;
      const CharRole role = kCharRoles[static_cast<unsigned char>(c)];
      if (role == eCharRole_Conversion) {
        d.conversion = c;
        ended = true;
        break;
      }
      if (role == eCharRole_Digit || (role == eCharRole_Zero && after_dot)) {
        const char* start = q;
        std::int64_t v = 0;
        while (q != end && is_digit(*q)) {
          v = v * 10 + (*q - '0');
          if (v > kNumberCap) v = kNumberCap;
          ++q;
        }
        if (q != end && *q == '$') {
          ++q;
          position_chars += static_cast<std::size_t>(q - start);
          // Position 0 and absurd positions are never usable.
          const std::size_t pos = static_cast<std::size_t>(v);
          if (precision_pending) {
            d.precision_pos = pos == 0 ? ~std::size_t{0} : pos;
            precision_pending = false;
          } else if (width_pending) {
            d.width_pos = pos == 0 ? ~std::size_t{0} : pos;
            width_pending = false;
          } else {
            d.value_pos = pos == 0 ? ~std::size_t{0} : pos;
          }
        } else if (after_dot) {
          d.precision_source = eSlotSource_Literal;
          d.precision = v;
          precision_pending = false;
        } else {
          d.width_source = eSlotSource_Literal;
          d.width = v;
          width_pending = false;
        }
        continue;
      }
      switch (role) {
        case eCharRole_Dot:
          after_dot = true;
          d.precision_source = eSlotSource_Literal;
          d.precision = 0;
          precision_pending = false;
          break;
        case eCharRole_Star:
          if (after_dot) {
            d.precision_source = eSlotSource_Argument;
            d.precision_pos = 0;
            precision_pending = true;
          } else {
            d.width_source = eSlotSource_Argument;
            d.width_pos = 0;
            width_pending = true;
          }
          break;
        case eCharRole_Zero:
          d.zero = true;
          break;
        case eCharRole_Flag:
          if (c == ' ') d.space = true;
          else if (c == '#') d.hash = true;
          else if (c == '+') d.plus = true;
          else d.minus = true;
          break;
        case eCharRole_ShortLength:
          ++d.h_count;
          break;
        case eCharRole_Length:
          break;
        default:
          // An unknown character ends the directive; what is written is
          // the byte right after the "%" ("%%" gives "%").
          literal = pct[1];
          ended = true;
          break;
      }
      if (ended) break;
      ++q;
    }
    if (!ended) break;  // a directive cut off by the end of the format gives nothing
    if (static_cast<std::size_t>(q - pct) + 1 - position_chars > kMaxDirective) return ustring();
    p = q + 1;
    if (d.conversion == 0) {
      out.append(&literal, 1);
      continue;
    }

    // Resolve the slots: width, precision, value, in that order.
    auto take = [&](std::size_t explicit_pos, std::size_t& index) {
      if (explicit_pos != 0) {
        if (explicit_pos > position_limit()) return false;
        index = explicit_pos - 1;
        return true;
      }
      // Each "%" takes at most three sequential slots, so the sequence never
      // runs past the table before it runs past the arguments.
      if (next_sequential >= count) return false;
      index = next_sequential++;
      return true;
    };
    std::int64_t width = d.width_source == eSlotSource_Literal ? d.width : 0;
    std::int64_t precision = d.precision_source == eSlotSource_Literal ? d.precision : -1;
    std::size_t index = 0;
    if (d.width_source == eSlotSource_Argument) {
      if (!take(d.width_pos, index)) return ustring();
      if (!argument_as_int(args[index], width)) width = 0;
    }
    if (d.precision_source == eSlotSource_Argument) {
      if (!take(d.precision_pos, index)) return ustring();
      if (!argument_as_int(args[index], precision) || precision < 0) precision = -1;
    }
    if (!take(d.value_pos, index)) return ustring();
    render(out, d, args[index], width, precision);
  }
  return out.finish();
}

}  // namespace vxu

ustring number(double value, int precision) {
  ustring text;
  text.number(value, precision);
  return text;
}

bool ustring::number(double value, int precision) {
  ustring text = format("%.*f", precision, value);
  if (text.to_double() == 0.0) {
    assign(1, '0');
    return false;
  }
  if (precision > 0) {
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  swap(text);
  return true;
}
