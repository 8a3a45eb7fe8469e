#include "utils/Logger.h"

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace vxu {

const std::string& LoggerBase::name() const {
  static const std::string unnamed;
  return name_ ? *name_ : unnamed;
}

namespace detail {

// Constant initialisation: no constructor runs at start-up, so there is no
// order to get wrong between this and the dynamic initialisers of other
// translation units.
constinit SystemLoggerStorage system_logger_storage;

namespace {
std::atomic<int> lifetime_users{0};
}

SystemLoggerLifetime::SystemLoggerLifetime() noexcept {
  lifetime_users.fetch_add(1, std::memory_order_relaxed);
}

SystemLoggerLifetime::~SystemLoggerLifetime() {
  if (lifetime_users.fetch_sub(1, std::memory_order_acq_rel) == 1) system_logger.retire();
}

}  // namespace detail

namespace {

// The loggers' shared state.
struct SharedState {
  // Writes to one stream are serialised so that a line is never split by
  // another thread's line. Loggers that share a stream share its lock.
  std::mutex stream_locks[16];
  // Guards `writer` and the writer's queue and counters.
  std::mutex queue_mutex;
  std::shared_ptr<logger_thread_data> writer;
  // Mirrors `writer != nullptr` for the synchronous fast path of `log`; the
  // decision is confirmed under queue_mutex.
  std::atomic<bool> writer_running{false};
  // Serialises start_logging_thread and stop_logging_thread.
  std::mutex lifecycle_mutex;
};

// Built on first use, so loggers work in static initialisers of any
// translation unit (std::mutex is not constexpr everywhere), and never
// destroyed, so they work in static destructors too and a writer still
// running at exit is not destroyed while its thread is joinable.
SharedState& state() {
  static SharedState* const instance = new SharedState;
  return *instance;
}

// A line under construction: on the stack while it fits, which covers all but
// the longest records.
class LineBuffer {
 public:
  LineBuffer() = default;
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;

  // Room for n more bytes at end(); commit what was written with advance.
  char* room(std::size_t n) {
    if (capacity_ - size_ < n) grow(n);
    return data_ + size_;
  }
  void advance(std::size_t n) { size_ += n; }

  void append(const char* s, std::size_t n) {
    std::memcpy(room(n), s, n);
    size_ += n;
  }
  void append(const char* s) { append(s, std::strlen(s)); }
  void push(char c) {
    *room(1) = c;
    ++size_;
  }

  template <class T>
  void append_integer(T v) {
    char* p = room(24);
    size_ += static_cast<std::size_t>(std::to_chars(p, p + 24, v).ptr - p);
  }

  // As a default std::ostream prints a double: printf's %g with precision 6.
  void append_double(double v) {
    char* p = room(32);
    size_ += static_cast<std::size_t>(std::to_chars(p, p + 32, v, std::chars_format::general, 6).ptr - p);
  }

  const char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  void grow(std::size_t n) {
    const std::size_t capacity = std::max(capacity_ * 2, size_ + n);
    std::unique_ptr<char[]> heap(new char[capacity]);
    std::memcpy(heap.get(), data_, size_);
    heap_ = std::move(heap);
    data_ = heap_.get();
    capacity_ = capacity;
  }

  char stack_[512];
  char* data_ = stack_;
  std::size_t size_ = 0;
  std::size_t capacity_ = sizeof stack_;
  std::unique_ptr<char[]> heap_;
};

// The formatted local time of the last second this thread wrote. Records of
// one second share it, so the conversion runs at most once a second per
// thread. Keyed by the platform too, since tests install their own clocks.
struct TimeText {
  const vxp::Platform* platform;
  std::int64_t seconds;
  std::size_t length;
  char text[32];
};
thread_local TimeText time_text{nullptr, 0, 0, {}};

void append_time(std::int64_t seconds, LineBuffer& out) {
  vxp::Platform& platform = vxp::Platform::Default();
  TimeText& cache = time_text;
  if (cache.length == 0 || cache.seconds != seconds || cache.platform != &platform) {
    std::tm tm;
    std::size_t length = 0;
    if (platform.local_time(seconds, &tm))
      length = std::strftime(cache.text, sizeof cache.text, "%Y-%m-%dT%H:%M:%S", &tm);
    if (length == 0) {
      length = static_cast<std::size_t>(
          std::to_chars(cache.text, cache.text + sizeof cache.text, seconds).ptr - cache.text);
    }
    cache.platform = &platform;
    cache.seconds = seconds;
    cache.length = length;
  }
  out.append(cache.text, cache.length);
}

// Line feeds are shown as backslash and 'n' so a record stays on one line.
void append_escaped(const char* s, std::size_t n, LineBuffer& out) {
  while (n > 0) {
    const void* lf = std::memchr(s, '\n', n);
    if (!lf) {
      out.append(s, n);
      return;
    }
    const auto k = static_cast<std::size_t>(static_cast<const char*>(lf) - s);
    out.append(s, k);
    out.append("\\n", 2);
    s += k + 1;
    n -= k + 1;
  }
}

template <class T>
bool read_payload(const char*& p, const char* end, T* v) {
  if (static_cast<std::size_t>(end - p) < sizeof *v) return false;
  std::memcpy(v, p, sizeof *v);
  p += sizeof *v;
  return true;
}

template <class T>
bool append_integer_item(const char*& p, const char* end, LineBuffer& out) {
  T v;
  if (!read_payload(p, end, &v)) return false;
  out.append_integer(v);
  return true;
}

// Writes the value items in order; stops at anything malformed.
void append_values(const LogRecord& record, LineBuffer& out) {
  const char* p = record.values();
  const char* const end = p + record.length();
  while (p < end) {
    const auto tag = static_cast<std::uint8_t>(*p++);
    bool ok = true;
    switch (tag) {
      case eLogValueTag_String: {
        const void* nul = std::memchr(p, '\0', static_cast<std::size_t>(end - p));
        if (!nul) return;
        const auto n = static_cast<std::size_t>(static_cast<const char*>(nul) - p);
        append_escaped(p, n, out);
        p += n + 1;
        break;
      }
      case eLogValueTag_Bool: {
        std::uint8_t v;
        if ((ok = read_payload(p, end, &v))) v ? out.append("true", 4) : out.append("false", 5);
        break;
      }
      case eLogValueTag_Short:
        ok = append_integer_item<short>(p, end, out);
        break;
      case eLogValueTag_UShort:
        ok = append_integer_item<unsigned short>(p, end, out);
        break;
      case eLogValueTag_Int:
        ok = append_integer_item<int>(p, end, out);
        break;
      case eLogValueTag_UInt:
        ok = append_integer_item<unsigned int>(p, end, out);
        break;
      case eLogValueTag_Long:
        ok = append_integer_item<long>(p, end, out);
        break;
      case eLogValueTag_ULong:
        ok = append_integer_item<unsigned long>(p, end, out);
        break;
      case eLogValueTag_LongLong:
        ok = append_integer_item<long long>(p, end, out);
        break;
      case eLogValueTag_ULongLong:
        ok = append_integer_item<unsigned long long>(p, end, out);
        break;
      case eLogValueTag_Double: {
        double v;
        if ((ok = read_payload(p, end, &v))) out.append_double(v);
        break;
      }
      default:
        return;
    }
    if (!ok) return;
  }
}

// The whole line of a record, or false for a level that has no name.
bool format_line(const LogRecord& record, const std::string& name, LineBuffer& out) {
  const char* level = log_level_name(record.level());
  if (!level) return false;
  out.push('[');
  append_time(record.time(), out);
  out.append("][", 2);
  out.append(level);
  out.append("][", 2);
  out.append_integer(record.thread());
  out.push(']');
  if (!name.empty()) {
    out.push('[');
    out.append(name.data(), name.size());
    out.push(']');
  }
  const char* file = record.file();
  const char* function = record.function();
  if (file || function) {
    out.push('[');
    if (file) {
      const char* slash = std::strrchr(file, '\\');
      out.append(slash ? slash + 1 : file);
      out.push(':');
      if (function) {
        out.append(function);
        out.push(':');
      }
      out.append_integer(record.line());
    } else {
      out.append(function);
    }
    out.push(']');
  }
  out.push(' ');
  append_values(record, out);
  out.push('\n');
  return true;
}

std::mutex& stream_lock(const std::ostream* stream) {
  const auto key = reinterpret_cast<std::uintptr_t>(stream);
  auto& locks = state().stream_locks;
  return locks[(key >> 4) % std::size(locks)];
}

}  // namespace

// ---------------------------------------------------------------------------
// The background writer.

class logger_thread_data {
 public:
  struct PendingRecords {
    LoggerBase* logger;  // null for the stop record
    std::vector<LogRecord> records;
  };

  // All members below are guarded by SharedState::queue_mutex, except thread.
  int references = 1;
  std::vector<PendingRecords> queue;
  std::uint64_t queued = 0;   // records logged so far
  std::uint64_t written = 0;  // of those, records written and flushed
  std::condition_variable work;
  std::condition_variable idle;
  std::thread thread;

  void enqueue(LoggerBase* logger, LogRecord&& record) {
    for (PendingRecords& entry : queue) {
      if (entry.logger == logger) {
        entry.records.push_back(std::move(record));
        return;
      }
    }
    queue.push_back(PendingRecords{logger, {}});
    queue.back().records.push_back(std::move(record));
  }

  // Blocks (on lock) until every record queued so far is written.
  void wait_written(std::unique_lock<std::mutex>& lock) {
    const std::uint64_t target = queued;
    idle.wait(lock, [&] { return written >= target; });
  }

  void run() {
    vxp::Platform::Default().lower_current_thread_priority();
    SharedState& shared = state();
    std::unique_lock lock(shared.queue_mutex);
    bool stopping = false;
    for (;;) {
      work.wait(lock, [&] { return !queue.empty(); });
      std::vector<PendingRecords> batch;
      batch.swap(queue);
      lock.unlock();

      std::uint64_t count = 0;
      for (PendingRecords& entry : batch) {
        if (!entry.logger) {
          stopping = true;
          continue;
        }
        for (const LogRecord& record : entry.records) entry.logger->write_record(record);
        entry.logger->flush_stream();
        count += entry.records.size();
      }
      batch.clear();

      lock.lock();
      written += count;
      idle.notify_all();
      // Records queued while the stop was pending are written first. The
      // writer unpublishes itself under the lock, so from here on `log`
      // writes synchronously and nothing is left behind in the queue.
      if (stopping && queue.empty()) {
        shared.writer_running.store(false, std::memory_order_relaxed);
        shared.writer.reset();
        return;
      }
    }
  }
};

void start_logging_thread() {
  SharedState& shared = state();
  std::lock_guard lifecycle(shared.lifecycle_mutex);
  {
    std::lock_guard lock(shared.queue_mutex);
    if (shared.writer) {
      ++shared.writer->references;
      return;
    }
  }
  auto data = std::make_shared<logger_thread_data>();
  data->thread = std::thread([raw = data.get()] { raw->run(); });
  std::lock_guard lock(shared.queue_mutex);
  shared.writer = data;
  shared.writer_running.store(true, std::memory_order_relaxed);
}

void stop_logging_thread() {
  SharedState& shared = state();
  std::lock_guard lifecycle(shared.lifecycle_mutex);
  std::shared_ptr<logger_thread_data> data;
  {
    std::lock_guard lock(shared.queue_mutex);
    if (!shared.writer) return;
    if (shared.writer->references > 1) {
      --shared.writer->references;
      return;
    }
    data = shared.writer;
    data->enqueue(nullptr, LogRecord(eLogLevel_Fault, nullptr, -1, nullptr));
    data->references = 0;
    data->work.notify_one();
  }
  data->thread.join();
}

void flush_logging() {
  SharedState& shared = state();
  std::unique_lock lock(shared.queue_mutex);
  if (std::shared_ptr<logger_thread_data> data = shared.writer) data->wait_written(lock);
}

// ---------------------------------------------------------------------------
// LoggerBase

LoggerBase::~LoggerBase() { retire(); }

bool LoggerBase::log(LogRecord&& record) {
  SharedState& shared = state();
  if (shared.writer_running.load(std::memory_order_relaxed)) {
    try {
      std::lock_guard lock(shared.queue_mutex);
      if (logger_thread_data* data = shared.writer.get()) {
        data->enqueue(this, std::move(record));
        ++data->queued;
        data->work.notify_one();
        return false;
      }
    } catch (...) {
      // No memory for the queue: write it here instead.
    }
  }
  write_record(record);
  return false;
}

void LoggerBase::write_record(const LogRecord& record) const noexcept {
  std::ostream* const copy = copy_stream();
  if (!stream_ && !copy) return;
  try {
    LineBuffer line;
    if (!format_line(record, name(), line)) return;
    if (stream_) {
      std::lock_guard lock(stream_lock(stream_));
      stream_->write(line.data(), static_cast<std::streamsize>(line.size()));
    }
    if (copy) {
      std::lock_guard lock(stream_lock(copy));
      copy->write(line.data(), static_cast<std::streamsize>(line.size()));
      copy->flush();
    }
  } catch (...) {
    // A stream that throws, or no memory for a long line: the line is lost,
    // the caller carries on.
  }
}

void LoggerBase::flush_stream() const noexcept {
  if (!stream_) return;
  try {
    std::lock_guard lock(stream_lock(stream_));
    stream_->flush();
  } catch (...) {
  }
}

void LoggerBase::retire() noexcept {
  {
    SharedState& shared = state();
    std::unique_lock lock(shared.queue_mutex);
    if (std::shared_ptr<logger_thread_data> data = shared.writer) {
      data->wait_written(lock);
      std::erase_if(data->queue, [this](const auto& entry) { return entry.logger == this; });
      return;
    }
  }
  flush_stream();
}

}  // namespace vxu
