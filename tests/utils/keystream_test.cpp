#include "utils/UKeyStream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

namespace {

constexpr std::uint16_t kAB = make_key("ab");

// ---------------------------------------------------------------------------
// Byte builders, independent of the writer, so that reader tests do not lean
// on it.

std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}

std::string be16(std::uint16_t v) { return bytes({v >> 8, v & 0xFF}); }
std::string be32(std::uint32_t v) {
  return bytes({static_cast<int>(v >> 24), static_cast<int>((v >> 16) & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                static_cast<int>(v & 0xFF)});
}

std::string length_bytes(std::uint32_t n) { return n < 255 ? bytes({static_cast<int>(n)}) : "\xFF" + be32(n); }

// A child of a record.
std::string field(std::uint16_t key, int type, const std::string& data) {
  return be16(key) + length_bytes(static_cast<std::uint32_t>(data.size())) + static_cast<char>(type) + data;
}
// A scalar child of an array.
std::string element(int type, const std::string& data) {
  return length_bytes(static_cast<std::uint32_t>(data.size())) + static_cast<char>(type) + data;
}
std::string container(std::uint16_t key, int type, const std::string& content) {
  return be16(key) + "\xFF" + be32(static_cast<std::uint32_t>(content.size())) + static_cast<char>(type) + content;
}
const std::string kCodeField = bytes({0xC0, 0xDE, 0x01, 0x02, 0x01});
// A whole stream whose meta record holds the code field, then content.
std::string stream_of(const std::string& content, const std::string& header = kCodeField) {
  return container(UKeyStream::kMetaKey, 6, header + content);
}

std::string hex(const std::string& s) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

// The bytes a writer without identifier produces for body.
std::string written(const std::function<void(UKeyOutStream&)>& body, std::int32_t identifier = 0) {
  std::ostringstream out;
  {
    UKeyOutStream w(out, identifier);
    body(w);
  }
  return out.str();
}

// The user content of a written stream (after the code field).
std::string content_of(const std::string& stream) { return stream.size() < 13 ? "" : stream.substr(13); }

// A stream buffer that cannot seek: the writer must refuse it.
class ForwardOnlyBuf : public std::streambuf {
 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) data.push_back(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }

 public:
  std::string data;
};

// An input that claims to be longer than it is (a file that shrank under the
// reader): seeking to its end reports `extra` bytes that are never delivered.
class ShrunkBuf : public std::streambuf {
 public:
  ShrunkBuf(std::string data, std::streamoff extra) : data_(std::move(data)), extra_(extra) {
    setg(data_.data(), data_.data(), data_.data() + data_.size());
  }

 protected:
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override {
    const off_type size = static_cast<off_type>(data_.size());
    off_type target = dir == std::ios_base::beg ? off : dir == std::ios_base::cur ? gptr() - eback() + off : size + extra_ + off;
    if (target < 0) return pos_type(off_type(-1));
    setg(eback(), eback() + std::min(target, size), egptr());
    return pos_type(target);
  }
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override {
    return seekoff(off_type(pos), std::ios_base::beg, which);
  }

 private:
  std::string data_;
  std::streamoff extra_;
};

void expect_runtime_error(const std::function<void()>& f, const char* text) {
  try {
    f();
    ADD_FAILURE() << "no exception, expected \"" << text << "\"";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), text);
  }
}

// ---------------------------------------------------------------------------
// Writer

TEST(KeyOutStreamTest, EmptyStreams) {
  EXPECT_EQ(hex(written([](UKeyOutStream&) {})), "4B 53 FF 00 00 00 05 06 C0 DE 01 02 01");
  EXPECT_EQ(hex(written([](UKeyOutStream&) {}, 0x4A4F4235)),
            "4B 53 FF 00 00 00 0D 06 49 44 04 02 4A 4F 42 35 C0 DE 01 02 01");
}

