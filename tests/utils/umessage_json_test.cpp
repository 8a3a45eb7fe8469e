#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <limits>
#include <locale>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "utils/JSONParser.h"
#include "utils/Logger.h"
#include "utils/umessage.h"

namespace {

using shared_record = std::shared_ptr<umessage>;

// ---------------------------------------------------------------- helpers

std::string show_bytes(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// Everything about a record, is_array and exact types included:
//   {name:T[*]=v,v;...}  T: i int, l int64, d double, b bool, s string,
//   r record; * marks is_array; doubles with 17 digits.
std::string dump(const umessage& m) {
  std::string out = "{";
  bool first_entry = true;
  for (const auto& [name, array] : m) {
    if (!first_entry) out += ';';
    first_entry = false;
    out += name.str();
    out += ':';
    auto list = [&](const auto& values, char code, auto render) {
      out += code;
      if (array.is_array) out += '*';
      out += '=';
      bool first = true;
      for (const auto& v : values) {
        if (!first) out += ',';
        first = false;
        render(v);
      }
    };
    switch (array.type()) {
      case umessage::type_int:
        list(array.as<std::int32_t>()->values, 'i', [&](std::int32_t v) { out += std::to_string(v); });
        break;
      case umessage::type_int64:
        list(array.as<std::int64_t>()->values, 'l', [&](std::int64_t v) { out += std::to_string(v); });
        break;
      case umessage::type_double:
        list(array.as<double>()->values, 'd', [&](double v) {
          char text[40];
          std::snprintf(text, sizeof text, "%.17g", v);
          out += text;
        });
        break;
      case umessage::type_bool:
        list(array.as<bool>()->values, 'b', [&](bool v) { out += v ? "true" : "false"; });
        break;
      case umessage::type_string:
        list(array.as<ustring>()->values, 's', [&](const ustring& v) { out += show_bytes(v.view()); });
        break;
      case umessage::type_message:
        list(array.as<shared_record>()->values, 'r', [&](const shared_record& v) { out += dump(*v); });
        break;
      default: out += '?';
    }
  }
  return out + "}";
}

std::string write_text(const umessage& m) {
  std::ostringstream out;
  m.write(out);
  return out.str();
}

// Hands its bytes to the reader at most `chunk` at a time, so that reads
// cross buffer refills at every position.
class ChunkedBuf : public std::streambuf {
 public:
  ChunkedBuf(std::string data, std::size_t chunk) : data_(std::move(data)), chunk_(chunk) {}

 protected:
  int_type underflow() override {
    if (pos_ >= data_.size()) return traits_type::eof();
    const std::size_t n = std::min(chunk_, data_.size() - pos_);
    char* begin = data_.data() + pos_;
    setg(begin, begin, begin + n);
    pos_ += n;
    return traits_type::to_int_type(*begin);
  }

 private:
  std::string data_;
  std::size_t chunk_;
  std::size_t pos_ = 0;
};

constexpr std::size_t kChunkSizes[] = {1, 3, 1 << 20};

// Captures what system_logger writes while it lives.
class CapturedLog {
 public:
  CapturedLog() : previous_(std::cerr.rdbuf(text_.rdbuf())) {}
  ~CapturedLog() { std::cerr.rdbuf(previous_); }
  std::string text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  std::streambuf* previous_;
};

struct ReadResult {
  bool ok;
  std::string record;  // dump of what the record holds afterwards
  std::string log;
};

ReadResult read_text(const std::string& text, std::size_t chunk = 1 << 20) {
  ChunkedBuf buf(text, chunk);
  std::istream in(&buf);
  umessage m("stale");  // read must clear it
  CapturedLog log;
  const bool ok = m.read(in);
  return {ok, dump(m), log.text()};
}

std::string utf16(const std::string& ascii, bool big_endian, bool mark) {
  std::string out;
  if (mark) out += big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : ascii) {
    if (big_endian) out += '\0';
    out += c;
    if (!big_endian) out += '\0';
  }
  return out;
}

// A chain of `depth` records nested under "n", built in memory. The
// record's own destructor recurses, so the chain is unlinked level by level
// by the caller through the returned handles.
std::vector<shared_record> nested_chain(std::size_t depth) {
  std::vector<shared_record> levels;
  levels.reserve(depth);
  for (std::size_t i = 0; i < depth; ++i) levels.push_back(std::make_shared<umessage>());
  for (std::size_t i = 0; i + 1 < depth; ++i) levels[i]->add("n", levels[i + 1]);
  return levels;
}
void unlink_chain(std::vector<shared_record>& levels) {
  for (auto& level : levels) level->clear();
  levels.clear();
}

// ---------------------------------------------------------------- writing

TEST(UmessageJsonWrite, ExactText) {
  static const struct {
    const char* what;
    std::function<void(umessage&)> build;
    const char* expected;
  } cases[] = {
      {"empty record", [](umessage&) {}, "{}"},
      {"int and string, no white space", [](umessage& m) { m.add("b", "x"); m.add("a", 1); }, R"({"a":1,"b":"x"})"},
      {"job-list request",
       [](umessage& m) {
         m.set_what("joblist");
         m.add("sender", "IllustratorCS");
         m.add("hwnd", "1312");
       },
       R"({"hwnd":"1312","sender":"IllustratorCS","what":"joblist"})"},
      {"details request for a document",
       [](umessage& m) {
         m.set_what("details");
         m.add("x", true);
         m.add("v", "QUJD");
         m.add("sender", "IllustratorCS");
         m.add("hwnd", "7");
       },
       R"({"hwnd":"7","sender":"IllustratorCS","v":"QUJD","what":"details","x":true})"},
      {"single value flagged as array", [](umessage& m) { m.add_array("n", 1); }, R"({"n":[1]})"},
      {"two values", [](umessage& m) { m.add("n", 1); m.add("n", 2); }, R"({"n":[1,2]})"},
      {"array erased down to one value stays an array",
       [](umessage& m) {
         m.add("n", 1);
         m.add("n", 2);
         m.erase("n", 0);
       },
       R"({"n":[2]})"},
      {"negative and extreme ints",
       [](umessage& m) {
         m.add("a", -7);
         m.add("b", std::numeric_limits<int>::min());
         m.add("c", std::numeric_limits<int>::max());
       },
       R"({"a":-7,"b":-2147483648,"c":2147483647})"},
      {"int64 in full",
       [](umessage& m) {
         m.add("a", std::int64_t{5000000000});
         m.add("b", std::numeric_limits<std::int64_t>::min());
       },
       R"({"a":5000000000,"b":-9223372036854775808})"},
      {"bools", [](umessage& m) { m.add("f", false); m.add_array("t", true); m.add("t", false); },
       R"({"f":false,"t":[true,false]})"},
      {"doubles as %g",
       [](umessage& m) {
         m.add("a", 1.0);
         m.add("b", 0.1);
         m.add("c", 1234567.0);
         m.add("d", 0.00001);
         m.add("e", 2.0);
         m.add("f", -0.0);
         m.add("g", 1e16);
         m.add("h", 0.0001);
         m.add("i", 123456.0);
         m.add("j", -2.5e-300);
       },
       R"({"a":1,"b":0.1,"c":1.23457e+06,"d":1e-05,"e":2,"f":-0,"g":1e+16,"h":0.0001,"i":123456,"j":-2.5e-300})"},
      {"non-finite doubles",
       [](umessage& m) {
         m.add("a", std::numeric_limits<double>::infinity());
         m.add("b", -std::numeric_limits<double>::infinity());
         m.add("c", std::numeric_limits<double>::quiet_NaN());
         m.add_array("d", std::numeric_limits<double>::infinity());
       },
       R"({"a":1e+999,"b":-1e+999,"c":null,"d":[1e+999]})"},
      {"the seven escapes",
       [](umessage& m) { m.add("s", "q\"b\\s\bf\fn\nr\rt\t/'"); },
       R"({"s":"q\"b\\s\bf\fn\nr\rt\t/'"})"},
      {"other control bytes and UTF-8 unchanged",
       [](umessage& m) { m.add("s", "\x01\x1F\x7F" "caf\xC3\xA9 \xE2\x82\xAC"); },
       "{\"s\":\"\x01\x1F\x7F" "caf\xC3\xA9 \xE2\x82\xAC\"}"},
      {"empty string", [](umessage& m) { m.add("s", ""); }, R"({"s":""})"},
      {"string array", [](umessage& m) { m.add_array("s", "a"); m.add("s", "b\"c"); }, R"({"s":["a","b\"c"]})"},
      {"names are escaped like strings", [](umessage& m) { m.add("a\"b\\c\n", 1); }, R"({"a\"b\\c\n":1})"},
      {"one nested record is an object",
       [](umessage& m) {
         auto r = std::make_shared<umessage>();
         r->add("a", 1);
         m.add("r", r);
         m.add("z", 0);
       },
       R"({"r":{"a":1},"z":0})"},
      {"two nested records are an array",
       [](umessage& m) {
         auto r1 = std::make_shared<umessage>();
         r1->add("a", 1);
         m.add("r", r1);
         m.add("r", std::make_shared<umessage>());
         m.add("s", "x");
       },
       R"({"r":[{"a":1},{}],"s":"x"})"},
      {"one nested record flagged as array", [](umessage& m) { m.add_array("r", umessage()); },
       R"({"r":[{}]})"},
      {"records inside records",
       [](umessage& m) {
         auto inner = std::make_shared<umessage>();
         inner->add("k", 1.5);
         umessage middle;
         middle.add("i", inner);
         middle.add("j", "x");
         m.add_array("a", middle);
         m.add_array("a", middle);
         m.add("b", true);
       },
       R"({"a":[{"i":{"k":1.5},"j":"x"},{"i":{"k":1.5},"j":"x"}],"b":true})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    umessage m;
    c.build(m);
    EXPECT_EQ(write_text(m), c.expected);
  }
}

