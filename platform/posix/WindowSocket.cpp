#include "posix/WindowSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "posix/RuntimeDir.h"

namespace vxp::posix {
namespace {

void put_le(std::uint8_t* out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t get_le(const std::uint8_t* in, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | in[i];
  return value;
}

bool socket_address(const std::string& path, sockaddr_un* address) {
  if (path.size() > kMaxSocketPathBytes || path.size() >= sizeof address->sun_path) return false;
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  std::memcpy(address->sun_path, path.data(), path.size());
  return true;
}

void close_fd(int fd) {
  if (fd >= 0) ::close(fd);
}

// Milliseconds left until the deadline, rounded up so that a wait never
// ends before it; 0 once it has passed.
int milliseconds_left(Deadline deadline) {
  const auto left = deadline - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<decltype(ms)>(ms, INT_MAX));
}

// Waits until the descriptor is ready for `events` (or reports an error or
// hang-up, which the next call then sees). False when the deadline passed.
bool wait_for(int fd, short events, Deadline deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, milliseconds_left(deadline));
    if (ready > 0) return true;
    if (ready == 0) return false;
    if (errno != EINTR) return false;
  }
}

enum SocketState { eSocketState_Live, eSocketState_Stale, eSocketState_Unknown };

// What stands at a socket path whose bind reported it in use: a live
// listener (it accepts, or its queue is full), a stale file (nobody
// listens: refused; or it vanished meanwhile), or something else, which
// is left alone.
SocketState probe_socket(const sockaddr_un& address) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return eSocketState_Unknown;
  int result;
  do {
    result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (result != 0 && errno == EINTR);
  const int error = result == 0 ? 0 : errno;
  ::close(fd);
  if (result == 0 || error == EAGAIN) return eSocketState_Live;
  if (error == ECONNREFUSED || error == ENOENT) return eSocketState_Stale;
  return eSocketState_Unknown;
}

// Holds an exclusive lock on R/hwnd while handles are chosen, so that two
// creators never both remove one stale file (the second would remove the
// first one's fresh socket).
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder)
      : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FolderLock() { close_fd(fd_); }  // closing releases the lock
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_;
};

}  // namespace

void encode_frame_header(const FrameHeader& header, std::uint8_t (&out)[kFrameHeaderBytes]) {
  put_le(out, header.message, 4);
  put_le(out + 4, header.wparam, 8);
  put_le(out + 12, header.code, 8);
  put_le(out + 20, header.size, 4);
}

FrameHeader decode_frame_header(const std::uint8_t (&in)[kFrameHeaderBytes]) {
  FrameHeader header;
  header.message = static_cast<std::uint32_t>(get_le(in, 4));
  header.wparam = get_le(in + 4, 8);
  header.code = get_le(in + 12, 8);
  header.size = static_cast<std::uint32_t>(get_le(in + 20, 4));
  return header;
}

bool window_socket_path(WindowHandle window, std::string* path) {
  if (window == 0 || window > kMaxWindowHandle) return false;
  std::string folder, error;
  if (!runtime_subdirectory("hwnd", &folder, &error)) return false;
  std::string full = folder + "/" + std::to_string(window);
  if (full.size() > kMaxSocketPathBytes) return false;
  *path = std::move(full);
  return true;
}

int listen_on_free_handle(bool (*taken)(WindowHandle, void*), void* context, WindowHandle* handle,
                          std::string* path) {
  std::string folder, error;
  if (!runtime_subdirectory("hwnd", &folder, &error)) return -1;
  FolderLock lock(folder);
  for (WindowHandle candidate = 1; candidate <= kMaxWindowHandle; ++candidate) {
    if (taken(candidate, context)) continue;
    const std::string candidate_path = folder + "/" + std::to_string(candidate);
    sockaddr_un address;
    // Later handles are no shorter: none fits.
    if (!socket_address(candidate_path, &address)) return -1;
    // A stale file is removed and the bind tried once more; losing that
    // race to a creator that ignores the lock just moves on.
    for (int attempt = 0; attempt < 2; ++attempt) {
      const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      if (fd < 0) return -1;
      if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        if (::listen(fd, SOMAXCONN) != 0) {
          ::close(fd);
          ::unlink(candidate_path.c_str());
          return -1;
        }
        *handle = candidate;
        *path = candidate_path;
        return fd;
      }
      const int bind_error = errno;
      ::close(fd);
      if (bind_error != EADDRINUSE) return -1;
      if (probe_socket(address) != eSocketState_Stale) break;
      if (::unlink(candidate_path.c_str()) != 0 && errno != ENOENT) break;
    }
  }
  return -1;
}

