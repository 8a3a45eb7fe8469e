#include "utils/kanji.h"

#include <charconv>
#include <cstdint>
#include <stdexcept>

#include "utils/utf.h"

namespace {

[[noreturn]] void throw_invalid() { throw std::out_of_range("invalid kanji number"); }

int digit_value(char32_t c) {
  switch (c) {
    case 0x4E00: return 1;
    case 0x4E8C: return 2;
    case 0x4E09: return 3;
    case 0x56DB: return 4;
    case 0x4E94: return 5;
    case 0x516D: return 6;
    case 0x4E03: return 7;
    case 0x516B: return 8;
    case 0x4E5D: return 9;
    default: return 0;
  }
}

bool is_multiplier(char32_t c) { return c == 0x4E07 || c == 0x5343 || c == 0x767E || c == 0x5341; }

bool is_kanji_numeral(char32_t c) { return digit_value(c) != 0 || is_multiplier(c); }

struct Multiplier {
  char16_t character;
  std::int64_t value;
  bool single_digit_factor;
};
constexpr Multiplier kMultipliers[] = {
    {0x4E07, 10000, false},
    {0x5343, 1000, true},
    {0x767E, 100, true},
    {0x5341, 10, true},
};

// The text before a multiplier holds none of the multipliers already taken
// off, so each level of recursion has fewer kinds left: the depth is bounded
// by a small constant, not by the length of the text.
std::int64_t parse(std::u16string_view text) {
  std::int64_t result = 0;
  for (const Multiplier& m : kMultipliers) {
    const std::size_t at = text.find(m.character);
    if (at == std::u16string_view::npos) continue;
    const std::int64_t factor = at == 0 ? 1 : parse(text.substr(0, at));
    if (m.single_digit_factor && factor > 9) throw_invalid();
    result += factor * m.value;
    text.remove_prefix(at + 1);
  }
  if (!text.empty()) {
    if (text.size() != 1) throw_invalid();
    const int digit = digit_value(text[0]);
    if (digit == 0) throw_invalid();
    result += digit;
  }
  return result;
}

}  // namespace

int kanji_to_int(std::u16string_view text) { return static_cast<int>(parse(text)); }

int kanji_to_int(std::wstring_view text) {
  // A valid numeral is at most 15 characters long (九千九百九十九万九千九百九十九),
  // so longer text is refused without being copied.
  char16_t units[64];
  if (text.size() > sizeof units / sizeof units[0]) throw_invalid();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<std::uint32_t>(text[i]);
    units[i] = c > 0xFFFF ? char16_t{0xFFFF} : static_cast<char16_t>(c);
  }
  return kanji_to_int(std::u16string_view(units, text.size()));
}

ustring convert_kanji_numbers(const ustring& text) {
  const auto* const begin = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = begin + text.size();
  ustring out;
  out.reserve(text.size());

  std::u16string run;
  const unsigned char* run_start = begin;
  auto flush_run = [&](const unsigned char* run_end) {
    if (run.empty()) return;
    try {
      char digits[16];
      const auto r = std::to_chars(digits, digits + sizeof digits, kanji_to_int(std::u16string_view(run)));
      out.append(digits, static_cast<ustring::size_type>(r.ptr - digits));
    } catch (const std::out_of_range&) {
      out.append(reinterpret_cast<const char*>(run_start), static_cast<ustring::size_type>(run_end - run_start));
    }
    run.clear();
  };

  const unsigned char* p = begin;
  while (p != end) {
    const unsigned char* const at = p;
    char32_t c = 0;
    if (!vxu::utf8_decode_one(p, end, c)) {
      flush_run(at);
      out.push_back(static_cast<char>(*p++));
      continue;
    }
    if (is_kanji_numeral(c)) {
      if (run.empty()) run_start = at;
      run.push_back(static_cast<char16_t>(c));
      continue;
    }
    flush_run(at);
    out.append(reinterpret_cast<const char*>(at), static_cast<ustring::size_type>(p - at));
  }
  flush_run(end);
  return out;
}
