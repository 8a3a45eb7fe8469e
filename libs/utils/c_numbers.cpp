#include "utils/c_numbers.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <system_error>

namespace vxu {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_c_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

// For a number that std::from_chars found out of range: whether its magnitude
// is too large (else too small). Decides from the position of the first
// significant digit and the exponent, which is far from the boundary in
// every such case.
bool magnitude_too_large(const char* p, const char* end, bool hex) {
  const char exponent_letter = hex ? 'p' : 'e';
  long long position = 0;  // digits before the point, minus zeros after it
  bool significant = false, after_point = false;
  for (; p < end; ++p) {
    const char c = *p;
    if (c == '.') {
      after_point = true;
      continue;
    }
    const bool digit = is_digit(c) || (hex && ascii_lower(c) >= 'a' && ascii_lower(c) <= 'f');
    if (!digit) break;
    if (c != '0') significant = true;
    if (!after_point && significant) ++position;
    if (after_point && !significant) --position;
  }
  long long exponent = 0;
  if (p < end && ascii_lower(*p) == exponent_letter) {
    ++p;
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    for (; p < end && is_digit(*p); ++p) {
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (*p - '0');
    }
    if (negative) exponent = -exponent;
  }
  return (hex ? 4 * position : position) + exponent > 0;
}

}  // namespace

int c_atoi(std::string_view text) noexcept {
  std::size_t i = 0;
  while (i < text.size() && is_c_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulate towards the limit of the sign so INT_MIN is reachable.
  constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
  long long value = 0;
  for (; i < text.size() && is_digit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kLimit) value = kLimit;
  }
  if (negative) return static_cast<int>(-value);
  return static_cast<int>(value > INT_MAX ? INT_MAX : value);
}

double c_atof(std::string_view text) noexcept {
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end && is_c_space(*p)) ++p;
  const bool negative = p < end && *p == '-';
  if (p < end && (*p == '-' || *p == '+')) ++p;
  if (p < end && (*p == '-' || *p == '+')) return 0.0;  // from_chars would take a second sign
  const bool hex = end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
  double value = 0.0;
  std::from_chars_result r{};
  if (hex) {
    const char* digits = p + 2;
    if (digits < end && (*digits == '-' || *digits == '+')) return 0.0;
    r = std::from_chars(digits, end, value, std::chars_format::hex);
    p = digits;
  } else {
    r = std::from_chars(p, end, value);
  }
  if (r.ec == std::errc::result_out_of_range) {
    value = magnitude_too_large(p, end, hex) ? HUGE_VAL : 0.0;
  } else if (r.ec != std::errc{}) {
    value = 0.0;  // no number ("0x" alone is the number 0 too)
  }
  return negative ? -value : value;
}

}  // namespace vxu
