#include "utils/LogRecord.h"

#include <algorithm>
#include <utility>

#include "platform/Platform.h"
#include "utils/ustring.h"

namespace vxu {

const char* log_level_name(std::int32_t level) noexcept {
  switch (level) {
    case eLogLevel_Fault:
      return "FAULT";
    case eLogLevel_Error:
      return "ERROR";
    case eLogLevel_Warn:
      return "WARN";
    case eLogLevel_Info:
      return "INFO";
    case eLogLevel_Debug:
      return "DEBUG";
    case eLogLevel_Trace:
      return "TRACE";
    default:
      return nullptr;
  }
}

LogRecord::LogRecord(std::int32_t level, const char* file, int line, const char* function)
    : level_(level), file_(file), line_(line), function_(function) {
  vxp::Platform& platform = vxp::Platform::Default();
  time_ = platform.wall_clock_seconds();
  thread_ = platform.current_thread_id();
}

LogRecord::LogRecord(LogRecord&& other) noexcept
    : level_(other.level_),
      file_(other.file_),
      line_(other.line_),
      function_(other.function_),
      time_(other.time_),
      thread_(other.thread_),
      capacity_(other.capacity_),
      length_(other.length_),
      heap_(std::move(other.heap_)) {
  if (!heap_) std::memcpy(inline_, other.inline_, length_);
  other.capacity_ = kInlineCapacity;
  other.length_ = 0;
}

LogRecord& LogRecord::operator=(LogRecord&& other) noexcept {
  if (this != &other) {
    level_ = other.level_;
    file_ = other.file_;
    line_ = other.line_;
    function_ = other.function_;
    time_ = other.time_;
    thread_ = other.thread_;
    capacity_ = other.capacity_;
    length_ = other.length_;
    heap_ = std::move(other.heap_);
    if (!heap_) std::memcpy(inline_, other.inline_, length_);
    other.capacity_ = kInlineCapacity;
    other.length_ = 0;
  }
  return *this;
}

LogRecord& LogRecord::operator<<(const ustring& text) { return append_string(text.data(), text.size()); }

void LogRecord::grow(std::size_t need) {
  const std::size_t capacity = std::max(need, 2 * capacity_);
  std::unique_ptr<char[]> buffer(new char[capacity]);
  std::memcpy(buffer.get(), values(), length_);
  heap_ = std::move(buffer);
  capacity_ = capacity;
}

}  // namespace vxu
