// Fuzz target of the job ticket's views: TicketIsWellFormed and the
// effective settings over any record (read as JSON when the input starts
// with "{", else as a flat form, the form in which tickets travel).
//
// Oracles: validation and the reduction never throw and never change the
// ticket; validation gives the same answer twice; the all-at-once reduction
// (ForEachEffectiveSetting) names exactly ProblemNames, in order, and gives
// for each the setting EffectiveSetting gives name by name. The definitions
// installed give every merge rule a name to act on.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "datastruct/CheckSettingDefinitions.h"
#include "datastruct/WEffectiveProfile.h"
#include "datastruct/WTicket.h"
#include "utils/umessage.h"

namespace {

void check_at(bool condition, int line) {
  if (condition) return;
  std::fprintf(stderr, "ticket_fuzz.cpp:%d: check failed\n", line);
  std::abort();
}
#define check(condition) check_at((condition), __LINE__)

// Validation logs every refusal; a fuzzer makes millions.
class NullBuf : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

constexpr char kDefinitions[] = R"({
  "Transparency": {"type": "boolean", "defaults": {"sev": "warn"}},
  "MissingBleedBox": {"type": "boolean"},
  "ArtBoxDetected": {"type": "boolean", "defaults": {"sev": "note"}},
  "InkWeightTAC": {"type": "limitsHigh", "defaults": {"fault": 320}},
  "InkWeightShadow": {"type": "limitsHigh"},
  "ResTooLowContone": {"type": "limitsLow", "userUnits": true, "defaults": {"fault": 150, "warn": 200}},
  "Setting_PrinterMarks": {"type": "parameter", "defaults": {"P": "none"}},
  "Setting_ControlStrip": {"type": "stringParameter"},
  "Setting_MinimumBleed": {"type": "combiningParameterLow", "defaults": {"PV": 2}},
  "a": {"type": "boolean"}, "b": {"type": "limitsLow"}, "c": {"type": "limitsHigh"},
  "d": {"type": "parameter"}, "e": {"type": "stringParameter"}, "f": {"type": 7}
})";

void install_definitions() {
  umessage definitions;
  std::istringstream text(kDefinitions);
  check(definitions.read(text));
  InstallSettingDefinitions(std::move(definitions));
  check(SettingDefinitionCatalogue() != nullptr);
}

std::string flat(const umessage& m) {
  std::ostringstream out;
  m.flatten(out);
  return out.str();
}

bool same_setting(const WCheckSetting& a, const WCheckSetting& b) {
  if (a.empty() || b.empty()) return a.empty() == b.empty();
  return flat(*a.message()) == flat(*b.message());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static NullBuf* const null_buf = new NullBuf;
  static const bool ready = (std::cerr.rdbuf(null_buf), install_definitions(), true);
  (void)ready;

  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  auto ticket = std::make_shared<umessage>();
  const bool read = size > 0 && data[0] == '{' ? ticket->read(in) : ticket->unflatten(in);
  if (!read) return 0;
  const std::string before = flat(*ticket);
  const std::shared_ptr<const umessage> view = ticket;

  const bool well_formed = TicketIsWellFormed(view);
  check(TicketIsWellFormed(view) == well_formed);
  for (std::size_t i = 0, n = WTicket(view).DestinationCount(); i < n; ++i)
    (void)DestinationIsWellFormed(WTicket(view).DestinationAt(i).message());

  const WEffectiveProfileT profile(view);
  const std::vector<ustring> names = profile.ProblemNames();
  const auto catalogue = SettingDefinitionCatalogue();
  std::vector<ustring> seen;
  ForEachEffectiveSetting(CheckGroupWalk(profile), catalogue.get(),
                          [&](const ustring& name, const WCheckSetting& setting) {
                            seen.push_back(name);
                            check(same_setting(setting, EffectiveSetting(profile, name)));
                          });
  check(seen == names);
  // A name no group holds still gets the definition's defaults.
  (void)EffectiveSetting(profile, ustring("ResTooLowContone"));
  check(flat(*ticket) == before);
  return 0;
}
