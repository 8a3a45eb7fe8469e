// Fuzz target of the umessage JSON reader.
//
// Reads arbitrary bytes into a record. When that succeeds, the record is
// written and the text read and written again, twice: every written text
// must read back, and the last two texts must be identical. (The input is
// not the fixed point: doubles keep six digits and CR becomes LF. Nor is
// the first text always: a double -0 is written "-0", which reads back as
// the int 0.) Sanitizers catch reads outside the input, leaks and stack
// exhaustion.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <streambuf>
#include <string>

#include "utils/umessage.h"

namespace {

// Failed reads log an ERROR line each; keep the fuzzer's output readable
// while still running the logging path.
class NullBuf : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

std::string written(const umessage& m) {
  std::ostringstream out;
  m.write(out);
  return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Never destroyed: std::cerr keeps pointing at it through the static
  // destruction that flushes the logger's stream.
  static NullBuf* const null_buf = new NullBuf;
  static std::streambuf* const previous = std::cerr.rdbuf(null_buf);

  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  umessage first;
  if (!first.read(in)) return 0;

  // Writes m into text and returns the record read back from it.
  auto write_and_read = [&](const umessage& m, std::string& text) {
    text = written(m);
    std::istringstream again(text);
    umessage back;
    if (!back.read(again)) {
      std::cerr.rdbuf(previous);
      std::cerr << "written text does not read back: " << text << "\n";
      std::abort();
    }
    return back;
  };
  std::string first_text, second_text, third_text;
  const umessage second = write_and_read(first, first_text);
  const umessage third = write_and_read(second, second_text);
  write_and_read(third, third_text);
  if (third_text != second_text) {
    std::cerr.rdbuf(previous);
    std::cerr << "text changes on a further round: " << second_text << "\n";
    std::abort();
  }
  return 0;
}
