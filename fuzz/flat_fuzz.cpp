// Fuzz target of the flat form reader: umessage::unflatten on arbitrary
// bytes. A refused input must leave the record empty; an accepted one must
// write (flatten) and read back, writing the copy again must give the same
// bytes (which also checks the is_array flags), and the copy must equal the
// record unless it holds a NaN (doubles compare exactly, NaN unequal).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>

#include "utils/umessage.h"

namespace {

// Refused inputs are logged to standard error; a fuzzer refuses millions.
// The log statements still run, their text goes nowhere.
class discarding_buffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void check(bool condition) {
  if (!condition) std::abort();
}

bool holds_nan(const umessage& record) {
  for (const auto& [name, array] : record) {
    if (const auto* doubles = array.as<double>()) {
      for (double value : doubles->values) {
        if (std::isnan(value)) return true;
      }
    } else if (const auto* records = array.as<std::shared_ptr<umessage>>()) {
      for (const auto& value : records->values) {
        if (holds_nan(*value)) return true;
      }
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Never destroyed: std::cerr still points at it when the logger flushes
  // standard error during static destruction.
  static const bool quiet = (std::cerr.rdbuf(new discarding_buffer), true);
  (void)quiet;

  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  umessage record;
  if (!record.unflatten(in)) {
    check(record.empty());
    return 0;
  }

  std::ostringstream written;
  record.flatten(written);
  const std::string bytes = written.str();

  std::istringstream again(bytes);
  umessage copy;
  check(copy.unflatten(again));
  check(copy == record || holds_nan(record));

  std::ostringstream rewritten;
  copy.flatten(rewritten);
  check(rewritten.str() == bytes);
  return 0;
}
