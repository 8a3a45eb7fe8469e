#include "utils/format.h"

#include <algorithm>
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
      std::memcpy(buf_ + used_, p, n);
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

bool is_conversion(char c) {
  switch (c) {
    case 'd': case 'i': case 'o': case 'u': case 'x': case 'X': case 'D': case 'O': case 'U':
    case 'c': case 'e': case 'E': case 'f': case 'g': case 'G': case 'p': case 's':
      return true;
    default:
      return false;
  }
}

bool is_signed_conversion(char c) { return c == 'd' || c == 'i' || c == 'D'; }

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

// Writes "%" flags width [.precision] length conversion into out (room for
// 48 bytes); width and precision are resolved numbers by now.
void build_spec(const Directive& d, bool minus, std::int64_t width, std::int64_t precision, const char* length,
                char conversion, char* out) {
  char* p = out;
  *p++ = '%';
  if (minus) *p++ = '-';
  if (d.plus) *p++ = '+';
  if (d.space) *p++ = ' ';
  if (d.hash) *p++ = '#';
  if (d.zero) *p++ = '0';
  if (width > 0) p += std::snprintf(p, 16, "%lld", static_cast<long long>(width));
  if (precision >= 0) {
    *p++ = '.';
    p += std::snprintf(p, 16, "%lld", static_cast<long long>(precision));
  }
  while (*length) *p++ = *length++;
  *p++ = conversion;
  *p = '\0';
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

  char spec[48];
  switch (cls) {
    case eDirectiveClass_Integer: {
      std::uint64_t bits = integer_bits(a);
      const bool is_signed = is_signed_conversion(d.conversion);
      const char conv = d.conversion == 'D' ? 'd' : d.conversion == 'O' ? 'o' : d.conversion == 'U' ? 'u' : d.conversion;
      long long sv = 0;
      unsigned long long uv = 0;
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
        sv = static_cast<long long>(bits);
        uv = bits;
      }
      build_spec(d, minus, width, precision, "ll", conv, spec);
      if (is_signed) {
        out.render([&](char* dest, std::size_t size) { return std::snprintf(dest, size, spec, sv); });
      } else {
        out.render([&](char* dest, std::size_t size) { return std::snprintf(dest, size, spec, uv); });
      }
      return;
    }
    case eDirectiveClass_Char: {
      const int c = static_cast<unsigned char>(integer_bits(a));
      build_spec(d, minus, width, -1, "", 'c', spec);
      out.render([&](char* dest, std::size_t size) { return std::snprintf(dest, size, spec, c); });
      return;
    }
    case eDirectiveClass_Double: {
      const double v = double_value(a);
      build_spec(d, minus, width, precision, "", d.conversion, spec);
      out.render([&](char* dest, std::size_t size) { return std::snprintf(dest, size, spec, v); });
      return;
    }
    case eDirectiveClass_Pointer: {
      const void* p = a.kind == eFormatArgKind_Pointer || a.kind == eFormatArgKind_CString
                          ? a.p
                          : reinterpret_cast<const void*>(static_cast<std::uintptr_t>(a.u));
      build_spec(d, minus, width, precision, "", 'p', spec);
      out.render([&](char* dest, std::size_t size) { return std::snprintf(dest, size, spec, p); });
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

  // An explicit position may reach three arguments per "%" of the format.
  std::size_t percents = 0;
  for (const char* p = begin; p != end; ++p) percents += (*p == '%');
  const std::size_t table = 3 * percents;
  // Arguments a slot may refer to: supplied and inside the table.
  const std::size_t usable = count < table ? count : table;

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
      if (is_conversion(c)) {
        d.conversion = c;
        ended = true;
        break;
      }
      if (c == '.') {
        after_dot = true;
        d.precision_source = eSlotSource_Literal;
        d.precision = 0;
        precision_pending = false;
        ++q;
      } else if (c == '*') {
        if (after_dot) {
          d.precision_source = eSlotSource_Argument;
          d.precision_pos = 0;
          precision_pending = true;
        } else {
          d.width_source = eSlotSource_Argument;
          d.width_pos = 0;
          width_pending = true;
        }
        ++q;
      } else if ((c >= '1' && c <= '9') || (c == '0' && after_dot)) {
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
      } else if (c == ' ' || c == '#' || c == '+' || c == '-' || c == '0') {
        if (c == ' ') d.space = true;
        else if (c == '#') d.hash = true;
        else if (c == '+') d.plus = true;
        else if (c == '-') d.minus = true;
        else d.zero = true;
        ++q;
      } else if (c == 'h') {
        ++d.h_count;
        ++q;
      } else if (c == 'l' || c == 'q') {
        ++q;
      } else {
        literal = c;
        ended = true;
        break;
      }
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
        if (explicit_pos > usable) return false;
        index = explicit_pos - 1;
        return true;
      }
      if (next_sequential >= usable) return false;
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
