// UAbstractParser<Kind>: the token layer over UAbstractParserBase.
//
// A concrete parser implements next_token; callers read tokens with
// get_token and may push any number of them back with unget_token (the most
// recently pushed is delivered first). Kind is the parser's enumeration of
// token kinds.
#pragma once

#include <istream>
#include <utility>
#include <vector>

#include "utils/UAbstractParserBase.h"
#include "utils/ustring.h"

template <typename Kind>
class UAbstractParser : public UAbstractParserBase {
 public:
  struct Token {
    bool valid = false;
    Kind kind{};
    ustring text;
  };

  UAbstractParser(std::istream& input, const ustring& name) : UAbstractParserBase(input, name) {}
  ~UAbstractParser() override = default;

  // The most recently pushed-back token if there is one; otherwise token is
  // reset and filled by next_token. token.valid is true exactly when the
  // result is true.
  bool get_token(Token& token) {
    if (!lookahead_.empty()) {
      token = std::move(lookahead_.back());
      lookahead_.pop_back();
      return true;
    }
    token = Token{};
    token.valid = next_token(token);
    return token.valid;
  }

  // Pushes a valid token back; an invalid one is ignored.
  void unget_token(const Token& token) {
    if (token.valid) lookahead_.push_back(token);
  }

  // Reads the next token into token and returns when it is of the given
  // kind. Otherwise the token (if any) is pushed back, so it stays available
  // for error recovery, and raise_error throws.
  void expect(Token& token, Kind kind) {
    if (get_token(token) && token.kind == kind) return;
    unget_token(token);
    raise_error();
  }

 protected:
  // Reads the next token from the character layer; false at the end of the
  // input. The token arrives reset (invalid, empty text).
  virtual bool next_token(Token& token) = 0;

 private:
  std::vector<Token> lookahead_;
};
