// The logger: one line of text per log statement, written to a std::ostream.
//
// Writing a statement
//   Declare the site of a documented record once, as a constant:
//     inline constexpr vxu::LogSite kSiteMatrixInvert{
//         "..\\..\\libs\\utils\\Geometry2D.cpp", 171, "vxu::Matrix2D::invert"};
//   and log through it:
//     VX_LOG(vxu::eLogLevel_Warn, kSiteMatrixInvert) << "singular matrix " << det;
//     VX_LOG_TO(my_logger, vxu::eLogLevel_Debug, kSiteX) << "count " << n;
//     VX_LOG_HERE(vxu::eLogLevel_Debug) << "ad-hoc " << x;   // __FILE__/__LINE__/__func__
//   The statement first asks the logger's `enabled`; when the level is off it
//   builds no record and evaluates none of the values. Otherwise the values
//   are appended to a LogRecord and the record is logged at the end of the
//   statement. The macros evaluate `logger` and `level` twice: pass names or
//   constants.
//
// The line
//   [<local time %Y-%m-%dT%H:%M:%S>][<LEVEL>][<thread id>][<logger name>][<source>] <values>\n
//   - the name field appears only for a named logger;
//   - source is "<file after its last backslash>:<function>:<line>", or
//     "<file>:<line>" without a function, or "<function>" alone without a file;
//     the field is left out when the record has neither;
//   - values follow each other without separator: strings with every line feed
//     written as backslash and 'n', bools as true/false, integers in decimal,
//     doubles as a default std::ostream prints them (%g, 6 significant digits);
//   - a record whose level is not one of the six LogLevel values writes nothing;
//   - a local time that cannot be represented is written as the raw seconds.
//   Each line is built whole and handed to its stream in a single write, under
//   a lock per stream, so lines from different threads never interleave.
//   Logging never reports failure: stream errors stay in the stream's state.
//
// Copy stream
//   A logger may also hand every line to a second stream (set_copy_stream),
//   for instance a file on a machine where its own stream goes nowhere; the
//   copy is flushed after every line, so what was logged is on disk when the
//   process dies. append_log_file (utils/LogFile.h) opens such a file.
//
// Asynchronous mode
//   start_logging_thread() starts one shared background writer (or adds a
//   reference to the running one); while it runs, `log` moves records into its
//   queue and the writer, at the lowest thread priority, writes and flushes
//   them. stop_logging_thread() drops a reference; the last one writes
//   everything still queued and ends the writer. Records of one logger keep
//   their order. A logger must not be destroyed while other threads log to it.
//
// system_logger
//   The process-wide Logger<127> on standard error, with no name. It is
//   constant-initialised (constinit storage, see Logger.cpp), so it is ready
//   before any dynamic initialiser of any translation unit runs: static
//   initialisers may log. Its storage is never destroyed, so static destructors
//   may log too. What its destruction would do (write its queued records,
//   flush standard error) runs when the last translation unit that includes
//   this header finishes its static destruction (a Schwarz counter, as
//   <iostream> does for std::cout).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <iostream>
#include <string>

#include "utils/LogRecord.h"

namespace vxu {

class logger_thread_data;
namespace detail {
class SystemLoggerLifetime;
}

// Output stream (not owned; it must outlive the logger) and name of a logger.
class LoggerBase {
 public:
  constexpr explicit LoggerBase(std::ostream* stream) noexcept : stream_(stream) {}
  LoggerBase(std::ostream* stream, std::string name)
      : stream_(stream), name_(name.empty() ? nullptr : std::make_unique<const std::string>(std::move(name))) {}
  LoggerBase(const LoggerBase&) = delete;
  LoggerBase& operator=(const LoggerBase&) = delete;

  // With the writer running: waits until every record queued before this call
  // is written, then drops any record of this logger still queued. Without
  // it: flushes the stream.
  virtual ~LoggerBase();

  // Hands a finished record over: queued for the writer in the asynchronous
  // mode, otherwise written to the stream at once. A null stream writes
  // nothing. Always returns false.
  bool log(LogRecord&& record);

