#include "utils/ULineParser.h"

ULineParser::ULineParser(std::istream& input) : UAbstractParser<LineToken_t>(input, ustring()) {}

bool ULineParser::next_token(Token& token) {
  char c;
  if (!get_non_space(c)) return false;
  // The line counter advances on the byte that ends the line, which is the
  // last byte taken.
  const std::uint64_t start = line();
  token.text.push_back(c);
  while (line() == start && get_char(c)) token.text.push_back(c);
  token.kind = eLineToken_Line;
  return true;
}
