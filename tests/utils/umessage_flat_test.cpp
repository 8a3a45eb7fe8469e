#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <limits>
#include <memory>
#include <functional>
#include <set>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "allocation_counter.h"
#include "utils/packed_int.h"
#include "utils/umessage.h"
#include "utils/umessage_serialize.h"

namespace {

// The size of the largest allocation run made.
std::size_t largest_allocation_during(const std::function<void()>& run) {
  const vxtest::AllocationScope scope;
  run();
  return scope.stats().largest;
}

using shared_record = std::shared_ptr<umessage>;

// ---- byte fixtures ----

// "04 02 70 69" -> the bytes; spaces are ignored.
std::string hex(std::string_view text) {
  std::string bytes;
  int high = -1;
  for (char c : text) {
    if (c == ' ') continue;
    const int nibble = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    if (high < 0) {
      high = nibble;
    } else {
      bytes.push_back(static_cast<char>(high * 16 + nibble));
      high = -1;
    }
  }
  return bytes;
}

std::string to_hex(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned char b : bytes) {
    if (!text.empty()) text.push_back(' ');
    text.push_back(digits[b >> 4]);
    text.push_back(digits[b & 15]);
  }
  return text;
}

// Hand-made flat forms, piece by piece.
class form {
 public:
  form& packed(std::uint64_t value) {
    unsigned char buffer[vxu::packed64_max_size];
    const unsigned char* end = vxu::put_packed64(buffer, value);
    bytes_.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(end - buffer));
    return *this;
  }
  form& byte(unsigned char value) {
    bytes_.push_back(static_cast<char>(value));
    return *this;
  }
  form& raw(std::string_view bytes) {
    bytes_.append(bytes);
    return *this;
  }
  // A table string: its length and bytes.
  form& text(std::string_view s) {
    packed(s.size());
    bytes_.append(s);
    return *this;
  }
  // A version and string table.
  form& head(std::uint64_t version, std::initializer_list<std::string_view> table) {
    packed(version).packed(table.size());
    for (std::string_view s : table) text(s);
    return *this;
  }
  // A version-4 entry header.
  form& entry4(std::uint64_t name, std::uint64_t type, unsigned char is_array, std::uint64_t count) {
    return packed(name).packed(type).byte(is_array).packed(count);
  }
  // A version-1 to 3 entry header (type is a code in 3, a string id in 1, 2).
  form& entry(std::uint64_t name, std::uint64_t type, std::uint64_t count) { return packed(name).packed(type).packed(count); }
  operator std::string() const { return bytes_; }
  const std::string& str() const { return bytes_; }

 private:
  std::string bytes_;
};

std::string flat(const umessage& record) {
  std::ostringstream out;
  record.flatten(out);
  return out.str();
}

// The captured standard error, where system_logger writes.
class captured_log {
 public:
  captured_log() : previous_(std::cerr.rdbuf(text_.rdbuf())) {}
  ~captured_log() { std::cerr.rdbuf(previous_); }
  captured_log(const captured_log&) = delete;
  captured_log& operator=(const captured_log&) = delete;

  std::vector<std::string> lines() const {
    std::vector<std::string> result;
    std::istringstream in(text_.str());
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
  }

 private:
  std::ostringstream text_;
  std::streambuf* previous_;
};

// The values of an ERROR record of umessage::unflatten in one log line:
//   [YYYY-MM-DDTHH:MM:SS][ERROR][<thread>][umessage_serialize.cpp:umessage::unflatten:436] <values>
// or "unexpected line: ..." for any other line.
std::string unflatten_error(const std::string& line) {
  const std::string unexpected = "unexpected line: " + line;
  static const char time_shape[] = "[dddd-dd-ddTdd:dd:dd]";
  const std::size_t time_length = sizeof time_shape - 1;
  if (line.size() < time_length) return unexpected;
  for (std::size_t i = 0; i < time_length; ++i) {
    const bool digit = line[i] >= '0' && line[i] <= '9';
    if (time_shape[i] == 'd' ? !digit : line[i] != time_shape[i]) return unexpected;
  }
  std::string_view rest = std::string_view(line).substr(time_length);
  constexpr std::string_view level = "[ERROR][";
  if (rest.substr(0, level.size()) != level) return unexpected;
  rest.remove_prefix(level.size());
  std::size_t digits = 0;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
  if (digits == 0) return unexpected;
  rest.remove_prefix(digits);
  constexpr std::string_view site = "][umessage_serialize.cpp:umessage::unflatten:436] ";
  if (rest.substr(0, site.size()) != site) return unexpected;
  return std::string(rest.substr(site.size()));
}

std::vector<std::string> unflatten_errors(const std::vector<std::string>& lines) {
  std::vector<std::string> result;
  for (const std::string& line : lines) result.push_back(unflatten_error(line));
  return result;
}

struct read_result {
  bool ok;
  std::vector<std::string> errors;  // texts of the ERROR records written
  std::size_t largest_allocation;   // made by unflatten
};

