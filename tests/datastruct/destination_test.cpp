#include "datastruct/BDestination.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>

#include "datastruct/BExportedDestination.h"
#include "datastruct/BGroup.h"
#include "datastruct/UserField.h"
#include "job_test_support.h"

namespace {

using namespace jobtest;

constexpr std::uint16_t kList = make_key("LL");

// A group of destinations read from the items in `items` (children of 'LL').
struct ReadBack {
  explicit ReadBack(const std::string& items) : group(nullptr) {
    std::istringstream in(stream_of(record("LL", items)));
    UKeyInStream r(in);
    r.enter_record(kList);
    while (r.next_item()) group.NewDestination()->ReadRecord(r);
  }
  BGroup group;
};

// The items destinations write into 'LL'.
std::string items_of(const BGroup& group) {
  const std::string s = written([&](UKeyOutStream& w) {
    w.begin_record(kList);
    for (const auto& d : group) d->WriteRecord(w);
  });
  return s.substr(13 + 8);
}

TEST(Destination, IdentifierTravelsAsIntegerOnlyWhenItReadsBackTheSame) {
  static const struct {
    const char* identifier;
    int type;  // of the "ID" field written
    const char* readBack;
  } cases[] = {
      {"123", UKeyStream::eFieldType_Int, "123"},
      {"", UKeyStream::eFieldType_Int, "0"},
      {"0", UKeyStream::eFieldType_Int, "0"},
      {"2147483647", UKeyStream::eFieldType_Int, "2147483647"},
      {"ab", UKeyStream::eFieldType_String, "ab"},  // four bytes or less: still a text
      {"1234", UKeyStream::eFieldType_Int, "1234"},
      {"abcdefgh", UKeyStream::eFieldType_String, "abcdefgh"},
      {"007", UKeyStream::eFieldType_String, "007"},
      {"2147483648", UKeyStream::eFieldType_String, "2147483648"},
      {"99999999999", UKeyStream::eFieldType_String, "99999999999"},
      {"-5", UKeyStream::eFieldType_String, "-5"},
      {"12a", UKeyStream::eFieldType_String, "12a"},
  };
  for (const auto& c : cases) {
    BGroup group(nullptr);
    group.NewDestination()->SetIdentifier(c.identifier);
    const std::string items = items_of(group);

    std::istringstream in(stream_of(record("LL", items)));
    UKeyInStream r(in);
    r.enter_record(kList);
    ASSERT_TRUE(r.next_item());
    bool found = false;
    for (std::size_t i = 0; i < r.item_size(); ++i) {
      if (r.item_field(i).key != make_key("ID")) continue;
      found = true;
      EXPECT_EQ(r.item_field(i).type, c.type) << c.identifier;
    }
    EXPECT_TRUE(found) << c.identifier;

    ReadBack back(items);
    ASSERT_EQ(back.group.Count(), 1u);
    EXPECT_EQ(back.group.At(0).identifier(), c.readBack);
  }
}

TEST(Destination, IdentifierFromVeloxaByFieldType) {
  static const struct {
    std::string field;
    const char* identifier;
  } cases[] = {
      {field(make_key("ID"), 2, bytes({0x30, 0x39})), "12345"},
      {field(make_key("ID"), 2, bytes({0xFF, 0xFF, 0xFF, 0xFF})), "-1"},
      {field(make_key("ID"), 3, bytes({0xFF, 0xFF, 0xFF, 0xFF})), "4294967295"},
      {field(make_key("ID"), 2, ""), "0"},
      {field(make_key("ID"), 5, "77"), "77"},
      {field(make_key("ID"), 5, ""), ""},
      // Too long for an int: taken as text.
      {field(make_key("ID"), 2, "ABCDEF"), "ABCDEF"},
      {int_field("xx", 1), ""},  // absent
  };
  for (const auto& c : cases) {
    ReadBack back(text_field("CC", "c") + c.field);
    ASSERT_EQ(back.group.Count(), 1u);
    EXPECT_EQ(back.group.At(0).identifier(), c.identifier) << hex(c.field);
  }
}

double be_double_bits(double v, std::string& out) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, 8);
  out.clear();
  for (int i = 7; i >= 0; --i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
  out.erase(0, out.find_first_not_of('\0') == std::string::npos ? 8 : out.find_first_not_of('\0'));
  return v;
}

std::string double_field(const char (&key)[3], double v) {
  std::string data;
  be_double_bits(v, data);
  return field(make_key(key), 4, data);
}

