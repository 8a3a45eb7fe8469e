#include "utils/text_utils.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

const char16_t kSpaces[] = {0x0D,   0x0A,   0x09,   0x20,   0x2000, 0x2001, 0x2002, 0x2003,
                            0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x200B,
                            0x200C, 0x200D, 0x200E, 0x200F, 0x202F, 0x205F, 0x3000};

TEST(TextUtilsTest, IsSpaceHoldsExactlyTheTwentyThreeCharacters) {
  int count = 0;
  for (char32_t c = 0; c <= 0xFFFF; ++c) count += is_space(static_cast<char16_t>(c));
  EXPECT_EQ(count, 23);
  for (char16_t c : kSpaces) EXPECT_TRUE(is_space(c)) << std::hex << int(c);
  // Neighbours of the set and look-alikes that are not in it.
  for (char16_t c : {0x0B, 0x0C, 0x85, 0xA0, 0x1FFF, 0x2010, 0x202E, 0x2030, 0x205E, 0x2060, 0x2FFF, 0x3001, 0xFEFF}) {
    EXPECT_FALSE(is_space(c)) << std::hex << int(c);
  }
}

TEST(TextUtilsTest, IsComma) {
  int count = 0;
  for (char32_t c = 0; c <= 0xFFFF; ++c) count += is_comma(static_cast<char16_t>(c));
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(is_comma(u','));
  EXPECT_TRUE(is_comma(0x3001));
  EXPECT_FALSE(is_comma(0xFF0C));  // full-width comma
}

