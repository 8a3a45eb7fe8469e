// Base64 and format beside their peers: absl::Base64Escape and libsodium's
// sodium_bin2base64 for Base64, the C library's snprintf for format.
#include <absl/strings/escaping.h>
#include <benchmark/benchmark.h>
#include <sodium.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "utils/encoding.h"
#include "utils/format.h"

namespace {

std::vector<unsigned char> random_bytes(std::size_t n) {
  std::vector<unsigned char> out(n);
  std::mt19937 rng(64);
  for (auto& b : out) b = static_cast<unsigned char>(rng());
  return out;
}

// The machine these run on is shared: every benchmark is repeated and its
// fastest repetition reported beside mean and median, the figure least
// disturbed by other work. In the "min" row read the time columns; a rate
// counter there is the lowest rate, not the best one.
void Steady(benchmark::internal::Benchmark* b) {
  b->Repetitions(7)->ReportAggregatesOnly(true)->ComputeStatistics(
      "min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

// Arguments: input size in bytes.
void BM_Base64_Vx(benchmark::State& state) {
  const auto in = random_bytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    ustring out = base64_encode(in.data(), in.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Base64_Absl(benchmark::State& state) {
  const auto in = random_bytes(static_cast<std::size_t>(state.range(0)));
  const absl::string_view view(reinterpret_cast<const char*>(in.data()), in.size());
  for (auto _ : state) {
    std::string out = absl::Base64Escape(view);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// sodium writes into a caller's buffer: allocated once, outside the loop, which
// favours it over the two that return a new string.
void BM_Base64_Sodium(benchmark::State& state) {
  const auto in = random_bytes(static_cast<std::size_t>(state.range(0)));
  std::vector<char> out(sodium_base64_ENCODED_LEN(in.size(), sodium_base64_VARIANT_ORIGINAL));
  for (auto _ : state) {
    sodium_bin2base64(out.data(), out.size(), in.data(), in.size(), sodium_base64_VARIANT_ORIGINAL);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The same with a fresh buffer per call, like the string-returning two.
void BM_Base64_SodiumAlloc(benchmark::State& state) {
  const auto in = random_bytes(static_cast<std::size_t>(state.range(0)));
  const std::size_t len = sodium_base64_ENCODED_LEN(in.size(), sodium_base64_VARIANT_ORIGINAL);
  for (auto _ : state) {
    std::string out(len, '\0');
    sodium_bin2base64(out.data(), out.size(), in.data(), in.size(), sodium_base64_VARIANT_ORIGINAL);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

constexpr std::int64_t kSmall = 64;
constexpr std::int64_t kLarge = 10 << 20;

BENCHMARK(BM_Base64_Vx)->Arg(kSmall)->Arg(kLarge)->Apply(Steady);
BENCHMARK(BM_Base64_Absl)->Arg(kSmall)->Arg(kLarge)->Apply(Steady);
BENCHMARK(BM_Base64_Sodium)->Arg(kSmall)->Arg(kLarge)->Apply(Steady);
BENCHMARK(BM_Base64_SodiumAlloc)->Arg(kSmall)->Arg(kLarge)->Apply(Steady);

// format and snprintf on the formats the system uses. The snprintf side writes
// into a stack buffer and stops there; format also builds its ustring.
volatile int g_short = 70000;
volatile long g_long = 12345;
volatile int g_precision = 2;
volatile double g_double = 3.14159265;
const char* volatile g_name = "jobname";

void BM_Format_StringHashLong(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(format("%s#%ld", g_name, g_long));
}
void BM_Snprintf_StringHashLong(benchmark::State& state) {
  char buf[128];
  for (auto _ : state) benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, "%s#%ld", g_name, g_long));
}
void BM_Format_ShortLeft(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(format("%-6hd", g_short));
}
void BM_Snprintf_ShortLeft(benchmark::State& state) {
  char buf[128];
  for (auto _ : state) benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, "%-6hd", g_short));
}
void BM_Format_StarPrecision(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(format("%.*f", g_precision, g_double));
}
void BM_Snprintf_StarPrecision(benchmark::State& state) {
  char buf[128];
  for (auto _ : state) benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, "%.*f", g_precision, g_double));
}
void BM_Format_LiteralInt(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(format("alternateText%d", g_short));
}
void BM_Snprintf_LiteralInt(benchmark::State& state) {
  char buf[128];
  for (auto _ : state) benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, "alternateText%d", g_short));
}
void BM_Format_Mixed(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        format("[%s] %5d items, %08.3f mm, id %#x, %-8s|", g_name, g_short, g_double, g_long, "tail"));
  }
}
void BM_Snprintf_Mixed(benchmark::State& state) {
  char buf[128];
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, "[%s] %5d items, %08.3f mm, id %#lx, %-8s|", g_name,
                                           static_cast<int>(g_short), static_cast<double>(g_double),
                                           static_cast<long>(g_long), "tail"));
  }
}

BENCHMARK(BM_Format_StringHashLong)->Apply(Steady);
BENCHMARK(BM_Snprintf_StringHashLong)->Apply(Steady);
BENCHMARK(BM_Format_ShortLeft)->Apply(Steady);
BENCHMARK(BM_Snprintf_ShortLeft)->Apply(Steady);
BENCHMARK(BM_Format_StarPrecision)->Apply(Steady);
BENCHMARK(BM_Snprintf_StarPrecision)->Apply(Steady);
BENCHMARK(BM_Format_LiteralInt)->Apply(Steady);
BENCHMARK(BM_Snprintf_LiteralInt)->Apply(Steady);
BENCHMARK(BM_Format_Mixed)->Apply(Steady);
BENCHMARK(BM_Snprintf_Mixed)->Apply(Steady);

}  // namespace

BENCHMARK_MAIN();