TEST(Destination, BleedAndTypeAreaShorthands) {
  const std::string sides = double_field("Bl", 1) + double_field("Br", 2) + double_field("Bt", 3) +
                            double_field("Bb", 4) + double_field("Tl", 11) + double_field("Tr", 12) +
                            double_field("Tt", 13) + double_field("Tb", 14);
  static const struct {
    const char* name;
    std::string extra;
    double bleeds[4];   // left, right, top, bottom
    double indents[4];  // left, right, top, bottom
  } cases[] = {
      {"sides", "", {1, 2, 3, 4}, {11, 12, 13, 14}},
      {"BX/BY win", double_field("BX", 5) + double_field("BY", 3), {5, 5, 3, 3}, {11, 12, 13, 14}},
      {"TX/TY win", double_field("TX", 180) + double_field("TY", 280), {1, 2, 3, 4}, {10, 10, 10, 10}},
      {"TX without TY", double_field("TX", 180), {1, 2, 3, 4}, {10, 10, 0, 0}},
  };
  for (const auto& c : cases) {
    ReadBack back(double_field("SX", 200) + double_field("SY", 300) + sides + c.extra);
    ASSERT_EQ(back.group.Count(), 1u) << c.name;
    const BDestination& d = back.group.At(0);
    EXPECT_EQ(d.bleedLeft(), c.bleeds[0]) << c.name;
    EXPECT_EQ(d.bleedRight(), c.bleeds[1]) << c.name;
    EXPECT_EQ(d.bleedTop(), c.bleeds[2]) << c.name;
    EXPECT_EQ(d.bleedBottom(), c.bleeds[3]) << c.name;
    EXPECT_EQ(d.indentLeft(), c.indents[0]) << c.name;
    EXPECT_EQ(d.indentRight(), c.indents[1]) << c.name;
    EXPECT_EQ(d.indentTop(), c.indents[2]) << c.name;
    EXPECT_EQ(d.indentBottom(), c.indents[3]) << c.name;
  }
}

TEST(Destination, UserFieldsWithoutCodeOrWithRDtsAreDropped) {
  const std::string uf =
      record("UF", text_field("UP", "PubC") + text_field("Uf", "mZ00") + text_field("UT", "Pub") +
                       text_field("UV", "X1") + field(make_key("Ro"), 1, "\x01") + text_field("UP", "RDts") +
                       text_field("UV", "dropped") + text_field("UP", "") + text_field("UV", "dropped too") +
                       text_field("UP", "Spot") + text_field("UV", "CMYK"));
  ReadBack back(text_field("CC", "c") + uf);
  ASSERT_EQ(back.group.Count(), 1u);
  const auto& fields = back.group.At(0).userFields();
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].code, "PubC");
  EXPECT_EQ(fields[0].typeCode, "mZ00");
  EXPECT_EQ(fields[0].label, "Pub");
  EXPECT_EQ(fields[0].value, "X1");
  EXPECT_TRUE(fields[0].readOnly);
  EXPECT_EQ(fields[0].catalogueIndex, -1);
  EXPECT_EQ(fields[1].code, "Spot");
  EXPECT_EQ(fields[1].value, "CMYK");
  EXPECT_FALSE(fields[1].readOnly);
}

TEST(Destination, WithoutUserFieldsNoUFRecordIsWritten) {
  BGroup group(nullptr);
  group.NewDestination();
  std::istringstream in(stream_of(record("LL", items_of(group))));
  UKeyInStream r(in);
  r.enter_record(kList);
  ASSERT_TRUE(r.next_item());
  EXPECT_FALSE(r.has(make_key("UF")));
  EXPECT_TRUE(r.has(make_key("Tb")));
}

TEST(Destination, EveryFieldSurvivesWriteAndRead) {
  BJobFile job;
  fill_every_field(job);
  for (const auto& group : job.groups()) {
    ReadBack back(items_of(*group));
    ASSERT_EQ(back.group.Count(), group->Count());
    for (std::size_t i = 0; i < group->Count(); ++i) {
      EXPECT_TRUE(back.group.At(i).SameContent(group->At(i))) << i;
    }
  }
}

TEST(Destination, SuccessiveItemsDoNotLeakIntoEachOther) {
  // The second item has no "Ex", "St" or texts: a fresh destination's
  // defaults, not the first one's values.
  ReadBack back(text_field("CC", "first") + int_field("St", 5) + field(make_key("Ex"), 1, "\x01") +
                text_field("CC", "second"));
  ASSERT_EQ(back.group.Count(), 2u);
  EXPECT_EQ(back.group.At(1).textCC(), "second");
  EXPECT_EQ(back.group.At(1).style(), 0);
  EXPECT_FALSE(back.group.At(1).exported());
}

