// Doubles of the OS services the plug-in uses: the clock and environment
// (Platform), processes, the pipe and registry (LinkService) and the window
// system. Each records what the plug-in asked of it, in order, and answers
// from state a test sets. FakeServices installs all four for its lifetime.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Link.h"
#include "platform/Platform.h"
#include "platform/Process.h"
#include "platform/WindowSystem.h"

namespace vxtest {

class FakePlatform : public vxp::PlatformWrapper {
 public:
  FakePlatform() : PlatformWrapper(vxp::native_platform()) {}

  std::int64_t now = 1700000000;
  // Only these variables exist.
  std::map<std::string, std::string> environment;

  std::int64_t wall_clock_seconds() override { return now; }
  bool environment_variable(const char* name, std::string* value) override;
};

class FakeProcesses : public vxp::ProcessServiceWrapper {
 public:
  FakeProcesses() : ProcessServiceWrapper(vxp::native_process_service()) {}

  // Image names of the running processes; scan_fails: no list can be taken.
  std::vector<std::string> images;
  bool scan_fails = false;
  int scans = 0;
  bool launch_succeeds = true;
  std::vector<std::string> launched;
  std::vector<std::uint32_t> sleeps;

  bool scan_processes(const std::function<bool(const std::string&)>& visit) override;
  bool launch_detached(const std::string& path) override;
  void sleep_ms(std::uint32_t milliseconds) override { sleeps.push_back(milliseconds); }
};

class FakeLink : public vxp::LinkServiceWrapper {
 public:
  FakeLink() : LinkServiceWrapper(vxp::native_link_service()) {}

  // What one connection received.
  struct Connection {
    std::string name;
    std::string bytes;
    int writes = 0;
  };
  std::vector<std::shared_ptr<Connection>> connections;
  // Names of every open attempt, refused ones included.
  std::vector<std::string> opened;
  // The next opens refused (-1: every one).
  int refuse_opens = 0;
  // Each write takes at most this many bytes.
  std::size_t max_chunk = std::numeric_limits<std::size_t>::max();
  // The pipe fails once a connection holds this many bytes.
  std::size_t fail_after = std::numeric_limits<std::size_t>::max();

  // The registered program (none: the key is missing).
  std::optional<std::string> registered;
  std::vector<std::string> registry_reads;

  // The bytes of each connection, in order.
  std::vector<std::string> Messages() const;

  std::unique_ptr<vxp::PipeConnection> open_pipe(const std::string& name, vxp::PipeError* error) override;
  bool read_registry_text(vxp::RegistryHive hive, const std::string& key, const std::string& value_name,
                          std::string* value) override;
};

class FakeWindows : public vxp::WindowSystemWrapper {
 public:
  FakeWindows() : WindowSystemWrapper(vxp::native_window_system()) {}

  // What the plug-in asked, in order (except the read-only questions about
  // classes and the reply window).
  std::vector<std::string> calls;

  std::map<std::string, vxp::WindowProcedure> classes;
  struct Window {
    std::string class_name;
    std::string title;
    bool visible;
  };
  // Windows made through create_window.
  std::map<vxp::WindowHandle, Window> windows;
  vxp::WindowHandle next_handle = 0x101;
  bool fail_create = false;

  // Windows of other code: class name -> window (found by find_window).
  std::map<std::string, vxp::WindowHandle> other_windows;
  std::map<vxp::WindowHandle, vxp::WindowHandle> popups;
  std::set<vxp::WindowHandle> hung;
  std::set<vxp::WindowHandle> minimised;
  vxp::WindowHandle foreground = 0;
  // Answers of the next set_foreground calls (false once they run out).
  std::vector<bool> foreground_answers;
  std::map<vxp::WindowHandle, std::uint32_t> threads;
  std::vector<KeyEvent> keys;

  bool register_class(const std::string& class_name, vxp::WindowProcedure proc) override;
  bool is_class_registered(const std::string& class_name) override { return classes.count(class_name) != 0; }
  bool unregister_class(const std::string& class_name) override;
  vxp::WindowHandle create_window(const std::string& class_name, const std::string& title,
                                  bool visible) override;
  bool destroy_window(vxp::WindowHandle window) override;
  std::int64_t default_procedure(vxp::WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                                 std::int64_t lparam) override;
  vxp::WindowHandle find_window(const std::string& class_name) override;
  vxp::WindowHandle enabled_popup(vxp::WindowHandle window) override;
  bool is_window(vxp::WindowHandle window) override;
  bool is_hung(vxp::WindowHandle window) override { return hung.count(window) != 0; }
  bool is_minimised(vxp::WindowHandle window) override { return minimised.count(window) != 0; }
  bool post_message(vxp::WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                    std::int64_t lparam) override;
  vxp::WindowHandle foreground_window() override { return foreground; }
  bool bring_to_top(vxp::WindowHandle window) override;
  bool set_foreground(vxp::WindowHandle window) override;
  std::uint32_t window_thread(vxp::WindowHandle window) override;
  std::uint32_t current_thread() override { return 1; }
  bool attach_thread_input(std::uint32_t from_thread, std::uint32_t to_thread, bool attach) override;
  std::uint32_t send_key_events(const KeyEvent* events, std::uint32_t count) override;
};

// All four doubles, installed while the object lives.
struct FakeServices {
  FakePlatform platform;
  FakeProcesses processes;
  FakeLink link;
  FakeWindows windows;

 private:
  vxp::ScopedPlatform platform_scope_{platform};
  vxp::ScopedService<vxp::ProcessService> processes_scope_{processes};
  vxp::ScopedService<vxp::LinkService> link_scope_{link};
  vxp::ScopedService<vxp::WindowSystem> windows_scope_{windows};
};

}  // namespace vxtest