// unflatten into a record that starts with an entry, so clearing shows.
read_result read_into(umessage& record, const std::string& bytes) {
  record.add("stale", 1);
  std::istringstream in(bytes);
  captured_log log;
  bool ok = false;
  const std::size_t largest = largest_allocation_during([&] { ok = record.unflatten(in); });
  return {ok, unflatten_errors(log.lines()), largest};
}

// Everything about a record that == ignores: the flags beside the names.
std::vector<std::tuple<std::string, int, std::size_t, bool>> shape(const umessage& m) {
  std::vector<std::tuple<std::string, int, std::size_t, bool>> result;
  for (const auto& [name, array] : m) result.emplace_back(name.str(), array.type(), array.size(), array.is_array);
  return result;
}

shared_record nested(umessage record) { return std::make_shared<umessage>(std::move(record)); }

// A record with every value type, single values and arrays, nested records
// and strings shared between names, values and levels.
umessage sample_record() {
  umessage inner("setting");
  inner.add("type", 3);
  inner.add_array("limits", 0.25);
  inner.add("label", "setting");  // same text as the kind
  umessage record("ticket");
  record.add("count", 300);
  record.add("negative", -1);
  record.add("big", std::int64_t{1} << 40);
  record.add("small64", std::int64_t{-5});
  record.add("flag", true);
  record.add("off", false);
  record.add("ratio", 1.0);
  record.add("tiny", -2.5e-300);
  record.add_array("one", 7);  // single value kept as an array
  for (int i = 0; i < 3; ++i) record.add("ints", i * 1000);
  record.add("texts", "ticket");  // same text as the kind
  record.add("texts", "");
  record.add("texts", "\xC3\xA9t\xC3\xA9");
  record.add("B", "upper case sorts first");
  record.add("child", nested(inner));
  record.add("children", nested(inner));
  record.add("children", nested(umessage()));
  record.add("type", "name reused as a value elsewhere");
  return record;
}

// ---- packed integers ----

