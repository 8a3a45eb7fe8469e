#include "utils/umessage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using shared_record = std::shared_ptr<umessage>;

// Everything about a record that == does not look at: the flags and counts
// of each entry, beside the names and types.
std::vector<std::tuple<std::string, int, std::size_t, bool>> shape(const umessage& m) {
  std::vector<std::tuple<std::string, int, std::size_t, bool>> result;
  for (const auto& [name, array] : m)
    result.emplace_back(name.str(), array.type(), array.size(), array.is_array);
  return result;
}

std::vector<std::string> names_of(const umessage& m) {
  std::vector<std::string> result;
  for (const ustring& name : m.names()) result.push_back(name.str());
  return result;
}

// ---- ordering ----

TEST(UmessageOrder, NamesComeOutInByteOrderWhateverTheInsertionOrder) {
  static const struct {
    std::vector<std::string> added;
    std::vector<std::string> expected;
  } cases[] = {
      {{"b", "a", "c"}, {"a", "b", "c"}},
      {{"a", "B"}, {"B", "a"}},
      {{"ab", "a"}, {"a", "ab"}},
      {{"a", "ab", "a"}, {"a", "ab"}},
      // Bytes compare as unsigned: UTF-8 lead bytes sort after ASCII.
      {{"\xC3\xA9", "z", "A"}, {"A", "z", "\xC3\xA9"}},
      {{"a[1]", "a", "a b"}, {"a", "a b", "a[1]"}},
      {{std::string("a\0b", 3), "a"}, {"a", std::string("a\0b", 3)}},
  };
  for (const auto& c : cases) {
    umessage m;
    for (const std::string& name : c.added) m.add(ustring(name), 1);
    EXPECT_EQ(names_of(m), c.expected);
  }
}

// Appends at the end, at the front and in between take different routes.
TEST(UmessageOrder, EveryInsertionPatternKeepsEntriesFindable) {
  std::vector<std::string> names;
  for (int i = 0; i < 200; ++i) names.push_back("n" + std::to_string(i * 7919 % 1000));
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::string> descending(sorted.rbegin(), sorted.rend());

  for (const auto* order : {&names, &sorted, &descending}) {
    umessage m;
    for (const std::string& name : *order) m.add(ustring(name), static_cast<int>(name.size()));
    EXPECT_EQ(names_of(m), sorted);
    for (const std::string& name : sorted) {
      EXPECT_TRUE(m.has(ustring(name))) << name;
      EXPECT_EQ(m.value<int>(ustring(name)), static_cast<int>(name.size())) << name;
    }
    EXPECT_FALSE(m.has("n"));
    EXPECT_FALSE(m.has("n999x"));
  }
}

// ---- overloads ----

TEST(UmessageAppend, EachArgumentTypePicksItsValueType) {
  umessage m;
  m.add("int", 1);
  m.add("double", 1.5);
  m.add("float", 1.5f);
  m.add("bool", true);
  m.add("text", "text");
  m.add("ustring", ustring("u"));
  m.add("std_string", std::string("s"));
  m.add("int64", std::int64_t{5});
  m.add("long_long", 5LL);
  m.add("short", short{5});
  m.add("record", std::make_shared<umessage>("kind"));
  char buffer[] = "mutable";
  m.add("char_pointer", buffer);

  static const struct {
    const char* name;
    int type;
  } expected[] = {
      {"int", umessage::type_int},           {"double", umessage::type_double},
      {"float", umessage::type_double},      {"bool", umessage::type_bool},
      {"text", umessage::type_string},       {"ustring", umessage::type_string},
      {"std_string", umessage::type_string}, {"int64", umessage::type_int64},
      {"long_long", umessage::type_int64},   {"short", umessage::type_int},
      {"record", umessage::type_message},    {"char_pointer", umessage::type_string},
  };
  for (const auto& e : expected) {
    ASSERT_NE(m.find(e.name), nullptr) << e.name;
    EXPECT_EQ(m.find(e.name)->type(), e.type) << e.name;
  }
  EXPECT_EQ(m.value<ustring>("char_pointer"), "mutable");
  EXPECT_EQ(m.value<std::int64_t>("long_long"), 5);

  const char* null_text = nullptr;
  m.add("null_text", null_text);
  EXPECT_TRUE(m.has("null_text", umessage::type_string));
  EXPECT_EQ(m.value<ustring>("null_text", 0, "fallback"), "");
}

template <class V>
concept can_add = requires(umessage m, V v) {
  m.add("n", v);
};
template <class V>
concept can_add_array = requires(umessage m, V v) {
  m.add_array("n", v);
};
template <class V>
concept can_set = requires(umessage m, V v) {
  m.set("n", v);
};

