// POSIX link stand-ins (placeholder until the implementation lands).
#include "platform/Link.h"

namespace vxp {
namespace {

class PosixLinkService final : public LinkService {
 public:
  std::unique_ptr<PipeConnection> open_pipe(const std::string&, PipeError* error) override {
    *error = ePipeError_Failed;
    return nullptr;
  }
  std::unique_ptr<PipeServer> serve_pipe(const std::string&, PipeServeMode, PipeError* error) override {
    *error = ePipeError_Failed;
    return nullptr;
  }
  bool read_registry_text(RegistryHive, const std::string&, const std::string&, std::string* value) override {
    value->clear();
    return false;
  }
  bool write_registry_text(RegistryHive, const std::string&, const std::string&, const std::string&) override {
    return false;
  }
  bool runtime_directory(std::string*, std::string* error) override {
    *error = "not implemented";
    return false;
  }
};

}  // namespace

LinkService& native_link_service() {
  static PosixLinkService service;
  return service;
}

}  // namespace vxp