TEST(PackedInt, WritesTheShortestFormAndReadsItBack) {
  static const struct {
    std::uint64_t value;
    const char* bytes;
  } cases[] = {
      {0, "00"},
      {0x7F, "7F"},
      {0x80, "80 80"},
      {300, "81 2C"},
      {0x3FFF, "BF FF"},
      {0x4000, "C0 40 00"},
      {0x1FFFFF, "DF FF FF"},
      {0x200000, "E0 20 00 00"},
      {0xFFFFFFF, "EF FF FF FF"},
      {0x10000000, "F0 10 00 00 00"},
      {0xFFFFFFFF, "F0 FF FF FF FF"},
      {0x7FFFFFFFF, "F7 FF FF FF FF"},
      {0x800000000, "F8 08 00 00 00 00"},
      {0x3FFFFFFFFFF, "FB FF FF FF FF FF"},
      {0x40000000000, "FC 04 00 00 00 00 00"},
      {0x1FFFFFFFFFFFF, "FD FF FF FF FF FF FF"},
      {0x2000000000000, "FE 02 00 00 00 00 00 00"},
      {0xFFFFFFFFFFFFFF, "FE FF FF FF FF FF FF FF"},
      {0x100000000000000, "FF 01 00 00 00 00 00 00 00"},
      {~std::uint64_t{0}, "FF FF FF FF FF FF FF FF FF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    unsigned char buffer[vxu::packed64_max_size];
    const unsigned char* end = vxu::put_packed64(buffer, c.value);
    const std::string written(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(end - buffer));
    EXPECT_EQ(to_hex(written), c.bytes);
    EXPECT_EQ(vxu::packed_size(c.value), written.size());

    const unsigned char* p = buffer;
    std::uint64_t read = 0;
    ASSERT_TRUE(vxu::get_packed64(p, end, read));
    EXPECT_EQ(read, c.value);
    EXPECT_EQ(p, end);
    // Cut short anywhere: no value, position unchanged.
    for (const unsigned char* cut = buffer; cut < end; ++cut) {
      p = buffer;
      EXPECT_FALSE(vxu::get_packed64(p, cut, read));
      EXPECT_EQ(p, buffer);
    }
  }
}

TEST(PackedInt, ThirtyTwoBitReaderAssemblesAtMostFourFollowingBytes) {
  static const struct {
    const char* bytes;
    std::uint32_t value;
  } cases[] = {
      {"05", 5},
      {"81 2C", 300},
      {"F0 FF FF FF FF", 0xFFFFFFFF},
      // Non-shortest forms are read.
      {"80 05", 5},
      // Value bits of the first byte above 32 bits are dropped.
      {"F5 00 00 00 01", 1},
      // Five or more following bytes: the first byte's value bits alone.
      {"F8 01 02 03 04 05", 0},
      {"F9 01 02 03 04 05", 1},
      {"FB FF FF FF FF FF", 3},
      {"FD 11 22 33 44 55 66", 1},
      {"FE 11 22 33 44 55 66 77", 0},
      {"FF 11 22 33 44 55 66 77 88", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    const std::string bytes = hex(c.bytes);
    const auto* begin = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = begin + bytes.size();
    const unsigned char* p = begin;
    std::uint32_t value = 0;
    ASSERT_TRUE(vxu::get_packed32(p, end, value));
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(p, end);
    p = begin;
    EXPECT_FALSE(vxu::get_packed32(p, end - 1, value));
    EXPECT_EQ(p, begin);
  }
}

// ---- flatten ----

TEST(Flatten, WritesVersionFourByteForByte) {
  static const struct {
    const char* name;
    umessage (*make)();
    const char* bytes;
  } cases[] = {
      {"empty record", [] { return umessage(); }, "04 00 00"},
      {"kind only", [] { return umessage("ping"); },
       "04 02 04 70 69 6E 67 04 77 68 61 74 01 02 04 00 01 01"},
      {"int 300",
       [] {
         umessage m;
         m.add("n", 300);
         return m;
       },
       "04 01 01 6E  01  01 01 00 01 81 2C"},
      {"int -1 takes five bytes",
       [] {
         umessage m;
         m.add("n", -1);
         return m;
       },
       "04 01 01 6E  01  01 01 00 01 F0 FF FF FF FF"},
      {"int64 -1 takes nine bytes",
       [] {
         umessage m;
         m.add("n", std::int64_t{-1});
         return m;
       },
       "04 01 01 6E  01  01 06 00 01 FF FF FF FF FF FF FF FF FF"},
      {"int64 2^33",
       [] {
         umessage m;
         m.add("n", std::int64_t{1} << 33);
         return m;
       },
       "04 01 01 6E  01  01 06 00 01 F2 00 00 00 00"},
      {"double 1.0 little-endian",
       [] {
         umessage m;
         m.add("d", 1.0);
         return m;
       },
       "04 01 01 64  01  01 03 00 01 00 00 00 00 00 00 F0 3F"},
      {"bools",
       [] {
         umessage m;
         m.add("b", true);
         m.add("b", false);
         return m;
       },
       "04 01 01 62  01  01 02 01 02 01 00"},
      {"single value marked as array",
       [] {
         umessage m;
         m.add_array("a", 7);
         return m;
       },
       "04 01 01 61  01  01 01 01 01 07"},
      {"entries in name order, upper case first",
       [] {
         umessage m;
         m.add("b", 2);
         m.add("B", 1);
         m.add("a", 3);
         return m;
       },
       "04 03 01 42 01 61 01 62  03  01 01 00 01 01  02 01 00 01 03  03 01 00 01 02"},
      {"nested record with shared strings",
       [] {
         umessage inner;
         inner.add("x", "a");
         umessage m;
         m.add("a", nested(inner));
         m.add("x", "x");
         return m;
       },
       // Table "a", "x": each once although "a" is a name and a nested
       // value, "x" a nested name, a name and a value.
       "04 02 01 61 01 78  02  01 05 00 01  01  02 04 00 01 01  02 04 00 01 02"},
      {"empty string value and prefix order",
       [] {
         umessage m;
         m.add("ab", "");
         m.add("a", "ab");
         return m;
       },
       "04 03 00 01 61 02 61 62  02  02 04 00 01 03  03 04 00 01 01"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(to_hex(flat(c.make())), to_hex(hex(c.bytes)));
  }
}

// The table of a written form, read back with the packed reader.
std::vector<std::string> table_of(const std::string& form_bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(form_bytes.data());
  const auto* end = p + form_bytes.size();
  std::uint64_t version = 0, count = 0, length = 0;
  std::vector<std::string> table;
  if (!vxu::get_packed64(p, end, version) || !vxu::get_packed64(p, end, count)) return table;
  for (std::uint64_t i = 0; i < count && vxu::get_packed64(p, end, length); ++i) {
    table.emplace_back(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));
    p += length;
  }
  return table;
}

// Texts that look alike to a hash or a sort key: shared prefixes of 8 and 16
// bytes and more, NUL bytes and zero padding, bytes above 0x7F, every length
// up to 40.
TEST(Flatten, TableHoldsEachDistinctStringOnceInByteOrder) {
  std::vector<std::string> texts = {"", std::string(1, '\0'), std::string(2, '\0'), "a", std::string("a\0", 2),
                                    std::string("a\0\0\0\0\0\0\0\0", 9), "\x80", "\xFF", "\x7F"};
  for (std::size_t n = 1; n <= 40; ++n) {
    texts.push_back(std::string(n, 'x'));
    texts.push_back(std::string(n - 1, 'x') + 'y');
    texts.push_back(std::string(n - 1, 'x') + '\xE9');
    texts.push_back("DeviceCMYK-" + std::to_string(n * 37));
    texts.push_back("problem" + std::to_string(n));
  }
  umessage inner;
  umessage record;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    record.add("v", ustring(texts[i]));
    inner.add("v", ustring(texts[texts.size() - 1 - i]));
    if (!texts[i].empty() && texts[i].find_first_of("/?") == std::string::npos) inner.add(ustring(texts[i]), 1);
  }
  record.add("inner", nested(inner));
  record.add("again", nested(inner));

  std::set<std::string> expected(texts.begin(), texts.end());
  for (const char* name : {"v", "inner", "again"}) expected.insert(name);
  const std::string bytes = flat(record);
  EXPECT_EQ(table_of(bytes), std::vector<std::string>(expected.begin(), expected.end()));

  umessage copy;
  ASSERT_TRUE(read_into(copy, bytes).ok);
  EXPECT_EQ(copy, record);
}

// Long texts are hashed in several lanes: texts that differ in one byte
// anywhere, or only in length, must stay distinct, and equal ones must
// share their table entry.
TEST(Flatten, LongTextsDifferingAnywhereStayDistinct) {
  const std::string base(150, 'z');
  std::vector<std::string> texts = {base};
  for (std::size_t at = 0; at < base.size(); ++at) {
    std::string variant = base;
    variant[at] = 'y';
    texts.push_back(variant);
  }
  for (std::size_t n = 17; n < base.size(); n += 7) texts.push_back(base.substr(0, n));
  umessage record;
  for (const std::string& text : texts) record.add("v", ustring(text));
  record.add("w", ustring(base));  // a second use of the same text

  std::set<std::string> expected(texts.begin(), texts.end());
  expected.insert("v");
  expected.insert("w");
  const std::string bytes = flat(record);
  EXPECT_EQ(table_of(bytes), std::vector<std::string>(expected.begin(), expected.end()));
  umessage copy;
  ASSERT_TRUE(read_into(copy, bytes).ok);
  EXPECT_EQ(copy, record);
}

TEST(Flatten, WritesThroughTheStreamOnly) {
  std::ostringstream out;
  out << "prefix:";
  umessage("ping").flatten(out);
  EXPECT_EQ(out.str(), "prefix:" + hex("04 02 04 70 69 6E 67 04 77 68 61 74 01 02 04 00 01 01"));
}

// ---- unflatten: accepted forms ----

struct accepted_case {
  const char* name;
  std::string bytes;
  umessage (*expected)();
  std::vector<std::tuple<std::string, int, std::size_t, bool>> shape;  // empty: not checked
};

// Each form reads without an error into the expected record.
template <std::size_t N>
void expect_accepted(const accepted_case (&cases)[N]) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    umessage record;
    const read_result result = read_into(record, c.bytes);
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.errors.empty());
    EXPECT_EQ(record, c.expected());
    if (!c.shape.empty()) {
      EXPECT_EQ(shape(record), c.shape);
    }
  }
}

