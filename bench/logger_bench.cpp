// The logger beside spdlog: the cost of a statement whose level is off, and of
// a DEBUG line with a text and two integers written to a std::ostringstream.
// Both write the same kind of line: time, level, thread, source, values.
#include <benchmark/benchmark.h>
#include <spdlog/logger.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/ostream_sink.h>

#include <memory>
#include <sstream>

#include "utils/Logger.h"

namespace {

constexpr vxu::LogSite kSiteOpen{"..\\..\\Source\\VXIllustrator.cpp", 1262,
                                 "VXIllustratorPlugin::OpenDocument"};
const spdlog::source_loc kSpdlogSite{kSiteOpen.file, kSiteOpen.line, kSiteOpen.function};

// Rewinds the stream now and then so the benchmark measures logging, not an
// ever-growing string.
void rewind_periodically(std::ostringstream& out, std::int64_t i) {
  if ((i & 1023) == 0) out.seekp(0);
}

std::shared_ptr<spdlog::logger> make_spdlog(std::ostringstream& out) {
  auto sink = std::make_shared<spdlog::sinks::ostream_sink_st>(out);
  auto logger = std::make_shared<spdlog::logger>("", sink);
  logger->set_pattern("[%Y-%m-%dT%H:%M:%S][%l][%t][%s:%!:%#] %v");
  logger->set_level(spdlog::level::debug);
  return logger;
}

void BM_Vx_DisabledAtRunTime(benchmark::State& state) {
  std::ostringstream out;
  vxu::Logger<127> logger(out);
  logger.set_mask(vxu::eLogLevel_Warn | vxu::eLogLevel_Error | vxu::eLogLevel_Fault);
  std::int64_t i = 0;
  for (auto _ : state) {
    VX_LOG_TO(logger, vxu::eLogLevel_Debug, kSiteOpen) << "opened document " << i << " of " << 42;
    benchmark::DoNotOptimize(++i);
  }
  if (!out.str().empty()) state.SkipWithError("a disabled statement wrote");
}
BENCHMARK(BM_Vx_DisabledAtRunTime);

void BM_Vx_DisabledAtCompileTime(benchmark::State& state) {
  std::ostringstream out;
  vxu::Logger<vxu::eLogLevel_Error> logger(out);
  std::int64_t i = 0;
  for (auto _ : state) {
    VX_LOG_TO(logger, vxu::eLogLevel_Debug, kSiteOpen) << "opened document " << i << " of " << 42;
    benchmark::DoNotOptimize(++i);
  }
}
BENCHMARK(BM_Vx_DisabledAtCompileTime);

void BM_Spdlog_Disabled(benchmark::State& state) {
  std::ostringstream out;
  auto logger = make_spdlog(out);
  logger->set_level(spdlog::level::warn);
  std::int64_t i = 0;
  for (auto _ : state) {
    logger->log(kSpdlogSite, spdlog::level::debug, "opened document {} of {}", i, 42);
    benchmark::DoNotOptimize(++i);
  }
}
BENCHMARK(BM_Spdlog_Disabled);

void BM_Vx_DebugLine(benchmark::State& state) {
  std::ostringstream out;
  vxu::Logger<127> logger(out);
  std::int64_t i = 0;
  for (auto _ : state) {
    rewind_periodically(out, i);
    VX_LOG_TO(logger, vxu::eLogLevel_Debug, kSiteOpen) << "opened document " << i << " of " << 42;
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Vx_DebugLine);

void BM_Spdlog_DebugLine(benchmark::State& state) {
  std::ostringstream out;
  auto logger = make_spdlog(out);
  std::int64_t i = 0;
  for (auto _ : state) {
    rewind_periodically(out, i);
    logger->log(kSpdlogSite, spdlog::level::debug, "opened document {} of {}", i, 42);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Spdlog_DebugLine);

// Doubles take the longest conversion of the value types.
void BM_Vx_DebugLineWithDouble(benchmark::State& state) {
  std::ostringstream out;
  vxu::Logger<127> logger(out);
  std::int64_t i = 0;
  for (auto _ : state) {
    rewind_periodically(out, i);
    VX_LOG_TO(logger, vxu::eLogLevel_Debug, kSiteOpen)
        << "width " << 210.0 + static_cast<double>(i & 255) * 0.125;
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Vx_DebugLineWithDouble);

void BM_Spdlog_DebugLineWithDouble(benchmark::State& state) {
  std::ostringstream out;
  auto logger = make_spdlog(out);
  std::int64_t i = 0;
  for (auto _ : state) {
    rewind_periodically(out, i);
    logger->log(kSpdlogSite, spdlog::level::debug, "width {:g}",
                210.0 + static_cast<double>(i & 255) * 0.125);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Spdlog_DebugLineWithDouble);

}  // namespace

BENCHMARK_MAIN();
