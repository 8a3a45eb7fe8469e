// POSIX implementation of the platform seam (Linux: tests, tools, simulator).
#include "platform/Platform.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace vxp {
namespace {

class PosixPlatform final : public Platform {
 public:
  std::uint32_t current_thread_id() override {
    // gettid is a system call; a thread's id never changes, so ask once.
    thread_local const std::uint32_t id = static_cast<std::uint32_t>(::syscall(SYS_gettid));
    return id;
  }

  std::int64_t wall_clock_seconds() override {
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME_COARSE, &ts);
    return static_cast<std::int64_t>(ts.tv_sec);
  }

  bool local_time(std::int64_t seconds, std::tm* out) override {
    std::memset(out, 0, sizeof *out);
    const time_t t = static_cast<time_t>(seconds);
    if (::localtime_r(&t, out) == nullptr) {
      std::memset(out, 0, sizeof *out);
      return false;
    }
    return true;
  }

  void create_uuid(std::uint8_t out[16]) override {
    fill_random(out, 16);
    // Same layout as a Windows version-4 UUID in memory: the version lives in
    // the high nibble of the little-endian Data3 field (byte 7), the variant
    // in the top bits of Data4[0] (byte 8).
    out[7] = static_cast<std::uint8_t>((out[7] & 0x0F) | 0x40);
    out[8] = static_cast<std::uint8_t>((out[8] & 0x3F) | 0x80);
  }

  void lower_current_thread_priority() override {
    // Per-thread nice value on Linux; 19 is the lowest priority.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(current_thread_id()), 19);
  }

 private:
  static void fill_random(std::uint8_t* out, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
      const ssize_t got = ::getrandom(out + done, n - done, 0);
      if (got > 0) {
        done += static_cast<std::size_t>(got);
      } else if (got < 0 && errno == EINTR) {
        continue;
      } else {
        break;
      }
    }
    if (done < n) {
      // No kernel entropy source: fall back to the C++ library's device.
      std::random_device device;
      for (; done < n; ++done) out[done] = static_cast<std::uint8_t>(device());
    }
  }
};

}  // namespace

Platform& native_platform() {
  static PosixPlatform platform;
  return platform;
}

}  // namespace vxp
