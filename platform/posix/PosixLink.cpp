// POSIX stand-ins for the link (docs/posix-link.md is the contract other
// programs follow):
//
// Pipes. `\\.\pipe\NAME` is the Unix stream socket R/pipe/NAME (R: the
// runtime folder of RuntimeDir.h). One connection carries one message: the
// client writes every byte and closes; nothing is read back. A client
// connects without waiting: no socket file or a refused connection is "no
// such pipe", a full listen queue is "busy".
//
// Registry. <root>/<hive>/<key levels...>/<value file>, where the root is
// $VX_REGISTRY_DIR, else $XDG_CONFIG_HOME/vx/registry, else
// $HOME/.config/vx/registry. A value file holds the UTF-8 text with one
// line feed after it; "@" is the file of the default (unnamed) value.
#include "platform/Link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "posix/PosixUtil.h"
#include "posix/RuntimeDir.h"

namespace vxp {
namespace {

using posix::absolute_env;
using posix::write_all;

// Connections a pipe server queues before clients see ePipeError_Busy. The
// plug-in sends two messages in a row (a probe, then the request), so a few
// are plenty; a server that lets more pile up is not reading.
constexpr int kPipeBacklog = 8;

// A client that sends nothing for this long without closing is dropped.
constexpr int kSilentClientMs = 5000;

// The longest registry text (the buffer the plug-in reads values into).
constexpr std::size_t kMaxRegistryTextBytes = 16383;

constexpr std::string_view kPipePrefix = "\\\\.\\pipe\\";

// Owns one descriptor.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~Fd() { reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// A file-system name component that stands for itself: not empty, not "."
// or "..", without "/" and NUL.
bool plain_component(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

// --- Pipes ------------------------------------------------------------------

enum class PipePathFault {
  kNone,
  kBadName,   // not `\\.\pipe\NAME` with a usable NAME
  kNoFolder,  // the runtime folder is missing or refused
  kTooLong,   // the socket path does not fit a socket address
};

// The socket path of the pipe with the Win32 name `name`.
PipePathFault pipe_socket_path(const std::string& name, std::string* path) {
  const std::string_view view(name);
  if (view.substr(0, kPipePrefix.size()) != kPipePrefix) return PipePathFault::kBadName;
  const std::string_view short_name = view.substr(kPipePrefix.size());
  if (!plain_component(short_name)) return PipePathFault::kBadName;
  std::string folder, error;
  if (!posix::runtime_subdirectory("pipe", &folder, &error)) return PipePathFault::kNoFolder;
  *path = folder + "/" + std::string(short_name);
  if (path->size() > posix::kMaxSocketPathBytes) return PipePathFault::kTooLong;
  return PipePathFault::kNone;
}

socklen_t socket_address(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  std::memcpy(address->sun_path, path.data(), path.size());  // checked against kMaxSocketPathBytes
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
}

// Connects a new non-blocking socket to path. 0 with the socket in *out, or
// the errno value of the failure.
int connect_without_waiting(const std::string& path, Fd* out) {
  Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) return errno;
  sockaddr_un address;
  const socklen_t length = socket_address(path, &address);
  int rc;
  do {
    rc = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), length);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0 && errno != EISCONN) return errno;
  *out = std::move(fd);
  return 0;
}

// A connect failure that means a server holds the name but takes no
// connection now (Linux reports a full queue to a non-blocking client as
// EAGAIN).
bool busy_error(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS; }

class PosixPipeConnection final : public PipeConnection {
 public:
  explicit PosixPipeConnection(Fd fd) : fd_(std::move(fd)) {}

  bool write(const void* data, std::size_t size, std::size_t* written) override {
    *written = 0;
    if (size == 0) return true;
    for (;;) {
      // MSG_NOSIGNAL: a server that went away gives EPIPE here, never a
      // SIGPIPE that would end the host.
      const ssize_t n = ::send(fd_.get(), data, size, MSG_NOSIGNAL);
      if (n > 0) {
        *written = static_cast<std::size_t>(n);
        return true;
      }
      if (n < 0 && errno == EINTR) continue;
      return false;
    }
  }

