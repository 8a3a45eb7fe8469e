#include "SupportLog.h"

#include <cstdio>
#include <ctime>

#include "platform/Platform.h"
#include "utils/LogFile.h"
#include "utils/Logger.h"
#include "utils/UFileSpecCore.h"
#include "utils/encoding.h"

namespace {

constexpr const char* kSourceFile = "Source\\SupportLog";
constexpr vxu::LogSite kSiteLogFileFailed{kSourceFile, __LINE__, "StartSupportLog"};
constexpr vxu::LogSite kSiteCaptureFailed{kSourceFile, __LINE__, "CaptureAnswer"};

// The capture file; empty while none is in use.
ustring capture_path;
// The log file StartSupportLog made the logger's copy ("" when none).
ustring started_log;

}  // namespace

void StartSupportLog() {
  std::string value;
  if (!vxp::Platform::Default().environment_variable(kSupportLogVariable, &value) || value.empty()) {
    if (!started_log.empty() && vxu::log_file_path(vxu::system_logger) == started_log)
      vxu::system_logger.set_copy_stream(nullptr);
    started_log.clear();
    capture_path.clear();
    return;
  }
  if (!vxu::append_log_file(vxu::system_logger, ustring(value))) {
    VX_LOG(vxu::eLogLevel_Error, kSiteLogFileFailed)
        << "cannot append to the log file " << value << " named by " << kSupportLogVariable;
    return;
  }
  started_log = vxu::log_file_path(vxu::system_logger);
  capture_path = started_log + kAnswerCaptureSuffix;
}

ustring AnswerCapturePath() { return capture_path; }

std::string CaptureLine(std::int64_t time, std::uint64_t code, std::string_view bytes) {
  char stamp[32] = {};
  std::tm tm;
  std::size_t length = 0;
  if (vxp::Platform::Default().local_time(time, &tm))
    length = std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &tm);
  std::string line(stamp, length);
  if (length == 0) line = std::to_string(time);
  line += ' ';
  line += std::to_string(code);
  line += ' ';
  line += hex_encode(bytes.data(), bytes.size()).str();
  line += '\n';
  return line;
}

void CaptureAnswer(std::uint64_t code, std::string_view bytes) {
  if (capture_path.empty()) return;
  const std::string line = CaptureLine(vxp::Platform::Default().wall_clock_seconds(), code, bytes);
  std::FILE* file = UFileSpecCore(capture_path).open_file("ab");
  bool written = file != nullptr && std::fwrite(line.data(), 1, line.size(), file) == line.size();
  if (file != nullptr && std::fclose(file) != 0) written = false;
  if (!written)
    VX_LOG(vxu::eLogLevel_Error, kSiteCaptureFailed) << "cannot append the answer to " << capture_path;
}
