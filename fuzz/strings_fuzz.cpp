// Fuzz target of the ".strings" string-table reader.
//
// Reads arbitrary bytes into a table (a malformed input keeps the entries
// before the fault). Whatever was read is written back as quoted entries and
// read again: that text must read without error and give the same table.
// Sanitizers catch reads outside the input and leaks; the replay catches
// hangs by its time-out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "utils/ustring_load.h"

namespace {

// Inside quotes only the double quote and the backslash need an escape; every
// other byte (line breaks, zero bytes) is taken as it is.
void write_quoted(std::string& out, const ustring& text) {
  out += '"';
  for (char c : text.view()) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  StringTable first;
  try {
    read_string_table(in, first);
  } catch (const std::runtime_error&) {
    // Malformed input: the entries before the fault are kept and checked.
  }

  // A leading comment keeps the first two bytes from looking like UTF-16.
  std::string text = "/* written back */\n";
  for (const auto& [key, value] : first) {
    write_quoted(text, key);
    text += " = ";
    write_quoted(text, value);
    text += ";\n";
  }
  std::istringstream again(text);
  StringTable second;
  try {
    read_string_table(again, second);
  } catch (const std::runtime_error& e) {
    std::cerr << "written table does not read back (" << e.what() << "): " << text << "\n";
    std::abort();
  }
  if (second != first) {
    std::cerr << "written table reads back differently: " << text << "\n";
    std::abort();
  }
  return 0;
}
