#include "utils/USmallVector.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "utils/ustring.h"

namespace {

// Counts live instances, so that a test sees every element destroyed once.
// Copies throw once `copies_left` reaches zero (when armed).
struct Tracked {
  static inline int live = 0;
  static inline int copies_left = -1;  // -1: never throw

  explicit Tracked(int v = 0) : value(v) { ++live; }
  Tracked(const Tracked& other) : value(other.value) {
    if (copies_left == 0) throw std::runtime_error("copy refused");
    if (copies_left > 0) --copies_left;
    ++live;
  }
  Tracked(Tracked&& other) noexcept : value(other.value) {
    other.value = -1;
    ++live;
  }
  Tracked& operator=(const Tracked&) = default;
  Tracked& operator=(Tracked&& other) noexcept {
    value = other.value;
    other.value = -1;
    return *this;
  }
  ~Tracked() { --live; }
  bool operator==(const Tracked& other) const { return value == other.value; }

  int value;
};

using Small = USmallVector<Tracked, 2>;

std::vector<int> values_of(const Small& v) {
  std::vector<int> out;
  for (const Tracked& t : v) out.push_back(t.value);
  return out;
}

class SmallVectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Tracked::live = 0;
    Tracked::copies_left = -1;
  }
  void TearDown() override { EXPECT_EQ(Tracked::live, 0) << "an element leaked or was destroyed twice"; }
};

TEST_F(SmallVectorTest, StaysInlineUpToItsCapacityThenMovesToTheHeap) {
  Small v;
  EXPECT_TRUE(v.empty());
  EXPECT_EQ(v.capacity(), 2u);
  v.emplace_back(1);
  v.push_back(Tracked(2));
  EXPECT_TRUE(v.is_inline());
  v.emplace_back(3);
  EXPECT_FALSE(v.is_inline());
  EXPECT_GE(v.capacity(), 3u);
  EXPECT_EQ(values_of(v), (std::vector<int>{1, 2, 3}));
  v.clear();
  EXPECT_TRUE(v.empty());
  EXPECT_FALSE(v.is_inline()) << "clear keeps the heap block";
}

// Each source shape (empty, inline, on the heap) copied and moved into each
// target shape: values arrive, the copy source is untouched, the move source
// is left empty and usable.
TEST_F(SmallVectorTest, CopyAndMoveBetweenInlineAndHeapVectors) {
  const std::vector<std::vector<int>> shapes = {{}, {7}, {1, 2}, {1, 2, 3, 4, 5}};
  auto make = [](const std::vector<int>& values) {
    Small v;
    for (int x : values) v.emplace_back(x);
    return v;
  };
  for (const auto& from : shapes) {
    for (const auto& to : shapes) {
      SCOPED_TRACE(::testing::PrintToString(from) + " into " + ::testing::PrintToString(to));
      {
        const Small source = make(from);
        Small target = make(to);
        target = source;
        EXPECT_EQ(values_of(target), from);
        EXPECT_EQ(values_of(source), from);
      }
      {
        Small source = make(from);
        Small target = make(to);
        target = std::move(source);
        EXPECT_EQ(values_of(target), from);
        EXPECT_TRUE(source.empty());
        source.emplace_back(9);
        EXPECT_EQ(values_of(source), std::vector<int>{9});
      }
      {
        Small source = make(from);
        Small built(std::move(source));
        EXPECT_EQ(values_of(built), from);
        EXPECT_TRUE(source.empty());
      }
      {
        Small a = make(from);
        Small b = make(to);
        swap(a, b);
        EXPECT_EQ(values_of(a), to);
        EXPECT_EQ(values_of(b), from);
      }
    }
  }
}

