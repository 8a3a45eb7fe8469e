// The host's main window and what the host observes of the messages other
// processes send to the plug-in's windows: answers and bring-to-front
// requests.
#include "HostModel.h"

namespace vxsim {

namespace {

constexpr const char* kMainWindowTitle = "Illustrator (vxhost)";

// The low four bits of a system command's wParam are the system's own.
constexpr std::uint64_t kSysCommandMask = 0xFFF0;

std::int64_t main_window_procedure(vxp::WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                                   std::int64_t lparam) {
  vxp::WindowSystem& windows = vxp::WindowSystem::Default();
  if (message == vxp::kMessage_SysCommand && (wparam & kSysCommandMask) == vxp::kSysCommand_Restore) {
    windows.set_minimised(window, false);
    if (HostModel* host = HostModel::current()) host->restored_by_command();
    return 0;
  }
  return windows.default_procedure(window, message, wparam, lparam);
}

}  // namespace

bool HostModel::open_main_window(std::string* error) {
  if (main_window_ != 0) return true;
  vxp::WindowSystem& windows = vxp::WindowSystem::Default();
  if (!windows.register_class(kMainWindowClass, main_window_procedure)) {
    *error = std::string("cannot register the window class \"") + kMainWindowClass + "\"";
    return false;
  }
  main_window_ = windows.create_window(kMainWindowClass, kMainWindowTitle, true);
  if (main_window_ == 0) {
    windows.unregister_class(kMainWindowClass);
    *error = "cannot create the host's main window";
    return false;
  }
  // The host starts behind another program's window, so that a plug-in's
  // bring-to-front request has something to do.
  windows.activate_other_window();
  windows.set_dispatch_observer([this](const vxp::DispatchedMessage& message) { observe(message); });
  note_front_state();
  return true;
}

void HostModel::close_main_window() {
  if (main_window_ == 0) return;
  vxp::WindowSystem& windows = vxp::WindowSystem::Default();
  windows.set_dispatch_observer(nullptr);
  windows.destroy_window(main_window_);
  windows.unregister_class(kMainWindowClass);
  main_window_ = 0;
}

void HostModel::note_front_state() {
  if (main_window_ == 0) return;
  main_in_front_ = vxp::WindowSystem::Default().foreground_window() == main_window_;
}

void HostModel::restored_by_command() {
  ++restore_commands_;
  // Restore commands arrive in the order they were posted: the oldest
  // request still waiting for one gets it.
  for (FrontRecord& record : front_) {
    if (record.watching_restore) {
      record.outcome = eFront_Restored;
      record.watching_restore = false;
      break;
    }
  }
}

void HostModel::observe(const vxp::DispatchedMessage& message) {
  if (message.window == main_window_ || message.message != vxp::kMessage_CopyData) return;
  answers_.push_back({message.code, message.size, message.result, false});
  if (message.code == kBringToFrontCode) {
    // Decided from what the host saw: its state before the request (kept by
    // note_front_state) and after it. A restore command is posted, so it
    // reaches the main window later and upgrades the outcome then; only a
    // request that found the window minimised waits for one.
    vxp::WindowSystem& windows = vxp::WindowSystem::Default();
    FrontRecord record;
    if (main_window_ != 0 && windows.is_hung(main_window_)) {
      record.outcome = eFront_Hung;
    } else {
      if (main_in_front_) {
        record.outcome = eFront_AlreadyFront;
      } else if (main_window_ != 0 && windows.foreground_window() == main_window_) {
        record.outcome = eFront_Activated;
      }
      record.watching_restore = main_window_ != 0 && windows.is_minimised(main_window_);
    }
    front_.push_back(record);
  } else if (message.result == 1) {
    // The plug-in parked it; a later answer replaces it until a tick takes it.
    parked_ = answers_.size() - 1;
  }
  note_front_state();
}

}  // namespace vxsim