int accept_sender(int listen_fd) {
  for (;;) {
    const int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    // A sender that gave up while queued is skipped.
    if (fd >= 0 || (errno != EINTR && errno != ECONNABORTED)) return fd;
  }
}

bool WindowSocketClient::connect(WindowHandle window, Deadline deadline) {
  close();
  std::string path;
  sockaddr_un address;
  if (!window_socket_path(window, &path) || !socket_address(path, &address)) return false;
  fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return false;
  // A blocking connect waits for room in the owner's queue for at most
  // the send time-out (0 would mean forever, hence at least 1 µs).
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
    const long long micros = std::max<long long>(left.count(), 1);
    timeval limit;
    limit.tv_sec = static_cast<time_t>(micros / 1000000);
    limit.tv_usec = static_cast<suseconds_t>(micros % 1000000);
    if (::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0) break;
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      const int flags = ::fcntl(fd_, F_GETFL);
      if (flags < 0 || ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) != 0) break;
      return true;
    }
    if (errno != EINTR || milliseconds_left(deadline) == 0) break;
  }
  close();
  return false;
}

bool WindowSocketClient::write(const void* bytes, std::size_t size, Deadline deadline) {
  if (fd_ < 0) return false;
  const auto* next = static_cast<const std::uint8_t*>(bytes);
  while (size > 0) {
    const ssize_t sent = ::send(fd_, next, size, MSG_NOSIGNAL);
    if (sent > 0) {
      next += sent;
      size -= static_cast<std::size_t>(sent);
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait_for(fd_, POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return true;
}

bool WindowSocketClient::read_answer(std::int64_t* result, Deadline deadline) {
  if (fd_ < 0) return false;
  std::uint8_t answer[kAnswerBytes];
  std::size_t have = 0;
  while (have < kAnswerBytes) {
    const ssize_t got = ::recv(fd_, answer + have, kAnswerBytes - have, 0);
    if (got > 0) {
      have += static_cast<std::size_t>(got);
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait_for(fd_, POLLIN, deadline)) return false;
    } else {
      return false;  // closed without an answer, or failed
    }
  }
  *result = static_cast<std::int64_t>(get_le(answer, 8));
  return true;
}

void WindowSocketClient::close() {
  close_fd(fd_);
  fd_ = -1;
}

IncomingFrame::Progress IncomingFrame::receive() {
  if (progress_ != eProgress_Partial) return progress_;
  if (fd_ < 0) return progress_ = eProgress_Lost;
  for (;;) {
    std::uint8_t* into;
    std::size_t room;
    if (header_have_ < kFrameHeaderBytes) {
      into = raw_header_ + header_have_;
      room = kFrameHeaderBytes - header_have_;
    } else {
      // The buffer grows with what arrives, so an announced size costs
      // memory only once its bytes come.
      if (payload_have_ == payload_.size()) {
        const std::size_t grown = std::max<std::size_t>(payload_have_ * 2, 64 * 1024);
        payload_.resize(std::min<std::size_t>(header_.size, grown));
      }
      into = payload_.data() + payload_have_;
      room = payload_.size() - payload_have_;
    }
    const ssize_t got = ::recv(fd_, into, room, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return eProgress_Partial;
    if (got <= 0) {
      close();
      return progress_ = eProgress_Lost;
    }
    if (header_have_ < kFrameHeaderBytes) {
      header_have_ += static_cast<std::size_t>(got);
      if (header_have_ < kFrameHeaderBytes) continue;
      header_ = decode_frame_header(raw_header_);
      if (header_.message != kMessage_CopyData || header_.size > kMaxCopyDataBytes)
        return progress_ = eProgress_Refused;
    } else {
      payload_have_ += static_cast<std::size_t>(got);
    }
    if (payload_have_ == header_.size) return progress_ = eProgress_Complete;
  }
}

void IncomingFrame::answer(std::int64_t result) {
  if (fd_ < 0) return;
  std::uint8_t bytes[kAnswerBytes];
  put_le(bytes, static_cast<std::uint64_t>(result), 8);
  // Eight bytes always fit an empty socket buffer; a sender that left
  // makes this fail, which changes nothing.
  ssize_t sent;
  do {
    sent = ::send(fd_, bytes, sizeof bytes, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  close();
}

void IncomingFrame::close() {
  close_fd(fd_);
  fd_ = -1;
}

}  // namespace vxp::posix
