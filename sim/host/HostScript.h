// The script vxhost runs: one command a line.
//
//   script  := line*
//   line    := blank | "#" comment | command
//   command := "menu" TEXT | "new" WIDTH HEIGHT [PATH] | "close"
//            | "rect" X Y WIDTH HEIGHT [GREY] | "preview" PATH
//            | "run" SECONDS | "wait-answer" SECONDS
//            | "ticks" ("on" | "off") | "tick"
//            | "minimise" | "front" | "hang" | "unload" | "reload"
//            | "fail" OPERATION CODE | "quit"
//
// Lines end with LF or CR LF; a UTF-8 byte-order mark at the start is
// skipped; leading and trailing blanks (spaces, tabs) of a line are ignored.
// TEXT and PATH are the rest of the line as written. OPERATION is everything
// between "fail" and the last word (so it may hold spaces, as in
// "AcquireSuite:AI Menu Suite") and must be an operation the host knows.
// CODE is a decimal 32-bit number or four characters, bare ("S!Fd") or in
// single quotes ("'1234'", the way to give four digits as characters).
// WIDTH and HEIGHT are positive points, X and Y points (any sign), all at
// most kMaxScriptPoints in size; GREY is a grey level from 0 (black) to 1
// (white), kDefaultRectGrey when absent; SECONDS is a number from 0 to
// kMaxScriptSeconds. The whole script is checked before anything runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "AIHost.h"

namespace vxsim {

inline constexpr double kMaxScriptSeconds = 3600;
// Lengths and coordinates a script may give (points): far beyond any
// artboard, well inside what a PDF can hold.
inline constexpr double kMaxScriptPoints = 100000;
inline constexpr double kDefaultRectGrey = 0.5;

struct ScriptCommand {
  enum Kind {
    eKind_Menu,
    eKind_New,
    eKind_Close,
    eKind_Rect,
    eKind_Preview,
    eKind_Run,
    eKind_WaitAnswer,
    eKind_TicksOn,
    eKind_TicksOff,
    eKind_Tick,
    eKind_Minimise,
    eKind_Front,
    eKind_Hang,
    eKind_Unload,
    eKind_Reload,
    eKind_Fail,
    eKind_Quit,
  };
  Kind kind = eKind_Quit;
  int line = 0;
  std::string text;                 // the line as written, blanks trimmed
  std::string argument;             // menu: item text; fail: operation
  std::optional<std::string> path;  // new, preview
  double x = 0;                     // rect
  double y = 0;                     // rect
  double width = 0;                 // new, rect
  double height = 0;                // new, rect
  double grey = kDefaultRectGrey;   // rect
  double seconds = 0;               // run, wait-answer
  ai::Err code = 0;                 // fail
};

struct ScriptError {
  int line = 0;
  std::string message;
};

// Parses the whole script. On failure returns false with the first faulty
// line and the reason; *commands is then unspecified.
bool parse_script(std::string_view text, std::vector<ScriptCommand>* commands, ScriptError* error);

// A host error code as a script writes it (see above).
bool parse_error_code(std::string_view text, ai::Err* code);

}  // namespace vxsim
