// POSIX implementation of the platform seam (Linux: tests, tools, simulator).
//
// Files: paths arrive as UTF-16 and are handed to the kernel as UTF-8; only
// paths starting with "/" are accepted (a drive-letter or network path names
// nothing here, and a relative one would depend on the working directory).
// Directory entries whose names are not valid UTF-8 are not listed.
//
// Shell folders:
//   documents                $HOME/Documents
//   application data         $XDG_DATA_HOME when it is absolute, else $HOME/.local/share
//   common application data  /usr/local/share
//   desktop                  $HOME/Desktop
//   colour profiles          $VX_COLOR_DIR when set, else /usr/share/color/icc
//   temporary files          $TMPDIR when it is absolute, else /tmp
// Without an absolute $HOME the folders under it are not available.
//
// Recycling moves the entry into the freedesktop.org trash of the user,
// <application data>/Trash: the entry goes to files/<name> and
// info/<name>.trashinfo records where it came from and when, so desktop
// trash tools can restore it. Names already in the trash
// get ".2", ".3", ... appended. An entry on another device than the trash is
// moved by copying when it is a file; a folder there is not recycled.
#include "platform/Platform.h"
#include "posix/PosixUtil.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace vxp {
namespace {

using posix::absolute_env;
using posix::utf8_to_wide;
using posix::wide_to_utf8;
using posix::write_all;

// The kernel form of a path handed in by the caller (see the file comment).
bool kernel_path(const std::wstring& path, std::string* out) {
  return !path.empty() && path[0] == L'/' && wide_to_utf8(path, out);
}

// Renames without replacing an existing `to`; a file on another device is
// copied and its original deleted. errno tells why on failure.
bool move_no_replace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP) {
    // A file system without no-replace renames: check, then rename.
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) {
      errno = EEXIST;
      return false;
    }
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
  }
  if (errno != EXDEV) return false;
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    errno = EXDEV;
    return false;
  }
  std::error_code ec;
  if (!std::filesystem::copy_file(from, to, std::filesystem::copy_options::none, ec)) {
    errno = ec.value() ? ec.value() : EIO;
    return false;
  }
  if (::unlink(from.c_str()) != 0) {
    const int error = errno;
    ::unlink(to.c_str());
    errno = error;
    return false;
  }
  return true;
}

// Percent-encoding of a trash entry's original path, as trash readers expect.
std::string percent_encoded(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : path) {
    const auto b = static_cast<unsigned char>(ch);
    const bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                       b == '/' || b == '-' || b == '.' || b == '_' || b == '~';
    if (plain) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 15]);
    }
  }
  return out;
}

std::atomic<void (*)(int)> exit_hook{nullptr};

void run_exit_hook() {
  if (auto hook = exit_hook.load()) hook(1);
}

void run_signal_hook(int signal_number) {
  if (auto hook = exit_hook.load()) hook(0);
  // SA_RESETHAND restored the default action on entry; the signal raised
  // here is blocked until this handler returns and then ends the process.
  ::raise(signal_number);
}

class PosixPlatform final : public Platform {
 public:
  std::uint32_t current_thread_id() override {
    // gettid is a system call; a thread's id never changes, so ask once.
    thread_local const std::uint32_t id = static_cast<std::uint32_t>(::syscall(SYS_gettid));
    return id;
  }

