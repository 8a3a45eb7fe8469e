// Strict conversions between UTF-8, UTF-16 and UTF-32.
//
// Every decoder here stops at the first ill-formed or truncated sequence and
// keeps what it decoded before it; nothing is reported and nothing throws.
// "Strict" means: no overlong forms, no surrogate code points encoded in
// UTF-8, nothing above U+10FFFF, continuation bytes validated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vxu {

constexpr char32_t kMaxCodePoint = 0x10FFFF;

constexpr bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
constexpr bool is_high_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool is_low_surrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Decodes one strict UTF-8 sequence starting at p (p < end). On success
// stores the code point, advances p past the sequence and returns true; on an
// ill-formed or truncated sequence returns false and leaves p unchanged.
bool utf8_decode_one(const unsigned char*& p, const unsigned char* end, char32_t& out);

// Encodes a code point as UTF-8 into out (room for 4 bytes). Returns the
// number of bytes written, or 0 for a surrogate or a value above U+10FFFF.
int utf8_encode_one(char32_t c, char* out);

// UTF-8 to UTF-16 code units. Bytes 0x01-0x7F at the start are copied one to
// one and a NUL byte among them ends the result; from the first byte of 0x80
// or more the rest of the text, to its full length, is decoded strictly.
// Code points above U+FFFF become surrogate pairs. out is replaced.
void utf8_to_utf16(std::string_view text, std::u16string& out);
// The same into wchar_t, which holds UTF-16 code units on every platform
// (also where wchar_t is 32 bits wide).
void utf8_to_utf16(std::string_view text, std::wstring& out);

// UTF-16 code units to UTF-8, appended to out. A high surrogate must be
// followed by a low one; an unpaired surrogate ends the conversion.
void utf16_to_utf8(const char16_t* units, std::size_t count, std::string& out);
// The same from wchar_t units; where wchar_t is 32 bits wide a value above
// 0xFFFF is taken as a code point, and one above U+10FFFF ends the conversion.
void utf16_to_utf8(const wchar_t* units, std::size_t count, std::string& out);

// Code points (UTF-32 values) to UTF-8, appended to out. Ends at the first
// surrogate or value above U+10FFFF.
void utf32_to_utf8(const char32_t* values, std::size_t count, std::string& out);

// Chunked forms of the conversions above, for callers that collect the output
// somewhere else (a ustring, a byte buffer, a comparison). They convert
// through a fixed on-stack buffer and hand the output to sink(pointer, count)
// in pieces of at most kUtfChunkUnits units, so no intermediate string is
// built. Everything converted before a fault reaches the sink.
constexpr std::size_t kUtfChunkUnits = 512;

// UTF-8 to UTF-16 with the rules of utf8_to_utf16; Unit is a 16- or 32-bit
// character type, sink(const Unit*, std::size_t).
template <class Unit, class Sink>
void utf8_to_utf16_chunked(std::string_view text, Sink&& sink) {
  Unit buffer[kUtfChunkUnits];
  std::size_t used = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = p + text.size();
  // The leading ASCII run is copied as is; a NUL inside it ends the text.
  while (p < end && *p < 0x80) {
    if (*p == 0) {
      if (used) sink(static_cast<const Unit*>(buffer), used);
      return;
    }
    buffer[used++] = static_cast<Unit>(*p++);
    if (used == kUtfChunkUnits) {
      sink(static_cast<const Unit*>(buffer), used);
      used = 0;
    }
  }
  while (p < end) {
    char32_t c;
    if (!utf8_decode_one(p, end, c)) break;
    if (c >= 0x10000) {
      c -= 0x10000;
      buffer[used++] = static_cast<Unit>(0xD800 + (c >> 10));
      buffer[used++] = static_cast<Unit>(0xDC00 + (c & 0x3FF));
    } else {
      buffer[used++] = static_cast<Unit>(c);
    }
    if (used > kUtfChunkUnits - 2) {
      sink(static_cast<const Unit*>(buffer), used);
      used = 0;
    }
  }
  if (used) sink(static_cast<const Unit*>(buffer), used);
}

// UTF-16 to UTF-8 with the rules of utf16_to_utf8. unit_at(i) returns code
// unit i (0 <= i < count) as a char32_t; a value above 0xFFFF is taken as a
// code point. sink(const char*, std::size_t).
template <class UnitAt, class Sink>
void utf16_to_utf8_chunked(std::size_t count, UnitAt&& unit_at, Sink&& sink) {
  char buffer[kUtfChunkUnits];
  std::size_t used = 0;
  for (std::size_t i = 0; i < count; ++i) {
    char32_t c = unit_at(i);
    if (c < 0x80) {
      buffer[used++] = static_cast<char>(c);
    } else {
      if (is_high_surrogate(c)) {
        if (i + 1 >= count) break;
        const char32_t low = unit_at(i + 1);
        if (!is_low_surrogate(low)) break;
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
      const int n = utf8_encode_one(c, buffer + used);  // 0: lone low surrogate or out of range
      if (n == 0) break;
      used += static_cast<std::size_t>(n);
    }
    if (used > kUtfChunkUnits - 4) {
      sink(static_cast<const char*>(buffer), used);
      used = 0;
    }
  }
  if (used) sink(static_cast<const char*>(buffer), used);
}

// UTF-32 to UTF-8 with the rules of utf32_to_utf8; value_at(i) returns value
// i as a char32_t. sink(const char*, std::size_t).
template <class ValueAt, class Sink>
void utf32_to_utf8_chunked(std::size_t count, ValueAt&& value_at, Sink&& sink) {
  char buffer[kUtfChunkUnits];
  std::size_t used = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const int n = utf8_encode_one(value_at(i), buffer + used);
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
    if (used > kUtfChunkUnits - 4) {
      sink(static_cast<const char*>(buffer), used);
      used = 0;
    }
  }
  if (used) sink(static_cast<const char*>(buffer), used);
}

}  // namespace vxu
