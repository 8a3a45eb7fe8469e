#include "utils/Logger.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "utils/ustring.h"

namespace {

using vxu::Logger;
using vxu::LogRecord;
using vxu::LogSite;

// --- A fixed clock and thread id, so whole lines compare exactly. -----------

constexpr std::int64_t kNow = 1709647331;  // shown as 2024-03-05T14:02:11
constexpr std::int64_t kUnrepresentable = -99999999999;
constexpr char kTimeField[] = "[2024-03-05T14:02:11]";

thread_local std::uint32_t fake_thread_id = 4312;

class FakePlatform : public vxp::PlatformWrapper {
 public:
  FakePlatform() : PlatformWrapper(vxp::native_platform()) {}

  std::uint32_t current_thread_id() override { return fake_thread_id; }
  std::int64_t wall_clock_seconds() override { return now.load(); }

  // A calendar that knows only the 48 seconds from kNow on.
  bool local_time(std::int64_t seconds, std::tm* out) override {
    *out = {};
    if (seconds < kNow || seconds >= kNow + 48) return false;
    out->tm_year = 124;
    out->tm_mon = 2;
    out->tm_mday = 5;
    out->tm_hour = 14;
    out->tm_min = 2;
    out->tm_sec = static_cast<int>(11 + (seconds - kNow));
    return true;
  }

  std::atomic<std::int64_t> now{kNow};
};

class LoggerTest : public ::testing::Test {
 protected:
  FakePlatform platform_;
  vxp::ScopedPlatform scope_{platform_};
};

// Collects what a logger writes, one character per call, as an unbuffered
// stream shared by threads does: a line stays whole only if it is written by
// one call under one lock. Remembers which threads wrote and how often the
// stream was flushed. With the gate closed, writers block until it opens.
class RecordingBuf : public std::streambuf {
 public:
  std::string text() {
    std::lock_guard lock(mutex_);
    return text_;
  }
  std::set<std::thread::id> writers() {
    std::lock_guard lock(mutex_);
    return writers_;
  }
  int flushes() {
    std::lock_guard lock(mutex_);
    return flushes_;
  }
  void close_gate() {
    std::lock_guard lock(mutex_);
    gate_open_ = false;
  }
  void open_gate() {
    std::lock_guard lock(mutex_);
    gate_open_ = true;
    changed_.notify_all();
  }
  // Waits until some writer is blocked at the closed gate.
  void wait_for_blocked_writer() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return blocked_ > 0; });
  }

 protected:
  int_type overflow(int_type c) override {
    std::unique_lock lock(mutex_);
    if (!gate_open_) {
      ++blocked_;
      changed_.notify_all();
      changed_.wait(lock, [&] { return gate_open_; });
      --blocked_;
    }
    text_.push_back(static_cast<char>(c));
    writers_.insert(std::this_thread::get_id());
    if (text_.size() % 32 == 0) {
      lock.unlock();
      std::this_thread::yield();
    }
    return c;
  }
  int sync() override {
    std::lock_guard lock(mutex_);
    ++flushes_;
    return 0;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string text_;
  std::set<std::thread::id> writers_;
  int flushes_ = 0;
  int blocked_ = 0;
  bool gate_open_ = true;
};

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1) {
    lines.push_back(text.substr(start, lf - start));
  }
  EXPECT_EQ(start, text.size()) << "text after the last line feed";
  return lines;
}

// The text one record writes to a logger with the given name.
std::string line_of(LogRecord&& record, const std::string& name = {}) {
  std::ostringstream out;
  Logger<127> logger(out, name);
  logger.log(std::move(record));
  return out.str();
}

// --- The line ---------------------------------------------------------------

