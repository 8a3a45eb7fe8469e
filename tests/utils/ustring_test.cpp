#include "utils/ustring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <locale>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "allocation_counter.h"

namespace {

// Allocations made by fn.
long allocations_of(const std::function<void()>& fn) {
  const vxtest::AllocationScope scope;
  fn();
  return static_cast<long>(scope.stats().count);
}

std::string text_of_length(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + i % 26));
  return s;
}

// The lengths around the inline limit and the chunk sizes, where
// representation faults hide.
const std::size_t kLengths[] = {0, 1, 5, 21, 22, 23, 31, 32, 47, 100, 600};

TEST(UstringTest, RepresentationFitsInThreeWords) { EXPECT_EQ(sizeof(ustring), 24u); }

TEST(UstringTest, TextsUpTo22BytesNeverAllocate) {
  for (std::size_t n = 0; n <= ustring::inline_capacity; ++n) {
    const std::string text = text_of_length(n);
    const long count = allocations_of([&] {
      ustring a(text.c_str());
      ustring b(a);
      ustring c(std::move(b));
      ustring d;
      d = c;
      d.append(text.c_str(), 0);
      ustring e;
      e.append(text.c_str());
      ustring f = a.substr(0);
      EXPECT_EQ(e, a);
      EXPECT_EQ(f.capacity(), ustring::inline_capacity);
    });
    EXPECT_EQ(count, 0) << "length " << n;
  }
}

TEST(UstringTest, LongTextsTakeOneBlockPerCopyAndMovesSteal) {
  const std::string text = text_of_length(200);
  ustring a(text.c_str());
  EXPECT_EQ(allocations_of([&] { ustring b(a); }), 1);
  EXPECT_EQ(allocations_of([&] { ustring b = a + a; }), 1);
  const char* block = a.data();
  EXPECT_EQ(allocations_of([&] {
              ustring b(std::move(a));
              EXPECT_EQ(b.data(), block);
              EXPECT_TRUE(a.empty());
              a = std::move(b);
            }),
            0);
  EXPECT_EQ(a.data(), block);
  // A copy of a long text that shrank below the inline limit is inline.
  ustring shrunk(a);
  shrunk.resize(10);
  EXPECT_EQ(allocations_of([&] { ustring c(shrunk); }), 0);
  // Assignment into an existing block of enough capacity reuses it.
  ustring target(text.c_str());
  EXPECT_EQ(allocations_of([&] { target = shrunk; }), 0);
  EXPECT_EQ(target, shrunk);
}

TEST(UstringTest, CapacityRule) {
  static const struct {
    ustring::size_type request;
    ustring::size_type capacity;
  } cases[] = {
      {0, 22},   {22, 22},   {23, 31},   {31, 31},
      {32, 47},  {200, 207}, {208, 223}, {ustring::max_length, ustring::max_length},
  };
  for (const auto& c : cases) {
    ustring built(c.request, 'x');
    EXPECT_EQ(built.capacity(), c.capacity) << c.request;
    ustring reserved;
    reserved.reserve(c.request);
    EXPECT_EQ(reserved.capacity(), c.capacity) << c.request;
    EXPECT_TRUE(reserved.empty());
  }
}

TEST(UstringTest, GrowthDoublesOrTakesWhatIsNeeded) {
  static const struct {
    ustring::size_type start;
    ustring::size_type added;
    ustring::size_type capacity;
  } cases[] = {
      {22, 1, 47},    // 2 x 22 = 44 -> 47
      {31, 1, 63},    // 2 x 31 = 62 -> 63
      {10, 100, 111}, // needed 110 beats 44
      {207, 1, 415},  // 2 x 207 = 414 -> 415
      {200, 7, 207},  // still fits
  };
  for (const auto& c : cases) {
    ustring s(c.start, 'a');
    s.append(c.added, 'b');
    EXPECT_EQ(s.capacity(), c.capacity) << c.start << "+" << c.added;
    ustring t(c.start, 'a');
    t.insert(0, ustring(c.added, 'b'));
    EXPECT_EQ(t.capacity(), c.capacity) << "insert " << c.start << "+" << c.added;
    ustring u(c.start, 'a');
    const std::string piece(c.added, 'b');
    if (c.added == 1) {
      u.push_back('b');
    } else {
      u.append(piece.c_str());
    }
    EXPECT_EQ(u.capacity(), c.capacity) << "append bytes " << c.start << "+" << c.added;
  }
}

// Appending until the limit must reach exactly the maximum length: growth near
// the limit may not stop short of it.
TEST(UstringTest, AppendingReachesTheMaximumLength) {
  ustring s("x");
  while (s.size() < ustring::max_length) {
    s.append(s, 0, ustring::max_length - s.size());
  }
  EXPECT_EQ(s.size(), ustring::max_length);
  EXPECT_EQ(s.capacity(), ustring::max_length);
  EXPECT_EQ(s[ustring::max_length], '\0');
  EXPECT_THROW(s.push_back('y'), std::length_error);
  EXPECT_EQ(s.size(), ustring::max_length);
}

