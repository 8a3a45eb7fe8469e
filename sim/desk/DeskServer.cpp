#include "DeskServer.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>

#include "PipeName.h"
#include "VeloxaLink.h"
#include "platform/Link.h"
#include "platform/Platform.h"
#include "platform/Process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// How often the stop file and the end are looked at.
constexpr std::uint32_t kPollMs = 100;

// A record of the run's log (the DeskLogger named log in scope).
#define DESK_LOG(level) VX_LOG_TO(log, vxu::level, kDeskLogSite)

std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// What ends a run, checked between messages.
class RunEnd {
 public:
  RunEnd(const DeskSettings& settings, std::string stop_file) : stop_file_(std::move(stop_file)) {
    if (settings.endAfterSeconds > 0) end_ = Clock::now() + std::chrono::seconds(settings.endAfterSeconds);
  }

  // True when the run must end now; *why says why.
  bool due(std::string* why) {
    std::error_code ec;
    if (fs::exists(stop_file_, ec)) {
      fs::remove(stop_file_, ec);
      *why = "stop requested";
      return true;
    }
    if (end_ && Clock::now() >= *end_) {
      *why = "end time reached";
      return true;
    }
    return false;
  }

  // The time to wait for something to happen: kPollMs, or less before the end.
  std::uint32_t wait_ms() const {
    if (!end_) return kPollMs;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*end_ - Clock::now()).count();
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(left, 0, kPollMs));
  }

 private:
  std::string stop_file_;
  std::optional<Clock::time_point> end_;
};

void register_program(DeskLogger& log) {
  std::wstring program;
  if (!vxp::Platform::Default().executable_path(&program)) {
    DESK_LOG(eLogLevel_Warn) << "cannot tell this program's path; nothing registered";
    return;
  }
  const std::string path = ustring(program).str();
  if (vxp::LinkService::Default().write_registry_text(vxp::eRegistryHive_CurrentUser, vxlink::kApplicationKey,
                                                      "", path)) {
    DESK_LOG(eLogLevel_Info) << "registered " << path << " as HKEY_CURRENT_USER\\" << vxlink::kApplicationKey;
  } else {
    DESK_LOG(eLogLevel_Warn) << "cannot register " << path << " under HKEY_CURRENT_USER\\"
                             << vxlink::kApplicationKey;
  }
}

// The pid file holds this process's id while it runs.
class PidFile {
 public:
  explicit PidFile(std::string path)
      : path_(std::move(path)), text_(std::to_string(vxp::Platform::Default().current_process_id()) + "\n") {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << text_;
  }
  // Another vxdesk may have taken the file over since; its id stays.
  ~PidFile() {
    std::error_code ec;
    if (file_text(path_) == text_) fs::remove(path_, ec);
  }
  PidFile(const PidFile&) = delete;
  PidFile& operator=(const PidFile&) = delete;

 private:
  std::string path_;
  std::string text_;
};

// A short, printable sample of a message for the log.
std::string sample(const std::string& bytes) {
  std::string out;
  for (const char c : bytes.substr(0, 60)) {
    const auto u = static_cast<unsigned char>(c);
    out.push_back(u >= 0x20 && u < 0x7F ? c : '.');
  }
  return bytes.size() > 60 ? out + "..." : out;
}

}  // namespace

