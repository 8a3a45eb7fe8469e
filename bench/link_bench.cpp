// Latency of the link with Veloxa, end to end, against a real vxdesk:
//
// - A request: from SendRequest (the plug-in core in this process, started
//   by the simulated host's model, with its reply window) to the moment
//   vxdesk has recorded it: a details request with a 2 KiB job, its "ping"
//   probe included. The peer writes the same bytes over the same pipe
//   without the plug-in (no Base64, no record, no JSON writer).
// - An answer: from vxdesk's way of sending one (SendAnswer, the code of its
//   sender thread) to the result of the plug-in's reply window procedure,
//   which decodes and parks the job; the window is pumped by another thread
//   as the host's main thread pumps it. The answer carries vxdesk's
//   built-in job. The peer sends the same bytes to a window whose procedure
//   returns at once: the cost of the transport alone.
//
// Each benchmark times 1,000 round trips one by one (manual time) and
// reports their median and 99th percentile in microseconds as counters.
// vxdesk runs in a private runtime folder under /tmp for the whole program.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CSBoilerPlate/menuHandler_win32.h"
#include "DeskAnswers.h"
#include "DeskSender.h"
#include "DeskSettings.h"
#include "HostModel.h"
#include "PipeName.h"
#include "PluginMain.h"
#include "Requests.h"
#include "VXIllustrator.h"
#include "VeloxaLink.h"
#include "platform/Link.h"
#include "platform/Platform.h"
#include "platform/Process.h"
#include "platform/WindowSystem.h"
#include "utils/Logger.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRoundTrips = 1000;
constexpr std::size_t kRequestJobBytes = 2048;
constexpr std::uint32_t kAnswerTimeoutMs = 5000;
constexpr char kPing[] = R"({"what":"ping"})";
constexpr char kEmptyWindowClass[] = "VXBenchEmptyWnd";

std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

template <class Done>
bool wait_until(Done done, std::chrono::milliseconds patience) {
  const Clock::time_point deadline = Clock::now() + patience;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// A private runtime folder and registry, and a serving vxdesk in it, made on
// first use and ended by Finish.
class Desk {
 public:
  static Desk* Get(std::string* error) {
    if (instance() == nullptr) {
      auto desk = std::unique_ptr<Desk>(new Desk);
      if (!desk->Start(error)) return nullptr;
      instance() = std::move(desk);
    }
    return instance().get();
  }
  static void Finish() { instance().reset(); }

  ~Desk() {
    if (desk_ != nullptr) {
      Run({VXDESK, "stop"});
      int code = 0;
      if (!desk_->wait(10000, &code)) desk_->kill();
    }
    std::error_code ec;
    if (!folder_.empty()) fs::remove_all(folder_, ec);
  }

  const std::string& runtime() const { return runtime_; }

  std::uintmax_t RecordSize() const {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(record_, ec);
    return ec ? 0 : size;
  }

  // Polls, with sleeps of 20 µs, until the record holds size bytes; false
  // after the patience.
  bool RecordReaches(std::uintmax_t size) const {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    while (RecordSize() < size) {
      if (Clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    return true;
  }

 private:
  static std::unique_ptr<Desk>& instance() {
    static std::unique_ptr<Desk> desk;
    return desk;
  }

  Desk() = default;

  bool Start(std::string* error) {
    std::string pattern = "/tmp/vxb-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      *error = "cannot make a temporary folder";
      return false;
    }
    folder_ = pattern;
    const std::string runtime = folder_ + "/r";
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    vxp::Platform& platform = vxp::Platform::Default();
    platform.set_environment_variable("VX_RUNTIME_DIR", runtime.c_str());
    platform.set_environment_variable("VX_REGISTRY_DIR", (folder_ + "/registry").c_str());
    platform.set_environment_variable("USERNAME", "vxbench");
    runtime_ = runtime;
    record_ = runtime + "/vxdesk-record.jsonl";
    log_ = runtime + "/vxdesk.log";

    vxp::SpawnOptions options;
    options.stdout_file = folder_ + "/desk.out";
    options.stderr_file = folder_ + "/desk.err";
    desk_ = vxp::ProcessService::Default().spawn(VXDESK, {VXDESK}, options, error);
    if (desk_ == nullptr) return false;
    if (!wait_until([&] { return file_text(log_).find("serving ") != std::string::npos; },
                    std::chrono::seconds(15))) {
      *error = "vxdesk does not serve: " + file_text(log_);
      return false;
    }
    return true;
  }

  void Run(const std::vector<std::string>& argv) {
    vxp::SpawnOptions options;
    std::string error;
    std::unique_ptr<vxp::ChildProcess> child =
        vxp::ProcessService::Default().spawn(argv[0], argv, options, &error);
    int code = 0;
    if (child != nullptr && !child->wait(15000, &code)) child->kill();
  }

  std::string folder_;
  std::string runtime_;
  std::string record_;
  std::string log_;
  std::unique_ptr<vxp::ChildProcess> desk_;
};

// The plug-in core started in this process by the simulated host's model,
// on the thread that makes it (which then owns the reply window).
class StartedPlugin {
 public:
  bool Start(std::string* error) {
    ForgetVXIllustratorInit();
    host_ = std::make_unique<vxsim::HostModel>();
    host_->attach(&PluginMain);
    if (!host_->open_main_window(error)) return false;
    if (const ai::Err err = host_->startup(); err != 0) {
      *error = "the plug-in's start-up failed with " + std::to_string(err);
      return false;
    }
    return true;
  }
  ~StartedPlugin() {
    if (host_ == nullptr) return;
    host_->shutdown();
    host_->close_main_window();
    host_.reset();
    ForgetVXIllustratorInit();
  }
  const vxsim::HostModel& host() const { return *host_; }

 private:
  std::unique_ptr<vxsim::HostModel> host_;
};

void ReportPercentiles(benchmark::State& state, std::vector<double>& micros) {
  if (micros.empty()) return;
  std::sort(micros.begin(), micros.end());
  const std::size_t n = micros.size();
  const double median = n % 2 == 1 ? micros[n / 2] : (micros[n / 2 - 1] + micros[n / 2]) / 2;
  const double p99 = micros[static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(n))) - 1];
  state.counters["median_us"] = median;
  state.counters["p99_us"] = p99;
}

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