void expect_error_text(const std::function<void()>& fn, bool length_error, const char* name) {
  try {
    fn();
    ADD_FAILURE() << name << ": no exception";
  } catch (const std::length_error& e) {
    EXPECT_TRUE(length_error) << name << ": length_error";
    EXPECT_STREQ(e.what(), "ustring") << name;
  } catch (const std::out_of_range& e) {
    EXPECT_FALSE(length_error) << name << ": out_of_range";
    EXPECT_STREQ(e.what(), "ustring") << name;
  }
}

TEST(UstringTest, ErrorsCarryTheirTextAndLeaveTheStringUnchanged) {
  using F = std::function<void(ustring&)>;
  constexpr auto kMax = ustring::max_length;
  // A source whose extent the compiler cannot see: the operations must throw
  // before they read it.
  static const std::vector<char> any(16, 'x');
  static const char* const kAny = any.data();
  static const struct {
    const char* name;
    bool length_error;
    F op;
  } cases[] = {
      {"substr", false, [](ustring& s) { (void)s.substr(s.size() + 1); }},
      {"insert", false, [](ustring& s) { s.insert(s.size() + 1, "x"); }},
      {"insert fill", false, [](ustring& s) { s.insert(s.size() + 1, 2, 'x'); }},
      {"erase", false, [](ustring& s) { s.erase(s.size() + 1); }},
      {"replace", false, [](ustring& s) { s.replace(s.size() + 1, 1, "x"); }},
      {"copy", false, [](ustring& s) { char b[4]; (void)s.copy(b, 1, s.size() + 1); }},
      {"compare", false, [](ustring& s) { (void)s.compare(s.size() + 1, 1, "x"); }},
      {"at", false, [](ustring& s) { (void)s.at(s.size()); }},
      {"substring construction", false, [](ustring& s) { ustring t(s, s.size() + 1); }},
      {"append from beyond", false, [](ustring& s) { s.append(ustring("ab"), 3, 1); }},
      {"append bytes", true, [](ustring& s) { s.append(kAny, kMax); }},
      {"append fill", true, [](ustring& s) { s.append(kMax, 'x'); }},
      {"insert bytes", true, [](ustring& s) { s.insert(0, kAny, kMax); }},
      {"replace growing", true, [](ustring& s) { s.replace(0, 1, kAny, kMax); }},
      {"assign fill", true, [](ustring& s) { s.assign(kMax + 1, 'x'); }},
      {"assign bytes", true, [](ustring& s) { s.assign(kAny, kMax + 1); }},
      {"resize", true, [](ustring& s) { s.resize(kMax + 1); }},
      {"reserve", true, [](ustring& s) { s.reserve(kMax + 1); }},
      {"fill construction", true, [](ustring&) { ustring t(kMax + 1, 'x'); }},
      {"sum", true, [](ustring& s) { ustring t(kMax - 2, 'x'); (void)(t + s); }},
  };
  for (std::size_t n : {std::size_t{5}, std::size_t{40}}) {
    for (const auto& c : cases) {
      ustring s(text_of_length(n));
      const ustring before = s;
      const auto capacity = s.capacity();
      expect_error_text([&] { c.op(s); }, c.length_error, c.name);
      EXPECT_EQ(s, before) << c.name;
      EXPECT_EQ(s.capacity(), capacity) << c.name;
    }
  }
}

TEST(UstringTest, PositionAtTheEndIsValid) {
  ustring s("abc");
  EXPECT_EQ(s.substr(3), "");
  EXPECT_EQ(s.substr(1), "bc");
  EXPECT_EQ(s.substr(1, 100), "bc");
  EXPECT_EQ(ustring(s).insert(3, "d"), "abcd");
  EXPECT_EQ(ustring(s).erase(3), "abc");
  EXPECT_EQ(s.compare(3, 5, ""), 0);
  char b[4] = {};
  EXPECT_EQ(s.copy(b, 10, 3), 0u);
  EXPECT_EQ(s.copy(b, 2, 1), 2u);
  EXPECT_EQ(std::string(b, 2), "bc");
}

