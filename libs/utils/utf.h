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
// Code points above U+FFFF become surrogate pairs.
void utf8_to_utf16(std::string_view text, std::u16string& out);

// UTF-16 code units to UTF-8, appended to out. A high surrogate must be
// followed by a low one; an unpaired surrogate ends the conversion.
void utf16_to_utf8(const char16_t* units, std::size_t count, std::string& out);

// Code points (UTF-32 values) to UTF-8, appended to out. Ends at the first
// surrogate or value above U+10FFFF.
void utf32_to_utf8(const char32_t* values, std::size_t count, std::string& out);

}  // namespace vxu
