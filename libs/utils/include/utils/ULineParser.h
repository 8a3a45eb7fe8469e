// ULineParser: returns its input line by line.
//
// Each token is one line whose first byte is the first non-space byte after
// the previous token, and which runs up to and including the CR or LF that
// ends it (of a CR LF pair only the CR; the LF is white space before the
// next line). Blank lines and leading white space are therefore skipped. The
// last line may end without a line break. False at the end of the input.
#pragma once

#include <cstdint>
#include <istream>

#include "utils/UAbstractParser.h"

enum LineToken_t : std::int32_t {
  eLineToken_Line = 1,
};

class ULineParser : public UAbstractParser<LineToken_t> {
 public:
  explicit ULineParser(std::istream& input);

 protected:
  bool next_token(Token& token) override;
};
