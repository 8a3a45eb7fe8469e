// Printf-style formatting into a ustring, with positional arguments, and the
// fixed-point rendering of doubles.
//
// format(fmt, args...) is type-safe: every argument is packed, with a tag
// saying what it is, into a small table on the caller's stack, and one
// non-template core walks the format against that table. The core never
// reads an argument that was not supplied.
//
// Directive grammar (read character by character after the "%"):
//   flags      " " "#" "+" "-" "0"
//   "*"        field width taken from an argument
//   digits     field width; after "." the precision; followed by "$" a
//              1-based argument position, which belongs to a pending ".*"
//              precision, else to a pending "*" width, else to the value
//   "."        precision follows; ".*" takes it from an argument
//   h l ll q   length letters
//   d i o u x X D O U    integer          c    character (cut to 8 bits)
//   e E f g G            floating point   p    pointer
//   s                    text
// Any other character ends the directive, which then gives one literal byte:
// the byte right after the "%" ("%%" gives "%", "%-5k" gives "-"); a "%" that
// runs into the end of the format gives nothing.
// Width, precision and value take, in that order, the next sequential
// argument unless they carry an explicit position; sequential numbering
// starts at the first argument and ignores explicit positions.
//
// Rendering: numeric directives (integer, floating-point, "%c", pointer) are
// rendered by the C library's snprintf from the directive with its positions
// removed (width and precision passed as "*" arguments). "%s" is done here
// too: a null char pointer gives "(null)" (padded, never cut), the precision
// cuts, an embedded NUL ends the text, the width pads with spaces, "-" pads
// on the right, "0" does not apply.
//
// Integers: the value is taken with the width its own type has (after the
// usual promotion to int), so a 64-bit argument prints in full under "%d"
// and an int -1 under "%x" gives "ffffffff"; "l", "ll" and "q" therefore
// change nothing, while "h" cuts the value to 16 bits, "hh" and "c" to 8.
//
// Arguments of another kind than the directive asks for have defined results:
//   - "%s" takes anything: text as it is; numbers, characters and pointers in
//     their natural form (as "%d"/"%u", "%c", "%g", "%p"), then cut and padded
//     like text;
//   - integer directives and "%c" take integers, characters, doubles
//     (truncated toward zero, saturated to 64 bits, NaN as 0) and pointers
//     (the address);
//   - floating-point directives take integers, characters and doubles;
//   - "%p" takes pointers and integers (the value as an address);
//   - anything else (text given to a number directive, a pointer to "%f", a
//     double to "%p") is written in its natural form, padded to the width.
// A char pointer is read as text by "%s" only; every other directive treats
// it as a pointer, so no directive but "%s" reads memory through it.
// A width or precision taken from an argument that is not a number is
// ignored; a negative width means "-" with its absolute value, a negative
// precision means none.
//
// Failures:
//   - an argument position past the supplied arguments, past three times the
//     number of "%" characters in the format, or equal to 0, and a directive
//     longer than 127 characters (positions not counted) give an empty result;
//   - a result longer than ustring::max_length, or a width or number
//     precision beyond it, throws std::length_error("ustring").
//
// Supported argument types: bool, char, every integer and enumeration type,
// float, double, long double (rendered as double), char pointers and arrays,
// ustring, std::string, std::string_view, any other object pointer and
// nullptr. Wide characters and wide text are refused at compile time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "utils/ustring.h"