TEST_F(LoggerTest, LineLayout) {
  // clang-format off
  static const struct {
    const char* name;
    std::int32_t level;
    LogSite site;
    const char* logger_name;
    std::function<void(LogRecord&)> values;
    std::string expected;  // after the time field
  } cases[] = {
      {"warn from a Windows path",
       vxu::eLogLevel_Warn,
       {"..\\..\\libs\\utils\\UFileSpecCore.cpp", 1219, "UFileSpecCore::copy"},
       "",
       [](LogRecord& r) { r << "attempt to copy a non-existing file"; },
       "[WARN][4312][UFileSpecCore.cpp:UFileSpecCore::copy:1219] attempt to copy a non-existing file\n"},
      {"error from a nested path",
       vxu::eLogLevel_Error,
       {"..\\..\\libs\\utils\\umessage.cpp", 816, "umessage::read"},
       "",
       [](LogRecord& r) { r << "bad type " << 7; },
       "[ERROR][4312][umessage.cpp:umessage::read:816] bad type 7\n"},
      {"debug from the plug-in",
       vxu::eLogLevel_Debug,
       {"Source\\VXIllustrator.cpp", 1262, "StartupPlugin"},
       "",
       [](LogRecord& r) { r << "init res = " << 0; },
       "[DEBUG][4312][VXIllustrator.cpp:StartupPlugin:1262] init res = 0\n"},
      {"path without backslash is kept whole",
       vxu::eLogLevel_Info,
       {"src/utils/Units.cpp", 12, "f"},
       "",
       [](LogRecord& r) { r << "x"; },
       "[INFO][4312][src/utils/Units.cpp:f:12] x\n"},
      {"trailing backslash leaves an empty name",
       vxu::eLogLevel_Info,
       {"dir\\", 3, "f"},
       "",
       [](LogRecord& r) { r << "x"; },
       "[INFO][4312][:f:3] x\n"},
      {"file without function", vxu::eLogLevel_Info, {"a\\b.cpp", 9, nullptr}, "", [](LogRecord& r) { r << "x"; },
       "[INFO][4312][b.cpp:9] x\n"},
      {"function without file", vxu::eLogLevel_Debug, {nullptr, 9, "umessage::read"}, "",
       [](LogRecord& r) { r << "x"; }, "[DEBUG][4312][umessage::read] x\n"},
      {"neither file nor function", vxu::eLogLevel_Error, {nullptr, 9, nullptr}, "", [](LogRecord& r) { r << "x"; },
       "[ERROR][4312] x\n"},
      {"named logger", vxu::eLogLevel_Trace, {nullptr, 0, "f"}, "net", [](LogRecord& r) { r << "x"; },
       "[TRACE][4312][net][f] x\n"},
      {"named logger without source", vxu::eLogLevel_Fault, {nullptr, -1, nullptr}, "net", [](LogRecord&) {},
       "[FAULT][4312][net] \n"},
      {"line feeds stay on the line", vxu::eLogLevel_Warn, {nullptr, 0, "f"}, "",
       [](LogRecord& r) { r << "a\nb\n" << std::string("\n\nc"); }, "[WARN][4312][f] a\\nb\\n\\n\\nc\n"},
      {"bools", vxu::eLogLevel_Warn, {nullptr, 0, "f"}, "", [](LogRecord& r) { r << true << "," << false; },
       "[WARN][4312][f] true,false\n"},
      {"values run together", vxu::eLogLevel_Warn, {nullptr, 0, "f"}, "", [](LogRecord& r) { r << 5 << "x"; },
       "[WARN][4312][f] 5x\n"},
  };
  // clang-format on
  for (const auto& c : cases) {
    LogRecord record(c.level, c.site);
    c.values(record);
    EXPECT_EQ(line_of(std::move(record), c.logger_name), kTimeField + c.expected) << c.name;
  }
}

TEST_F(LoggerTest, LevelsWithoutANameWriteNothing) {
  for (std::int32_t level : {64, 3, 0, -1, 128}) {
    LogRecord record(level, LogSite{"a.cpp", 1, "f"});
    record << "lost";
    EXPECT_EQ(line_of(std::move(record)), "") << level;
  }
}

TEST_F(LoggerTest, TimeIsLocalTimeOfTheRecordsSecond) {
  platform_.now = kNow + 5;
  EXPECT_EQ(line_of(LogRecord(vxu::eLogLevel_Info, nullptr, 0, nullptr)),
            "[2024-03-05T14:02:16][INFO][4312] \n");
  platform_.now = kNow;
  EXPECT_EQ(line_of(LogRecord(vxu::eLogLevel_Info, nullptr, 0, nullptr)),
            "[2024-03-05T14:02:11][INFO][4312] \n");
  platform_.now = kUnrepresentable;
  EXPECT_EQ(line_of(LogRecord(vxu::eLogLevel_Info, nullptr, 0, nullptr)), "[-99999999999][INFO][4312] \n");
}

// --- Values -----------------------------------------------------------------

template <class T>
std::string as_stream_prints(T v) {
  std::ostringstream out;
  out << v;
  return out.str();
}

