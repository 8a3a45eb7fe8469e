#include "utils/JSONParser.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

#include "utils/c_numbers.h"

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

int JSONParser::to_int(std::string_view text) noexcept { return vxu::c_atoi(text); }

double JSONParser::to_real(std::string_view text) noexcept { return vxu::c_atof(text); }
