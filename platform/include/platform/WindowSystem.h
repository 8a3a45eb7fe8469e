// Windows and window messages: the plug-in's hidden reply window, the
// messages the desktop application sends it, and bringing the host's main
// window to the front.
//
// The window system is process-wide, as on Windows: a host and the plug-in
// it loads share one. On POSIX it lives in a small shared library
// (libvxwindows.so) that both link, so a window the host creates is found by
// the plug-in and the host's message loop dispatches the plug-in's windows.
// On POSIX a window is a Unix socket and only kMessage_CopyData crosses
// processes (docs/posix-link.md).
//
// Texts are UTF-8 (class names and titles are ASCII in practice). Messages
// and their parameters use the Win32 numbers below, so a window procedure
// reads the same on every OS. Nothing here logs or throws; a window
// procedure must not throw either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "platform/Service.h"

namespace vxp {

// A window; 0 is none. On Windows the HWND's value; on POSIX a positive
// number below 2^31, unique among the live windows of the runtime folder.
using WindowHandle = std::uint64_t;

// Message numbers (Win32 values).
inline constexpr std::uint32_t kMessage_Create = 0x0001;       // WM_CREATE
inline constexpr std::uint32_t kMessage_Destroy = 0x0002;      // WM_DESTROY
inline constexpr std::uint32_t kMessage_ActivateApp = 0x001C;  // WM_ACTIVATEAPP
inline constexpr std::uint32_t kMessage_CopyData = 0x004A;     // WM_COPYDATA
inline constexpr std::uint32_t kMessage_SysCommand = 0x0112;   // WM_SYSCOMMAND
// wParam of kMessage_SysCommand that restores a minimised window.
inline constexpr std::uint64_t kSysCommand_Restore = 0xF120;   // SC_RESTORE

// The largest kMessage_CopyData payload a window of this system accepts
// from another process: 32 MiB (an answer's hexadecimal UTF-16 text of an
// 8 MiB job). A larger one is refused with the result 0, its bytes unread.
inline constexpr std::uint32_t kMaxCopyDataBytes = 32u << 20;

// What lParam of kMessage_CopyData points to (laid out as Win32's
// COPYDATASTRUCT on 64-bit Windows). The bytes are valid only during the
// call of the window procedure.
struct CopyData {
  std::uint64_t code;  // dwData
  std::uint32_t size;  // cbData
  const void* data;    // lpData
};

// A window procedure: (window, message, wParam, lParam) -> result.
using WindowProcedure = std::int64_t (*)(WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                                         std::int64_t lparam);

// A message from another process that a window procedure of this process
// handled (for hosts that record what reaches their windows).
struct DispatchedMessage {
  WindowHandle window;
  std::uint32_t message;
  std::uint64_t wparam;
  std::uint64_t code;  // kMessage_CopyData: dwData
  std::uint32_t size;  // kMessage_CopyData: cbData
  std::int64_t result;
};

class WindowSystem {
 public:
  WindowSystem() = default;
  WindowSystem(const WindowSystem&) = delete;
  WindowSystem& operator=(const WindowSystem&) = delete;
  virtual ~WindowSystem();

  static WindowSystem& Default();

  // --- Classes and windows (RegisterClassExA with the main module's
  // instance handle, GetClassInfoExA, UnregisterClassA, CreateWindowExA,
  // DestroyWindow, DefWindowProcA) ---------------------------------------

  // Registers a window class of the process's main module with procedure
  // proc and every other class field zero. False when the name is taken.
  virtual bool register_class(const std::string& class_name, WindowProcedure proc) = 0;
  virtual bool is_class_registered(const std::string& class_name) = 0;
  // False while a window of the class exists or when there is no such class.
  virtual bool unregister_class(const std::string& class_name) = 0;