TEST(Unflatten, ReadsEveryVersion) {
  const accepted_case cases[] = {
      {"version 4 as written", hex("04 02 04 70 69 6E 67 04 77 68 61 74 01 02 04 00 01 01"),
       [] { return umessage("ping"); }, {{"what", 4, 1, false}}},
      {"version 4, every type",
       form()
           .head(4, {"b", "d", "i", "l", "m", "s", "x"})
           .packed(6)
           .entry4(1, 2, 0, 2).byte(1).byte(2)                      // b: true, true (not 0 is true)
           .entry4(2, 3, 1, 1).raw(hex("00 00 00 00 00 00 F0 3F"))  // d: [1.0]
           .entry4(3, 1, 0, 2).raw(hex("81 2C F0 FF FF FF FF"))     // i: 300, -1
           .entry4(4, 6, 0, 1).raw(hex("FF FF FF FF FF FF FF FF FE"))  // l: -2
           .entry4(5, 5, 0, 1).packed(1).entry4(7, 4, 0, 1).packed(1)  // m: {x: "b"}
           .entry4(6, 4, 2, 1).packed(7),                              // s: ["x"]
       [] {
         umessage inner;
         inner.add("x", "b");
         umessage m;
         m.add("b", true);
         m.add("b", true);
         m.add_array("d", 1.0);
         m.add("i", 300);
         m.add("i", -1);
         m.add("l", std::int64_t{-2});
         m.add("m", nested(inner));
         m.add_array("s", "x");
         return m;
       },
       {{"b", 2, 2, true}, {"d", 3, 1, true}, {"i", 1, 2, true}, {"l", 6, 1, false}, {"m", 5, 1, false},
        {"s", 4, 1, true}}},
      {"version 3: type codes, int64, no is_array byte",
       form()
           .head(3, {"a", "n"})
           .packed(2)
           .entry(1, 6, 1).raw(hex("F2 00 00 00 00"))
           .entry(2, 4, 1).packed(1),
       [] {
         umessage m;
         m.add("a", std::int64_t{1} << 33);
         m.add("n", "a");
         return m;
       },
       {{"a", 6, 1, false}, {"n", 4, 1, false}}},
      {"version 2: type names",
       form()
           .head(2, {"bool", "d", "float", "int", "m", "s", "string", "umessage", "x"})
           .packed(4)
           .entry(2, 3, 1).raw(hex("00 00 00 00 00 00 04 40"))  // d: float 2.5
           .entry(5, 8, 1).packed(1).entry(9, 1, 1).byte(0)      // m: {x: false}
           .entry(6, 7, 2).packed(9).packed(7)                   // s: "x", "string"
           .entry(9, 4, 1).packed(5),                            // x: int 5
       [] {
         umessage inner;
         inner.add("x", false);
         umessage m;
         m.add("d", 2.5);
         m.add("m", nested(inner));
         m.add("s", "x");
         m.add("s", "string");
         m.add("x", 5);
         return m;
       },
       {{"d", 3, 1, false}, {"m", 5, 1, false}, {"s", 4, 2, true}, {"x", 1, 1, false}}},
      {"version 1: each body starts with its kind, an empty kind adds none",
       form()
           .head(1, {"", "c", "int", "job", "umessage"})
           .packed(4).packed(2)                     // kind "job", two entries
           .entry(2, 5, 2)                          // c: two records
           .packed(2).packed(0)                     //   kind "c", no entries
           .packed(1).packed(1).entry(2, 3, 1).packed(9)  //   kind "", c: int 9
           .entry(3, 3, 1).packed(4),               // int: int 4
       [] {
         umessage second;
         second.add("c", 9);
         umessage m("job");
         m.add("c", nested(umessage("c")));
         m.add("c", nested(second));
         m.add("int", 4);
         return m;
       },
       {{"c", 5, 2, true}, {"int", 1, 1, false}, {"what", 4, 1, false}}},
      {"version 1: an entry named what adds to the kind",
       form().head(1, {"k", "string", "what"}).packed(1).packed(1).entry(3, 2, 1).packed(1),
       [] {
         umessage m("k");
         m.add("what", "k");
         return m;
       },
       {{"what", 4, 2, true}}},
  };
  expect_accepted(cases);
}