// Every mutating operation, run on a ustring and on a std::string holding the
// same text, must leave the same bytes. The argument of the std::string side
// is taken from a copy, so it shows what aliasing must give.
TEST(UstringTest, MutationsMatchStdStringIncludingAliasing) {
  using U = std::function<void(ustring&)>;
  using S = std::function<void(std::string&)>;
  static const struct {
    const char* name;
    U on_ustring;
    S on_string;
  } cases[] = {
      {"append self", [](ustring& s) { s.append(s); }, [](std::string& s) { s.append(std::string(s)); }},
      {"append own tail", [](ustring& s) { s.append(s.c_str() + s.size() / 2); },
       [](std::string& s) { s.append(std::string(s.c_str() + s.size() / 2)); }},
      {"+= self", [](ustring& s) { s += s; }, [](std::string& s) { s += std::string(s); }},
      {"insert own tail at 0", [](ustring& s) { s.insert(0, s.c_str() + (s.empty() ? 0 : 1)); },
       [](std::string& s) { s.insert(0, std::string(s.c_str() + (s.empty() ? 0 : 1))); }},
      {"insert self in the middle", [](ustring& s) { s.insert(s.size() / 2, s); },
       [](std::string& s) { s.insert(s.size() / 2, std::string(s)); }},
      {"replace head by self", [](ustring& s) { s.replace(0, 1, s); },
       [](std::string& s) { s.replace(0, 1, std::string(s)); }},
      {"replace middle by own piece",
       [](ustring& s) { s.replace(s.size() / 3, 2, s.c_str() + s.size() / 2, s.size() / 2); },
       [](std::string& s) { s.replace(s.size() / 3, 2, std::string(s.c_str() + s.size() / 2, s.size() / 2)); }},
      {"assign own tail", [](ustring& s) { s.assign(s.c_str() + s.size() / 2); },
       [](std::string& s) { s.assign(std::string(s.c_str() + s.size() / 2)); }},
      {"assign self", [](ustring& s) { s = *&s; }, [](std::string&) {}},
      {"erase middle", [](ustring& s) { s.erase(s.size() / 3, 4); },
       [](std::string& s) { s.erase(s.size() / 3, 4); }},
      {"erase range", [](ustring& s) { s.erase(s.begin(), s.begin() + s.size() / 2); },
       [](std::string& s) { s.erase(s.begin(), s.begin() + static_cast<long>(s.size() / 2)); }},
      {"insert char by iterator", [](ustring& s) { s.insert(s.end(), '!'); },
       [](std::string& s) { s.insert(s.end(), '!'); }},
      {"insert fill", [](ustring& s) { s.insert(s.size() / 2, 30, '-'); },
       [](std::string& s) { s.insert(s.size() / 2, 30, '-'); }},
      {"replace by fill", [](ustring& s) { s.replace(0, 3, 25, '#'); },
       [](std::string& s) { s.replace(0, 3, 25, '#'); }},
      {"replace shrinking", [](ustring& s) { s.replace(s.empty() ? 0 : 1, 50, "xy"); },
       [](std::string& s) { s.replace(s.empty() ? 0 : 1, 50, "xy"); }},
      {"resize up and down", [](ustring& s) { s.resize(s.size() + 30, 'z'); s.resize(s.size() - 5); },
       [](std::string& s) { s.resize(s.size() + 30, 'z'); s.resize(s.size() - 5); }},
      {"push and pop", [](ustring& s) { s.push_back('1'); s.push_back('2'); s.pop_back(); },
       [](std::string& s) { s.push_back('1'); s.push_back('2'); s.pop_back(); }},
      {"assign fill then append", [](ustring& s) { s.assign(3, 'q'); s.append("rst", 2); },
       [](std::string& s) { s.assign(3, 'q'); s.append("rst", 2); }},
      {"reserve keeps the text", [](ustring& s) { s.reserve(1000); }, [](std::string& s) { s.reserve(1000); }},
      {"clear", [](ustring& s) { s.clear(); }, [](std::string& s) { s.clear(); }},
  };
  for (std::size_t n : kLengths) {
    for (const auto& c : cases) {
      ustring u(text_of_length(n));
      std::string s = text_of_length(n);
      c.on_ustring(u);
      c.on_string(s);
      EXPECT_EQ(u.view(), s) << c.name << " on " << n << " bytes";
      // A fresh copy of the same bytes must be equal in every respect
      // (short strings are compared as whole words).
      const ustring fresh(s);
      EXPECT_TRUE(u == fresh) << c.name << " on " << n << " bytes";
      EXPECT_EQ(u.compare(fresh), 0) << c.name << " on " << n << " bytes";
      EXPECT_EQ(u.c_str()[u.size()], '\0') << c.name << " on " << n << " bytes";
      EXPECT_GE(u.capacity(), u.size());
    }
  }
}

TEST(UstringTest, LiteralZeroIsAPositionNotAnIterator) {
  ustring s("abc");
  s.erase(0);
  EXPECT_TRUE(s.empty());
  s = "abc";
  EXPECT_EQ(*s.erase(s.begin()), 'b');
  EXPECT_EQ(*s.insert(s.cbegin() + 1, 'x'), 'x');
  EXPECT_EQ(s, "bxc");
}

