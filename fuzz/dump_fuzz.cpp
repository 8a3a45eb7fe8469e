// Fuzz target of `vxmsg dump`'s walk (dump_key_stream) over any bytes, the
// way a payload captured at a customer's site reaches it.
//
// The walk either refuses the opening with one of the key-stream reader's
// texts and writes at most the header, or renders the whole stream: every
// line it writes is indented by two spaces per level and ends the output
// with a line break. Sanitizers catch reads outside the input, undefined
// shifts in the number rendering and leaks; the time-out catches hangs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>

#include "KeyStreamDump.h"

namespace {

void check_at(bool condition, int line) {
  if (condition) return;
  std::fprintf(stderr, "dump_fuzz.cpp:%d: check failed\n", line);
  std::abort();
}
#define check(condition) check_at((condition), __LINE__)

bool opening_refused(const std::runtime_error& e) {
  return std::strcmp(e.what(), "UKeyInStream: meta key mismatch") == 0 ||
         std::strcmp(e.what(), "UKeyInStream: expecting record") == 0 ||
         std::strcmp(e.what(), "UKeyInStream: reading field longer than expected") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream out;
  try {
    dump_key_stream(in, out);
  } catch (const std::runtime_error& e) {
    check(opening_refused(e));
    return 0;
  }
  const std::string text = out.str();
  check(text.rfind("KS record code ", 0) == 0 && text.back() == '\n');
  for (std::size_t start = text.find('\n') + 1; start < text.size();) {
    const std::size_t end = text.find('\n', start);
    check(end != std::string::npos);
    std::size_t spaces = 0;
    while (text[start + spaces] == ' ') ++spaces;
    check(spaces >= 2 && spaces % 2 == 0 && start + spaces < end);
    start = end + 1;
  }
  return 0;
}
