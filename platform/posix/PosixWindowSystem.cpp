// The POSIX window system: classes, windows and message loops of this
// process, with each window reachable from other processes and threads
// through its socket (posix/WindowSocket.h).
//
// One mutex guards the tables (classes, windows, posted messages, the
// observer). Window procedures always run without it, so a procedure may
// call back into the window system. A thread's open connections are
// touched only by that thread, inside its pump_messages or destroy_window,
// and need no lock.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/Platform.h"
#include "platform/WindowSystem.h"
#include "posix/WindowSocket.h"

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

using posix::IncomingFrame;

// Class names compare without regard to ASCII case, as on Windows.
std::string class_key(const std::string& name) {
  std::string key = name;
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

std::uint32_t this_thread() { return Platform::Default().current_thread_id(); }

struct Window {
  std::string class_key;
  WindowProcedure proc;
  std::uint32_t thread;
  int listen_fd;
  std::string path;
  std::uint64_t serial;  // creation order, for find_window
  bool minimised = false;
  bool hung = false;
  bool destroying = false;
};

struct PostedMessage {
  WindowHandle window;
  std::uint32_t message;
  std::uint64_t wparam;
  std::int64_t lparam;
};

struct Connection {
  Connection(WindowHandle w, int fd) : window(w), frame(fd) {}
  WindowHandle window;
  IncomingFrame frame;
  bool busy = false;  // its procedure is running (a nested pump leaves it alone)
};

// What a thread that owns windows has: its posted messages (under the
// mutex), the descriptor that wakes its pump, and its open connections
// (its own, without lock).
struct ThreadQueue {
  int wake_fd = -1;
  std::deque<PostedMessage> posted;
  std::vector<std::unique_ptr<Connection>> connections;
  int pump_depth = 0;
};

using Observer = std::function<void(const DispatchedMessage&)>;

class PosixWindowSystem final : public WindowSystem {
 public:
  bool register_class(const std::string& class_name, WindowProcedure proc) override {
    if (class_name.empty() || proc == nullptr) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    return classes_.emplace(class_key(class_name), proc).second;
  }

  bool is_class_registered(const std::string& class_name) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return classes_.count(class_key(class_name)) != 0;
  }

  bool unregister_class(const std::string& class_name) override {
    const std::string key = class_key(class_name);
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [handle, window] : windows_)
      if (window.class_key == key) return false;
    return classes_.erase(key) != 0;
  }

  WindowHandle create_window(const std::string& class_name, const std::string&, bool) override {
    const std::string key = class_key(class_name);
    const std::uint32_t thread = this_thread();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (classes_.count(key) == 0 || queue_of(thread, true) == nullptr) return 0;
    }
    WindowHandle handle = 0;
    for (;;) {
      std::string path;
      const int fd = posix::listen_on_free_handle(&handle_is_taken, this, &handle, &path);
      if (fd < 0) return 0;
      std::lock_guard<std::mutex> lock(mutex_);
      // The same number may have been taken meanwhile by a thread of
      // this process creating its window in another runtime folder.
      const bool lost_race = windows_.count(handle) != 0;
      const auto cls = classes_.find(key);
      if (lost_race || cls == classes_.end()) {
        ::close(fd);
        ::unlink(path.c_str());
        if (lost_race) continue;
        return 0;
      }
      windows_.emplace(handle, Window{key, cls->second, thread, fd, path, ++serial_});
      break;
    }
    static std::once_flag exit_hook;
    std::call_once(exit_hook, [] { std::atexit(&remove_socket_files_at_exit); });

    // As on Windows, -1 from kMessage_Create undoes the creation.
    if (call(handle, kMessage_Create, 0, 0) == -1) {
      destroy_window(handle);
      return 0;
    }
    return handle;
  }

  bool destroy_window(WindowHandle window) override {
    const std::uint32_t thread = this_thread();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto found = windows_.find(window);
      if (found == windows_.end() || found->second.thread != thread || found->second.destroying) return false;
      found->second.destroying = true;
    }
    call(window, kMessage_Destroy, 0, 0);
    ThreadQueue* queue;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto found = windows_.find(window);
      ::close(found->second.listen_fd);
      ::unlink(found->second.path.c_str());
      windows_.erase(found);
      if (foreground_ == window) foreground_ = 0;
      queue = queue_of(thread, false);
      std::erase_if(queue->posted, [window](const PostedMessage& m) { return m.window == window; });
    }
    // Senders still waiting learn that no result comes; one whose
    // procedure is running gets its result when that returns.
    for (const auto& connection : queue->connections)
      if (connection->window == window && !connection->busy) connection->frame.close();
    return true;
  }

  std::int64_t default_procedure(WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                                 std::int64_t) override {
    // The low four bits of a system command are the system's own.
    if (message == kMessage_SysCommand && (wparam & 0xFFF0) == kSysCommand_Restore)
      set_minimised(window, false);
    return 0;
  }

  WindowHandle find_window(const std::string& class_name) override {
    const std::string key = class_key(class_name);
    std::lock_guard<std::mutex> lock(mutex_);
    WindowHandle first = 0;
    std::uint64_t first_serial = 0;
    for (const auto& [handle, window] : windows_) {
      if (window.class_key == key && (first == 0 || window.serial < first_serial)) {
        first = handle;
        first_serial = window.serial;
      }
    }
    return first;
  }

  WindowHandle enabled_popup(WindowHandle) override { return 0; }

  bool is_window(WindowHandle window) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return windows_.count(window) != 0;
  }

  bool is_hung(WindowHandle window) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = windows_.find(window);
    return found != windows_.end() && found->second.hung;
  }

  bool is_minimised(WindowHandle window) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = windows_.find(window);
    return found != windows_.end() && found->second.minimised;
  }

  bool post_message(WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                    std::int64_t lparam) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = windows_.find(window);
    if (found == windows_.end()) return false;
    ThreadQueue* queue = queue_of(found->second.thread, false);
    queue->posted.push_back(PostedMessage{window, message, wparam, lparam});
    const std::uint64_t one = 1;
    ssize_t written;
    do {
      written = ::write(queue->wake_fd, &one, sizeof one);
    } while (written < 0 && errno == EINTR);
    return true;
  }

  WindowHandle foreground_window() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return foreground_;
  }

  bool bring_to_top(WindowHandle window) override { return is_window(window); }

  bool set_foreground(WindowHandle window) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (windows_.count(window) == 0) return false;
    foreground_ = window;
    return true;
  }

  std::uint32_t window_thread(WindowHandle window) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = windows_.find(window);
    return found == windows_.end() ? 0 : found->second.thread;
  }

  std::uint32_t current_thread() override { return this_thread(); }

  // Known threads: the calling one and those that ever created a window.
  bool attach_thread_input(std::uint32_t from_thread, std::uint32_t to_thread, bool) override {
    const std::uint32_t caller = this_thread();
    std::lock_guard<std::mutex> lock(mutex_);
    const auto known = [&](std::uint32_t thread) {
      return thread != 0 && (thread == caller || threads_.count(thread) != 0);
    };
    return known(from_thread) && known(to_thread);
  }

  std::uint32_t send_key_events(const KeyEvent* events, std::uint32_t count) override {
    return events == nullptr ? 0 : count;
  }

  std::int64_t send_copy_data(WindowHandle window, std::uint64_t wparam, std::uint64_t code,
                              const void* bytes, std::uint32_t size, std::uint32_t timeout_ms,
                              bool* delivered) override {
    if (delivered) *delivered = false;
    if (bytes == nullptr && size != 0) return 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);

    // On the owner's thread the procedure is called directly, as Windows
    // does; waiting for this thread's own pump would never end.
    bool direct = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto found = windows_.find(window);
      direct = found != windows_.end() && found->second.thread == this_thread();
    }
    if (direct) {
      const CopyData data{code, size, bytes};
      const std::int64_t result =
          call(window, kMessage_CopyData, wparam, reinterpret_cast<std::int64_t>(&data));
      if (delivered) *delivered = true;
      return result;
    }

    posix::WindowSocketClient client;
    if (!client.connect(window, deadline)) return 0;
    std::uint8_t header[posix::kFrameHeaderBytes];
    posix::encode_frame_header(posix::FrameHeader{kMessage_CopyData, wparam, code, size}, header);
    // A refusing owner answers before it reads the bytes, so the answer
    // is looked for even when writing stopped early.
    if (client.write(header, sizeof header, deadline)) client.write(bytes, size, deadline);
    std::int64_t result = 0;
    if (!client.read_answer(&result, deadline)) return 0;
    if (delivered) *delivered = true;
    return result;
  }

  int pump_messages(std::uint32_t timeout_ms) override {
    const std::uint32_t thread = this_thread();
    ThreadQueue* queue;
    std::vector<pollfd> waiting;
    std::vector<std::pair<WindowHandle, int>> listeners;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue = queue_of(thread, false);
      if (queue != nullptr) {
        waiting.push_back(pollfd{queue->wake_fd, POLLIN, 0});
        if (!queue->posted.empty()) timeout_ms = 0;
        for (const auto& [handle, window] : windows_) {
          if (window.thread != thread) continue;
          listeners.emplace_back(handle, window.listen_fd);
          waiting.push_back(pollfd{window.listen_fd, POLLIN, 0});
        }
      }
    }
    if (queue != nullptr) {
      for (const auto& connection : queue->connections)
        if (connection->frame.is_open() && !connection->busy)
          waiting.push_back(pollfd{connection->frame.fd(), POLLIN, 0});
    }
    const int wait = static_cast<int>(std::min<std::uint32_t>(timeout_ms, INT_MAX));
    // A signal ends the wait early, like any event.
    ::poll(waiting.data(), waiting.size(), wait);
    if (queue == nullptr) return 0;

    ++queue->pump_depth;
    std::uint64_t drained;
    while (::read(queue->wake_fd, &drained, sizeof drained) > 0) {
    }
    int dispatched = dispatch_posted(thread, queue);
    accept_connections(thread, queue, listeners);
    // Indices, not iterators: a procedure's nested pump may add connections.
    for (std::size_t i = 0; i < queue->connections.size(); ++i) {
      Connection* connection = queue->connections[i].get();
      if (!connection->busy && connection->frame.is_open()) dispatched += serve(thread, connection);
    }
    if (--queue->pump_depth == 0)
      std::erase_if(queue->connections, [](const auto& c) { return !c->frame.is_open(); });
    return dispatched;
  }

  void set_dispatch_observer(std::function<void(const DispatchedMessage&)> observer) override {
    auto shared = observer ? std::make_shared<const Observer>(std::move(observer)) : nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(shared);
  }

  bool set_minimised(WindowHandle window, bool minimised) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = windows_.find(window);
    if (found == windows_.end()) return false;
    found->second.minimised = minimised;
    return true;
  }

  bool set_hung(WindowHandle window, bool hung) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = windows_.find(window);
    if (found == windows_.end()) return false;
    found->second.hung = hung;
    return true;
  }

  void activate_other_window() override {
    std::lock_guard<std::mutex> lock(mutex_);
    foreground_ = 0;
  }

  // Socket files of windows still open when the process ends would be
  // stale; creators would reuse them, but tidier to remove them now.
  void remove_socket_files() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [handle, window] : windows_) ::unlink(window.path.c_str());
  }

 private:
  static bool handle_is_taken(WindowHandle handle, void* context) {
    auto* self = static_cast<PosixWindowSystem*>(context);
    std::lock_guard<std::mutex> lock(self->mutex_);
    return self->windows_.count(handle) != 0;
  }

  static void remove_socket_files_at_exit();

  // The thread's queue, made on first need when `create`. Needs the mutex.
  ThreadQueue* queue_of(std::uint32_t thread, bool create) {
    const auto found = threads_.find(thread);
    if (found != threads_.end()) return found->second.get();
    if (!create) return nullptr;
    const int wake_fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_fd < 0) return nullptr;
    auto queue = std::make_unique<ThreadQueue>();
    queue->wake_fd = wake_fd;
    return threads_.emplace(thread, std::move(queue)).first->second.get();
  }

  // Runs the window's procedure without the lock; 0 when the window is gone.
  std::int64_t call(WindowHandle window, std::uint32_t message, std::uint64_t wparam, std::int64_t lparam) {
    WindowProcedure proc = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto found = windows_.find(window);
      if (found != windows_.end()) proc = found->second.proc;
    }
    return proc ? proc(window, message, wparam, lparam) : 0;
  }

  // Dispatches the messages posted before this pump began, in order;
  // those posted by the procedures meanwhile wait for the next pump.
  int dispatch_posted(std::uint32_t thread, ThreadQueue* queue) {
    int dispatched = 0;
    std::size_t remaining;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      remaining = queue->posted.size();
    }
    for (; remaining > 0; --remaining) {
      PostedMessage message;
      WindowProcedure proc = nullptr;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queue->posted.empty()) break;
        message = queue->posted.front();
        queue->posted.pop_front();
        const auto found = windows_.find(message.window);
        if (found != windows_.end() && found->second.thread == thread) proc = found->second.proc;
      }
      if (proc == nullptr) continue;
      proc(message.window, message.message, message.wparam, message.lparam);
      ++dispatched;
    }
    return dispatched;
  }

  void accept_connections(std::uint32_t thread, ThreadQueue* queue,
                          const std::vector<std::pair<WindowHandle, int>>& listeners) {
    for (const auto& [handle, fd] : listeners) {
      {
        // A procedure run earlier in this pump may have destroyed it.
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = windows_.find(handle);
        if (found == windows_.end() || found->second.thread != thread || found->second.listen_fd != fd)
          continue;
      }
      for (int connection; (connection = posix::accept_sender(fd)) >= 0;)
        queue->connections.push_back(std::make_unique<Connection>(handle, connection));
    }
  }

  // Reads what one connection holds; answers a complete or refused frame.
  // Returns 1 when a procedure ran.
  int serve(std::uint32_t thread, Connection* connection) {
    const IncomingFrame::Progress progress = connection->frame.receive();
    if (progress == IncomingFrame::eProgress_Partial || progress == IncomingFrame::eProgress_Lost) return 0;
    const posix::FrameHeader& header = connection->frame.header();
    DispatchedMessage record{connection->window, header.message, header.wparam, header.code, header.size, 0};
    int dispatched = 0;
    if (progress == IncomingFrame::eProgress_Complete) {
      WindowProcedure proc = nullptr;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = windows_.find(connection->window);
        if (found != windows_.end() && found->second.thread == thread) proc = found->second.proc;
      }
      if (proc == nullptr) {
        connection->frame.close();
        return 0;
      }
      const CopyData data{header.code, header.size, connection->frame.bytes()};
      connection->busy = true;
      record.result =
          proc(connection->window, kMessage_CopyData, header.wparam, reinterpret_cast<std::int64_t>(&data));
      connection->busy = false;
      dispatched = 1;
    }
    connection->frame.answer(record.result);
    std::shared_ptr<const Observer> observer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      observer = observer_;
    }
    if (observer) (*observer)(record);
    return dispatched;
  }

  std::mutex mutex_;
  std::map<std::string, WindowProcedure> classes_;
  std::map<WindowHandle, Window> windows_;
  std::unordered_map<std::uint32_t, std::unique_ptr<ThreadQueue>> threads_;
  std::shared_ptr<const Observer> observer_;
  WindowHandle foreground_ = 0;
  std::uint64_t serial_ = 0;
};

// Never destroyed: threads may still use it while the process ends.
PosixWindowSystem& the_system() {
  static PosixWindowSystem* system = new PosixWindowSystem;
  return *system;
}

void PosixWindowSystem::remove_socket_files_at_exit() { the_system().remove_socket_files(); }

}  // namespace

WindowSystem& native_window_system() { return the_system(); }

}  // namespace vxp
