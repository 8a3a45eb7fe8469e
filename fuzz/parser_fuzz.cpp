// Fuzz target of the parsers' shared character reader (UAbstractParserBase):
// encoding detection, get_char, the lexeme readers read_quoted, read_number,
// read_line and skip_line, and ULineParser.
//
// A plain model of the detection (the table in UAbstractParserBase.h)
// decodes the input; the reader must deliver exactly those bytes and count
// their lines, through any stream buffer (whole, or a few bytes per refill).
// The lexeme readers, mixed in turns, must give lexemes of their grammar and
// end once the input has; ULineParser must give the model's lines.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "utils/UAbstractParserBase.h"
#include "utils/ULineParser.h"
#include "utils/utf.h"

namespace {

// Names the failed condition's line before aborting.
void check_at(bool condition, int line) {
  if (condition) return;
  std::fprintf(stderr, "parser_fuzz.cpp:%d: check failed\n", line);
  std::abort();
}
#define check(condition) check_at((condition), __LINE__)

// Hands out its bytes a few at a time, so the reader's window closes and
// reopens at every refill.
class ChunkedBuffer : public std::streambuf {
 public:
  ChunkedBuffer(const std::string& bytes, std::size_t chunk) : bytes_(bytes), chunk_(chunk) {}

 protected:
  int_type underflow() override {
    if (position_ >= bytes_.size()) return traits_type::eof();
    const std::size_t n = std::min(chunk_, bytes_.size() - position_);
    char* start = bytes_.data() + position_;
    setg(start, start, start + n);
    position_ += n;
    return traits_type::to_int_type(*start);
  }

 private:
  std::string bytes_;
  std::size_t chunk_;
  std::size_t position_ = 0;
};

// What the reader delivers: the detection's table, then 8-bit bytes or
// UTF-16 units (each as UTF-8), a surrogate ending the input. Zero bytes or
// a zero unit read by the detection itself are dropped; later ones are
// delivered like any other.
std::string model_decode(const std::string& in) {
  const auto byte = [&](std::size_t i) -> unsigned { return i < in.size() ? static_cast<unsigned char>(in[i]) : 0; };
  const unsigned b0 = byte(0), b1 = byte(1);
  enum { kBytes, kBig, kLittle } encoding = kBytes;
  std::size_t start = 0;
  std::size_t detected = 2;  // bytes the detection reads
  if (b0 == 0xFE && b1 == 0xFF) {
    encoding = kBig, start = 2;
  } else if ((b0 == 0xFE && b1 == 0) || (b0 == 0xFF && (b1 == 0xFE || b1 == 0))) {
    encoding = kLittle, start = 2;
  } else if (b0 == 0xEF) {
    if (b1 == 0xBB) detected = 3;
    start = b1 == 0xBB && byte(2) == 0xBF ? 3 : 0;
  } else if (b0 != 0 && b1 == 0) {
    encoding = kLittle;
  } else if (b0 == 0) {
    encoding = kBig;
  }
  std::string out;
  if (encoding == kBytes) {
    for (std::size_t i = start; i < in.size(); ++i)
      if (in[i] != 0 || i >= detected) out += in[i];
    return out;
  }
  // Detection reads the first unit even when its second byte is missing.
  const std::size_t end = start == 0 && in.size() == 1 ? 2 : in.size();
  for (std::size_t i = start; i + 1 < end; i += 2) {
    const char16_t unit =
        static_cast<char16_t>(encoding == kBig ? (byte(i) << 8 | byte(i + 1)) : (byte(i + 1) << 8 | byte(i)));
    if (vxu::is_surrogate(unit)) break;
    if (unit == 0 && i == 0) continue;
    char encoded[4];
    out.append(encoded, static_cast<std::size_t>(vxu::utf8_encode_one(unit, encoded)));
  }
  return out;
}

std::uint64_t model_line(const std::string& delivered) {
  std::uint64_t line = 1;
  char previous = 0;
  for (char c : delivered) {
    if (c == '\r' || (c == '\n' && previous != '\r')) ++line;
    previous = c;
  }
  return line;
}

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// [+|-] digit+ [ "." digit* ] [ (e|E) [+|-] digit* ]; is_float with the
// point or the exponent.
bool is_number(const std::string& t, bool is_float) {
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  const std::size_t digits = i;
  while (i < t.size() && is_digit(t[i])) ++i;
  if (i == digits) return false;
  bool fraction = false;
  if (i < t.size() && t[i] == '.') {
    fraction = true;
    ++i;
    while (i < t.size() && is_digit(t[i])) ++i;
  }
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    fraction = true;
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    while (i < t.size() && is_digit(t[i])) ++i;
  }
  return i == t.size() && fraction == is_float;
}

