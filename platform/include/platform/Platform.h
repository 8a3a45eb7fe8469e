// The operating-system seam. Everything the system needs from the OS goes
// through Platform; nothing outside platform/ includes an OS header.
//
// One implementation per OS is compiled in (posix/ or win32/, chosen by CMake).
// Tests replace services by deriving from PlatformWrapper and overriding only
// what they need, then installing the double with ScopedPlatform.
#pragma once

#include <cstdint>
#include <ctime>

namespace vxp {

class Platform {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  virtual ~Platform();

  // The platform in use: the OS implementation unless a test installed one.
  static Platform& Default();

  // Operating-system identifier of the calling thread.
  virtual std::uint32_t current_thread_id() = 0;

  // Wall-clock time in whole seconds since 1970-01-01 UTC.
  virtual std::int64_t wall_clock_seconds() = 0;

  // Converts seconds since 1970 to the local calendar time. Returns false and
  // leaves *out zeroed when the time cannot be represented.
  virtual bool local_time(std::int64_t seconds, std::tm* out) = 0;

  // Fills out with a new random 16-byte identifier laid out as the Windows
  // UUID structure in memory (version 4, RFC 4122 variant).
  virtual void create_uuid(std::uint8_t out[16]) = 0;

  // Runs the calling thread at the lowest priority the OS grants it
  // (background writers). Best effort: failures are ignored.
  virtual void lower_current_thread_priority() = 0;

 protected:
  friend class ScopedPlatform;
  static Platform*& installed();
};

// Forwards every call to another platform; a test double derives from it and
// overrides only the services it fakes.
class PlatformWrapper : public Platform {
 public:
  explicit PlatformWrapper(Platform& target) : target_(target) {}

  std::uint32_t current_thread_id() override { return target_.current_thread_id(); }
  std::int64_t wall_clock_seconds() override { return target_.wall_clock_seconds(); }
  bool local_time(std::int64_t seconds, std::tm* out) override { return target_.local_time(seconds, out); }
  void create_uuid(std::uint8_t out[16]) override { target_.create_uuid(out); }
  void lower_current_thread_priority() override { target_.lower_current_thread_priority(); }

  Platform& target() { return target_; }

 private:
  Platform& target_;
};

// Installs a platform for the lifetime of this object (tests only); restores
// the previous one on destruction. Not thread-safe: install before starting
// threads that use the platform.
class ScopedPlatform {
 public:
  explicit ScopedPlatform(Platform& replacement) : previous_(Platform::installed()) {
    Platform::installed() = &replacement;
  }
  ~ScopedPlatform() { Platform::installed() = previous_; }
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform* previous_;
};

// The OS implementation compiled into this build.
Platform& native_platform();

}  // namespace vxp
