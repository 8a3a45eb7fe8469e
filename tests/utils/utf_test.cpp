#include "utils/utf.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vxu::utf16_to_utf8;
using vxu::utf32_to_utf8;
using vxu::utf8_to_utf16;

TEST(UtfTest, Utf8ToUtf16) {
  static const struct {
    const char* name;
    std::string input;
    std::u16string expected;
  } cases[] = {
      {"ascii", "abc", u"abc"},
      {"nul in the leading ascii run ends the text", std::string("abc\0def", 7), u"abc"},
      {"two-byte", "\xC3\xA9", u"\u00E9"},
      {"nul after a non-ascii byte is decoded", std::string("\xC3\xA9\0x", 4), std::u16string(u"\u00E9\0x", 3)},
      {"three-byte", "\xE2\x82\xAC", u"\u20AC"},
      {"four-byte becomes a pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"truncated lead at the end", "ab\xC3", u"ab"},
      {"overlong two-byte", "a\xC0\xAF", u"a"},
      {"overlong three-byte", "a\xE0\x80\xAF", u"a"},
      {"encoded surrogate", "a\xED\xA0\x80z", u"a"},
      {"above U+10FFFF", "a\xF4\x90\x80\x80", u"a"},
      {"bad continuation keeps earlier units", "\xC3\xA9\xC3(", u"\u00E9"},
      {"lone continuation", "\x80", u""},
  };
  for (const auto& c : cases) {
    std::u16string out = u"junk";
    utf8_to_utf16(c.input, out);
    EXPECT_EQ(out, c.expected) << c.name;
  }
}

TEST(UtfTest, Utf16ToUtf8StopsAtUnpairedSurrogates) {
  static const struct {
    const char* name;
    std::u16string input;
    std::string expected;
  } cases[] = {
      {"bmp", u"a\u00E9\u20AC", "a\xC3\xA9\xE2\x82\xAC"},
      {"pair", u"\U0001F600", "\xF0\x9F\x98\x80"},
      {"high surrogate at the end", std::u16string(u"ab") + char16_t(0xD800), "ab"},
      {"high surrogate before a letter", std::u16string(u"a") + char16_t(0xD800) + u"b", "a"},
      {"lone low surrogate", std::u16string(u"a") + char16_t(0xDC00) + u"b", "a"},
  };
  for (const auto& c : cases) {
    std::string out;
    utf16_to_utf8(c.input.data(), c.input.size(), out);
    EXPECT_EQ(out, c.expected) << c.name;
  }
}

TEST(UtfTest, Utf32ToUtf8StopsAtSurrogateOrOutOfRange) {
  const char32_t good[] = {U'a', 0xE9, 0x1F600};
  std::string out;
  utf32_to_utf8(good, 3, out);
  EXPECT_EQ(out, "a\xC3\xA9\xF0\x9F\x98\x80");
  for (char32_t bad : {char32_t(0xD800), char32_t(0x110000), char32_t(0xFFFFFFFF)}) {
    const char32_t values[] = {U'x', bad, U'y'};
    std::string partial;
    utf32_to_utf8(values, 3, partial);
    EXPECT_EQ(partial, "x");
  }
}

// wchar_t carries UTF-16 code units on every platform; where it is 32 bits
// wide, a value above U+FFFF is taken as a code point and a value above
// U+10FFFF (or a negative one) ends the text.
TEST(UtfTest, WideCharOverloads) {
  std::wstring units;
  utf8_to_utf16("a\xF0\x9F\x98\x80", units);
  EXPECT_EQ(units, (std::wstring{L'a', wchar_t(0xD83D), wchar_t(0xDE00)}));

  const wchar_t pair[] = {L'a', wchar_t(0xD83D), wchar_t(0xDE00)};
  std::string out;
  utf16_to_utf8(pair, 3, out);
  EXPECT_EQ(out, "a\xF0\x9F\x98\x80");
  if constexpr (sizeof(wchar_t) == 4) {
    const wchar_t wide[] = {L'b', wchar_t(0x1F600), wchar_t(0x110000), L'c'};
    std::string wide_out;
    utf16_to_utf8(wide, 4, wide_out);
    EXPECT_EQ(wide_out, "b\xF0\x9F\x98\x80");
  }
}

}  // namespace
