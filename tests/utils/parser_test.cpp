#include "utils/UAbstractParser.h"
#include "utils/UAbstractParserBase.h"
#include "utils/ULineParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

namespace {

// Hands its bytes to the reader at most `chunk` at a time, so that every
// refill of the stream buffer falls at a different place in the input.
class ChunkedBuf : public std::streambuf {
 public:
  ChunkedBuf(std::string data, std::size_t chunk) : data_(std::move(data)), chunk_(chunk) {}

 protected:
  int_type underflow() override {
    if (gptr() != nullptr && gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (pos_ >= data_.size()) return traits_type::eof();
    const std::size_t n = std::min(chunk_, data_.size() - pos_);
    char* begin = data_.data() + pos_;
    setg(begin, begin, begin + n);
    pos_ += n;
    return traits_type::to_int_type(*gptr());
  }

 private:
  std::string data_;
  std::size_t chunk_;
  std::size_t pos_ = 0;
};

constexpr std::size_t kChunkSizes[] = {1, 2, 3, 7, 4096};

// Runs body once per chunk size with a stream over input.
void for_each_chunking(const std::string& input, const std::function<void(std::istream&)>& body) {
  for (std::size_t chunk : kChunkSizes) {
    SCOPED_TRACE("chunk size " + std::to_string(chunk));
    ChunkedBuf buf(input, chunk);
    std::istream in(&buf);
    body(in);
  }
}

// A buffer without a get area: every byte comes through uflow, as from an
// unbuffered stream.
class UnbufferedBuf : public std::streambuf {
 public:
  explicit UnbufferedBuf(std::string data) : data_(std::move(data)) {}

 protected:
  int_type underflow() override {
    return pos_ < data_.size() ? traits_type::to_int_type(data_[pos_]) : traits_type::eof();
  }
  int_type uflow() override {
    return pos_ < data_.size() ? traits_type::to_int_type(data_[pos_++]) : traits_type::eof();
  }

