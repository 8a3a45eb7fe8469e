#include "utils/JSONParser.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Bytes that end a run of plain string bytes (besides the line breaks,
// which always do): the quote and the escape.
constexpr std::array<bool, 256> make_string_stops() {
  std::array<bool, 256> stops{};
  stops['"'] = stops['\\'] = true;
  return stops;
}
constexpr std::array<bool, 256> kStringStops = make_string_stops();

// Saturating decimal exponent, enough to tell overflow from underflow.
constexpr std::int64_t kExponentCap = 1'000'000'000;

// The power of ten of the first significant digit of a mantissa
// digits ["." digits]: "123.4" gives 2, "0.05" gives -2; nullopt-like
// INT64_MIN when every digit is zero.
std::int64_t leading_power(std::string_view mantissa) {
  const std::size_t point = mantissa.find('.');
  const std::string_view whole = mantissa.substr(0, point);
  const std::size_t first = whole.find_first_not_of('0');
  if (first != std::string_view::npos) return static_cast<std::int64_t>(whole.size() - first) - 1;
  if (point == std::string_view::npos) return std::numeric_limits<std::int64_t>::min();
  const std::string_view fraction = mantissa.substr(point + 1);
  const std::size_t nonzero = fraction.find_first_not_of('0');
  if (nonzero == std::string_view::npos) return std::numeric_limits<std::int64_t>::min();
  return -static_cast<std::int64_t>(nonzero) - 1;
}

}  // namespace

JSONParser::JSONParser(std::istream& input) : UAbstractParser<JSON_Token>(input, "json") {}

bool JSONParser::scan(Token& token) {
  token.text.clear();
  char c;
  if (held_ >= 0) {
    c = static_cast<char>(held_);
    held_ = -1;
  } else if (!get_non_space(c)) {
    return token.valid = false;
  }
  for (;;) {
    if (c == ' ' || (c >= '\t' && c <= '\r')) {
      if (!get_non_space(c)) return token.valid = false;
      continue;
    }
    if (c != '/') break;
    if (!get_char(c)) return token.valid = false;
    if (c == '/') {
      while (get_char(c) && c != '\n' && c != '\r') {
      }
    } else if (c == '*') {
      // The opening '*' may close the comment: "/*/" is complete.
      bool after_star = true;
      while (get_char(c)) {
        if (c == '/' && after_star) break;
        after_star = c == '*';
      }
    } else {
      continue;  // a lone slash is dropped; c starts the next token
    }
    if (!get_non_space(c)) return token.valid = false;
  }

  token.valid = true;
  switch (c) {
    case '{': token.kind = eJSON_Token_ObjectBegin; return true;
    case '}': token.kind = eJSON_Token_ObjectEnd; return true;
    case '[': token.kind = eJSON_Token_ArrayBegin; return true;
    case ']': token.kind = eJSON_Token_ArrayEnd; return true;
    case ',': token.kind = eJSON_Token_Comma; return true;
    case ':': token.kind = eJSON_Token_Colon; return true;
    case '"': return scan_string(token);
    default: break;
  }
  if (is_digit(c) || c == '-' || c == '+') {
    scan_number(token, c);
    return true;
  }
  if (is_letter(c)) {
    scan_word(token, c);
    return true;
  }
  token.valid = false;
  raise_error();
}

bool JSONParser::scan_string(Token& token) {
  token.kind = eJSON_Token_String;
  // Bytes go to the text in blocks: one append per block, not per byte.
  char block[256];
  std::size_t n = 0;
  char c;
  for (;;) {
    n += read_plain(block + n, sizeof block - n, kStringStops.data());
    if (n == sizeof block) {
      token.text.append(block, n);
      n = 0;
      continue;
    }
    if (!get_char(c)) break;
    if (c == '"') {
      // Adjacent literals join: "ab" "cd" is one string.
      if (!get_non_space(c)) break;
      if (c == '"') continue;
      put_back(c);
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
    block[n++] = c;
    if (n == sizeof block) {
      token.text.append(block, n);
      n = 0;
    }
  }
  token.text.append(block, n);
  return true;
}

void JSONParser::scan_number(Token& token, char first) {
  char block[64];
  std::size_t n = 0;
  auto keep = [&](char b) {
    block[n++] = b;
    if (n == sizeof block) {
      token.text.append(block, n);
      n = 0;
    }
  };
  char c = first;
  if (c == '+' || c == '-') {
    keep(c);
    // A sign must be followed by a digit; what was read counts for the line.
    if (!get_char(c) || !is_digit(c)) {
      token.valid = false;
      raise_error();
    }
  }
  bool real = false;
  bool more = true;  // c holds a byte not yet placed
  auto take_digits = [&] {
    while (more && is_digit(c)) {
      keep(c);
      more = get_char(c);
    }
  };
  take_digits();
  if (more && c == '.') {
    real = true;
    keep(c);
    more = get_char(c);
    take_digits();
  }
  if (more && (c == 'e' || c == 'E')) {
    real = true;
    keep(c);
    more = get_char(c);
    if (more && (c == '+' || c == '-')) {
      keep(c);
      more = get_char(c);
    }
    take_digits();
  }
  if (more) put_back(c);
  token.text.append(block, n);
  token.kind = real ? eJSON_Token_Real : eJSON_Token_Integer;
}

void JSONParser::scan_word(Token& token, char first) {
  // Only the first letters matter; a longer run is no keyword but is read
  // whole so that the error stands after it.
  char word[6];
  std::size_t length = 0;
  char c = first;
  bool more = true;
  while (more && is_letter(c)) {
    if (length < sizeof word) word[length] = c;
    ++length;
    more = get_char(c);
  }
  if (more) put_back(c);
  const std::string_view w(word, length <= sizeof word ? length : sizeof word);
  if (length == 4 && w == "true") {
    token.kind = eJSON_Token_True;
  } else if (length == 5 && w == "false") {
    token.kind = eJSON_Token_False;
  } else if (length == 4 && w == "null") {
    token.kind = eJSON_Token_Null;
  } else {
    token.valid = false;
    raise_error();
  }
  token.text.assign(w.data(), w.size());
}

int JSONParser::to_int(std::string_view text) noexcept {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Magnitudes beyond 2^31 saturate; the cap keeps the sum from overflowing.
  constexpr std::int64_t cap = std::int64_t{std::numeric_limits<int>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < text.size() && is_digit(text[i]); ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > cap) magnitude = cap;
  }
  if (negative) return static_cast<int>(-magnitude);
  return static_cast<int>(magnitude < cap ? magnitude : cap - 1);
}

double JSONParser::to_real(std::string_view text) noexcept {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  double value = 0.0;
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    // from_chars leaves the value alone; strtod gives HUGE_VAL or zero.
    const std::string_view number(first, static_cast<std::size_t>(end - first));
    const std::size_t e = number.find_first_of("eE");
    const std::int64_t lead = leading_power(number.substr(0, e));
    std::int64_t exponent = 0;
    if (e != std::string_view::npos) {
      std::size_t k = e + 1;
      bool down = false;
      if (k < number.size() && (number[k] == '+' || number[k] == '-')) down = number[k++] == '-';
      for (; k < number.size() && is_digit(number[k]); ++k) {
        exponent = exponent * 10 + (number[k] - '0');
        if (exponent > kExponentCap) exponent = kExponentCap;
      }
      if (down) exponent = -exponent;
    }
    const bool overflow = lead != std::numeric_limits<std::int64_t>::min() && lead + exponent > 0;
    value = overflow ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (error != std::errc()) {
    value = 0.0;  // no digits: atof gives 0
  }
  return negative ? -value : value;
}
