// Cost of hostile payloads: crafted inputs of 64 KB, 256 KB and 1 MB, one
// family per way a small payload can ask for a lot of work or memory, read
// the way the plug-in and the tools read them:
//
//   ReadJob       BJobFile::ReadJob (mask 4), then what `vxjob show` prints
//                 (the job's JSON record written to a sink);
//   Dump          `vxmsg dump`: the key stream's tree with every user/binary
//                 field decoded as a flat form, written to a sink (twice: a
//                 walk without output first, as the tool does);
//   DumpBuffered  the same built in memory and copied, as the tool did;
//   Unflatten     `vxmsg unflatten`: one flat form read and written as JSON.
//
// Families (each built here, never stored):
//   effective     a ticket whose check group names many boolean problems and
//                 has many restrictions, each with an "all" fallback ("SR");
//   equal_names   old-form check settings that all name one problem ("SR");
//   expansion     flat forms whose one long string is named by thousands
//                 of ids: "SR" of half the payload, "Dp" and further binary
//                 fields of 16 KB each;
//   items         records of empty items: destinations, page ranges and
//                 user fields of a few bytes each.
//
// Counters: "peak" is the most bytes live at once during one iteration
// (a replaced global operator new records every block's size); "bytes" the
// payload's size. The goal: time near-linear in the size (1 MB well under a
// second) and peak under 64 times the payload plus 64 MiB.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>

#include "JobJson.h"
#include "KeyStreamDump.h"
#include "datastruct/BJobFile.h"
#include "datastruct/CheckSettingDefinitions.h"
#include "utils/Logger.h"
#include "utils/UKeyStream.h"
#include "utils/umessage.h"