TEST(UmessageJsonWrite, DoublesMatchPrintfG) {
  std::vector<double> values = {0.0,     -0.0,   1e-5,    1e16,     0.0001,   1e-4,    9.999995e-5,
                                999999.5, 999999.4, 1e6,   0.1,      1.0 / 3, 123456.0, 1234567.0,
                                5e-324,  2.2250738585072014e-308, 1.7976931348623157e308, 0.5, 2.5, 1e21};
  for (int e = -320; e <= 308; ++e) {
    values.push_back(std::pow(10.0, e));
    values.push_back(-1.5 * std::pow(10.0, e));
    values.push_back(9.9999951 * std::pow(10.0, e));
  }
  // Short decimals in and around the fixed-notation range, and values at
  // the rounding boundaries of the sixth digit.
  for (int i = 0; i < 20000; ++i) {
    values.push_back(i / 1000.0);
    values.push_back(-i / 64.0);
    values.push_back(i * 0.1);
    values.push_back(i * 1e-7);
    values.push_back(i * 1e-8);
    values.push_back(i + 0.5);
    values.push_back(999990.0 + i / 1000.0);
  }
  for (double v : {999999.4, 999999.5, 999999.49999999994, 0.0001, 0.00010000000000000002, 9.99999e-5,
                   0.000123456, 0.0001234565, 123456.5, 123455.5, 12345.65, 0.1 + 0.2, 1e6 - 0.25, 4.35, 1.005}) {
    values.push_back(v);
    values.push_back(-v);
  }
  std::uint64_t state = 0x9E3779B97F4A7C15u;
  for (int i = 0; i < 20000; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    double v;
    std::memcpy(&v, &state, sizeof v);
    if (std::isfinite(v)) values.push_back(v);
    values.push_back(static_cast<double>(state % 2000000) / 1000.0 - 1000.0);
  }
  for (double v : values) {
    if (!std::isfinite(v)) continue;  // written otherwise, see ExactText
    umessage m;
    m.add("d", v);
    char expected[64];
    std::snprintf(expected, sizeof expected, "{\"d\":%g}", v);
    ASSERT_EQ(write_text(m), expected) << "value " << v;
  }
}

