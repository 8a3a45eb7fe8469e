// FakeWindowSystem: an in-memory window system for in-process host tests.
//
// Windows live in this process only. Messages "from another process" are
// scheduled by the test (send_from_other_process) and dispatched by
// pump_messages once the fake clock reaches their time, followed by the
// dispatch observer, as the real window system does. pump_messages never
// blocks: it advances the fake clock by its time-out when nothing is due.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/WindowSystem.h"

namespace vxsim_test {

class FakeWindowSystem : public vxp::WindowSystemWrapper {
 public:
  FakeWindowSystem();

  bool register_class(const std::string& class_name, vxp::WindowProcedure proc) override;
  bool is_class_registered(const std::string& class_name) override;
  bool unregister_class(const std::string& class_name) override;
  vxp::WindowHandle create_window(const std::string& class_name, const std::string& title,
                                  bool visible) override;
  bool destroy_window(vxp::WindowHandle window) override;
  std::int64_t default_procedure(vxp::WindowHandle, std::uint32_t, std::uint64_t, std::int64_t) override {
    return 0;
  }
  vxp::WindowHandle find_window(const std::string& class_name) override;
  vxp::WindowHandle enabled_popup(vxp::WindowHandle) override { return 0; }
  bool is_window(vxp::WindowHandle window) override { return windows_.count(window) != 0; }
  bool is_hung(vxp::WindowHandle window) override;
  bool is_minimised(vxp::WindowHandle window) override;
  bool post_message(vxp::WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                    std::int64_t lparam) override;
  vxp::WindowHandle foreground_window() override { return foreground_; }
  bool bring_to_top(vxp::WindowHandle window) override { return is_window(window); }
  bool set_foreground(vxp::WindowHandle window) override;
  std::uint32_t window_thread(vxp::WindowHandle window) override { return is_window(window) ? 1 : 0; }
  std::uint32_t current_thread() override { return 1; }
  bool attach_thread_input(std::uint32_t, std::uint32_t, bool) override { return true; }
  std::uint32_t send_key_events(const KeyEvent*, std::uint32_t count) override { return count; }
  std::int64_t send_copy_data(vxp::WindowHandle, std::uint64_t, std::uint64_t, const void*, std::uint32_t,
                              std::uint32_t, bool* delivered) override {
    if (delivered) *delivered = false;
    return 0;
  }
  int pump_messages(std::uint32_t timeout_ms) override;
  void set_dispatch_observer(std::function<void(const vxp::DispatchedMessage&)> observer) override {
    observer_ = std::move(observer);
  }
  bool set_minimised(vxp::WindowHandle window, bool minimised) override;
  bool set_hung(vxp::WindowHandle window, bool hung) override;
  void activate_other_window() override { foreground_ = 0; }

  // --- For the test ---------------------------------------------------------

  // Another process sends kMessage_CopyData with code and bytes to window
  // once the fake clock reaches at_ms.
  void send_from_other_process(vxp::WindowHandle window, std::uint64_t code, std::string bytes, double at_ms);
  // Dispatches a message from another process now.
  std::int64_t deliver_now(vxp::WindowHandle window, std::uint64_t code, const std::string& bytes);
  double now_ms() const { return now_ms_; }
  void advance_ms(double ms) { now_ms_ += ms; }
  bool visible(vxp::WindowHandle window) const;
  int set_foreground_calls = 0;
  // When false, set_foreground refuses (another program holds the focus).
  bool allow_set_foreground = true;

 private:
  struct Window {
    std::string class_name;
    vxp::WindowProcedure proc = nullptr;
    bool visible = false;
    bool minimised = false;
    bool hung = false;
  };
  struct Posted {
    vxp::WindowHandle window;
    std::uint32_t message;
    std::uint64_t wparam;
    std::int64_t lparam;
  };
  struct Remote {
    vxp::WindowHandle window;
    std::uint64_t code;
    std::string bytes;
    double at_ms;
  };

  std::map<std::string, vxp::WindowProcedure> classes_;
  std::map<vxp::WindowHandle, Window> windows_;
  vxp::WindowHandle next_ = 100;
  vxp::WindowHandle foreground_ = 0;
  std::deque<Posted> posted_;
  std::vector<Remote> remote_;
  std::function<void(const vxp::DispatchedMessage&)> observer_;
  double now_ms_ = 0;
};

}  // namespace vxsim_test