TEST(UstringTest, PopBackOnEmptyIsHarmless) {
  ustring s;
  s.pop_back();
  EXPECT_TRUE(s.empty());
  EXPECT_EQ(s.c_str()[0], '\0');
}

TEST(UstringTest, ConstructionForms) {
  const char bytes[] = {'a', '\0', 'b'};
  EXPECT_EQ(ustring(bytes, 3).size(), 3u);
  EXPECT_EQ(ustring(bytes, 3).view(), std::string_view(bytes, 3));
  EXPECT_EQ(ustring(static_cast<const char*>(nullptr)), "");
  EXPECT_EQ(ustring(static_cast<const char*>(nullptr), 0), "");
  EXPECT_EQ(ustring(3, 'z'), "zzz");
  EXPECT_EQ(ustring(ustring("abcdef"), 2, 3), "cde");
  EXPECT_EQ(ustring(std::string("std")), "std");
  EXPECT_EQ(ustring(std::string_view("view")), "view");
  ustring c;
  c = 'c';
  EXPECT_EQ(c, "c");
  std::vector<char> none;
  c.assign(none.data(), none.size());
  EXPECT_TRUE(c.empty());
}

TEST(UstringTest, SearchesMatchStdString) {
  const std::string text = std::string("abcabcXYZabc\0tail-abc", 21) + std::string(40, '.') + "abc";
  const ustring u(text);
  static const std::string needles[] = {"",     "a",   "abc", "bca", "XYZ", "Z",
                                        "tail", "zzz", "c.",  ".",   std::string("abc\0t", 5)};
  const std::size_t positions[] = {0, 1, 3, 11, 12, 40, text.size() - 3, text.size(), text.size() + 5,
                                   std::string::npos};
  for (const std::string& needle : needles) {
    const ustring un(needle);
    for (std::size_t pos : positions) {
      const auto info = "needle '" + needle + "' at " + std::to_string(pos);
      EXPECT_EQ(u.find(un, pos), text.find(needle, pos)) << info;
      EXPECT_EQ(u.find(needle.data(), pos, needle.size()), text.find(needle.data(), pos, needle.size())) << info;
      EXPECT_EQ(u.rfind(un, pos), text.rfind(needle, pos)) << info;
      EXPECT_EQ(u.find_first_of(un, pos), text.find_first_of(needle, pos)) << info;
      EXPECT_EQ(u.find_last_of(un, pos), text.find_last_of(needle, pos)) << info;
      EXPECT_EQ(u.find_first_not_of(un, pos), text.find_first_not_of(needle, pos)) << info;
      EXPECT_EQ(u.find_last_not_of(un, pos), text.find_last_not_of(needle, pos)) << info;
      if (!needle.empty()) {
        const char c = needle[0];
        EXPECT_EQ(u.find(c, pos), text.find(c, pos)) << info;
        EXPECT_EQ(u.rfind(c, pos), text.rfind(c, pos)) << info;
        EXPECT_EQ(u.find_first_of(c, pos), text.find_first_of(c, pos)) << info;
        EXPECT_EQ(u.find_last_of(c, pos), text.find_last_of(c, pos)) << info;
        EXPECT_EQ(u.find_first_not_of(c, pos), text.find_first_not_of(c, pos)) << info;
        EXPECT_EQ(u.find_last_not_of(c, pos), text.find_last_not_of(c, pos)) << info;
      }
    }
  }
  EXPECT_EQ(u.find("abc"), 0u);
  EXPECT_EQ(u.find("XYZ", 4), 6u);
  EXPECT_EQ(ustring().find(""), 0u);
  EXPECT_EQ(ustring().find('a'), ustring::npos);
}

TEST(UstringTest, ComparisonIsBytewiseUnsignedWithPrefixFirst) {
  static const struct {
    std::string a, b;
    int sign;
  } cases[] = {
      {"", "", 0},
      {"", "a", -1},
      {"a", "ab", -1},
      {"ab", "a", 1},
      {"a", "\xC3\xA9", -1},  // 0xC3 is above 'a' as an unsigned byte
      {"\x7F", "\x80", -1},
      {std::string("a\0b", 3), std::string("a\0c", 3), -1},
      {std::string("a\0", 2), "a", 1},
      {std::string(30, 'x'), std::string(30, 'x'), 0},
  };
  auto sign = [](auto v) { return (v > 0) - (v < 0); };
  for (const auto& c : cases) {
    const ustring a(c.a), b(c.b);
    EXPECT_EQ(sign(a.compare(b)), c.sign) << c.a << " / " << c.b;
    EXPECT_EQ(a == b, c.sign == 0);
    EXPECT_EQ(a != b, c.sign != 0);
    EXPECT_EQ(a < b, c.sign < 0);
    EXPECT_EQ(a >= b, c.sign >= 0);
    EXPECT_EQ(sign(c.a.compare(c.b)), c.sign) << "std::string agrees";
  }
  const ustring abc("abc");
  EXPECT_TRUE(abc == "abc");
  EXPECT_TRUE("abc" == abc);
  EXPECT_TRUE(abc < "abd");
  EXPECT_TRUE("abb" < abc);
  EXPECT_EQ(abc.compare(1, 2, "bc"), 0);
  EXPECT_LT(abc.compare(1, 2, "bcd"), 0);
  EXPECT_EQ(abc.compare(1, 2, "bcd", 2), 0);
  EXPECT_GT(abc.compare(0, 5, "ab"), 0);
}

