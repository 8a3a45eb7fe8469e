#include "utils/LogFile.h"

#include <fstream>
#include <mutex>
#include <vector>

#include "utils/UFileSpecCore.h"

namespace vxu {

namespace {

struct OpenLogFile {
  const LoggerBase* logger;
  ustring path;
  std::ofstream* stream;
};

// Never destroyed (see the header): loggers may write to these streams until
// the process ends.
struct LogFiles {
  std::mutex mutex;
  std::vector<OpenLogFile> files;
};
LogFiles& log_files() {
  static LogFiles* const instance = new LogFiles;
  return *instance;
}

// The absolute path of text, resolved against the current folder when it is
// relative; empty when there is none.
UFileSpecCore absolute(const ustring& text) {
  UFileSpecCore spec;
  if (UFileSpecCore::is_absolute_path(text)) {
    spec.set_path(text);
  } else if (!text.empty()) {
    spec.set_path(text, UFileSpecCore(UFileSpecCore::eSpecialFolder_CurrentDirectory));
  }
  return spec;
}

}  // namespace

bool append_log_file(LoggerBase& logger, const ustring& path) {
  const UFileSpecCore spec = absolute(path);
  if (spec.empty()) return false;
  LogFiles& files = log_files();
  std::lock_guard lock(files.mutex);
  for (const OpenLogFile& open : files.files) {
    if (open.logger == &logger && open.path == spec.path() && logger.copy_stream() == open.stream)
      return true;
  }
  auto* stream = new std::ofstream(spec.open_output(std::ios::out | std::ios::app | std::ios::binary));
  if (!stream->is_open()) {
    delete stream;
    return false;
  }
  files.files.push_back({&logger, spec.path(), stream});
  logger.set_copy_stream(stream);
  return true;
}

ustring log_file_path(const LoggerBase& logger) {
  LogFiles& files = log_files();
  std::lock_guard lock(files.mutex);
  for (auto it = files.files.rbegin(); it != files.files.rend(); ++it) {
    if (it->logger == &logger && logger.copy_stream() == it->stream) return it->path;
  }
  return ustring();
}

}  // namespace vxu
