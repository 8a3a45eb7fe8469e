#include "KeyStreamDump.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <sstream>
#include <stdexcept>

#include "utils/UKeyStream.h"
#include "utils/umessage.h"
#include "utils/umessage_serialize.h"

namespace {

std::string dump_of(const std::string& bytes) {
  std::istringstream in(bytes);
  std::ostringstream out;
  dump_key_stream(in, out);
  return out.str();
}

TEST(KeyStreamDumpTest, TreeOfEveryFieldType) {
  std::ostringstream bytes;
  {
    UKeyOutStream w(bytes, 0x4A4F4235);  // "JOB5"
    w.key(make_key("bo")).write(true);
    w.key(make_key("in")).write(-2);
    w.key(make_key("sc")).write(static_cast<signed char>(-1));
    w.key(make_key("un")).write(200u);
    w.key(make_key("do")).write(0.1);
    w.key(make_key("st")).write(ustring("say \"hi\"\n"));
    w.begin_record(make_key("rr"));
    w.key(make_key("aa")).write(1).key(make_key("bb")).write(ustring("x"));
    w.key(make_key("aa")).write(2);
    w.end();
    w.begin_array(make_key("ar")).write(1.5).write(ustring("e")).end();
    umessage record("details");
    record.add("n", 3);
    w.key(make_key("ms")).write_message(record);
    w.key(0x0102).write_bytes("\x01\xFF", 2);
  }
  EXPECT_EQ(dump_of(bytes.str()),
            "KS record code 1\n"
            "  ID int 4 1246708277 (4A4F4235)\n"
            "  0xC0DE int 1 1 (01)\n"
            "  bo bool 1 true\n"
            "  in int 4 -2 (FFFFFFFE)\n"
            "  sc int 1 255 (FF)\n"
            "  un uns int 1 200 (C8)\n"
            "  do float 8 0.1\n"
            "  st string 9 \"say \\\"hi\\\"\\n\"\n"
            "  rr record 15\n"
            "    aa int 1 1 (01)\n"
            "    bb string 1 \"x\"\n"
            "    -- item 2\n"
            "    aa int 1 2 (02)\n"
            "  ar array 13\n"
            "    [0] float 8 1.5\n"
            "    [1] string 1 \"e\"\n"
            "  ms user/binary 28 {\"n\":3,\"what\":\"details\"}\n"
            "  0x0102 user/binary 2 01FF\n");
}

// The flat forms of one dump share one budget of string copies: two forms
// that each decode alone do not both decode in one dump; the second is shown
// as hex.
TEST(KeyStreamDumpTest, FlatFormsOfOneDumpShareOneStringBudget) {
  const ustring text(std::string(1 << 20, 'x'));
  umessage big;
  for (std::uint64_t i = 0; i < (vxu::min_flat_string_budget >> 20) + vxu::flat_string_expansion_ratio - 1; ++i)
    big.add("s", text);
  const auto stream_of = [&](int forms) {
    std::ostringstream bytes;
    UKeyOutStream w(bytes);
    for (int i = 0; i < forms; ++i) w.key(make_key(i == 0 ? "f1" : "f2")).write_message(big);
    w.close_all();
    return bytes.str();
  };
  const auto decoded = [](const std::string& tree) {
    std::size_t n = 0;
    for (std::size_t at = tree.find(" {\"s\":["); at != std::string::npos; at = tree.find(" {\"s\":[", at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(decoded(dump_of(stream_of(1))), 1u);
  const std::string two = dump_of(stream_of(2));
  EXPECT_EQ(decoded(two), 1u);
  EXPECT_NE(two.find("  f2 user/binary"), std::string::npos);
}

// The writer drops a double's leading zero bytes: 0.0 has no data (a shift by
// 64 bits was undefined) and the smallest denormal one byte, which is the
// value's lowest (it was shown as if it were the highest).
TEST(KeyStreamDumpTest, ShortFloatsShowTheValueTheReaderReads) {
  std::ostringstream bytes;
  {
    UKeyOutStream w(bytes);
    w.key(make_key("ze")).write(0.0);
    w.key(make_key("dn")).write(std::bit_cast<double>(std::uint64_t{1}));
    w.key(make_key("ng")).write(-0.0);
  }
  const std::string text = dump_of(bytes.str());
  EXPECT_NE(text.find("  ze float 0 0\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  dn float 1 5e-324\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  ng float 8 -0\n"), std::string::npos) << text;
}

TEST(KeyStreamDumpTest, RejectsWhatIsNotAKeyStream) {
  EXPECT_THROW(dump_of("not a stream"), std::runtime_error);
  EXPECT_THROW(dump_of(""), std::runtime_error);
}

TEST(KeyStreamDumpTest, EveryPrefixOfAStreamDumpsWithoutFault) {
  std::ostringstream bytes;
  {
    UKeyOutStream w(bytes);
    w.begin_record(make_key("rr")).key(make_key("aa")).write(ustring("a longer text value")).end();
    w.begin_array(make_key("ar")).write(1).write(2).end();
  }
  const std::string whole = bytes.str();
  for (std::size_t n = 0; n <= whole.size(); ++n) {
    try {
      dump_of(whole.substr(0, n));
    } catch (const std::runtime_error&) {
      // a cut before the meta record's header is a rejection, never a fault
    }
  }
}

}  // namespace