TEST_F(SmallVectorTest, InsertAndEraseKeepTheOrder) {
  static const struct {
    const char* what;
    void (*edit)(Small&);
    std::vector<int> expected;
  } cases[] = {
      {"erase the first", [](Small& v) { v.erase(v.begin()); }, {2, 3, 4}},
      {"erase the last", [](Small& v) { v.erase(v.end() - 1); }, {1, 2, 3}},
      {"erase a range", [](Small& v) { v.erase(v.begin() + 1, v.begin() + 3); }, {1, 4}},
      {"erase an empty range", [](Small& v) { v.erase(v.begin() + 1, v.begin() + 1); }, {1, 2, 3, 4}},
      {"insert at the front", [](Small& v) { v.insert(v.begin(), Tracked(0)); }, {0, 1, 2, 3, 4}},
      {"emplace in the middle", [](Small& v) { v.emplace(v.begin() + 2, 9); }, {1, 2, 9, 3, 4}},
      {"pop the last", [](Small& v) { v.pop_back(); }, {1, 2, 3}},
      {"resize down", [](Small& v) { v.resize(1); }, {1}},
      {"resize up with a value", [](Small& v) { v.resize(6, Tracked(8)); }, {1, 2, 3, 4, 8, 8}},
      {"assign a count", [](Small& v) { v.assign(2, Tracked(5)); }, {5, 5}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Small v;
    for (int x : {1, 2, 3, 4}) v.emplace_back(x);
    c.edit(v);
    EXPECT_EQ(values_of(v), c.expected);
  }
}

// Growing while the new element is one of the elements: it must be copied
// before the old block goes.
TEST_F(SmallVectorTest, AppendingAnOwnElementWhileGrowing) {
  Small v;
  v.emplace_back(1);
  v.emplace_back(2);
  v.push_back(v[0]);  // grows
  v.resize(8, v[1]);  // grows again
  EXPECT_EQ(values_of(v), (std::vector<int>{1, 2, 1, 2, 2, 2, 2, 2}));
  v.assign(3, v.back());
  EXPECT_EQ(values_of(v), (std::vector<int>{2, 2, 2}));
}

TEST_F(SmallVectorTest, FailedCopyWhileGrowingChangesNothing) {
  Small v;
  v.emplace_back(1);
  v.emplace_back(2);
  const Tracked extra(3);
  Tracked::copies_left = 0;
  EXPECT_THROW(v.push_back(extra), std::runtime_error);
  Tracked::copies_left = -1;
  EXPECT_EQ(values_of(v), (std::vector<int>{1, 2}));
  EXPECT_TRUE(v.is_inline());
}

TEST_F(SmallVectorTest, FailedCopyOfAVectorLeaksNothing) {
  Small source;
  for (int x : {1, 2, 3, 4}) source.emplace_back(x);
  Tracked::copies_left = 2;
  EXPECT_THROW(Small copy(source), std::runtime_error);
  Tracked::copies_left = -1;
  EXPECT_EQ(values_of(source), (std::vector<int>{1, 2, 3, 4}));
}

TEST(SmallVector, ElementAccessAndBounds) {
  USmallVector<int, 4> v{5, 6, 7};
  EXPECT_EQ(v.front(), 5);
  EXPECT_EQ(v.back(), 7);
  EXPECT_EQ(v[1], 6);
  EXPECT_EQ(v.at(2), 7);
  EXPECT_THROW(static_cast<void>(v.at(3)), std::out_of_range);
  EXPECT_EQ(*v.rbegin(), 7);
  EXPECT_EQ(v.data(), &v[0]);
  const std::vector<int> reversed(v.rbegin(), v.rend());
  EXPECT_EQ(reversed, (std::vector<int>{7, 6, 5}));
}

TEST(SmallVector, ComparesWithItsKindAndWithStdVector) {
  const USmallVector<int, 1> a{1, 2, 3};
  const USmallVector<int, 8> b{1, 2, 3};
  const USmallVector<int, 1> shorter{1, 2};
  EXPECT_TRUE(a == b);
  EXPECT_TRUE(a == (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE((std::vector<int>{1, 2, 3}) == a);
  EXPECT_FALSE(a == shorter);
  EXPECT_TRUE(shorter < a);
  EXPECT_TRUE(a > shorter);
  EXPECT_TRUE((USmallVector<double, 2>{1.0, 3.0}) > (USmallVector<double, 2>{1.0, 2.5}));
}

// Plain bools, unlike std::vector<bool>: elements have addresses and
// references to them are bool&.
TEST(SmallVector, BoolsAreRealElements) {
  USmallVector<bool, 2> v{true, false, true};
  bool* first = &v[0];
  *first = false;
  bool& last = v.back();
  last = false;
  EXPECT_EQ(v, (std::vector<bool>{false, false, false}));
}

TEST(SmallVector, HoldsStringsAcrossGrowth) {
  USmallVector<ustring, 1> v;
  const std::string long_text(100, 'x');
  for (int i = 0; i < 20; ++i) v.push_back(ustring(long_text + std::to_string(i)));
  USmallVector<ustring, 1> copy = v;
  v.erase(v.begin(), v.begin() + 10);
  ASSERT_EQ(v.size(), 10u);
  EXPECT_EQ(v.front(), ustring(long_text + "10"));
  ASSERT_EQ(copy.size(), 20u);
  EXPECT_EQ(copy[3], ustring(long_text + "3"));
}

}  // namespace