  // Creates a window of a registered class: extended style 0, style
  // WS_OVERLAPPEDWINDOW, default position and size, no parent, no menu,
  // never shown unless `visible`. The procedure receives kMessage_Create
  // before this returns (lParam is not for reading: 0 on POSIX); when it
  // answers -1 the window is destroyed again and this returns 0. 0 on
  // failure. The window belongs to the calling thread: its messages are
  // dispatched by that thread's pump_messages.
  virtual WindowHandle create_window(const std::string& class_name, const std::string& title,
                                     bool visible) = 0;
  // The procedure receives kMessage_Destroy before the window goes. Only
  // the thread that created the window may destroy it (false otherwise).
  virtual bool destroy_window(WindowHandle window) = 0;
  virtual std::int64_t default_procedure(WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                                         std::int64_t lparam) = 0;

  // --- Finding and raising windows (FindWindowA, GetWindow with
  // GW_ENABLEDPOPUP, IsWindow, IsHungAppWindow, IsIconic, PostMessageA,
  // GetForegroundWindow, BringWindowToTop + SetWindowPos, SetForegroundWindow,
  // GetWindowThreadProcessId, AttachThreadInput, SendInput) ----------------

  // A top-level window of the class, or 0. On POSIX only this process's
  // windows are searched (the host and its plug-in share the process).
  virtual WindowHandle find_window(const std::string& class_name) = 0;
  // The window's enabled pop-up, or 0.
  virtual WindowHandle enabled_popup(WindowHandle window) = 0;
  virtual bool is_window(WindowHandle window) = 0;
  virtual bool is_hung(WindowHandle window) = 0;
  virtual bool is_minimised(WindowHandle window) = 0;
  // Queues a message for the window's thread; its procedure runs in that
  // thread's next pump_messages. Within this process only.
  virtual bool post_message(WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                            std::int64_t lparam) = 0;
  virtual WindowHandle foreground_window() = 0;
  // Puts the window at the top of the Z order (no move, no resize).
  virtual bool bring_to_top(WindowHandle window) = 0;
  virtual bool set_foreground(WindowHandle window) = 0;
  // The thread that created the window, 0 when there is none.
  virtual std::uint32_t window_thread(WindowHandle window) = 0;
  virtual std::uint32_t current_thread() = 0;
  virtual bool attach_thread_input(std::uint32_t from_thread, std::uint32_t to_thread, bool attach) = 0;
  // Synthesises the keyboard events (virtual key, flags) in one call and
  // returns how many were inserted.
  struct KeyEvent {
    std::uint16_t virtual_key;
    std::uint32_t flags;
  };
  virtual std::uint32_t send_key_events(const KeyEvent* events, std::uint32_t count) = 0;

  // --- Messages between processes (SendMessageTimeoutW with WM_COPYDATA) --

  // Sends kMessage_CopyData with wparam and the CopyData {code, size, bytes}
  // to a window of any process and waits at most timeout_ms for its
  // procedure's result. 0 when the window does not exist, the time runs out
  // or the owner ends without a result; *delivered (when not null) tells
  // whether a result came back. On the window's own thread the procedure
  // is called directly, as SendMessage does.
  virtual std::int64_t send_copy_data(WindowHandle window, std::uint64_t wparam, std::uint64_t code,
                                      const void* bytes, std::uint32_t size, std::uint32_t timeout_ms,
                                      bool* delivered) = 0;

  // --- The message loop (GetMessage/PeekMessage, DispatchMessage) ---------

  // Dispatches, on the calling thread, the messages for the windows it
  // created: posted messages and messages from other processes. Waits at
  // most timeout_ms for the first one, then handles everything already
  // waiting and returns how many it dispatched.
  virtual int pump_messages(std::uint32_t timeout_ms) = 0;

  // Called on the dispatching thread after each message from another
  // process (on POSIX: from any sender but the window's own thread) was
  // handled by a procedure of this process, and for each such message
  // refused unread (result 0). Not for posted messages (null: none).
  virtual void set_dispatch_observer(std::function<void(const DispatchedMessage&)> observer) = 0;

