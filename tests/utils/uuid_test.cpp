#include "utils/uuid.h"

#include <gtest/gtest.h>

#include <set>

namespace {

uuid_bytes counting_bytes() {
  uuid_bytes id{};
  for (int i = 0; i < 16; ++i) id[i] = static_cast<std::uint8_t>(i);
  return id;
}

TEST(UuidTest, TextIsUpperCaseHexInMemoryOrderWithFourDashes) {
  EXPECT_EQ(uuid_to_text(counting_bytes()), "00010203-0405-0607-0809-0A0B0C0D0E0F");
  uuid_bytes ones;
  ones.fill(0xFF);
  EXPECT_EQ(uuid_to_text(ones), "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF");
}

TEST(UuidTest, FromTextKeepsOnlyHexDigitsAndPadsOrCuts) {
  uuid_bytes padded{};
  padded[0] = 0xAB;
  padded[1] = 0xC0;
  uuid_bytes cut = counting_bytes();
  static const struct {
    const char* text;
    uuid_bytes expected;
  } cases[] = {
      {"00010203-0405-0607-0809-0A0B0C0D0E0F", counting_bytes()},
      {"{00010203-0405-0607-0809-0a0b0c0d0e0f}", counting_bytes()},
      {"000102030405060708090a0b0c0d0e0f", counting_bytes()},
      {"abc", padded},
      {"xyz ab c", padded},
      {"000102030405060708090A0B0C0D0E0F99", cut},
      {"", uuid_bytes{}},
  };
  for (const auto& c : cases) EXPECT_EQ(uuid_from_text(ustring(c.text)), c.expected) << c.text;
}

TEST(UuidTest, CreatedIdentifiersAreDistinctAndSurviveTheirText) {
  std::set<uuid_bytes> seen;
  for (int i = 0; i < 50; ++i) {
    const uuid_bytes id = uuid_create();
    EXPECT_EQ(uuid_from_text(uuid_to_text(id)), id);
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 50u);
}

}  // namespace