  std::ostream* stream() const { return stream_; }
  const std::string& name() const;

  // Every line written from now on also goes to copy (null: none), in the
  // same single write, then copy is flushed. The stream is not owned and
  // must outlive its use here; replacing it while other threads log is
  // safe for the logger, but a line being written may still reach the old
  // one.
  void set_copy_stream(std::ostream* copy) noexcept { copy_.store(copy, std::memory_order_release); }
  std::ostream* copy_stream() const noexcept { return copy_.load(std::memory_order_acquire); }

 private:
  friend class logger_thread_data;
  friend class detail::SystemLoggerLifetime;

  void write_record(const LogRecord& record) const noexcept;
  void flush_stream() const noexcept;
  void retire() noexcept;

  std::ostream* stream_;
  std::atomic<std::ostream*> copy_{nullptr};
  // Null for an unnamed logger: a std::string member would keep some
  // compilers from constant-initialising the process-wide logger.
  std::unique_ptr<const std::string> name_;
};

// A logger whose statements may use the levels in Mask (compile time) and
// currently write those in its run-time mask (initially Mask).
template <std::uint32_t Mask>
class Logger : public LoggerBase {
 public:
  constexpr explicit Logger(std::ostream& stream) noexcept : LoggerBase(&stream), mask_(Mask) {}
  Logger(std::ostream& stream, std::string name) : LoggerBase(&stream, std::move(name)), mask_(Mask) {}

  // True when level has a bit inside Mask and all its bits are in the
  // run-time mask. With a constant level the Mask test folds away.
  bool enabled(std::int32_t level) const noexcept {
    const auto bits = static_cast<std::uint32_t>(level);
    return (bits & Mask) != 0 && (bits & ~mask_.load(std::memory_order_relaxed)) == 0;
  }

  std::uint32_t mask() const noexcept { return mask_.load(std::memory_order_relaxed); }
  void set_mask(std::uint32_t mask) noexcept { mask_.store(mask, std::memory_order_relaxed); }

 private:
  std::atomic<std::uint32_t> mask_;
};

// Asynchronous mode. start_logging_thread throws std::system_error when no
// thread can be started (logging then stays synchronous). flush_logging
// returns once every record queued before the call is written and its stream
// flushed; without a writer it returns at once. Start and stop calls are
// serialised; logging may continue on other threads while they run.
void start_logging_thread();
void stop_logging_thread();
void flush_logging();

namespace detail {

// Never-destroyed storage of the system logger (see the header comment).
class SystemLoggerStorage {
 public:
  constexpr SystemLoggerStorage() noexcept : logger(std::cerr) {}
  ~SystemLoggerStorage() {}
  union {
    Logger<127> logger;
  };
};
extern constinit SystemLoggerStorage system_logger_storage;

// One per translation unit: the last to be destroyed retires system_logger.
class SystemLoggerLifetime {
 public:
  SystemLoggerLifetime() noexcept;
  ~SystemLoggerLifetime();
  SystemLoggerLifetime(const SystemLoggerLifetime&) = delete;
  SystemLoggerLifetime& operator=(const SystemLoggerLifetime&) = delete;
};
static const SystemLoggerLifetime system_logger_lifetime;

// Ends a log statement: `statement & record` logs the finished record.
class LogStatement {
 public:
  explicit LogStatement(LoggerBase& logger) noexcept : logger_(logger) {}
  void operator&(LogRecord& record) const { logger_.log(std::move(record)); }
  void operator&(LogRecord&& record) const { logger_.log(std::move(record)); }

 private:
  LoggerBase& logger_;
};

}  // namespace detail

inline constexpr Logger<127>& system_logger = detail::system_logger_storage.logger;

}  // namespace vxu

#define VX_LOG_TO(logger, level, site) \
  !(logger).enabled(level) ? (void)0 : ::vxu::detail::LogStatement(logger) & ::vxu::LogRecord((level), (site))

#define VX_LOG(level, site) VX_LOG_TO(::vxu::system_logger, level, site)

#define VX_LOG_HERE(level) VX_LOG(level, (::vxu::LogSite{__FILE__, __LINE__, __func__}))