TEST(TextUtilsTest, TrimUstring) {
  static const struct {
    const char* name;
    ustring input;
    ustring expected;
  } cases[] = {
      {"empty", "", ""},
      {"ascii spaces", " \t\r\nab c\n ", "ab c"},
      {"only spaces and U+3000", "  \u3000 \u3000", ""},
      {"ideographic spaces", "\u3000x\u3000", "x"},
      {"range ends", "\u2000\u200Fx\u202F\u205F", "x"},
      {"inner whitespace stays", "a\u3000b", "a\u3000b"},
      {"no-break space is not whitespace", "\u00A0x\u00A0", "\u00A0x\u00A0"},
      {"U+2010 is not whitespace", "\u2010x\u2010", "\u2010x\u2010"},
      {"vertical tab is not whitespace", "\vx\v", "\vx\v"},
      {"multi-byte text next to spaces", " \u65E5\u672C ", "\u65E5\u672C"},
      {"ill-formed bytes are kept", " a\xFF b ", "a\xFF b"},
      {"a lone lead byte before a space", "x\xE3 ", "x\xE3"},
      {"truncated U+3000 at the end stays", "x\xE3\x80", "x\xE3\x80"},
      {"embedded NUL is kept", ustring(" a\0b ", 5), ustring("a\0b", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(trim(c.input), c.expected) << c.name;
  EXPECT_EQ(trim("  literal "), "literal");
}

// For well-formed text, the byte-level trim agrees with a walk over UTF-16.
TEST(TextUtilsTest, TrimAgreesWithTheUtf16Form) {
  const char16_t pool[] = {u'a', u' ', 0x3000, 0x2000, 0x200F, 0x2010, 0x202F, 0x205F, 0x2060,
                           0x3001, 0x00E9, 0x1FFF, u'\t', 0xFF01, u'\n'};
  std::mt19937 rng(23);
  for (int round = 0; round < 2000; ++round) {
    std::u16string units;
    const int n = static_cast<int>(rng() % 8);
    for (int i = 0; i < n; ++i) units += pool[rng() % (sizeof pool / sizeof pool[0])];
    if (rng() % 4 == 0) units += u"\U0001F600";
    std::size_t first = 0, last = units.size();
    while (first < last && is_space(units[first])) ++first;
    while (last > first && is_space(units[last - 1])) --last;
    const ustring text(units);
    EXPECT_EQ(trim(text), ustring(units.substr(first, last - first)));
    EXPECT_EQ(is_blank(text), first == last);
  }
}

TEST(TextUtilsTest, TrimStdString) {
  static const struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"", ""},
      {" \t\r\n", ""},
      {"\t a b \n", "a b"},
      {"\va\v", "\va\v"},
      {"\xE3\x80\x80x", "\xE3\x80\x80x"},  // U+3000 is not trimmed from bytes
  };
  for (const auto& c : cases) EXPECT_EQ(trim(c.input), c.expected);
}

TEST(TextUtilsTest, IsBlank) {
  EXPECT_TRUE(is_blank(""));
  EXPECT_TRUE(is_blank(" \t\u3000\u205F"));
  EXPECT_FALSE(is_blank(" a "));
  EXPECT_FALSE(is_blank(" \xFF "));  // not text, so not blank
  EXPECT_FALSE(is_blank(ustring(" \0", 2)));
}

TEST(TextUtilsTest, ToLowerPassesEveryByteThroughTolower) {
  EXPECT_EQ(to_lower("ABC xyz-09@[`{"), "abc xyz-09@[`{");
  EXPECT_EQ(to_lower("\xC3\x80" "B\xFF"), "\xC3\x80" "b\xFF");
  EXPECT_EQ(to_lower(std::string("A\0B", 3)), std::string("a\0b", 3));
}

TEST(TextUtilsTest, Unescape) {
  static const struct {
    const char* name;
    ustring input;
    ustring expected;
  } cases[] = {
      {"plain", "abc", "abc"},
      {"two digits", "a%41b", "aAb"},
      {"lower-case hex", "%e9", "\xE9"},
      {"u escape", "%u0041", "A"},
      {"upper-case U", "%U00e9", "\xE9"},
      {"u escape keeps the low byte", "%u4E01", "\x01"},
      {"u escape at the very end", "x%u0042", "xB"},
      {"two-digit escape at the very end", "x%42", "xB"},
      {"one digit left", "x%4", "x%4"},
      {"percent last", "100%", "100%"},
      {"u escape one short", "%u004", "%u004"},
      {"u escape with a bad digit", "%u00G1", "%u00G1"},
      {"u escape cut to one digit", "%u0", "%u0"},
      {"space after percent", "% 41", "% 41"},
      {"bad second digit", "%4G", "%4G"},
      {"escaped percent", "%%41", "%A"},
      {"escape gives a NUL", "a%00b", ustring("a\0b", 3)},
      {"utf-8 bytes", "%C3%A9", "\xC3\xA9"},
  };
  for (const auto& c : cases) EXPECT_EQ(unescape(c.input), c.expected) << c.name;
}

// Every escape cut at every point: the result is the input up to the cut
// (nothing decodes), and the decoder never looks past the end.
TEST(UnescapeTest, CutShortEscapesAreCopied) {
  for (const std::string whole : {"%u00FF", "%FF"}) {
    for (std::size_t n = 1; n < whole.size(); ++n) {
      const std::string cut = whole.substr(0, n);
      EXPECT_EQ(unescape(ustring(cut)), ustring(cut)) << cut;
    }
  }
}

TEST(TextUtilsTest, FullwidthToAscii) {
  static const struct {
    const char* name;
    ustring input;
    ustring expected;
  } cases[] = {
      {"letters and digits", "\uFF21\uFF22\uFF43\uFF11\uFF12", "ABc12"},
      {"range ends", "\uFF01\uFF5E", "!~"},
      {"just outside the range", "\uFF00\uFF5F\uFF61", "\uFF00\uFF5F\uFF61"},
      {"ideographic space is not folded", "\u3000", "\u3000"},
      {"mixed", "a\uFF0Bb", "a+b"},
      {"ill-formed bytes are kept", "\xFF\uFF21\xEF\xBC", "\xFF" "A\xEF\xBC"},
  };
  for (const auto& c : cases) EXPECT_EQ(fullwidth_to_ascii(c.input), c.expected) << c.name;
  // Every code unit of the block against the rule on UTF-16.
  for (char32_t c = 0xFF00; c <= 0xFFFF; ++c) {
    const std::u16string unit(1, static_cast<char16_t>(c));
    const std::u16string folded(1, c >= 0xFF01 && c <= 0xFF5E ? static_cast<char16_t>(c - 0xFEE0) : c);
    EXPECT_EQ(fullwidth_to_ascii(ustring(unit)), ustring(folded)) << std::hex << int(c);
  }
}

TEST(TextUtilsTest, PrintWritesAllBytesAndALineFeed) {
  testing::internal::CaptureStderr();
  print(ustring("a\0b", 3));
  print("");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string("a\0b\n\n", 5));
}

}  // namespace
