#include "utils/kanji.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>

namespace {

TEST(KanjiTest, ValidNumerals) {
  static const struct {
    std::u16string text;
    int value;
  } cases[] = {
      {u"", 0},
      {u"一", 1},
      {u"九", 9},
      {u"十", 10},
      {u"十一", 11},
      {u"二十", 20},
      {u"二十五", 25},
      {u"百", 100},
      {u"百一", 101},
      {u"三百", 300},
      {u"千", 1000},
      {u"二千三百四十五", 2345},
      {u"万", 10000},
      {u"一万", 10000},
      {u"十万", 100000},
      {u"二十万", 200000},
      {u"二千万", 20000000},
      {u"千万", 10000000},
      {u"九千九百九十九万九千九百九十九", 99999999},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kanji_to_int(c.text), c.value) << c.value;
    EXPECT_EQ(kanji_to_int(std::wstring(c.text.begin(), c.text.end())), c.value) << c.value;
  }
}

void expect_invalid(std::u16string_view text) {
  try {
    kanji_to_int(text);
    ADD_FAILURE() << "accepted a text of " << text.size() << " units";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "invalid kanji number");
  } catch (...) {
    ADD_FAILURE() << "threw something other than std::out_of_range";
  }
}

TEST(KanjiTest, InvalidNumeralsThrowOutOfRange) {
  static const std::u16string cases[] = {
      u"十十", u"一二", u"十十万", u"二十二十", u"万万", u"零", u"〇", u"a", u"一a", u"十千", u"十百",
      u"十一十", u"千千",
  };
  for (const auto& c : cases) expect_invalid(c);
  EXPECT_THROW(kanji_to_int(std::wstring(1, static_cast<wchar_t>(0x14E00))), std::out_of_range);
  EXPECT_THROW(kanji_to_int(std::wstring(100, L'一')), std::out_of_range);
}

std::u16string to_kanji_below_10000(int n) {
  static const char16_t digits[] = u"\0一二三四五六七八九";
  static const char16_t units[] = {u'千', u'百', u'十'};
  std::u16string out;
  int scale = 1000;
  for (char16_t unit : units) {
    const int d = n / scale % 10;
    if (d > 1) out += digits[d];
    if (d > 0) out += unit;
    scale /= 10;
  }
  if (n % 10) out += digits[n % 10];
  return out;
}

TEST(KanjiTest, RoundTripsRandomValues) {
  std::mt19937 rng(10000);
  for (int i = 0; i < 2000; ++i) {
    const int n = static_cast<int>(rng() % 100000000);
    std::u16string text;
    if (n >= 10000) text = (n / 10000 == 1 ? u"一" : to_kanji_below_10000(n / 10000)) + u"万";
    text += to_kanji_below_10000(n % 10000);
    EXPECT_EQ(kanji_to_int(text), n);
  }
}

// Long and random hostile text: only std::out_of_range ever escapes, and the
// recursion does not grow with the length.
TEST(KanjiTest, HostileInputOnlyThrowsOutOfRange) {
  expect_invalid(std::u16string(200000, u'万'));
  std::u16string pattern;
  for (int i = 0; i < 50000; ++i) pattern += u"九万千百十";
  expect_invalid(pattern);
  std::u16string nested;
  for (int i = 0; i < 50000; ++i) nested += u"十百千万";
  expect_invalid(nested);

  const char16_t pool[] = u"一二三四五六七八九十百千万x";
  std::mt19937 rng(13);
  for (int round = 0; round < 20000; ++round) {
    std::u16string text;
    const int n = static_cast<int>(rng() % 20);
    for (int i = 0; i < n; ++i) text += pool[rng() % 14];
    try {
      const int v = kanji_to_int(text);
      EXPECT_GE(v, 0);
      EXPECT_LT(v, 100000000);
    } catch (const std::out_of_range&) {
    } catch (...) {
      ADD_FAILURE() << "unexpected exception";
    }
  }
}

TEST(KanjiTest, ConvertKanjiNumbers) {
  static const struct {
    const char* name;
    ustring input;
    ustring expected;
  } cases[] = {
      {"none", "abc", "abc"},
      {"empty", "", ""},
      {"inside text", "第二十五回", "第25回"},
      {"run at the end", "価格二千三百円と十", "価格2300円と10"},
      {"whole text", "九千九百九十九万九千九百九十九", "99999999"},
      {"invalid run kept", "a十十b", "a十十b"},
      {"invalid then valid", "十十x三", "十十x3"},
      {"two runs", "一 二", "1 2"},
      {"ill-formed bytes end a run and are kept", "\xFF二\xFE三\xE4", "\xFF" "2\xFE" "3\xE4"},
  };
  for (const auto& c : cases) EXPECT_EQ(convert_kanji_numbers(c.input), c.expected) << c.name;
}

}  // namespace
