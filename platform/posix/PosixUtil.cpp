#include "posix/PosixUtil.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vxp::posix {

bool absolute_env(const char* name, std::string* out) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return false;
  *out = value;
  while (out->size() > 1 && out->back() == '/') out->pop_back();
  return true;
}

bool write_all(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace vxp::posix
