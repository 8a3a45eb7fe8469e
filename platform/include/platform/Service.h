// How the narrow OS services beside Platform (processes, link, windows) are
// found and replaced.
//
// Each service is an abstract class with a static Default(): the OS
// implementation unless a test installed a double with ScopedService. A
// double derives from the service's Wrapper class and overrides only what it
// fakes.
#pragma once

namespace vxp {

// Installs a service implementation for the lifetime of this object (tests
// only); restores the previous one on destruction. Not thread-safe: install
// before starting threads that use the service.
template <class Service>
class ScopedService {
 public:
  explicit ScopedService(Service& replacement) : previous_(Service::installed()) {
    Service::installed() = &replacement;
  }
  ~ScopedService() { Service::installed() = previous_; }
  ScopedService(const ScopedService&) = delete;
  ScopedService& operator=(const ScopedService&) = delete;

 private:
  Service* previous_;
};

}  // namespace vxp