std::string values_of(const std::function<void(LogRecord&)>& append) {
  LogRecord record(vxu::eLogLevel_Info, nullptr, 0, nullptr);
  append(record);
  const std::string line = line_of(std::move(record));
  const std::string prefix = std::string(kTimeField) + "[INFO][4312] ";
  EXPECT_EQ(line.substr(0, prefix.size()), prefix);
  EXPECT_EQ(line.back(), '\n');
  return line.substr(prefix.size(), line.size() - prefix.size() - 1);
}

TEST_F(LoggerTest, IntegersAsAStreamPrintsThem) {
  static const struct {
    const char* name;
    std::function<void(LogRecord&)> append;
    std::string expected;
  } cases[] = {
      {"short", [](LogRecord& r) { r << short{SHRT_MIN}; }, as_stream_prints(short{SHRT_MIN})},
      {"unsigned short", [](LogRecord& r) { r << static_cast<unsigned short>(USHRT_MAX); },
       as_stream_prints(static_cast<unsigned short>(USHRT_MAX))},
      {"int", [](LogRecord& r) { r << INT_MIN; }, as_stream_prints(INT_MIN)},
      {"unsigned int", [](LogRecord& r) { r << UINT_MAX; }, as_stream_prints(UINT_MAX)},
      {"long", [](LogRecord& r) { r << LONG_MIN; }, as_stream_prints(LONG_MIN)},
      {"unsigned long", [](LogRecord& r) { r << ULONG_MAX; }, as_stream_prints(ULONG_MAX)},
      {"long long", [](LogRecord& r) { r << LLONG_MIN; }, as_stream_prints(LLONG_MIN)},
      {"unsigned long long", [](LogRecord& r) { r << ULLONG_MAX; }, as_stream_prints(ULLONG_MAX)},
      {"zero", [](LogRecord& r) { r << 0; }, "0"},
      {"enumerator", [](LogRecord& r) { r << vxu::eLogLevel_Debug; }, "16"},
  };
  for (const auto& c : cases) EXPECT_EQ(values_of(c.append), c.expected) << c.name;
}