// The writer must not pick up the stream's or the process's locale.
class CommaDecimal : public std::numpunct<char> {
 protected:
  char do_decimal_point() const override { return ','; }
  std::string do_grouping() const override { return "\3"; }
  char do_thousands_sep() const override { return '.'; }
};

TEST(UmessageJsonWrite, LocaleDoesNotChangeNumbers) {
  umessage m;
  m.add("d", 1234.5);
  m.add("i", 1234567);
  std::ostringstream out;
  out.imbue(std::locale(std::locale::classic(), new CommaDecimal));
  m.write(out);
  EXPECT_EQ(out.str(), R"({"d":1234.5,"i":1234567})");
}

// Strings longer than the writer's buffer, with escapes at and around every
// multiple of the buffer size, come out exactly.
TEST(UmessageJsonWrite, LongStringsAcrossBufferBoundaries) {
  for (std::size_t length : {16383u, 16384u, 16385u, 40000u, 70001u}) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
      const std::size_t k = i % 16384;
      text += (k >= 16380 || k <= 2 || i % 997 == 0) ? '\n' : static_cast<char>('a' + i % 26);
    }
    std::string expected = "{\"s\":\"";
    for (char c : text) expected += c == '\n' ? std::string("\\n") : std::string(1, c);
    expected += "\"}";
    umessage m;
    m.add("s", ustring(text));
    EXPECT_EQ(write_text(m), expected) << "length " << length;
  }
}

// Counts the flushes that reach the stream buffer.
class SyncCountingBuf : public std::stringbuf {
 public:
  int syncs = 0;

 protected:
  int sync() override {
    ++syncs;
    return std::stringbuf::sync();
  }
};

TEST(UmessageJsonWrite, FlushesTheStreamOnce) {
  umessage m;
  for (int i = 0; i < 5000; ++i) m.add("n", i);  // more than one buffer of text
  SyncCountingBuf buf;
  std::ostream out(&buf);
  m.write(out);
  EXPECT_EQ(buf.syncs, 1);
  EXPECT_EQ(buf.str(), write_text(m));
  EXPECT_EQ(buf.str().substr(0, 12), "{\"n\":[0,1,2,");
}

TEST(UmessageJsonWrite, DeepRecordBuiltInMemoryDoesNotExhaustTheStack) {
  constexpr std::size_t kDepth = 200000;
  auto levels = nested_chain(kDepth);
  const std::string text = write_text(*levels.front());
  unlink_chain(levels);
  std::string expected;
  for (std::size_t i = 0; i + 1 < kDepth; ++i) expected += "{\"n\":";
  expected += "{}";
  expected.append(kDepth - 1, '}');
  EXPECT_EQ(text, expected);
}

TEST(UmessageJsonWrite, EqualRecordsGiveIdenticalText) {
  umessage a, b;
  a.add("z", 1);
  a.add("a", "x");
  a.add("m", 2.5);
  b.add("m", 2.5);
  b.add("a", "x");
  b.add("z", 1);
  EXPECT_EQ(write_text(a), write_text(b));
}

// ---------------------------------------------------------------- reading

