// Private folders, environment changes and file helpers for the link tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "platform/Process.h"

namespace vxlinktest {

namespace fs = std::filesystem;

// A new folder under /tmp (short: socket paths inside it must stay under
// 108 bytes), removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = "/tmp/vxl-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    EXPECT_FALSE(path_.empty()) << "cannot make a temporary folder";
  }
  ~TempFolder() {
    if (path_.empty()) return;
    std::error_code ec;
    // Folders a test made unreadable must not stop the removal.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// Sets or removes environment variables of this process; restores them when
// it ends.
class ScopedEnvironment {
 public:
  ScopedEnvironment() = default;
  ~ScopedEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
      platform().set_environment_variable(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  // value null: removes the variable.
  void set(const std::string& name, const char* value) {
    std::string old;
    saved_.emplace_back(name, platform().environment_variable(name.c_str(), &old)
                                  ? std::optional<std::string>(old)
                                  : std::nullopt);
    platform().set_environment_variable(name.c_str(), value);
  }

 private:
  static vxp::Platform& platform() { return vxp::Platform::Default(); }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void write_file(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Waits up to timeout_ms for a file to appear.
inline bool wait_for_file(const std::string& path, std::uint32_t timeout_ms = 10000) {
  for (std::uint32_t waited = 0; waited < timeout_ms; waited += 10) {
    if (fs::exists(path)) return true;
    vxp::ProcessService::Default().sleep_ms(10);
  }
  return fs::exists(path);
}

// Permission bits of a path (links not followed).
inline fs::perms mode_of(const std::string& path) {
  return fs::symlink_status(path).permissions() & fs::perms::mask;
}

}  // namespace vxlinktest
