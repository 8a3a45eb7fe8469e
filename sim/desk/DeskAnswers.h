// What the simulated Veloxa answers, request by request, as the real one
// would (the wire contract is link/VeloxaLink.h):
//
//   "ping"                 nothing (the plug-in's probe)
//   "about", "joblist"     kAnswerBringToFront, no text
//   "details" without "x"  kAnswerNewDetails with the configured job
//   "details" with "x"     kAnswerExport with the job of "v" (Base64 of a job
//                          payload, read with its full content), completed
//                          as CompleteForExport does
//   "exported", others     nothing
//
// Every job answer carries the definitions ("Dp") and check settings ("SR")
// of PayloadMessages. Answers go to the window named by "hwnd".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "DeskSettings.h"
#include "platform/WindowSystem.h"
#include "utils/umessage.h"

struct DeskAnswer {
  vxp::WindowHandle window = 0;
  std::uint64_t code = 0;
  // The hexadecimal UTF-16LE text (AnswerText); empty for
  // kAnswerBringToFront.
  std::string text;
};

// The window a request's "hwnd" names: decimal text of a 32-bit signed
// integer (an optional "-", then 1 to 10 digits, nothing else), sign-extended
// as Windows widens a 32-bit handle. False for anything else and for 0,
// which names no window.
bool ParseWindowText(const ustring& text, vxp::WindowHandle* window);

class DeskResponder {
 public:
  explicit DeskResponder(const DeskSettings& settings) : settings_(settings) {}

  // The answer to a request, or none with the reason in *why (for the log):
  // a request that gets no answer, a window that "hwnd" does not name, a "v"
  // that is not Base64 text or not a job, an answer text over
  // vxlink::kMaxAnswerTextBytes.
  std::optional<DeskAnswer> AnswerFor(const umessage& request, std::string* why) const;

  // The text of an answer of code to send with a job given as JSON (vxjob
  // make's form): none for kAnswerBringToFront; for kAnswerExport the job
  // completed for export; the job as it is for any other code. Throws
  // JobJsonError for a job that cannot be made, std::length_error for a text
  // over vxlink::kMaxAnswerTextBytes.
  std::string TextFor(std::uint64_t code, const umessage& job) const;

  // The export answer's text for the bytes of a job payload. Throws what
  // ReadJob throws for bytes that are not a job, and as TextFor.
  std::string ExportTextFor(const std::string& payload) const;

 private:
  const DeskSettings& settings_;
};