struct ReadCase {
  const char* what;
  std::string text;
  bool ok;
  const char* record;  // dump of the record afterwards
  int error_line;      // for failures: the line the error names (0: no log)
};

const ReadCase kReadCases[] = {
    {"empty object", "{}", true, "{}", 0},
    {"int and string", R"({"a":1,"b":"x"})", true, R"({a:i=1;b:s="x"})", 0},
    {"names sorted whatever their order", R"({"c":1,"b":2,"a":3})", true, "{a:i=3;b:i=2;c:i=1}", 0},
    {"one-element array keeps the flag", R"({"n":[1]})", true, "{n:i*=1}", 0},
    {"int array", R"({"n":[1,2,-3]})", true, "{n:i*=1,2,-3}", 0},
    {"real with fraction or exponent is a double", R"({"a":2.0,"b":1e5,"c":1.,"d":-2.5E-1})", true,
     "{a:d=2;b:d=100000;c:d=1;d:d=-0.25}", 0},
    {"integer without fraction is an int", R"({"a":2,"b":-0,"c":+5,"d":007})", true, "{a:i=2;b:i=0;c:i=5;d:i=7}",
     0},
    {"integers beyond 32 bits saturate", R"({"a":5000000000,"b":-5000000000,"c":2147483648})", true,
     "{a:i=2147483647;b:i=-2147483648;c:i=2147483647}", 0},
    {"exponent without digits is still a real", R"({"a":1e,"b":2E+})", true, "{a:d=1;b:d=2}", 0},
    {"real overflow and underflow as atof", R"({"a":1e999,"b":-1e999,"c":1e-999})", true,
     "{a:d=inf;b:d=-inf;c:d=0}", 0},
    {"bools", R"({"t":true,"f":false})", true, "{f:b=false;t:b=true}", 0},
    {"null stores nothing", R"({"a":null,"b":1})", true, "{b:i=1}", 0},
    {"null then the same name", R"({"a":null,"a":1})", true, "{a:i=1}", 0},
    {"missing commas and a trailing comma", R"({"a":1 "b":2 "c":3,})", true, "{a:i=1;b:i=2;c:i=3}", 0},
    {"nested record", R"({"r":{"a":{"b":true}}})", true, "{r:r={a:r={b:b=true}}}", 0},
    {"array of records", R"({"r":[{"a":1},{}]})", true, "{r:r*={a:i=1},{}}", 0},
    {"one record in an array", R"({"r":[{}]})", true, "{r:r*={}}", 0},
    {"string and bool arrays", R"({"b":[true,false],"s":["x","y"]})", true,
     R"({b:b*=true,false;s:s*="x","y"})", 0},
    {"integer then real promotes", R"({"n":[1,2.5]})", true, "{n:d*=1,2.5}", 0},
    {"real then integer", R"({"n":[2.5,1,3000000000]})", true, "{n:d*=2.5,1,2147483647}", 0},
    {"many integers then a real", R"({"n":[1,2,3,4,5,6,7,8,9,0.5,10]})", true, "{n:d*=1,2,3,4,5,6,7,8,9,0.5,10}",
     0},
    {"empty array stores nothing", R"({"a":[],"b":1})", true, "{b:i=1}", 0},
    {"array elements without commas", R"({"n":[1 2,3,]})", true, "{n:i*=1,2,3}", 0},
    {"adjacent literals in a name and a value", "{\"a\" \"b\" : \"c\"\n \"d\"}", true, R"({ab:s="cd"})", 0},
    {"adjacent literals are one array element", R"({"n":["a" "b","c"]})", true, R"({n:s*="ab","c"})", 0},
    {"escapes", R"({"s":"\n\r\t\b\f\"\\\/\'\u0041\q"})", true, R"({s:s="\n\n\t\b\f\"\\/'u0041q"})", 0},
    {"raw control bytes and invalid UTF-8 are kept", "{\"s\":\"\x01\r\xFF\xFE\"}", true,
     R"({s:s="\x01\r\xFF\xFE"})", 0},
    {"comments", "{/*a*/\"a\"://x\n1, /*/ \"b\"/**/:2 /***/}", true, "{a:i=1;b:i=2}", 0},
    {"a lone slash is dropped", R"({"a":/1})", true, "{a:i=1}", 0},
    {"all C white space", "\t{\v\"a\"\f:\r1\n}", true, "{a:i=1}", 0},
    {"text after the object is not read", R"({"a":1} trailing {)", true, "{a:i=1}", 0},
    {"UTF-8 byte-order mark", "\xEF\xBB\xBF{\"a\":1}", true, "{a:i=1}", 0},
    {"UTF-16LE with mark", utf16(R"({"a":"b"})", false, true), true, R"({a:s="b"})", 0},
    {"UTF-16BE without mark", utf16(R"({"a":1})", true, false), true, "{a:i=1}", 0},
    {"UTF-16LE non-ASCII becomes UTF-8", std::string("\xFF\xFE{\0\"\0a\0\"\0:\0\"\0\xE9\0\"\0}\0", 20), true,
     R"({a:s="\xC3\xA9"})", 0},

    {"repeated name", R"({"a":1,"a":2})", false, "{a:i=1}", 1},
    {"repeated name out of order", R"({"c":1,"a":2,"b":3,"a":4})", false, "{a:i=2;b:i=3;c:i=1}", 1},
    {"repeated array name", R"({"a":[1],"a":[2]})", false, "{a:i*=1}", 1},
    {"top-level array", "[1]", false, "{}", 1},
    {"top-level string", R"("a")", false, "{}", 1},
    {"failure on the third line", "{\"a\":1,\n\"b\":2,\n\"c\" x}", false, "{a:i=1;b:i=2}", 3},
    {"line breaks inside strings count", "{\"a\":\"x\r\ny\nz\rw\",\n\"b\" x}", false,
     R"({a:s="x\r\ny\nz\rw"})", 5},
    {"unknown word", R"({"a":nul})", false, "{}", 1},
    {"word case matters", R"({"a":True})", false, "{}", 1},
    {"word runs on", R"({"a":truex})", false, "{}", 1},
    {"point without digits before", R"({"a":.5})", false, "{}", 1},
    {"sign without digits", R"({"a":-x})", false, "{}", 1},
    {"mixed int and string array keeps what was stored", R"({"a":[1,"x"]})", false, "{a:i*=1}", 1},
    {"promoted array keeps its doubles", R"({"a":[1,2.5,true]})", false, "{a:d*=1,2.5}", 1},
    {"record after int in an array", R"({"a":[1,{}]})", false, "{a:i*=1}", 1},
    {"int after record in an array", R"({"a":[{},1]})", false, "{a:r*={}}", 1},
    {"nested array", R"({"a":[[1]]})", false, "{}", 1},
    {"null in an array", R"({"a":[1,null]})", false, "{a:i*=1}", 1},
    {"comma at an element position", R"({"a":[,1]})", false, "{}", 1},
    {"two commas between members", R"({"a":1,,"b":2})", false, "{a:i=1}", 1},
    {"missing colon", R"({"a" 1})", false, "{}", 1},
    {"name is not a string", R"({a:1})", false, "{}", 1},
    {"failed nested record is not stored", R"({"a":1,"b":{"c":1,"d":x}})", false, "{a:i=1}", 1},
    {"records of an array stored before a failure stay", R"({"b":1,"a":[{"x":1},{"y":x}]})", false,
     "{a:r*={x:i=1};b:i=1}", 1},
    {"empty name", R"({"a":1,"":2})", false, "{a:i=1}", 0},
    {"name with a slash", R"({"a/b":1})", false, "{}", 0},
    {"name with a question mark in an array", R"({"z":1,"a?":[1,2]})", false, "{z:i=1}", 0},
    {"empty name with null is accepted", R"({"":null})", true, "{}", 0},
    {"zero byte after a number", std::string("{\"a\":1\0}", 8), false, "{a:i=1}", 1},
    {"zero byte between tokens", std::string("{\"a\":1,\0}", 9), false, "{a:i=1}", 1},
    {"byte that starts no token", "{\"a\":1,\xFF}", false, "{a:i=1}", 1},
    {"unterminated string keeps its member", R"({"a":"abc)", false, R"({a:s="abc"})", 1},
    {"unterminated name", R"({"abc)", false, "{}", 1},
    {"unterminated comment", R"({"a":1 /* never closed)", false, "{a:i=1}", 1},
    {"end after a colon", R"({"a":)", false, "{}", 1},
    {"end inside an array", R"({"a":[1,2)", false, "{a:i*=1,2}", 1},
    {"white space only", "   ", false, "{}", 1},
    {"UTF-16 surrogate ends the input", std::string("\xFF\xFE{\0\"\0a\0\"\0:\0\x00\xD8", 14), false, "{}", 1},
    {"one byte: no log", "{", false, "{}", 0},
    {"nothing: no log", "", false, "{}", 0},
};

