// A small in-process host for the plug-in's tests: a basic suite that serves
// every suite the plug-in acquires, with the operations the plug-in calls
// recorded and a switch that makes any of them fail.
//
// One FakeHost is current at a time (its suites are C function tables, so
// they reach the object through a process-wide pointer); it restores the
// previous one on destruction.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "AIHost.h"

namespace vxtest {

class FakeHost {
 public:
  FakeHost();
  ~FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  ai::BasicSuite* basic() { return &basic_; }
  ai::PluginRef self() const { return self_; }
  // A message header from this host with the given globals slot.
  ai::PluginMessageData Header(void* globals) { return {ai::kMessageCheck, self_, globals, &basic_}; }

  // The next calls of operation fail with code (count: how many times; -1:
  // every time). Operations are named after the suite function
  // ("AddMenuGroupAsSubMenu", "AddTimer") or, for acquisitions, "Acquire "
  // and the suite name ("Acquire AI Timer Suite").
  void Fail(const std::string& operation, ai::Err code, int count = -1);
  // The next calls of operation throw (count as for Fail): ai::Error(code),
  // or std::runtime_error when code is 0 (a host that breaks the rules of
  // its interface).
  void Throw(const std::string& operation, ai::Err code = 0, int count = -1);

  // Every call, in order: "Acquire <suite> <version>", "Release <suite>
  // <version>", and the name of each other operation.
  std::vector<std::string> calls;
  // Calls that start with prefix, in order.
  std::vector<std::string> CallsStartingWith(const std::string& prefix) const;

  // Suites acquired and not yet released, by name.
  std::map<std::string, int> held_suites;
  int HeldSuiteCount() const;

  std::string plugin_name;

  struct Notifier {
    std::string name;
    std::string type;
    ai::NotifierHandle handle;
  };
  std::vector<Notifier> notifiers;

  int context_depth = 0;
  int context_pushes = 0;

  // Keep-loaded holds acquired and not released.
  int access_holds = 0;

  struct MenuItem {
    std::string key;
    std::string group;
    std::string text;
    std::int32_t options;
    ai::MenuItemHandle handle;
    bool enabled;
  };
  std::vector<MenuItem> menu_items;
  const MenuItem* FindItem(ai::MenuItemHandle handle) const;
  const MenuItem* FindItem(const std::string& text) const;

  struct MenuGroup {
    std::string name;
    std::int32_t options;
    ai::MenuItemHandle parent;
  };
  std::vector<MenuGroup> menu_groups;

  struct Timer {
    std::string name;
    std::int32_t period;
    bool active;
    ai::TimerHandle handle;
  };
  std::vector<Timer> timers;

  // Host strings alive (made and not disposed of).
  std::map<ai::UnicodeStringRef, std::string> strings;

  // --- Used by the suite functions ---------------------------------------------

  static FakeHost& Current();
  // The failure set for operation, consuming one; 0 for none. Throws what
  // Throw set.
  ai::Err Failure(const std::string& operation);
  // A new handle value, different from every other one of this host.
  template <class Handle>
  Handle NewHandle() {
    return reinterpret_cast<Handle>(static_cast<std::uintptr_t>(0x10000 + 16 * ++handles_));
  }

 private:
  struct Failing {
    ai::Err code;
    int count;
    bool throws;
  };

  ai::BasicSuite basic_;
  ai::PluginRef self_;
  std::map<std::string, Failing> failures_;
  int handles_ = 0;
  FakeHost* previous_;
};

}  // namespace vxtest
