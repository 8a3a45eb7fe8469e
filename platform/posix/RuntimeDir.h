// The runtime folder R of the POSIX link stand-ins (docs/posix-link.md):
// where pipes and windows live as Unix sockets and the simulators keep
// their state.
//
// R is $VX_RUNTIME_DIR, else $XDG_RUNTIME_DIR/vx, else vx-<uid> under
// $TMPDIR (else /tmp). Whoever uses it first creates it (not its parents)
// and its folders pipe/ and hwnd/ with mode 0700. R and those folders must
// be real folders (not links) owned by the effective user with no
// permission for group or others; anything else is refused, because another
// user could then read the messages or pose as the desktop application.
#pragma once

#include <cstddef>
#include <string>

namespace vxp::posix {

// R, created as needed. False with a reason fit for a person in *error.
bool runtime_directory(std::string* path, std::string* error);

// R/<name> ("pipe" or "hwnd"), created as needed, with the same checks.
bool runtime_subdirectory(const char* name, std::string* path, std::string* error);

// Unix socket paths hold at most this many bytes (sun_path without its NUL).
inline constexpr std::size_t kMaxSocketPathBytes = 107;

}  // namespace vxp::posix