  // --- The state a user gives a window (simulated hosts and tests) --------

  // ShowWindow SW_MINIMIZE / SW_RESTORE.
  virtual bool set_minimised(WindowHandle window, bool minimised) = 0;
  // Makes the window report itself hung (is_hung) or responsive again; on
  // Windows only a thread that stops pumping hangs, so this is a stand-in's
  // switch and may do nothing there.
  virtual bool set_hung(WindowHandle window, bool hung) = 0;
  // Another program's window comes to the front: foreground_window() is
  // then none of this process's windows.
  virtual void activate_other_window() = 0;

 protected:
  friend class ScopedService<WindowSystem>;
  static WindowSystem*& installed();
};

class WindowSystemWrapper : public WindowSystem {
 public:
  explicit WindowSystemWrapper(WindowSystem& target) : target_(target) {}

  bool register_class(const std::string& class_name, WindowProcedure proc) override {
    return target_.register_class(class_name, proc);
  }
  bool is_class_registered(const std::string& class_name) override {
    return target_.is_class_registered(class_name);
  }
  bool unregister_class(const std::string& class_name) override { return target_.unregister_class(class_name); }
  WindowHandle create_window(const std::string& class_name, const std::string& title, bool visible) override {
    return target_.create_window(class_name, title, visible);
  }
  bool destroy_window(WindowHandle window) override { return target_.destroy_window(window); }
  std::int64_t default_procedure(WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                                 std::int64_t lparam) override {
    return target_.default_procedure(window, message, wparam, lparam);
  }
  WindowHandle find_window(const std::string& class_name) override { return target_.find_window(class_name); }
  WindowHandle enabled_popup(WindowHandle window) override { return target_.enabled_popup(window); }
  bool is_window(WindowHandle window) override { return target_.is_window(window); }
  bool is_hung(WindowHandle window) override { return target_.is_hung(window); }
  bool is_minimised(WindowHandle window) override { return target_.is_minimised(window); }
  bool post_message(WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                    std::int64_t lparam) override {
    return target_.post_message(window, message, wparam, lparam);
  }
  WindowHandle foreground_window() override { return target_.foreground_window(); }
  bool bring_to_top(WindowHandle window) override { return target_.bring_to_top(window); }
  bool set_foreground(WindowHandle window) override { return target_.set_foreground(window); }
  std::uint32_t window_thread(WindowHandle window) override { return target_.window_thread(window); }
  std::uint32_t current_thread() override { return target_.current_thread(); }
  bool attach_thread_input(std::uint32_t from_thread, std::uint32_t to_thread, bool attach) override {
    return target_.attach_thread_input(from_thread, to_thread, attach);
  }
  std::uint32_t send_key_events(const KeyEvent* events, std::uint32_t count) override {
    return target_.send_key_events(events, count);
  }
  std::int64_t send_copy_data(WindowHandle window, std::uint64_t wparam, std::uint64_t code, const void* bytes,
                              std::uint32_t size, std::uint32_t timeout_ms, bool* delivered) override {
    return target_.send_copy_data(window, wparam, code, bytes, size, timeout_ms, delivered);
  }
  int pump_messages(std::uint32_t timeout_ms) override { return target_.pump_messages(timeout_ms); }
  void set_dispatch_observer(std::function<void(const DispatchedMessage&)> observer) override {
    target_.set_dispatch_observer(std::move(observer));
  }
  bool set_minimised(WindowHandle window, bool minimised) override {
    return target_.set_minimised(window, minimised);
  }
  bool set_hung(WindowHandle window, bool hung) override { return target_.set_hung(window, hung); }
  void activate_other_window() override { target_.activate_other_window(); }

  WindowSystem& target() { return target_; }

 private:
  WindowSystem& target_;
};

// The OS implementation (on POSIX the one of libvxwindows.so).
WindowSystem& native_window_system();

}  // namespace vxp
