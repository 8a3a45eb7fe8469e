// Fuzz target for the Base64 text of requests ("v"), which vxdesk reads from
// whoever writes to its pipe.
//
// The reader is strict: it accepts a text exactly when the encoder writes
// that text for the bytes it gives back. Any bytes, encoded, read back as
// themselves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Base64.h"
#include "utils/encoding.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  std::string decoded = "untouched";
  if (base64_decode(input, &decoded)) {
    check(base64_encode(decoded.data(), decoded.size()).view() == input);
  } else {
    check(decoded == "untouched");
  }

  const ustring encoded = base64_encode(data, size);
  std::string back;
  check(base64_decode(encoded.view(), &back));
  check(back == input);
  return 0;
}