TEST(UmessageJsonRead, Cases) {
  for (const auto& c : kReadCases) {
    for (std::size_t chunk : kChunkSizes) {
      SCOPED_TRACE(std::string(c.what) + ", chunk " + std::to_string(chunk));
      const ReadResult r = read_text(c.text, chunk);
      EXPECT_EQ(r.ok, c.ok);
      EXPECT_EQ(r.record, c.record);
      if (c.ok) {
        EXPECT_EQ(r.log, "");
      } else if (c.error_line > 0) {
        EXPECT_NE(r.log.find("] unexpected element in json at line " + std::to_string(c.error_line) + "\n"),
                  std::string::npos)
            << r.log;
      }
    }
  }
}

TEST(UmessageJsonRead, InvalidNameIsReportedByTheRecord) {
  const ReadResult r = read_text(R"({"a":1,"x/y":2})");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.log.find("] empty or invalid name\n"), std::string::npos) << r.log;
}

// "[YYYY-MM-DDTHH:MM:SS][LEVEL][thread]" followed by rest, exactly.
bool is_log_line(const std::string& line, const std::string& level, const std::string& rest) {
  static const char kTimeShape[] = "dddd-dd-ddTdd:dd:dd";
  if (line.size() < 21 || line[0] != '[' || line[20] != ']') return false;
  for (std::size_t i = 0; i < 19; ++i) {
    const char c = line[1 + i];
    if (kTimeShape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(c)) : c != kTimeShape[i]) return false;
  }
  const std::string head = "[" + level + "][";
  if (line.compare(21, head.size(), head) != 0) return false;
  std::size_t i = 21 + head.size();
  const std::size_t digits = i;
  while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]))) ++i;
  if (i == digits || i >= line.size() || line[i] != ']') return false;
  return line.substr(i + 1) == rest;
}

