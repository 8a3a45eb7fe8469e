// Small helpers the POSIX services share.
#pragma once

#include <string>

namespace vxp::posix {

// An absolute directory from the environment, without trailing slashes.
// False when the variable is unset or not absolute.
bool absolute_env(const char* name, std::string* out);

// Writes every byte to the descriptor, going on after interruptions and
// short writes. False at the first failure (errno tells why).
bool write_all(int fd, const std::string& bytes);

}  // namespace vxp::posix