// Every integer type picks one overload on LP64 and LLP64 alike; unsigned
// numbers and characters have no obvious value type and are refused.
static_assert(can_add<long> && can_add<long long> && can_add<short> && can_add<std::int64_t>);
static_assert(can_set<long> && can_add_array<long long>);
static_assert(!can_add<unsigned> && !can_add_array<std::size_t> && !can_set<char> && !can_add<char16_t>);
static_assert(can_add_array<umessage> && !can_add_array<shared_record> && !can_add<umessage>);

// ---- is_array ----

TEST(UmessageAppend, ArrayFlagRules) {
  static const struct {
    const char* name;
    std::function<void(umessage&)> build;
    std::size_t count;
    bool is_array;
  } cases[] = {
      {"add creates a single value", [](umessage& m) { m.add("n", 1); }, 1, false},
      {"add_array creates an array", [](umessage& m) { m.add_array("n", 1); }, 1, true},
      {"a second value makes an array",
       [](umessage& m) {
         m.add("n", 1);
         m.add("n", 2);
       },
       2, true},
      {"erasing down to one value keeps the flag",
       [](umessage& m) {
         m.add("n", 1);
         m.add("n", 2);
         m.erase("n", 0);
       },
       1, true},
      {"add to an add_array entry",
       [](umessage& m) {
         m.add_array("n", "a");
         m.add("n", "b");
       },
       2, true},
      {"add_array to an existing entry appends",
       [](umessage& m) {
         m.add("n", 1.0);
         m.add_array("n", 2.0);
       },
       2, true},
      {"set makes a single value again",
       [](umessage& m) {
         m.add_array("n", 1);
         m.add("n", 2);
         m.set("n", 3);
       },
       1, false},
      {"a copy keeps the flag",
       [](umessage& m) {
         m.add_array("n", true);
         m = umessage(m);
       },
       1, true},
      {"add_array of a record", [](umessage& m) { m.add_array("n", umessage("k")); }, 1, true},
  };
  for (const auto& c : cases) {
    umessage m;
    c.build(m);
    ASSERT_NE(m.find("n"), nullptr) << c.name;
    EXPECT_EQ(m.count("n"), c.count) << c.name;
    EXPECT_EQ(m.find("n")->is_array, c.is_array) << c.name;
  }
}

// ---- append failures ----

class UmessageAppendFailure : public ::testing::Test {
 protected:
  UmessageAppendFailure() {
    record.add("i", 1);
    record.add("s", "text");
    record.add("s", "more");
    record.add_array("d", 2.5);
    record.add("m", std::make_shared<umessage>("nested"));
  }
  umessage record;
};

TEST_F(UmessageAppendFailure, FailedAppendsThrowAndChangeNothing) {
  enum class thrown { invalid_argument, logic_error };
  static const struct {
    const char* name;
    std::function<void(umessage&)> operation;
    thrown kind;
    const char* text;
  } cases[] = {
      {"empty name", [](umessage& m) { m.add("", 1); }, thrown::invalid_argument, "empty or invalid name"},
      {"slash in name", [](umessage& m) { m.add("a/b", 1); }, thrown::invalid_argument,
       "empty or invalid name"},
      {"question mark", [](umessage& m) { m.add_array("?", "x"); }, thrown::invalid_argument,
       "empty or invalid name"},
      {"question mark inside", [](umessage& m) { m.set("a?", 1.0); }, thrown::invalid_argument,
       "empty or invalid name"},
      {"record under an invalid name", [](umessage& m) { m.add_array("/", umessage()); },
       thrown::invalid_argument, "empty or invalid name"},
      {"string to int entry", [](umessage& m) { m.add("i", "x"); }, thrown::logic_error, "incompatible type"},
      {"int64 to int entry", [](umessage& m) { m.add("i", std::int64_t{1}); }, thrown::logic_error,
       "incompatible type"},
      {"double to int entry", [](umessage& m) { m.add_array("i", 1.0); }, thrown::logic_error,
       "incompatible type"},
      {"int to string array", [](umessage& m) { m.add("s", 3); }, thrown::logic_error, "incompatible type"},
      {"bool to double entry", [](umessage& m) { m.add("d", false); }, thrown::logic_error,
       "incompatible type"},
      {"int to record entry", [](umessage& m) { m.add("m", 1); }, thrown::logic_error, "incompatible type"},
      {"record to int entry", [](umessage& m) { m.add_array("i", umessage()); }, thrown::logic_error,
       "incompatible type"},
      {"null record", [](umessage& m) { m.add("n", shared_record()); }, thrown::invalid_argument,
       "record is null"},
      {"null record replacing", [](umessage& m) { m.set("m", shared_record()); }, thrown::invalid_argument,
       "record is null"},
  };
  const umessage before = record;
  const auto before_shape = shape(record);
  for (const auto& c : cases) {
    try {
      c.operation(record);
      ADD_FAILURE() << c.name << ": nothing thrown";
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(c.kind, thrown::invalid_argument) << c.name;
      EXPECT_STREQ(e.what(), c.text) << c.name;
    } catch (const std::logic_error& e) {
      EXPECT_EQ(c.kind, thrown::logic_error) << c.name;
      EXPECT_STREQ(e.what(), c.text) << c.name;
    }
    EXPECT_EQ(record, before) << c.name;
    EXPECT_EQ(shape(record), before_shape) << c.name;
  }
}

