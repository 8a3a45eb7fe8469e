// Tokenizer: the scanner of ".strings" string-table files.
//
// It reads the UTF-8 bytes the parser base delivers (which has already
// turned UTF-16LE or UTF-16BE input into UTF-8) and returns these tokens:
//
//   "="        eStringFileToken_Equals     text "="
//   ";"        eStringFileToken_Semicolon  text ";"
//   quoted     eStringFileToken_String     text: the unescaped bytes
//   word       eStringFileToken_String     text: the word
//
//   quoted := '"' { byte | '\' byte } '"' { space* '"' { ... } '"' }
//   word   := [A-Za-z0-9_]+
//
// Between tokens:
//   - white space (the C locale's isspace) is skipped;
//   - "//" starts a comment up to the end of the line;
//   - "/*" starts a comment up to the next "*/" (the "*" of the opening
//     does not count, so "/*/" is still open);
//   - a "/" followed by neither "/" nor "*" is skipped.
//
// In a quoted string a backslash takes the next byte: n and r both give a
// line feed, t a tab, b a backspace, f a form feed, and any other byte stands
// for itself (\" is a double quote, \\ a backslash). Other bytes, line breaks
// included, are taken as they are. Quoted strings separated only by white
// space form one token ("A" "B" is AB); a comment between them ends the
// first one.
//
// Errors raise the parser base's std::runtime_error "unexpected element in
// stream at line N", N being the line of the last byte read:
//   - any byte that starts none of the tokens above (a zero byte included);
//   - a quoted string that the input ends inside (its text would otherwise
//     run to the end of the file, taking every entry after it);
//   - a "/*" comment that the input ends inside (it would silently hide the
//     rest of the file).
// The end of the input between tokens ends the token stream: next_token
// answers false.
#pragma once

#include <cstdint>
#include <istream>

#include "utils/UAbstractParser.h"

enum string_file_token_type : std::int32_t {
  eStringFileToken_String = 1,
  eStringFileToken_Equals = 2,
  eStringFileToken_Semicolon = 3,
};

class Tokenizer final : public UAbstractParser<string_file_token_type> {
 public:
  // Errors name the input "stream". Throws std::runtime_error("invalid
  // stream") like the parser base when the stream is not good.
  explicit Tokenizer(std::istream& input);

 protected:
  bool next_token(Token& token) override;

 private:
  // The next byte: a byte held back by a scanner first, then get_char.
  // (The parser base's push-back ignores zero bytes, which must still be
  // seen here to be refused.)
  bool next_byte(char& c);
  // next_byte until a byte that is not white space.
  bool next_non_space(char& c);
  void hold(char c) { held_ = static_cast<unsigned char>(c); }

  // Skips white space and comments; false at the end of the input,
  // otherwise c is the first byte of the next token.
  bool first_byte(char& c);
  void read_quoted_token(Token& token);
  void read_word_token(char first, Token& token);

  int held_ = -1;
};