namespace vxu {

enum FormatArgKind : std::uint8_t {
  eFormatArgKind_Signed,    // integer of a signed type, sign-extended in u
  eFormatArgKind_Unsigned,  // integer of an unsigned type
  eFormatArgKind_Char,      // a char, extended as its type's sign says
  eFormatArgKind_Double,
  eFormatArgKind_CString,   // char pointer, may be null; read only by "%s"
  eFormatArgKind_Text,      // sized text (ustring, std::string, string_view)
  eFormatArgKind_Pointer,
};

// One tagged argument. Text is referenced, not copied: a FormatArg lives only
// for the format call that made it.
struct FormatArg {
  FormatArgKind kind;
  std::uint8_t bits;     // integers: 32 or 64, the promoted width of the type
  std::size_t length;    // eFormatArgKind_Text: byte count
  union {
    std::uint64_t u;
    double d;
    const void* p;
    const char* s;
  };
};

template <class T>
inline constexpr bool kIsWideChar = std::is_same_v<T, wchar_t> || std::is_same_v<T, char8_t> ||
                                    std::is_same_v<T, char16_t> || std::is_same_v<T, char32_t>;

template <class T>
inline constexpr bool kIsCharText = std::is_same_v<std::remove_cv_t<T>, char>;

template <class T>
FormatArg make_format_arg(const T& v) {
  using D = std::remove_cv_t<T>;
  FormatArg a{};
  if constexpr (std::is_same_v<D, char>) {
    // Kept with the sign a char has here, as the C library would see it.
    a.kind = eFormatArgKind_Char;
    a.bits = 32;
    a.u = static_cast<std::uint64_t>(static_cast<std::int64_t>(v));
  } else if constexpr (kIsWideChar<D>) {
    static_assert(!kIsWideChar<D>, "format takes UTF-8 text; convert wide characters first");
  } else if constexpr (std::is_enum_v<D>) {
    return make_format_arg(static_cast<std::underlying_type_t<D>>(v));
  } else if constexpr (std::is_integral_v<D>) {
    a.kind = std::is_signed_v<D> ? eFormatArgKind_Signed : eFormatArgKind_Unsigned;
    a.bits = sizeof(D) > sizeof(int) ? 64 : 32;
    if constexpr (std::is_signed_v<D>) {
      a.u = static_cast<std::uint64_t>(static_cast<std::int64_t>(v));
    } else {
      a.u = static_cast<std::uint64_t>(v);
    }
  } else if constexpr (std::is_floating_point_v<D>) {
    a.kind = eFormatArgKind_Double;
    a.d = static_cast<double>(v);
  } else if constexpr (std::is_same_v<D, ustring> || std::is_same_v<D, std::string> ||
                       std::is_same_v<D, std::string_view>) {
    a.kind = eFormatArgKind_Text;
    a.s = v.data();
    a.length = v.size();
  } else if constexpr (std::is_null_pointer_v<D>) {
    a.kind = eFormatArgKind_Pointer;
    a.p = nullptr;
  } else if constexpr (std::is_array_v<D> || std::is_pointer_v<D>) {
    using E = std::remove_cv_t<std::remove_pointer_t<std::decay_t<D>>>;
    static_assert(!kIsWideChar<E>, "format takes UTF-8 text; convert wide text with ustring first");
    if constexpr (std::is_same_v<E, char>) {
      a.kind = eFormatArgKind_CString;
      a.s = v;
    } else {
      static_assert(!std::is_function_v<E>, "format cannot print a function pointer");
      a.kind = eFormatArgKind_Pointer;
      a.p = static_cast<const void*>(v);
    }
  } else {
    static_assert(std::is_void_v<D> && !std::is_void_v<D>, "format: unsupported argument type");
  }
  return a;
}

// The non-template core of format: fmt against args[0..count).
ustring format_args(std::string_view fmt, const FormatArg* args, std::size_t count);

}  // namespace vxu

// Arguments are taken by forwarding reference so that this overload stays the
// better match when an argument of a standard type brings std::format into
// consideration by argument-dependent lookup.
template <class... Args>
ustring format(const char* fmt, Args&&... args) {
  const vxu::FormatArg table[sizeof...(Args) + 1] = {vxu::make_format_arg(args)..., vxu::FormatArg{}};
  return vxu::format_args(fmt ? std::string_view(fmt) : std::string_view(), table, sizeof...(Args));
}

// The format's bytes are taken to its full length (an embedded NUL is copied).
template <class... Args>
ustring format(const ustring& fmt, Args&&... args) {
  const vxu::FormatArg table[sizeof...(Args) + 1] = {vxu::make_format_arg(args)..., vxu::FormatArg{}};
  return vxu::format_args(fmt.view(), table, sizeof...(Args));
}

// The fixed-point rendering of value with `precision` decimals, trailing
// zeros (and a then trailing ".") removed; "0" for a value that renders as
// zero, including "-0.00". A negative precision keeps the C library's six
// decimals and strips nothing. See ustring::number for the bool result.
ustring number(double value, int precision);
