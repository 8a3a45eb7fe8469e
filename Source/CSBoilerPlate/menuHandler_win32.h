// The reply window: the hidden window Veloxa answers the plug-in's requests
// to, the decoding of its answers into the pending answer, raising the
// host's window on request, and the timer tick that hands the pending answer
// on.
//
// Answers arrive as kMessage_CopyData (WM_COPYDATA) whose code says what the
// answer is (link/VeloxaLink.h) and whose bytes are UTF-16LE text of
// hexadecimal digits, two characters per byte, high nibble first. All of it
// runs on the host's main thread: the window belongs to that thread, and the
// host's timer calls come on it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "AIHost.h"
#include "CSBoilerPlate/PendingReply.h"
#include "platform/WindowSystem.h"

// The window class and title of the reply window.
inline constexpr char kReplyWindowClass[] = "VXIllWndProc";
// The window class of the host's main window.
inline constexpr char kHostWindowClass[] = "illustrator";

// Makes the reply window unless it exists: registers its class unless a
// class of that name is registered, then creates the hidden window and keeps
// its handle process-wide. Returns the handle, 0 when the window cannot be
// made (requests then name window 0).
vxp::WindowHandle CreateReplyWindow();
// Destroys the reply window if it exists, forgets its handle and
// unregisters the class.
void DestroyReplyWindow();
// The reply window's handle, 0 when there is none.
vxp::WindowHandle ReplyWindow();

// The reply window's procedure.
// - kMessage_ActivateApp, kMessage_Create, kMessage_Destroy: 0.
// - kMessage_CopyData (lparam points to a vxp::CopyData): codes 23262,
//   23293 and 59655 decode their text into the pending answer (ReplyKind 1,
//   2, 3) and give 1, or 0 when the text is refused; 42609 raises the host's
//   window and gives 1; any other code gives 0. Anything thrown while
//   handling gives 0.
// - Everything else: the window system's default procedure.
std::int64_t ReplyWindowProcedure(vxp::WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                                  std::int64_t lparam);

// Decodes the hexadecimal UTF-16LE text of byte_count bytes at characters:
// byte_count / 2 characters, each pair one byte (first character the high
// nibble; "0"-"9", "A"-"F" and "a"-"f"); an unpaired last character (and an
// odd last byte) is ignored. True with the bytes in *out. Refused (false,
// *out unchanged): a byte_count over vxlink::kMaxAnswerTextBytes, null
// characters with a non-zero count, or a paired character that is not a
// hexadecimal digit. Reads nothing outside the byte_count bytes.
bool DecodeHexText(const void* characters, std::uint32_t byte_count, std::string* out);

// Decodes an answer into pending, replacing what waited there, and appends
// it to the capture file when one is in use (SupportLog.h). A refused text
// writes an ERROR record and leaves pending as it was. Returns whether the
// answer was taken.
bool DecodeHexPayload(const void* characters, std::uint32_t byte_count, ReplyKind kind,
                      PendingReply& pending);
// The same into the process-wide plug-in's pending answer (throws
// std::runtime_error when there is no plug-in).
bool DecodeHexPayload(const void* characters, std::uint32_t byte_count, ReplyKind kind);

// Brings the host's main window (class "illustrator", or its enabled pop-up)
// to the front: a window that is gone or hung is left alone; a minimised one
// is sent a restore command; otherwise it is raised and made the foreground
// window, through the foreground thread's input and, failing that, a
// synthesised Alt key, and the thread sleeps 50 ms afterwards.
void BringHostToFront();

// The timer tick: takes the pending answer of the process-wide plug-in out,
// if there is one, and routes it by kind: AttachJob to AttachReceivedJob
// (with guides), NewDetails to HandleNewDetailsReply, Export to
// HandleExportReply. Anything those throw ends the handling of that answer
// with an ERROR record ("Source\CSBoilerPlate\menuHandler_win32", line 76,
// the exception's text); the answer is gone either way, so a failing answer
// is handled once.
void ProcessPendingReply(ai::BasicSuite* basic);