TEST(UstringTest, ConcatenationForms) {
  const ustring a("ab");
  EXPECT_EQ(a + ustring("cd"), "abcd");
  EXPECT_EQ("xy" + a, "xyab");
  EXPECT_EQ('x' + a, "xab");
  EXPECT_EQ(a + "cd", "abcd");
  EXPECT_EQ(a + 'c', "abc");
  const ustring long_text(text_of_length(30));
  EXPECT_EQ((long_text + long_text).view(), text_of_length(30) + text_of_length(30));
}

TEST(UstringTest, StreamInsertionStopsAtNulAndExtractionReadsOneWord) {
  std::ostringstream out;
  out << ustring(std::string("ab\0cd", 5)) << '|';
  EXPECT_EQ(out.str(), "ab|");
  std::istringstream in("  first second\tthird");
  ustring a, b, c, d("kept");
  in >> a >> b >> c;
  EXPECT_EQ(a, "first");
  EXPECT_EQ(b, "second");
  EXPECT_EQ(c, "third");
  EXPECT_FALSE(in >> d);
  EXPECT_EQ(d, "kept");
}

// ---- Unicode ---------------------------------------------------------------

std::wstring wide(const std::u16string& units) { return std::wstring(units.begin(), units.end()); }

TEST(UstringTest, ToWstringHoldsUtf16Units) {
  static const struct {
    const char* name;
    std::string text;
    std::u16string units;
  } cases[] = {
      {"ascii", "abc", u"abc"},
      {"nul in the ascii start ends the text", std::string("abc\0def", 7), u"abc"},
      {"two-byte", "\xC3\xA9", u"\u00E9"},
      {"supplementary becomes a pair", "x\xF0\x9F\x98\x80", u"x\U0001F600"},
      {"lone lead byte at the end", "ab\xC3", u"ab"},
      {"ill-formed keeps what came before", "\xC3\xA9z\xFF\xC3\xA9", u"\u00E9z"},
      {"nul after non-ascii is a unit", std::string("\xC3\xA9\0x", 4), std::u16string(u"\u00E9\0x", 3)},
  };
  for (const auto& c : cases) {
    const ustring u(c.text);
    EXPECT_EQ(u.to_wstring(), wide(c.units)) << c.name;
    EXPECT_EQ(u.to_u16string(), c.units) << c.name;
  }
}

TEST(UstringTest, WideTextBecomesUtf8) {
  const std::u16string high(1, char16_t(0xD83D)), low(1, char16_t(0xDE00));
  static const struct {
    const char* name;
    std::u16string units;
    std::string text;
  } cases[] = {
      {"ascii", u"abc", "abc"},
      {"bmp", u"a\u00E9\u20AC", "a\xC3\xA9\xE2\x82\xAC"},
      {"pair", u"\U0001F600!", "\xF0\x9F\x98\x80!"},
      {"unpaired high keeps the text before", u"ab" + high + u"cd", "ab"},
      {"lone low keeps the text before", u"\u00E9" + low, "\xC3\xA9"},
      {"high at the end", u"ab" + high, "ab"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ustring(c.units).view(), c.text) << c.name;
    EXPECT_EQ(ustring(wide(c.units)).view(), c.text) << c.name;
    const std::wstring w = wide(c.units);
    EXPECT_EQ(ustring(w.c_str()).view(), c.text) << c.name;
    EXPECT_EQ(ustring(w.data(), w.size()).view(), c.text) << c.name;
    ustring assigned("old");
    assigned = w;
    EXPECT_EQ(assigned.view(), c.text) << c.name;
    assigned = c.units;
    EXPECT_EQ(assigned.view(), c.text) << c.name;
    assigned.assign(w.data(), w.size());
    EXPECT_EQ(assigned.view(), c.text) << c.name;
  }
  EXPECT_EQ(ustring(static_cast<const wchar_t*>(nullptr)), "");
}

