// The host's main thread must not freeze: the time to handle one answer from
// Veloxa on the timer tick, from the host's timer message through
// ProcessPendingReply and HandleReceivedEvent to the document operation,
// with the plug-in core in this process against the simulated host's model.
//
// - Details: a job-details answer (NewDetails) makes a new document of the
//   booked size, stores the job in it and draws the guides.
// - Export: an export answer for a document made for the job stores the job
//   again, saves the PDF, writes the page information file and reports the
//   exported job to Veloxa over the pipe.
//
// Each for the demo's A4 booking (three destinations, the payload vxdesk
// sends) and for the large job of the job-model benchmark (large_job.h) with
// 10 to 10,000 destinations, so that the growth shows (Google Benchmark fits
// it to O(N)). Goals: under 2 ms for the demo job, under 16 ms (one frame)
// for 1,000 destinations.
//
// What is not the plug-in's work is left out:
// - The host model's "adobe_saveACopyAs" is stubbed: instead of drawing the
//   document as a PDF it writes the PDF header line to the file it is given,
//   enough for the plug-in's check of the saved file. Everything else of the
//   host model runs as it is (documents, dictionaries, art, guides: a few
//   in-memory records per call).
// - Veloxa's pipe is served by a thread of this program that takes every
//   message and drops it; the plug-in's writes to the pipe are timed.
// - The plug-in's log records are formatted as always but written to
//   nothing (in the real host standard error goes nowhere either).
// - Parking the answer (the reply window's hexadecimal decoding) happens
//   before the tick and is not timed; reply_bench measures it.
//
// Peers in the same run: a tick with no answer waiting (the host's dispatch
// alone) and ReadJob of the same payload alone (the job model's share).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>

#include "CSBoilerPlate/menuHandler_win32.h"
#include "DeskJob.h"
#include "HostModel.h"
#include "JobJson.h"
#include "PipeName.h"
#include "PluginMain.h"
#include "VXIllustrator.h"
#include "large_job.h"
#include "platform/Link.h"
#include "platform/Platform.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The demo's booking: a full-page A4 advertisement (210 x 297 mm), 3 mm
// bleed on every side, a type area 10 mm inside the trim; the active group
// books it twice (once already exported), another group once more.
constexpr char kDemoJob[] = R"({
  "jobId": "0C1D2E3F-4A5B-4C6D-8E7F-901A2B3C4D5E", "documentName": "A4 booking.ai",
  "groups": [
    {"active": true, "destinations": [
      {"identifier": "101", "width": 595.2755906, "depth": 841.8897638,
       "bleedLeft": 8.503937, "bleedRight": 8.503937, "bleedTop": 8.503937, "bleedBottom": 8.503937,
       "indentLeft": 28.3464567, "indentRight": 28.3464567, "indentTop": 28.3464567, "indentBottom": 28.3464567},
      {"identifier": "102", "exported": true, "width": 595.2755906, "depth": 841.8897638,
       "bleedLeft": 8.503937, "bleedRight": 8.503937, "bleedTop": 8.503937, "bleedBottom": 8.503937,
       "indentLeft": 28.3464567, "indentRight": 28.3464567, "indentTop": 28.3464567, "indentBottom": 28.3464567}]},
    {"active": false, "destinations": [
      {"identifier": "201", "width": 595.2755906, "depth": 841.8897638,
       "bleedLeft": 8.503937, "bleedRight": 8.503937, "bleedTop": 8.503937, "bleedBottom": 8.503937}]}]
})";

