#include "platform/Platform.h"

namespace vxp {

Platform::~Platform() = default;

Platform*& Platform::installed() {
  static Platform* current = nullptr;
  return current;
}

Platform& Platform::Default() {
  Platform* current = installed();
  return current ? *current : native_platform();
}

}  // namespace vxp
