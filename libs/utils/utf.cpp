#include "utils/utf.h"

namespace vxu {

bool utf8_decode_one(const unsigned char*& p, const unsigned char* end, char32_t& out) {
  const unsigned char b0 = p[0];
  if (b0 < 0x80) {
    out = b0;
    ++p;
    return true;
  }
  // Ranges of the well-formed sequences: the second byte's bounds depend on
  // the lead byte, later bytes are always 80..BF.
  int length;
  unsigned char lo = 0x80, hi = 0xBF;
  char32_t value;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    value = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    value = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;       // no overlong forms
    else if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    value = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;       // no overlong forms
    else if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return false;
  }
  if (end - p < length) return false;
  for (int i = 1; i < length; ++i) {
    const unsigned char b = p[i];
    if (i == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) return false;
    value = (value << 6) | (b & 0x3F);
  }
  out = value;
  p += length;
  return true;
}

int utf8_encode_one(char32_t c, char* out) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (is_surrogate(c) || c > kMaxCodePoint) return 0;
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

void utf8_to_utf16(std::string_view text, std::u16string& out) {
  out.clear();
  utf8_to_utf16_chunked<char16_t>(text, [&out](const char16_t* p, std::size_t n) { out.append(p, n); });
}

void utf8_to_utf16(std::string_view text, std::wstring& out) {
  out.clear();
  utf8_to_utf16_chunked<wchar_t>(text, [&out](const wchar_t* p, std::size_t n) { out.append(p, n); });
}

void utf16_to_utf8(const char16_t* units, std::size_t count, std::string& out) {
  utf16_to_utf8_chunked(
      count, [units](std::size_t i) { return static_cast<char32_t>(units[i]); },
      [&out](const char* p, std::size_t n) { out.append(p, n); });
}

void utf16_to_utf8(const wchar_t* units, std::size_t count, std::string& out) {
  // A negative 32-bit wchar_t becomes a value above U+10FFFF and ends the text.
  utf16_to_utf8_chunked(
      count, [units](std::size_t i) { return static_cast<char32_t>(units[i]); },
      [&out](const char* p, std::size_t n) { out.append(p, n); });
}

void utf32_to_utf8(const char32_t* values, std::size_t count, std::string& out) {
  utf32_to_utf8_chunked(
      count, [values](std::size_t i) { return values[i]; },
      [&out](const char* p, std::size_t n) { out.append(p, n); });
}

}  // namespace vxu
