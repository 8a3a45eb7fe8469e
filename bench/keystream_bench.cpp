// Key stream speed: a job-sized stream (10,000 fields in items of about eight
// fields, with a nested record or array now and then) written and read back
// the way the job file does it, beside memcpy of the same bytes as the
// physical bound. The allocation counts come from the allocation counter,
// which replaces the program's global operator new.
#include "utils/UKeyStream.h"

#include "allocation_counter.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::uint16_t kList = make_key("LL");
constexpr std::uint16_t kId = make_key("DI"), kName = make_key("DN"), kWidth = make_key("DW"),
                        kDepth = make_key("DD"), kActive = make_key("DA"), kColour = make_key("DC"),
                        kShort = make_key("DS"), kPages = make_key("DP");
constexpr std::uint16_t kUser = make_key("US"), kBox = make_key("BX");
constexpr std::uint16_t kUserId = make_key("Ui"), kUserText = make_key("Ut"), kUserValue = make_key("Uv");
constexpr int kItems = 976;

const ustring kNames[] = {ustring("Daily News"), ustring("Weekend Magazine"), ustring("Regional Gazette p. 4"),
                          ustring("City Guide")};

// Writes the stream; returns the number of fields written (containers count
// as one field each).
int write_job(UKeyOutStream& w) {
  int fields = 0;
  w.begin_record(kList);
  for (int i = 0; i < kItems; ++i) {
    w.key(kId).write(100000 + i);
    w.key(kName).write(kNames[i % 4]);
    w.key(kWidth).write(210.0 + i % 7);
    w.key(kDepth).write(297.5 - i % 5);
    w.key(kActive).write(i % 3 == 0);
    w.key(kColour).write(i % 4);
    w.key(kShort).write("A4-q");
    w.key(kPages).write(static_cast<short>(i % 300));
    fields += 8;
    if (i % 4 == 1) {
      w.begin_record(kUser).key(kUserId).write(i).key(kUserText).write(kNames[(i + 1) % 4]).key(kUserValue).write(0.25 * i);
      w.end();
      fields += 4;
    } else if (i % 4 == 3) {
      w.begin_array(kBox).write(-3.0).write(-3.0).write(213.0 + i).write(300.0).end();
      fields += 5;
    }
  }
  w.end();
  return fields + 1;
}

struct JobTargets {
  int id = 0, colour = 0;
  short pages = 0;
  double width = 0, depth = 0, value = 0, box[4] = {};
  bool active = false;
  ustring name, code, text;
  long long sum = 0;
};

void read_job(UKeyInStream& r, JobTargets& t) {
  r.enter_record(kList);
  while (r.next_item()) {
    r.select(kId) >> t.id;
    r.select(kName) >> t.name;
    r.select(kWidth) >> t.width;
    r.select(kDepth) >> t.depth;
    r.select(kActive) >> t.active;
    r.select(kColour) >> t.colour;
    r.select(kShort) >> t.code;
    r.select(kPages) >> t.pages;
    if (r.has(kUser)) {
      r.enter_record(kUser);
      r.select(kUserId) >> t.id;
      r.select(kUserText) >> t.text;
      r.select(kUserValue) >> t.value;
      r.leave();
    }
    if (r.has(kBox)) {
      r.enter_array(kBox) >> t.box[0] >> t.box[1] >> t.box[2] >> t.box[3];
      r.leave();
    }
    t.sum += t.id + t.colour + t.pages + static_cast<long long>(t.name.size() + t.text.size());
  }
  r.leave();
}

struct Job {
  std::string bytes;
  int fields = 0;
};

const Job& job() {
  static const Job j = [] {
    Job out;
    std::ostringstream s;
    UKeyOutStream w(s, 0x4A4F4235);
    out.fields = write_job(w);
    w.close_all();
    out.bytes = s.str();
    return out;
  }();
  return j;
}

void BM_KeyStreamWrite(benchmark::State& state) {
  const Job& j = job();
  std::stringstream out;
  out << j.bytes;  // sizes the buffer once; each pass writes over it
  std::size_t allocations = 0;
  for (auto _ : state) {
    out.seekp(0);
    const vxtest::AllocationScope scope;
    {
      UKeyOutStream w(out, 0x4A4F4235);
      write_job(w);
    }
    allocations += scope.stats().count;
    benchmark::ClobberMemory();
  }
  if (out.str() != j.bytes) state.SkipWithError("written bytes differ");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * j.bytes.size()));
  state.counters["fields"] = j.fields;
  state.counters["allocs_per_field"] =
      static_cast<double>(allocations) / static_cast<double>(state.iterations() * j.fields);
}
BENCHMARK(BM_KeyStreamWrite);

void BM_KeyStreamRead(benchmark::State& state) {
  const Job& j = job();
  std::istringstream in(j.bytes);
  JobTargets t;
  std::size_t allocations = 0;
  for (auto _ : state) {
    in.clear();
    in.seekg(0);
    const vxtest::AllocationScope scope;
    {
      UKeyInStream r(in);
      read_job(r, t);
    }
    allocations += scope.stats().count;
    benchmark::DoNotOptimize(t.sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * j.bytes.size()));
  state.counters["fields"] = j.fields;
  state.counters["allocs_per_field"] =
      static_cast<double>(allocations) / static_cast<double>(state.iterations() * j.fields);
}
BENCHMARK(BM_KeyStreamRead);

// The physical bound: copying the stream's bytes once.
void BM_MemcpySameBytes(benchmark::State& state) {
  const Job& j = job();
  std::vector<char> target(j.bytes.size());
  for (auto _ : state) {
    std::memcpy(target.data(), j.bytes.data(), j.bytes.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * j.bytes.size()));
}
BENCHMARK(BM_MemcpySameBytes);

}  // namespace

BENCHMARK_MAIN();
