#include "FakeWindowSystem.h"

#include <algorithm>

namespace vxsim_test {

FakeWindowSystem::FakeWindowSystem() : WindowSystemWrapper(vxp::native_window_system()) {}

bool FakeWindowSystem::register_class(const std::string& class_name, vxp::WindowProcedure proc) {
  return classes_.emplace(class_name, proc).second;
}

bool FakeWindowSystem::is_class_registered(const std::string& class_name) {
  return classes_.count(class_name) != 0;
}

bool FakeWindowSystem::unregister_class(const std::string& class_name) {
  for (const auto& [handle, window] : windows_) {
    if (window.class_name == class_name) return false;
  }
  return classes_.erase(class_name) != 0;
}

vxp::WindowHandle FakeWindowSystem::create_window(const std::string& class_name, const std::string&,
                                                  bool visible) {
  auto it = classes_.find(class_name);
  if (it == classes_.end()) return 0;
  const vxp::WindowHandle handle = next_++;
  Window& window = windows_[handle];
  window.class_name = class_name;
  window.proc = it->second;
  window.visible = visible;
  // A new visible window comes to the front, as on a desktop.
  if (visible) foreground_ = handle;
  window.proc(handle, vxp::kMessage_Create, 0, 0);
  return handle;
}

bool FakeWindowSystem::destroy_window(vxp::WindowHandle window) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return false;
  it->second.proc(window, vxp::kMessage_Destroy, 0, 0);
  windows_.erase(window);
  if (foreground_ == window) foreground_ = 0;
  return true;
}

vxp::WindowHandle FakeWindowSystem::find_window(const std::string& class_name) {
  for (const auto& [handle, window] : windows_) {
    if (window.class_name == class_name) return handle;
  }
  return 0;
}

bool FakeWindowSystem::is_hung(vxp::WindowHandle window) {
  auto it = windows_.find(window);
  return it != windows_.end() && it->second.hung;
}

bool FakeWindowSystem::is_minimised(vxp::WindowHandle window) {
  auto it = windows_.find(window);
  return it != windows_.end() && it->second.minimised;
}

bool FakeWindowSystem::visible(vxp::WindowHandle window) const {
  auto it = windows_.find(window);
  return it != windows_.end() && it->second.visible;
}

bool FakeWindowSystem::post_message(vxp::WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                                    std::int64_t lparam) {
  if (!is_window(window)) return false;
  posted_.push_back({window, message, wparam, lparam});
  return true;
}

bool FakeWindowSystem::set_foreground(vxp::WindowHandle window) {
  ++set_foreground_calls;
  if (!is_window(window) || !allow_set_foreground) return false;
  foreground_ = window;
  return true;
}

bool FakeWindowSystem::set_minimised(vxp::WindowHandle window, bool minimised) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return false;
  it->second.minimised = minimised;
  return true;
}

bool FakeWindowSystem::set_hung(vxp::WindowHandle window, bool hung) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return false;
  it->second.hung = hung;
  return true;
}

void FakeWindowSystem::send_from_other_process(vxp::WindowHandle window, std::uint64_t code,
                                               std::string bytes, double at_ms) {
  remote_.push_back({window, code, std::move(bytes), at_ms});
}

std::int64_t FakeWindowSystem::deliver_now(vxp::WindowHandle window, std::uint64_t code,
                                           const std::string& bytes) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return 0;
  vxp::CopyData data{code, static_cast<std::uint32_t>(bytes.size()), bytes.data()};
  const std::int64_t result = it->second.proc(
      window, vxp::kMessage_CopyData, 0, static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(&data)));
  if (observer_) observer_({window, vxp::kMessage_CopyData, 0, code, data.size, result});
  return result;
}

int FakeWindowSystem::pump_messages(std::uint32_t timeout_ms) {
  const auto due = [this] {
    return std::any_of(remote_.begin(), remote_.end(),
                       [this](const Remote& r) { return r.at_ms <= now_ms_; });
  };
  if (posted_.empty() && !due()) {
    // "Wait": to the earliest scheduled message or the end of the time-out.
    double until = now_ms_ + timeout_ms;
    for (const Remote& r : remote_) until = std::min(until, r.at_ms);
    now_ms_ = std::max(now_ms_, until);
  }
  int dispatched = 0;
  while (!posted_.empty()) {
    const Posted p = posted_.front();
    posted_.pop_front();
    auto it = windows_.find(p.window);
    if (it == windows_.end()) continue;
    it->second.proc(p.window, p.message, p.wparam, p.lparam);
    ++dispatched;
  }
  std::vector<Remote> now;
  auto split = std::stable_partition(remote_.begin(), remote_.end(),
                                     [this](const Remote& r) { return r.at_ms > now_ms_; });
  now.assign(std::make_move_iterator(split), std::make_move_iterator(remote_.end()));
  remote_.erase(split, remote_.end());
  for (const Remote& r : now) {
    deliver_now(r.window, r.code, r.bytes);
    ++dispatched;
  }
  return dispatched;
}

}  // namespace vxsim_test