TEST_F(LoggerTest, StringsOfEveryKind) {
  static const struct {
    const char* name;
    std::function<void(LogRecord&)> append;
    std::string expected;
  } cases[] = {
      {"C string", [](LogRecord& r) { r << "abc"; }, "abc"},
      {"std::string", [](LogRecord& r) { r << std::string("abc"); }, "abc"},
      {"string_view", [](LogRecord& r) { r << std::string_view("abcdef", 3); }, "abc"},
      {"ustring", [](LogRecord& r) { r << ustring("\xC3\xA9t\xC3\xA9"); }, "\xC3\xA9t\xC3\xA9"},
      {"char", [](LogRecord& r) { r << 'x' << 1; }, "x1"},
      {"empty strings", [](LogRecord& r) { r << "" << std::string() << 1; }, "1"},
      {"null C string", [](LogRecord& r) { r << static_cast<const char*>(nullptr) << 1; }, "1"},
      // A NUL inside the text would end the item early and the next bytes
      // would be read as tags; the text is cut at the NUL as a stream prints
      // a C string, and later values are intact.
      {"std::string with a NUL", [](LogRecord& r) { r << std::string("ab\0\x04zz", 5) << 7; }, "ab7"},
      {"ustring with a NUL", [](LogRecord& r) { r << ustring("ab\0\x0Azz", 5) << 7; }, "ab7"},
      {"NUL char", [](LogRecord& r) { r << '\0' << 7; }, "7"},
      {"bytes above 0x7F", [](LogRecord& r) { r << "\xFF\x80"; }, "\xFF\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(values_of(c.append), c.expected) << c.name;
}

TEST_F(LoggerTest, DoublesAsAStreamPrintsThem) {
  // clang-format off
  static const double cases[] = {
      0.0, -0.0, 1.0, -1.5, 0.1 + 0.2, 3.14159265358979, 123456.0, 1234567.0, 999999.5, 1e6, 1e+15, 1e21,
      0.0001, 0.00012345678, 1e-05, 1.5e-7, 1e300, -1.5e-300, DBL_MAX, DBL_MIN, 5e-324,
      std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
      std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
  };
  // clang-format on
  for (double v : cases) EXPECT_EQ(values_of([v](LogRecord& r) { r << v; }), as_stream_prints(v)) << v;
  EXPECT_EQ(values_of([](LogRecord& r) { r << 1e6 << "," << 0.0001 << "," << 1e-5; }), "1e+06,0.0001,1e-05");

  // Any bit pattern, and values of every magnitude.
  std::mt19937_64 random(20240305);
  for (int i = 0; i < 20000; ++i) {
    double v;
    if (i % 2) {
      const std::uint64_t bits = random();
      std::memcpy(&v, &bits, sizeof v);
    } else {
      v = std::ldexp(static_cast<double>(random() % 10000000) / 1000.0, static_cast<int>(random() % 80) - 40);
    }
    ASSERT_EQ(values_of([v](LogRecord& r) { r << v; }), as_stream_prints(v)) << i;
  }
}

// --- Value storage ----------------------------------------------------------

TEST_F(LoggerTest, StorageGrowsByTheRule) {
  LogRecord record(vxu::eLogLevel_Info, nullptr, 0, nullptr);
  for (int i = 0; i < 25; ++i) record << i;  // 25 items of 5 bytes
  EXPECT_EQ(record.length(), 125u);
  EXPECT_EQ(record.capacity(), 128u);  // 125 + 4 + 1 > 128 only with the next int
  record << 25;
  EXPECT_EQ(record.capacity(), 256u);  // twice the old capacity beats the need
  const std::string big(1000, 'b');
  record << big;  // needs 130 + 1001 + 1, more than twice 256
  EXPECT_EQ(record.capacity(), 1132u);
  EXPECT_EQ(record.length(), 1132u);
  record << true;
  EXPECT_EQ(record.capacity(), 2264u);

  std::string expected;
  for (int i = 0; i < 26; ++i) expected += std::to_string(i);
  EXPECT_EQ(values_of([&](LogRecord& r) {
              for (int i = 0; i < 26; ++i) r << i;
              r << big << true;
            }),
            expected + big + "true");
}

TEST_F(LoggerTest, LargeRecordWritesTheSameTextAsSmallOnes) {
  const std::string part = "0123456789abcdefghij\n";
  std::string expected_once;
  for (char c : part) c == '\n' ? expected_once += "\\n" : expected_once += c;
  std::string expected;
  for (int i = 0; i < 40; ++i) expected += expected_once + std::to_string(i) + "|1.5";
  EXPECT_EQ(values_of([&](LogRecord& r) {
              for (int i = 0; i < 40; ++i) r << part << i << "|" << 1.5;
            }),
            expected);
}

TEST_F(LoggerTest, MovedRecordsKeepTheirValuesAndLeaveTheSourceEmpty) {
  for (int items : {2, 200}) {  // inline and heap storage
    LogRecord source(vxu::eLogLevel_Warn, LogSite{"x\\a.cpp", 4, "f"});
    for (int i = 0; i < items; ++i) source << "v" << i;
    const std::string expected = line_of(LogRecord(std::move(source)));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(source.length(), 0u);

    LogRecord a(vxu::eLogLevel_Warn, LogSite{"x\\a.cpp", 4, "f"});
    for (int i = 0; i < items; ++i) a << "v" << i;
    LogRecord b(vxu::eLogLevel_Error, nullptr, 0, nullptr);
    b << std::string(300, 'z');  // b owns a heap buffer that the assignment frees
    b = std::move(a);
    EXPECT_EQ(line_of(std::move(b)), expected) << items;
    a << "reused";  // a moved-from record takes values again
    EXPECT_EQ(a.length(), 8u);
  }
}

// --- Statements -------------------------------------------------------------

constexpr LogSite kSiteTest{"..\\tests\\utils\\logger_test.cpp", 77, "LoggerTest::Statement"};

int evaluations = 0;
int counted(int v) {
  ++evaluations;
  return v;
}

TEST_F(LoggerTest, DisabledStatementsEvaluateNothing) {
  std::ostringstream out;
  Logger<vxu::eLogLevel_Warn | vxu::eLogLevel_Error> logger(out);
  evaluations = 0;

  VX_LOG_TO(logger, vxu::eLogLevel_Debug, kSiteTest) << counted(1);  // outside the compile-time mask
  logger.set_mask(vxu::eLogLevel_Error);
  VX_LOG_TO(logger, vxu::eLogLevel_Warn, kSiteTest) << counted(2);  // outside the run-time mask
  EXPECT_EQ(evaluations, 0);
  EXPECT_EQ(out.str(), "");

  VX_LOG_TO(logger, vxu::eLogLevel_Error, kSiteTest) << counted(3);
  EXPECT_EQ(evaluations, 1);
  EXPECT_EQ(out.str(),
            std::string(kTimeField) + "[ERROR][4312][logger_test.cpp:LoggerTest::Statement:77] 3\n");

  EXPECT_FALSE(logger.enabled(vxu::eLogLevel_Warn | vxu::eLogLevel_Error));  // Warn is off at run time
  EXPECT_FALSE(logger.enabled(0));
}

TEST_F(LoggerTest, StatementIsOneStatementInsideIfElse) {
  std::ostringstream out;
  Logger<127> logger(out);
  bool else_taken = false;
  for (bool condition : {true, false}) {
    if (condition)
      VX_LOG_TO(logger, vxu::eLogLevel_Info, kSiteTest) << "taken";
    else
      else_taken = true;
  }
  EXPECT_TRUE(else_taken);
  EXPECT_EQ(split_lines(out.str()).size(), 1u);
}

TEST_F(LoggerTest, SystemLoggerWritesToStandardError) {
  std::ostringstream captured;
  std::streambuf* previous = std::cerr.rdbuf(captured.rdbuf());
  VX_LOG(vxu::eLogLevel_Info, kSiteTest) << "to stderr " << 1;
  const int line = __LINE__ + 1;
  VX_LOG_HERE(vxu::eLogLevel_Trace) << "here";
  evaluations = 0;
  vxu::system_logger.set_mask(0);
  VX_LOG(vxu::eLogLevel_Fault, kSiteTest) << counted(1);
  vxu::system_logger.set_mask(127);
  std::cerr.rdbuf(previous);

  EXPECT_EQ(evaluations, 0);
  EXPECT_EQ(vxu::system_logger.name(), "");
  EXPECT_EQ(vxu::system_logger.stream(), &std::cerr);
  const std::vector<std::string> lines = split_lines(captured.str());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            std::string(kTimeField) + "[INFO][4312][logger_test.cpp:LoggerTest::Statement:77] to stderr 1");
  EXPECT_EQ(lines[1], std::string(kTimeField) +
                          "[TRACE][4312][" __FILE__ ":TestBody:" + std::to_string(line) + "] here");
}

// A static initialiser of this file may run before any of the library's:
// the system logger must already be usable.
std::string logged_during_static_initialisation = [] {
  std::ostringstream captured;
  std::streambuf* previous = std::cerr.rdbuf(captured.rdbuf());
  VX_LOG(vxu::eLogLevel_Error, kSiteTest) << "early";
  std::cerr.rdbuf(previous);
  return captured.str();
}();

TEST(LoggerStaticTest, SystemLoggerWorksDuringStaticInitialisation) {
  EXPECT_NE(logged_during_static_initialisation.find("[ERROR]"), std::string::npos);
  EXPECT_NE(logged_during_static_initialisation.find("] early\n"), std::string::npos);
}

// --- Threads ----------------------------------------------------------------

// The line thread t writes as its i-th record; some are longer than a
// typical line buffer.
std::string payload(int t, int i) {
  return "t" + std::to_string(t) + "#" + std::to_string(i) +
         std::string(i % 7 * 100, static_cast<char>('a' + t));
}

// Every line is one of the expected ones, whole, and each thread's lines come
// in the order it logged them.
void expect_all_lines(const std::string& text, int threads, int per_thread, const char* logger_name) {
  std::vector<int> next(threads, 0);
  int count = 0;
  for (const std::string& line : split_lines(text)) {
    ++count;
    const std::size_t t_pos = line.find("] t");
    ASSERT_NE(t_pos, std::string::npos) << line.substr(0, 80);
    const int t = std::stoi(line.substr(t_pos + 3));
    ASSERT_TRUE(t >= 0 && t < threads) << line.substr(0, 80);
    const std::string expected = std::string(kTimeField) + "[DEBUG][" + std::to_string(100 + t) + "]" +
                                 logger_name + "[logger_test.cpp:LoggerTest::Statement:77] " +
                                 payload(t, next[t]);
    ASSERT_EQ(line, expected);
    ++next[t];
  }
  EXPECT_EQ(count, threads * per_thread);
}

template <class Log>
void log_from_threads(int threads, int per_thread, Log log) {
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([t, per_thread, &log] {
      fake_thread_id = static_cast<std::uint32_t>(100 + t);
      for (int i = 0; i < per_thread; ++i) log(t, i);
    });
  }
  for (std::thread& w : workers) w.join();
}

