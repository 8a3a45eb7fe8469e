// POSIX processes (placeholder until the implementation lands).
#include "platform/Process.h"

namespace vxp {
namespace {

class PosixProcessService final : public ProcessService {
 public:
  bool scan_processes(const std::function<bool(const std::string&)>&) override { return false; }
  bool launch_detached(const std::string&) override { return false; }
  std::unique_ptr<ChildProcess> spawn(const std::string&, const std::vector<std::string>&, const SpawnOptions&,
                                      std::string* error) override {
    *error = "not implemented";
    return nullptr;
  }
  std::unique_ptr<LoadedModule> load_module(const std::string&, std::string* error) override {
    *error = "not implemented";
    return nullptr;
  }
  void sleep_ms(std::uint32_t) override {}
  UserLocale user_locale() override { return {"en", 1}; }
};

}  // namespace

ProcessService& native_process_service() {
  static PosixProcessService service;
  return service;
}

}  // namespace vxp
