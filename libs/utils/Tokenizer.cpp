#include "utils/Tokenizer.h"

namespace {

// The C locale's isspace, whatever the process locale is.
bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool is_word_byte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

Tokenizer::Tokenizer(std::istream& input) : UAbstractParser<string_file_token_type>(input, ustring()) {}

bool Tokenizer::next_byte(char& c) {
  if (held_ >= 0) {
    c = static_cast<char>(held_);
    held_ = -1;
    return true;
  }
  return get_char(c);
}

bool Tokenizer::next_non_space(char& c) {
  while (next_byte(c)) {
    if (!is_space(c)) return true;
  }
  return false;
}

bool Tokenizer::first_byte(char& c) {
  if (!next_non_space(c)) return false;
  for (;;) {
    if (c != '/') return true;
    if (!next_byte(c)) return false;  // a lone "/" at the end
    if (c == '/') {
      while (next_byte(c) && c != '\n' && c != '\r') {
      }
    } else if (c == '*') {
      bool after_star = false;
      for (;;) {
        if (!next_byte(c)) raise_error();
        if (c == '/' && after_star) break;
        after_star = c == '*';
      }
    } else if (!is_space(c)) {
      continue;  // a lone "/" is skipped; c starts the next token
    }
    if (!next_non_space(c)) return false;
  }
}

bool Tokenizer::next_token(Token& token) {
  char c;
  if (!first_byte(c)) return false;
  switch (c) {
    case '=':
      token.kind = eStringFileToken_Equals;
      token.text = "=";
      return true;
    case ';':
      token.kind = eStringFileToken_Semicolon;
      token.text = ";";
      return true;
    case '"':
      read_quoted_token(token);
      return true;
    default:
      if (!is_word_byte(c)) raise_error();
      read_word_token(c, token);
      return true;
  }
}

void Tokenizer::read_quoted_token(Token& token) {
  token.kind = eStringFileToken_String;
  char c;
  for (;;) {
    if (!next_byte(c)) raise_error();
    if (c == '"') {
      // Adjacent quoted strings form one string.
      char after;
      if (!next_non_space(after)) return;
      if (after == '"') continue;
      hold(after);
      return;
    }
    if (c == '\\') {
      if (!next_byte(c)) raise_error();
      c = escaped_byte(c);
    }
    token.text.push_back(c);
  }
}

void Tokenizer::read_word_token(char first, Token& token) {
  token.kind = eStringFileToken_String;
  token.text.push_back(first);
  char c;
  while (next_byte(c)) {
    if (!is_word_byte(c)) {
      hold(c);
      return;
    }
    token.text.push_back(c);
  }
}