TEST_F(UmessageAppendFailure, UnusualButValidNamesAreAccepted) {
  for (const char* name : {"a[1]", "a b", "[", "]", "\xE2\x82\xAC", "*"}) {
    EXPECT_NO_THROW(record.add(name, 1)) << name;
    EXPECT_TRUE(record.has(name, umessage::type_int)) << name;
  }
}

TEST(UmessageSet, ReplacesTheEntryWhateverItsType) {
  umessage m;
  m.add("n", 1);
  m.add("n", 2);
  m.set("n", "text");
  EXPECT_TRUE(m.has("n", umessage::type_string));
  EXPECT_EQ(m.count("n"), 1u);
  m.set("fresh", 2.5);
  EXPECT_EQ(m.value<double>("fresh"), 2.5);
  EXPECT_THROW(m.set("", 1), std::invalid_argument);
}

// ---- reading ----

class UmessageRead : public ::testing::Test {
 protected:
  UmessageRead() {
    m.add("int", 7);
    m.add("neg_int", -7);
    m.add("double", 2.9);
    m.add("neg_double", -2.9);
    m.add("huge_double", 1e20);
    m.add("neg_huge_double", -1e20);
    m.add("int_max_and_a_bit", 2147483647.9);
    m.add("int_min_and_a_bit", -2147483648.9);
    m.add("two_pow_31", 2147483648.0);
    m.add("below_int_min", -2147483649.5);
    m.add("two_pow_63", 9223372036854775808.0);
    m.add("infinity", std::numeric_limits<double>::infinity());
    m.add("nan", std::nan(""));
    m.add("int64", std::int64_t{5000000000});
    m.add("neg_int64", std::int64_t{-5});
    m.add("int64_odd", std::int64_t{(std::int64_t{1} << 53) + 1});
    m.add("bool", true);
    m.add("string", "x");
    m.add("record", std::make_shared<umessage>("nested"));
  }
  umessage m;
};

TEST_F(UmessageRead, ConversionTable) {
  using std::nullopt;
  constexpr int int_max = std::numeric_limits<int>::max();
  constexpr int int_min = std::numeric_limits<int>::min();
  constexpr std::int64_t int64_max = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t int64_min = std::numeric_limits<std::int64_t>::min();
  static const struct {
    const char* entry;
    std::optional<int> as_int;
    std::optional<double> as_double;
    std::optional<std::int64_t> as_int64;
    std::optional<bool> as_bool;
    std::optional<std::string> as_string;
  } cases[] = {
      {"int", 7, 7.0, 7, nullopt, nullopt},
      {"neg_int", -7, -7.0, -7, nullopt, nullopt},
      {"double", 2, 2.9, 2, nullopt, nullopt},
      {"neg_double", -2, -2.9, -2, nullopt, nullopt},
      {"huge_double", int_max, 1e20, int64_max, nullopt, nullopt},
      {"neg_huge_double", int_min, -1e20, int64_min, nullopt, nullopt},
      {"int_max_and_a_bit", int_max, 2147483647.9, 2147483647, nullopt, nullopt},
      {"int_min_and_a_bit", int_min, -2147483648.9, -2147483648LL, nullopt, nullopt},
      {"two_pow_31", int_max, 2147483648.0, 2147483648LL, nullopt, nullopt},
      {"below_int_min", int_min, -2147483649.5, -2147483649LL, nullopt, nullopt},
      {"two_pow_63", int_max, 9223372036854775808.0, int64_max, nullopt, nullopt},
      {"infinity", int_max, std::numeric_limits<double>::infinity(), int64_max, nullopt, nullopt},
      // An int64 read as int keeps its low 32 bits.
      {"int64", 705032704, 5e9, 5000000000LL, nullopt, nullopt},
      {"neg_int64", -5, -5.0, -5, nullopt, nullopt},
      {"int64_odd", 1, 9007199254740992.0, (std::int64_t{1} << 53) + 1, nullopt, nullopt},
      {"bool", nullopt, nullopt, nullopt, true, nullopt},
      {"string", nullopt, nullopt, nullopt, nullopt, "x"},
      {"record", nullopt, nullopt, nullopt, nullopt, nullopt},
      {"missing", nullopt, nullopt, nullopt, nullopt, nullopt},
  };
  for (const auto& c : cases) {
    // Failed reads leave out untouched: start from a sentinel.
    int i = 12345;
    EXPECT_EQ(m.get(c.entry, 0, i), c.as_int.has_value()) << c.entry;
    EXPECT_EQ(i, c.as_int.value_or(12345)) << c.entry;
    double d = 0.125;
    EXPECT_EQ(m.get(c.entry, 0, d), c.as_double.has_value()) << c.entry;
    EXPECT_EQ(d, c.as_double.value_or(0.125)) << c.entry;
    std::int64_t l = 54321;
    EXPECT_EQ(m.get(c.entry, 0, l), c.as_int64.has_value()) << c.entry;
    EXPECT_EQ(l, c.as_int64.value_or(54321)) << c.entry;
    bool b = false;
    EXPECT_EQ(m.get(c.entry, 0, b), c.as_bool.has_value()) << c.entry;
    EXPECT_EQ(b, c.as_bool.value_or(false)) << c.entry;
    ustring s = "sentinel";
    EXPECT_EQ(m.get(c.entry, 0, s), c.as_string.has_value()) << c.entry;
    EXPECT_EQ(s.str(), c.as_string.value_or("sentinel")) << c.entry;
    // Past the last value nothing can be read.
    EXPECT_FALSE(m.get(c.entry, 1, i)) << c.entry;
    EXPECT_FALSE(m.get(c.entry, 1, d)) << c.entry;
  }
}