TEST_F(LoggerTest, LinesFromManyThreadsNeverInterleave) {
  RecordingBuf buf;
  std::ostream out(&buf);
  Logger<127> logger(out);
  Logger<127> other(out);  // a second logger on the same stream
  log_from_threads(4, 300, [&](int t, int i) {
    VX_LOG_TO(t % 2 ? logger : other, vxu::eLogLevel_Debug, kSiteTest) << payload(t, i);
  });
  expect_all_lines(buf.text(), 4, 300, "");
}

// --- Asynchronous mode ------------------------------------------------------

class LoggingThreadTest : public LoggerTest {
 protected:
  void TearDown() override {
    // Leave no writer behind for the next test, however this one ended.
    for (int i = 0; i < 8; ++i) vxu::stop_logging_thread();
  }
};

TEST_F(LoggingThreadTest, WriterWritesEveryLoggersRecordsInOrder) {
  RecordingBuf buf_a, buf_b;
  std::ostream out_a(&buf_a), out_b(&buf_b);
  Logger<127> a(out_a, "a");
  Logger<127> b(out_b, "b");

  vxu::start_logging_thread();
  log_from_threads(3, 200, [&](int t, int i) {
    VX_LOG_TO(a, vxu::eLogLevel_Debug, kSiteTest) << payload(t, i);
    VX_LOG_TO(b, vxu::eLogLevel_Debug, kSiteTest) << payload(t, i);
  });
  vxu::flush_logging();

  expect_all_lines(buf_a.text(), 3, 200, "[a]");
  expect_all_lines(buf_b.text(), 3, 200, "[b]");
  EXPECT_EQ(buf_a.writers().count(std::this_thread::get_id()), 0u) << "written by the writer thread";
  EXPECT_GE(buf_a.flushes(), 1);
  vxu::stop_logging_thread();
}

