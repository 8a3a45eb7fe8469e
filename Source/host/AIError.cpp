#include "AIError.h"

#include <cstdint>
#include <cstdio>

namespace ai {

Error::Error(Err code) noexcept : code_(code) {
  const auto value = static_cast<std::uint32_t>(code);
  char chars[5];
  bool printable = true;
  for (int i = 0; i < 4; ++i) {
    const auto c = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
    printable = printable && c >= 0x20 && c < 0x7F;
    chars[i] = c;
  }
  chars[4] = '\0';
  if (printable)
    std::snprintf(text_, sizeof text_, "host error '%s'", chars);
  else
    std::snprintf(text_, sizeof text_, "host error %d", static_cast<int>(code));
}

}  // namespace ai
