#include "utils/format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The C library's rendering of one directive with its arguments; the
// reference every numeric directive of format is held to.
template <class... Args>
std::string c_printf(const char* fmt, Args... args) {
  const int n = std::snprintf(nullptr, 0, fmt, args...);
  if (n < 0) return "<snprintf failed>";
  std::string out(static_cast<std::size_t>(n), '\0');
  std::snprintf(out.data(), out.size() + 1, fmt, args...);
  return out;
}

// Formats with format and with snprintf and compares.
#define EXPECT_PRINTF(fmt, ...) EXPECT_EQ(format(fmt, __VA_ARGS__).str(), c_printf(fmt, __VA_ARGS__)) << "format: " << (fmt)

// Every flag combination worth telling apart, widths on both sides of the
// rendered length, precisions that pad, cut and vanish.
const char* const kFlags[] = {"", "-", "+", " ", "#", "0", "-0", "+0", " 0", "#0", "-#", "+ ", "-+#0"};
const char* const kWidths[] = {"", "1", "6", "24"};
const char* const kPrecisions[] = {"", ".", ".0", ".1", ".5", ".17"};

std::vector<std::string> directives(const char* length, const char* conversions) {
  std::vector<std::string> out;
  for (const char* flags : kFlags) {
    for (const char* width : kWidths) {
      for (const char* precision : kPrecisions) {
        for (const char* c = conversions; *c; ++c) {
          out.push_back(std::string("[%") + flags + width + precision + length + *c + "]");
        }
      }
    }
  }
  return out;
}

TEST(FormatTest, IntegersMatchTheCLibrary) {
  static const int ints[] = {0, 1, -1, 7, 42, -42, 255, 65535, 70000, -70000, INT_MAX, INT_MIN};
  for (const std::string& f : directives("", "diouxX")) {
    for (int v : ints) EXPECT_PRINTF(f.c_str(), v);
  }
  static const long longs[] = {0, -1, LONG_MAX, LONG_MIN, 1L << 40};
  for (const std::string& f : directives("l", "diouxX")) {
    for (long v : longs) EXPECT_PRINTF(f.c_str(), v);
  }
  static const long long long_longs[] = {0, 1, -1, LLONG_MAX, LLONG_MIN, 1234567890123LL};
  for (const std::string& f : directives("ll", "diouxX")) {
    for (long long v : long_longs) EXPECT_PRINTF(f.c_str(), v);
  }
  static const unsigned long long unsigned_long_longs[] = {0, 1, ULLONG_MAX, 1ULL << 63};
  for (const std::string& f : directives("ll", "ouxX")) {
    for (unsigned long long v : unsigned_long_longs) EXPECT_PRINTF(f.c_str(), v);
  }
  static const unsigned unsigneds[] = {0u, 1u, 0x7FFFFFFFu, 0x80000000u, UINT_MAX};
  for (const std::string& f : directives("", "ouxX")) {
    for (unsigned v : unsigneds) EXPECT_PRINTF(f.c_str(), v);
  }
}

TEST(FormatTest, ShortLengthsCutLikeTheCLibrary) {
  static const int values[] = {0, 1, -1, 127, 128, 255, 256, 300, 32767, 32768, 65535, 70000, -70000, INT_MIN};
  for (const char* length : {"h", "hh"}) {
    for (const std::string& f : directives(length, "diouxX")) {
      for (int v : values) EXPECT_PRINTF(f.c_str(), v);
    }
  }
}

TEST(FormatTest, DoublesMatchTheCLibrary) {
  static const double values[] = {0.0,     -0.0,   0.5,    1.5,         2.5,     -2.25,  0.1,
                                  1e-10,   1e-300, 3.14159265358979, 123456789.0, 1e21,    1e300,
                                  DBL_MAX, DBL_MIN, 5e-324, HUGE_VAL,   -HUGE_VAL, std::nan("")};
  for (const std::string& f : directives("", "eEfgG")) {
    for (double v : values) EXPECT_PRINTF(f.c_str(), v);
  }
}

