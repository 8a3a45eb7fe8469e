#include "Base64.h"

#include <array>
#include <cstdint>

namespace {

constexpr std::int8_t kNotBase64 = -1;

constexpr std::array<std::int8_t, 256> make_values() {
  std::array<std::int8_t, 256> values{};
  values.fill(kNotBase64);
  constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int i = 0; i < 64; ++i) values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  return values;
}

constexpr std::array<std::int8_t, 256> kValues = make_values();

int value_of(char c) { return kValues[static_cast<unsigned char>(c)]; }

}  // namespace

bool base64_decode(std::string_view text, std::string* bytes) {
  if (text.size() % 4 != 0) return false;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    // "=" may only end the last group: "xx==" or "xxx=".
    int padding = 0;
    if (last && text[i + 3] == '=') padding = text[i + 2] == '=' ? 2 : 1;
    std::uint32_t group = 0;
    for (int k = 0; k < 4 - padding; ++k) {
      const int v = value_of(text[i + k]);
      if (v == kNotBase64) return false;
      group = (group << 6) | static_cast<std::uint32_t>(v);
    }
    group <<= 6 * padding;
    // A padded group's unused low bits must be zero, or two texts would
    // decode to the same bytes.
    if ((padding == 1 && (group & 0xFF) != 0) || (padding == 2 && (group & 0xFFFF) != 0)) return false;
    out.push_back(static_cast<char>(group >> 16));
    if (padding < 2) out.push_back(static_cast<char>((group >> 8) & 0xFF));
    if (padding < 1) out.push_back(static_cast<char>(group & 0xFF));
  }
  bytes->swap(out);
  return true;
}
