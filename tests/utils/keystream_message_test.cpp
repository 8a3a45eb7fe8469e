// The key stream's message fields (write_message / read_message) over the
// flat form of umessage.
#include "utils/UKeyStream.h"
#include "utils/umessage.h"
#include "utils/umessage_serialize.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>

namespace {

constexpr std::uint16_t kAB = make_key("ab");

std::string field_bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}

TEST(KeyStreamMessageTest, WrittenAsBinaryFieldOfTheFlatForm) {
  std::ostringstream out;
  {
    UKeyOutStream w(out);
    w.key(kAB).write_message(umessage());
    w.key(make_key("cd")).write_message(umessage(ustring("ping")));
  }
  const std::string bytes = out.str().substr(13);
  EXPECT_EQ(bytes, field_bytes({0x61, 0x62, 0x03, 0x08, 0x04, 0x00, 0x00, 0x63, 0x64, 0x12, 0x08, 0x04, 0x02, 0x04,
                                0x70, 0x69, 0x6E, 0x67, 0x04, 0x77, 0x68, 0x61, 0x74, 0x01, 0x02, 0x04, 0x00, 0x01,
                                0x01}));
}

TEST(KeyStreamMessageTest, ReadBack) {
  umessage settings(ustring("settings"));
  settings.add("count", 3);
  settings.add("name", ustring("Coated FOGRA39"));
  std::ostringstream out;
  {
    UKeyOutStream w(out);
    w.key(make_key("Dp")).write_message(settings);
    w.key(make_key("SR")).write_bytes("", 0);
    w.key(make_key("XX")).write_bytes("\x05", 1);  // version 5: refused
    w.begin_array(make_key("aa")).write_message(settings).end();
  }
  std::istringstream in(out.str());
  UKeyInStream r(in);
  const struct {
    const char* name;
    std::uint16_t key;
    bool filled;
  } cases[] = {
      {"present", make_key("Dp"), true},
      {"empty field", make_key("SR"), false},
      {"rejected flat form", make_key("XX"), false},
      {"absent", make_key("no"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    umessage got(ustring("stale"));
    r.select(c.key).read_message(got);
    EXPECT_EQ(got, c.filled ? settings : umessage());
  }
  umessage element;
  r.enter_array(make_key("aa")).read_message(element);
  EXPECT_EQ(element, settings);
  r.read_message(element);
  EXPECT_TRUE(element.empty()) << "an exhausted array gives an empty record";
}

// A form of about 1 MiB that names its one long string so often that its
// copies nearly exhaust a budget of its own.
umessage expanding_record() {
  const ustring text(std::string(1 << 20, 'x'));
  const std::uint64_t copies = (vxu::min_flat_string_budget >> 20) + vxu::flat_string_expansion_ratio - 1;
  umessage m;
  for (std::uint64_t i = 0; i < copies; ++i) m.add("s", text);
  return m;
}

// The messages of one stream share one budget of string copies: each of the
// two forms decodes when it is read alone, but not both from one payload.
TEST(KeyStreamMessageTest, MessagesOfOneStreamShareOneStringBudget) {
  const umessage big = expanding_record();
  std::ostringstream out;
  {
    UKeyOutStream w(out);
    w.key(make_key("Dp")).write_message(big);
    w.key(make_key("SR")).write_message(big);
  }
  for (const std::uint16_t key : {make_key("Dp"), make_key("SR")}) {
    std::istringstream in(out.str());
    UKeyInStream alone(in);
    umessage got;
    alone.select(key).read_message(got);
    EXPECT_EQ(got, big) << "read alone, each form decodes";
  }
  std::istringstream in(out.str());
  UKeyInStream r(in);
  umessage first, second;
  r.select(make_key("Dp")).read_message(first);
  r.select(make_key("SR")).read_message(second);
  EXPECT_EQ(first, big);
  EXPECT_TRUE(second.empty()) << "the second form finds the budget spent";
}

}  // namespace