TEST(Unflatten, FollowsTheAppendRulesOfTheRecord) {
  const accepted_case cases[] = {
      {"a name met twice with one type appends", form().head(4, {"a"}).packed(2).entry4(1, 1, 0, 1).packed(1).entry4(1, 1, 0, 1).packed(2),
       [] {
         umessage m;
         m.add("a", 1);
         m.add("a", 2);
         return m;
       },
       {{"a", 1, 2, true}}},
      {"a count of 0 makes no entry, whatever the name", form().head(4, {"", "a/b", "n"}).packed(3).entry4(1, 1, 1, 0).entry4(2, 4, 0, 0).entry4(3, 2, 0, 1).byte(1),
       [] {
         umessage m;
         m.add("n", true);
         return m;
       },
       {{"n", 2, 1, false}}},
      {"entries out of name order are sorted", form().head(4, {"a", "b", "c"}).packed(3).entry4(3, 1, 0, 1).packed(3).entry4(1, 1, 0, 1).packed(1).entry4(2, 1, 0, 1).packed(2),
       [] {
         umessage m;
         m.add("a", 1);
         m.add("b", 2);
         m.add("c", 3);
         return m;
       },
       {}},
      {"an out-of-order name met again appends", form().head(4, {"a", "b"}).packed(3).entry4(2, 1, 0, 1).packed(1).entry4(1, 1, 0, 1).packed(2).entry4(2, 1, 0, 1).packed(3),
       [] {
         umessage m;
         m.add("a", 2);
         m.add("b", 1);
         m.add("b", 3);
         return m;
       },
       {{"a", 1, 1, false}, {"b", 1, 2, true}}},
      {"an unsorted table with a repeated string names one entry",
       form().head(4, {"b", "a", "b"}).packed(3).entry4(3, 1, 0, 1).packed(1).entry4(2, 1, 0, 1).packed(2).entry4(1, 1, 0, 1).packed(3),
       [] {
         umessage m;
         m.add("a", 2);
         m.add("b", 1);
         m.add("b", 3);
         return m;
       },
       {{"a", 1, 1, false}, {"b", 1, 2, true}}},
      {"version 1 kind placed among the names of an unsorted table",
       form().head(1, {"z", "string", "k", "a"}).packed(3).packed(2).entry(1, 2, 1).packed(4).entry(4, 2, 1).packed(1),
       [] {
         umessage m("k");
         m.add("a", "z");
         m.add("z", "a");
         return m;
       },
       {{"a", 4, 1, false}, {"what", 4, 1, false}, {"z", 4, 1, false}}},
      {"version 1 kind and a what entry of an unsorted table",
       form().head(1, {"what", "k", "string"}).packed(2).packed(1).entry(1, 3, 1).packed(2),
       [] {
         umessage m("k");
         m.add("what", "k");
         return m;
       },
       {{"what", 4, 2, true}}},
      {"bytes after the body are not examined", form().head(4, {}).packed(0).raw("garbage\xFF"), [] { return umessage(); }, {}},
  };
  expect_accepted(cases);
}

TEST(Unflatten, AcceptsTheMostEntriesABodyMayHave) {
  form f;
  f.head(4, {"a"}).packed(vxu::max_flat_entries);
  for (std::uint64_t i = 0; i < vxu::max_flat_entries; ++i) f.entry4(1, 2, 0, 1).byte(1);
  umessage record;
  const read_result result = read_into(record, f);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(record.count("a"), vxu::max_flat_entries);
}