TEST_F(UmessageRead, NanHasNoIntegerValue) {
  int i = 3;
  std::int64_t l = 4;
  double d = 0;
  EXPECT_FALSE(m.get("nan", 0, i));
  EXPECT_FALSE(m.get("nan", 0, l));
  EXPECT_EQ(i, 3);
  EXPECT_EQ(l, 4);
  EXPECT_TRUE(m.get("nan", 0, d));
  EXPECT_TRUE(std::isnan(d));
}

TEST_F(UmessageRead, RecordsOnlyFromRecordEntries) {
  umessage out("sentinel");
  shared_record shared;
  for (const char* entry : {"int", "string", "missing"}) {
    EXPECT_FALSE(m.get(entry, 0, out)) << entry;
    EXPECT_FALSE(m.get(entry, 0, shared)) << entry;
  }
  EXPECT_EQ(out.what(), "sentinel");
  EXPECT_EQ(shared, nullptr);
  EXPECT_TRUE(m.get("record", 0, out));
  EXPECT_EQ(out.what(), "nested");
  EXPECT_FALSE(m.get("record", 1, shared));
}

TEST_F(UmessageRead, ValueFallsBackToDefaults) {
  EXPECT_EQ(m.value<int>("missing"), 0);
  EXPECT_EQ(m.value<double>("string"), 0.0);
  EXPECT_EQ(m.value<std::int64_t>("bool"), 0);
  EXPECT_FALSE(m.value<bool>("int"));  // no bool from an int entry
  EXPECT_EQ(m.value<ustring>("int"), "");
  EXPECT_TRUE(m.value<umessage>("int").empty());
  EXPECT_EQ(m.value<shared_record>("int"), nullptr);
  EXPECT_EQ(m.value("missing", 0, 1.5), 1.5);
  EXPECT_EQ(m.value("double", 0, 1.5), 2.9);
  EXPECT_EQ(m.value("double", 1, 1.5), 1.5);
  EXPECT_EQ(m.value<int>("double"), 2);
  EXPECT_TRUE(m.value<bool>("bool"));
  EXPECT_EQ(m.value<ustring>("string", 0, "fallback"), "x");
  EXPECT_EQ(m.value<umessage>("record").what(), "nested");
}

TEST_F(UmessageRead, HasAndCount) {
  m.add("int", 8);
  EXPECT_TRUE(m.has("int"));
  EXPECT_TRUE(m.has("int", umessage::type_int, 1));
  EXPECT_FALSE(m.has("int", umessage::type_int, 2));
  EXPECT_FALSE(m.has("int", umessage::type_int64));
  EXPECT_TRUE(m.has("int64", umessage::type_none));
  EXPECT_FALSE(m.has("missing"));

  std::size_t n = 99;
  EXPECT_TRUE(m.count("int", n));
  EXPECT_EQ(n, 2u);
  EXPECT_FALSE(m.count("missing", n));
  EXPECT_EQ(n, 0u);
}

