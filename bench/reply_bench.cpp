// Decoding an answer of Veloxa (UTF-16LE hexadecimal text of a job) beside
// libsodium's sodium_hex2bin on the same digits as 8-bit text. Both decode a
// 1 MiB job; rates are bytes of job per second.
#include <benchmark/benchmark.h>
#include <sodium.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "CSBoilerPlate/PendingReply.h"
#include "CSBoilerPlate/menuHandler_win32.h"

namespace {

constexpr std::size_t kJobBytes = 1u << 20;

// The digits of a random job, upper and lower case mixed as a sender may.
const std::string& Digits() {
  static const std::string digits = [] {
    std::mt19937 rng(42);
    const char* const sets[] = {"0123456789ABCDEF", "0123456789abcdef"};
    std::string out;
    out.reserve(2 * kJobBytes);
    for (std::size_t i = 0; i < kJobBytes; ++i) {
      const unsigned byte = rng() & 0xFF;
      const char* set = sets[rng() & 1];
      out.push_back(set[byte >> 4]);
      out.push_back(set[byte & 15]);
    }
    return out;
  }();
  return digits;
}

// The same digits as the answer carries them: UTF-16LE.
const std::string& Answer() {
  static const std::string answer = [] {
    std::string out;
    out.reserve(4 * kJobBytes);
    for (char c : Digits()) {
      out.push_back(c);
      out.push_back('\0');
    }
    return out;
  }();
  return answer;
}

// The machine these run on is shared: every benchmark is repeated and its
// fastest repetition reported beside mean and median, the figure least
// disturbed by other work. In the "min" row read the time columns; a rate
// counter there is the lowest rate, not the best one.
void Steady(benchmark::internal::Benchmark* b) {
  b->Repetitions(7)->ReportAggregatesOnly(true)->ComputeStatistics(
      "min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

// The whole answer path of the window procedure: validate, decode into a new
// byte string, park it as the pending answer (replacing the previous one).
void BM_DecodeHexPayload(benchmark::State& state) {
  const std::string& answer = Answer();
  PendingReply pending;
  for (auto _ : state) {
    const bool taken = DecodeHexPayload(answer.data(), static_cast<std::uint32_t>(answer.size()),
                                        eReplyKind_NewDetails, pending);
    benchmark::DoNotOptimize(taken);
    benchmark::DoNotOptimize(pending.Bytes()->data());
  }
  if (!pending.HasReply() || pending.Bytes()->size() != kJobBytes) state.SkipWithError("wrong decoding");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kJobBytes));
}

// sodium writes into a caller's buffer: allocated once, outside the loop,
// which favours it over the answer path, which makes a new string each time.
void BM_SodiumHex2Bin(benchmark::State& state) {
  const std::string& digits = Digits();
  std::vector<unsigned char> out(kJobBytes);
  for (auto _ : state) {
    std::size_t length = 0;
    const int result =
        sodium_hex2bin(out.data(), out.size(), digits.data(), digits.size(), nullptr, &length, nullptr);
    benchmark::DoNotOptimize(result);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
    if (result != 0 || length != kJobBytes) state.SkipWithError("wrong decoding");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kJobBytes));
}

BENCHMARK(BM_DecodeHexPayload)->Apply(Steady);
BENCHMARK(BM_SodiumHex2Bin)->Apply(Steady);

}  // namespace

BENCHMARK_MAIN();
