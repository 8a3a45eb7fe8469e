// Job file speed: ReadJob (mask 4) and WriteJob of a large job (5 groups of
// 200 destinations, each with 4 user fields, every list filled), beside a
// memcpy of the same payload as the physical bound. The payload read also
// carries what Veloxa adds: the definitions of the 300 problems ("Dp") and a
// ticket whose own and per-destination check groups set them ("SR"), which
// the read loads into the job's check settings.
//
// Memory: the replaced global operator new below records every block's size,
// so the read reports the bytes it allocated, the job model it leaves behind
// and the peak of live bytes on the way (the goal: the peak beyond the model
// stays under 4 times the payload).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <new>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "datastruct/BJobFile.h"
#include "large_job.h"

namespace {

// Live-byte accounting. Each block carries its size in a header in front of
// it; the header keeps the block's alignment.
constexpr std::size_t kHeader = alignof(std::max_align_t);
std::size_t g_allocations = 0;
std::size_t g_allocated = 0;
std::size_t g_live = 0;
std::size_t g_peak = 0;

void* allocate(std::size_t n) {
  auto* block = static_cast<unsigned char*>(std::malloc(n + kHeader));
  if (block == nullptr) throw std::bad_alloc();
  std::memcpy(block, &n, sizeof n);
  ++g_allocations;
  g_allocated += n;
  g_live += n;
  g_peak = std::max(g_peak, g_live);
  return block + kHeader;
}

void release(void* p) noexcept {
  if (p == nullptr) return;
  auto* block = static_cast<unsigned char*>(p) - kHeader;
  std::size_t n;
  std::memcpy(&n, block, sizeof n);
  g_live -= n;
  std::free(block);
}

}  // namespace

// Kept out of line: where the compiler sees operator new inlined next to
// free() it reports a new/free mismatch.
[[gnu::noinline]] void* operator new(std::size_t n) { return allocate(n); }
[[gnu::noinline]] void* operator new[](std::size_t n) { return allocate(n); }
[[gnu::noinline]] void operator delete(void* p) noexcept { release(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { release(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { release(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { release(p); }

namespace {

// A read-only stream over bytes in memory that seeks, without copying them.
class MemoryBuffer : public std::streambuf {
 public:
  explicit MemoryBuffer(const std::string& bytes) {
    char* p = const_cast<char*>(bytes.data());
    setg(p, p, p + bytes.size());
  }

 protected:
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override {
    const off_type base = dir == std::ios_base::beg   ? 0
                          : dir == std::ios_base::cur ? gptr() - eback()
                                                      : egptr() - eback();
    return seekpos(pos_type(base + off), std::ios_base::in);
  }
  pos_type seekpos(pos_type pos, std::ios_base::openmode) override {
    const off_type at = off_type(pos);
    if (at < 0 || at > egptr() - eback()) return pos_type(off_type(-1));
    setg(eback(), eback() + at, egptr());
    return pos;
  }
};

void fill_job(BJobFile& job) { vxbench::FillLargeJob(job); }

// The payload as Veloxa sends it: "Dp", the job, "SR".
const std::string& veloxa_payload() {
  static const std::string bytes = vxbench::LargeJobPayload();
  return bytes;
}

// The payload WriteJob writes (no "Dp", no "SR").
const std::string& payload() {
  static const std::string bytes = [] {
    BJobFile job;
    fill_job(job);
    std::ostringstream out;
    job.WriteJob(out, eJobFileContent_Full);
    return out.str();
  }();
  return bytes;
}

void BM_ReadJob(benchmark::State& state) {
  const std::string& bytes = veloxa_payload();
  std::size_t settings = 0;
  std::size_t allocations = 0, allocated = 0, peakBeyond = 0, model = 0;
  for (auto _ : state) {
    MemoryBuffer buffer(bytes);
    std::istream in(&buffer);
    const std::size_t before = g_allocations, allocatedBefore = g_allocated;
    const std::size_t liveBefore = g_live;
    g_peak = g_live;
    {
      BJobFile job;
      job.ReadJob(in, eJobFileContent_Full);
      model = g_live - liveBefore;
      peakBeyond = std::max(peakBeyond, g_peak - g_live);
      settings = job.checkSettings().size();
      benchmark::DoNotOptimize(job.groups().Count());
    }
    allocations += g_allocations - before;
    allocated += g_allocated - allocatedBefore;
  }
  const double n = static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  if (settings == 0) state.SkipWithError("no check settings loaded");
  state.counters["settings"] = static_cast<double>(settings);
  state.counters["payload_bytes"] = static_cast<double>(bytes.size());
  state.counters["allocs"] = static_cast<double>(allocations) / n;
  state.counters["alloc_bytes"] = static_cast<double>(allocated) / n;
  state.counters["model_bytes"] = static_cast<double>(model);
  state.counters["peak_over_model"] = static_cast<double>(peakBeyond);
  state.counters["peak_over_model_per_payload"] =
      static_cast<double>(peakBeyond) / static_cast<double>(bytes.size());
}
BENCHMARK(BM_ReadJob)->Unit(benchmark::kMillisecond);

void BM_WriteJob(benchmark::State& state) {
  BJobFile job;
  fill_job(job);
  std::stringstream out;
  out << payload();  // sizes the buffer once; each pass writes over it
  std::size_t allocations = 0;
  for (auto _ : state) {
    out.seekp(0);
    const std::size_t before = g_allocations;
    job.WriteJob(out, eJobFileContent_Full);
    allocations += g_allocations - before;
    benchmark::ClobberMemory();
  }
  if (out.str() != payload()) state.SkipWithError("written bytes differ");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload().size()));
  state.counters["allocs"] = static_cast<double>(allocations) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_WriteJob)->Unit(benchmark::kMillisecond);

// The physical bound: copying the payload read once.
void BM_MemcpyPayload(benchmark::State& state) {
  const std::string& bytes = veloxa_payload();
  std::vector<char> target(bytes.size());
  for (auto _ : state) {
    std::memcpy(target.data(), bytes.data(), bytes.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_MemcpyPayload)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