std::string RequestPayload() {
  std::string job(kRequestJobBytes, '\0');
  for (std::size_t i = 0; i < job.size(); ++i) job[i] = static_cast<char>((i * 131 + 7) & 0xFF);
  return job;
}

// --- Requests ----------------------------------------------------------------------

// Times `send` (which writes the ping and the request) to the moment the
// record holds both; vxdesk's answer to the request is taken by pumping the
// reply window afterwards, outside the time.
template <class Send>
void RequestRoundTrips(benchmark::State& state, Send send) {
  std::string error;
  Desk* desk = Desk::Get(&error);
  if (desk == nullptr) return state.SkipWithError(error.c_str());
  StartedPlugin plugin;
  if (!plugin.Start(&error)) return state.SkipWithError(error.c_str());
  const std::string payload = RequestPayload();
  std::ostringstream text;
  BuildRequest(payload, eRequestKind_Details, CreateReplyWindow()).write(text);
  const std::uintmax_t per_request = (sizeof kPing - 1) + 1 + text.str().size() + 1;
  std::vector<double> micros;
  micros.reserve(kRoundTrips);
  for (auto _ : state) {
    const std::uintmax_t target = desk->RecordSize() + per_request;
    const std::size_t answers = plugin.host().answers().size();
    const Clock::time_point start = Clock::now();
    send(payload, text.str());
    if (!desk->RecordReaches(target)) return state.SkipWithError("vxdesk did not record the request");
    const Clock::duration took = Clock::now() - start;
    state.SetIterationTime(std::chrono::duration<double>(took).count());
    micros.push_back(Micros(took));
    if (!wait_until(
            [&] {
              vxp::WindowSystem::Default().pump_messages(0);
              return plugin.host().answers().size() > answers;
            },
            std::chrono::seconds(5)))
      return state.SkipWithError("vxdesk's answer did not arrive");
  }
  ReportPercentiles(state, micros);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kRequestJobBytes));
}

void BM_Request_SendRequest(benchmark::State& state) {
  RequestRoundTrips(state, [](const std::string& payload, const std::string&) {
    SendRequest(payload, eRequestKind_Details);
  });
}
BENCHMARK(BM_Request_SendRequest)->Iterations(kRoundTrips)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The peer: the same two messages, already written, over the same pipe.
void BM_Request_RawPipe(benchmark::State& state) {
  RequestRoundTrips(state, [](const std::string&, const std::string& request) {
    for (const std::string& message : {std::string(kPing), request}) {
      vxp::PipeError error = vxp::ePipeError_None;
      std::unique_ptr<vxp::PipeConnection> pipe =
          vxp::LinkService::Default().open_pipe(vxlink::PipeName(), &error);
      std::size_t done = 0;
      while (pipe != nullptr && done < message.size()) {
        std::size_t written = 0;
        if (!pipe->write(message.data() + done, message.size() - done, &written)) break;
        done += written;
      }
    }
  });
}
BENCHMARK(BM_Request_RawPipe)->Iterations(kRoundTrips)->UseManualTime()->Unit(benchmark::kMicrosecond);