TEST(Unflatten, ManyEntriesInReverseOrderAreSortedOnce) {
  constexpr int n = 20000;
  form f;
  f.packed(4).packed(n);
  for (int i = 0; i < n; ++i) f.text("k" + std::to_string(100000 + i));
  f.packed(n);
  for (int i = n; i >= 1; --i) f.entry4(static_cast<std::uint64_t>(i), 1, 0, 1).packed(static_cast<std::uint64_t>(i));
  umessage record;
  ASSERT_TRUE(read_into(record, f).ok);
  ASSERT_EQ(record.size(), static_cast<std::size_t>(n));
  EXPECT_EQ(record.value<int>("k100000"), 1);
  EXPECT_EQ(record.value<int>(ustring("k" + std::to_string(100000 + n - 1))), n);
  const std::vector<ustring> names = record.names();
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
}

// ---- unflatten: refused forms ----

struct refused_case {
  const char* name;
  std::string bytes;
  const char* logged;  // nullptr: nothing is logged
};

// A version-4 form whose single top entry is `body` nested `depth` times
// under the name "m", the innermost body being empty.
std::string nested_form(int depth) {
  form f;
  f.head(4, {"m"});
  for (int i = 0; i < depth; ++i) f.packed(1).entry4(1, 5, 0, 1);
  f.packed(0);
  return f;
}

TEST(Unflatten, RefusesBadFormsWithTheirTexts) {
  const char* too_many = "umessage::unflatten() : too many entry";
  const char* truncated = "umessage::unflatten() : truncated input";
  const refused_case cases[] = {
      // Version: false, nothing logged.
      {"empty input", "", nullptr},
      {"version 0", hex("00 00 00"), nullptr},
      {"version 5", hex("05 00 00"), nullptr},
      {"version 2^31 (negative as int)", hex("F0 80 00 00 00 00 00"), nullptr},
      {"version cut short", hex("80"), nullptr},
      // Entry counts.
      {"131073 entries", form().head(4, {}).packed(vxu::max_flat_entries + 1), too_many},
      {"2^31 entries", form().head(4, {}).packed(std::uint64_t{1} << 31), too_many},
      {"too many entries in a nested body", form().head(4, {"m"}).packed(1).entry4(1, 5, 0, 1).packed(vxu::max_flat_entries + 1), too_many},
      {"too many entries in a version-1 body", form().head(1, {""}).packed(1).packed(vxu::max_flat_entries + 1), too_many},
      // Types, checked once the count is read.
      {"type code 7", form().head(4, {"a"}).packed(1).entry4(1, 7, 0, 0), "unknown type!"},
      {"type code 0", form().head(4, {"a"}).packed(1).entry4(1, 0, 0, 1).byte(0), "unknown type!"},
      {"type code 2^32 - 1", form().head(3, {"a"}).packed(1).entry(1, 0xFFFFFFFF, 0), "unknown type!"},
      {"version 2 type name long", form().head(2, {"a", "long"}).packed(1).entry(1, 2, 1).packed(5), "unknown type!"},
      {"version 1 type name int64", form().head(1, {"", "a", "int64"}).packed(1).packed(1).entry(2, 3, 1).packed(5), "unknown type!"},
      {"type name id past the table", form().head(2, {"a"}).packed(1).entry(1, 2, 1).packed(5), "string not found"},
      // String ids.
      {"name id 0", form().head(4, {"a"}).packed(1).entry4(0, 1, 0, 1).packed(1), "string not found"},
      {"name id past the table", form().head(4, {"a"}).packed(1).entry4(2, 1, 0, 1).packed(1), "string not found"},
      {"string value id 0", form().head(4, {"a"}).packed(1).entry4(1, 4, 0, 1).packed(0), "string not found"},
      {"second string value past the table", form().head(4, {"a"}).packed(1).entry4(1, 4, 0, 2).packed(1).packed(2), "string not found"},
      {"version 1 kind id 0", form().head(1, {"a"}).packed(0).packed(0), "string not found"},
      {"version 1 nested kind past the table", form().head(1, {"", "a", "umessage"}).packed(1).packed(1).entry(2, 3, 1).packed(4).packed(0), "string not found"},
      // Appends the record refuses.
      {"empty name", form().head(4, {""}).packed(1).entry4(1, 1, 0, 1).packed(5), "empty or invalid name"},
      {"name with a slash", form().head(4, {"a/b"}).packed(1).entry4(1, 1, 0, 1).packed(5), "empty or invalid name"},
      {"name with a question mark", form().head(4, {"a?"}).packed(1).entry4(1, 1, 0, 1).packed(5), "empty or invalid name"},
      {"invalid name in a nested record", form().head(4, {"?", "m"}).packed(1).entry4(2, 5, 0, 1).packed(1).entry4(1, 2, 0, 1).byte(1), "empty or invalid name"},
      {"one name, two types", form().head(4, {"a"}).packed(2).entry4(1, 1, 0, 1).packed(5).entry4(1, 2, 0, 1).byte(1), "incompatible type"},
      {"one name, two types, out of order", form().head(4, {"a", "b"}).packed(3).entry4(2, 1, 0, 1).packed(5).entry4(1, 1, 0, 1).packed(5).entry4(2, 3, 0, 1).raw(std::string(8, '\0')), "incompatible type"},
      {"version 1 what of another type", form().head(1, {"int", "k", "what"}).packed(2).packed(1).entry(3, 1, 1).packed(5), "incompatible type"},
      // Errors meet in reading order: the first value before the name.
      {"bad first value before bad name", form().head(4, {""}).packed(1).entry4(1, 4, 0, 1).packed(9), "string not found"},
      {"bad name before bad second value", form().head(4, {""}).packed(1).entry4(1, 4, 0, 2).packed(1).packed(9), "empty or invalid name"},
      // Counts and lengths beyond the input.
      {"2^31 strings", form().packed(4).packed(std::uint64_t{1} << 31).text("a"), truncated},
      {"string length past the end", form().packed(4).packed(1).packed(1000).raw("abc"), truncated},
      {"string length 2^63", form().packed(4).packed(1).packed(std::uint64_t{1} << 63), truncated},
      {"entries past the end", form().head(4, {"a"}).packed(1000).entry4(1, 1, 0, 1).packed(1), truncated},
      {"values past the end", form().head(4, {"a"}).packed(1).entry4(1, 1, 0, std::uint64_t{1} << 40).packed(1), truncated},
      {"doubles past the end", form().head(4, {"a"}).packed(1).entry4(1, 3, 0, 2).raw(std::string(15, '\0')), truncated},
      {"records past the end", form().head(4, {"a"}).packed(1).entry4(1, 5, 0, 0xFFFFFFFF).packed(0), truncated},
      {"int64 cut inside", form().head(4, {"a"}).packed(1).entry4(1, 6, 0, 1).raw(hex("FF 00")), truncated},
      {"is_array byte missing", form().head(4, {"a"}).packed(1).packed(1).packed(1), truncated},
      // Nesting.
      {"nested 257 deep", nested_form(vxu::max_flat_nesting + 1), "umessage::unflatten() : nesting too deep"},
      {"nested 100000 deep", nested_form(100000), "umessage::unflatten() : nesting too deep"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    umessage record;
    const read_result result = read_into(record, c.bytes);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(record.empty());
    if (c.logged == nullptr) {
      EXPECT_TRUE(result.errors.empty());
    } else {
      EXPECT_EQ(result.errors, std::vector<std::string>{c.logged});
    }
    // Nothing is sized by a count the input cannot back.
    EXPECT_LT(result.largest_allocation, 64 * c.bytes.size() + 8192);
  }
}

TEST(Unflatten, RefusesStringsLongerThanAUstring) {
  const std::string text(ustring::max_length + 1, 'x');
  umessage record;
  const read_result result = read_into(record, form().packed(4).packed(1).text(text).packed(0));
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.errors, std::vector<std::string>{"umessage::unflatten() : string too long"});
}