// The converters work through fixed buffers; a sequence that straddles a
// buffer boundary must come through whole, at every offset.
TEST(UstringTest, ConversionsRoundTripAcrossBufferBoundaries) {
  for (std::size_t prefix : {0, 1, 2, 3, 509, 510, 511, 512, 513, 1021, 1022, 1023}) {
    std::string text(prefix, 'a');
    for (int i = 0; i < 300; ++i) text += "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    const ustring u(text);
    const std::wstring w = u.to_wstring();
    EXPECT_EQ(ustring(w).view(), text) << prefix;
    EXPECT_EQ(ustring(u.to_u16string()).view(), text) << prefix;
  }
}

TEST(UstringTest, ToUtf16leWritesMarkAndLowBytesFirst) {
  EXPECT_EQ(ustring().to_utf16le(), std::string("\xFF\xFE", 2));
  EXPECT_EQ(ustring("A\xC3\xA9\xF0\x9F\x98\x80").to_utf16le(),
            std::string("\xFF\xFE" "A\0" "\xE9\0" "\x3D\xD8" "\x00\xDE", 10));
}

TEST(UstringTest, FromBytesDetectsTheEncoding) {
  static const struct {
    const char* name;
    std::string bytes;
    std::string text;
  } cases[] = {
      {"empty", "", ""},
      {"utf-8 without mark is copied", "h\xC3\xA9\xFF", "h\xC3\xA9\xFF"},
      {"utf-8 mark skipped", "\xEF\xBB\xBFok", "ok"},
      {"utf-16le mark", std::string("\xFF\xFEh\0\xE9\0", 6), "h\xC3\xA9"},
      {"utf-16be mark", std::string("\xFE\xFF\0h\0\xE9", 6), "h\xC3\xA9"},
      {"utf-32le mark", std::string("\xFF\xFE\0\0h\0\0\0", 8), "h"},
      {"utf-32be mark", std::string("\0\0\xFE\xFF\0\0\0h", 8), "h"},
      {"utf-16le by zeros", std::string("h\0i\0", 4), "hi"},
      {"utf-16be by zeros", std::string("\0h\0i", 4), "hi"},
      {"utf-32le by zeros", std::string("h\0\0\0i\0\0\0", 8), "hi"},
      {"utf-32be by zeros", std::string("\0\0\0h\0\0\0i", 8), "hi"},
      {"utf-16le pair", std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), "\xF0\x9F\x98\x80"},
      {"no zero in the first bytes is utf-8", std::string("\x3D\xD8\x00\xDE", 4), std::string("\x3D\xD8\x00\xDE", 4)},
      {"utf-16 odd byte ignored", std::string("h\0i\0j", 5), "hi"},
      {"utf-16 unpaired surrogate stops", std::string("h\0\x3D\xD8i\0", 6), "h"},
      {"utf-32 surrogate stops", std::string("h\0\0\0\x00\xD8\0\0i\0\0\0", 12), "h"},
      {"utf-32 above U+10FFFF stops", std::string("\0\0\0h\0\x11\0\0", 8), "h"},
      {"utf-32 supplementary", std::string("\xFF\xFE\0\0\x00\xF6\x01\x00", 8), "\xF0\x9F\x98\x80"},
      {"zeros decide: 00 01 is utf-16be", std::string("\0\x01\xF6\x00", 4), "\x01\xEF\x98\x80"},
      {"one byte", "x", "x"},
      {"single zero byte is utf-8", std::string("\0", 1), std::string("\0", 1)},
      {"only a mark", "\xFF\xFE", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ustring::from_bytes(c.bytes.data(), c.bytes.size()).view(), c.text) << c.name;
  }
  EXPECT_EQ(ustring::from_bytes(nullptr, 10), "");
}

// ---- case, comparisons, numbers ------------------------------------------

