#include "utils/UAbstractParserBase.h"

#include <stdexcept>
#include <string>

#include "utils/utf.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

UAbstractParserBase::UAbstractParserBase(std::istream& input, const ustring& name)
    : input_(&input), buffer_(input.rdbuf()), name_(name) {
  if (!input.good() || buffer_ == nullptr) throw std::runtime_error("invalid stream");
  pushback_.reserve(16);
  detect_encoding();
}

UAbstractParserBase::~UAbstractParserBase() = default;

void UAbstractParserBase::mark_end() {
  ended_ = true;
  input_->setstate(std::ios_base::eofbit | std::ios_base::failbit);
}

void UAbstractParserBase::detect_encoding() {
  // Bytes read here but not consumed by a mark are delivered first, in file
  // order, and counted for lines as if read just then.
  char lead[4];
  int count = 0;
  auto keep = [&](int b) {
    if (b > 0) lead[count++] = static_cast<char>(b);
  };
  auto keep_unit = [&](int unit) {
    if (unit != 0) count += vxu::utf8_encode_one(static_cast<char32_t>(unit), lead + count);
  };

  const int r0 = read_byte();
  const int r1 = r0 < 0 ? -1 : read_byte();
  const int b0 = r0 < 0 ? 0 : r0;
  const int b1 = r1 < 0 ? 0 : r1;

  if (b0 == 0xFE && b1 == 0xFF) {
    encoding_ = eEncoding_Utf16BE;
  } else if ((b0 == 0xFE || b0 == 0xFF) && (b1 == 0x00 || (b0 == 0xFF && b1 == 0xFE))) {
    encoding_ = eEncoding_Utf16LE;
  } else if (b0 == 0xEF) {
    const int r2 = b1 == 0xBB ? read_byte() : -1;
    if (r2 != 0xBF) {  // not the UTF-8 mark: deliver what was read
      keep(b0);
      keep(r1);
      keep(r2);
    }
  } else if (b0 != 0 && b1 != 0) {
    keep(b0);
    keep(b1);
  } else if (b0 != 0) {
    // A text unit of UTF-16LE without a mark: its high byte is zero.
    encoding_ = eEncoding_Utf16LE;
    keep_unit(b0);
  } else {
    encoding_ = eEncoding_Utf16BE;
    keep_unit(b1);
  }

  for (int i = count; i > 0; --i) pushback_.push_back(lead[i - 1]);
  fresh_ = pushback_.size();
}

bool UAbstractParserBase::get_utf16_char(char& c) {
  const int first = read_byte();
  if (first < 0) return false;
  const int second = read_byte();
  if (second < 0) return false;  // an odd trailing byte is dropped
  const char32_t unit = encoding_ == eEncoding_Utf16BE ? static_cast<char32_t>(first << 8 | second)
                                                       : static_cast<char32_t>(second << 8 | first);
  char bytes[4];
  const int n = vxu::utf8_encode_one(unit, bytes);
  if (n == 0) {
    // A surrogate: pairs are not joined, so the text cannot go on.
    ended_ = true;
    return false;
  }
  for (int i = n - 1; i > 0; --i) pushback_.push_back(bytes[i]);
  c = bytes[0];
  count_line(c);
  return true;
}

ustring UAbstractParserBase::read_line() {
  ustring text;
  char c;
  while (get_char(c)) {
    if (c == '\r' || c == '\n') {
      unget_char(c);
      break;
    }
    text.push_back(c);
  }
  return text;
}

void UAbstractParserBase::skip_line() {
  char c;
  while (get_char(c)) {
    if (c == '\r' || c == '\n') break;
  }
  if (get_non_space(c)) unget_char(c);
}

bool UAbstractParserBase::read_quoted(ustring& text) {
  text.clear();
  char c;
  if (!get_non_space(c)) return false;
  if (c != '"') {
    unget_char(c);
    return false;
  }
  while (get_char(c)) {
    if (c == '"') {
      // Adjacent literals join: "ab" "cd" is one string.
      if (!get_non_space(c)) break;
      if (c == '"') continue;
      unget_char(c);
      break;
    }
    if (c == '\\') {
      if (!get_char(c)) break;
      switch (c) {
        case 'n':
        case 'r': c = '\n'; break;
        case 't': c = '\t'; break;
        case 'b': c = '\b'; break;
        case 'f': c = '\f'; break;
        default: break;
      }
    }
    text.push_back(c);
  }
  return true;
}

bool UAbstractParserBase::read_number(ustring& text, bool& is_float) {
  text.clear();
  is_float = false;
  char c;
  if (!get_non_space(c)) return false;
  char sign = 0;
  if (c == '+' || c == '-') {
    sign = c;
    if (!get_char(c)) {
      unget_char(sign);
      return false;
    }
  }
  if (!is_digit(c)) {
    unget_char(c);
    unget_char(sign);  // a zero sign is ignored
    return false;
  }
  if (sign != 0) text.push_back(sign);

  // `more` tracks whether c holds a byte not yet consumed into the number.
  bool more = true;
  auto take_digits = [&] {
    while (more && is_digit(c)) {
      text.push_back(c);
      more = get_char(c);
    }
  };
  take_digits();
  if (more && c == '.') {
    is_float = true;
    text.push_back(c);
    more = get_char(c);
    take_digits();
  }
  if (more && (c == 'e' || c == 'E')) {
    is_float = true;
    text.push_back(c);
    more = get_char(c);
    if (more && (c == '+' || c == '-')) {
      text.push_back(c);
      more = get_char(c);
    }
    take_digits();
  }
  if (more) unget_char(c);
  return true;
}

void UAbstractParserBase::raise_error() const {
  std::string message = "unexpected element in ";
  message += name_.empty() ? std::string_view("stream") : name_.view();
  message += " at line ";
  message += std::to_string(line_);
  throw std::runtime_error(message);
}