namespace {

constexpr std::size_t kHeader = alignof(std::max_align_t);
std::size_t g_live = 0;
std::size_t g_peak = 0;

void* allocate(std::size_t n) {
  auto* block = static_cast<unsigned char*>(std::malloc(n + kHeader));
  if (block == nullptr) throw std::bad_alloc();
  std::memcpy(block, &n, sizeof n);
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

[[gnu::noinline]] void* operator new(std::size_t n) { return allocate(n); }
[[gnu::noinline]] void* operator new[](std::size_t n) { return allocate(n); }
[[gnu::noinline]] void operator delete(void* p) noexcept { release(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { release(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { release(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { release(p); }

namespace {

// Counts what is written and keeps nothing: the tools' standard output.
class NullBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

using Msg = std::shared_ptr<umessage>;

// A payload as Veloxa sends one: the fields `fill` writes into the meta
// record, around an empty job record.
template <class Fill>
std::string payload(Fill&& fill) {
  std::ostringstream out;
  {
    UKeyOutStream w(out, BJobFile::kSignature);
    fill(w);
    w.close_all();
  }
  return out.str();
}

std::string name_of(const char* prefix, std::size_t i) { return prefix + std::to_string(i); }

// A ticket whose own check group names `names` problems and has
// `restrictions` restrictions, each with only an "all" fallback.
umessage effective_ticket(std::size_t names, std::size_t restrictions) {
  umessage ticket;
  ticket.add("identifier", "t");
  ticket.add("operator", "o");
  ticket.add("style", "s");
  ticket.add("active", true);
  ticket.add("groupingDisabled", false);
  auto group = std::make_shared<umessage>();
  auto checks = std::make_shared<umessage>();
  auto warn = std::make_shared<umessage>();
  warn->add("sev", "warn");
  for (std::size_t i = 0; i < names; ++i) checks->add(name_of("P", i), warn);
  group->add("checks", checks);
  for (std::size_t i = 0; i < restrictions; ++i) {
    auto restriction = std::make_shared<umessage>();
    auto all = std::make_shared<umessage>();
    all->add("all", warn);
    restriction->add("checks", all);
    group->add("restrictions", restriction);
  }
  ticket.add("zts", group);
  return ticket;
}

// The names of the effective family are boolean problems, for which every
// restriction's "all" fallback counts: the definitions are installed once,
// for the largest payload's names (the catalogue is built once a process).
constexpr std::size_t kEffectiveNameBytes = 53;

void install_effective_definitions() {
  umessage definitions;
  auto boolean = std::make_shared<umessage>();
  boolean->add("type", "boolean");
  for (std::size_t i = 0; i < (std::size_t{1} << 20) / kEffectiveNameBytes; ++i)
    definitions.add(name_of("P", i), boolean);
  InstallSettingDefinitions(std::move(definitions));
  SettingDefinitionCatalogue();
}

std::string effective_payload(std::size_t bytes) {
  // About 26 bytes a name and 15 a restriction: half the payload each.
  const umessage ticket = effective_ticket(bytes / kEffectiveNameBytes, bytes / 31);
  return payload([&](UKeyOutStream& w) {
    w.begin_record(make_key("JJ")).end();
    w.key(make_key("SR")).write_message(ticket);
  });
}

std::string equal_names_payload(std::size_t bytes) {
  umessage settings;
  auto setting = std::make_shared<umessage>();
  setting->add("problem", "P");
  for (std::size_t i = 0; i < bytes / 6; ++i) settings.add("settings", setting);
  return payload([&](UKeyOutStream& w) {
    w.begin_record(make_key("JJ")).end();
    w.key(make_key("SR")).write_message(settings);
  });
}

void put_packed(std::string& out, std::uint64_t v) {
  if (v < 0x80) {
    out += static_cast<char>(v);
  } else if (v < 0x4000) {
    out += static_cast<char>(0x80 | (v >> 8));
    out += static_cast<char>(v & 0xFF);
  } else {
    out += static_cast<char>(0xE0 | (v >> 24));
    for (int shift = 16; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
  }
}

// A flat form of about `bytes` bytes that names one string of half that
// size a byte each: bytes^2 / 4 bytes of copies (64 MB from 16 KB). Written
// byte by byte: the record it describes would not fit in memory.
std::string expanding_form(std::size_t bytes) {
  const std::size_t half = bytes / 2;
  std::string form;
  put_packed(form, 4);  // version
  put_packed(form, 2);  // strings: "s", then the long one
  put_packed(form, 1);
  form += 's';
  put_packed(form, half);
  form.append(half, 'x');
  put_packed(form, 1);  // one entry: "s", string, not flagged, `half` values
  put_packed(form, 1);
  put_packed(form, 4);
  form += '\0';
  put_packed(form, half);
  form.append(half, '\x02');
  return form;
}

// "Dp" and further binary fields of 16 KB forms, "SR" one form of half the
// payload.
std::string expansion_payload(std::size_t bytes) {
  static const std::string small = expanding_form(16 << 10);
  const std::string large = expanding_form(bytes / 2);
  const std::size_t forms = std::max<std::size_t>(1, bytes / 2 / small.size());
  return payload([&](UKeyOutStream& w) {
    w.key(make_key("Dp")).write_bytes(small.data(), small.size());
    w.begin_record(make_key("JJ")).end();
    w.key(make_key("SR")).write_bytes(large.data(), large.size());
    for (std::size_t i = 1; i < forms; ++i) w.key(make_key("Bx")).write_bytes(small.data(), small.size());
  });
}

// Empty items: a quarter of the payload each of destinations, relative page
// ranges, exported destinations and user fields of one destination.
std::string items_payload(std::size_t bytes) {
  const std::size_t n = bytes / 17;  // a quarter each; an item takes about 4 bytes
  return payload([&](UKeyOutStream& w) {
    w.begin_record(make_key("JJ"));
    w.begin_record(make_key("LP"));
    for (std::size_t i = 0; i < n; ++i) w.key(make_key("sS")).write(0);
    w.end();
    w.begin_record(make_key("EL"));
    for (std::size_t i = 0; i < n; ++i) w.key(make_key("ID")).write(0);
    w.end();
    w.end();
    w.begin_record(make_key("GG"));
    w.key(make_key("GA")).write(true);
    w.begin_record(make_key("LL"));
    w.begin_record(make_key("UF"));
    for (std::size_t i = 0; i < n; ++i) w.key(make_key("UP")).write("x");
    w.end();
    for (std::size_t i = 0; i < n; ++i) w.key(make_key("CC")).write("");
    w.end();
    w.end();
  });
}

const std::string& input(int family, std::size_t bytes) {
  static std::string made[4][3];
  const int slot = bytes <= (64 << 10) ? 0 : bytes <= (256 << 10) ? 1 : 2;
  std::string& p = made[family][slot];
  if (p.empty()) {
    switch (family) {
      case 0: p = effective_payload(bytes); break;
      case 1: p = equal_names_payload(bytes); break;
      case 2: p = expansion_payload(bytes); break;
      default: p = items_payload(bytes); break;
    }
  }
  return p;
}

void report(benchmark::State& state, std::size_t bytes, std::size_t peak) {
  state.counters["bytes"] = static_cast<double>(bytes);
  state.counters["peak"] = static_cast<double>(peak);
  state.counters["peak/bytes"] = static_cast<double>(peak) / static_cast<double>(bytes);
}

void BM_ReadJob(benchmark::State& state, int family) {
  const std::string& bytes = input(family, static_cast<std::size_t>(state.range(0)));
  vxu::system_logger.set_mask(0);
  std::size_t peak = 0;
  for (auto _ : state) {
    const std::size_t base = g_live;
    g_peak = g_live;
    {
      std::istringstream in(bytes);
      BJobFile job;
      try {
        job.ReadJob(in, eJobFileContent_Full);
        NullBuffer sink;
        std::ostream out(&sink);
        job_to_json(job).write(out);
      } catch (const std::exception&) {
        // a refused payload costs what it cost up to the refusal
      }
    }
    peak = std::max(peak, g_peak - base);
  }
  report(state, bytes.size(), peak);
}

// `vxmsg dump` as the tool does it: one walk without output (a refused
// input writes nothing), then one to standard output.
void BM_Dump(benchmark::State& state, int family) {
  const std::string& bytes = input(family, static_cast<std::size_t>(state.range(0)));
  std::size_t peak = 0;
  for (auto _ : state) {
    const std::size_t base = g_live;
    g_peak = g_live;
    try {
      for (int pass = 0; pass < 2; ++pass) {
        std::istringstream in(bytes);
        NullBuffer sink;
        std::ostream out(&sink);
        dump_key_stream(in, out);
      }
    } catch (const std::exception&) {
    }
    peak = std::max(peak, g_peak - base);
  }
  report(state, bytes.size(), peak);
}

// The earlier way of the tool: the whole tree built in memory, then copied
// out.
void BM_DumpBuffered(benchmark::State& state, int family) {
  const std::string& bytes = input(family, static_cast<std::size_t>(state.range(0)));
  std::size_t peak = 0;
  for (auto _ : state) {
    const std::size_t base = g_live;
    g_peak = g_live;
    {
      std::istringstream in(bytes);
      std::ostringstream out;
      try {
        dump_key_stream(in, out);
        const std::string text = out.str();
        benchmark::DoNotOptimize(text.data());
      } catch (const std::exception&) {
      }
    }
    peak = std::max(peak, g_peak - base);
  }
  report(state, bytes.size(), peak);
}

// `vxmsg unflatten` of the family's "SR" form: the form alone.
void BM_Unflatten(benchmark::State& state, int family) {
  const std::string& bytes = input(family, static_cast<std::size_t>(state.range(0)));
  std::string form;
  {
    std::istringstream in(bytes);
    UKeyInStream r(in);
    r.select(make_key("SR")).read(form);
  }
  vxu::system_logger.set_mask(0);
  std::size_t peak = 0;
  for (auto _ : state) {
    const std::size_t base = g_live;
    g_peak = g_live;
    {
      std::istringstream in(form);
      umessage record;
      if (record.unflatten(in)) {
        NullBuffer sink;
        std::ostream out(&sink);
        record.write(out);
      }
    }
    peak = std::max(peak, g_peak - base);
  }
  report(state, form.size(), peak);
}

void sizes(benchmark::internal::Benchmark* b) {
  b->Arg(64 << 10)->Arg(256 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->Iterations(1);
}

BENCHMARK_CAPTURE(BM_ReadJob, effective, 0)->Apply(sizes);
BENCHMARK_CAPTURE(BM_ReadJob, equal_names, 1)->Apply(sizes);
BENCHMARK_CAPTURE(BM_ReadJob, expansion, 2)->Apply(sizes);
BENCHMARK_CAPTURE(BM_ReadJob, items, 3)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Dump, effective, 0)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Dump, equal_names, 1)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Dump, expansion, 2)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Dump, items, 3)->Apply(sizes);
BENCHMARK_CAPTURE(BM_DumpBuffered, effective, 0)->Apply(sizes);
BENCHMARK_CAPTURE(BM_DumpBuffered, equal_names, 1)->Apply(sizes);
BENCHMARK_CAPTURE(BM_DumpBuffered, expansion, 2)->Apply(sizes);
BENCHMARK_CAPTURE(BM_DumpBuffered, items, 3)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Unflatten, effective, 0)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Unflatten, equal_names, 1)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Unflatten, expansion, 2)->Apply(sizes);

}  // namespace

int main(int argc, char** argv) {
  install_effective_definitions();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