// Takes the log's bytes and drops them.
class NullBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// The stand-in for the host's PDF writer: the header line of the version
// asked for ('comp' 19 to 23 is PDF 1.3 to 1.7), written to 'name'.
ai::Err stub_save(vxsim::HostModel&, vxsim::PlayedAction& action) {
  std::string path;
  std::int64_t comp = 19;
  for (const vxsim::ActionParam& p : action.params) {
    if (p.key == ai::FourCC("name")) path = p.text;
    if (p.key == ai::FourCC("comp")) comp = p.integer;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "%PDF-1." << (comp - 16) << "\n";
  return out ? ai::kNoErr : vxsim::kCannotWriteErr;
}

// Everything the benchmarks share, made on first use: a private runtime
// folder and registry (nothing to launch), Veloxa's pipe served by a thread
// that drops what arrives, the host model with the save stubbed and the
// plug-in started on this thread (which owns its reply window).
class World {
 public:
  static World* Get(std::string* error) {
    if (instance() == nullptr) {
      auto world = std::unique_ptr<World>(new World);
      if (!world->Start(error)) return nullptr;
      instance() = std::move(world);
    }
    return instance().get();
  }
  static void Finish() { instance().reset(); }

  ~World() {
    if (host_ != nullptr) {
      host_->shutdown();
      host_->close_main_window();
      host_.reset();
      ForgetVXIllustratorInit();
    }
    stop_ = true;
    if (server_thread_.joinable()) server_thread_.join();
    server_.reset();
    std::error_code ec;
    if (!folder_.empty()) fs::remove_all(folder_, ec);
  }

  vxsim::HostModel& host() { return *host_; }
  // Where exports put the PDF and the page information file.
  std::string Output() const { return folder_ + "/out"; }
  // Messages the pipe took that were export reports.
  std::uint64_t Reports() const { return reports_.load(); }

  // Parks an answer as the reply window does, then times the tick that
  // handles it. False when the answer was refused or not taken.
  bool TimedTick(const std::string& answer_text, ReplyKind kind, double* seconds) {
    if (!DecodeHexPayload(answer_text.data(), static_cast<std::uint32_t>(answer_text.size()), kind))
      return false;
    const Clock::time_point start = Clock::now();
    const std::uint64_t sent = host_->tick_now();
    *seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return sent == 1;
  }

 private:
  static std::unique_ptr<World>& instance() {
    static std::unique_ptr<World> world;
    return world;
  }

  World() = default;

  bool Start(std::string* error) {
    std::string pattern = "/tmp/vxt-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      *error = "cannot make a temporary folder";
      return false;
    }
    folder_ = pattern;
    const std::string runtime = folder_ + "/r";
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    fs::create_directory(Output());
    vxp::Platform& platform = vxp::Platform::Default();
    platform.set_environment_variable("VX_RUNTIME_DIR", runtime.c_str());
    platform.set_environment_variable("VX_REGISTRY_DIR", (folder_ + "/registry").c_str());
    platform.set_environment_variable("USERNAME", "vxtickbench");

    vxp::PipeError pipe_error = vxp::ePipeError_None;
    server_ = vxp::LinkService::Default().serve_pipe(vxlink::PipeName(), vxp::ePipeServe_Accept, &pipe_error);
    if (server_ == nullptr) {
      *error = "cannot serve the pipe (error " + std::to_string(pipe_error) + ")";
      return false;
    }
    server_thread_ = std::thread([this] {
      std::string message;
      bool timed_out = false;
      while (!stop_) {
        if (server_->receive(50, std::size_t{1} << 30, &message, &timed_out) &&
            message.find("\"exported\"") != std::string::npos)
          ++reports_;
      }
    });

    ForgetVXIllustratorInit();
    host_ = std::make_unique<vxsim::HostModel>();
    host_->set_action_effect("adobe_saveACopyAs", stub_save);
    host_->attach(&PluginMain);
    if (!host_->open_main_window(error)) return false;
    if (const ai::Err err = host_->startup(); err != 0) {
      *error = "the plug-in's start-up failed with " + std::to_string(err);
      return false;
    }
    return true;
  }

  std::string folder_;
  std::unique_ptr<vxp::PipeServer> server_;
  std::thread server_thread_;
  std::atomic<bool> stop_{false};
  std::atomic<std::uint64_t> reports_{0};
  std::unique_ptr<vxsim::HostModel> host_;
};

// --- The answers ----------------------------------------------------------------

// The large job with n destinations (5 groups of n / 5) as Veloxa sends
// it, for export with the output in the benchmark's folder.
std::string g_output;
void for_export(BJobFile& job) {
  job.SetOutputFile(UFileSpecCore(ustring(g_output + "/large")));
  job.SetPageInfoFile(UFileSpecCore(ustring(g_output + "/large.pi")));
}
std::string LargePayload(std::int64_t n, bool export_answer) {
  return vxbench::LargeJobPayload(vxbench::kLargeJobGroups, static_cast<int>(n / vxbench::kLargeJobGroups),
                                  export_answer ? for_export : nullptr);
}

// The demo's booking as vxdesk sends it: with the output file and page
// information file it adds for an export.
std::string DemoPayload(bool export_answer) {
  umessage m;
  std::istringstream in(kDemoJob);
  m.read(in);
  BJobFile job;
  const JobMessages messages = PayloadMessages(job_from_json(job, m), std::nullopt);
  if (export_answer) CompleteForExport(job, g_output);
  return write_job_payload(job, messages);
}

// --- The benchmarks ---------------------------------------------------------------