 private:
  Fd fd_;
};

// Holds an exclusive lock on the pipe folder while a server checks, takes or
// gives up a name, so that two servers starting at once cannot both decide
// that a stale socket file is theirs to replace.
class PipeFolderLock {
 public:
  explicit PipeFolderLock(const std::string& folder)
      : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (!fd_) return;
    int rc;
    do {
      rc = ::flock(fd_.get(), LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) fd_.reset();
  }
  bool held() const { return static_cast<bool>(fd_); }

 private:
  Fd fd_;  // closing it releases the lock
};

std::string parent_folder(const std::string& path) { return path.substr(0, path.rfind('/')); }

// What one connection delivered.
enum class ReadOutcome { kMessage, kEmpty, kFailed };

// Reads a connection until the client closes it: more than max_bytes, or
// kSilentClientMs without a byte, fails.
ReadOutcome read_until_closed(int fd, std::size_t max_bytes, std::string* message) {
  constexpr std::size_t kChunk = 64 * 1024;
  std::size_t size = 0;
  for (;;) {
    pollfd waiting{fd, POLLIN, 0};
    const int ready = ::poll(&waiting, 1, kSilentClientMs);
    if (ready < 0 && errno == EINTR) continue;  // a signal is no byte; the silence starts over
    if (ready <= 0) return ReadOutcome::kFailed;
    // Ask for one byte more than may still come so that an oversized
    // message is seen without reading it all.
    const std::size_t room = max_bytes - size;
    const std::size_t want = room >= kChunk ? kChunk : room + 1;
    message->resize(size + want);
    const ssize_t n = ::recv(fd, message->data() + size, want, 0);
    if (n < 0) {
      message->resize(size);
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return ReadOutcome::kFailed;
    }
    size += static_cast<std::size_t>(n);
    message->resize(size);
    if (size > max_bytes) return ReadOutcome::kFailed;
    if (n == 0) return size == 0 ? ReadOutcome::kEmpty : ReadOutcome::kMessage;
  }
}

class PosixPipeServer final : public PipeServer {
 public:
  PosixPipeServer(Fd socket, std::string path, dev_t device, ino_t inode, bool listening)
      : socket_(std::move(socket)),
        path_(std::move(path)),
        device_(device),
        inode_(inode),
        listening_(listening) {}

  // Removes the socket file, unless another server has replaced it since.
  ~PosixPipeServer() override {
    PipeFolderLock lock(parent_folder(path_));
    struct stat st;
    if (::lstat(path_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_)
      ::unlink(path_.c_str());
  }

  bool receive(std::uint32_t timeout_ms, std::size_t max_bytes, std::string* message,
               bool* timed_out) override {
    using Clock = std::chrono::steady_clock;
    message->clear();
    if (timed_out) *timed_out = false;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    if (!listening_) {
      // A refusing server never has a client: wait out the time.
      std::this_thread::sleep_until(deadline);
      if (timed_out) *timed_out = true;
      return false;
    }
    for (;;) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      pollfd waiting{socket_.get(), POLLIN, 0};
      const int ready = ::poll(&waiting, 1, static_cast<int>(std::clamp<std::int64_t>(left, 0, INT_MAX)));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) return false;
      if (ready == 0) {
        if (timed_out) *timed_out = true;
        return false;
      }
      Fd client(::accept4(socket_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
      if (!client) {
        // The client may have gone again between poll and accept.
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNABORTED) continue;
        return false;
      }
      switch (read_until_closed(client.get(), max_bytes, message)) {
        case ReadOutcome::kMessage:
          return true;
        case ReadOutcome::kEmpty:
          continue;
        case ReadOutcome::kFailed:
          message->clear();
          return false;
      }
    }
  }

 private:
  Fd socket_;
  std::string path_;
  dev_t device_;
  ino_t inode_;
  bool listening_;
};

// --- Registry ---------------------------------------------------------------

