#include "platform/Link.h"
#include "platform/Process.h"

namespace vxp {

ProcessService::~ProcessService() = default;

ProcessService*& ProcessService::installed() {
  static ProcessService* current = nullptr;
  return current;
}

ProcessService& ProcessService::Default() {
  ProcessService* current = installed();
  return current ? *current : native_process_service();
}

LinkService::~LinkService() = default;

LinkService*& LinkService::installed() {
  static LinkService* current = nullptr;
  return current;
}

LinkService& LinkService::Default() {
  LinkService* current = installed();
  return current ? *current : native_link_service();
}

}  // namespace vxp