// One NewDetails answer a tick; the new document is closed between ticks
// (not timed), so that every tick makes one.
void TickDetails(benchmark::State& state, const std::string& payload) {
  std::string error;
  World* world = World::Get(&error);
  if (world == nullptr) {
    state.SkipWithError(error.c_str());
    return;
  }
  const std::string text = AnswerText(payload);
  for (auto _ : state) {
    double seconds = 0;
    if (!world->TimedTick(text, eReplyKind_NewDetails, &seconds) ||
        world->host().current_document() == nullptr) {
      state.SkipWithError("the answer made no document");
      return;
    }
    state.SetIterationTime(seconds);
    world->host().close_document();
  }
  state.counters["payload_bytes"] = static_cast<double>(payload.size());
}

// One export answer a tick, for a document made for the job by a details
// answer first.
void TickExport(benchmark::State& state, const std::string& details, const std::string& payload) {
  std::string error;
  World* world = World::Get(&error);
  if (world == nullptr) {
    state.SkipWithError(error.c_str());
    return;
  }
  double seconds = 0;
  if (!world->TimedTick(AnswerText(details), eReplyKind_NewDetails, &seconds) ||
      world->host().current_document() == nullptr) {
    state.SkipWithError("the details answer made no document");
    return;
  }
  const std::string text = AnswerText(payload);
  const std::uint64_t reports = world->Reports();
  std::uint64_t exports = 0;
  for (auto _ : state) {
    if (!world->TimedTick(text, eReplyKind_Export, &seconds)) {
      state.SkipWithError("the export answer was not taken");
      return;
    }
    state.SetIterationTime(seconds);
    ++exports;
  }
  world->host().close_document();
  // Every export should reach Veloxa (the last report may still be on its
  // way). On a loaded machine the server's queue can be full for a moment:
  // the plug-in then loses that report (and says so), after the same work
  // but for storing the job once more. Lost reports are counted; none
  // arriving at all means the exports failed.
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
  while (world->Reports() - reports < exports && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const std::uint64_t reported = world->Reports() - reports;
  if (exports > 0 && reported == 0) state.SkipWithError("no export was reported");
  state.counters["lost_reports"] = static_cast<double>(exports - std::min(exports, reported));
  state.counters["payload_bytes"] = static_cast<double>(payload.size());
}

void BM_Tick_Details_Demo(benchmark::State& state) { TickDetails(state, DemoPayload(false)); }
BENCHMARK(BM_Tick_Details_Demo)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_Tick_Export_Demo(benchmark::State& state) {
  TickExport(state, DemoPayload(false), DemoPayload(true));
}
BENCHMARK(BM_Tick_Export_Demo)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_Tick_Details(benchmark::State& state) {
  TickDetails(state, LargePayload(state.range(0), false));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Tick_Details)
    ->RangeMultiplier(10)
    ->Range(10, 10000)
    ->UseManualTime()
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

void BM_Tick_Export(benchmark::State& state) {
  TickExport(state, LargePayload(state.range(0), false), LargePayload(state.range(0), true));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Tick_Export)
    ->RangeMultiplier(10)
    ->Range(10, 10000)
    ->UseManualTime()
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// Peer: a tick with nothing waiting, the host's dispatch to the plug-in.
void BM_Tick_NothingWaiting(benchmark::State& state) {
  std::string error;
  World* world = World::Get(&error);
  if (world == nullptr) {
    state.SkipWithError(error.c_str());
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(world->host().tick_now());
}
BENCHMARK(BM_Tick_NothingWaiting)->Unit(benchmark::kMicrosecond);

// Peer: ReadJob alone of the details payload, the job model's share of a
// details tick.
void BM_ReadJobOnly(benchmark::State& state) {
  const std::string payload = LargePayload(state.range(0), false);
  for (auto _ : state) {
    std::istringstream in(payload);
    BJobFile job;
    job.ReadJob(in, eJobFileContent_Full);
    benchmark::DoNotOptimize(job.groups().Count());
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReadJobOnly)
    ->RangeMultiplier(10)
    ->Range(10, 10000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  NullBuffer nowhere;
  // With TICK_BENCH_LOG set the plug-in's log goes to standard error.
  std::string show_log;
  std::streambuf* const standard_error =
      vxp::Platform::Default().environment_variable("TICK_BENCH_LOG", &show_log) ? std::cerr.rdbuf()
                                                                                 : std::cerr.rdbuf(&nowhere);
  std::string error;
  if (World* world = World::Get(&error)) {
    g_output = world->Output();
    benchmark::RunSpecifiedBenchmarks();
  } else {
    std::cerr.rdbuf(standard_error);
    std::cerr << "tick_bench: " << error << "\n";
    return 1;
  }
  World::Finish();
  std::cerr.rdbuf(standard_error);
  benchmark::Shutdown();
  return 0;
}
