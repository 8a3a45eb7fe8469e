#include "utils/UAbstractParserBase.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "utils/utf.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The get area of a stream buffer (gptr, egptr, gbump) is protected. A
// pointer to member formed through a derived class may be applied to any
// buffer, which lets the reader scan the buffered bytes in place instead of
// calling sbumpc for each.
struct get_area : std::streambuf {
  static const char* position(std::streambuf& buffer) { return (buffer.*(&get_area::gptr))(); }
  static const char* end(std::streambuf& buffer) { return (buffer.*(&get_area::egptr))(); }
  static void advance(std::streambuf& buffer, std::size_t n) {
    constexpr std::size_t step = std::numeric_limits<int>::max();
    for (; n > step; n -= step) (buffer.*(&get_area::gbump))(static_cast<int>(step));
    (buffer.*(&get_area::gbump))(static_cast<int>(n));
  }
};

}  // namespace

UAbstractParserBase::UAbstractParserBase(std::istream& input, const ustring& name)
    : input_(&input), buffer_(input.rdbuf()), name_(name) {
  if (!input.good() || buffer_ == nullptr) throw std::runtime_error("invalid stream");
  pushback_.reserve(16);
  detect_encoding();
}

UAbstractParserBase::~UAbstractParserBase() { close_window(); }

void UAbstractParserBase::close_window() noexcept {
  if (window_ != nullptr) get_area::advance(*buffer_, static_cast<std::size_t>(next_ - window_));
  window_ = next_ = limit_ = nullptr;
}

bool UAbstractParserBase::open_window() {
  close_window();
  if (!pushback_.empty() || ended_ || encoding_ != eEncoding_Bytes || !input_->good()) return false;
  if (buffer_->sgetc() == std::char_traits<char>::eof()) return false;
  const char* position = get_area::position(*buffer_);
  const char* end = get_area::end(*buffer_);
  if (position == nullptr || position >= end) return false;  // an unbuffered stream
  window_ = next_ = position;
  limit_ = end;
  return true;
}

bool UAbstractParserBase::get_char_slow(char& c) {
  if (pushback_.empty() && open_window()) return get_char(c);
  close_window();
  if (!pushback_.empty()) {
    c = pushback_.back();
    pushback_.pop_back();
    if (pushback_.size() < fresh_) {
      fresh_ = pushback_.size();
      count_line(c);
    }
    return true;
  }
  if (ended_ || !input_->good()) return false;
  if (encoding_ != eEncoding_Bytes) return get_utf16_char(c);
  const int b = read_byte();
  if (b < 0) return false;
  c = static_cast<char>(b);
  count_line(c);
  return true;
}

std::size_t UAbstractParserBase::read_plain(char* out, std::size_t max, const bool* stop) {
  if (next_ == limit_ && !open_window()) return 0;
  const std::size_t n = std::min(max, plain_run(stop));
  if (n == 0) return 0;
  std::memcpy(out, next_, n);
  next_ += n;
  // No CR or LF among them, so only the last one matters for line counting.
  previous_ = out[n - 1];
  return n;
}

std::string_view UAbstractParserBase::take_plain(const bool* stop) {
  if (next_ == limit_ && !open_window()) return {};
  const std::size_t n = plain_run(stop);
  if (n == 0) return {};
  const std::string_view run(next_, n);
  next_ += n;
  previous_ = run.back();
  return run;
}

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
      c = escaped_byte(c);
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
