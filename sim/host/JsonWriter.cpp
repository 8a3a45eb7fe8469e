#include "JsonWriter.h"

#include <charconv>
#include <cmath>

#include "utils/utf.h"

namespace vxsim {

void JsonWriter::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!has_element_.empty()) {
    if (has_element_.back()) out_ += ',';
    has_element_.back() = true;
  }
}

JsonWriter& JsonWriter::begin_object() {
  before_value();
  out_ += '{';
  has_element_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::end_object() {
  has_element_.pop_back();
  out_ += '}';
  return *this;
}

JsonWriter& JsonWriter::begin_array() {
  before_value();
  out_ += '[';
  has_element_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::end_array() {
  has_element_.pop_back();
  out_ += ']';
  return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
  before_value();
  append_string(out_, name);
  out_ += ':';
  after_key_ = true;
  return *this;
}

JsonWriter& JsonWriter::string(std::string_view text) {
  before_value();
  append_string(out_, text);
  return *this;
}

JsonWriter& JsonWriter::integer(std::int64_t value) {
  before_value();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::unsigned_integer(std::uint64_t value) {
  before_value();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::number(double value) {
  before_value();
  if (!std::isfinite(value)) {
    out_ += "null";
    return *this;
  }
  if (value == 0) value = 0;  // no "-0"
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out_.append(buffer, result.ptr);
  return *this;
}

JsonWriter& JsonWriter::boolean(bool value) {
  before_value();
  out_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::null() {
  before_value();
  out_ += "null";
  return *this;
}

void JsonWriter::append_string(std::string& out, std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = p + text.size();
  while (p < end) {
    const unsigned char c = *p;
    if (c >= 0x80) {
      const unsigned char* start = p;
      char32_t code_point;
      if (vxu::utf8_decode_one(p, end, code_point)) {
        out.append(reinterpret_cast<const char*>(start), static_cast<std::size_t>(p - start));
      } else {
        out += "\xEF\xBF\xBD";  // U+FFFD for one ill-formed byte
        ++p;
      }
      continue;
    }
    ++p;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

}  // namespace vxsim
