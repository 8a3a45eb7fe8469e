// Fuzz target for the reply window's answer text: any bytes may arrive as
// the payload of a WM_COPYDATA answer.
//
// The decoder is checked against a plain reading of the text: it accepts
// exactly when every paired UTF-16LE character is an ASCII hexadecimal
// digit, and then gives one byte per pair, high nibble first.
// DecodeHexPayload parks exactly those bytes as the waiting answer when it
// accepts, and leaves the answer that waited untouched when it refuses.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <streambuf>
#include <string>

#include "CSBoilerPlate/menuHandler_win32.h"

namespace {

// A refused answer is logged; a fuzzer refuses millions. The log
// statements still run, their text goes nowhere.
class NullBuf : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void check(bool condition) {
  if (!condition) std::abort();
}

int Digit(std::uint8_t low, std::uint8_t high) {
  if (high != 0) return -1;
  if (low >= '0' && low <= '9') return low - '0';
  if (low >= 'A' && low <= 'F') return low - 'A' + 10;
  if (low >= 'a' && low <= 'f') return low - 'a' + 10;
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Never destroyed: std::cerr still points at it during static destruction.
  static const bool quiet = (std::cerr.rdbuf(new NullBuf), true);
  (void)quiet;
  if (size > 0xFFFFFFFFu) return 0;
  const auto count = static_cast<std::uint32_t>(size);
  std::string expected;
  bool valid = true;
  for (std::size_t i = 0; i + 4 <= size; i += 4) {
    const int high = Digit(data[i], data[i + 1]);
    const int low = Digit(data[i + 2], data[i + 3]);
    if (high < 0 || low < 0) {
      valid = false;
      break;
    }
    expected.push_back(static_cast<char>(high * 16 + low));
  }
  std::string out = "untouched";
  const bool accepted = DecodeHexText(data, count, &out);
  check(accepted == valid);
  check(out == (valid ? expected : "untouched"));

  PendingReply pending;
  pending.Park("waiting", eReplyKind_Export);
  const auto kind = static_cast<ReplyKind>(1 + size % 3);
  check(DecodeHexPayload(data, count, kind, pending) == valid);
  check(pending.HasReply() && *pending.Bytes() == (valid ? expected : "waiting"));
  check(pending.Kind() == (valid ? kind : eReplyKind_Export));
  return 0;
}