const char* hive_folder_name(RegistryHive hive) {
  switch (hive) {
    case eRegistryHive_CurrentUser:
      return "HKEY_CURRENT_USER";
  }
  return nullptr;
}

bool registry_root(std::string* root) {
  if (const char* chosen = std::getenv("VX_REGISTRY_DIR"); chosen && *chosen) {
    // An explicit choice that cannot be used fails rather than falling back
    // to the user's own registry.
    return absolute_env("VX_REGISTRY_DIR", root);
  }
  if (absolute_env("XDG_CONFIG_HOME", root)) {
    *root += "/vx/registry";
    return true;
  }
  if (absolute_env("HOME", root)) {
    *root += "/.config/vx/registry";
    return true;
  }
  return false;
}

// The folder levels below the root that hold key's values.
bool key_levels(RegistryHive hive, const std::string& key, std::vector<std::string>* levels) {
  const char* hive_name = hive_folder_name(hive);
  if (hive_name == nullptr) return false;
  levels->assign(1, hive_name);
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = key.find('\\', start);
    const std::string level = key.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!plain_component(level)) return false;
    levels->push_back(level);
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

// The file name of a value. Names starting with "." are refused: the
// writer's temporary files use them.
bool value_file_name(const std::string& value_name, std::string* file) {
  if (value_name.empty()) {
    // Not `= "@"`: g++ 12 at -O3 warns, wrongly, that that copy may
    // overlap (-Wrestrict), which fails the release build.
    file->assign(1, '@');
    return true;
  }
  if (value_name == "@" || value_name[0] == '.' || !plain_component(value_name)) return false;
  *file = value_name;
  return true;
}

bool valid_utf8(std::string_view s) {
  std::wstring ignored;
  return posix::utf8_to_wide(s, &ignored);
}