TEST(KeyOutStreamTest, FieldBytes) {
  const std::string s254(254, 'x'), s255(255, 'y'), s300(300, 'z');
  const struct {
    const char* name;
    std::function<void(UKeyOutStream&)> write;
    std::string expected;
  } cases[] = {
      {"int 1", [](UKeyOutStream& w) { w.key(kAB).write(1); }, bytes({0x61, 0x62, 0x01, 0x02, 0x01})},
      {"int 0 has no data", [](UKeyOutStream& w) { w.key(kAB).write(0); }, bytes({0x61, 0x62, 0x00, 0x02})},
      {"bool false", [](UKeyOutStream& w) { w.key(kAB).write(false); }, bytes({0x61, 0x62, 0x00, 0x01})},
      {"bool true", [](UKeyOutStream& w) { w.key(kAB).write(true); }, bytes({0x61, 0x62, 0x01, 0x01, 0x01})},
      {"int -1 keeps all four bytes", [](UKeyOutStream& w) { w.key(kAB).write(-1); },
       field(kAB, 2, bytes({0xFF, 0xFF, 0xFF, 0xFF}))},
      {"int 200 as one byte", [](UKeyOutStream& w) { w.key(kAB).write(200); }, field(kAB, 2, bytes({0xC8}))},
      {"int 0x10000", [](UKeyOutStream& w) { w.key(kAB).write(0x10000); }, field(kAB, 2, bytes({1, 0, 0}))},
      {"int min", [](UKeyOutStream& w) { w.key(kAB).write(std::numeric_limits<int>::min()); },
       field(kAB, 2, bytes({0x80, 0, 0, 0}))},
      {"short -1 at its width", [](UKeyOutStream& w) { w.key(kAB).write(short{-1}); },
       field(kAB, 2, bytes({0xFF, 0xFF}))},
      {"signed char -1 at its width", [](UKeyOutStream& w) { w.key(kAB).write(static_cast<signed char>(-1)); },
       field(kAB, 2, bytes({0xFF}))},
      {"unsigned char", [](UKeyOutStream& w) { w.key(kAB).write(static_cast<unsigned char>(0x80)); },
       field(kAB, 3, bytes({0x80}))},
      {"unsigned short 0x100", [](UKeyOutStream& w) { w.key(kAB).write(static_cast<unsigned short>(0x100)); },
       field(kAB, 3, bytes({1, 0}))},
      {"unsigned int max", [](UKeyOutStream& w) { w.key(kAB).write(0xFFFFFFFFu); },
       field(kAB, 3, bytes({0xFF, 0xFF, 0xFF, 0xFF}))},
      {"double 0.0 has no data", [](UKeyOutStream& w) { w.key(kAB).write(0.0); }, field(kAB, 4, "")},
      {"double 1.0", [](UKeyOutStream& w) { w.key(kAB).write(1.0); },
       field(kAB, 4, bytes({0x3F, 0xF0, 0, 0, 0, 0, 0, 0}))},
      {"double -0.0", [](UKeyOutStream& w) { w.key(kAB).write(-0.0); },
       field(kAB, 4, bytes({0x80, 0, 0, 0, 0, 0, 0, 0}))},
      {"smallest denormal loses its zero bytes",
       [](UKeyOutStream& w) { w.key(kAB).write(std::numeric_limits<double>::denorm_min()); },
       field(kAB, 4, bytes({0x01}))},
      {"string", [](UKeyOutStream& w) { w.key(kAB).write(ustring("hi")); }, field(kAB, 5, "hi")},
      {"C text", [](UKeyOutStream& w) { w.key(kAB).write("hi"); }, field(kAB, 5, "hi")},
      {"empty string", [](UKeyOutStream& w) { w.key(kAB).write(ustring()); }, bytes({0x61, 0x62, 0x00, 0x05})},
      {"string keeps leading zero bytes", [](UKeyOutStream& w) { w.key(kAB).write(ustring(std::string("\0a", 2))); },
       field(kAB, 5, std::string("\0a", 2))},
      {"254 bytes: short length", [&](UKeyOutStream& w) { w.key(kAB).write(ustring(s254)); },
       be16(kAB) + bytes({0xFE, 0x05}) + s254},
      {"255 bytes: long length", [&](UKeyOutStream& w) { w.key(kAB).write(ustring(s255)); },
       be16(kAB) + bytes({0xFF, 0x00, 0x00, 0x00, 0xFF, 0x05}) + s255},
      {"300 bytes", [&](UKeyOutStream& w) { w.key(kAB).write(ustring(s300)); },
       be16(kAB) + bytes({0xFF, 0x00, 0x00, 0x01, 0x2C, 0x05}) + s300},
      {"binary keeps zero bytes", [](UKeyOutStream& w) { w.key(kAB).write_bytes("\0\0\1", 3); },
       field(kAB, 8, std::string("\0\0\1", 3))},
      {"no key() gives key 0", [](UKeyOutStream& w) { w.write(1); }, bytes({0, 0, 1, 2, 1})},
      {"the pending key is used once", [](UKeyOutStream& w) { w.key(kAB).write(1).write(2); },
       field(kAB, 2, bytes({1})) + field(0, 2, bytes({2}))},
      {"stream operators", [](UKeyOutStream& w) { w.key(kAB) << 7 << end_record; }, field(kAB, 2, bytes({7}))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = written(c.write);
    EXPECT_EQ(hex(content_of(out)), hex(c.expected));
    EXPECT_EQ(hex(out.substr(0, 8)), hex(bytes({0x4B, 0x53, 0xFF}) + be32(static_cast<std::uint32_t>(out.size() - 8)) + "\x06"));
  }
}

TEST(KeyOutStreamTest, Containers) {
  const struct {
    const char* name;
    std::function<void(UKeyOutStream&)> write;
    std::string expected;
  } cases[] = {
      {"empty record still takes the long length", [](UKeyOutStream& w) { w.begin_record(kAB).end(); },
       container(kAB, 6, "")},
      {"record children keyed",
       [](UKeyOutStream& w) { w.begin_record(make_key("rr")).key(kAB).write(1).key(make_key("cd")).write(true).end(); },
       container(make_key("rr"), 6, field(kAB, 2, bytes({1})) + field(make_key("cd"), 1, bytes({1})))},
      {"array children unkeyed, the pending key dropped",
       [](UKeyOutStream& w) { w.begin_array(make_key("aa")).key(kAB).write(1).write(ustring("x")) << end_array; },
       container(make_key("aa"), 7, element(2, bytes({1})) + element(5, "x"))},
      {"begin neither uses nor resets the pending key",
       [](UKeyOutStream& w) { w.key(kAB).begin_record(make_key("rr")).write(1).end(); },
       container(make_key("rr"), 6, field(kAB, 2, bytes({1})))},
      {"nested lengths are patched",
       [](UKeyOutStream& w) {
         w.begin_record(make_key("r1")).begin_array(make_key("a1")).write(1.0).write(0.0).end().key(kAB).write(5).end();
       },
       container(make_key("r1"), 6,
                 container(make_key("a1"), 7, element(4, bytes({0x3F, 0xF0, 0, 0, 0, 0, 0, 0})) + element(4, "")) +
                     field(kAB, 2, bytes({5})))},
      {"container in an array carries its key",
       [](UKeyOutStream& w) { w.begin_array(make_key("aa")).begin_record(kAB).end().end(); },
       container(make_key("aa"), 7, container(kAB, 6, ""))},
      {"items by key repetition",
       [](UKeyOutStream& w) {
         w.begin_record(make_key("LL"));
         for (int i = 1; i <= 2; ++i) w.key(make_key("aa")).write(i).key(make_key("bb")).write(i * 10);
         w.end();
       },
       container(make_key("LL"), 6,
                 field(make_key("aa"), 2, bytes({1})) + field(make_key("bb"), 2, bytes({10})) +
                     field(make_key("aa"), 2, bytes({2})) + field(make_key("bb"), 2, bytes({20})))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(hex(content_of(written(c.write))), hex(c.expected));
  }
}

TEST(KeyOutStreamTest, PatchesAtTheRightPlaceAfterEarlierContent) {
  std::ostringstream out;
  out << "prefix";
  {
    UKeyOutStream w(out);
    w.begin_record(kAB).write(1).end();
  }
  EXPECT_EQ(hex(out.str()), hex("prefix" + stream_of(container(kAB, 6, field(0, 2, bytes({1}))))));

  // Bytes written to the output directly, between fields, count in the
  // lengths of the containers around them.
  std::ostringstream mixed;
  {
    UKeyOutStream w(mixed);
    w.begin_record(kAB);
    mixed.write("xyz", 3);
    w.end();
  }
  EXPECT_EQ(hex(mixed.str()), hex(stream_of(container(kAB, 6, "xyz"))));
}

TEST(KeyOutStreamTest, MisuseFailsTheStreamAndWritesNothingMore) {
  const struct {
    const char* name;
    std::function<void(UKeyOutStream&)> misuse;
  } cases[] = {
      {"eleventh nested container",
       [](UKeyOutStream& w) {
         for (int i = 0; i < 10; ++i) w.begin_record(kAB);
       }},
      {"end with nothing open", [](UKeyOutStream& w) { w.close_all().end(); }},
      {"field after close_all", [](UKeyOutStream& w) { w.close_all().key(kAB).write(1); }},
      {"container after close_all", [](UKeyOutStream& w) { w.close_all().begin_array(kAB); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ostringstream out;
    std::string before;
    {
      UKeyOutStream w(out);
      c.misuse(w);
      EXPECT_TRUE(w.failed());
      EXPECT_TRUE(out.fail());
      before = out.str();
      w.key(kAB).write(2).begin_record(kAB).end().close_all();
    }
    EXPECT_EQ(hex(out.str()), hex(before)) << "the writer went on after failing";
  }

  // Nine levels below the meta record are allowed.
  std::ostringstream out;
  {
    UKeyOutStream w(out);
    for (int i = 0; i < 9; ++i) w.begin_record(kAB);
    EXPECT_FALSE(w.failed());
  }
  EXPECT_FALSE(out.fail());
}

TEST(KeyOutStreamTest, UnusableOutputs) {
  ForwardOnlyBuf forward;
  std::ostream unseekable(&forward);
  {
    UKeyOutStream w(unseekable);
    w.key(kAB).write(1);
    EXPECT_TRUE(w.failed());
  }
  EXPECT_TRUE(unseekable.fail());
  EXPECT_EQ(forward.data, "") << "lengths that cannot be patched must not be written";

  std::ostringstream failed;
  failed.setstate(std::ios_base::failbit);
  {
    UKeyOutStream w(failed);
    w.key(kAB).write(1);
    EXPECT_TRUE(w.failed());
  }
  EXPECT_EQ(failed.str(), "");

  // An exception mask on the stream may throw from a write, never from the
  // destructor.
  std::ostringstream throwing;
  throwing.exceptions(std::ios_base::failbit);
  EXPECT_THROW(
      {
        UKeyOutStream w(throwing);
        w.close_all().end();
      },
      std::ios_base::failure);
}

// ---------------------------------------------------------------------------
// Reader

// Visits every field of the current frame and below: every item of a record
// (each field read as every type, containers entered by their type), every
// element of an array. Returns the number of fields and elements seen.
int walk(UKeyInStream& r) {
  int seen = 0;
  while (r.next_item()) {
    const std::size_t n = r.item_size();
    if (n == 0) {  // an array: one element per turn
      std::string element;
      r.read(element);
      ++seen;
      continue;
    }
    for (std::size_t i = 0; i < n; ++i) {
      const UKeyInStream::FieldInfo f = r.item_field(i);
      ++seen;
      r.select(f.key);
      bool b;
      int v;
      double d;
      ustring u;
      std::string s;
      try {
        r.read(b);
      } catch (const std::runtime_error&) {
      }
      try {
        r.read(v).read(d);
      } catch (const std::runtime_error&) {
      }
      r.read(u).read(s);
      if (f.type == 6 || f.type == 7) {
        try {
          f.type == 6 ? r.enter_record(f.key) : r.enter_array(f.key);
        } catch (const std::runtime_error&) {
          continue;  // too deep: the reader stays where it was
        }
        seen += walk(r);
        r.leave();
      }
    }
  }
  return seen;
}

TEST(KeyInStreamTest, Opening) {
  const struct {
    const char* name;
    std::string input;
    const char* error;  // nullptr: opens
    std::int32_t code;
  } cases[] = {
      {"empty input", "", "UKeyInStream: meta key mismatch", 0},
      {"one byte", "K", "UKeyInStream: meta key mismatch", 0},
      {"other key", container(make_key("KT"), 6, kCodeField), "UKeyInStream: meta key mismatch", 0},
      {"key only", "KS", "UKeyInStream: expecting record", 0},
      {"length cut short", bytes({0x4B, 0x53, 0xFF, 0, 0}), "UKeyInStream: expecting record", 0},
      {"no type byte", bytes({0x4B, 0x53, 0x00}), "UKeyInStream: expecting record", 0},
      {"array", container(UKeyStream::kMetaKey, 7, kCodeField), "UKeyInStream: expecting record", 0},
      {"the 13 bytes of an empty stream", stream_of(""), nullptr, 1},
      {"short length form accepted", field(UKeyStream::kMetaKey, 6, kCodeField), nullptr, 1},
      {"identifier skipped", stream_of(kCodeField, field(make_key("ID"), 2, "JOB5")), nullptr, 1},
      {"no code field", stream_of("", ""), nullptr, 0},
      {"code not at the front is not the code", stream_of(kCodeField, field(kAB, 2, "")), nullptr, 0},
      {"code FF is 255", stream_of("", field(0xC0DE, 2, bytes({0xFF}))), nullptr, 255},
      {"code FF FF FF FF is -1", stream_of("", field(0xC0DE, 2, bytes({0xFF, 0xFF, 0xFF, 0xFF}))), nullptr, -1},
      {"code longer than an int", stream_of("", field(0xC0DE, 2, bytes({0, 0, 0, 0, 1}))),
       "UKeyInStream: reading field longer than expected", 0},
      {"code past the meta record's end", container(UKeyStream::kMetaKey, 6, "") + kCodeField, nullptr, 0},
      {"identifier reaching past the end", stream_of("", be16(make_key("ID")) + bytes({0x20, 2})), nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::istringstream in(c.input);
    if (c.error != nullptr) {
      expect_runtime_error([&] { UKeyInStream r(in); }, c.error);
    } else {
      UKeyInStream r(in);
      EXPECT_EQ(r.code(), c.code);
      walk(r);
    }
  }
}

TEST(KeyInStreamTest, EmptyStreamHasOnlyTheCodeField) {
  std::istringstream in(written([](UKeyOutStream&) {}));
  UKeyInStream r(in);
  EXPECT_TRUE(r.has(0xC0DE));
  EXPECT_FALSE(r.has(make_key("ID")));
  ASSERT_EQ(r.item_size(), 1u);
  int code = 0;
  r.select(0xC0DE).read(code);
  EXPECT_EQ(code, 1);
  EXPECT_FALSE(r.next_item());

  std::istringstream job(written([](UKeyOutStream&) {}, 0x4A4F4235));
  UKeyInStream j(job);
  int id = 0;
  j.select(make_key("ID")) >> id;
  EXPECT_EQ(id, 0x4A4F4235);
  EXPECT_EQ(j.code(), 1);
}

template <class T>
void expect_round_trip(const std::vector<T>& values) {
  const std::string out = written([&](UKeyOutStream& w) {
    w.begin_record(make_key("rr"));
    for (std::size_t i = 0; i < values.size(); ++i) w.key(static_cast<std::uint16_t>(i + 1)) << values[i];
    w.end().begin_array(make_key("aa"));
    for (const T& v : values) w << v;
    w.end();
  });
  std::istringstream in(out);
  UKeyInStream r(in);
  r.enter_record(make_key("rr"));
  for (std::size_t i = 0; i < values.size(); ++i) {
    T got{};
    r.select(static_cast<std::uint16_t>(i + 1)) >> got;
    EXPECT_EQ(got, values[i]) << "record field " << i;
  }
  r.leave().enter_array(make_key("aa"));
  for (std::size_t i = 0; i < values.size(); ++i) {
    T got{};
    r >> got;
    EXPECT_EQ(got, values[i]) << "array element " << i;
  }
  EXPECT_FALSE(r.next_item());
  r >> leave;
  EXPECT_EQ(r.depth(), 0);
}

TEST(KeyInStreamTest, RoundTripOfEveryType) {
  expect_round_trip<bool>({false, true});
  expect_round_trip<signed char>({0, 1, -1, 127, -128});
  expect_round_trip<unsigned char>({0, 1, 0x80, 0xFF});
  expect_round_trip<short>({0, 1, -1, 255, 256, 32767, -32768});
  expect_round_trip<unsigned short>({0, 1, 0xFF, 0x100, 0xFFFF});
  expect_round_trip<int>({0, 1, -1, 200, 0x10000, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()});
  expect_round_trip<unsigned int>({0, 1, 0xFFFFFF, 0x1000000, 0xFFFFFFFF});
  expect_round_trip<double>({0.0, -0.0, 1.0, -2.5, 1e300, std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()});
  expect_round_trip<ustring>({ustring(), ustring("a"), ustring("eight ch"), ustring("nine char"),
                              ustring(std::string(300, 'q')), ustring("\xC3\xA9t\xC3\xA9")});
}

TEST(KeyInStreamTest, FixedWidthReads) {
  // Written by hand: the reader takes the bytes at the target's width with no
  // sign extension and does not look at the type byte.
  enum Target { kBool, kSChar, kShort, kInt, kUInt, kDouble };
  const struct {
    const char* name;
    std::string data;
    Target target;
    double expected;  // large enough for every target's value
    const char* error;
  } cases[] = {
      {"FF as int is 255", bytes({0xFF}), kInt, 255, nullptr},
      {"FF as signed char is -1", bytes({0xFF}), kSChar, -1, nullptr},
      {"FF FF as int is 65535", bytes({0xFF, 0xFF}), kInt, 65535, nullptr},
      {"FF FF as short is -1", bytes({0xFF, 0xFF}), kShort, -1, nullptr},
      {"four bytes as unsigned", bytes({0xFF, 0xFF, 0xFF, 0xFE}), kUInt, 4294967294.0, nullptr},
      {"empty field is 0", "", kInt, 0, nullptr},
      {"empty field is 0.0", "", kDouble, 0.0, nullptr},
      {"double 1.0", bytes({0x3F, 0xF0, 0, 0, 0, 0, 0, 0}), kDouble, 1.0, nullptr},
      {"short double is right-aligned", bytes({0x01}), kDouble, std::numeric_limits<double>::denorm_min(), nullptr},
      {"bool from 02 is true", bytes({0x02}), kBool, 1, nullptr},
      {"bool from 00 is false", bytes({0x00}), kBool, 0, nullptr},
      {"bool of two bytes", bytes({0, 1}), kBool, 0, "UKeyInStream: reading field longer than expected"},
      {"int of five bytes", bytes({0, 0, 0, 0, 1}), kInt, 0, "UKeyInStream: reading field longer than expected"},
      {"short of three bytes", bytes({0, 0, 1}), kShort, 0, "UKeyInStream: reading field longer than expected"},
      {"double of nine bytes", std::string(9, '\0'), kDouble, 0, "UKeyInStream: reading field longer than expected"},
  };
  for (int type : {2, 5, 8}) {  // the type byte makes no difference
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + ", type " + std::to_string(type));
      for (bool in_array : {false, true}) {
        const std::string input = in_array ? stream_of(container(kAB, 7, element(type, c.data) + element(2, bytes({9}))))
                                           : stream_of(field(kAB, type, c.data));
        std::istringstream in(input);
        UKeyInStream r(in);
        in_array ? r.enter_array(kAB) : r.select(kAB);
        double got = -7;
        const auto read = [&] {
          switch (c.target) {
            case kBool: { bool v = false; r.read(v); got = v; break; }
            case kSChar: { signed char v = 0; r.read(v); got = v; break; }
            case kShort: { short v = 0; r.read(v); got = v; break; }
            case kInt: { int v = 0; r.read(v); got = v; break; }
            case kUInt: { unsigned v = 0; r.read(v); got = v; break; }
            case kDouble: { double v = -7; r.read(v); got = v; break; }
          }
        };
        if (c.error != nullptr) {
          expect_runtime_error(read, c.error);
        } else {
          read();
          EXPECT_EQ(got, c.expected);
        }
        if (in_array) {  // the element was consumed either way
          int next = 0;
          r.read(next);
          EXPECT_EQ(next, 9);
        }
      }
    }
  }
}

TEST(KeyInStreamTest, Strings) {
  const std::string long_with_zero = std::string("0123456789") + '\0' + "tail";
  const std::string content = field(make_key("s1"), 5, std::string("ab\0cd", 5)) + field(make_key("s2"), 5, long_with_zero) +
                              field(make_key("s3"), 5, "") + field(make_key("in"), 2, bytes({7}));
  const struct {
    const char* name;
    std::string header;  // the meta record's leading fields
    bool strings_read;
  } cases[] = {
      {"code 1", kCodeField, true},
      {"code 2", field(0xC0DE, 2, bytes({2})), true},
      {"no code field", "", false},
      {"code 0", field(0xC0DE, 2, ""), false},
      {"negative code", field(0xC0DE, 2, bytes({0x80, 0, 0, 0})), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::istringstream in(stream_of(content, c.header));
    UKeyInStream r(in);
    ustring u = "junk";
    r.select(make_key("s1")) >> u;
    EXPECT_EQ(u, c.strings_read ? ustring("ab") : ustring());
    u = "junk";
    r.select(make_key("s2")) >> u;
    EXPECT_EQ(u, c.strings_read ? ustring("0123456789") : ustring());
    u = "junk";
    r.select(make_key("s3")) >> u;
    EXPECT_EQ(u, ustring());
    u = "junk";
    r.select(make_key("no")) >> u;
    EXPECT_EQ(u, ustring()) << "an absent string clears its target";

    // std::string takes every byte whatever the code, and absence leaves it.
    std::string s;
    r.select(make_key("s1")) >> s;
    EXPECT_EQ(s, std::string("ab\0cd", 5));
    r.select(make_key("s2")) >> s;
    EXPECT_EQ(s, long_with_zero);
    s = "kept";
    r.select(make_key("no")) >> s;
    EXPECT_EQ(s, "kept");

    int i = 0;
    r.select(make_key("in")) >> i;
    EXPECT_EQ(i, 7) << "other types do not depend on the code";
  }
}

TEST(KeyInStreamTest, ItemsByKeyRepetition) {
  const std::string out = written([](UKeyOutStream& w) {
    w.begin_record(make_key("LL"));
    w.key(make_key("aa")).write(1).key(make_key("bb")).write(ustring("one"));
    w.key(make_key("aa")).write(2).key(make_key("bb")).write(ustring("two"));
    w.end();
  });
  std::istringstream in(out);
  UKeyInStream r(in);
  r.enter_record(make_key("LL"));
  for (int expected : {1, 2}) {
    ASSERT_TRUE(r.next_item());
    int a = 0;
    r.select(make_key("aa")) >> a;
    EXPECT_EQ(a, expected);
  }
  EXPECT_FALSE(r.next_item());
  EXPECT_FALSE(r.next_item()) << "an exhausted record stays exhausted";

  // A select on a fresh frame builds the first item; next_item then moves on.
  r.leave().enter_record(make_key("LL"));
  ustring b;
  r.select(make_key("bb")) >> b;
  EXPECT_EQ(b, ustring("one"));
  ASSERT_TRUE(r.next_item());
  r.select(make_key("bb")) >> b;
  EXPECT_EQ(b, ustring("two"));
  EXPECT_FALSE(r.next_item());
}

TEST(KeyInStreamTest, SelectOfAKeyOnlyInALaterItem) {
  const std::string content =
      container(make_key("LL"), 6, field(make_key("aa"), 2, bytes({1})) + field(make_key("aa"), 2, bytes({2})) +
                                       field(make_key("cc"), 5, "later"));
  std::istringstream in(stream_of(content));
  UKeyInStream r(in);
  r.enter_record(make_key("LL"));
  ASSERT_TRUE(r.next_item());
  EXPECT_FALSE(r.has(make_key("cc")));
  int i = 42;
  ustring u = "junk";
  r.select(make_key("cc")) >> i >> u;
  EXPECT_EQ(i, 42);
  EXPECT_EQ(u, ustring());
  ASSERT_TRUE(r.next_item());
  EXPECT_TRUE(r.has(make_key("cc")));
}

TEST(KeyInStreamTest, LongItemsSplitAtTheFirstRepeatedKey) {
  // Items longer than the linear key check switch to the key bitmap; the
  // split must not move.
  for (int fields : {15, 16, 17, 100, 3000}) {
    SCOPED_TRACE(fields);
    const std::string out = written([&](UKeyOutStream& w) {
      w.begin_record(make_key("LL"));
      for (int item = 0; item < 3; ++item) {
        for (int k = 0; k < fields; ++k) w.key(static_cast<std::uint16_t>(k * 7 + 1)).write(item * 100000 + k);
      }
      w.end();
    });
    std::istringstream in(out);
    UKeyInStream r(in);
    r.enter_record(make_key("LL"));
    for (int item = 0; item < 3; ++item) {
      ASSERT_TRUE(r.next_item());
      ASSERT_EQ(r.item_size(), static_cast<std::size_t>(fields));
      for (int k = 0; k < fields; k += 1 + fields / 10) {
        int v = -1;
        r.select(static_cast<std::uint16_t>(k * 7 + 1)) >> v;
        EXPECT_EQ(v, item * 100000 + k);
      }
    }
    EXPECT_FALSE(r.next_item());
  }
}

TEST(KeyInStreamTest, Containers) {
  const std::string out = written([](UKeyOutStream& w) {
    w.begin_array(make_key("dd")).write(1.5).write(2.5).write(-3.0).write(4.0).end();
    w.key(make_key("zz")).write(9);
    w.begin_array(make_key("ss")).write(ustring("short")).write(ustring("a longer string")).write_bytes("\1\2\3", 3).end();
  });
  std::istringstream in(out);
  UKeyInStream r(in);

  // Missing container: an empty frame.
  r.enter_record(make_key("no"));
  EXPECT_EQ(r.depth(), 1);
  int i = 5;
  r.select(kAB) >> i;
  EXPECT_EQ(i, 5);
  EXPECT_FALSE(r.has(kAB));
  EXPECT_FALSE(r.next_item());
  r.leave();
  EXPECT_EQ(r.depth(), 0);
  r.select(make_key("zz")) >> i;
  EXPECT_EQ(i, 9) << "the parent continues where it was";

  // Four doubles; the fifth read finds nothing.
  r.enter_array(make_key("dd"));
  double d[5] = {0, 0, 0, 0, 99};
  r >> d[0] >> d[1] >> d[2] >> d[3] >> d[4];
  EXPECT_EQ(d[0], 1.5);
  EXPECT_EQ(d[3], 4.0);
  EXPECT_EQ(d[4], 99);
  EXPECT_FALSE(r.next_item());
  r.leave();

  // field_length consumes an element's header; the next read takes it.
  r.enter_array(make_key("ss"));
  std::uint32_t n = 0;
  EXPECT_FALSE(r.has(kAB)) << "arrays have no keys";
  ASSERT_TRUE(r.field_length(n));
  EXPECT_EQ(n, 5u);
  ASSERT_TRUE(r.field_length(n)) << "asking again names the same element";
  EXPECT_EQ(n, 5u);
  ustring u;
  r >> u;
  EXPECT_EQ(u, ustring("short"));
  ASSERT_TRUE(r.next_item());
  ASSERT_TRUE(r.field_length(n));
  EXPECT_EQ(n, 15u);
  char buffer[20];
  std::memset(buffer, '#', sizeof buffer);
  r.read_bytes(buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, sizeof buffer), "a longer string#####") << "only the field's bytes are copied";
  std::memset(buffer, '#', sizeof buffer);
  r.read_bytes(buffer, 2);
  EXPECT_EQ(std::string(buffer, 4), "\1\2##");
  EXPECT_FALSE(r.field_length(n));
  EXPECT_EQ(n, 0u);
  r >> leave;

  // In a record, field_length and read_bytes concern the current field.
  r.select(make_key("zz"));
  ASSERT_TRUE(r.field_length(n));
  EXPECT_EQ(n, 1u);
  r.select(make_key("no"));
  EXPECT_FALSE(r.field_length(n));
}

TEST(KeyInStreamTest, FieldInfoNamesTypeAndLengthOfFieldsAndElements) {
  const std::string out = written([](UKeyOutStream& w) {
    w.key(make_key("zz")).write(ustring("abc"));
    w.begin_array(make_key("aa")).write(true).write(2.0).write_bytes("\1\2", 2).end();
  });
  std::istringstream in(out);
  UKeyInStream r(in);
  UKeyInStream::FieldInfo info;
  r.select(make_key("zz"));
  ASSERT_TRUE(r.field_info(info));
  EXPECT_EQ(info.key, make_key("zz"));
  EXPECT_EQ(info.type, UKeyStream::eFieldType_String);
  EXPECT_EQ(info.length, 3u);

  r.enter_array(make_key("aa"));
  const struct {
    std::uint8_t type;
    std::uint32_t length;
  } elements[] = {{UKeyStream::eFieldType_Bool, 1}, {UKeyStream::eFieldType_Float, 8}, {UKeyStream::eFieldType_Binary, 2}};
  for (const auto& e : elements) {
    ASSERT_TRUE(r.field_info(info));
    EXPECT_EQ(info.key, 0);
    EXPECT_EQ(info.type, e.type);
    EXPECT_EQ(info.length, e.length);
    std::string skipped;
    r >> skipped;
  }
  EXPECT_FALSE(r.field_info(info));
  EXPECT_EQ(info.type, 0);
}

TEST(KeyInStreamTest, DepthLimit) {
  const std::string out = written([](UKeyOutStream& w) {
    w.key(make_key("tp")).write(1);
    for (int i = 0; i < 9; ++i) w.key(kAB).write(i).begin_record(make_key("rr"));
  });
  std::istringstream in(out);
  UKeyInStream r(in);
  for (int i = 0; i < 9; ++i) r.enter_record(make_key("rr"));
  EXPECT_EQ(r.depth(), 9);
  expect_runtime_error([&] { r.enter_record(make_key("rr")); }, "UKeyInStream: exceeded depth");
  expect_runtime_error([&] { r.enter_array(kAB); }, "UKeyInStream: exceeded depth");
  EXPECT_EQ(r.depth(), 9) << "the refused level is not counted";
  EXPECT_FALSE(r.next_item());
  for (int i = 8; i >= 0; --i) {
    r.leave();
    int v = -1;
    r.select(kAB) >> v;
    EXPECT_EQ(v, i);
  }
  EXPECT_EQ(r.depth(), 0);
  r.leave().leave();  // more leaves than enters: stays at the meta record
  EXPECT_EQ(r.depth(), 0);
  int top = 0;
  r.select(make_key("tp")) >> top;
  EXPECT_EQ(top, 1);
}

// ---------------------------------------------------------------------------
// Untrusted input

// A stream with something of everything, and the offsets at which each of its
// top-level fields ends.
struct RichStream {
  std::string bytes;
  std::vector<std::pair<std::uint16_t, std::size_t>> top_level_ends;
};

RichStream rich_stream() {
  RichStream rich;
  std::string content;
  const auto add = [&](std::uint16_t key, const std::string& f) {
    content += f;
    rich.top_level_ends.emplace_back(key, 13 + content.size());
  };
  add(make_key("i1"), field(make_key("i1"), 2, bytes({1})));
  add(make_key("s1"), field(make_key("s1"), 5, std::string(300, 's')));
  add(make_key("LL"), container(make_key("LL"), 6,
                                field(make_key("aa"), 2, bytes({1})) + field(make_key("bb"), 5, "x") +
                                    container(make_key("dd"), 7, element(4, "") + element(4, bytes({0x3F, 0xF0}))) +
                                    field(make_key("aa"), 2, bytes({2})) +
                                    container(make_key("rr"), 6, field(make_key("in"), 3, bytes({0xFF})))));
  add(make_key("b1"), field(make_key("b1"), 8, std::string(20, '\0')));
  add(make_key("i2"), field(make_key("i2"), 2, bytes({0xFF, 0xFF, 0xFF, 0xFF})));
  rich.bytes = stream_of(content);
  return rich;
}

TEST(KeyInStreamTest, EveryPrefixOfAStream) {
  const RichStream rich = rich_stream();
  {
    std::istringstream in(rich.bytes);
    UKeyInStream r(in);
    EXPECT_EQ(walk(r), 5 + 6 + 2 + 1);
  }
  for (std::size_t n = 0; n <= rich.bytes.size(); ++n) {
    SCOPED_TRACE("prefix of " + std::to_string(n) + " bytes");
    std::istringstream in(rich.bytes.substr(0, n));
    if (n < 8) {
      EXPECT_THROW(UKeyInStream r(in), std::runtime_error);
      continue;
    }
    UKeyInStream r(in);
    // A top-level field is there exactly when the prefix holds all of it.
    for (const auto& [key, end] : rich.top_level_ends) EXPECT_EQ(r.has(key), end <= n) << std::hex << key;
    walk(r);
  }
}

TEST(KeyInStreamTest, LengthsReachingPastTheirContainer) {
  const std::string zz = field(make_key("zz"), 2, bytes({9}));
  const struct {
    const char* name;
    std::string record_content;  // of record "rr"; "zz" follows the record
    int fields_before;           // fields of "rr" still readable
  } cases[] = {
      {"field data past the record",
       field(kAB, 2, bytes({1})) + field(make_key("ef"), 5, "x") + be16(make_key("cd")) + bytes({0x10, 5}) + "xy", 2},
      {"long length past the record", field(kAB, 2, bytes({1})) + be16(make_key("cd")) + "\xFF" + be32(6) + "\x05" + "x",
       1},
      {"4 GB length", field(kAB, 2, bytes({1})) + be16(make_key("cd")) + bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 5}), 1},
      {"4 GB container", be16(make_key("cd")) + bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 6}) + field(kAB, 2, ""), 0},
      {"header cut by the record's end", field(kAB, 2, bytes({1})) + bytes({0x63, 0x64, 0xFF, 0}), 1},
      {"key cut by the record's end", field(kAB, 2, bytes({1})) + "c", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::istringstream in(stream_of(container(make_key("rr"), 6, c.record_content) + zz));
    UKeyInStream r(in);
    r.enter_record(make_key("rr"));
    EXPECT_EQ(r.item_size(), static_cast<std::size_t>(c.fields_before));
    EXPECT_EQ(r.has(kAB), c.fields_before > 0);
    EXPECT_FALSE(r.has(make_key("cd")));
    EXPECT_FALSE(r.next_item()) << "the damaged field ends the record";
    r.leave();
    int v = 0;
    r.select(make_key("zz")) >> v;
    EXPECT_EQ(v, 9) << "the parent is not affected";
  }
}

