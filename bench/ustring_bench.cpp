// ustring beside std::string: construction from a C string, copy, append,
// find and compare on texts of 8, 20 and 200 bytes, with the heap allocations
// each iteration makes ("allocs/iter").
//
// ustring keeps up to 22 bytes inside the object, std::string (libstdc++) up
// to 15, so the 20-byte texts show the difference in allocations.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "utils/ustring.h"

namespace {

// A text of n bytes that ends in "xyz" and holds no other 'x'.
std::string sample_text(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; s.size() + 3 < n; ++i) s.push_back("abcdefghijklmnopqrstuvw/ _0123456789"[i % 36]);
  return s + std::string("xyz", n - s.size());
}

// Counts the allocations of the timed loop from here to report(). Both
// string types take their blocks from the global operator new, which the
// allocation counter replaces, so they are counted alike.
class AllocationCounter {
 public:
  void report(benchmark::State& state) const {
    state.counters["allocs/iter"] =
        benchmark::Counter(static_cast<double>(scope_.stats().count), benchmark::Counter::kAvgIterations);
  }

 private:
  vxtest::AllocationScope scope_;
};

template <class S>
void BM_Construct(benchmark::State& state) {
  const std::string text = sample_text(static_cast<std::size_t>(state.range(0)));
  const char* p = text.c_str();
  AllocationCounter counter;
  for (auto _ : state) {
    benchmark::DoNotOptimize(p);  // the length is not known at compile time
    S s(p);
    benchmark::DoNotOptimize(s);
  }
  counter.report(state);
}

template <class S>
void BM_Copy(benchmark::State& state) {
  const S source(sample_text(static_cast<std::size_t>(state.range(0))).c_str());
  AllocationCounter counter;
  for (auto _ : state) {
    S s(source);
    benchmark::DoNotOptimize(s);
  }
  counter.report(state);
}

// Builds the text from an empty string in two appends.
template <class S>
void BM_Append(benchmark::State& state) {
  const std::string text = sample_text(static_cast<std::size_t>(state.range(0)));
  const char* p = text.data();
  const std::size_t half = text.size() / 2, rest = text.size() - half;
  AllocationCounter counter;
  for (auto _ : state) {
    benchmark::DoNotOptimize(p);
    S s;
    s.append(p, half);
    s.append(p + half, rest);
    benchmark::DoNotOptimize(s);
  }
  counter.report(state);
}

// Finds the three bytes at the end of the text.
template <class S>
void BM_Find(benchmark::State& state) {
  const S text(sample_text(static_cast<std::size_t>(state.range(0))).c_str());
  const char* needle = "xyz";
  AllocationCounter counter;
  for (auto _ : state) {
    benchmark::DoNotOptimize(needle);
    benchmark::DoNotOptimize(text.find(needle));
  }
  counter.report(state);
}

// Two texts of the same length that differ only in the last byte.
template <class S>
void BM_Compare(benchmark::State& state) {
  std::string a = sample_text(static_cast<std::size_t>(state.range(0)));
  std::string b = a;
  b.back() = 'Z';
  const S x(a.c_str()), y(b.c_str());
  AllocationCounter counter;
  for (auto _ : state) {
    benchmark::DoNotOptimize(x);
    benchmark::DoNotOptimize(y);
    benchmark::DoNotOptimize(x.compare(y));
  }
  counter.report(state);
}

template <class S>
void BM_Equal(benchmark::State& state) {
  const std::string a = sample_text(static_cast<std::size_t>(state.range(0)));
  const S x(a.c_str()), y(a.c_str());
  AllocationCounter counter;
  for (auto _ : state) {
    benchmark::DoNotOptimize(x);
    benchmark::DoNotOptimize(y);
    benchmark::DoNotOptimize(x == y);
  }
  counter.report(state);
}

// The smallest of the repetitions is the figure least disturbed by other work
// on the machine; run with --benchmark_repetitions=N (and
// --benchmark_enable_random_interleaving=true) to get it.
double smallest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

#define VX_STRING_BENCHMARK(name)                                                              \
  BENCHMARK_TEMPLATE(name, ustring)->Arg(8)->Arg(20)->Arg(200)->ComputeStatistics("min", smallest); \
  BENCHMARK_TEMPLATE(name, std::string)->Arg(8)->Arg(20)->Arg(200)->ComputeStatistics("min", smallest)

VX_STRING_BENCHMARK(BM_Construct);
VX_STRING_BENCHMARK(BM_Copy);
VX_STRING_BENCHMARK(BM_Append);
VX_STRING_BENCHMARK(BM_Find);
VX_STRING_BENCHMARK(BM_Compare);
VX_STRING_BENCHMARK(BM_Equal);

}  // namespace

BENCHMARK_MAIN();