TEST_F(LoggingThreadTest, StopWritesWhatIsStillQueued) {
  RecordingBuf buf;
  std::ostream out(&buf);
  Logger<127> logger(out);
  vxu::start_logging_thread();
  fake_thread_id = 100;
  for (int i = 0; i < 500; ++i) VX_LOG_TO(logger, vxu::eLogLevel_Debug, kSiteTest) << payload(0, i);
  vxu::stop_logging_thread();
  fake_thread_id = 4312;
  expect_all_lines(buf.text(), 1, 500, "");
  EXPECT_EQ(buf.text().find("FAULT"), std::string::npos) << "the stop record is never written";
}

TEST_F(LoggingThreadTest, StartAndStopAreCounted) {
  RecordingBuf buf;
  std::ostream out(&buf);
  Logger<127> logger(out);
  const auto written_here = [&] {
    VX_LOG_TO(logger, vxu::eLogLevel_Info, kSiteTest) << "x";
    vxu::flush_logging();
    return buf.writers().count(std::this_thread::get_id()) == 1;
  };

  vxu::flush_logging();        // without a writer: returns at once
  vxu::stop_logging_thread();  // without a writer: nothing to stop
  vxu::start_logging_thread();
  vxu::start_logging_thread();
  vxu::stop_logging_thread();
  EXPECT_FALSE(written_here()) << "one start is still in force";
  vxu::stop_logging_thread();
  EXPECT_TRUE(written_here()) << "synchronous again after the last stop";
  vxu::start_logging_thread();  // restarts after a full stop
  vxu::stop_logging_thread();
  EXPECT_EQ(split_lines(buf.text()).size(), 2u);
}

TEST_F(LoggingThreadTest, DestroyedLoggerWaitsForItsQueuedRecords) {
  RecordingBuf blocking_buf, buf;
  std::ostream blocking_out(&blocking_buf), out(&buf);
  Logger<127> blocker(blocking_out);
  auto doomed = std::make_unique<Logger<127>>(out);

  vxu::start_logging_thread();
  blocking_buf.close_gate();
  VX_LOG_TO(blocker, vxu::eLogLevel_Info, kSiteTest) << "hold the writer";
  blocking_buf.wait_for_blocked_writer();  // the writer is stuck in this record
  fake_thread_id = 100;
  for (int i = 0; i < 20; ++i) VX_LOG_TO(*doomed, vxu::eLogLevel_Debug, kSiteTest) << payload(0, i);
  fake_thread_id = 4312;

  std::atomic<bool> destroyed{false};
  std::thread destroyer([&] {
    doomed.reset();
    destroyed = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(destroyed) << "the destructor returned while its records were queued";
  blocking_buf.open_gate();
  destroyer.join();
  expect_all_lines(buf.text(), 1, 20, "");
  vxu::stop_logging_thread();
}

TEST_F(LoggingThreadTest, SynchronousLoggerFlushesItsStreamWhenDestroyed) {
  RecordingBuf buf;
  std::ostream out(&buf);
  { Logger<127> logger(out); }
  EXPECT_EQ(buf.flushes(), 1);
}

}  // namespace
