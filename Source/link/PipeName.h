// The per-user pipe's name, computed in one place for both ends: the plug-in
// opens it, the simulated Veloxa serves it.
#pragma once

#include <string>

namespace vxlink {

// The user name of the pipe: the environment variable USERNAME, else USER,
// else "123". A variable that exists but is empty gives an empty name (the
// pipe's name then ends in "VeloxaIPC."), as the desktop application reads it.
std::string PipeUserName();

// The pipe's Win32 name, as the link's pipe services take it:
// `\\.\pipe\`, kPipePrefix and the user name.
std::string PipeName();

}  // namespace vxlink