// ---- erasing, kind ----

TEST(UmessageErase, ErasingValuesAndEntries) {
  umessage m;
  m.add("one", 1);
  m.add("two", "a");
  m.add("two", "b");

  m.erase("one", 0);
  EXPECT_FALSE(m.has("one"));
  EXPECT_EQ(m.size(), 1u);

  m.erase("two", 2);  // past the count: harmless
  m.erase("two", std::numeric_limits<std::size_t>::max());
  EXPECT_EQ(m.count("two"), 2u);
  m.erase("missing", 0);
  m.erase("missing");
  EXPECT_EQ(m.size(), 1u);

  m.erase("two", 0);
  EXPECT_EQ(m.value<ustring>("two"), "b");
  m.erase("two");
  EXPECT_TRUE(m.empty());
}

TEST(UmessageKind, EmptyKindIsStoredByTheConstructorButRemovedBySetWhat) {
  const umessage empty_kind{ustring()};
  EXPECT_TRUE(empty_kind.has("what", umessage::type_string));
  EXPECT_EQ(empty_kind.what(), "");

  umessage m("ping");
  EXPECT_EQ(m.what(), "ping");
  m.set_what("about");
  EXPECT_EQ(m.what(), "about");
  EXPECT_EQ(m.count("what"), 1u);
  m.set_what("");
  EXPECT_FALSE(m.has("what"));

  m.add("what", 5);  // a "what" that is no string is no kind
  EXPECT_EQ(m.what(), "");
  m.set_what("joblist");
  EXPECT_EQ(m.what(), "joblist");
}

// ---- whole-record operations ----

TEST(UmessageRecord, ClearSwapAndIteration) {
  umessage a("a");
  a.add("n", 1);
  a.add("n", 2);
  umessage b;
  b.add("x", 1.5);

  a.swap(b);
  EXPECT_EQ(names_of(a), std::vector<std::string>{"x"});
  EXPECT_EQ(names_of(b), (std::vector<std::string>{"n", "what"}));

  // What a codec sees.
  std::vector<std::string> seen;
  for (const auto& [name, array] : b) {
    if (const auto* ints = array.as<std::int32_t>()) {
      EXPECT_EQ(ints->values, (std::vector<std::int32_t>{1, 2}));
      EXPECT_TRUE(array.is_array);
    }
    if (const auto* texts = array.as<ustring>()) {
      EXPECT_EQ(texts->values.at(0), "a");
    }
    EXPECT_EQ(array.as<double>(), nullptr);
    seen.push_back(name.str());
  }
  EXPECT_EQ(seen, names_of(b));

  b.clear();
  EXPECT_TRUE(b.empty());
  EXPECT_EQ(b.begin(), b.end());
}

shared_record nested(int v) {
  auto r = std::make_shared<umessage>("n");
  r->add("v", v);
  return r;
}

TEST(UmessageRecord, EqualityIgnoresFlagsAndInsertionOrder) {
  static const struct {
    const char* name;
    std::function<void(umessage&)> left;
    std::function<void(umessage&)> right;
    bool equal;
  } cases[] = {
      {"insertion order",
       [](umessage& m) {
         m.add("a", 1);
         m.add("b", "x");
       },
       [](umessage& m) {
         m.add("b", "x");
         m.add("a", 1);
       },
       true},
      {"is_array", [](umessage& m) { m.add("a", 1); }, [](umessage& m) { m.add_array("a", 1); }, true},
      {"value order",
       [](umessage& m) {
         m.add("a", 1);
         m.add("a", 2);
       },
       [](umessage& m) {
         m.add("a", 2);
         m.add("a", 1);
       },
       false},
      {"int against int64", [](umessage& m) { m.add("a", 1); },
       [](umessage& m) { m.add("a", std::int64_t{1}); }, false},
      {"int against double", [](umessage& m) { m.add("a", 1); }, [](umessage& m) { m.add("a", 1.0); }, false},
      {"doubles compare exactly", [](umessage& m) { m.add("a", 0.1 + 0.2); },
       [](umessage& m) { m.add("a", 0.3); }, false},
      {"value count", [](umessage& m) { m.add("a", true); },
       [](umessage& m) {
         m.add("a", true);
         m.add("a", true);
       },
       false},
      {"names", [](umessage& m) { m.add("a", "x"); }, [](umessage& m) { m.add("b", "x"); }, false},
      {"extra entry", [](umessage& m) { m.add("a", "x"); },
       [](umessage& m) {
         m.add("a", "x");
         m.add("b", "x");
       },
       false},
      {"nested by content", [](umessage& m) { m.add("r", nested(1)); },
       [](umessage& m) { m.add("r", nested(1)); }, true},
      {"nested differ", [](umessage& m) { m.add("r", nested(1)); },
       [](umessage& m) { m.add("r", nested(2)); }, false},
      {"empty records", [](umessage&) {}, [](umessage&) {}, true},
  };
  for (const auto& c : cases) {
    umessage left;
    umessage right;
    c.left(left);
    c.right(right);
    EXPECT_EQ(left == right, c.equal) << c.name;
    EXPECT_EQ(left != right, !c.equal) << c.name;
    EXPECT_EQ(right == left, c.equal) << c.name;
  }
}

