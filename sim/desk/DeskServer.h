// Serving the pipe as Veloxa does: one JSON message per connection, each
// recorded and answered.
//
// Files in the runtime folder R (names in DeskSettings.h):
//   vxdesk.pid   the serving process's id and a line feed, from the start
//                until it ends (removed only while it still holds that id)
//   vxdesk.stop  made by `vxdesk stop`; the server removes it and ends
//   the record   every JSON object received, exactly as received, then a
//                line feed (JSON lines; a message that is not a JSON object
//                is logged, not recorded)
//
// The run: register the program's path as Veloxa's (the default value of
// vxlink::kApplicationKey under HKEY_CURRENT_USER, as an installer does);
// wait startLateMs; serve the pipe vxlink::PipeName(), in refusing mode when
// told; then take messages until the stop file appears (queued answers are
// dropped), endAfterSeconds have passed since the start (likewise) or
// stopAfter messages were recorded (queued answers are sent first).
#pragma once

#include <cstddef>
#include <string>

#include "DeskSender.h"
#include "DeskSettings.h"

// The longest message read from the pipe: a request carrying a job of
// 32 MiB in Base64, with room to spare.
inline constexpr std::size_t kMaxDeskMessageBytes = 48u << 20;

// Serves until the run ends; returns the exit status: 0 when it ended as
// told, 1 when it could not start (the pipe is served by another program,
// the pipe or the record file cannot be opened). Everything goes to log.
int ServeDesk(const DeskSettings& settings, const std::string& runtime, DeskLogger& log);