void check_delivery(std::istream& in, const std::string& expected) {
  UAbstractParserBase reader(in, ustring("fuzz"));
  std::string got;
  char c;
  while (reader.get_char(c)) {
    got += c;
    check(got.size() <= expected.size());
  }
  check(got == expected);
  check(!reader.get_char(c));
  check(reader.line() == model_line(expected));
}

void check_lexemes(std::istream& in, const std::string& expected) {
  UAbstractParserBase reader(in, ustring("fuzz"));
  // Every round takes at least one byte with get_char, so the rounds are
  // bounded by the input.
  for (std::size_t round = 0;; ++round) {
    check(round <= expected.size() + 1);
    ustring text;
    bool is_float = false;
    switch (round % 5) {
      case 0:
        if (!reader.read_quoted(text)) check(text.empty());
        break;
      case 1:
        if (reader.read_number(text, is_float)) {
          check(is_number(text.str(), is_float));
        } else {
          check(text.empty());
        }
        break;
      case 2: {
        const ustring line = reader.read_line();
        check(line.view().find_first_of("\r\n") == std::string_view::npos);
        break;
      }
      case 3:
        reader.skip_line();
        break;
      case 4: {
        char c;
        // unget_char ignores a zero byte, so only others come back.
        if (reader.get_non_space(c) && c != 0) {
          check(!is_space(c));
          reader.unget_char(c);
          char again;
          check(reader.get_char(again) && again == c);
        }
        break;
      }
    }
    char c;
    if (!reader.get_char(c)) break;
  }
}

std::vector<std::string> model_lines(const std::string& delivered) {
  std::vector<std::string> lines;
  std::size_t i = 0;
  for (;;) {
    while (i < delivered.size() && is_space(delivered[i])) ++i;
    if (i == delivered.size()) return lines;
    const std::size_t end = delivered.find_first_of("\r\n", i);
    const std::size_t stop = end == std::string::npos ? delivered.size() : end + 1;
    lines.push_back(delivered.substr(i, stop - i));
    i = stop;
  }
}

void check_lines(std::istream& in, const std::string& expected) {
  ULineParser parser(in);
  std::vector<std::string> lines;
  ULineParser::Token token;
  while (parser.get_token(token)) {
    check(token.kind == eLineToken_Line);
    lines.push_back(token.text.str());
    check(lines.size() <= expected.size());
  }
  check(lines == model_lines(expected));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string expected = model_decode(input);
  const std::size_t chunk = 1 + size % 5;
  {
    std::istringstream whole(input);
    check_delivery(whole, expected);
  }
  {
    ChunkedBuffer buffer(input, chunk);
    std::istream in(&buffer);
    check_delivery(in, expected);
  }
  {
    std::istringstream whole(input);
    check_lexemes(whole, expected);
  }
  {
    ChunkedBuffer buffer(input, chunk);
    std::istream in(&buffer);
    check_lexemes(in, expected);
  }
  {
    std::istringstream whole(input);
    check_lines(whole, expected);
  }
  {
    ChunkedBuffer buffer(input, chunk);
    std::istream in(&buffer);
    check_lines(in, expected);
  }
  return 0;
}
