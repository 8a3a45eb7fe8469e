// Win32 implementation of the platform seam (the shipping plug-in).
#include "platform/Platform.h"

#include <windows.h>
#include <rpc.h>

#include <cstring>
#include <ctime>

namespace vxp {
namespace {

class Win32Platform final : public Platform {
 public:
  std::uint32_t current_thread_id() override { return static_cast<std::uint32_t>(::GetCurrentThreadId()); }

  std::int64_t wall_clock_seconds() override { return static_cast<std::int64_t>(::_time64(nullptr)); }

  bool local_time(std::int64_t seconds, std::tm* out) override {
    std::memset(out, 0, sizeof *out);
    const __time64_t t = static_cast<__time64_t>(seconds);
    if (::_localtime64_s(out, &t) != 0) {
      std::memset(out, 0, sizeof *out);
      return false;
    }
    return true;
  }

  void create_uuid(std::uint8_t out[16]) override {
    // The identifier holds whatever UuidCreate leaves in its buffer; its
    // status (local-only identifiers) does not matter for job identifiers.
    UUID id;
    std::memset(&id, 0, sizeof id);
    ::UuidCreate(&id);
    std::memcpy(out, &id, 16);
  }

  void lower_current_thread_priority() override {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_LOWEST);
  }
};

}  // namespace

Platform& native_platform() {
  static Win32Platform platform;
  return platform;
}

}  // namespace vxp
