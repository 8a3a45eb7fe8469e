// The simulated host's report: what the plug-in did to the host, as JSON.
//
//   report := {version, plugin, menu, groups, documents, actions, saves,
//              front, messages, answers, suites, suite_counts, timers,
//              notifiers, alerts, contexts, live, calls, ticks, error}
//
// Members always appear in that order; see vxhost --help for each member.
#pragma once

#include <optional>
#include <string>

#include "HostModel.h"

namespace vxsim {

// Why a run failed: the script line (0 when no line is to blame), the
// command as written and the reason.
struct RunError {
  int line = 0;
  std::string command;
  std::string message;
};

// "1396786788 ('S!Fd')" for a code whose bytes are printable, else the number.
std::string describe_code(ai::Err code);

// The four characters of a code ("optn"), or "0x0000001F" when they are not
// all printable.
std::string four_char_text(std::int32_t code);

// The report as one line of JSON text followed by a line feed.
std::string report_json(const HostModel& host, const std::string& plugin_path,
                        const std::optional<RunError>& error);

}  // namespace vxsim