TEST(UstringTest, CaseMappingTouchesOnlyAsciiLetters) {
  static const struct {
    std::string text, lower, upper;
  } cases[] = {
      {"\xC3\x80" "B", "\xC3\x80" "b", "\xC3\x80" "B"},
      {"MiXeD 123 _[]@`{}", "mixed 123 _[]@`{}", "MIXED 123 _[]@`{}"},
      {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9", "\xC3\xA9T\xC3\xA9"},
      {std::string("A\0B", 3), std::string("a\0b", 3), std::string("A\0B", 3)},
  };
  for (const auto& c : cases) {
    const ustring u(c.text);
    EXPECT_EQ(u.to_lower().view(), c.lower);
    EXPECT_EQ(u.to_upper().view(), c.upper);
    EXPECT_EQ(u.view(), c.text);
  }
}

TEST(UstringTest, UnicodeComparisonsOrderByUtf16Units) {
  auto sign = [](int v) { return (v > 0) - (v < 0); };
  static const struct {
    const char* a;
    const char* b;
    int nocase, collate;
  } cases[] = {
      {"abc", "ABC", 0, 1},
      {"mm", "MM", 0, 1},
      {"a", "ab", -1, -1},
      {"Zeta", "alpha", 1, -1},
      {"_", "a", -1, -1},  // folding goes to lower case: '_' < 'a'
      {"\xC3\xA9", "\xC3\x89", 1, 1},  // only ASCII folds: U+00E9 > U+00C9
      // U+FF01 is above the surrogates used for U+1F600 in UTF-16, although
      // its UTF-8 bytes are below.
      {"\xEF\xBC\x81", "\xF0\x9F\x98\x80", 1, 1},
      {"same", "same", 0, 0},
  };
  for (const auto& c : cases) {
    const ustring a(c.a), b(c.b);
    EXPECT_EQ(sign(a.compare_nocase(b)), c.nocase) << c.a << " / " << c.b;
    EXPECT_EQ(sign(a.compare_collate_nocase(b)), c.nocase) << c.a << " / " << c.b;
    EXPECT_EQ(sign(a.compare_collate(b)), c.collate) << c.a << " / " << c.b;
    EXPECT_EQ(sign(b.compare_nocase(a)), -c.nocase) << c.b << " / " << c.a;
  }
}

TEST(UstringTest, NaturalComparison) {
  auto sign = [](int v) { return (v > 0) - (v < 0); };
  static const struct {
    const char* a;
    const char* b;
    int exact, nocase;
  } cases[] = {
      {"file9", "file10", -1, -1},
      {"a", "ab", -1, -1},
      {"abc", "abc", 0, 0},
      {"file10", "file9", 1, 1},
      {"x12", "x1b", 1, 1},           // 12 against 1
      {"v2.10", "v2.9", 1, 1},
      {"a1", "ab", -1, -1},           // '1' < 'b'
      {"ab", "ab5", -1, -1},          // the shorter one first
      {"File2", "file10", -1, -1},    // 'F' < 'f'; nocase: 2 < 10
      {"File20", "file10", -1, 1},
      {"abc", "ABD", 1, -1},
      {"a\xC3\xA9", "ab", -1, -1},    // bytes compare as signed values
      {"x01", "x1", -1, -1},          // equal values spelled differently are not equal
      {"x0", "x00", -1, -1},
      {"n99999999999999999999", "n100000000000000000000", -1, -1},  // no overflow
      {"n4294967297", "n2", 1, 1},
  };
  for (const auto& c : cases) {
    const ustring a(c.a), b(c.b);
    EXPECT_EQ(sign(a.compare_natural(b)), c.exact) << c.a << " / " << c.b;
    EXPECT_EQ(sign(b.compare_natural(a)), -c.exact) << c.b << " / " << c.a;
    EXPECT_EQ(sign(a.compare_natural_nocase(b)), c.nocase) << c.a << " / " << c.b << " nocase";
  }
  // Values that fit keep their difference as atoi would give it.
  EXPECT_EQ(ustring("p10").compare_natural(ustring("p3")), 7);
  EXPECT_EQ(ustring("a").compare_natural(ustring("abc")), -2);
}

TEST(UstringTest, ToIntAndToDoubleFollowTheCLibrary) {
  static const char* const texts[] = {
      "", "0", "42", "  -17abc", "+8", "\t\n 12", "- 5", "abc", "3.75", "-0.5e3", "1e", ".5", "  +.25x",
      "0x1A", "0x1p3", "0x", "-0x.8", "inf", "-Infinity", "1e999", "-1e999", "1e-999", "2147483647",
      "-2147483648", "007", "1,5",
  };
  for (const char* t : texts) {
    const ustring u(t);
    EXPECT_EQ(u.to_int(), std::atoi(t)) << t;
    EXPECT_EQ(u.to_double(), std::atof(t)) << t;
  }
  EXPECT_TRUE(std::isnan(ustring("nan").to_double()));
  EXPECT_EQ(ustring("99999999999").to_int(), 2147483647);
  EXPECT_EQ(ustring("-99999999999").to_int(), -2147483647 - 1);
}

// ---- arg -------------------------------------------------------------------

TEST(UstringTest, ArgFillsPlaceholdersInDigitOrder) {
  static const struct {
    const char* name;
    const char* text;
    std::function<ustring(const ustring&)> fill;
    const char* expected;
  } cases[] = {
      {"two in order", "%0%1", [](const ustring& s) { return s.arg('a').arg('b'); }, "ab"},
      {"two reversed", "%1 of %0", [](const ustring& s) { return s.arg("a").arg("b"); }, "b of a"},
      {"no placeholder", "plain", [](const ustring& s) { return s.arg("x"); }, "plain"},
      {"percent at the end", "50%", [](const ustring& s) { return s.arg("x"); }, "50%"},
      {"percent and letter", "%x", [](const ustring& s) { return s.arg("y"); }, "%x"},
      {"double percent", "%%1", [](const ustring& s) { return s.arg("x"); }, "%x"},
      {"repeated digit, last first", "%1-%1", [](const ustring& s) { return s.arg("a"); }, "%1-a"},
      {"repeated digit twice", "%1-%1", [](const ustring& s) { return s.arg("a").arg("b"); }, "b-a"},
      {"%10 is 1 then 0", "%10", [](const ustring& s) { return s.arg("x"); }, "x0"},
      {"substituted value is scanned", "%0 %5", [](const ustring& s) { return s.arg("%1").arg("y"); }, "y %5"},
      {"placeholder in value replaced last", "%1", [](const ustring& s) { return s.arg("%1").arg("z"); }, "z"},
      {"keys", "userFields/%0", [](const ustring& s) { return s.arg(7); }, "userFields/7"},
      {"second digit", "PDFLevel/PDF%1", [](const ustring& s) { return s.arg("X"); }, "PDFLevel/PDFX"},
      {"text cut", "%0", [](const ustring& s) { return s.arg("abcdef", 3, '*'); }, "abc"},
      {"text padded", "%0", [](const ustring& s) { return s.arg("ab", 4, '*'); }, "**ab"},
      {"negative width leaves text", "%0", [](const ustring& s) { return s.arg("abc", -2, '*'); }, "abc"},
      {"hex", "%0", [](const ustring& s) { return s.arg(255, 0, 16, ' '); }, "ff"},
      {"zero fill", "%0", [](const ustring& s) { return s.arg(7, 3, 10, '0'); }, "007"},
      {"octal", "%0", [](const ustring& s) { return s.arg(8u, 0, 8); }, "10"},
      {"other base is decimal", "%0", [](const ustring& s) { return s.arg(255L, 0, 2); }, "255"},
      {"negative padded", "%0", [](const ustring& s) { return s.arg(-5, 4); }, "  -5"},
      {"negative hex", "%0", [](const ustring& s) { return s.arg(short(-1), 0, 16); }, "ffff"},
      {"negative int hex", "%0", [](const ustring& s) { return s.arg(-1, 0, 16); }, "ffffffff"},
      {"long long", "%0", [](const ustring& s) { return s.arg(-9000000000LL); }, "-9000000000"},
      {"unsigned long long", "%0", [](const ustring& s) { return s.arg(18446744073709551615ULL); },
       "18446744073709551615"},
      {"unsigned short", "%0", [](const ustring& s) { return s.arg(static_cast<unsigned short>(65535)); }, "65535"},
      {"unsigned long", "%0", [](const ustring& s) { return s.arg(42UL, 5, 10, '.'); }, "...42"},
      {"value empty", "a%0b", [](const ustring& s) { return s.arg(""); }, "ab"},
  };
  for (const auto& c : cases) {
    const ustring text(c.text);
    EXPECT_EQ(c.fill(text), c.expected) << c.name;
    EXPECT_EQ(text, c.text) << c.name << ": the original is unchanged";
  }
}

TEST(UstringTest, ArgDoubleRendersLikeAStream) {
  static const struct {
    double value;
    int precision;
    char format;
    int width;
    char fill;
  } cases[] = {
      {3.14159, -1, 'g', 0, ' '}, {3.14159, 2, 'f', 0, ' '}, {3.14159, 3, 'e', 0, ' '},
      {1e20, -1, 'g', 0, ' '},    {0.5, 1, 'x', 8, '*'},     {-2.25, -1, 'f', 10, '0'},
      {1234567.0, 3, 'g', 0, ' '}, {0.0, 0, 'f', 0, ' '},     {2.5, -1, 'E', 0, ' '},
  };
  for (const auto& c : cases) {
    std::ostringstream expected;
    if (c.precision != -1) expected.precision(c.precision);
    if (c.format == 'e') expected << std::scientific;
    if (c.format == 'f') expected << std::fixed;
    if (c.width > 0) {
      expected.width(c.width);
      expected.fill(c.fill);
    }
    expected << c.value;
    EXPECT_EQ(ustring("<%0>").arg(c.value, c.precision, c.format, c.width, c.fill).view(),
              "<" + expected.str() + ">")
        << c.value << " " << c.precision << " " << c.format;
  }
}

// A global locale with another decimal separator must not leak into texts.
TEST(UstringTest, ArgDoubleIgnoresTheGlobalLocale) {
  struct CommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
    char do_thousands_sep() const override { return '\''; }
  };
  const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
  const ustring rendered = ustring("%0").arg(12345.5, -1, 'f');
  const ustring integer = ustring("%0").arg(1234567);
  std::locale::global(previous);
  EXPECT_EQ(rendered, "12345.500000");
  EXPECT_EQ(integer, "1234567");
}

}  // namespace
