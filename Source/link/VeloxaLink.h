// The wire contract between the plug-in and the desktop application Veloxa.
// Both sides (the plug-in, and the simulated Veloxa) include this header and
// PipeName.h (the pipe's name, target vx::link) and nothing else of each
// other.
//
// Requests (plug-in -> Veloxa): one JSON object (a umessage written as
// compact text, entries sorted by name) per connection to the per-user pipe
//   \\.\pipe\VeloxaIPC.<user>
// where <user> is the value of USERNAME, else of USER, else "123"
// (vxlink::PipeUserName). No length prefix, no terminator; the plug-in closes
// the connection after writing and reads nothing back.
//
//   probe    := { "what": "ping" }
//   request  := { "what": kind, ["v": base64], ["x": true],
//                 "sender": "IllustratorCS", "hwnd": window }
//   kind     := "about" | "joblist" | "details" | "exported"
//   base64   := the request's payload (a job) in RFC 4648 Base64 with "="
//               padding; "details" and "exported" only
//   "x"      := present (true) on "details" sent for the current document
//   window   := decimal text of the reply window's handle: its low 32 bits
//               read as a signed integer ("-" for negative values)
//
// Answers (Veloxa -> plug-in): WM_COPYDATA sent to the window named by
// "hwnd"; dwData is the answer code, the bytes are UTF-16LE text of
// hexadecimal digits (two characters per byte, high nibble first) of a job.
// Answers of more than kMaxAnswerTextBytes are refused.
//
// Veloxa's program is registered as the default value of kApplicationKey
// under HKEY_CURRENT_USER; the plug-in starts it when the probe fails.
#pragma once

#include <cstdint>

namespace vxlink {

// The pipe's name after `\\.\pipe\`: this prefix, then the user name.
inline constexpr char kPipePrefix[] = "VeloxaIPC.";

inline constexpr char kApplicationKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Veloxa6.exe";

// Entry names of a request.
inline constexpr char kKeyWhat[] = "what";
inline constexpr char kKeyPayload[] = "v";
inline constexpr char kKeyForDocument[] = "x";
inline constexpr char kKeySender[] = "sender";
inline constexpr char kKeyWindow[] = "hwnd";

// "what" of the probe and of the requests.
inline constexpr char kWhatPing[] = "ping";
inline constexpr char kWhatAbout[] = "about";
inline constexpr char kWhatJobList[] = "joblist";
inline constexpr char kWhatDetails[] = "details";
inline constexpr char kWhatExported[] = "exported";

// "sender" of every request.
inline constexpr char kSender[] = "IllustratorCS";

// Answer codes (dwData of WM_COPYDATA).
inline constexpr std::uint64_t kAnswerAttachJob = 23262;     // store the job in the current document
inline constexpr std::uint64_t kAnswerNewDetails = 23293;    // job details for a new document
inline constexpr std::uint64_t kAnswerExport = 59655;        // export the document as PDF
inline constexpr std::uint64_t kAnswerBringToFront = 42609;  // raise the host's window; no payload

// The longest answer text accepted, in bytes: 32 MiB of UTF-16 text, a job
// of 8 MiB.
inline constexpr std::uint32_t kMaxAnswerTextBytes = 32u << 20;

}  // namespace vxlink