 private:
  std::string data_;
  std::size_t pos_ = 0;
};

class Reader : public UAbstractParserBase {
 public:
  explicit Reader(std::istream& in, const ustring& name = ustring()) : UAbstractParserBase(in, name) {}
};

// Every byte still to come. Also checks that the end of the input is final
// and leaves the output byte alone.
std::string drain(UAbstractParserBase& p) {
  std::string out;
  char c;
  while (p.get_char(c)) out.push_back(c);
  for (int i = 0; i < 3; ++i) {
    c = '?';
    EXPECT_FALSE(p.get_char(c)) << "input resumed after its end";
    EXPECT_EQ(c, '?') << "byte changed at the end of input";
  }
  return out;
}

TEST(ParserBaseTest, EncodingDetection) {
  static const struct {
    const char* name;
    std::string input;
    std::string delivered;
    std::uint64_t lines;  // line number after reading everything
  } cases[] = {
      {"empty input", "", "", 1},
      {"one byte", "A", "A", 1},
      {"plain bytes", "ab", "ab", 1},
      {"UTF-16LE with mark", std::string("\xFF\xFE" "a\0b\0", 6), "ab", 1},
      {"UTF-16LE without mark", std::string("a\0b\0", 4), "ab", 1},
      {"UTF-16BE with mark", std::string("\xFE\xFF\0a\0b", 6), "ab", 1},
      {"UTF-16BE without mark", std::string("\0a\0b", 4), "ab", 1},
      {"FE 00 is a UTF-16LE mark", std::string("\xFE\0a\0", 4), "a", 1},
      {"FF 00 is a UTF-16LE mark", std::string("\xFF\0a\0", 4), "a", 1},
      {"FE then another byte", "\xFE" "AB", "\xFE" "AB", 1},
      {"FF then another byte", "\xFF" "A", "\xFF" "A", 1},
      {"UTF-8 mark dropped", "\xEF\xBB\xBF" "a", "a", 1},
      {"UTF-8 mark alone", "\xEF\xBB\xBF", "", 1},
      {"EF BB then another byte", "\xEF\xBB" "A", "\xEF\xBB" "A", 1},
      {"EF BB at the end", "\xEF\xBB", "\xEF\xBB", 1},
      {"EF then another byte", "\xEF" "A", "\xEF" "A", 1},
      {"EF then zero stays 8-bit", std::string("\xEF\0" "A", 3), std::string("\xEF" "A"), 1},
      {"UTF-8 text", "\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9", 1},
      {"first UTF-16LE unit above 7F is encoded", std::string("\xE9\0a\0", 4), "\xC3\xA9" "a", 1},
      {"first UTF-16BE unit above 7F is encoded", std::string("\0\xE9\0a", 4), "\xC3\xA9" "a", 1},
      {"UTF-16 three-byte character", std::string("\xFF\xFE\xAC\x20", 4), "\xE2\x82\xAC", 1},
      {"UTF-16BE three-byte character", std::string("\xFE\xFF\x20\xAC", 4), "\xE2\x82\xAC", 1},
      {"surrogate pair ends the input", std::string("\xFF\xFE" "a\0\x3D\xD8\x00\xDE" "b\0", 10), "a", 1},
      {"lone low surrogate ends the input", std::string("\xFE\xFF\0a\xDC\0\0b", 8), "a", 1},
      {"odd trailing byte dropped", std::string("\xFF\xFE" "a\0b", 5), "a", 1},
      {"two zero bytes", std::string("\0\0", 2), "", 1},
      {"zero unit then text", std::string("\0\0\0a", 4), "a", 1},
      {"zero unit inside UTF-16 is delivered", std::string("\xFF\xFE" "a\0\0\0b\0", 8), std::string("a\0b", 3), 1},
      {"blank lines before 8-bit text are counted", "\n\nx", "\n\nx", 3},
      {"line break handed back by detection", "a\rb", "a\rb", 2},
      {"CR LF in detected bytes", "\r\nx\r\n", "\r\nx\r\n", 3},
      {"lone LF taken as UTF-16LE", "\n", "\n", 2},
      {"UTF-16LE line breaks", std::string("\xFF\xFE\r\0\n\0x\0\n\0", 10), "\r\nx\n", 3},
      {"UTF-16BE without mark line breaks", std::string("\0\n\0\r\0\n", 6), "\n\r\n", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for_each_chunking(c.input, [&](std::istream& in) {
      Reader r(in);
      EXPECT_EQ(drain(r), c.delivered);
      EXPECT_EQ(r.line(), c.lines);
    });
  }
}

TEST(ParserBaseTest, StreamState) {
  std::istringstream bad("abc");
  bad.setstate(std::ios_base::failbit);
  try {
    Reader r(bad);
    FAIL() << "no exception for a failed stream";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "invalid stream");
  }

  // The JSON reader gives up on an input that detection already ran out of.
  std::istringstream one("{");
  Reader short_input(one);
  EXPECT_FALSE(one.good());
  EXPECT_EQ(drain(short_input), "{");

  std::istringstream two("{}");
  Reader complete(two);
  EXPECT_TRUE(two.good());
  EXPECT_EQ(drain(complete), "{}");
  EXPECT_FALSE(two.good());
}

TEST(ParserBaseTest, LineCounting) {
  static const struct {
    const char* name;
    std::string input;
    std::vector<std::uint64_t> lines;  // line() after each byte
  } cases[] = {
      {"CR LF is one break", "ab\r\ncd", {1, 1, 2, 2, 2, 2}},
      {"lone CR", "ab\rc\rd", {1, 1, 2, 2, 3, 3}},
      {"lone LF", "ab\nc\nd", {1, 1, 2, 2, 3, 3}},
      {"LF CR is two breaks", "ab\n\rc", {1, 1, 2, 3, 3}},
      {"CR CR", "ab\r\rc", {1, 1, 2, 3, 3}},
      {"CR LF LF", "ab\r\n\nc", {1, 1, 2, 2, 3, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for_each_chunking(c.input, [&](std::istream& in) {
      Reader r(in);
      std::vector<std::uint64_t> seen;
      char ch;
      while (r.get_char(ch)) seen.push_back(r.line());
      EXPECT_EQ(seen, c.lines);
    });
  }
}

TEST(ParserBaseTest, PushedBackLineBreakCountsOnce) {
  for_each_chunking("ab\r\ncd\ne", [](std::istream& in) {
    Reader r(in);
    EXPECT_EQ(r.read_line(), "ab");  // the CR is counted when read, then pushed back
    EXPECT_EQ(r.line(), 2u);
    char c;
    ASSERT_TRUE(r.get_char(c));
    EXPECT_EQ(c, '\r');
    EXPECT_EQ(r.line(), 2u);
    ASSERT_TRUE(r.get_char(c));
    EXPECT_EQ(c, '\n');
    r.unget_char(c);
    r.unget_char('\r');
    EXPECT_EQ(drain(r), "\r\ncd\ne");
    EXPECT_EQ(r.line(), 3u);
  });
}

TEST(ParserBaseTest, PushBackIsLastInFirstOutAndIgnoresZero) {
  std::istringstream in("xyz");
  Reader r(in);
  char c;
  ASSERT_TRUE(r.get_char(c));
  r.unget_char('1');
  r.unget_char('\0');
  r.unget_char('2');
  EXPECT_EQ(drain(r), "21yz");
}

TEST(ParserBaseTest, GetNonSpace) {
  for_each_chunking(" \t\r\n\v\fa \xA0 b", [](std::istream& in) {
    Reader r(in);
    char c;
    ASSERT_TRUE(r.get_non_space(c));
    EXPECT_EQ(c, 'a');
    ASSERT_TRUE(r.get_non_space(c));
    EXPECT_EQ(c, '\xA0') << "a byte above 7F is never white space";
    ASSERT_TRUE(r.get_non_space(c));
    EXPECT_EQ(c, 'b');
    c = '?';
    EXPECT_FALSE(r.get_non_space(c));
  });
}

TEST(ParserBaseTest, ReadLineAndSkipLine) {
  enum Op { eOp_ReadLine, eOp_SkipLine };
  static const struct {
    const char* name;
    Op op;
    std::string input;
    std::string line;  // result of read_line
    std::string rest;
  } cases[] = {
      {"read up to CR", eOp_ReadLine, "abc\r\ndef", "abc", "\r\ndef"},
      {"read up to LF", eOp_ReadLine, "abc\ndef", "abc", "\ndef"},
      {"read to the end", eOp_ReadLine, "abc", "abc", ""},
      {"read an empty line", eOp_ReadLine, "\nx", "", "\nx"},
      {"read at the end", eOp_ReadLine, "", "", ""},
      {"skip CR LF and indentation", eOp_SkipLine, "abc\r\n  def", "", "def"},
      {"skip blank lines too", eOp_SkipLine, "abc\n\n\t\nx y", "", "x y"},
      {"skip the last line", eOp_SkipLine, "abc", "", ""},
      {"skip trailing white space", eOp_SkipLine, "abc\n  \n", "", ""},
      {"skip at the end", eOp_SkipLine, "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for_each_chunking(c.input, [&](std::istream& in) {
      Reader r(in);
      if (c.op == eOp_ReadLine) {
        EXPECT_EQ(r.read_line(), c.line);
      } else {
        r.skip_line();
      }
      EXPECT_EQ(drain(r), c.rest);
    });
  }
}

TEST(ParserBaseTest, ReadQuoted) {
  static const struct {
    const char* name;
    std::string input;
    bool result;
    std::string text;
    std::string rest;
  } cases[] = {
      {"simple", "\"abc\"", true, "abc", ""},
      {"empty", "\"\"", true, "", ""},
      {"leading white space", " \t\n\"a\"x", true, "a", "x"},
      {"escape and joined literal", "\"ab\\\"c\" \"d\"", true, "ab\"cd", ""},
      {"escapes", "\"\\n\\r\\t\\b\\f\\/\\'\\\\\\q\\u0041\"", true, "\n\n\t\b\f/'\\qu0041", ""},
      {"raw bytes kept", "\"a\r\n\xC3\xA9\"", true, "a\r\n\xC3\xA9", ""},
      {"join across lines", "\"a\"\r\n  \"b\" \"c\"", true, "abc", ""},
      {"byte after the string pushed back", "\"a\"  : 1", true, "a", ": 1"},
      {"not a string", "x\"a\"", false, "", "x\"a\""},
      {"not a string after spaces", "  'a'", false, "", "'a'"},
      {"nothing", "", false, "", ""},
      {"only white space", "  \n", false, "", ""},
      {"unterminated", "\"abc", true, "abc", ""},
      {"unterminated after a backslash", "\"ab\\", true, "ab", ""},
      {"unterminated joined literal", "\"a\" \"b", true, "ab", ""},
      {"lone quote", "\"", true, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for_each_chunking(c.input, [&](std::istream& in) {
      Reader r(in);
      ustring text("stale");
      EXPECT_EQ(r.read_quoted(text), c.result);
      EXPECT_EQ(text, c.text);
      EXPECT_EQ(drain(r), c.rest);
    });
  }
}

TEST(ParserBaseTest, ReadNumber) {
  static const struct {
    std::string input;
    bool result;
    std::string text;
    bool is_float;
    std::string rest;
  } cases[] = {
      {"12", true, "12", false, ""},
      {"-3.50,", true, "-3.50", true, ","},
      {"1e-7", true, "1e-7", true, ""},
      {"1.", true, "1.", true, ""},
      {"+42 ", true, "+42", false, " "},
      {"  \n7}", true, "7", false, "}"},
      {"0012a", true, "0012", false, "a"},
      {"1.2.3", true, "1.2", true, ".3"},
      {"2E+10x", true, "2E+10", true, "x"},
      {"3e", true, "3e", true, ""},
      {"3e-", true, "3e-", true, ""},
      {"4ex", true, "4e", true, "x"},
      {"5.e3", true, "5.e3", true, ""},
      {"6-1", true, "6", false, "-1"},
      {".5", false, "", false, ".5"},
      {"+x", false, "", false, "+x"},
      {"- 1", false, "", false, "- 1"},
      {"--1", false, "", false, "--1"},
      {"-", false, "", false, "-"},
      {"  +", false, "", false, "+"},
      {"", false, "", false, ""},
      {"x", false, "", false, "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("input '" + c.input + "'");
    for_each_chunking(c.input, [&](std::istream& in) {
      Reader r(in);
      ustring text("stale");
      bool is_float = true;
      EXPECT_EQ(r.read_number(text, is_float), c.result);
      EXPECT_EQ(text, c.text);
      EXPECT_EQ(is_float, c.is_float);
      EXPECT_EQ(drain(r), c.rest);
    });
  }
}

TEST(ParserBaseTest, ErrorNamesInputAndLine) {
  static const struct {
    const char* name;
    const char* expected;
  } cases[] = {
      {"json", "unexpected element in json at line 3"},
      {"", "unexpected element in stream at line 3"},
  };
  for (const auto& c : cases) {
    std::istringstream in("{\n\"a\":\n?");
    Reader r(in, c.name);
    r.skip_line();
    r.skip_line();
    try {
      r.raise_error();
      FAIL() << "raise_error returned";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), c.expected);
    }
  }
}

TEST(LineParserTest, Lines) {
  static const struct {
    const char* name;
    std::string input;
    std::vector<std::string> lines;
  } cases[] = {
      {"CR LF keeps the CR", "first\r\nsecond", {"first\r", "second"}},
      {"LF", "a\nb\n", {"a\n", "b\n"}},
      {"CR", "one\rtwo", {"one\r", "two"}},
      {"short first line", "a\r\nb", {"a\r", "b"}},
      {"blank lines and indentation skipped", "\n\n  x y \n\t\r\nz", {"x y \n", "z"}},
      {"UTF-16 input", std::string("\xFF\xFE" "a\0\r\0\n\0b\0", 10), {"a\r", "b"}},
      {"only white space", " \r\n ", {}},
      {"empty", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for_each_chunking(c.input, [&](std::istream& in) {
      ULineParser p(in);
      std::vector<std::string> lines;
      ULineParser::Token t;
      while (p.get_token(t)) {
        EXPECT_TRUE(t.valid);
        EXPECT_EQ(t.kind, eLineToken_Line);
        lines.push_back(t.text.str());
      }
      EXPECT_FALSE(t.valid);
      EXPECT_EQ(lines, c.lines);
    });
  }
}

enum TinyKind : std::int32_t { eTinyKind_Number = 1, eTinyKind_Word = 2 };

// Numbers and white-space separated words. Leaves Token::valid to the token
// layer.
class TinyParser : public UAbstractParser<TinyKind> {
 public:
  explicit TinyParser(std::istream& in) : UAbstractParser<TinyKind>(in, "tiny") {}

 protected:
  bool next_token(Token& t) override {
    bool is_float;
    if (read_number(t.text, is_float)) {
      t.kind = eTinyKind_Number;
      return true;
    }
    char c;
    if (!get_non_space(c)) return false;
    do {
      t.text.push_back(c);
    } while (get_char(c) && c != ' ' && c != '\n');
    t.kind = eTinyKind_Word;
    return true;
  }
};

class TokenLayerTest : public ::testing::Test {
 protected:
  std::istringstream in_{"12 ab\n34"};
  TinyParser parser_{in_};
  TinyParser::Token token_;
};

TEST_F(TokenLayerTest, ExpectTakesMatchingToken) {
  parser_.expect(token_, eTinyKind_Number);
  EXPECT_EQ(token_.text, "12");
  parser_.expect(token_, eTinyKind_Word);
  EXPECT_EQ(token_.text, "ab");
}

TEST_F(TokenLayerTest, ExpectLeavesMismatchInLookAhead) {
  try {
    parser_.expect(token_, eTinyKind_Word);
    FAIL() << "expect accepted a number as a word";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "unexpected element in tiny at line 1");
  }
  TinyParser::Token again;
  ASSERT_TRUE(parser_.get_token(again));
  EXPECT_TRUE(again.valid);
  EXPECT_EQ(again.kind, eTinyKind_Number);
  EXPECT_EQ(again.text, "12");
}

TEST_F(TokenLayerTest, ExpectAtEndRaisesAndPushesNothing) {
  while (parser_.get_token(token_)) {
  }
  EXPECT_THROW(parser_.expect(token_, eTinyKind_Number), std::runtime_error);
  EXPECT_FALSE(parser_.get_token(token_));
  EXPECT_FALSE(token_.valid);
  EXPECT_TRUE(token_.text.empty());
}

TEST_F(TokenLayerTest, UngetIsLastInFirstOutAndIgnoresInvalid) {
  TinyParser::Token first, second;
  ASSERT_TRUE(parser_.get_token(first));
  ASSERT_TRUE(parser_.get_token(second));
  parser_.unget_token(first);
  parser_.unget_token(TinyParser::Token{false, eTinyKind_Word, "bogus"});
  parser_.unget_token(second);

  std::vector<std::string> texts;
  while (parser_.get_token(token_)) texts.push_back(token_.text.str());
  EXPECT_EQ(texts, (std::vector<std::string>{"ab", "12", "34"}));
}

TEST_F(TokenLayerTest, GetTokenResetsStaleToken) {
  token_ = TinyParser::Token{true, eTinyKind_Word, "stale"};
  ASSERT_TRUE(parser_.get_token(token_));
  EXPECT_EQ(token_.text, "12");
}

// read_plain moves runs of bytes in bulk and must agree with get_char on
// every byte, every line number and every fallback case.
TEST(ParserBaseTest, ReadPlainAgreesWithGetChar) {
  bool stops[256] = {};
  stops[static_cast<unsigned char>('"')] = true;
  const std::string input = "ab\"cd\r\nef\rg\nhi\"\r\"jk";
  for_each_chunking(input, [&](std::istream& in) {
    Reader p(in);
    std::string text;
    char run[4];
    char c;
    for (;;) {
      const std::size_t n = p.read_plain(run, sizeof run, stops);
      ASSERT_LE(n, sizeof run);
      text.append(run, n);
      if (n == sizeof run) continue;
      if (!p.get_char(c)) break;  // the stop byte, or the end
      text.push_back(c);
    }
    EXPECT_EQ(text, input);
    EXPECT_EQ(p.line(), 5u);
  });
}

TEST(ParserBaseTest, ReadPlainFallsBackToGetChar) {
  bool stops[256] = {};
  char run[8];
  {
    std::istringstream in("xyz");
    Reader p(in);
    // The first two bytes were read by encoding detection and wait in the
    // push-back: get_char must deliver them.
    EXPECT_EQ(p.read_plain(run, sizeof run, stops), 0u);
    char c;
    ASSERT_TRUE(p.get_char(c));
    ASSERT_TRUE(p.get_char(c));
    EXPECT_EQ(p.read_plain(run, sizeof run, stops), 1u);
    EXPECT_EQ(run[0], 'z');
    p.unget_char('q');
    EXPECT_EQ(p.read_plain(run, sizeof run, stops), 0u);
    ASSERT_TRUE(p.get_char(c));
    EXPECT_EQ(c, 'q');
    EXPECT_EQ(p.read_plain(run, sizeof run, stops), 0u);  // at the end
    EXPECT_FALSE(p.get_char(c));
  }
  {
    std::istringstream in(std::string("\xFF\xFE" "a\0b\0", 6));  // UTF-16LE
    Reader p(in);
    EXPECT_EQ(p.read_plain(run, sizeof run, stops), 0u);
    EXPECT_EQ(drain(p), "ab");
  }
}

// The reader takes bytes straight from the buffer's get area; the stream's
// own position catches up when the reader goes, so whoever reads the stream
// next starts right after the last byte the reader took.
TEST(ParserBaseTest, StreamContinuesAfterTheLastByteRead) {
  const std::string input = "abcdefghij\r\nklmnopqrstuvwxyz";
  for (std::size_t taken : {std::size_t{2}, std::size_t{3}, std::size_t{11}, std::size_t{20}}) {
    for_each_chunking(input, [&](std::istream& in) {
      {
        Reader r(in);
        char c;
        for (std::size_t i = 0; i < taken; ++i) ASSERT_TRUE(r.get_char(c));
      }
      std::string rest;
      char c;
      while (in.get(c)) rest.push_back(c);
      EXPECT_EQ(rest, input.substr(taken)) << "after " << taken << " bytes";
    });
  }
}

TEST(ParserBaseTest, ReadsAStreamWithoutAGetArea) {
  const std::string input = "ab\"cd\r\nef";
  UnbufferedBuf buf(input);
  std::istream in(&buf);
  Reader r(in);
  bool stops[256] = {};
  stops[static_cast<unsigned char>('"')] = true;
  char run[8];
  std::string text;
  char c;
  ASSERT_TRUE(r.get_char(c));  // the two bytes of encoding detection
  text.push_back(c);
  ASSERT_TRUE(r.get_char(c));
  text.push_back(c);
  EXPECT_EQ(r.read_plain(run, sizeof run, stops), 0u) << "no bytes to take in place";
  text += drain(r);
  EXPECT_EQ(text, input);
  EXPECT_EQ(r.line(), 2u);
}

}  // namespace