// Ids are short and strings are not: copies of one long string are bounded
// by the floor plus the ratio times the form's size.
TEST(Unflatten, BoundsTheCopiesOfRepeatedStrings) {
  const std::string text(1 << 20, 'x');
  // A form of about 1 MiB + 2 bytes a copy: the budget allows this many.
  const std::uint64_t allowed = (vxu::min_flat_string_budget >> 20) + vxu::flat_string_expansion_ratio + 1;
  const std::uint64_t copies = allowed + 3;
  form f;
  f.packed(4).packed(2).text("a").text(text).packed(1).entry4(1, 4, 0, copies);
  for (std::uint64_t i = 0; i < copies; ++i) f.packed(2);
  umessage record;
  const read_result result = read_into(record, f);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.errors, std::vector<std::string>{"umessage::unflatten() : too much string data"});
  EXPECT_TRUE(record.empty());

  // Within the bound the same string is copied as often as it is named.
  form fine;
  fine.packed(4).packed(2).text("a").text(text).packed(1).entry4(1, 4, 0, allowed - 1);
  for (std::uint64_t i = 0; i < allowed - 1; ++i) fine.packed(2);
  ASSERT_TRUE(read_into(record, fine).ok);
  EXPECT_EQ(record.count("a"), allowed - 1);
}

TEST(Unflatten, ReadsTheDeepestNestingAllowed) {
  umessage record;
  const read_result result = read_into(record, nested_form(vxu::max_flat_nesting));
  ASSERT_TRUE(result.ok);
  int depth = 0;
  for (shared_record inner = record.message_at("m"); inner; inner = inner->message_at("m")) ++depth;
  EXPECT_EQ(depth, vxu::max_flat_nesting);
  EXPECT_EQ(flat(record), nested_form(vxu::max_flat_nesting));
}

