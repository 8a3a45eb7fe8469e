// Window sockets: how a window of the POSIX window system is reached from
// another process or thread (docs/posix-link.md, "Windows").
//
// A window is a listening Unix stream socket at R/hwnd/H, H being the
// window's handle in decimal. A sender connects, writes one frame and waits
// for the result; the owner answers and closes:
//
//   frame  := message: u32, wparam: u64, code: u64, size: u32, bytes: u8[size]
//   answer := result: i64
//
// all little-endian. Only kMessage_CopyData crosses: lParam is not carried
// (the owner points it at a CopyData of code, size and bytes). An owner
// refuses a frame whose message is another one or whose size exceeds
// kMaxCopyDataBytes: it answers 0 without reading the bytes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/WindowSystem.h"

namespace vxp::posix {

using Deadline = std::chrono::steady_clock::time_point;

// Handles are positive and fit in 31 bits.
inline constexpr WindowHandle kMaxWindowHandle = 0x7FFFFFFF;

inline constexpr std::size_t kFrameHeaderBytes = 24;
inline constexpr std::size_t kAnswerBytes = 8;

struct FrameHeader {
  std::uint32_t message;
  std::uint64_t wparam;
  std::uint64_t code;
  std::uint32_t size;
};

void encode_frame_header(const FrameHeader& header, std::uint8_t (&out)[kFrameHeaderBytes]);
FrameHeader decode_frame_header(const std::uint8_t (&in)[kFrameHeaderBytes]);

// R/hwnd/H. False with *path untouched when R is refused, when `window` is
// no handle or when the path is too long for a socket.
bool window_socket_path(WindowHandle window, std::string* path);

// Takes the first free handle of R, skipping those for which `taken`
// (called without locks of this file held) says yes: binds its socket
// exclusively and listens on it, non-blocking. A file that stands at a
// handle's place but refuses connections is stale and is replaced; a live
// socket is skipped. Creators of cooperating processes hold a lock on
// R/hwnd while they choose, so two of them never both replace one stale
// file. Returns the listening descriptor with *handle and *path, or -1
// when R is refused, the path grows too long or the OS fails.
int listen_on_free_handle(bool (*taken)(WindowHandle, void*), void* context, WindowHandle* handle,
                          std::string* path);

// The next sender waiting on a window's listening socket, as a
// non-blocking descriptor; -1 when none waits (or the OS fails: the sender
// is then tried again next time).
int accept_sender(int listen_fd);

// One sender's connection to a window, as another process makes it.
// send_copy_data is built on it; it also lets a program send a frame in
// pieces. Every wait ends at the deadline.
class WindowSocketClient {
 public:
  WindowSocketClient() = default;
  WindowSocketClient(const WindowSocketClient&) = delete;
  WindowSocketClient& operator=(const WindowSocketClient&) = delete;
  ~WindowSocketClient() { close(); }

  // False when there is no such window (no socket, or nobody listens),
  // when R is refused or when the owner's queue stays full until the
  // deadline.
  bool connect(WindowHandle window, Deadline deadline);
  // Writes all bytes. False when the owner stopped reading (it refused the
  // frame or closed) or the deadline passed first.
  bool write(const void* bytes, std::size_t size, Deadline deadline);
  // Reads the owner's answer. False when the owner closed without one or
  // the deadline passed first; an answer already waiting is taken even
  // after the deadline.
  bool read_answer(std::int64_t* result, Deadline deadline);
  void close();

 private:
  int fd_ = -1;
};

// The owner's side of one connection: collects a frame from a
// non-blocking socket over as many calls as its pieces need, and answers.
class IncomingFrame {
 public:
  enum Progress {
    eProgress_Partial,   // more bytes to come
    eProgress_Complete,  // header() and bytes() hold the frame
    eProgress_Refused,   // header() holds a frame this system does not take; bytes unread
    eProgress_Lost,      // the sender went away mid-frame, or the socket failed; closed
  };

  explicit IncomingFrame(int fd) : fd_(fd) {}
  IncomingFrame(const IncomingFrame&) = delete;
  IncomingFrame& operator=(const IncomingFrame&) = delete;
  ~IncomingFrame() { close(); }

  int fd() const { return fd_; }
  bool is_open() const { return fd_ >= 0; }

  // Reads what the socket holds without blocking. Once Complete or
  // Refused, it stays so and reads nothing more.
  Progress receive();
  const FrameHeader& header() const { return header_; }
  const std::uint8_t* bytes() const { return payload_.data(); }

  // Writes the result back (a sender that left is no error) and closes.
  void answer(std::int64_t result);
  void close();

 private:
  int fd_;
  Progress progress_ = eProgress_Partial;
  std::uint8_t raw_header_[kFrameHeaderBytes] = {};
  std::size_t header_have_ = 0;
  FrameHeader header_ = {};
  std::vector<std::uint8_t> payload_;
  std::size_t payload_have_ = 0;
};

}  // namespace vxp::posix