TEST(UmessageJsonRead, ErrorLogRecord) {
  const ReadResult r = read_text("{\n\"a\" 1}");
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(is_log_line(r.log, "ERROR",
                          "[umessage.cpp:umessage::read:816] unexpected element in json at line 2\n"))
      << r.log;
}

TEST(UmessageJsonRead, UnreadableStreamIsLogged) {
  std::istringstream in("{}");
  in.setstate(std::ios_base::failbit);
  umessage m("x");
  CapturedLog log;
  EXPECT_FALSE(m.read(in));
  EXPECT_TRUE(m.empty());
  EXPECT_NE(log.text().find("[ERROR]"), std::string::npos);
  EXPECT_NE(log.text().find("] invalid stream\n"), std::string::npos) << log.text();
}

TEST(UmessageJsonRead, StopsAfterTheClosingBrace) {
  std::istringstream in(R"({"a":{"b":1}} rest)");
  umessage m;
  ASSERT_TRUE(m.read(in));
  std::string rest;
  std::getline(in, rest);
  EXPECT_EQ(rest, " rest");
}

// Numbers follow the C library (in the "C" locale the tests run in) whatever
// the process locale, so compare against it directly.
TEST(UmessageJsonRead, RealsMatchStrtod) {
  std::vector<std::string> texts = {"0.",  "1.5",  "-0.0",   "1e-320", "4.9e-324", "2.4e-324", "2.5e-324",
                                    "1e-400", "1.7976931348623157e308", "1.7976931348623159e308", "1e309",
                                    "0.000000000000000000000000000001e330", "123456789012345678901234567890.5",
                                    "2.2250738585072011e-308", "1.00000000000000011102230246251565404236316680908203125",
                                    "7.e-0", "00000.00001e+5", "1e+2147483648", "0e99999"};
  std::uint64_t state = 12345;
  for (int i = 0; i < 5000; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    char text[64];
    std::snprintf(text, sizeof text, "%llu.%llue%d", static_cast<unsigned long long>(state >> 40),
                  static_cast<unsigned long long>(state & 0xFFFFF), static_cast<int>(state % 700) - 350);
    texts.push_back(text);
  }
  for (const std::string& t : texts) {
    const double expected = std::strtod(t.c_str(), nullptr);
    const double got = JSONParser::to_real(t);
    EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << t << ": " << got << " vs " << expected;
  }
}

TEST(UmessageJsonRead, ProcessLocaleDoesNotChangeTheDecimalPoint) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous != nullptr ? previous : "C";
  bool switched = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "German_Germany.1252"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      switched = true;
      break;
    }
  }
  const std::locale saved_global = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
  umessage m;
  std::istringstream in(R"({"d":1.5})");
  const bool ok = m.read(in);
  umessage out;
  out.add("d", 2.25);
  const std::string text = write_text(out);
  std::locale::global(saved_global);
  std::setlocale(LC_NUMERIC, saved.c_str());
  ASSERT_TRUE(ok);
  EXPECT_EQ(m.value<double>("d"), 1.5);
  EXPECT_EQ(text, R"({"d":2.25})");
  if (!switched) std::cout << "(no comma-decimal C locale installed; checked the C++ global locale only)\n";
}

// The tokenizer on its own, through the token layer other parsers use.
TEST(JSONParserTest, TokensKindsAndTexts) {
  std::istringstream in("{ \"a\" \"b\" : -12, 3.5e1 /* c */ [true,false // d\n null] } x");
  JSONParser parser(in);
  static const struct {
    JSON_Token kind;
    const char* text;
  } expected[] = {
      {eJSON_Token_ObjectBegin, ""}, {eJSON_Token_String, "ab"}, {eJSON_Token_Colon, ""},
      {eJSON_Token_Integer, "-12"},  {eJSON_Token_Comma, ""},    {eJSON_Token_Real, "3.5e1"},
      {eJSON_Token_ArrayBegin, ""},  {eJSON_Token_True, "true"}, {eJSON_Token_Comma, ""},
      {eJSON_Token_False, "false"},  {eJSON_Token_Null, "null"}, {eJSON_Token_ArrayEnd, ""},
      {eJSON_Token_ObjectEnd, ""},
  };
  JSONParser::Token token;
  for (const auto& e : expected) {
    ASSERT_TRUE(parser.get_token(token));
    EXPECT_EQ(token.kind, e.kind);
    EXPECT_EQ(token.text.str(), e.text);
    // A pushed-back token comes again.
    parser.unget_token(token);
    ASSERT_TRUE(parser.get_token(token));
    EXPECT_EQ(token.kind, e.kind);
  }
  EXPECT_EQ(parser.line(), 2u);
  try {
    parser.get_token(token);
    FAIL() << "a word that is no keyword must fail";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "unexpected element in json at line 2");
  }
}