TEST(Unflatten, FailsAtEveryPrefixOfAValidForm) {
  const std::string forms[] = {
      flat(sample_record()),
      flat(umessage("ping")),
      form().head(1, {"", "c", "int", "job", "umessage"}).packed(4).packed(1).entry(2, 5, 1).packed(2).packed(0),
      form().head(2, {"a", "float"}).packed(1).entry(1, 2, 1).raw(std::string(8, '\x11')),
  };
  for (const std::string& whole : forms) {
    umessage record;
    ASSERT_TRUE(read_into(record, whole).ok);
    for (std::size_t n = 0; n < whole.size(); ++n) {
      SCOPED_TRACE(n);
      const read_result result = read_into(record, whole.substr(0, n));
      EXPECT_FALSE(result.ok);
      EXPECT_TRUE(record.empty());
      // Past the version the reason is logged.
      const std::vector<std::string> expected =
          n == 0 ? std::vector<std::string>{} : std::vector<std::string>{"umessage::unflatten() : truncated input"};
      EXPECT_EQ(result.errors, expected);
    }
  }
}

// ---- round trips ----

TEST(FlatRoundTrip, RecordsComeBackEqualWithTheirFlags) {
  const umessage records[] = {
      umessage(),
      umessage("ping"),
      umessage(""),
      sample_record(),
      [] {
        umessage m;
        m.add("limits", std::numeric_limits<double>::infinity());
        m.add("limits", -0.0);
        m.add("limits", std::numeric_limits<double>::denorm_min());
        m.add("ints", std::numeric_limits<int>::min());
        m.add("ints", std::numeric_limits<int>::max());
        m.add("longs", std::numeric_limits<std::int64_t>::min());
        m.add("longs", std::numeric_limits<std::int64_t>::max());
        m.add("text", ustring(std::string("nul\0inside", 10)));
        return m;
      }(),
  };
  for (const umessage& original : records) {
    const std::string bytes = flat(original);
    umessage copy;
    const read_result result = read_into(copy, bytes);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(copy, original);
    EXPECT_EQ(shape(copy), shape(original));
    EXPECT_EQ(flat(copy), bytes);
  }
}

TEST(FlatRoundTrip, ArrayFlagSurvivesOnlyInVersionFour) {
  umessage original;
  original.add_array("a", 1);
  std::string bytes = flat(original);
  umessage copy;
  ASSERT_TRUE(read_into(copy, bytes).ok);
  EXPECT_TRUE(copy.find("a")->is_array);

  // The same entry in version 3 has no is_array byte.
  ASSERT_TRUE(read_into(copy, form().head(3, {"a"}).packed(1).entry(1, 1, 1).packed(1)).ok);
  EXPECT_FALSE(copy.find("a")->is_array);
}

// ---- streams ----

// A stream buffer that cannot seek and hands out at most `chunk` bytes per
// refill.
class trickle_buffer : public std::streambuf {
 public:
  trickle_buffer(std::string bytes, std::size_t chunk) : bytes_(std::move(bytes)), chunk_(chunk) {}

 protected:
  int_type underflow() override {
    if (gptr() != nullptr && gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (next_ >= bytes_.size()) return traits_type::eof();
    const std::size_t n = std::min(chunk_, bytes_.size() - next_);
    char* start = bytes_.data() + next_;
    setg(start, start, start + n);
    next_ += n;
    return traits_type::to_int_type(*start);
  }

 private:
  std::string bytes_;
  std::size_t chunk_;
  std::size_t next_ = 0;
};

// A stream buffer that claims a huge remaining size but delivers little.
class boastful_buffer : public std::stringbuf {
 public:
  using std::stringbuf::stringbuf;

 protected:
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override {
    if (dir == std::ios_base::end) return pos_type(off_type{1} << 40);
    return std::stringbuf::seekoff(off, dir, which);
  }
};

TEST(FlatStreams, ReadsFromUnseekableStreamsInAnyChunking) {
  const std::string bytes = flat(sample_record());
  for (std::size_t chunk : {1, 2, 3, 5, 7, 13, 32, 1024}) {
    SCOPED_TRACE(chunk);
    trickle_buffer buffer(bytes, chunk);
    std::istream in(&buffer);
    umessage record;
    EXPECT_TRUE(record.unflatten(in));
    EXPECT_EQ(record, sample_record());
  }
}

TEST(FlatStreams, AnnouncedSizeDoesNotDecideTheMemoryUsed) {
  boastful_buffer buffer(flat(umessage("ping")));
  std::istream in(&buffer);
  umessage record;
  bool ok = false;
  const std::size_t largest = largest_allocation_during([&] { ok = record.unflatten(in); });
  EXPECT_TRUE(ok);
  EXPECT_EQ(record, umessage("ping"));
  EXPECT_LE(largest, std::size_t{2} << 20);
}

TEST(FlatStreams, ReadsFromTheCurrentPositionToTheEnd) {
  std::istringstream in("skip" + flat(umessage("ping")));
  in.ignore(4);
  umessage record;
  EXPECT_TRUE(record.unflatten(in));
  EXPECT_EQ(record, umessage("ping"));
  EXPECT_TRUE(in.eof());
}

TEST(FlatStreams, AFailedStreamGivesFalseSilently) {
  std::istringstream in(flat(umessage("ping")));
  in.setstate(std::ios_base::failbit);
  umessage record;
  record.add("stale", 1);
  captured_log log;
  EXPECT_FALSE(record.unflatten(in));
  EXPECT_TRUE(record.empty());
  EXPECT_TRUE(log.lines().empty());
}

}  // namespace