// --- Answers -----------------------------------------------------------------------

// A thread that owns a window and pumps its messages until it is ended.
class PumpThread {
 public:
  // make runs on the thread and returns the window (0: failed, with *error).
  template <class Make>
  explicit PumpThread(Make make) {
    thread_ = std::thread([this, make] {
      std::string error;
      const vxp::WindowHandle window = make(&error);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        window_ = window;
        error_ = error;
        ready_ = true;
      }
      while (window != 0 && !stop_) vxp::WindowSystem::Default().pump_messages(20);
      make(nullptr);  // null: tear down on the owning thread
    });
    wait_until(
        [&] {
          std::lock_guard<std::mutex> lock(mutex_);
          return ready_;
        },
        std::chrono::seconds(15));
  }
  ~PumpThread() {
    stop_ = true;
    thread_.join();
  }
  vxp::WindowHandle window(std::string* error) {
    std::lock_guard<std::mutex> lock(mutex_);
    *error = error_;
    return window_;
  }

 private:
  std::thread thread_;
  std::mutex mutex_;
  bool ready_ = false;
  vxp::WindowHandle window_ = 0;
  std::string error_;
  std::atomic<bool> stop_{false};
};

// The text of the answer vxdesk sends for a details request.
std::string TypicalAnswerText(const Desk& desk, std::string* error) {
  DeskSettings settings;
  if (!ReadDeskSettings(umessage(), desk.runtime(), &settings, error)) return "";
  return DeskResponder(settings).TextFor(vxlink::kAnswerNewDetails, settings.job);
}

template <class Make>
void AnswerRoundTrips(benchmark::State& state, Make make) {
  std::string error;
  const Desk* desk = Desk::Get(&error);
  if (desk == nullptr) return state.SkipWithError(error.c_str());
  const std::string text = TypicalAnswerText(*desk, &error);
  if (text.empty()) return state.SkipWithError(("no answer text: " + error).c_str());
  PumpThread pump(make);
  DeskAnswer answer;
  answer.code = vxlink::kAnswerNewDetails;
  answer.text = text;
  answer.window = pump.window(&error);
  if (answer.window == 0) return state.SkipWithError(error.c_str());
  std::vector<double> micros;
  micros.reserve(kRoundTrips);
  for (auto _ : state) {
    bool delivered = false;
    const Clock::time_point start = Clock::now();
    const std::int64_t result = SendAnswer(answer, kAnswerTimeoutMs, &delivered);
    const Clock::duration took = Clock::now() - start;
    if (result != 1) return state.SkipWithError("the window did not take the answer");
    state.SetIterationTime(std::chrono::duration<double>(took).count());
    micros.push_back(Micros(took));
  }
  ReportPercentiles(state, micros);
  state.counters["answer_bytes"] = static_cast<double>(text.size());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_Answer_ReplyWindow(benchmark::State& state) {
  std::unique_ptr<StartedPlugin> plugin;
  AnswerRoundTrips(state, [&plugin](std::string* error) -> vxp::WindowHandle {
    if (error == nullptr) {
      plugin.reset();
      return 0;
    }
    plugin = std::make_unique<StartedPlugin>();
    return plugin->Start(error) ? ReplyWindow() : 0;
  });
}
BENCHMARK(BM_Answer_ReplyWindow)->Iterations(kRoundTrips)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The peer: a window whose procedure takes every message without reading it.
std::int64_t TakeEverything(vxp::WindowHandle, std::uint32_t message, std::uint64_t, std::int64_t) {
  return message == vxp::kMessage_CopyData ? 1 : 0;
}

void BM_Answer_EmptyProcedure(benchmark::State& state) {
  vxp::WindowHandle made = 0;
  AnswerRoundTrips(state, [&made](std::string* error) -> vxp::WindowHandle {
    vxp::WindowSystem& windows = vxp::WindowSystem::Default();
    if (error == nullptr) {
      windows.destroy_window(made);
      windows.unregister_class(kEmptyWindowClass);
      return 0;
    }
    if (!windows.register_class(kEmptyWindowClass, TakeEverything)) {
      *error = "cannot register the window class";
      return 0;
    }
    made = windows.create_window(kEmptyWindowClass, kEmptyWindowClass, false);
    if (made == 0) *error = "cannot create the window";
    return made;
  });
}
BENCHMARK(BM_Answer_EmptyProcedure)->Iterations(kRoundTrips)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  // The plug-in's DEBUG records would interleave with the table.
  vxu::system_logger.set_mask(vxu::eLogLevel_Fault | vxu::eLogLevel_Error);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // vxdesk is stopped and its folder removed, whatever ran.
  Desk::Finish();
  return 0;
}