// ---------------------------------------------------------------- hostile input

TEST(UmessageJsonRead, NestingIsBounded) {
  auto objects = [](int depth) {
    std::string text;
    for (int i = 1; i < depth; ++i) text += "{\"n\":";
    text += "{}";
    text.append(static_cast<std::size_t>(depth - 1), '}');
    return text;
  };
  EXPECT_TRUE(read_text(objects(256)).ok);
  const ReadResult deep = read_text(objects(257));
  EXPECT_FALSE(deep.ok);
  EXPECT_NE(deep.log.find("unexpected element in json at line 1"), std::string::npos);

  // Arrays count as levels too: 128 array/object pairs inside the root.
  auto mixed = [](int pairs) {
    std::string text = "{\"a\":";
    for (int i = 0; i < pairs; ++i) text += "[{\"a\":";
    text += "1";
    for (int i = 0; i < pairs; ++i) text += "}]";
    return text + "}";
  };
  EXPECT_TRUE(read_text(mixed(127)).ok);
  EXPECT_FALSE(read_text(mixed(128)).ok);

  for (const char* opener : {"{\"a\":", "{\"a\":[{\"a\":["}) {
    std::string hostile;
    for (int i = 0; i < 100000; ++i) hostile += opener;
    const ReadResult r = read_text(hostile);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.record, "{}");
  }
}

// A record read back to the limit is written and read again unchanged.
TEST(UmessageJsonRead, DeepestRecordRoundTrips) {
  std::string text;
  for (int i = 1; i < 256; ++i) text += "{\"n\":";
  text += "{}";
  text.append(255, '}');
  std::istringstream in(text);
  umessage m;
  ASSERT_TRUE(m.read(in));
  EXPECT_EQ(write_text(m), text);
}

TEST(UmessageJsonRead, EveryTruncationFailsCleanly) {
  const std::string text =
      "\xEF\xBB\xBF{\"a\":[1,2.5e-3],\"b\":{\"c\":[{\"d\":true},{}],\"e\":\"x\\\"y\" \"z\"},\n"
      "/* c */ \"f\":null, \"g\":-12 // end\n}";
  ASSERT_TRUE(read_text(text).ok);
  for (std::size_t n = 0; n < text.size(); ++n) {
    const ReadResult r = read_text(text.substr(0, n));
    EXPECT_FALSE(r.ok) << "prefix of " << n << " bytes";
  }
}

TEST(UmessageJsonRead, HugeInputsStayLinear) {
  // Many names in descending order (the worst case for a sorted insert).
  std::string names = "{";
  constexpr int kNames = 50000;
  for (int i = kNames; i > 0; --i) names += "\"k" + std::to_string(1000000 + i) + "\":1,";
  names += "}";
  std::istringstream in(names);
  umessage m;
  ASSERT_TRUE(m.read(in));
  EXPECT_EQ(m.size(), static_cast<std::size_t>(kNames));
  EXPECT_EQ(m.names().front(), "k1000001");

  // A long integer array promoted by its last element, and a long string.
  std::string numbers = "{\"n\":[";
  for (int i = 0; i < 200000; ++i) numbers += "7,";
  numbers += "0.5],\"s\":\"" + std::string(4000000, 'x') + "\"}";
  std::istringstream in2(numbers);
  umessage m2;
  ASSERT_TRUE(m2.read(in2));
  EXPECT_EQ(m2.count("n"), 200001u);
  EXPECT_EQ(m2.value<double>("n", 200000), 0.5);
  EXPECT_EQ(m2.value<ustring>("s").size(), 4000000u);
}

TEST(UmessageJsonRead, RepeatedNameAmongManyUnorderedNames) {
  std::string text = "{";
  for (int i = 0; i < 3000; ++i) text += "\"k" + std::to_string((i * 7919) % 3000) + "\":" + std::to_string(i) + ",";
  text += "\"k1234\":0}";
  const ReadResult r = read_text(text);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.log.find("unexpected element in json"), std::string::npos);
}

// ---------------------------------------------------------------- round trips

umessage sample_record() {
  umessage m("sample");
  m.add("int", -42);
  m.add("int64", std::int64_t{123456789});
  m.add("double", 0.375);
  m.add("bool", true);
  m.add("text", "line\none \"quoted\" \\ tab\t caf\xC3\xA9");
  m.add_array("one", 5);
  m.add_array("doubles", 1.5);
  m.add("doubles", -2.25);
  m.add_array("texts", "a");
  m.add("texts", "");
  auto inner = std::make_shared<umessage>();
  inner->add("flag", false);
  inner->add_array("list", umessage("leaf"));
  m.add("inner", inner);
  m.add("records", std::make_shared<umessage>(*inner));
  m.add("records", std::make_shared<umessage>());
  return m;
}

