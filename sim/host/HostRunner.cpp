#include "HostRunner.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "HostActions.h"
#include "platform/Platform.h"
#include "platform/WindowSystem.h"
#include "utils/utf.h"

namespace vxsim {

namespace {

// The longest single wait of the message loop, so that a long `run` still
// looks at the clock now and then.
constexpr double kMaxWaitSeconds = 0.25;

// The version of the PDF that `preview` writes.
constexpr int kPreviewMinorVersion = 7;

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string absolute_plugin_path(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  std::wstring directory;
  std::string base;
  if (vxp::Platform::Default().current_directory(&directory)) {
    vxu::utf16_to_utf8(directory.data(), directory.size(), base);
  }
  if (base.empty()) return "./" + path;
  if (base.back() != '/') base += '/';
  return base + path;
}

HostRunner::HostRunner(HostModel& host, RunnerOptions options)
    : host_(host), options_(std::move(options)), path_(absolute_plugin_path(options_.plugin_path)) {}

HostRunner::~HostRunner() {
  host_.attach(nullptr);
  module_.reset();
}

double HostRunner::now() const {
  if (options_.clock) return options_.clock();
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool HostRunner::load(std::string* error) {
  std::string reason;
  std::unique_ptr<vxp::LoadedModule> module = vxp::ProcessService::Default().load_module(path_, &reason);
  if (!module) {
    *error = "cannot load the plug-in " + path_ + ": " + reason;
    return false;
  }
  void* entry = module->symbol(ai::kPluginMainName);
  if (entry == nullptr) {
    *error = "the plug-in " + path_ + " does not export " + ai::kPluginMainName;
    return false;
  }
  module_ = std::move(module);
  host_.attach(reinterpret_cast<ai::PluginMainFunction>(entry));
  host_.set_folder(ai::kFolder_Plugins, folder_of(path_));
  return true;
}

bool HostRunner::start(const ScriptCommand* at, std::optional<RunError>* failure) {
  const ai::Err result = host_.startup();
  if (result != ai::kNoErr) {
    *failure = RunError{at ? at->line : 0, at ? at->text : std::string(),
                        "the plug-in's start-up failed with code " + describe_code(result)};
    return false;
  }
  host_.notify(ai::kApplicationStartedNotifier);
  return true;
}

std::optional<RunError> HostRunner::run(const std::vector<ScriptCommand>& script) {
  bool start_sent = false;
  std::optional<RunError> failure;
  for (const ScriptCommand& command : script) {
    if (command.kind != ScriptCommand::eKind_Fail && !start_sent) {
      start_sent = true;
      if (!start(&command, &failure)) return failure;
    }
    if (command.kind == ScriptCommand::eKind_Quit) break;
    std::string why;
    if (!execute(command, &why)) {
      finish();
      return RunError{command.line, command.text, why};
    }
  }
  if (!start_sent && !start(nullptr, &failure)) return failure;
  finish();
  return std::nullopt;
}

bool HostRunner::execute(const ScriptCommand& c, std::string* why) {
  vxp::WindowSystem& windows = vxp::WindowSystem::Default();
  switch (c.kind) {
    case ScriptCommand::eKind_Menu: {
      ai::MenuItemData* item = host_.find_item(c.argument);
      if (item == nullptr) {
        *why = "no menu item \"" + c.argument + "\"";
        return false;
      }
      std::string reason;
      if (!host_.pick(item, &reason)) {
        *why = "menu item \"" + c.argument + "\": " + reason;
        return false;
      }
      return true;
    }
    case ScriptCommand::eKind_New:
      host_.new_document(c.width, c.height, c.path);
      return true;
    case ScriptCommand::eKind_Close:
      if (!host_.close_document()) {
        *why = "no document is open";
        return false;
      }
      return true;
    case ScriptCommand::eKind_Rect:
      if (host_.add_rectangle(c.x, c.y, c.width, c.height, c.grey) == nullptr) {
        *why = "no document is open";
        return false;
      }
      return true;
    case ScriptCommand::eKind_Preview: {
      const ai::DocumentData* document = host_.current_document();
      if (document == nullptr) {
        *why = "no document is open";
        return false;
      }
      std::string reason;
      if (!write_document_pdf(*document, true, kPreviewMinorVersion, absolute_plugin_path(*c.path),
                              &reason)) {
        *why = "preview: " + reason;
        return false;
      }
      return true;
    }
    case ScriptCommand::eKind_Run:
      loop(c.seconds, nullptr);
      return true;
    case ScriptCommand::eKind_WaitAnswer:
      if (!loop(c.seconds, [this] { return host_.answer_taken_since(answer_mark_); })) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", c.seconds);
        *why = std::string("no answer was taken by a timer tick within ") + seconds + " seconds";
        return false;
      }
      answer_mark_ = host_.answers().size();
      return true;
    case ScriptCommand::eKind_TicksOn:
      ticks_on_ = true;
      return true;
    case ScriptCommand::eKind_TicksOff:
      ticks_on_ = false;
      return true;
    case ScriptCommand::eKind_Tick:
      host_.tick_now();
      return true;
    case ScriptCommand::eKind_Minimise:
      if (!windows.set_minimised(host_.main_window(), true)) {
        *why = "the window system did not minimise the host's main window";
        return false;
      }
      host_.note_front_state();
      return true;
    case ScriptCommand::eKind_Front:
      windows.activate_other_window();
      host_.note_front_state();
      return true;
    case ScriptCommand::eKind_Hang:
      if (!windows.set_hung(host_.main_window(), true)) {
        *why = "the window system did not let the host's main window hang";
        return false;
      }
      return true;
    case ScriptCommand::eKind_Unload:
      if (!host_.started()) {
        *why = "the plug-in is not running";
        return false;
      }
      if (host_.unloaded()) {
        *why = "the plug-in is unloaded already";
        return false;
      }
      host_.unload();
      // A plug-in that holds an access reference stays in memory.
      if (!host_.holds_access()) {
        host_.attach(nullptr);
        module_.reset();
      }
      return true;
    case ScriptCommand::eKind_Reload:
      if (!host_.unloaded()) {
        *why = "the plug-in is not unloaded";
        return false;
      }
      if (!module_ && !load(why)) return false;
      host_.reload();
      return true;
    case ScriptCommand::eKind_Fail:
      host_.fail(c.argument, c.code);
      return true;
    case ScriptCommand::eKind_Quit:
      return true;
  }
  *why = "unknown command";
  return false;
}

bool HostRunner::loop(double seconds, const std::function<bool()>& done) {
  vxp::WindowSystem& windows = vxp::WindowSystem::Default();
  const double rate = options_.fast ? kFastTicksPerSecond : kTicksPerSecond;
  const double start = now();
  const double deadline = start + seconds;
  std::uint64_t counted = 0;  // ticks of this loop accounted for
  for (;;) {
    if (done && done()) return true;
    const double at = now();
    // At the deadline the loop has run exactly `seconds` of host time, free
    // of the rounding of the clock's subtraction.
    const double elapsed = at >= deadline ? seconds : at - start;
    const auto due = static_cast<std::uint64_t>(std::floor(elapsed * rate + 1e-9));
    if (due > counted) {
      if (ticks_on_) host_.advance_ticks(due - counted);
      counted = due;
    }
    if (done && done()) return true;
    if (at >= deadline) return !done;
    double wait = std::min(deadline - at, kMaxWaitSeconds);
    if (ticks_on_) {
      const std::uint64_t next = host_.ticks_to_next_timer();
      if (next != 0) wait = std::min(wait, static_cast<double>(counted + next) / rate - (at - start));
    }
    wait = std::max(wait, 0.0);
    const auto timeout_ms = static_cast<std::uint32_t>(std::ceil(wait * 1000));
    const int dispatched = windows.pump_messages(timeout_ms);
    host_.note_front_state();
    if (dispatched == 0) {
      // A window system that returns before the time is up must not turn
      // this loop into a busy one.
      const double left = at + wait - now();
      if (left > 0.001) vxp::ProcessService::Default().sleep_ms(static_cast<std::uint32_t>(left * 1000));
    }
  }
}

void HostRunner::finish() {
  vxp::WindowSystem::Default().pump_messages(0);
  host_.note_front_state();
  if (host_.started()) {
    // An unloaded plug-in is reloaded before it hears anything else.
    if (host_.unloaded()) {
      std::string ignored;
      if (module_ || load(&ignored)) host_.reload();
    }
    if (!host_.unloaded()) {
      host_.update_menus();
      host_.notify(ai::kApplicationShutdownNotifier);
    }
    host_.shutdown();
  }
  vxp::WindowSystem::Default().pump_messages(0);
  host_.note_front_state();
}

}  // namespace vxsim
