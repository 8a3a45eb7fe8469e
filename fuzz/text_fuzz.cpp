// Fuzz target of the text conversions: ustring::from_bytes, the strict UTF
// conversions (utils/utf.h, ustring's UTF-16 forms) and unescape.
//
// Oracles, on any bytes:
// - UTF-8 to UTF-16 and back gives a prefix of the text, and the whole text
//   when it is strict UTF-8 without a zero byte;
// - UTF-16 or UTF-32 units to UTF-8 and back give the units up to the first
//   one the conversion refuses (a leading run of ASCII ends at a zero unit);
// - from_bytes with a byte-order mark gives what the direct conversion of
//   the units after the mark gives, and reads back what to_utf16le wrote;
// - unescape of a text in which every byte is written %XX (or %uXXXX) gives
//   the text, and a text without "%" comes back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "utils/text_utils.h"
#include "utils/ustring.h"
#include "utils/utf.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

bool is_strict_utf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    char32_t c;
    if (!vxu::utf8_decode_one(p, end, c) || c == 0) return false;
  }
  return true;
}

// The units utf8_to_utf16 gives back for UTF-8 made from units: a zero unit
// in the leading ASCII run ends them.
template <class Units>
Units as_read_back(const Units& units) {
  Units expected;
  bool leading_ascii = true;
  for (const auto u : units) {
    if (leading_ascii && u == 0) break;
    if (u >= 0x80) leading_ascii = false;
    expected.push_back(u);
  }
  return expected;
}

void utf8_round_trip(std::string_view text) {
  std::u16string units;
  vxu::utf8_to_utf16(text, units);
  std::string back;
  vxu::utf16_to_utf8(units.data(), units.size(), back);
  check(text.substr(0, back.size()) == back);
  if (is_strict_utf8(text)) check(back == text);

  std::wstring wide;
  vxu::utf8_to_utf16(text, wide);
  check(wide.size() == units.size());
  for (std::size_t i = 0; i < units.size(); ++i) check(static_cast<char32_t>(wide[i]) == units[i]);

  const ustring u(text);
  check(u.to_u16string() == units);
}

void utf16_round_trip(const std::uint8_t* data, std::size_t size) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  std::string text;
  vxu::utf16_to_utf8(units.data(), units.size(), text);
  check(is_strict_utf8(text) || text.find('\0') != std::string::npos);
  // The units taken: everything up to the first unpaired surrogate.
  std::size_t taken = 0;
  while (taken < units.size()) {
    const char16_t u = units[taken];
    if (vxu::is_low_surrogate(u)) break;
    if (vxu::is_high_surrogate(u)) {
      if (taken + 1 == units.size() || !vxu::is_low_surrogate(units[taken + 1])) break;
      ++taken;
    }
    ++taken;
  }
  std::u16string back;
  vxu::utf8_to_utf16(text, back);
  check(back == as_read_back(units.substr(0, taken)));
  check(ustring(units).view() == text);

  // With a byte-order mark, from_bytes converts the same units (unless the
  // first unit is zero: FF FE 00 00 marks UTF-32LE).
  if (!units.empty() && units[0] == 0) return;
  std::string marked = "\xFF\xFE";
  marked.append(reinterpret_cast<const char*>(data), size);
  check(ustring::from_bytes(marked.data(), marked.size()).view() == text);
  std::string big = "\xFE\xFF";
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    big.push_back(static_cast<char>(data[i + 1]));
    big.push_back(static_cast<char>(data[i]));
  }
  check(ustring::from_bytes(big.data(), big.size()).view() == text);
}

void utf32_round_trip(const std::uint8_t* data, std::size_t size) {
  std::u32string values;
  for (std::size_t i = 0; i + 3 < size; i += 4)
    values.push_back(static_cast<char32_t>(data[i] | data[i + 1] << 8 | data[i + 2] << 16 |
                                           static_cast<std::uint32_t>(data[i + 3]) << 24));
  std::string text;
  vxu::utf32_to_utf8(values.data(), values.size(), text);
  std::size_t taken = 0;
  while (taken < values.size() && !vxu::is_surrogate(values[taken]) && values[taken] <= vxu::kMaxCodePoint) ++taken;
  std::u16string back;
  vxu::utf8_to_utf16(text, back);
  std::u16string expected;
  for (std::size_t i = 0; i < taken; ++i) {
    const char32_t c = values[i];
    if (c > 0xFFFF) {
      expected.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      expected.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      expected.push_back(static_cast<char16_t>(c));
    }
  }
  check(back == as_read_back(expected));

  std::string marked("\xFF\xFE\x00\x00", 4);
  marked.append(reinterpret_cast<const char*>(data), size);
  check(ustring::from_bytes(marked.data(), marked.size()).view() == text);
}

void from_bytes_reads_what_was_written(std::string_view text) {
  // The text as far as it converts, written as marked UTF-16LE.
  const ustring valid(ustring(text).to_u16string());
  const std::string written = valid.to_utf16le();
  check(ustring::from_bytes(written.data(), written.size()) == valid);
  const std::string utf8 = "\xEF\xBB\xBF" + std::string(text);
  check(ustring::from_bytes(utf8.data(), utf8.size()).view() == text);
}

void unescape_inverts_escaping(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string escaped;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (i % 2 == 0) {
      escaped += '%';
      escaped += kHex[b >> 4];
      escaped += kHex[b & 15];
    } else {
      // %uXXXX keeps the low byte only.
      escaped += "%u";
      escaped += kHex[(i >> 4) & 15];
      escaped += "0";
      escaped += "0123456789ABCDEF"[b >> 4];
      escaped += kHex[b & 15];
    }
  }
  check(unescape(ustring(escaped)).view() == text);
  const ustring plain(text);
  const ustring once = unescape(plain);
  check(once.size() <= plain.size());
  if (text.find('%') == std::string_view::npos) check(once == plain);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)ustring::from_bytes(data, size);
  utf8_round_trip(text);
  utf16_round_trip(data, size);
  utf32_round_trip(data, size);
  from_bytes_reads_what_was_written(text);
  unescape_inverts_escaping(text);
  return 0;
}
