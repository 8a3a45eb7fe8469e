#include "utils/JSONParser.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>

#include "utils/c_numbers.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Bytes that end a run of plain string bytes: the quote, the escape and the
// line breaks (which the parser base counts).
constexpr std::array<bool, 256> make_string_stops() {
  std::array<bool, 256> stops{};
  stops['"'] = stops['\\'] = stops['\r'] = stops['\n'] = true;
  return stops;
}
constexpr std::array<bool, 256> kStringStops = make_string_stops();

// A word with the high bit set in every byte equal to c, and possibly in
// bytes above such a byte (never below the first), as the classic zero-byte
// test gives it.
std::uint64_t bytes_equal(std::uint64_t w, char c) {
  constexpr std::uint64_t ones = 0x0101010101010101u;
  constexpr std::uint64_t highs = 0x8080808080808080u;
  const std::uint64_t x = w ^ (ones * static_cast<unsigned char>(c));
  return (x - ones) & ~x & highs;
}

// The first string stop byte from p on, or end.
const char* find_string_stop(const char* p, const char* end) {
  if constexpr (std::endian::native == std::endian::little) {
    // Eight bytes at a time; the lowest flagged byte is exact.
    while (end - p >= 8) {
      std::uint64_t w;
      std::memcpy(&w, p, 8);
      const std::uint64_t hits =
          bytes_equal(w, '"') | bytes_equal(w, '\\') | bytes_equal(w, '\r') | bytes_equal(w, '\n');
      if (hits != 0) return p + std::countr_zero(hits) / 8;
      p += 8;
    }
  }
  while (p != end && !kStringStops[static_cast<unsigned char>(*p)]) ++p;
  return p;
}

// The end of the digits from p on (at most end).
const char* skip_digits(const char* p, const char* end) {
  while (p != end && is_digit(*p)) ++p;
  return p;
}

}  // namespace

JSONParser::JSONParser(std::istream& input) : UAbstractParser<JSON_Token>(input, "json") {}

// Every scanner below first tries to find its whole lexeme, and the byte
// after it, among the bytes buffered in the parser base's window; when the
// window ends too early (or a rare case turns up: an escape, a line break in
// a string, a comment) it goes on byte by byte with get_char, which reads
// the same bytes the same way, only slower.

bool JSONParser::first_byte_slow(char& c) {
  if (held_ >= 0) {
    c = static_cast<char>(held_);
    held_ = -1;
  } else {
    const char* p = window_next();
    const char* const end = window_limit();
    while (p != end && is_space(*p)) ++p;
    window_skip(p);
    if (p != end && *p != '/') {
      c = *p;
      window_skip_plain(p + 1);
      return true;
    }
    if (!get_non_space(c)) return false;
  }
  for (;;) {
    if (is_space(c)) {
      if (!get_non_space(c)) return false;
      continue;
    }
    if (c != '/') return true;
    if (!get_char(c)) return false;
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
    if (!get_non_space(c)) return false;
  }
}

bool JSONParser::skip(char c) {
  if (held_ >= 0) {
    if (held_ != static_cast<unsigned char>(c)) return false;
    held_ = -1;
    return true;
  }
  const char* p = window_next();
  const char* const end = window_limit();
  while (p != end && is_space(*p)) ++p;
  window_skip(p);
  if (p == end || *p != c) return false;
  window_skip_plain(p + 1);
  return true;
}

bool JSONParser::scan(Token& token) {
  token.text.clear();
  integer_known_ = false;
  char c;
  if (!first_byte(c)) return token.valid = false;
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
  char c;
  for (;;) {
    // Plain bytes in place, a run at a time.
    const char* const begin = window_next();
    const char* const end = window_limit();
    const char* p = find_string_stop(begin, end);
    if (p != begin) {
      token.text.append(begin, static_cast<ustring::size_type>(p - begin));
      window_skip_plain(p);
    }
    if (p != end && *p == '"') {
      // The closing quote, and after white space a byte that is not another
      // quote: that byte is held for the next token.
      const char* q = p + 1;
      while (q != end && is_space(*q)) ++q;
      if (q != end && *q != '"') {
        put_back(*q);
        window_skip(q + 1);
        return true;
      }
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
      c = escaped_byte(c);
    }
    token.text.push_back(c);
  }
  return true;
}

bool JSONParser::scan_number_in_place(Token& token, char first) {
  const char* const begin = window_next();
  const char* const end = window_limit();
  const char* p = begin;
  if (first == '+' || first == '-') {
    if (p == end || !is_digit(*p)) return false;
  }
  p = skip_digits(p, end);
  bool real = false;
  if (p != end && *p == '.') {
    real = true;
    p = skip_digits(p + 1, end);
  }
  if (p != end && (*p == 'e' || *p == 'E')) {
    real = true;
    ++p;
    if (p != end && (*p == '+' || *p == '-')) ++p;
    p = skip_digits(p, end);
  }
  if (p == end) return false;  // the byte after the number is not buffered
  token.text.push_back(first);
  token.text.append(begin, static_cast<ustring::size_type>(p - begin));
  token.kind = real ? eJSON_Token_Real : eJSON_Token_Integer;
  if (!real && p - begin < 9) {
    // Up to nine digits: the value needs no range check.
    int value = is_digit(first) ? first - '0' : 0;
    for (const char* d = begin; d != p; ++d) value = value * 10 + (*d - '0');
    integer_ = first == '-' ? -value : value;
    integer_known_ = true;
  }
  window_skip_plain(p);
  put_back(*p);
  window_skip(p + 1);
  return true;
}

void JSONParser::scan_number(Token& token, char first) {
  if (scan_number_in_place(token, first)) return;
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
  const char* p = window_next();
  const char* const end = window_limit();
  const char* q = p;
  while (q != end && is_letter(*q)) ++q;
  if (q != end && q - p < static_cast<std::ptrdiff_t>(sizeof word)) {
    // The word and the byte after it are buffered.
    word[0] = first;
    std::memcpy(word + 1, p, static_cast<std::size_t>(q - p));
    length = static_cast<std::size_t>(q - p) + 1;
    window_skip_plain(q);
    put_back(*q);
    window_skip(q + 1);
  } else {
    while (more && is_letter(c)) {
      if (length < sizeof word) word[length] = c;
      ++length;
      more = get_char(c);
    }
    if (more) put_back(c);
  }
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

int JSONParser::to_int(std::string_view text) noexcept { return vxu::c_atoi(text); }

double JSONParser::to_real(std::string_view text) noexcept { return vxu::c_atof(text); }
