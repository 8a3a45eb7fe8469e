// HostRunner: runs a vxhost script against a plug-in module on one thread.
//
// The plug-in is loaded by path through vxp::ProcessService::load_module and
// talks to a HostModel; window messages are dispatched by
// vxp::WindowSystem::pump_messages. The start-up message goes out just before
// the first command that is not `fail` (so injected failures reach start-up),
// or at the end of a script of nothing else. Every run ends in an orderly
// shut-down: pending posted messages are dispatched, menu items that ask for
// updates are updated, application-shutdown notifiers are notified and
// "SP Interface"/"Shutdown" is sent (to an unloaded plug-in after reloading
// it) - also after a failing command.
//
// The host clock counts kTicksPerSecond ticks per second of the clock given
// in the options (fast: kFastTicksPerSecond), and runs only inside `run` and
// `wait-answer`; timers keep their progress from one of those to the next.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "HostModel.h"
#include "HostReport.h"
#include "HostScript.h"
#include "platform/Process.h"

namespace vxsim {

// The host clock with --fast: 60 ticks per sixtieth of a second.
inline constexpr double kFastTicksPerSecond = 3600;

struct RunnerOptions {
  std::string plugin_path;
  bool fast = false;
  // Seconds on a monotonic clock; null: std::chrono::steady_clock.
  std::function<double()> clock;
};

class HostRunner {
 public:
  HostRunner(HostModel& host, RunnerOptions options);
  // Detaches the plug-in from the host and unloads its module.
  ~HostRunner();
  HostRunner(const HostRunner&) = delete;
  HostRunner& operator=(const HostRunner&) = delete;

  // Loads the plug-in module and attaches its PluginMain to the host; also
  // tells the host the plug-in's folder. False with the reason.
  bool load(std::string* error);

  // Runs the script (the plug-in is loaded and the host's main window open).
  // Returns the first failure, after the shut-down; nothing when the script
  // ran through.
  std::optional<RunError> run(const std::vector<ScriptCommand>& script);

 private:
  bool start(const ScriptCommand* at, std::optional<RunError>* failure);
  bool execute(const ScriptCommand& command, std::string* why);
  // Runs the message loop and the host clock for at most seconds, or until
  // done() holds; false when the time ran out first (with a done()).
  bool loop(double seconds, const std::function<bool()>& done);
  void finish();
  double now() const;

  HostModel& host_;
  RunnerOptions options_;
  std::string path_;
  std::unique_ptr<vxp::LoadedModule> module_;
  bool ticks_on_ = true;
  std::size_t answer_mark_ = 0;
};

// The plug-in path made absolute against the current directory, so that the
// loader never searches the library path for it.
std::string absolute_plugin_path(const std::string& path);

}  // namespace vxsim