// ---- storage ----

// Every value of a record as text, in entry order: what a record must still
// hold after its entries were moved around in memory.
std::string contents(const umessage& m) {
  std::string out;
  for (const auto& [name, array] : m) {
    out += name.str() + (array.is_array ? "*=" : "=");
    if (const auto* v = array.as<std::int32_t>()) {
      for (std::int32_t x : v->values) out += std::to_string(x) + ",";
    } else if (const auto* v = array.as<std::int64_t>()) {
      for (std::int64_t x : v->values) out += std::to_string(x) + "L,";
    } else if (const auto* v = array.as<double>()) {
      for (double x : v->values) out += std::to_string(x) + ",";
    } else if (const auto* v = array.as<bool>()) {
      for (bool x : v->values) out += x ? "true," : "false,";
    } else if (const auto* v = array.as<ustring>()) {
      for (const ustring& x : v->values) out += "'" + x.str() + "',";
    } else if (const auto* v = array.as<shared_record>()) {
      for (const shared_record& x : v->values) out += "{" + contents(*x) + "},";
    }
    out += ";";
  }
  return out;
}

// Entries keep their arrays inside the record's entry vector, and the first
// few values inside the array: inserting or erasing an entry, copying and
// moving the record move those values in memory. Every entry type, with one
// value (held inline) and with many (held on the heap), must come through.
TEST(UmessageStorage, ValuesSurviveEntriesMovingInMemory) {
  const std::string long_text(40, 'L');  // a string with a heap block of its own
  auto fill = [&](umessage& m, const std::string& prefix) {
    // Names added in descending order: each new entry goes to the front and
    // shifts all others.
    for (int i = 9; i >= 0; --i) {
      const std::string name = prefix + std::to_string(i);
      switch (i % 6) {
        case 0:
          for (int k = 0; k <= i; ++k) m.add(name, k);
          break;
        case 1:
          for (int k = 0; k <= i; ++k) m.add(name, std::int64_t{k} << 40);
          break;
        case 2:
          for (int k = 0; k <= i; ++k) m.add(name, 0.5 * k);
          break;
        case 3:
          for (int k = 0; k <= i; ++k) m.add(name, k % 2 == 0);
          break;
        case 4:
          for (int k = 0; k <= i; ++k) m.add(name, ustring(long_text + std::to_string(k)));
          break;
        default:
          for (int k = 0; k <= i; ++k) {
            auto child = std::make_shared<umessage>("child");
            child->add("k", k);
            child->add("s", ustring(long_text));
            m.add(name, child);
          }
          break;
      }
    }
  };
  umessage built;
  fill(built, "b");
  fill(built, "a");  // all of these go in front of the "b" entries
  umessage expected_source;
  fill(expected_source, "a");
  fill(expected_source, "b");
  const std::string expected = contents(expected_source);
  ASSERT_EQ(contents(built), expected);

  built.add("a00", 1);  // one more in the middle
  built.erase("a00");
  EXPECT_EQ(contents(built), expected);

  const umessage copied(built);
  umessage assigned("old");
  assigned = built;
  umessage moved(std::move(built));
  umessage move_assigned("old");
  move_assigned = std::move(moved);
  for (const umessage* m : std::initializer_list<const umessage*>{&copied, &assigned, &move_assigned})
    EXPECT_EQ(contents(*m), expected);

  // Erasing values and entries in the middle shifts what follows.
  move_assigned.erase("a4", 0);
  move_assigned.erase("a3");
  move_assigned.erase("b0", 0);  // its only value: the entry goes
  EXPECT_EQ(move_assigned.count("a4"), 4u);
  EXPECT_FALSE(move_assigned.has("a3"));
  EXPECT_FALSE(move_assigned.has("b0"));
  EXPECT_EQ(move_assigned.value<ustring>("a4", 0), ustring(long_text + "1"));
  EXPECT_EQ(move_assigned.value<int>("b6", 6), 6);
  EXPECT_EQ(contents(copied), expected) << "a copy shares nothing";
}

// ---- sharing and copying ----

