#include "fake_services.h"

#include <algorithm>

namespace vxtest {

// --- Platform --------------------------------------------------------------------

bool FakePlatform::environment_variable(const char* name, std::string* value) {
  const auto found = environment.find(name);
  if (found == environment.end()) return false;
  *value = found->second;
  return true;
}

// --- Processes -------------------------------------------------------------------

bool FakeProcesses::scan_processes(const std::function<bool(const std::string&)>& visit) {
  ++scans;
  if (scan_fails) return false;
  for (const auto& image : images)
    if (visit(image)) break;
  return true;
}

bool FakeProcesses::launch_detached(const std::string& path) {
  launched.push_back(path);
  return launch_succeeds;
}

// --- Pipe and registry -------------------------------------------------------------

namespace {

class FakePipe : public vxp::PipeConnection {
 public:
  FakePipe(std::shared_ptr<FakeLink::Connection> record, std::size_t max_chunk, std::size_t fail_after)
      : record_(std::move(record)), max_chunk_(max_chunk), fail_after_(fail_after) {}

  bool write(const void* data, std::size_t size, std::size_t* written) override {
    ++record_->writes;
    *written = 0;
    if (record_->bytes.size() >= fail_after_) return false;
    const std::size_t n = std::min({size, max_chunk_, fail_after_ - record_->bytes.size()});
    record_->bytes.append(static_cast<const char*>(data), n);
    *written = n;
    return true;
  }

 private:
  std::shared_ptr<FakeLink::Connection> record_;
  std::size_t max_chunk_;
  std::size_t fail_after_;
};

}  // namespace

std::vector<std::string> FakeLink::Messages() const {
  std::vector<std::string> out;
  for (const auto& connection : connections) out.push_back(connection->bytes);
  return out;
}

std::unique_ptr<vxp::PipeConnection> FakeLink::open_pipe(const std::string& name, vxp::PipeError* error) {
  opened.push_back(name);
  if (refuse_opens != 0) {
    if (refuse_opens > 0) --refuse_opens;
    *error = vxp::ePipeError_NoSuchPipe;
    return nullptr;
  }
  auto record = std::make_shared<Connection>();
  record->name = name;
  connections.push_back(record);
  *error = vxp::ePipeError_None;
  return std::make_unique<FakePipe>(record, max_chunk, fail_after);
}

bool FakeLink::read_registry_text(vxp::RegistryHive hive, const std::string& key,
                                  const std::string& value_name, std::string* value) {
  registry_reads.push_back(std::to_string(hive) + " " + key + " [" + value_name + "]");
  if (!registered) {
    value->clear();
    return false;
  }
  *value = *registered;
  return true;
}

// --- Windows ---------------------------------------------------------------------

bool FakeWindows::register_class(const std::string& class_name, vxp::WindowProcedure proc) {
  calls.push_back("register_class " + class_name);
  return classes.emplace(class_name, proc).second;
}

bool FakeWindows::unregister_class(const std::string& class_name) {
  calls.push_back("unregister_class " + class_name);
  for (const auto& [handle, window] : windows)
    if (window.class_name == class_name) return false;
  return classes.erase(class_name) == 1;
}

vxp::WindowHandle FakeWindows::create_window(const std::string& class_name, const std::string& title,
                                             bool visible) {
  calls.push_back("create_window " + class_name + " " + title + (visible ? " visible" : " hidden"));
  const auto found = classes.find(class_name);
  if (fail_create || found == classes.end()) return 0;
  const vxp::WindowHandle handle = next_handle++;
  windows[handle] = {class_name, title, visible};
  found->second(handle, vxp::kMessage_Create, 0, 0);
  return handle;
}

bool FakeWindows::destroy_window(vxp::WindowHandle window) {
  calls.push_back("destroy_window " + std::to_string(window));
  const auto found = windows.find(window);
  if (found == windows.end()) return false;
  classes[found->second.class_name](window, vxp::kMessage_Destroy, 0, 0);
  windows.erase(found);
  return true;
}

std::int64_t FakeWindows::default_procedure(vxp::WindowHandle window, std::uint32_t message, std::uint64_t,
                                            std::int64_t) {
  calls.push_back("default_procedure " + std::to_string(window) + " " + std::to_string(message));
  return -7;
}

vxp::WindowHandle FakeWindows::find_window(const std::string& class_name) {
  calls.push_back("find_window " + class_name);
  const auto other = other_windows.find(class_name);
  if (other != other_windows.end()) return other->second;
  for (const auto& [handle, window] : windows)
    if (window.class_name == class_name) return handle;
  return 0;
}

vxp::WindowHandle FakeWindows::enabled_popup(vxp::WindowHandle window) {
  const auto found = popups.find(window);
  return found == popups.end() ? 0 : found->second;
}

bool FakeWindows::is_window(vxp::WindowHandle window) {
  if (windows.count(window) != 0) return true;
  for (const auto& [name, handle] : other_windows)
    if (handle == window) return true;
  for (const auto& [owner, popup] : popups)
    if (popup == window) return true;
  return false;
}

bool FakeWindows::post_message(vxp::WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                               std::int64_t lparam) {
  calls.push_back("post_message " + std::to_string(window) + " " + std::to_string(message) + " " +
                  std::to_string(wparam) + " " + std::to_string(lparam));
  return true;
}

bool FakeWindows::bring_to_top(vxp::WindowHandle window) {
  calls.push_back("bring_to_top " + std::to_string(window));
  return true;
}

bool FakeWindows::set_foreground(vxp::WindowHandle window) {
  calls.push_back("set_foreground " + std::to_string(window));
  bool answer = false;
  if (!foreground_answers.empty()) {
    answer = foreground_answers.front();
    foreground_answers.erase(foreground_answers.begin());
  }
  if (answer) foreground = window;
  return answer;
}

std::uint32_t FakeWindows::window_thread(vxp::WindowHandle window) {
  const auto found = threads.find(window);
  return found == threads.end() ? 0 : found->second;
}

bool FakeWindows::attach_thread_input(std::uint32_t from_thread, std::uint32_t to_thread, bool attach) {
  calls.push_back((attach ? "attach " : "detach ") + std::to_string(from_thread) + " " +
                  std::to_string(to_thread));
  return from_thread != 0 && to_thread != 0 && from_thread != to_thread;
}

std::uint32_t FakeWindows::send_key_events(const KeyEvent* events, std::uint32_t count) {
  std::string call = "send_key_events";
  for (std::uint32_t i = 0; i < count; ++i) {
    keys.push_back(events[i]);
    call += " " + std::to_string(events[i].virtual_key) + ":" + std::to_string(events[i].flags);
  }
  calls.push_back(call);
  return count;
}

}  // namespace vxtest