TEST(FormatTest, CharactersAndPointersMatchTheCLibrary) {
  static const char* const char_formats[] = {"%c", "[%5c]", "[%-5c]", "[%05c]", "%c%c"};
  for (const char* f : char_formats) EXPECT_EQ(format(f, 'a', 'b').str(), c_printf(f, 'a', 'b')) << f;
  int object = 0;
  static const char* const pointer_formats[] = {"%p", "[%20p]", "[%-20p]", "[%020p]", "[%+p]", "[%.20p]"};
  for (const char* f : pointer_formats) {
    EXPECT_PRINTF(f, static_cast<void*>(&object));
    EXPECT_PRINTF(f, static_cast<void*>(nullptr));
  }
}

TEST(FormatTest, StarWidthAndPrecisionMatchTheCLibrary) {
  static const int widths[] = {0, 1, 9, -9, INT_MIN + 1};
  static const int precisions[] = {0, 2, 12, -1, -7};
  for (int w : widths) {
    if (w == INT_MIN + 1) continue;  // the C library's output would not fit a ustring
    EXPECT_PRINTF("[%*d]", w, 42);
    EXPECT_PRINTF("[%-*d]", w, 42);
    EXPECT_PRINTF("[%0*x]", w, 0xABC);
    EXPECT_PRINTF("[%*s]", w, "ab");
    for (int p : precisions) {
      EXPECT_PRINTF("[%*.*f]", w, p, 3.14159);
      EXPECT_PRINTF("[%*.*d]", w, p, -7);
      EXPECT_PRINTF("[%0*.*d]", w, p, -7);
      EXPECT_PRINTF("[%*.*s]", w, p, "abcdef");
    }
  }
  for (int p : precisions) EXPECT_PRINTF("[%.*e]", p, 1234.5678);
}

TEST(FormatTest, PositionalFormsMatchTheCLibrary) {
  EXPECT_PRINTF("%2$d %1$d", 1, 2);
  EXPECT_PRINTF("%3$s-%1$05d-%2$.2f", 7, 2.345, "x");
  EXPECT_PRINTF("[%1$*2$d]", 42, 8);
  EXPECT_PRINTF("[%1$-*2$.*3$f]", 2.5, 10, 3);
  EXPECT_PRINTF("%1$d %1$x %1$o", 255);
  EXPECT_PRINTF("%2$lld %1$hd", 70000, 1LL << 50);
}