int ServeDesk(const DeskSettings& settings, const std::string& runtime, DeskLogger& log) {
  const std::string pipe = vxlink::PipeName();
  const std::string stop_file = (fs::path(runtime) / kDeskStopFile).string();
  DESK_LOG(eLogLevel_Info) << "vxdesk " << vxp::Platform::Default().current_process_id() << " in " << runtime
                           << ", job " << settings.jobSource << ", output folder " << settings.outputFolder;

  // A live server (another vxdesk, or Veloxa) keeps its pipe and pid file.
  vxp::PipeError probe_error = vxp::ePipeError_None;
  if (vxp::LinkService::Default().open_pipe(pipe, &probe_error) != nullptr ||
      probe_error == vxp::ePipeError_Busy) {
    DESK_LOG(eLogLevel_Error) << pipe << " is served by another program";
    return 1;
  }
  std::error_code ec;
  fs::remove(stop_file, ec);
  const PidFile pid((fs::path(runtime) / kDeskPidFile).string());
  register_program(log);

  RunEnd end(settings, stop_file);
  std::string why;
  const Clock::time_point serve_at = Clock::now() + std::chrono::milliseconds(settings.startLateMs);
  if (settings.startLateMs > 0) DESK_LOG(eLogLevel_Info) << "waiting " << settings.startLateMs << " ms";
  while (Clock::now() < serve_at) {
    if (end.due(&why)) {
      DESK_LOG(eLogLevel_Info) << why << " before serving; stopped";
      return 0;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(serve_at - Clock::now()).count();
    vxp::ProcessService::Default().sleep_ms(
        static_cast<std::uint32_t>(std::clamp<std::int64_t>(left, 0, end.wait_ms())));
  }

  fs::create_directories(fs::path(settings.recordFile).parent_path(), ec);
  std::ofstream record(settings.recordFile, std::ios::binary | std::ios::app);
  if (!record) {
    DESK_LOG(eLogLevel_Error) << "cannot open the record file " << settings.recordFile;
    return 1;
  }
  vxp::PipeError error = vxp::ePipeError_None;
  std::unique_ptr<vxp::PipeServer> server = vxp::LinkService::Default().serve_pipe(
      pipe, settings.refuse ? vxp::ePipeServe_Refuse : vxp::ePipeServe_Accept, &error);
  if (server == nullptr) {
    DESK_LOG(eLogLevel_Error) << "cannot serve " << pipe << " (error " << static_cast<int>(error)
                              << (error == vxp::ePipeError_InUse ? ": served by another program)" : ")");
    return 1;
  }
  DESK_LOG(eLogLevel_Info) << "serving " << pipe << (settings.refuse ? ", refusing every connection" : "");

  const DeskResponder responder(settings);
  DeskSender sender(settings.answerTimeoutMs, log);
  std::uint64_t count = 0;
  bool drain = false;
  while (!end.due(&why)) {
    std::string message;
    bool timed_out = false;
    if (!server->receive(end.wait_ms(), kMaxDeskMessageBytes, &message, &timed_out)) {
      if (!timed_out)
        DESK_LOG(eLogLevel_Warn) << "a client left, stayed silent or sent too much; nothing read";
      continue;
    }
    umessage request;
    std::istringstream text(message);
    if (!request.read(text)) {
      DESK_LOG(eLogLevel_Warn) << "not a JSON object, not recorded (" << message.size()
                               << " bytes): " << sample(message);
      continue;
    }
    record.write(message.data(), static_cast<std::streamsize>(message.size()));
    record.put('\n');
    record.flush();
    if (!record) DESK_LOG(eLogLevel_Error) << "cannot write the record file " << settings.recordFile;
    ++count;
    const std::string what = request.what().str();
    DESK_LOG(eLogLevel_Info) << "message " << count << ": \"" << what << "\" (" << message.size()
                             << " bytes)";
    std::string no_answer;
    if (std::optional<DeskAnswer> answer = responder.AnswerFor(request, &no_answer)) {
      sender.Post(std::move(*answer), "\"" + what + "\"");
    } else {
      DESK_LOG(eLogLevel_Info) << "no answer to \"" << what << "\": " << no_answer;
    }
    if (settings.stopAfter > 0 && count >= settings.stopAfter) {
      why = "stopping after " + std::to_string(count) + " messages";
      drain = true;
      break;
    }
  }
  DESK_LOG(eLogLevel_Info) << why;
  // Nobody may queue another message while the last answers go out.
  server.reset();
  sender.Finish(drain);
  DESK_LOG(eLogLevel_Info) << "stopped";
  return 0;
}
