#include "utils/encoding.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace {

constexpr char kStandardAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kUrlAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// Both characters for every 12-bit value, as one 16-bit unit holding them in
// memory order: three input bytes become four characters with two lookups.
using PairTable = std::array<std::uint16_t, 4096>;

constexpr PairTable make_pairs(const char* alphabet) {
  PairTable t{};
  for (int i = 0; i < 4096; ++i) {
    const auto first = static_cast<std::uint16_t>(static_cast<unsigned char>(alphabet[i >> 6]));
    const auto second = static_cast<std::uint16_t>(static_cast<unsigned char>(alphabet[i & 63]));
    t[i] = std::endian::native == std::endian::little ? static_cast<std::uint16_t>(first | (second << 8))
                                                      : static_cast<std::uint16_t>((first << 8) | second);
  }
  return t;
}

constexpr PairTable kStandardPairs = make_pairs(kStandardAlphabet);
constexpr PairTable kUrlPairs = make_pairs(kUrlAlphabet);

// Eight bytes as a big-endian number (compilers turn this into one load).
std::uint64_t load_big_endian64(const unsigned char* p) {
  return (std::uint64_t{p[0]} << 56) | (std::uint64_t{p[1]} << 48) | (std::uint64_t{p[2]} << 40) |
         (std::uint64_t{p[3]} << 32) | (std::uint64_t{p[4]} << 24) | (std::uint64_t{p[5]} << 16) |
         (std::uint64_t{p[6]} << 8) | std::uint64_t{p[7]};
}

// Eight characters for the top 48 bits of w, stored at out in one write.
void encode48(std::uint64_t w, const std::uint16_t* pairs, char* out) {
  const std::uint64_t a = pairs[(w >> 52) & 0xFFF], b = pairs[(w >> 40) & 0xFFF];
  const std::uint64_t c = pairs[(w >> 28) & 0xFFF], d = pairs[(w >> 16) & 0xFFF];
  const std::uint64_t v = std::endian::native == std::endian::little ? a | (b << 16) | (c << 32) | (d << 48)
                                                                     : (a << 48) | (b << 32) | (c << 16) | d;
  std::memcpy(out, &v, 8);
}

[[noreturn]] void throw_length() { throw std::length_error("ustring"); }

// Encodes the whole groups of three bytes and the padded or unpadded tail;
// out has room for exactly the encoding.
void encode(const unsigned char* in, std::size_t n, char* out, const std::uint16_t* pairs, const char* alphabet,
            bool pad) {
  // Twelve bytes per round through two eight-byte reads (at 0 and 6) of which
  // the top six bytes are used; the reads need 14 bytes to be there.
  while (n >= 14) {
    encode48(load_big_endian64(in), pairs, out);
    encode48(load_big_endian64(in + 6), pairs, out + 8);
    in += 12;
    out += 16;
    n -= 12;
  }
  while (n >= 3) {
    const std::uint32_t w = (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | in[2];
    std::memcpy(out + 0, &pairs[w >> 12], 2);
    std::memcpy(out + 2, &pairs[w & 0xFFF], 2);
    in += 3;
    out += 4;
    n -= 3;
  }
  if (n == 1) {
    out[0] = alphabet[in[0] >> 2];
    out[1] = alphabet[(in[0] & 0x03) << 4];
    if (pad) {
      out[2] = '=';
      out[3] = '=';
    }
  } else if (n == 2) {
    out[0] = alphabet[in[0] >> 2];
    out[1] = alphabet[((in[0] & 0x03) << 4) | (in[1] >> 4)];
    out[2] = alphabet[(in[1] & 0x0F) << 2];
    if (pad) out[3] = '=';
  }
}

ustring encode_base64(const void* data, std::size_t size, const std::uint16_t* pairs, const char* alphabet, bool pad) {
  // An encoding is never shorter than its input: this also keeps the length
  // computation below far from wrapping.
  if (size > ustring::max_length) throw_length();
  const std::size_t length = pad ? (size + 2) / 3 * 4 : size / 3 * 4 + (size % 3 ? size % 3 + 1 : 0);
  if (length > ustring::max_length) throw_length();
  ustring out;
  if (length == 0) return out;
  out.resize(length);
  encode(static_cast<const unsigned char*>(data), size, out.data(), pairs, alphabet, pad);
  return out;
}

}  // namespace

ustring base64_encode(const void* data, std::size_t size) {
  return encode_base64(data, size, kStandardPairs.data(), kStandardAlphabet, true);
}

ustring base64_encode(const ustring& bytes) { return base64_encode(bytes.data(), bytes.size()); }

ustring base64url_encode(const void* data, std::size_t size) {
  return encode_base64(data, size, kUrlPairs.data(), kUrlAlphabet, false);
}

ustring hex_encode(const void* data, std::size_t size) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  if (size > ustring::max_length / 2) throw_length();
  ustring out;
  if (size == 0) return out;
  out.resize(2 * size);
  const auto* in = static_cast<const unsigned char*>(data);
  char* dest = out.data();
  for (std::size_t i = 0; i < size; ++i) {
    dest[2 * i] = kDigits[in[i] >> 4];
    dest[2 * i + 1] = kDigits[in[i] & 0x0F];
  }
  return out;
}
