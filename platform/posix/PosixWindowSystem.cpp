// POSIX window system (placeholder until the implementation lands).
#include "platform/WindowSystem.h"

namespace vxp {

WindowSystem::~WindowSystem() = default;

WindowSystem*& WindowSystem::installed() {
  static WindowSystem* current = nullptr;
  return current;
}

WindowSystem& WindowSystem::Default() {
  WindowSystem* current = installed();
  return current ? *current : native_window_system();
}

namespace {

class PosixWindowSystem final : public WindowSystem {
 public:
  bool register_class(const std::string&, WindowProcedure) override { return false; }
  bool is_class_registered(const std::string&) override { return false; }
  bool unregister_class(const std::string&) override { return false; }
  WindowHandle create_window(const std::string&, const std::string&, bool) override { return 0; }
  bool destroy_window(WindowHandle) override { return false; }
  std::int64_t default_procedure(WindowHandle, std::uint32_t, std::uint64_t, std::int64_t) override { return 0; }
  WindowHandle find_window(const std::string&) override { return 0; }
  WindowHandle enabled_popup(WindowHandle) override { return 0; }
  bool is_window(WindowHandle) override { return false; }
  bool is_hung(WindowHandle) override { return false; }
  bool is_minimised(WindowHandle) override { return false; }
  bool post_message(WindowHandle, std::uint32_t, std::uint64_t, std::int64_t) override { return false; }
  WindowHandle foreground_window() override { return 0; }
  bool bring_to_top(WindowHandle) override { return false; }
  bool set_foreground(WindowHandle) override { return false; }
  std::uint32_t window_thread(WindowHandle) override { return 0; }
  std::uint32_t current_thread() override { return 0; }
  bool attach_thread_input(std::uint32_t, std::uint32_t, bool) override { return false; }
  std::uint32_t send_key_events(const KeyEvent*, std::uint32_t) override { return 0; }
  std::int64_t send_copy_data(WindowHandle, std::uint64_t, std::uint64_t, const void*, std::uint32_t,
                              std::uint32_t, bool* delivered) override {
    if (delivered) *delivered = false;
    return 0;
  }
  int pump_messages(std::uint32_t) override { return 0; }
  void set_dispatch_observer(std::function<void(const DispatchedMessage&)>) override {}
  bool set_minimised(WindowHandle, bool) override { return false; }
  bool set_hung(WindowHandle, bool) override { return false; }
  void activate_other_window() override {}
};

}  // namespace

WindowSystem& native_window_system() {
  static PosixWindowSystem system;
  return system;
}

}  // namespace vxp