class UmessageSharing : public ::testing::Test {
 protected:
  UmessageSharing() : child(std::make_shared<umessage>("child")) {
    child->add("v", 1);
    parent.add("child", child);
  }
  shared_record child;
  umessage parent;
};

TEST_F(UmessageSharing, AddStoresTheVeryRecord) {
  child->set("v", 2);
  EXPECT_EQ(parent.message_at("child"), child);
  EXPECT_EQ(parent.message_at("child")->value<int>("v"), 2);
  shared_record out;
  ASSERT_TRUE(parent.get("child", 0, out));
  EXPECT_EQ(out, child);
  EXPECT_EQ(parent.value<shared_record>("child"), child);
}

TEST_F(UmessageSharing, CopiesAreDeep) {
  const umessage copy(parent);
  umessage assigned;
  assigned.add("old", 1);
  assigned = parent;
  const umessage from_pointer(&parent);
  umessage read_copy;
  ASSERT_TRUE(parent.get("child", 0, read_copy));

  parent.message_at("child")->set("v", 3);
  for (const umessage* m : std::initializer_list<const umessage*>{&copy, &assigned, &from_pointer}) {
    EXPECT_EQ(m->message_at("child")->value<int>("v"), 1);
    EXPECT_NE(m->message_at("child"), child);
  }
  EXPECT_EQ(read_copy.value<int>("v"), 1);
  EXPECT_FALSE(assigned.has("old"));
  read_copy.set("v", 4);
  EXPECT_EQ(child->value<int>("v"), 3);
}

TEST_F(UmessageSharing, AddArrayStoresACopy) {
  umessage local("item");
  parent.add_array("items", local);
  local.add("late", 1);
  EXPECT_FALSE(parent.message_at("items")->has("late"));
}

TEST_F(UmessageSharing, MoveKeepsNestedRecordsAndEmptiesTheSource) {
  umessage moved(std::move(parent));
  EXPECT_EQ(moved.message_at("child"), child);
  EXPECT_TRUE(parent.empty());  // NOLINT(bugprone-use-after-move): a moved-from record is empty
  umessage target("old");
  target = std::move(moved);
  EXPECT_EQ(target.message_at("child"), child);
  EXPECT_FALSE(target.has("what"));

  const umessage from_null(static_cast<const umessage*>(nullptr));
  EXPECT_TRUE(from_null.empty());
}

TEST_F(UmessageSharing, AssigningFromWithinItselfIsSafe) {
  umessage& self = parent;
  parent = self;
  EXPECT_EQ(parent.message_at("child"), child);

  // The nested record is copied before the parent drops its entries.
  child.reset();
  ASSERT_TRUE(parent.get("child", 0, parent));
  EXPECT_EQ(parent.what(), "child");
  EXPECT_EQ(parent.value<int>("v"), 1);
}

// ---- paths ----

// root     { what: "root", ...
//   job      { what: "job", dest: [ {name: "first"}, {name: "second"} ] }
//   x        { what: "kind" }
//   "dest[]" { name: "odd" }
//   n        [1, 2]
umessage path_fixture() {
  umessage root("root");
  auto job = std::make_shared<umessage>("job");
  for (const char* name : {"first", "second"}) {
    umessage dest("dest");
    dest.add("name", name);
    job->add_array("dest", dest);
  }
  root.add("job", job);
  root.add("x", std::make_shared<umessage>("kind"));
  auto odd = std::make_shared<umessage>();
  odd->add("name", "odd");
  root.add("dest[]", odd);
  root.add("n", 1);
  root.add("n", 2);
  return root;
}

class UmessagePath : public ::testing::Test {
 protected:
  // The record a path resolved to, told by its contents.
  std::string label(const umessage* record) const {
    if (record == &root) return "root";
    if (record->has("name")) return record->value<ustring>("name").str();
    return record->what().str();
  }

  umessage root = path_fixture();
};

