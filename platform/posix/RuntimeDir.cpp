#include "posix/RuntimeDir.h"

#include "posix/PosixUtil.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vxp::posix {
namespace {

// Creates the folder when it is missing, then checks that it is a private
// folder of this user.
bool ensure_private_folder(const std::string& path, std::string* error) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    *error = "cannot examine " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *error = path + " is not a folder (a link or a file stands there)";
    return false;
  }
  if (st.st_uid != ::geteuid()) {
    *error = path + " belongs to another user";
    return false;
  }
  if ((st.st_mode & 077) != 0) {
    *error = path + " may be used by other users (mode must grant nothing to group and others)";
    return false;
  }
  return true;
}

}  // namespace

bool runtime_directory(std::string* path, std::string* error) {
  std::string dir;
  if (const char* explicit_dir = std::getenv("VX_RUNTIME_DIR"); explicit_dir && *explicit_dir) {
    dir = explicit_dir;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  } else if (absolute_env("XDG_RUNTIME_DIR", &dir)) {
    dir += "/vx";
  } else {
    if (!absolute_env("TMPDIR", &dir)) dir = "/tmp";
    dir += "/vx-" + std::to_string(::geteuid());
  }
  if (dir.empty() || dir[0] != '/') {
    *error = "the runtime folder must be an absolute path: " + dir;
    return false;
  }
  if (!ensure_private_folder(dir, error)) return false;
  *path = dir;
  return true;
}

bool runtime_subdirectory(const char* name, std::string* path, std::string* error) {
  std::string root;
  if (!runtime_directory(&root, error)) return false;
  const std::string dir = root + "/" + name;
  if (!ensure_private_folder(dir, error)) return false;
  *path = dir;
  return true;
}

}  // namespace vxp::posix
