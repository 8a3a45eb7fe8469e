// Packed integers: unsigned integers of up to 64 bits in 1 to 9 bytes,
// big-endian, whose first byte tells the length by its leading one bits.
//
//   leading ones  first byte   following bytes  value bits   largest value
//   0             0xxxxxxx     0                7            0x7F
//   1             10xxxxxx     1                14           0x3FFF
//   2             110xxxxx     2                21           0x1FFFFF
//   3             1110xxxx     3                28           0xFFFFFFF
//   4             11110xxx     4                35           0x7FFFFFFFF
//   5             111110xx     5                42           0x3FFFFFFFFFF
//   6             1111110x     6                49           0x1FFFFFFFFFFFF
//   7             11111110     7                56           0xFFFFFFFFFFFFFF
//   8             11111111     8                64           all
//
// The value is the first byte's bits below its leading ones followed by the
// following bytes, most significant first. Writers always use the shortest
// form; readers accept any form. packed32 is the same code for 32-bit values
// (so at most 5 bytes); signed values travel as their two's-complement bit
// pattern, so a negative int always takes 5 bytes and a negative int64 9.
//
// The 32-bit reader keeps a quirk of the layout's first readers: it consumes
// all following bytes but assembles at most four of them; with five or more
// following bytes its result is the first byte's value bits alone. Bits
// shifted past 32 are dropped.
//
// Readers work on a byte range and never look past its end: they return
// false, leaving the position unchanged, when the range ends inside a value.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace vxu {

// Longest packed forms.
inline constexpr std::size_t packed64_max_size = 9;
inline constexpr std::size_t packed32_max_size = 5;

// Number of bytes the shortest form of value takes (1 to 9).
constexpr std::size_t packed_size(std::uint64_t value) noexcept {
  // Each extra byte adds seven value bits up to eight bytes; the ninth
  // byte form carries all 64.
  const int bits = 64 - std::countl_zero(value | 1);
  return bits > 56 ? 9 : static_cast<std::size_t>((bits + 6) / 7);
}

// Writes the shortest form of value at dest, which has room for
// packed64_max_size bytes, and returns the end of what was written.
inline unsigned char* put_packed64(unsigned char* dest, std::uint64_t value) noexcept {
  const std::size_t n = packed_size(value);
  if (n == 1) {
    *dest = static_cast<unsigned char>(value);
    return dest + 1;
  }
  if (n == 9) {
    *dest++ = 0xFF;
    for (int shift = 56; shift >= 0; shift -= 8) *dest++ = static_cast<unsigned char>(value >> shift);
    return dest;
  }
  const int following = static_cast<int>(n) - 1;
  const unsigned prefix = (0xFF00u >> following) & 0xFFu;
  *dest++ = static_cast<unsigned char>(prefix | (value >> (8 * following)));
  for (int shift = 8 * (following - 1); shift >= 0; shift -= 8) *dest++ = static_cast<unsigned char>(value >> shift);
  return dest;
}

inline unsigned char* put_packed32(unsigned char* dest, std::uint32_t value) noexcept {
  return put_packed64(dest, value);
}

// Reads one packed64 at p (p < end required for success). On success
// advances p past it and stores the value.
inline bool get_packed64(const unsigned char*& p, const unsigned char* end, std::uint64_t& out) noexcept {
  if (p == end) return false;
  const unsigned first = *p;
  if (first < 0x80) {  // most counts, ids and small values
    ++p;
    out = first;
    return true;
  }
  const int following = std::countl_one(static_cast<unsigned char>(first));
  if (end - p - 1 < following) return false;
  std::uint64_t value = first & (0xFFu >> following);
  for (int i = 1; i <= following; ++i) value = (value << 8) | p[i];
  p += following + 1;
  out = value;
  return true;
}

// Reads one packed32 with the quirk described above.
inline bool get_packed32(const unsigned char*& p, const unsigned char* end, std::uint32_t& out) noexcept {
  if (p == end) return false;
  const unsigned first = *p;
  if (first < 0x80) {
    ++p;
    out = first;
    return true;
  }
  const int following = std::countl_one(static_cast<unsigned char>(first));
  if (end - p - 1 < following) return false;
  std::uint32_t value = first & (0xFFu >> following);
  if (following <= 4) {
    for (int i = 1; i <= following; ++i) value = (value << 8) | p[i];
  }
  p += following + 1;
  out = value;
  return true;
}

}  // namespace vxu
