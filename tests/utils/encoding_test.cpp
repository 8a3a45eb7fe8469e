#include "utils/encoding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Bit-by-bit Base64, slow and obviously right.
std::string reference_base64(const std::vector<unsigned char>& in, bool url) {
  const char* alphabet = url ? "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"
                             : "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (unsigned char b : in) {
    bits = (bits << 8) | b;
    count += 8;
    while (count >= 6) {
      count -= 6;
      out += alphabet[(bits >> count) & 63];
    }
  }
  if (count > 0) out += alphabet[(bits << (6 - count)) & 63];
  if (!url) {
    while (out.size() % 4) out += '=';
  }
  return out;
}

TEST(EncodingTest, Rfc4648Vectors) {
  static const struct {
    const char* plain;
    const char* base64;
    const char* base64url;
    const char* hex;
  } cases[] = {
      {"", "", "", ""},
      {"f", "Zg==", "Zg", "66"},
      {"fo", "Zm8=", "Zm8", "666F"},
      {"foo", "Zm9v", "Zm9v", "666F6F"},
      {"foob", "Zm9vYg==", "Zm9vYg", "666F6F62"},
      {"fooba", "Zm9vYmE=", "Zm9vYmE", "666F6F6261"},
      {"foobar", "Zm9vYmFy", "Zm9vYmFy", "666F6F626172"},
      {"\xFB\xFF", "+/8=", "-_8", "FBFF"},
      {"\xFF\xFF\xFF\xFE", "/////g==", "_____g", "FFFFFFFE"},
  };
  for (const auto& c : cases) {
    const std::string plain(c.plain);
    EXPECT_EQ(base64_encode(plain.data(), plain.size()), c.base64) << plain;
    EXPECT_EQ(base64_encode(ustring(plain)), c.base64) << plain;
    EXPECT_EQ(base64url_encode(plain.data(), plain.size()), c.base64url) << plain;
    EXPECT_EQ(hex_encode(plain.data(), plain.size()), c.hex) << plain;
  }
}

TEST(EncodingTest, EveryByteValueAndNulBytes) {
  std::vector<unsigned char> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<unsigned char>(i);
  EXPECT_EQ(base64_encode(all.data(), all.size()).str(), reference_base64(all, false));
  const ustring hex = hex_encode(all.data(), all.size());
  EXPECT_EQ(hex.substr(0, 6), "000102");
  EXPECT_EQ(hex.substr(hex.size() - 6), "FDFEFF");
  // The ustring form encodes every byte, a NUL included.
  EXPECT_EQ(base64_encode(ustring("a\0b", 3)), "YQBi");
}

TEST(EncodingTest, RandomLengthsMatchTheReference) {
  std::mt19937 rng(4648);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 64; ++n) lengths.push_back(n);
  for (int i = 0; i < 200; ++i) lengths.push_back(rng() % 5000);
  for (std::size_t n : lengths) {
    std::vector<unsigned char> in(n);
    for (auto& b : in) b = static_cast<unsigned char>(rng());
    EXPECT_EQ(base64_encode(in.data(), n).str(), reference_base64(in, false)) << n;
    EXPECT_EQ(base64url_encode(in.data(), n).str(), reference_base64(in, true)) << n;
  }
}

TEST(EncodingTest, NullPointerWithZeroLength) {
  EXPECT_EQ(base64_encode(nullptr, 0), "");
  EXPECT_EQ(base64url_encode(nullptr, 0), "");
  EXPECT_EQ(hex_encode(nullptr, 0), "");
}

// The limits are checked before a byte is read, so a one-byte buffer with a
// claimed size past the limit is safe to pass.
TEST(EncodingTest, EncodingsLongerThanAUstringThrow) {
  const unsigned char one = 0;
  const std::size_t base64_max = ustring::max_length / 4 * 3;  // 16777212 characters
  EXPECT_THROW(base64_encode(&one, base64_max + 1), std::length_error);
  EXPECT_THROW(base64url_encode(&one, ustring::max_length), std::length_error);
  EXPECT_THROW(hex_encode(&one, ustring::max_length / 2 + 1), std::length_error);
  EXPECT_THROW(base64_encode(&one, ~std::size_t{0}), std::length_error);
  try {
    hex_encode(&one, ~std::size_t{0} / 2 + 1);
    ADD_FAILURE() << "no exception";
  } catch (const std::length_error& e) {
    EXPECT_STREQ(e.what(), "ustring");
  }

  // Right at the limit works: the unpadded URL form fits two bytes more.
  std::vector<unsigned char> big(base64_max + 1, 0xFF);
  EXPECT_EQ(base64_encode(big.data(), base64_max).size(), 16777212u);
  EXPECT_EQ(base64url_encode(big.data(), big.size()).size(), ustring::max_length);
}

}  // namespace