  std::int64_t wall_clock_seconds() override {
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME_COARSE, &ts);
    return static_cast<std::int64_t>(ts.tv_sec);
  }

  bool local_time(std::int64_t seconds, std::tm* out) override {
    std::memset(out, 0, sizeof *out);
    const time_t t = static_cast<time_t>(seconds);
    if (::localtime_r(&t, out) == nullptr) {
      std::memset(out, 0, sizeof *out);
      return false;
    }
    return true;
  }

  void create_uuid(std::uint8_t out[16]) override {
    fill_random(out, 16);
    // Same layout as a Windows version-4 UUID in memory: the version lives in
    // the high nibble of the little-endian Data3 field (byte 7), the variant
    // in the top bits of Data4[0] (byte 8).
    out[7] = static_cast<std::uint8_t>((out[7] & 0x0F) | 0x40);
    out[8] = static_cast<std::uint8_t>((out[8] & 0x3F) | 0x80);
  }

  void lower_current_thread_priority() override {
    // Per-thread nice value on Linux; 19 is the lowest priority.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(current_thread_id()), 19);
  }

  std::uint32_t current_process_id() override { return static_cast<std::uint32_t>(::getpid()); }

  bool environment_variable(const char* name, std::string* value) override {
    const char* found = std::getenv(name);
    if (found == nullptr) return false;
    *value = found;
    return true;
  }

  bool set_environment_variable(const char* name, const char* value) override {
    return (value ? ::setenv(name, value, 1) : ::unsetenv(name)) == 0;
  }

  void install_exit_and_signal_hooks(void (*hook)(int)) override {
    exit_hook.store(hook);
    static std::once_flag once;
    std::call_once(once, [] {
      std::atexit(run_exit_hook);
      for (const int signal_number : {SIGINT, SIGTERM, SIGSEGV, SIGABRT, SIGHUP}) {
        struct sigaction previous;
        if (::sigaction(signal_number, nullptr, &previous) == 0 && !(previous.sa_flags & SA_SIGINFO) &&
            previous.sa_handler == SIG_IGN)
          continue;
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = run_signal_hook;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal_number, &action, nullptr);
      }
    });
  }

  PathStyle path_style() override { return ePathStyle_Posix; }

  FileStatus file_status(const std::wstring& path) override {
    FileStatus status;
    std::string p;
    struct stat st;
    if (!kernel_path(path, &p) || ::lstat(p.c_str(), &st) != 0) return status;
    status.exists = true;
    status.is_link = S_ISLNK(st.st_mode);
    if (status.is_link && ::stat(p.c_str(), &st) != 0) return status;  // dangling link
    status.is_directory = S_ISDIR(st.st_mode);
    status.is_regular = S_ISREG(st.st_mode);
    return status;
  }

  bool file_times(const std::wstring& path, std::int64_t* created, std::int64_t* modified) override {
    std::string p;
    if (!kernel_path(path, &p)) return false;
    // The birth time where the file system records one, else the last write.
    struct statx stx;
    if (::statx(AT_FDCWD, p.c_str(), 0, STATX_BTIME | STATX_MTIME, &stx) == 0) {
      *modified = stx.stx_mtime.tv_sec;
      *created = (stx.stx_mask & STATX_BTIME) ? stx.stx_btime.tv_sec : stx.stx_mtime.tv_sec;
      return true;
    }
    struct stat st;
    if (::stat(p.c_str(), &st) != 0) return false;
    *created = *modified = st.st_mtim.tv_sec;
    return true;
  }

  bool set_modification_time(const std::wstring& path, std::int64_t seconds) override {
    std::string p;
    if (!kernel_path(path, &p)) return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, p.c_str(), times, 0) == 0;
  }

  bool file_size(const std::wstring& path, std::uint64_t* size) override {
    std::string p;
    struct stat st;
    if (!kernel_path(path, &p) || ::stat(p.c_str(), &st) != 0) return false;
    *size = static_cast<std::uint64_t>(st.st_size);
    return true;
  }

  bool same_file(const std::wstring& a, const std::wstring& b) override {
    std::string pa, pb;
    struct stat sa, sb;
    return kernel_path(a, &pa) && kernel_path(b, &pb) && ::stat(pa.c_str(), &sa) == 0 &&
           ::stat(pb.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  }

  bool list_directory(const std::wstring& path, std::vector<std::wstring>* names) override {
    names->clear();
    std::string p;
    if (!kernel_path(path, &p)) return false;
    DIR* dir = ::opendir(p.c_str());
    if (dir == nullptr) return false;
    std::wstring name;
    while (const struct dirent* entry = ::readdir(dir)) {
      const std::string_view n(entry->d_name);
      if (n == "." || n == "..") continue;
      if (utf8_to_wide(n, &name)) names->push_back(name);
    }
    ::closedir(dir);
    return true;
  }

  CreateDirectoryResult create_directory(const std::wstring& path, std::uint32_t* os_error) override {
    std::string p;
    if (!kernel_path(path, &p)) {
      *os_error = ENOENT;
      return eCreateDirectory_Failed;
    }
    if (::mkdir(p.c_str(), 0777) == 0) return eCreateDirectory_Created;
    *os_error = static_cast<std::uint32_t>(errno);
    return errno == EEXIST ? eCreateDirectory_AlreadyExists : eCreateDirectory_Failed;
  }

  bool move_path(const std::wstring& from, const std::wstring& to) override {
    std::string f, t;
    return kernel_path(from, &f) && kernel_path(to, &t) && move_no_replace(f, t);
  }

  bool copy_file(const std::wstring& from, const std::wstring& to) override {
    std::string f, t;
    if (!kernel_path(from, &f) || !kernel_path(to, &t)) return false;
    std::error_code ec;
    return std::filesystem::copy_file(f, t, std::filesystem::copy_options::none, ec) && !ec;
  }

  bool reset_file_attributes(const std::wstring& path) override {
    std::string p;
    struct stat st;
    return kernel_path(path, &p) && ::lstat(p.c_str(), &st) == 0;
  }

  bool delete_file(const std::wstring& path) override {
    std::string p;
    return kernel_path(path, &p) && ::unlink(p.c_str()) == 0;
  }

  bool remove_directory(const std::wstring& path) override {
    std::string p;
    return kernel_path(path, &p) && ::rmdir(p.c_str()) == 0;
  }

  bool recycle(const std::wstring& path) override {
    std::string from;
    struct stat st;
    if (!kernel_path(path, &from) || ::lstat(from.c_str(), &st) != 0) return false;
    while (from.size() > 1 && from.back() == '/') from.pop_back();
    const std::string base = from.substr(from.find_last_of('/') + 1);
    std::wstring data_folder;
    std::string trash;
    if (base.empty() || base == "." || base == ".." ||
        !shell_folder(eShellFolder_ApplicationData, &data_folder) || !kernel_path(data_folder, &trash))
      return false;
    trash += "/Trash";
    std::error_code ec;
    std::filesystem::create_directories(trash + "/files", ec);
    if (ec) return false;
    std::filesystem::create_directories(trash + "/info", ec);
    if (ec) return false;

    std::tm now;
    local_time(wall_clock_seconds(), &now);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &now);
    const std::string info_text =
        "[Trash Info]\nPath=" + percent_encoded(from) + "\nDeletionDate=" + date + "\n";

    for (int n = 1; n < 100000; ++n) {
      const std::string name = n == 1 ? base : base + "." + std::to_string(n);
      const std::string info = trash + "/info/" + name + ".trashinfo";
      // The info file is the claim on the name: created exclusively first.
      const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd < 0) {
        if (errno == EEXIST) continue;
        return false;
      }
      const bool written = write_all(fd, info_text);
      ::close(fd);
      if (written && move_no_replace(from, trash + "/files/" + name)) return true;
      const int error = errno;
      ::unlink(info.c_str());
      if (!written || error != EEXIST) return false;
    }
    return false;
  }

  std::FILE* open_file(const std::wstring& path, const char* mode) override {
    std::string p;
    return kernel_path(path, &p) ? std::fopen(p.c_str(), mode) : nullptr;
  }

  bool open_filebuf(std::filebuf& buf, const std::wstring& path, std::ios::openmode mode) override {
    std::string p;
    return kernel_path(path, &p) && buf.open(p, mode) != nullptr;
  }

  bool set_binary_mode(std::FILE*) override { return true; }

  int open_temporary_file(const std::wstring& path, int* error_number) override {
    std::string p;
    if (!kernel_path(path, &p)) {
      *error_number = ENOENT;
      return -1;
    }
    const int fd = ::open(p.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
      *error_number = errno;
      return -1;
    }
    // The file lives on, nameless, until its last descriptor is closed.
    ::unlink(p.c_str());
    return fd;
  }

  int close_file_descriptor(int fd) override { return ::close(fd); }

  bool current_directory(std::wstring* out) override {
    std::vector<char> buf(512);
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
      if (errno != ERANGE || buf.size() > (1u << 20)) return false;
      buf.resize(buf.size() * 2);
    }
    return utf8_to_wide(buf.data(), out);
  }

  bool executable_path(std::wstring* out) override {
    std::vector<char> buf(512);
    for (;;) {
      const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
      if (n < 0) return false;
      if (static_cast<std::size_t>(n) < buf.size())
        return utf8_to_wide(std::string_view(buf.data(), static_cast<std::size_t>(n)), out);
      if (buf.size() > (1u << 20)) return false;
      buf.resize(buf.size() * 2);
    }
  }

  bool shell_folder(ShellFolder folder, std::wstring* out) override {
    std::string path;
    switch (folder) {
      case eShellFolder_Documents:
        if (!absolute_env("HOME", &path)) return false;
        path += "/Documents";
        break;
      case eShellFolder_ApplicationData:
        if (!absolute_env("XDG_DATA_HOME", &path)) {
          if (!absolute_env("HOME", &path)) return false;
          path += "/.local/share";
        }
        break;
      case eShellFolder_CommonApplicationData:
        path = "/usr/local/share";
        break;
      case eShellFolder_Desktop:
        if (!absolute_env("HOME", &path)) return false;
        path += "/Desktop";
        break;
      default:
        return false;
    }
    return utf8_to_wide(path, out);
  }

  bool color_directory(std::wstring* out) override {
    const char* override_dir = std::getenv("VX_COLOR_DIR");
    return utf8_to_wide(override_dir && *override_dir ? override_dir : "/usr/share/color/icc", out);
  }

  bool temporary_directory(std::wstring* out) override {
    std::string path;
    if (!absolute_env("TMPDIR", &path)) path = "/tmp";
    return utf8_to_wide(path, out);
  }

 private:
  static void fill_random(std::uint8_t* out, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
      const ssize_t got = ::getrandom(out + done, n - done, 0);
      if (got > 0) {
        done += static_cast<std::size_t>(got);
      } else if (got < 0 && errno == EINTR) {
        continue;
      } else {
        break;
      }
    }
    if (done < n) {
      // No kernel entropy source: fall back to the C++ library's device.
      std::random_device device;
      for (; done < n; ++done) out[done] = static_cast<std::uint8_t>(device());
    }
  }
};

}  // namespace

Platform& native_platform() {
  static PosixPlatform platform;
  return platform;
}

}  // namespace vxp