TEST(KeyInStreamTest, DamagedArrayEndsAtTheBadElement) {
  const std::string content = container(make_key("aa"), 7, element(2, bytes({1})) + element(2, bytes({2})) +
                                                              bytes({0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 2}) + element(2, bytes({3})));
  std::istringstream in(stream_of(content + field(make_key("zz"), 2, bytes({9}))));
  UKeyInStream r(in);
  r.enter_array(make_key("aa"));
  int v[3] = {0, 0, -1};
  ASSERT_TRUE(r.next_item());
  r >> v[0];
  ASSERT_TRUE(r.next_item());
  r >> v[1];
  EXPECT_FALSE(r.next_item());
  r >> v[2];
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[1], 2);
  EXPECT_EQ(v[2], -1);
  std::uint32_t n = 7;
  EXPECT_FALSE(r.field_length(n));
  r.leave();
  EXPECT_TRUE(r.has(make_key("zz")));
}

TEST(KeyInStreamTest, MetaRecordLengthIsBoundedByTheInput) {
  const std::string fields = field(kAB, 2, bytes({1})) + field(make_key("cd"), 2, bytes({2}));
  const struct {
    const char* name;
    std::string input;
    bool ab, cd;
  } cases[] = {
      {"4 GB meta length", bytes({0x4B, 0x53, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 6}) + kCodeField + fields, true, true},
      {"meta shorter than its fields", container(UKeyStream::kMetaKey, 6, kCodeField + field(kAB, 2, bytes({1}))) +
                                           field(make_key("cd"), 2, bytes({2})),
       true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::istringstream in(c.input);
    UKeyInStream r(in);
    EXPECT_EQ(r.has(kAB), c.ab);
    EXPECT_EQ(r.has(make_key("cd")), c.cd);
  }
}

TEST(KeyInStreamTest, InputShorterThanItClaims) {
  const std::string full = written([](UKeyOutStream& w) {
    w.key(kAB).write(ustring(std::string(5000, 'x')));
    w.key(make_key("cd")).write(7);
  });
  for (std::size_t cut : {full.size() - 3, full.size() - 4000, std::size_t{20}}) {
    SCOPED_TRACE(cut);
    ShrunkBuf buf(full.substr(0, cut), static_cast<std::streamoff>(full.size() - cut));
    std::istream in(&buf);
    UKeyInStream r(in);
    ustring u;
    r.select(kAB) >> u;
    EXPECT_LE(u.size(), cut) << "a string longer than the input";
    std::string s;
    r.select(kAB) >> s;
    EXPECT_LE(s.size(), cut);
    walk(r);
  }
}

TEST(KeyInStreamTest, StreamThatDoesNotStartAtPositionZero) {
  const std::string body = written([](UKeyOutStream& w) {
    w.begin_record(make_key("rr")).key(kAB).write(ustring("inside the record")).end();
  });
  std::istringstream in("junk" + body + "trailing");
  in.seekg(4);
  UKeyInStream r(in);
  ustring u;
  r.enter_record(make_key("rr")).select(kAB) >> u;
  EXPECT_EQ(u, ustring("inside the record"));
}

TEST(KeyInStreamTest, UnusableInputReadsAsEmpty) {
  std::istringstream failed(written([](UKeyOutStream&) {}));
  failed.setstate(std::ios_base::failbit);
  expect_runtime_error([&] { UKeyInStream r(failed); }, "UKeyInStream: meta key mismatch");
}

TEST(KeyInStreamTest, LargeStreamAcrossTheReadWindow) {
  // Strings around the size of the reader's window, between many small fields,
  // so that reads start and end on every side of a window's edge.
  const std::size_t sizes[] = {9, 4095, 4096, 4097, 10000, 1, 300};
  const auto text = [](std::size_t i, std::size_t n) {
    std::string s(n, 'a');
    for (std::size_t j = 0; j < n; ++j) s[j] = static_cast<char>('a' + (i + j) % 26);
    return s;
  };
  const std::string out = written([&](UKeyOutStream& w) {
    w.begin_record(make_key("LL"));
    for (std::size_t i = 0; i < 700; ++i) {
      w.key(make_key("ix")).write(static_cast<int>(i));
      w.key(make_key("tx")).write(ustring(text(i, sizes[i % 7])));
      w.key(make_key("dx")).write(static_cast<double>(i) / 3);
    }
    w.end();
  });
  std::istringstream in(out);
  UKeyInStream r(in);
  r.enter_record(make_key("LL"));
  std::size_t i = 0;
  ustring u;
  for (; r.next_item(); ++i) {
    int ix = -1;
    double dx = -1;
    r.select(make_key("dx")) >> dx;
    r.select(make_key("tx")) >> u;
    r.select(make_key("ix")) >> ix;
    ASSERT_EQ(ix, static_cast<int>(i));
    ASSERT_EQ(dx, static_cast<double>(i) / 3);
    ASSERT_EQ(u.view(), text(i, sizes[i % 7]));
  }
  EXPECT_EQ(i, 700u);
}

}  // namespace
