// Settings loading speed: LoadSettings of a ticket with 50 destinations,
// each defining 100 problems, the way ReadJob hands over a job's "SR"
// message. Goal: under 10 ms. Two shapes: every destination defines the same
// 100 problems (the usual ticket), and every destination its own 100 (5,000
// distinct names, the worst case for the reduction).
#include <benchmark/benchmark.h>

#include <cstddef>
#include <memory>
#include <string>

#include "datastruct/BCheckSettingList.h"
#include "datastruct/CheckSettingDefinitions.h"
#include "datastruct/LoadSettings.h"
#include "datastruct/ProblemNames.h"
#include "utils/umessage.h"

namespace {

constexpr int kDestinations = 50;
constexpr int kProblemsPerDestination = 100;
constexpr const char* kTypes[] = {"limitsLow", "limitsHigh", "boolean", "stringParameter"};

ustring problem_name(int destination, int problem, bool distinct) {
  const std::string_view base = problem_names::kProblemNames[static_cast<std::size_t>(problem)];
  return distinct ? ustring(std::string(base) + "_" + std::to_string(destination)) : ustring(base);
}

std::shared_ptr<umessage> setting_for(int type, int destination, int problem) {
  auto s = std::make_shared<umessage>();
  switch (type) {
    case 0:
    case 1:
      s->add("fault", 100.0 + destination + problem);
      s->add("warn", 200.0 + destination);
      s->add("precision", 1);
      break;
    case 2:
      s->add("sev", destination % 2 ? "warn" : "fault");
      if (destination % 7 == 0) s->add("fix", true);
      break;
    default:
      s->add("P", "profile.icc");
      s->add("P", "second.icc");
      break;
  }
  return s;
}

struct Fixture {
  std::shared_ptr<umessage> ticket = std::make_shared<umessage>();
};

Fixture make_ticket(bool distinct) {
  umessage definitions;
  Fixture f;
  for (int d = 0; d < kDestinations; ++d) {
    auto checks = std::make_shared<umessage>();
    for (int p = 0; p < kProblemsPerDestination; ++p) {
      const ustring name = problem_name(d, p, distinct);
      checks->add(name, setting_for(p % 4, d, p));
      if (d == 0 || distinct) {
        auto definition = std::make_shared<umessage>();
        definition->add("type", kTypes[p % 4]);
        definitions.add(name, definition);
      }
    }
    auto zts = std::make_shared<umessage>();
    zts->add("checks", checks);
    auto destination = std::make_shared<umessage>();
    destination->add("identifier", ustring(std::to_string(d)));
    destination->add("zts", zts);
    f.ticket->add("destinations", destination);
  }
  ResetSettingDefinitionsForTesting();
  InstallSettingDefinitions(std::move(definitions));
  return f;
}

void BM_LoadSettings(benchmark::State& state) {
  const bool distinct = state.range(0) != 0;
  const Fixture f = make_ticket(distinct);
  BCheckSettingList list;
  for (auto _ : state) {
    LoadSettings(list, *f.ticket);
    benchmark::DoNotOptimize(list.size());
  }
  state.counters["settings"] = static_cast<double>(list.size());
  state.SetLabel(distinct ? "5000 distinct problems" : "100 shared problems");
}
BENCHMARK(BM_LoadSettings)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