TEST(Destination, RefusedReadLeavesTheDestinationAsItWas) {
  BGroup group(nullptr);
  BDestination* d = group.NewDestination();
  d->SetCC("kept");
  d->SetWidth(10);
  std::istringstream in(
      stream_of(record("LL", text_field("CC", "new") + field(make_key("SX"), 4, std::string(9, '\1')))));
  UKeyInStream r(in);
  r.enter_record(kList);
  ASSERT_TRUE(r.next_item());
  EXPECT_THROW(d->ReadRecord(r), std::runtime_error);
  EXPECT_EQ(d->textCC(), "kept");
  EXPECT_EQ(d->width(), 10);
}

TEST(Destination, SettingATextClearsItsCompanion) {
  BGroup group(nullptr);
  BDestination& d = *group.NewDestination();
  d.SetR1("r1");
  d.SetN1("n1");
  d.SetS1("s1");
  d.SetCC("cc");
  EXPECT_EQ(d.textR1(), "r1");
  d.SetRC("rc");
  d.SetNC("nc");
  d.SetSC("sc");
  EXPECT_EQ(d.textR1(), "");
  EXPECT_EQ(d.textN1(), "");
  EXPECT_EQ(d.textS1(), "");
  EXPECT_EQ(d.textRC(), "rc");
  EXPECT_FALSE(d.IsSpecial());
  EXPECT_EQ(d.parent(), &group);
}

TEST(Destination, HasBleedAndAllExported) {
  BGroup group(nullptr);
  EXPECT_TRUE(group.AllExported());
  BDestination& d = *group.NewDestination();
  EXPECT_FALSE(d.HasBleed());
  d.SetBleeds(0, 0, 0, -1);
  EXPECT_TRUE(d.HasBleed());
  EXPECT_FALSE(group.AllExported());
  d.SetExported(true);
  EXPECT_TRUE(group.AllExported());
}

TEST(UserFieldCatalogue, RowsAndLookups) {
  ASSERT_EQ(UserFieldCatalogue().size(), 33u);
  EXPECT_EQ(FindUserFieldDefinition("PubC"), 0);
  EXPECT_EQ(FindUserFieldDefinition("Colm"), 7);  // the first of its two rows
  EXPECT_EQ(FindUserFieldDefinition("0CkS"), 32);
  EXPECT_EQ(FindUserFieldDefinition("nope"), -1);
  EXPECT_EQ(FindUserFieldDefinition(""), -1);

  const auto field = MakeCatalogueUserField("0VDt", "2024-03-01");
  ASSERT_TRUE(field.has_value());
  EXPECT_EQ(field->catalogueIndex, 29);
  EXPECT_EQ(field->typeCode, "Yz00");
  EXPECT_EQ(field->label, "Veloxaed Date");
  EXPECT_EQ(field->value, "2024-03-01");
  EXPECT_FALSE(MakeCatalogueUserField("RDts", "x").has_value());
}

TEST(ExportedDestinationList, KeepsIdentifierOrderAndInsertionOrderAmongEquals) {
  BExportedDestinationList list;
  const int ids[] = {5, 3, 5, 9, 3};
  for (int i = 0; i < 5; ++i) {
    auto record = std::make_unique<BExportedDestination>(ids[i]);
    record->pageRanges().Append(BPageRange(i, 1, BPageRange::kKindAbsolute))->SetFirstPage(i);
    list.Insert(std::move(record));
  }
  const int expectedIds[] = {3, 3, 5, 5, 9};
  const int expectedTags[] = {1, 4, 0, 2, 3};
  ASSERT_EQ(list.Count(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(list.At(i).identifier(), expectedIds[i]);
    EXPECT_EQ(list.At(i).pageRanges().At(0).start(), expectedTags[i]);
  }

  // A write and a read give the same list, in the same order.
  const std::string s = written([&](UKeyOutStream& w) {
    w.begin_record(make_key("JJ"));
    list.Write(w);
  });
  std::istringstream in(s);
  UKeyInStream r(in);
  r.enter_record(make_key("JJ"));
  BExportedDestinationList back;
  back.Read(r);
  EXPECT_TRUE(back == list);
}

TEST(ExportedDestinationList, ReadSortsByIdentifier) {
  std::string items;
  for (int id = 3000; id > 0; --id)
    items += int_field("ID", static_cast<std::uint32_t>(id)) + record("PR", "");
  std::istringstream in(stream_of(record("JJ", record("EL", items))));
  UKeyInStream r(in);
  r.enter_record(make_key("JJ"));
  BExportedDestinationList list;
  list.Read(r);
  ASSERT_EQ(list.Count(), 3000u);
  for (std::size_t i = 0; i < list.Count(); ++i) ASSERT_EQ(list.At(i).identifier(), static_cast<int>(i) + 1);
}

}  // namespace
