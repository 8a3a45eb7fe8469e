// vxdesk: the simulated Veloxa. It serves the per-user pipe as the desktop
// application does, records every request and answers it through the
// plug-in's window; `send` and `stop` let a person or a test steer it.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "DeskAnswers.h"
#include "DeskSender.h"
#include "DeskServer.h"
#include "DeskSettings.h"
#include "JobJson.h"
#include "VeloxaLink.h"
#include "platform/Link.h"
#include "platform/Process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] = R"(usage: vxdesk [options]                 serve the pipe as Veloxa does
       vxdesk --config [options]        write the settings file and exit
       vxdesk send KIND [JOB] [options] send one answer to the last window
       vxdesk stop                      end the vxdesk of this runtime folder
       vxdesk --help

vxdesk plays Veloxa for the plug-in. It keeps its files in the runtime
folder R of the link (VX_RUNTIME_DIR, see docs/posix-link.md):
  R/vxdesk.json               settings; a vxdesk the plug-in starts has no
                              arguments and reads everything from here
  R/vxdesk.log                everything a serving vxdesk says (it writes
                              nothing to its standard streams)
  R/vxdesk.pid                the serving vxdesk's process id
  R/vxdesk-record.jsonl       every JSON object received, exactly as
                              received, one per line (default record file)
  R/out/                      where export answers put the PDF (default)

Serving: registers this program as Veloxa (registry key HKEY_CURRENT_USER\
SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\Veloxa6.exe, default
value), then serves \\.\pipe\VeloxaIPC.<user> (user: USERNAME, else USER,
else 123). Each connection brings one JSON message, which is recorded and
answered with WM_COPYDATA (wParam 0) to the window named by its "hwnd",
from a sender thread:
  ping                 no answer
  about, joblist       42609, no payload
  details              23293 (new details) with the configured job
  details with "x"     59655 (export) with the job of "v", to which vxdesk
                       adds an active group (the first one when none is),
                       the output file FS (output folder / the document
                       name's leaf without extension, else, also for an
                       unsaved document ("?"), the jobId), the page
                       information file PI (FS + ".pi"), one absolute
                       page range of 1 page when there is none
  exported, others     recorded, no answer
Every job answer carries the check settings (SR) and the setting
definitions (Dp). A message that is not a JSON object is logged, not
recorded. The payload is the job's bytes as hexadecimal UTF-16LE text (two
upper-case characters per byte, high nibble first). The log says "serving"
once the pipe is served. Exit status 0 when the run ended as told, 1 when it
could not start (bad settings, the pipe served by another program).

Options (on the command line, or as members of R/vxdesk.json):
  --start-late MS       "startLateMs"      wait MS before serving the pipe
  --stop-after N        "stopAfter"        end after N messages, once their
                                           answers are sent (a "ping" counts)
  --refuse              "refuse": true     hold the pipe but refuse every
                                           connection
  --end-after SECONDS   "endAfterSeconds"  end after SECONDS whatever happens
  --job FILE            "job"              the job (JSON as `vxjob make` reads
                                           it; in the file also an object);
                                           default: a built-in A4 job with
                                           8.5 pt bleed and a type area
  --out DIR             "outputFolder"     the output folder (default R/out)
  --record FILE         "recordFile"       the record file
  --checks FILE         "checkSettings"    the check settings (SR) as a JSON
                                           object; default: the job's
                                           "settings", else PDF 1.4 required
  --answer-timeout MS   "answerTimeoutMs"  how long an answer waits for the
                                           window (default 5000)
Options may also be written --option=VALUE. Paths on the command line are
taken from the current folder, paths in R/vxdesk.json from R. Options on the
command line of a serving vxdesk are laid over R/vxdesk.json; --config
writes exactly the options given (checked first, the --checks file copied
in) and replaces the file.

send KIND [JOB]: sends one answer to the window of the last request in the
record file that carried "hwnd". KIND is attach (23262), details (23293),
export (59655, with what a serving vxdesk adds), front (42609, no payload)
or a number (with the job as payload, none for 42609). JOB is a job file (default: the
configured job). Prints the window procedure's result. Exit status 0 when
the result is 1, 1 otherwise (no window, time-out, refused), 2 on usage
errors.

stop: ends the vxdesk of this runtime folder (through R/vxdesk.stop, which
it watches) and waits until it has stopped serving and removed its pid
file. A pid file nobody answers for is removed. Exit status 0 when it
stopped or none was running, 1 when it did not stop.

A person's way: start vxdesk, then run vxhost with a script that picks
About Veloxa; vxdesk answers 42609 and vxhost shows it.
)";

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string in_runtime(const std::string& runtime, const char* name) {
  return (fs::path(runtime) / name).string();
}

