// JsonWriter: compact JSON text with members in the order they are written.
//
// The simulated host's report is read by scripts and tests that look for
// members in a known order, so the writer never sorts. Strings are UTF-8;
// bytes that are not well-formed UTF-8 are written as U+FFFD so that the
// output is always valid JSON. Numbers that are not finite are written as
// null. The caller nests begin/end calls correctly; a member name is given
// with key() before each value inside an object.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vxsim {

class JsonWriter {
 public:
  // Appends to out.
  explicit JsonWriter(std::string& out) : out_(out) {}

  JsonWriter& begin_object();
  JsonWriter& end_object();
  JsonWriter& begin_array();
  JsonWriter& end_array();

  // The name of the next member of the current object.
  JsonWriter& key(std::string_view name);

  JsonWriter& string(std::string_view text);
  JsonWriter& integer(std::int64_t value);
  JsonWriter& unsigned_integer(std::uint64_t value);
  // Shortest text that reads back as the same double.
  JsonWriter& number(double value);
  JsonWriter& boolean(bool value);
  JsonWriter& null();

  // Appends text as a JSON string literal (quotes and escapes included).
  static void append_string(std::string& out, std::string_view text);

 private:
  void before_value();

  std::string& out_;
  // One flag per open object or array: true once it holds an element.
  std::vector<bool> has_element_;
  bool after_key_ = false;
};

}  // namespace vxsim