TEST_F(UmessagePath, FindPathSplitsPieces) {
  constexpr int int_max = std::numeric_limits<int>::max();
  constexpr int int_min = std::numeric_limits<int>::min();
  static const struct {
    const char* path;
    bool resolves;
    const char* record;
    const char* leaf;
    int index;
    bool is_what;
  } cases[] = {
      {"job/dest[1]/name", true, "second", "name", 0, false},
      {"job/dest[0]/name", true, "first", "name", 0, false},
      {"job/dest/name", true, "first", "name", 0, false},
      {"/job//dest[1]/name/", true, "second", "name", 0, false},
      {"job/dest[ 1]/name", true, "second", "name", 0, false},
      {"job/dest[+1]/name", true, "second", "name", 0, false},
      {"job/dest[1x]/name", true, "second", "name", 0, false},
      {"job/dest[x]/name", true, "first", "name", 0, false},
      {"job/dest[1]", true, "job", "dest", 1, false},
      {"job/dest[-1]", true, "job", "dest", -1, false},
      {"job/dest[99999999999]", true, "job", "dest", int_max, false},
      {"job/dest[-99999999999]", true, "job", "dest", int_min, false},
      {"dest[]", true, "root", "dest[]", 0, false},
      {"dest[]/name", true, "odd", "name", 0, false},
      {"dest[1", true, "root", "dest[1", 0, false},
      {"[1]", true, "root", "[1]", 0, false},
      {"a]b[1]", true, "root", "a]b[1]", 0, false},
      {"a[b]c[2]", true, "root", "a", 0, false},
      {"x/?", true, "kind", "what", 0, true},
      {"?", true, "root", "what", 0, true},
      {"missing", true, "root", "missing", 0, false},
      {"", false, "", "", 0, false},
      {"///", false, "", "", 0, false},
      {"job/dest[2]/name", false, "", "", 0, false},
      {"job/dest[-1]/name", false, "", "", 0, false},
      {"job/dest[99999999999]/name", false, "", "", 0, false},
      {"job/dest[]/name", false, "", "", 0, false},
      {"missing/name", false, "", "", 0, false},
      {"n/name", false, "", "", 0, false},
      {"?/name", false, "", "", 0, false},
      {"x/?/name", false, "", "", 0, false},
  };
  for (const auto& c : cases) {
    const auto target = std::as_const(root).find_path(c.path);
    ASSERT_EQ(target.has_value(), c.resolves) << c.path;
    if (!target) continue;
    EXPECT_EQ(label(target->record), c.record) << c.path;
    EXPECT_EQ(target->name, c.leaf) << c.path;
    EXPECT_EQ(target->index, c.index) << c.path;
    EXPECT_EQ(target->is_what, c.is_what) << c.path;
  }
  // The mutable form reaches the same records.
  const auto target = root.find_path("job/dest[1]/name");
  ASSERT_TRUE(target.has_value());
  EXPECT_EQ(target->record, root.message_at("job/dest[1]").get());
}

TEST_F(UmessagePath, MessageAtAndHasPath) {
  static const struct {
    const char* path;
    const char* message;  // label of message_at, nullptr for none
    bool has;
    std::size_t count;
  } cases[] = {
      {"job", "job", true, 1},
      {"job/dest[1]", "second", true, 2},
      {"job/dest", "first", true, 2},
      {"job/dest[2]", nullptr, false, 2},
      {"job/dest[-1]", nullptr, false, 2},
      {"dest[]", "odd", true, 1},
      {"job/dest[1]/name", nullptr, true, 1},
      {"n[1]", nullptr, true, 2},
      {"n[2]", nullptr, false, 2},
      {"x/?", nullptr, true, 1},
      {"job/missing/?", nullptr, false, 0},
      {"missing", nullptr, false, 0},
      {"", nullptr, false, 0},
  };
  for (const auto& c : cases) {
    const shared_record found = root.message_at(c.path);
    if (c.message == nullptr) {
      EXPECT_EQ(found, nullptr) << c.path;
    } else {
      ASSERT_NE(found, nullptr) << c.path;
      EXPECT_EQ(label(found.get()), c.message) << c.path;
    }
    std::size_t count = 99;
    EXPECT_EQ(root.has_path(c.path, count), c.has) << c.path;
    EXPECT_EQ(count, c.count) << c.path;
    EXPECT_EQ(root.has_path(c.path), c.has) << c.path;
  }
}

TEST_F(UmessagePath, ErasePath) {
  static const struct {
    const char* erased;
    bool resolves;
    const char* checked;  // a path whose count tells the effect
    std::size_t count;
  } cases[] = {
      {"job/dest[0]", true, "job/dest", 1},
      {"job/dest[1]/name", true, "job/dest[1]/name", 0},
      {"x/?", true, "x/what", 0},
      {"?", true, "what", 0},
      {"n[1]", true, "n", 1},
      {"n[5]", true, "n", 2},
      {"n[-1]", true, "n", 2},
      {"n", true, "n", 1},  // a plain leaf is index 0: one value goes
      {"missing/n", false, "n", 2},
      {"", false, "n", 2},
  };
  for (const auto& c : cases) {
    umessage m = path_fixture();
    EXPECT_EQ(m.erase_path(c.erased), c.resolves) << c.erased;
    std::size_t count = 99;
    m.has_path(c.checked, count);
    EXPECT_EQ(count, c.count) << c.erased;
  }
  // Erasing the first destination leaves the second one in place.
  root.erase_path("job/dest[0]");
  EXPECT_EQ(label(root.message_at("job/dest").get()), "second");
}

}  // namespace
