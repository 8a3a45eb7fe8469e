// LogRecord: what one log statement captured, kept in compact typed form until
// the record is written as a line of text (see utils/Logger.h).
//
// Value storage is a sequence of items, each a tag byte followed by its payload
// in the machine's byte order:
//
//   item    := tag:uint8 payload
//   tag 0   string              bytes up to the first NUL, then one NUL
//   tag 1   bool                1 byte, 0 or 1
//   tag 2   short               2 bytes
//   tag 3   unsigned short      2 bytes
//   tag 4   int                 4 bytes
//   tag 5   unsigned int        4 bytes
//   tag 6   long                sizeof(long) bytes (4 on Windows)
//   tag 7   unsigned long       sizeof(unsigned long) bytes (4 on Windows)
//   tag 8   long long           8 bytes
//   tag 9   unsigned long long  8 bytes
//   tag 10  double              8 bytes
//
// The first 128 bytes live inside the record; a statement allocates only when
// its values need more. Growth: before appending an item of n payload bytes
// the storage must hold length + n + 1 bytes; if it does not, the capacity
// becomes the larger of that need and twice the old capacity. Storage never
// shrinks. An exhausted heap raises std::bad_alloc out of operator<<, leaving
// the record as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

class ustring;

namespace vxu {

// Severity of a record. Levels are bits so that a logger's mask selects any
// set of them; values outside this table are accepted but never written.
enum LogLevel : std::int32_t {
  eLogLevel_Fault = 1,
  eLogLevel_Error = 2,
  eLogLevel_Warn = 4,
  eLogLevel_Info = 8,
  eLogLevel_Debug = 16,
  eLogLevel_Trace = 32,
};

// The printed name of a level ("FAULT" .. "TRACE"), or nullptr for a value
// that is not one of the six levels.
const char* log_level_name(std::int32_t level) noexcept;

// Where a log statement stands in the source: file as the compiler spelled it
// (with backslashes on Windows), line, function. A literal type, so the
// system's documented log sites are declared once as constants:
//   inline constexpr vxu::LogSite kSiteMatrixInvert{
//       "..\\..\\libs\\utils\\Geometry2D.cpp", 171, "vxu::Matrix2D::invert"};
// The strings are not copied by a record: they must outlive it (literals do).
struct LogSite {
  const char* file;
  int line;
  const char* function;
};

// Item tags of the value storage.
enum LogValueTag : std::uint8_t {
  eLogValueTag_String = 0,
  eLogValueTag_Bool = 1,
  eLogValueTag_Short = 2,
  eLogValueTag_UShort = 3,
  eLogValueTag_Int = 4,
  eLogValueTag_UInt = 5,
  eLogValueTag_Long = 6,
  eLogValueTag_ULong = 7,
  eLogValueTag_LongLong = 8,
  eLogValueTag_ULongLong = 9,
  eLogValueTag_Double = 10,
};

class LogRecord {
 public:
  static constexpr std::size_t kInlineCapacity = 128;

  // Captures the arguments, the current wall-clock second and the calling
  // thread's identifier (both from vxp::Platform::Default()). file and
  // function may be null; they are not copied.
  LogRecord(std::int32_t level, const char* file, int line, const char* function);
  LogRecord(std::int32_t level, const LogSite& site)
      : LogRecord(level, site.file, site.line, site.function) {}

  // Moving takes the values (and any heap buffer); the source is left empty.
  LogRecord(LogRecord&& other) noexcept;
  LogRecord& operator=(LogRecord&& other) noexcept;
  LogRecord(const LogRecord&) = delete;
  LogRecord& operator=(const LogRecord&) = delete;
  ~LogRecord() = default;

  // Appending values. Strings are kept up to their first NUL (a null C string
  // appends an empty one); a char is kept as a one-character string, as a
  // stream would print it.
  LogRecord& operator<<(const char* text) {
    return text ? append_text(text, std::strlen(text)) : append_text("", 0);
  }
  LogRecord& operator<<(std::string_view text) { return append_string(text.data(), text.size()); }
  LogRecord& operator<<(const std::string& text) { return append_string(text.data(), text.size()); }
  LogRecord& operator<<(const ustring& text);
  LogRecord& operator<<(char c) { return c ? append_text(&c, 1) : append_text("", 0); }
  LogRecord& operator<<(bool v) {
    return append_value(eLogValueTag_Bool, static_cast<std::uint8_t>(v ? 1 : 0));
  }
  LogRecord& operator<<(short v) { return append_value(eLogValueTag_Short, v); }
  LogRecord& operator<<(unsigned short v) { return append_value(eLogValueTag_UShort, v); }
  LogRecord& operator<<(int v) { return append_value(eLogValueTag_Int, v); }
  LogRecord& operator<<(unsigned int v) { return append_value(eLogValueTag_UInt, v); }
  LogRecord& operator<<(long v) { return append_value(eLogValueTag_Long, v); }
  LogRecord& operator<<(unsigned long v) { return append_value(eLogValueTag_ULong, v); }
  LogRecord& operator<<(long long v) { return append_value(eLogValueTag_LongLong, v); }
  LogRecord& operator<<(unsigned long long v) { return append_value(eLogValueTag_ULongLong, v); }
  LogRecord& operator<<(double v) { return append_value(eLogValueTag_Double, v); }
  // Other pointers would silently print as a bool.
  LogRecord& operator<<(const void*) = delete;

  std::int32_t level() const { return level_; }
  const char* file() const { return file_; }
  int line() const { return line_; }
  const char* function() const { return function_; }
  std::int64_t time() const { return time_; }
  std::uint32_t thread() const { return thread_; }

  // The value storage: `length` bytes of items at `values`.
  const char* values() const { return heap_ ? heap_.get() : inline_; }
  std::size_t length() const { return length_; }
  std::size_t capacity() const { return capacity_; }

 private:
  // Room for one item of n payload bytes; returns where its tag goes.
  char* reserve_item(std::size_t n) {
    const std::size_t need = length_ + n + 1;
    if (need > capacity_) grow(need);
    return (heap_ ? heap_.get() : inline_) + length_;
  }
  void grow(std::size_t need);

  template <class T>
  LogRecord& append_value(LogValueTag tag, T v) {
    char* p = reserve_item(sizeof v);
    p[0] = static_cast<char>(tag);
    std::memcpy(p + 1, &v, sizeof v);
    length_ += 1 + sizeof v;
    return *this;
  }

  // A NUL inside the text would end the item early when it is read back.
  LogRecord& append_string(const char* text, std::size_t n) {
    if (const void* nul = std::memchr(text, '\0', n))
      n = static_cast<std::size_t>(static_cast<const char*>(nul) - text);
    return append_text(text, n);
  }

  // text holds no NUL.
  LogRecord& append_text(const char* text, std::size_t n) {
    char* p = reserve_item(n + 1);
    p[0] = static_cast<char>(eLogValueTag_String);
    std::memcpy(p + 1, text, n);
    p[1 + n] = '\0';
    length_ += n + 2;
    return *this;
  }

  std::int32_t level_;
  const char* file_;
  int line_;
  const char* function_;
  std::int64_t time_;
  std::uint32_t thread_;
  char inline_[kInlineCapacity];
  std::size_t capacity_ = kInlineCapacity;
  std::size_t length_ = 0;
  std::unique_ptr<char[]> heap_;
};

}  // namespace vxu