TEST(UmessageJsonRoundTrip, RecordsSurviveWriteAndRead) {
  const umessage original = sample_record();
  const std::string text = write_text(original);
  for (std::size_t chunk : kChunkSizes) {
    ChunkedBuf buf(text, chunk);
    std::istream in(&buf);
    umessage back;
    ASSERT_TRUE(back.read(in));
    // int64 comes back as int and 2.0-like doubles as ints; none here.
    umessage expected = original;
    expected.set("int64", 123456789);
    EXPECT_EQ(dump(back), dump(expected));
    EXPECT_EQ(write_text(back), text);
  }
}

TEST(UmessageJsonRoundTrip, DocumentedConversions) {
  static const struct {
    const char* what;
    std::function<void(umessage&)> build;
    const char* back;
  } cases[] = {
      {"double 2.0 comes back as an int", [](umessage& m) { m.add("d", 2.0); }, "{d:i=2}"},
      {"int64 beyond 32 bits saturates", [](umessage& m) { m.add("l", std::int64_t{5000000000}); },
       "{l:i=2147483647}"},
      {"CR LF comes back as LF LF", [](umessage& m) { m.add("s", "a\r\nb"); }, R"({s:s="a\n\nb"})"},
      {"doubles keep six digits", [](umessage& m) { m.add("d", 3.14159265); }, "{d:d=3.1415899999999999}"},
      {"infinity comes back", [](umessage& m) { m.add("d", -std::numeric_limits<double>::infinity()); },
       "{d:d=-inf}"},
      {"NaN member is dropped", [](umessage& m) { m.add("d", std::nan("")); m.add("e", 1); }, "{e:i=1}"},
      {"names with quotes come back", [](umessage& m) { m.add("a\"b", 1); }, "{a\"b:i=1}"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    umessage m;
    c.build(m);
    std::istringstream in(write_text(m));
    umessage back;
    EXPECT_TRUE(back.read(in));
    EXPECT_EQ(dump(back), c.back);
  }
}

}  // namespace

// The scanner looks for the end of a string and the record for separators
// in names several bytes at a time: a special byte must be found at every
// position of texts shorter and longer than those blocks, whatever the
// chunks the input arrives in.
TEST(UmessageJsonRoundTrip, SpecialBytesAtEveryPositionOfAString) {
  static const char kSpecials[] = {'"', '\\', '\n', '\t', '/', '\x01'};
  for (std::size_t length = 1; length <= 40; ++length) {
    for (std::size_t at = 0; at < length; ++at) {
      for (char special : kSpecials) {
        std::string text(length, 'a');
        text[at] = special;
        umessage m;
        m.add("s", ustring(text));
        m.add("t", ustring(text + text));
        const std::string json = write_text(m);
        for (std::size_t chunk : {std::size_t{7}, std::size_t{1} << 20}) {
          ChunkedBuf buf(json, chunk);
          std::istream in(&buf);
          umessage back;
          ASSERT_TRUE(back.read(in)) << json;
          ASSERT_EQ(back.value<ustring>("s").str(), text) << json << ", chunk " << chunk;
          ASSERT_EQ(back.value<ustring>("t").str(), text + text) << json << ", chunk " << chunk;
        }
      }
    }
  }
}

TEST(UmessageJsonRead, SeparatorAtEveryPositionOfANameFails) {
  for (std::size_t length = 1; length <= 20; ++length) {
    const std::string plain(length, 'n');
    ASSERT_TRUE(read_text("{\"" + plain + "\":1}").ok) << plain;
    for (std::size_t at = 0; at < length; ++at) {
      for (char separator : {'/', '?'}) {
        std::string name = plain;
        name[at] = separator;
        const ReadResult r = read_text("{\"" + name + "\":1}");
        EXPECT_FALSE(r.ok) << name;
        EXPECT_NE(r.log.find("] empty or invalid name\n"), std::string::npos) << name;
      }
    }
  }
}

// Errors name the line of the last byte read, also when the bytes after a
// token are taken from the buffer in place.
TEST(UmessageJsonRead, LinesCountedAfterEachKindOfToken) {
  static const struct {
    const char* what;
    const char* text;
    int line;
  } cases[] = {
      {"after a name", "{\"a\"\n\n1}", 3},
      {"after a string value", "{\"a\":\"x\"\n\n\"b\" 1}", 3},
      {"after a number", "{\"a\":[1\n\n\"x\"]}", 3},
      {"after a word", "{\"a\":[true\n\n1]}", 3},
      {"after a colon", "{\"a\":\n\n]}", 3},
      {"CR LF counts once", "{\"a\":1,\r\n\"b\":2,\r\n\"a\":3}", 3},
  };
  for (const auto& c : cases) {
    for (std::size_t chunk : kChunkSizes) {
      SCOPED_TRACE(std::string(c.what) + ", chunk " + std::to_string(chunk));
      const ReadResult r = read_text(c.text, chunk);
      EXPECT_FALSE(r.ok);
      EXPECT_NE(r.log.find("unexpected element in json at line " + std::to_string(c.line) + "\n"), std::string::npos)
          << r.log;
    }
  }
}
