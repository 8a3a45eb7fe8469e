// What a support engineer reads when a job fails at a customer's desk.
//
// Inside the host the plug-in's standard error goes nowhere. When the
// environment variable VXILLUSTRATOR_LOG names a file, every line the
// process-wide logger writes is also appended there, and every answer of
// Veloxa that carries a job is appended, as received, to the capture file
// beside it: the log file's path followed by ".answers". One line per
// answer:
//
//   line := time " " code " " hex "\n"
//   time := local time "%Y-%m-%dT%H:%M:%S"
//   code := the answer's code in decimal (23262, 23293, 59655)
//   hex  := the job's bytes as upper-case hexadecimal, two digits per byte
//
// `vxjob show --hex CAPTURE` prints the job of the capture's last line;
// `sed -n 3p CAPTURE | vxjob show --hex` the third. Nothing of this happens
// while the variable is unset or empty.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "utils/ustring.h"

inline constexpr char kSupportLogVariable[] = "VXILLUSTRATOR_LOG";
inline constexpr char kAnswerCaptureSuffix[] = ".answers";

// Reads VXILLUSTRATOR_LOG: a file that can be opened becomes the logger's
// copy (utils/LogFile.h) and fixes the capture file; unset or empty, a copy
// made by an earlier call is given up. Idempotent. Failures are logged.
void StartSupportLog();

// The capture file in use, "" when there is none.
ustring AnswerCapturePath();

// Appends one capture line for an answer, when a capture file is in use.
// Best effort: a file that cannot be written is logged once per failure and
// loses nothing else.
void CaptureAnswer(std::uint64_t code, std::string_view bytes);

// The capture line of an answer received at time (seconds since 1970).
std::string CaptureLine(std::int64_t time, std::uint64_t code, std::string_view bytes);
