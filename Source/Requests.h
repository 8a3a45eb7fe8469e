// Requests to Veloxa: each one a umessage written as compact JSON text to
// the per-user pipe, one connection per message (the wire contract is
// link/VeloxaLink.h). Veloxa answers later, if at all, through the reply
// window (CSBoilerPlate/menuHandler_win32.h); nothing is read from the pipe.
//
// Before every request a "ping" probes the pipe; when the probe fails,
// Veloxa is started (unless it runs) and the request is tried once.
// Failures are not reported to the caller: a request that cannot be
// delivered is lost.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/WindowSystem.h"
#include "utils/umessage.h"

enum RequestKind : int {
  eRequestKind_About = 0,               // "about"
  eRequestKind_JobList = 1,             // "joblist"
  eRequestKind_Details = 2,             // "details" with "v"
  eRequestKind_DetailsForDocument = 3,  // "details" with "x" and "v"
  eRequestKind_Exported = 4,            // "exported" with "v"
};

// Builds the request of kind with the payload bytes (Base64 in "v" for the
// kinds that carry one; About and JobList ignore it), "sender" and "hwnd"
// (the reply window, made first if it is missing), and delivers it. True
// when every byte of the request was written to the pipe (whether Veloxa
// then reads it is not known); callers that need not know ignore it.
bool SendRequest(std::string_view payload, RequestKind kind);

// The request as SendRequest builds it, naming window as the reply window.
umessage BuildRequest(std::string_view payload, RequestKind kind, vxp::WindowHandle window);

// Probes the pipe with a "ping" (a failure starts Veloxa, LaunchApplication),
// then writes the message; anything thrown by that write is discarded. True
// when the message was written.
bool DeliverMessage(const umessage& message);

// Writes the message as compact JSON text over one new connection to the
// pipe, continuing short writes until every byte is written. Throws
// std::runtime_error("cannot open pipe") when the pipe cannot be opened, and
// std::runtime_error("cannot write to pipe") when it fails before every byte
// is written.
void WriteToPipe(const umessage& message);

// Starts Veloxa's registered program unless it is running, then waits
// 3000 ms for it to serve its pipe. Nothing is started, and nothing waited
// for, when no program is registered or the start fails.
void LaunchApplication();

// True when a process's image name contains path (exact, case-sensitive);
// false when the process list cannot be taken.
bool IsApplicationRunning(const std::string& path);

// Veloxa's registered program: the default value of vxlink::kApplicationKey
// under HKEY_CURRENT_USER, empty when it is missing or not text.
std::string RegisteredApplicationPath();

// The decimal text of a window handle as requests carry it: its low 32 bits
// read as a signed integer.
std::string WindowHandleText(vxp::WindowHandle window);
