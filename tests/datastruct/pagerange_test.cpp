#include "datastruct/BPageRange.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>

#include "datastruct/BPageItemSet.h"
#include "job_test_support.h"

namespace {

using namespace jobtest;

constexpr std::uint16_t kHolder = make_key("HH");

// Reads `content` (the children of a record 'HH') with read.
template <class List>
void read_from(List& list, const std::string& content) {
  std::istringstream in(stream_of(record("HH", content)));
  UKeyInStream r(in);
  r.enter_record(kHolder);
  list.Read(r);
  r.leave();
}

template <class List>
std::string write_of(const List& list) {
  return written([&](UKeyOutStream& w) {
    w.begin_record(kHolder);
    list.Write(w);
  });
}

TEST(PageRangeList, RelativeRangesNumberTheirPagesFromWherePreviousOnesEnded) {
  static const struct {
    int counts[4];
    int firstPages[4];
  } cases[] = {
      {{2, 3, 1, 0}, {1, 3, 6, 7}},
      {{0, 0, 5, 1}, {1, 1, 1, 6}},
      {{10, -4, 1, 2}, {1, 11, 7, 8}},  // a negative count moves back, as the sum says
  };
  for (const auto& c : cases) {
    BPageRangeList list;
    for (int count : c.counts) list.Append(BPageRange(1, count));
    BPageRangeList back;
    std::istringstream in(write_of(list));
    UKeyInStream r(in);
    r.enter_record(kHolder);
    back.Read(r);
    ASSERT_EQ(back.Count(), 4u);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(back.At(i).firstPage(), c.firstPages[i]) << "range " << i;
      EXPECT_EQ(back.At(i).count(), c.counts[i]);
      EXPECT_EQ(back.At(i).kind(), BPageRange::kKindRelative);
    }
  }
}

TEST(PageRangeList, RelativeRecordBytes) {
  BPageRangeList list;
  BPageRange range(5, 2);
  range.SetLabel("A");
  list.Append(range);
  const std::string expected =
      container(make_key("LP"), 6,
                field(make_key("sS"), 2, bytes({5})) + field(make_key("sN"), 2, bytes({2})) +
                    field(make_key("sP"), 5, "A") + field(make_key("sF"), 2, "N"));
  const std::string w = write_of(list);
  ASSERT_GE(w.size(), expected.size());
  EXPECT_EQ(hex(w.substr(w.size() - expected.size())), hex(expected));
}

TEST(PageRangeList, RelativeItemWithoutKindReadsKindZeroAndLabelsTravel) {
  BPageRangeList list;
  read_from(list, record("LP", int_field("sS", 3) + int_field("sN", 2) + text_field("sP", "front") +
                                   int_field("sS", 9) + int_field("sN", 1) + int_field("sF", '+')));
  ASSERT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.At(0).kind(), 0);
  EXPECT_EQ(list.At(0).label(), "front");
  EXPECT_EQ(list.At(0).start(), 3);
  EXPECT_EQ(list.At(1).kind(), '+');
  EXPECT_EQ(list.At(1).label(), "");
  EXPECT_EQ(list.At(1).firstPage(), 3);
}

TEST(PageRangeAbsoluteList, EveryRangeIsAbsoluteAndStartsWhereItSays) {
  BPageRangeAbsoluteList list;
  read_from(list, record("PR", int_field("sS", 5) + int_field("sN", 2) + int_field("sF", 'N') +
                                   int_field("sS", 9) + int_field("sN", 4)));
  ASSERT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.TotalPageCount(), 6);
  EXPECT_EQ(list.At(0).kind(), BPageRange::kKindAbsolute);
  EXPECT_EQ(list.At(1).kind(), BPageRange::kKindAbsolute);
  EXPECT_EQ(list.At(0).firstPage(), 5);
  EXPECT_EQ(list.At(1).firstPage(), 9);

  // Written as start and count only.
  BPageRangeAbsoluteList back;
  read_from(back, write_of(list).substr(13 + 8));  // past the code field and the holder's header
  EXPECT_TRUE(back == list);
}

TEST(PageRangeList, MissingRecordReadsAsEmptyAndReplacesTheList) {
  BPageRangeList list;
  list.Append(BPageRange(1, 1));
  read_from(list, int_field("xx", 1));
  EXPECT_TRUE(list.empty());
}

TEST(PageRangeList, RefusedReadLeavesTheListAsItWas) {
  BPageRangeList list;
  list.Append(BPageRange(4, 4));
  EXPECT_THROW(
      read_from(list, record("LP", int_field("sS", 1) + field(make_key("sN"), 2, bytes({1, 2, 3, 4, 5})))),
      std::runtime_error);
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.At(0).start(), 4);
}

TEST(PageRangeList, TotalOfHostileCountsDoesNotOverflow) {
  BPageRangeAbsoluteList list;
  for (int i = 0; i < 4; ++i) list.Append(BPageRange(1, std::numeric_limits<std::int32_t>::max()));
  EXPECT_EQ(list.TotalPageCount(), 4 * std::int64_t{std::numeric_limits<std::int32_t>::max()});

  // The running first page saturates instead of overflowing.
  BPageRangeList relative;
  std::string items;
  for (int i = 0; i < 3; ++i) items += int_field("sS", 1) + int_field("sN", 0x7FFFFFFF);
  read_from(relative, record("LP", items));
  ASSERT_EQ(relative.Count(), 3u);
  EXPECT_EQ(relative.At(1).firstPage(), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(relative.At(2).firstPage(), std::numeric_limits<std::int32_t>::max());
}

TEST(PageRangeList, CopiesAreDeep) {
  BPageRangeList a;
  a.Append(BPageRange(1, 2));
  BPageRangeList b(a);
  b.At(0).SetCount(9);
  EXPECT_EQ(a.At(0).count(), 2);
}

// A page item that writes one field: its page number.
class NumberedItem : public BPageItem {
 public:
  using BPageItem::BPageItem;
  void WriteFields(UKeyOutStream& w) const override { w.key(make_key("pn")).write(page()); }
};

TEST(PageItemSet, WritesThePagesItemsInListOrderAndItsFlattener) {
  BPageItemSet set;
  set.items().Append(std::make_unique<NumberedItem>(2));
  set.items().Append(std::make_unique<NumberedItem>(1));
  set.items().Append(std::make_unique<NumberedItem>(2));
  set.SetPageFlattener(2, std::make_unique<BTransparencyFlattener>());
  const std::string page2 = written([&](UKeyOutStream& w) {
    set.WritePageItems(w, 2);
    set.WritePageFlattener(w, 2);
  });
  const std::string item = field(make_key("pn"), 2, bytes({2}));
  EXPECT_EQ(hex(page2.substr(13)), hex(container(BPageItemSet::kItemsKey, 6, item + item) +
                                       container(BPageItemSet::kFlattenerKey, 6, "")));
  const std::string page3 = written([&](UKeyOutStream& w) {
    set.WritePageItems(w, 3);
    set.WritePageFlattener(w, 3);
  });
  EXPECT_EQ(hex(page3.substr(13)), hex(container(BPageItemSet::kItemsKey, 6, "")));
}

}  // namespace