// Creates path and its missing parents as private folders; existing ones
// must be folders (links to folders count).
bool make_folders(const std::string& path) {
  for (std::size_t end = 1; end != std::string::npos;) {
    end = path.find('/', end + 1);
    const std::string prefix = path.substr(0, end);
    if (::mkdir(prefix.c_str(), 0700) == 0) continue;
    struct stat st;
    if (errno != EEXIST || ::stat(prefix.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  }
  return true;
}

// --- The service ------------------------------------------------------------

class PosixLinkService final : public LinkService {
 public:
  std::unique_ptr<PipeConnection> open_pipe(const std::string& name, PipeError* error) override {
    std::string path;
    switch (pipe_socket_path(name, &path)) {
      case PipePathFault::kNone:
        break;
      case PipePathFault::kTooLong:
        // No server can have bound a path that long.
        *error = ePipeError_NoSuchPipe;
        return nullptr;
      case PipePathFault::kBadName:
      case PipePathFault::kNoFolder:
        *error = ePipeError_Failed;
        return nullptr;
    }
    Fd fd;
    const int failure = connect_without_waiting(path, &fd);
    if (failure == ENOENT || failure == ECONNREFUSED || failure == ENOTDIR) {
      *error = ePipeError_NoSuchPipe;
      return nullptr;
    }
    if (busy_error(failure)) {
      *error = ePipeError_Busy;
      return nullptr;
    }
    if (failure != 0) {
      *error = ePipeError_Failed;
      return nullptr;
    }
    // A large message must go through whole: writes wait for the server.
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
      *error = ePipeError_Failed;
      return nullptr;
    }
    *error = ePipeError_None;
    return std::make_unique<PosixPipeConnection>(std::move(fd));
  }

  std::unique_ptr<PipeServer> serve_pipe(const std::string& name, PipeServeMode mode,
                                         PipeError* error) override {
    *error = ePipeError_Failed;
    std::string path;
    if (pipe_socket_path(name, &path) != PipePathFault::kNone) return nullptr;
    PipeFolderLock lock(parent_folder(path));
    if (!lock.held()) return nullptr;
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) return nullptr;
    sockaddr_un address;
    const socklen_t length = socket_address(path, &address);
    // Something holds the name: a live server keeps it; a stale socket file
    // (its server ended without removing it) or anything else is replaced.
    // A few rounds, in case it comes and goes while we look.
    bool bound = false;
    for (int round = 0; round < 3 && !bound; ++round) {
      if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), length) == 0) {
        bound = true;
        break;
      }
      if (errno != EADDRINUSE) return nullptr;
      Fd probe;
      const int failure = connect_without_waiting(path, &probe);
      if (failure == 0 || busy_error(failure)) {
        // The live server sees a connection without a byte and ignores it.
        *error = ePipeError_InUse;
        return nullptr;
      }
      if (failure == ENOENT) continue;
      if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        if (errno != EISDIR || ::rmdir(path.c_str()) != 0) return nullptr;
      }
    }
    if (!bound) return nullptr;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return nullptr;
    const bool listening = mode == ePipeServe_Accept;
    // A refusing server binds but never listens: clients are refused as if
    // the file were stale.
    if (listening && ::listen(fd.get(), kPipeBacklog) != 0) {
      ::unlink(path.c_str());
      return nullptr;
    }
    *error = ePipeError_None;
    return std::make_unique<PosixPipeServer>(std::move(fd), std::move(path), st.st_dev, st.st_ino, listening);
  }

  bool read_registry_text(RegistryHive hive, const std::string& key, const std::string& value_name,
                          std::string* value) override {
    value->clear();
    std::string path;
    if (!value_path(hive, key, value_name, &path, nullptr)) return false;
    // O_NONBLOCK: a FIFO named like the value must not stall the reader.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat st;
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    // One byte more than the longest text with its line feed tells an
    // over-long value apart.
    std::string text(kMaxRegistryTextBytes + 2, '\0');
    std::size_t size = 0;
    while (size < text.size()) {
      const ssize_t n = ::read(fd.get(), text.data() + size, text.size() - size);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) break;
      size += static_cast<std::size_t>(n);
    }
    text.resize(size);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (text.size() > kMaxRegistryTextBytes) return false;
    text.resize(std::min(text.size(), text.find('\0')));
    if (!valid_utf8(text)) return false;
    *value = std::move(text);
    return true;
  }

  bool write_registry_text(RegistryHive hive, const std::string& key, const std::string& value_name,
                           const std::string& value) override {
    // Only what read_registry_text gives back unchanged is written.
    if (value.size() > kMaxRegistryTextBytes || value.find('\0') != std::string::npos || !valid_utf8(value))
      return false;
    std::string path, folder;
    if (!value_path(hive, key, value_name, &path, &folder) || !make_folders(folder)) return false;
    // A reader sees the old text or the new one, never a part.
    std::string temporary = folder + "/.vx-XXXXXX";
    Fd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd) return false;
    const bool written = write_all(fd.get(), value + "\n") && ::fsync(fd.get()) == 0;
    if (!written || ::close(fd.release()) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
      ::unlink(temporary.c_str());
      return false;
    }
    return true;
  }

  bool runtime_directory(std::string* path, std::string* error) override {
    std::string folder;
    // R comes with its folders for pipes and windows, checked like R.
    if (!posix::runtime_subdirectory("pipe", &folder, error) ||
        !posix::runtime_subdirectory("hwnd", &folder, error))
      return false;
    return posix::runtime_directory(path, error);
  }

 private:
  // The file of a value, and the folder of its key.
  static bool value_path(RegistryHive hive, const std::string& key, const std::string& value_name,
                         std::string* path, std::string* folder) {
    std::vector<std::string> levels;
    std::string root, file;
    if (!key_levels(hive, key, &levels) || !value_file_name(value_name, &file) || !registry_root(&root))
      return false;
    for (const std::string& level : levels) root += "/" + level;
    *path = root + "/" + file;
    if (folder) *folder = std::move(root);
    return true;
  }
};

}  // namespace

LinkService& native_link_service() {
  static PosixLinkService service;
  return service;
}

}  // namespace vxp