// The settings of R/vxdesk.json with the options laid over them.
bool read_settings(const std::string& runtime, const umessage& options, DeskSettings* settings,
                   std::string* error) {
  umessage file;
  const std::string path = in_runtime(runtime, kDeskSettingsFile);
  std::error_code ec;
  if (fs::exists(path, ec) && !ReadJsonFile(path, &file, error)) return false;
  if (!ReadDeskSettings(OverlaySettings(std::move(file), options), runtime, settings, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// --- Serving ------------------------------------------------------------------

// Points the standard streams of the C++ library (where the logger and the
// libraries write) at the log for as long as it lives.
class StreamsToLog {
 public:
  explicit StreamsToLog(std::ofstream& log)
      : cerr_(std::cerr.rdbuf(log.rdbuf())), cout_(std::cout.rdbuf(log.rdbuf())) {}
  ~StreamsToLog() {
    std::cerr.rdbuf(cerr_);
    std::cout.rdbuf(cout_);
  }
  StreamsToLog(const StreamsToLog&) = delete;
  StreamsToLog& operator=(const StreamsToLog&) = delete;

 private:
  std::streambuf* cerr_;
  std::streambuf* cout_;
};

int serve(const std::string& runtime, const umessage& options) {
  const std::string log_path = in_runtime(runtime, kDeskLogFile);
  std::ofstream log_file(log_path, std::ios::binary | std::ios::app);
  if (!log_file) {
    // Nowhere else to say it.
    std::cerr << "vxdesk: cannot open the log " << log_path << "\n";
    return kExitFailed;
  }
  const StreamsToLog redirect(log_file);
  DeskLogger log(std::cerr, "vxdesk");
  DeskSettings settings;
  std::string error;
  if (!read_settings(runtime, options, &settings, &error)) {
    VX_LOG_TO(log, vxu::eLogLevel_Error, kDeskLogSite) << error;
    return kExitFailed;
  }
  const int status = ServeDesk(settings, runtime, log);
  std::cerr.flush();
  return status;
}

// --- config -------------------------------------------------------------------

int config(const std::string& runtime, const umessage& options) {
  DeskSettings settings;
  std::string error;
  if (!ReadDeskSettings(options, runtime, &settings, &error)) {
    std::cerr << "vxdesk: " << error << "\n";
    return kExitFailed;
  }
  const std::string path = in_runtime(runtime, kDeskSettingsFile);
  const std::string temporary = path + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    options.write(out);
    out << '\n';
    if (!out.flush()) {
      std::cerr << "vxdesk: cannot write " << temporary << "\n";
      return kExitFailed;
    }
  }
  std::error_code ec;
  fs::rename(temporary, path, ec);
  if (ec) {
    std::cerr << "vxdesk: cannot write " << path << ": " << ec.message() << "\n";
    return kExitFailed;
  }
  std::cout << "wrote " << path << "\n";
  return kExitDone;
}

// --- send ---------------------------------------------------------------------

std::uint64_t answer_code(const std::string& kind) {
  if (kind == "attach") return vxlink::kAnswerAttachJob;
  if (kind == "details") return vxlink::kAnswerNewDetails;
  if (kind == "export") return vxlink::kAnswerExport;
  if (kind == "front") return vxlink::kAnswerBringToFront;
  std::uint64_t code = 0;
  if (kind.empty() || kind.size() > 19) throw UsageError("unknown KIND \"" + kind + "\"");
  for (const char c : kind) {
    if (c < '0' || c > '9') throw UsageError("unknown KIND \"" + kind + "\"");
    code = code * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return code;
}

// The window of the last recorded request that names one, or 0. Lines that
// are no JSON object (a message holding raw line feeds) are skipped.
vxp::WindowHandle last_window(const std::string& record) {
  const std::string text = file_text(record);
  // Skipped lines are no news: keep the JSON reader's complaints quiet.
  const std::uint32_t mask = vxu::system_logger.mask();
  vxu::system_logger.set_mask(0);
  vxp::WindowHandle window = 0;
  std::size_t end = text.size();
  while (end > 0 && window == 0) {
    const std::size_t start = text.rfind('\n', end - 1);
    const std::size_t from = start == std::string::npos ? 0 : start + 1;
    const std::string line = text.substr(from, end - from);
    end = start == std::string::npos ? 0 : start;
    if (line.find(vxlink::kKeyWindow) == std::string::npos) continue;
    umessage request;
    std::istringstream in(line);
    ustring hwnd;
    if (request.read(in) && request.get(vxlink::kKeyWindow, 0, hwnd)) ParseWindowText(hwnd, &window);
  }
  vxu::system_logger.set_mask(mask);
  return window;
}

int send(const std::string& runtime, const umessage& options, const std::vector<std::string>& words) {
  if (words.size() < 2 || words.size() > 3) throw UsageError("send needs KIND and at most one JOB");
  const std::uint64_t code = answer_code(words[1]);
  DeskSettings settings;
  std::string error;
  if (!read_settings(runtime, options, &settings, &error)) {
    std::cerr << "vxdesk: " << error << "\n";
    return kExitFailed;
  }
  umessage job = settings.job;
  if (words.size() == 3 && !ReadJsonFile(words[2], &job, &error)) {
    std::cerr << "vxdesk: " << error << "\n";
    return kExitFailed;
  }
  DeskAnswer answer;
  answer.code = code;
  answer.window = last_window(settings.recordFile);
  if (answer.window == 0) {
    std::cerr << "vxdesk: no request with a window in " << settings.recordFile << "\n";
    return kExitFailed;
  }
  try {
    answer.text = DeskResponder(settings).TextFor(code, job);
  } catch (const std::exception& e) {
    std::cerr << "vxdesk: " << e.what() << "\n";
    return kExitFailed;
  }
  bool delivered = false;
  const std::int64_t result = SendAnswer(answer, settings.answerTimeoutMs, &delivered);
  std::cout << result << "\n";
  if (!delivered)
    std::cerr << "vxdesk: answer " << code << " not delivered to window " << answer.window
              << " (no such window, or no result within " << settings.answerTimeoutMs << " ms)\n";
  return result == 1 ? kExitDone : kExitFailed;
}

// --- stop ---------------------------------------------------------------------

// How long a serving vxdesk may take to notice the stop file: its loop
// looks every 100 ms, but a client that stays silent holds it up to 5 s.
constexpr std::uint32_t kNoticeMs = 7000;

bool wait_until(const std::function<bool()>& done, std::uint32_t timeout_ms) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    vxp::ProcessService::Default().sleep_ms(20);
  }
  return true;
}

int stop(const std::string& runtime, const std::vector<std::string>& words) {
  if (words.size() != 1) throw UsageError("stop takes no arguments");
  const std::string pid_file = in_runtime(runtime, kDeskPidFile);
  const std::string stop_file = in_runtime(runtime, kDeskStopFile);
  std::error_code ec;
  if (!fs::exists(pid_file, ec)) {
    std::cout << "no vxdesk running\n";
    return kExitDone;
  }
  std::string pid = file_text(pid_file);
  while (!pid.empty() && pid.back() == '\n') pid.pop_back();
  std::ofstream(stop_file, std::ios::binary | std::ios::trunc) << "stop\n";
  if (!wait_until([&] { return !fs::exists(stop_file, ec); }, kNoticeMs)) {
    // Nobody watches: the process ended without removing its pid file.
    fs::remove(stop_file, ec);
    fs::remove(pid_file, ec);
    std::cout << "no vxdesk running (removed the pid file of " << pid << ", which had ended)\n";
    return kExitDone;
  }
  // It now sends no more than the answer under way.
  DeskSettings settings;
  std::string error;
  const std::uint32_t answer_ms =
      read_settings(runtime, umessage(), &settings, &error) ? settings.answerTimeoutMs : 5000;
  if (!wait_until([&] { return !fs::exists(pid_file, ec); }, answer_ms + 3000)) {
    std::cerr << "vxdesk: vxdesk " << pid << " did not stop\n";
    return kExitFailed;
  }
  std::cout << "stopped vxdesk " << pid << "\n";
  return kExitDone;
}

int run(const std::vector<std::string>& args) {
  umessage options;
  std::vector<std::string> words;
  std::string error;
  if (!ParseDeskOptions(args, &options, &words, &error)) throw UsageError(error);
  for (const std::string& word : words) {
    if (word == "--help" || word == "-h" || word == "help") {
      std::cout << kUsage;
      return kExitDone;
    }
  }
  std::string runtime;
  if (!vxp::LinkService::Default().runtime_directory(&runtime, &error)) {
    std::cerr << "vxdesk: " << error << "\n";
    return kExitFailed;
  }
  if (words.empty()) return serve(runtime, options);
  const std::string& command = words[0];
  if (command == "--config") {
    if (words.size() != 1) throw UsageError("--config takes options only");
    return config(runtime, options);
  }
  if (command == "send") return send(runtime, options, words);
  if (command == "stop") {
    if (!options.empty()) throw UsageError("stop takes no options");
    return stop(runtime, words);
  }
  throw UsageError("unknown command \"" + command + "\"");
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& e) {
    std::cerr << "vxdesk: " << e.what() << "\n(vxdesk --help tells more)\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << "vxdesk: " << e.what() << "\n";
    return kExitFailed;
  }
}
