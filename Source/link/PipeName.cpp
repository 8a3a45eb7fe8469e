#include "PipeName.h"

#include "VeloxaLink.h"
#include "platform/Platform.h"

namespace vxlink {

std::string PipeUserName() {
  vxp::Platform& platform = vxp::Platform::Default();
  std::string name;
  if (platform.environment_variable("USERNAME", &name)) return name;
  name.clear();
  if (platform.environment_variable("USER", &name)) return name;
  return "123";
}

std::string PipeName() { return std::string("\\\\.\\pipe\\") + kPipePrefix + PipeUserName(); }

}  // namespace vxlink