// The formats the system itself uses, and the documented examples.
TEST(FormatTest, DocumentedCases) {
  const struct {
    ustring result;
    const char* expected;
  } cases[] = {
      {format("%s", static_cast<const char*>(nullptr)), "(null)"},
      {format("[%5s|%-5s]", "ab", "cd"), "[   ab|cd   ]"},
      {format("%2$s %1$s", "a", "b"), "b a"},
      {format("%%"), "%"},
      {format("abc%"), "abc"},
      {format("%.2s", "abcdef"), "ab"},
      {format("[%-6hd]", 70000), "[4464  ]"},
      {format("%.*f", 2, 3.14159), "3.14"},
      {format("%s#%ld", "job", 12L), "job#12"},
      {format("alternateText%d", 3), "alternateText3"},
      {format("[%05s]", "ab"), "[   ab]"},
      {format("[%8s]", static_cast<const char*>(nullptr)), "[  (null)]"},
      {format("[%.3s]", static_cast<const char*>(nullptr)), "[(null)]"},
      {format("100%% sure"), "100% sure"},
      {format(""), ""},
      {format("plain text"), "plain text"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, c.expected);
}

TEST(FormatTest, ArgumentNumbering) {
  const struct {
    const char* name;
    ustring result;
    const char* expected;
  } cases[] = {
      {"explicit positions leave the sequence alone", format("%2$s %s %s", "a", "b", "c"), "b a b"},
      {"star then position takes the width", format("[%*3$d]", 5, 0, 4), "[   5]"},
      {"pending precision takes the position first", format("[%*.*2$f]", 8, 3, 1.5), "[   3.000]"},
      {"value position before a star", format("[%2$*d]", 6, 9), "[     9]"},
      {"width, precision, value in order", format("[%*.*f|%d]", 6, 1, 2.25, 7), "[   2.2|7]"},
      {"one argument used twice", format("%1$s%1$s", "ab"), "abab"},
      {"unused arguments are ignored", format("%d", 1, 2, 3), "1"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, c.expected) << c.name;
}

TEST(FormatTest, LiteralsAndCutOffDirectives) {
  const struct {
    const char* name;
    ustring result;
    const char* expected;
  } cases[] = {
      {"unknown letter", format("a%kb"), "akb"},
      {"unknown letter after flags and width", format("a%-5kb"), "a-b"},
      {"positions are not letters", format("%$d"), "$d"},
      {"percent at the end", format("abc%"), "abc"},
      {"flags at the end", format("abc%-08.3"), "abc"},
      {"length letters at the end", format("x%ll"), "x"},
      {"percent alone", format("%"), ""},
      {"unsupported length z", format("%zu"), "zu"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, c.expected) << c.name;
}

TEST(FormatTest, IntegerWidthComesFromTheArgument) {
  const struct {
    ustring result;
    const char* expected;
  } cases[] = {
      {format("%d", 1LL << 40), "1099511627776"},
      {format("%ld", 1LL << 40), "1099511627776"},
      {format("%qd", -5LL), "-5"},
      {format("%x", -1), "ffffffff"},
      {format("%x", -1LL), "ffffffffffffffff"},
      {format("%llx", -1), "ffffffff"},
      {format("%u", -5), "4294967291"},
      {format("%d", 4294967295u), "-1"},
      {format("%x", static_cast<short>(-1)), "ffffffff"},
      {format("%hx", -1), "ffff"},
      {format("%hhx", -1), "ff"},
      {format("%c", 0x141), "A"},
      {format("%lc", 'z'), "z"},
      {format("%D|%O|%U", -1, 8, 9u), "-1|10|9"},
      {format("%d", std::uint8_t{200}), "200"},
      {format("%d", static_cast<signed char>(-3)), "-3"},
      {format("%d", true), "1"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, c.expected);
}

enum Colour { eColour_Red = 3 };
enum class Size : long long { eSize_Big = 1LL << 33 };

TEST(FormatTest, MismatchedArgumentsHaveDefinedResults) {
  int object = 0;
  const void* address = &object;
  const char* text = "text";
  const struct {
    const char* name;
    ustring result;
    std::string expected;
  } cases[] = {
      {"int to %f converts", format("%.1f", 3), "3.0"},
      {"unsigned to %e converts", format("%.2e", 1500u), "1.50e+03"},
      {"double to %d truncates", format("%d", 3.9), "3"},
      {"negative double to %d truncates", format("%d", -3.9), "-3"},
      {"NaN to %d is 0", format("%d", std::nan("")), "0"},
      {"huge double to %d saturates", format("%d", 1e300), "9223372036854775807"},
      {"double to %c", format("%c", 65.7), "A"},
      {"text to %d is the text", format("[%5d]", std::string("ab")), "[   ab]"},
      {"ustring to %x is the text", format("[%-4x]", ustring("ab")), "[ab  ]"},
      {"text to %f ignores the precision", format("[%.1f]", std::string("abc")), "[abc]"},
      {"int to %s", format("[%4s]", 42), "[  42]"},
      {"negative long long to %s", format("%s", -5LL), "-5"},
      {"unsigned to %s", format("%s", 4294967295u), "4294967295"},
      {"double to %s", format("%s", 1.5), "1.5"},
      {"char to %s", format("%s", 'a'), "a"},
      {"char to %d is its code", format("%d", 'a'), "97"},
      {"precision cuts a number given to %s", format("%.2s", 12345), "12"},
      {"pointer to %s", format("%s", address), c_printf("%p", address)},
      {"char pointer to %p is the address", format("%p", text), c_printf("%p", static_cast<const void*>(text))},
      {"char pointer to %x is the address",
       format("%llx", text), c_printf("%llx", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(text)))},
      {"pointer to %f is the address", format("[%.3f]", address), "[" + c_printf("%p", address) + "]"},
      {"int to %p is an address", format("%p", 0x1000), c_printf("%p", reinterpret_cast<void*>(0x1000))},
      {"double to %p", format("%p", 2.5), "2.5"},
      {"nullptr to %p", format("%p", nullptr), c_printf("%p", static_cast<void*>(nullptr))},
      {"text width argument is ignored", format("[%*d]", "x", 5), "[5]"},
      {"double width argument truncates", format("[%*d]", 3.7, 5), "[  5]"},
      {"plain enum", format("%d", eColour_Red), "3"},
      {"wide enum class", format("%d", Size::eSize_Big), "8589934592"},
      {"long double", format("%.1f", 2.5L), "2.5"},
      {"float", format("%.2f", 0.25f), "0.25"},
      {"string_view", format("%s", std::string_view("view")), "view"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result.str(), c.expected) << c.name;
}

TEST(FormatTest, TextStopsAtNulAndPrecisionNeverReadsFurther) {
  EXPECT_EQ(format("[%s]", ustring("a\0b", 3)), "[a]");
  EXPECT_EQ(format("[%5s]", std::string("ab\0cd", 5)), "[   ab]");
  // A three-byte array without NUL: the precision keeps the read inside it.
  const char unterminated[3] = {'x', 'y', 'z'};
  EXPECT_EQ(format("[%.3s]", static_cast<const char*>(unterminated)), "[xyz]");
  EXPECT_EQ(format("[%.2s]", std::string_view(unterminated, 3)), "[xy]");
}

TEST(FormatTest, NulBytesInTheResultAreKept) {
  const ustring r = format("a%cb", 0);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[1], '\0');
  // A ustring format is taken to its full length.
  EXPECT_EQ(format(ustring("x\0%d", 4), 5), ustring("x\0" "5", 3));
}

TEST(FormatTest, InvalidPositionsGiveAnEmptyResult) {
  const struct {
    const char* name;
    ustring result;
  } cases[] = {
      {"position past the arguments", format("ok %3$d", 1, 2)},
      {"position past the table", format("%4$d", 1, 2, 3, 4)},
      {"position zero", format("%.0$d", 1)},
      {"sequential past the arguments", format("%d %d", 1)},
      {"no arguments at all", format("a%sb")},
      {"missing star width", format("%*d", 5)},
      {"missing star precision", format("%.*f", 2)},
      {"huge position", format("%99999999999999999999$d", 1)},
      {"error after output", format("%d %d %6$d", 1, 2, 3, 4, 5)},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, "") << c.name;
  // Three slots per "%": a fourth argument is reachable with two "%".
  EXPECT_EQ(format("%4$d%%", 1, 2, 3, 4), "4%");
}

TEST(FormatTest, DirectiveLengthLimit) {
  const std::string flags125(125, '0');
  EXPECT_EQ(format(("%" + flags125 + "d").c_str(), 5), "5");  // 127 characters
  EXPECT_EQ(format(("%0" + flags125 + "d").c_str(), 5), "");  // 128
  // Positions do not count toward the length.
  EXPECT_EQ(format(("%1$" + flags125 + "d").c_str(), 5), "5");
  EXPECT_EQ(format(("x%" + std::string(130, '-') + "k").c_str()), "");
}

TEST(FormatTest, LongResultsSpillOutOfTheStackBuffer) {
  const std::string long_text(1000, 'q');
  EXPECT_EQ(format("<%s>", long_text).str(), "<" + long_text + ">");
  EXPECT_EQ(format("%300d|", 1).str(), c_printf("%300d|", 1));
  EXPECT_EQ(format("%.400f", 1.0 / 3).str(), c_printf("%.400f", 1.0 / 3));
  EXPECT_EQ(format("%-300s|", "x").str(), c_printf("%-300s|", "x"));
  // Many directives, more than any on-stack table would hold.
  std::string fmt, expected;
  for (int i = 0; i < 40; ++i) {
    fmt += "%d,";
    expected += std::to_string(i * 1000) + ",";
  }
  EXPECT_EQ(format(fmt.c_str(), 0, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000, 11000, 12000, 13000,
                   14000, 15000, 16000, 17000, 18000, 19000, 20000, 21000, 22000, 23000, 24000, 25000, 26000, 27000,
                   28000, 29000, 30000, 31000, 32000, 33000, 34000, 35000, 36000, 37000, 38000, 39000)
                .str(),
            expected);
}

TEST(FormatTest, ResultsBeyondTheUstringLimitThrow) {
  EXPECT_THROW(format("%*d", 20000000, 1), std::length_error);
  EXPECT_THROW(format("%.*f", 20000000, 1.0), std::length_error);
  EXPECT_THROW(format("%99999999999d", 1), std::length_error);
  EXPECT_THROW(format("%*s", -20000000, "x"), std::length_error);
  const std::string half(ustring::max_length / 2 + 1, 'h');
  try {
    format("%s%s", half, half);
    ADD_FAILURE() << "no exception";
  } catch (const std::length_error& e) {
    EXPECT_STREQ(e.what(), "ustring");
  }
  // Right at the limit is fine.
  EXPECT_EQ(format("%*d", static_cast<int>(ustring::max_length), 1).size(), ustring::max_length);
}

// Random directives over a format held in a buffer of exactly its length (no
// NUL after it), so a parser that reads past the end trips the sanitizer.
TEST(FormatTest, RandomFormatsStayInsideFormatAndArguments) {
  static const char pool[] = "%%%%$*.0123456789-+ #hlqdiouxXDOUceEfgGpskz";
  int object = 0;
  const ustring text("text");
  const vxu::FormatArg args[] = {vxu::make_format_arg(-7), vxu::make_format_arg(2.5), vxu::make_format_arg("abc"),
                                 vxu::make_format_arg(text), vxu::make_format_arg(&object),
                                 vxu::make_format_arg(static_cast<const char*>(nullptr)),
                                 vxu::make_format_arg(1ULL << 63), vxu::make_format_arg('q')};
  std::mt19937 rng(127);
  for (int round = 0; round < 20000; ++round) {
    const std::size_t n = 1 + rng() % 24;
    std::unique_ptr<char[]> fmt(new char[n]);
    for (std::size_t i = 0; i < n; ++i) fmt[i] = pool[rng() % (sizeof pool - 1)];
    const std::size_t count = rng() % (sizeof args / sizeof args[0] + 1);
    try {
      const ustring r = vxu::format_args(std::string_view(fmt.get(), n), args, count);
      EXPECT_LE(r.size(), ustring::max_length);
    } catch (const std::length_error&) {
      // a literal width of many digits
    }
  }
}

TEST(NumberTest, RendersWithoutTrailingZeros) {
  const struct {
    double value;
    int precision;
    const char* text;
    bool nonzero;
  } cases[] = {
      {12.5, 3, "12.5", true},    {3.0, 2, "3", true},        {100.0, 2, "100", true},
      {0.004, 2, "0", false},     {2.50, 2, "2.5", true},     {-0.001, 2, "0", false},
      {1.5, -1, "1.500000", true}, {0.0, 2, "0", false},      {-0.0, 0, "0", false},
      {10.0, 0, "10", true},      {1.5, 0, "2", true},        {-12.340, 3, "-12.34", true},
      {0.005, 2, "0.01", true},   {1e20, 2, "100000000000000000000", true},
      {HUGE_VAL, 2, "inf", true}, {0.125, 10, "0.125", true},
  };
  for (const auto& c : cases) {
    ustring s("previous");
    EXPECT_EQ(s.number(c.value, c.precision), c.nonzero) << c.value << " " << c.precision;
    EXPECT_EQ(s, c.text) << c.value << " " << c.precision;
    EXPECT_EQ(number(c.value, c.precision), c.text);
  }
}

TEST(NumberTest, TooLongARenderingLeavesTheTextAlone) {
  ustring s("keep");
  EXPECT_THROW(s.number(1.0, 20000000), std::length_error);
  EXPECT_EQ(s, "keep");
}

}  // namespace
