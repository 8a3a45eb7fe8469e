// JSONParser: the tokenizer of the umessage JSON text.
//
// Tokens, after white space (the C locale's isspace) and comments:
//   { } [ ] , :             punctuation
//   "..."                   a string; backslash escapes: \n and \r give LF,
//                           \t tab, \b backspace, \f form feed, any other
//                           byte stands for itself (\" \\ \/ \' and \u, whose
//                           hex digits stay text). Literals separated only by
//                           white space join into one string. The end of the
//                           input ends a string without error.
//   [+|-] digit+ ["." digit*] [(e|E) [+|-] digit*]
//                           an integer, or a real when the point or the
//                           exponent part is present; text holds the token.
//   true false null         words (runs of ASCII letters); any other word is
//                           an error.
// Comments: // to the end of the line; /* to the first '/' right after a '*'
// (so "/*/" is a whole comment). A '/' followed by anything else is dropped.
// Anything that starts none of these tokens raises the parser base's error
// "unexpected element in json at line N"; so does a zero byte between tokens.
//
// Errors leave the line count at the last byte read, which includes the byte
// after a number, a word or a string that the tokenizer looked at.
#pragma once

#include <cstdint>
#include <istream>
#include <string_view>

#include "utils/UAbstractParser.h"

enum JSON_Token : std::int32_t {
  eJSON_Token_ObjectBegin = 1,  // {
  eJSON_Token_ObjectEnd,        // }
  eJSON_Token_ArrayBegin,       // [
  eJSON_Token_ArrayEnd,         // ]
  eJSON_Token_Comma,            // ,
  eJSON_Token_Colon,            // :
  eJSON_Token_String,           // text: the string's bytes
  eJSON_Token_Integer,          // text: the token, e.g. -12
  eJSON_Token_Real,             // text: the token, e.g. 1.5e-3
  eJSON_Token_True,
  eJSON_Token_False,
  eJSON_Token_Null,
};

class JSONParser final : public UAbstractParser<JSON_Token> {
 public:
  // The input is named "json" in error texts. Throws "invalid stream" like
  // the parser base when the stream is not good.
  explicit JSONParser(std::istream& input);

  // Reads the next token straight from the character layer, reusing the
  // capacity of token.text (no allocation once the text buffer is large
  // enough). False at the end of the input. It does not look at tokens
  // pushed back with unget_token: a caller uses either scan alone or the
  // token layer (get_token / unget_token / expect).
  bool scan(Token& token);

  // Takes the next token when it is the punctuation c and true then;
  // otherwise false, having read nothing but white space, so that scan
  // reads that token next. A cheap path for the ':' and ',' a reader
  // expects; it goes by the bytes at hand and may answer false for a c that
  // follows after a comment or beyond the bytes buffered.
  bool skip(char c);

  // The value of an integer token by the rules of the C library's atoi
  // (optional sign, decimal digits), except that a value outside the int
  // range saturates at INT_MIN / INT_MAX instead of being undefined.
  static int to_int(std::string_view text) noexcept;
  // to_int of an integer token that scan returned last (its value is often
  // known from the scan already).
  int integer_value(const Token& token) const noexcept {
    return integer_known_ ? integer_ : to_int(token.text.view());
  }

  // The value of a real token by the rules of the C library's atof in the
  // "C" locale, whatever the process locale is: '.' is the decimal point,
  // the longest valid prefix is converted ("1e" is 1), overflow gives
  // +-infinity and underflow +-0 or a subnormal, as strtod rounds them.
  static double to_real(std::string_view text) noexcept;

 protected:
  bool next_token(Token& token) override { return scan(token); }

 private:
  // The first byte of the next token, after white space and comments: the
  // common case (a byte at hand that starts a token) inline, the rest in
  // first_byte_slow.
  bool first_byte(char& c) {
    if (held_ < 0) {
      const char* p = window_next();
      if (p != window_limit()) {
        const char b = *p;
        if (b != '/' && b != ' ' && (b < '\t' || b > '\r')) {
          c = b;
          window_skip_plain(p + 1);
          return true;
        }
      }
    }
    return first_byte_slow(c);
  }
  bool first_byte_slow(char& c);
  bool scan_string(Token& token);
  void scan_number(Token& token, char first);
  // The number when it and the byte after it are buffered; false (nothing
  // read) otherwise.
  bool scan_number_in_place(Token& token, char first);
  void scan_word(Token& token, char first);
  // The byte that ended a lexeme is held here for the next scan instead of
  // going through the parser base's push-back: cheaper, and a zero byte is
  // kept too (the push-back drops it), so it raises the error it deserves.
  void put_back(char c) { held_ = static_cast<unsigned char>(c); }

  int held_ = -1;  // the held byte, or -1
  // The value of the last token when it is a short integer read in place.
  bool integer_known_ = false;
  int integer_ = 0;
};
