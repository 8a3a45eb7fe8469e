// A plug-in written in the test, and a module loader that "loads" it.
//
// TestPlugin::Main is a PluginMain: it passes each message to the handler
// the test set for its caller and selector (messages without one answer 0)
// and remembers the plug-in reference and basic suite of the last message,
// so that handlers acquire suites as a real plug-in does. One TestPlugin
// exists at a time.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AIHost.h"
#include "platform/Process.h"

namespace vxsim_test {

class TestPlugin {
 public:
  using Handler = std::function<ai::Err(void* message)>;

  TestPlugin() { instance() = this; }
  ~TestPlugin() { instance() = nullptr; }
  TestPlugin(const TestPlugin&) = delete;
  TestPlugin& operator=(const TestPlugin&) = delete;

  static ai::Err Main(const char* caller, const char* selector, void* message) {
    TestPlugin* self = instance();
    auto* header = static_cast<ai::PluginMessageData*>(message);
    self->basic = header->basic;
    self->ref = header->self;
    self->seen.push_back(std::string(caller) + "/" + selector);
    auto it = self->handlers_.find({caller, selector});
    return it == self->handlers_.end() ? ai::kNoErr : it->second(message);
  }

  void on(const std::string& caller, const std::string& selector, Handler handler) {
    handlers_[{caller, selector}] = std::move(handler);
  }

  // The suite's table through the basic suite of the last message; null when
  // the host refuses it.
  template <class Suite>
  const Suite* suite(const char* name, std::int32_t version) {
    const void* table = nullptr;
    if (basic == nullptr || basic->AcquireSuite(name, version, &table) != ai::kNoErr) return nullptr;
    return static_cast<const Suite*>(table);
  }

  ai::BasicSuite* basic = nullptr;
  ai::PluginRef ref = nullptr;
  std::vector<std::string> seen;  // "caller/selector" of every message

 private:
  static TestPlugin*& instance() {
    static TestPlugin* current = nullptr;
    return current;
  }
  std::map<std::pair<std::string, std::string>, Handler> handlers_;
};

// Loads TestPlugin::Main as the module at any path (unless told to fail) and
// counts the modules that are loaded now.
class FakeLoader : public vxp::ProcessServiceWrapper {
 public:
  FakeLoader() : ProcessServiceWrapper(vxp::native_process_service()) {}

  std::unique_ptr<vxp::LoadedModule> load_module(const std::string& path, std::string* error) override {
    paths.push_back(path);
    if (!load_error.empty()) {
      *error = load_error;
      return nullptr;
    }
    return std::make_unique<Module>(*this);
  }
  void sleep_ms(std::uint32_t) override {}

  std::string load_error;  // non-empty: loading fails with it
  int loaded = 0;          // modules loaded and not yet unloaded
  int loads = 0;
  std::vector<std::string> paths;

 private:
  class Module : public vxp::LoadedModule {
   public:
    explicit Module(FakeLoader& loader) : loader_(loader) {
      ++loader_.loaded;
      ++loader_.loads;
    }
    ~Module() override { --loader_.loaded; }
    void* symbol(const char* name) override {
      return std::string(name) == ai::kPluginMainName ? reinterpret_cast<void*>(&TestPlugin::Main) : nullptr;
    }

   private:
    FakeLoader& loader_;
  };
};

}  // namespace vxsim_test
