// POSIX processes (Linux): the process list from /proc, programs started
// with fork/exec or posix_spawn, modules through dlopen, the language from
// the locale variables.
//
// The host is multi-threaded: between fork and exec only async-signal-safe
// calls are made, and everything the child needs is prepared before the
// fork. Every descriptor this file opens is close-on-exec, and a started
// program inherits none beyond its standard streams.
#include "platform/Process.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string_view>
#include <thread>

namespace vxp {
namespace {

// --- Process list -----------------------------------------------------------

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

bool all_digits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The target of a link, however long. False when it cannot be read.
bool read_link(const std::string& path, std::string* target) {
  for (std::size_t capacity = 256; capacity <= (1u << 16); capacity *= 4) {
    target->resize(capacity);
    const ssize_t n = ::readlink(path.c_str(), target->data(), capacity);
    if (n < 0) return false;
    if (static_cast<std::size_t>(n) < capacity) {
      target->resize(static_cast<std::size_t>(n));
      return true;
    }
  }
  return false;
}

// --- Starting programs ------------------------------------------------------

// Waits for a child of this process, retrying when a signal interrupts.
pid_t wait_for(pid_t pid, int* status, int options) {
  pid_t rc;
  do {
    rc = ::waitpid(pid, status, options);
  } while (rc < 0 && errno == EINTR);
  return rc;
}

// Exit status as ChildProcess reports it.
int exit_code_of(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// In a child before exec (async-signal-safe only): tells the parent why the
// child failed, then ends it.
[[noreturn]] void report_and_exit(int report_fd, int error, int status) {
  while (::write(report_fd, &error, sizeof error) < 0 && errno == EINTR) {
  }
  ::_exit(status);
}

// In the detached program before exec (async-signal-safe only): default
// signal actions, nothing blocked, the standard streams on the null device
// and no other descriptor surviving exec. Returns the report pipe's
// descriptor, which may have moved.
int prepare_detached_child(int report_fd, int highest_fd) {
  // A host without standard streams may have been given 0, 1 or 2 for the
  // report pipe; it must survive the streams set up below.
  if (report_fd <= 2) {
    const int moved = ::fcntl(report_fd, F_DUPFD_CLOEXEC, 3);
    if (moved < 0) ::_exit(127);
    report_fd = moved;
  }
  struct sigaction defaults;
  std::memset(&defaults, 0, sizeof defaults);
  defaults.sa_handler = SIG_DFL;
  for (int signal_number = 1; signal_number < NSIG; ++signal_number)
    ::sigaction(signal_number, &defaults, nullptr);
  sigset_t nothing;
  ::sigemptyset(&nothing);
  ::sigprocmask(SIG_SETMASK, &nothing, nullptr);

  const int null_fd = ::open("/dev/null", O_RDWR);
  if (null_fd < 0) report_and_exit(report_fd, errno, 127);
  for (int fd = 0; fd <= 2; ++fd) {
    if (null_fd != fd && ::dup2(null_fd, fd) < 0) report_and_exit(report_fd, errno, 127);
  }
  if (null_fd > 2) ::close(null_fd);

  // Everything above 2 closes at exec; the report pipe is close-on-exec
  // already and must stay open until then.
  if (::close_range(3, ~0u, CLOSE_RANGE_CLOEXEC) != 0) {
    for (int fd = 3; fd <= highest_fd; ++fd) {
      if (fd != report_fd) ::close(fd);
    }
  }
  return report_fd;
}

// The highest descriptor number this process may hold.
int highest_descriptor() {
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    return static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 1 << 20)) - 1;
  return (1 << 16) - 1;
}

// The environment of a spawned program: this one's, changed.
bool child_environment(const std::vector<std::string>& changes, std::vector<std::string>* out,
                       std::string* error) {
  out->clear();
  for (char** entry = environ; *entry != nullptr; ++entry) out->emplace_back(*entry);
  for (const std::string& change : changes) {
    const std::size_t equals = change.find('=');
    const std::string name = change.substr(0, equals);
    if (name.empty() || change.find('\0') != std::string::npos) {
      *error = "bad environment change: \"" + change + "\"";
      return false;
    }
    std::erase_if(*out, [&name](const std::string& entry) {
      return entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 &&
             entry[name.size()] == '=';
    });
    if (equals != std::string::npos) out->push_back(change);
  }
  return true;
}

std::vector<char*> pointers_to(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  pointers.reserve(texts.size() + 1);
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

class PosixChildProcess final : public ChildProcess {
 public:
  explicit PosixChildProcess(pid_t pid) : pid_(pid) {
    // A descriptor that polls readable when the program ends (Linux 5.3 and
    // later); without one, wait polls waitpid.
    pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd_ >= 0) ::fcntl(pidfd_, F_SETFD, FD_CLOEXEC);
  }
  ~PosixChildProcess() override {
    if (pidfd_ >= 0) ::close(pidfd_);
  }

  std::uint32_t id() const override { return static_cast<std::uint32_t>(pid_); }

  bool wait(std::uint32_t timeout_ms, int* exit_code) override {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    auto step = std::chrono::milliseconds(1);
    while (!reap(WNOHANG)) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      if (pidfd_ >= 0) {
        pollfd waiting{pidfd_, POLLIN, 0};
        const int wait_ms = static_cast<int>(std::min<std::int64_t>(left.count(), INT_MAX));
        if (::poll(&waiting, 1, wait_ms) < 0 && errno != EINTR) return false;
      } else {
        std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(step, left));
        step = std::min(step * 2, std::chrono::milliseconds(50));
      }
    }
    if (exit_code) *exit_code = exit_code_;
    return true;
  }

  void kill() override {
    if (reaped_) return;
    ::kill(pid_, SIGKILL);
    reap(0);
  }

 private:
  // Collects the program's status once it has ended.
  bool reap(int options) {
    if (reaped_) return true;
    int status = 0;
    const pid_t rc = wait_for(pid_, &status, options);
    if (rc == 0) return false;
    reaped_ = true;
    // ECHILD: someone else collected it (SIGCHLD ignored); its status is lost.
    exit_code_ = rc == pid_ ? exit_code_of(status) : -1;
    return true;
  }

  pid_t pid_;
  int pidfd_ = -1;
  bool reaped_ = false;
  int exit_code_ = -1;
};

class PosixLoadedModule final : public LoadedModule {
 public:
  explicit PosixLoadedModule(void* handle) : handle_(handle) {}
  ~PosixLoadedModule() override { ::dlclose(handle_); }
  void* symbol(const char* name) override { return ::dlsym(handle_, name); }

 private:
  void* handle_;
};

// --- Language ---------------------------------------------------------------

// The region where a language is primarily spoken, for the languages where
// the region's code is not the language's own letters in upper case (those,
// "de_DE", "fr_FR", "it_IT", "nl_NL", "pt_PT", ..., need no entry).
struct PrimaryRegion {
  std::string_view language;
  std::string_view region;
};
constexpr PrimaryRegion kPrimaryRegions[] = {
    {"ar", "SA"}, {"ca", "ES"}, {"cs", "CZ"}, {"da", "DK"}, {"el", "GR"}, {"en", "US"}, {"et", "EE"},
    {"fa", "IR"}, {"he", "IL"}, {"hi", "IN"}, {"ja", "JP"}, {"ko", "KR"}, {"nb", "NO"}, {"nn", "NO"},
    {"sl", "SI"}, {"sq", "AL"}, {"sr", "RS"}, {"sv", "SE"}, {"uk", "UA"}, {"vi", "VN"}, {"zh", "CN"},
};

bool ascii_letters(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// ll[_CC][.charset][@modifier]
UserLocale parse_locale(std::string_view value) {
  const UserLocale english_us{"en", 1};
  const std::size_t language_end = std::min(value.find_first_of("_.@"), value.size());
  const std::string_view language = value.substr(0, language_end);
  if (language.size() < 2 || language.size() > 3 || !ascii_letters(language))
    return english_us;  // also C, POSIX
  UserLocale locale;
  std::transform(language.begin(), language.end(), std::back_inserter(locale.language), ascii_lower);
  std::string region;
  if (language_end < value.size() && value[language_end] == '_') {
    const std::string_view rest = value.substr(language_end + 1);
    const std::string_view code = rest.substr(0, std::min(rest.find_first_of(".@"), rest.size()));
    std::transform(code.begin(), code.end(), std::back_inserter(region), ascii_upper);
  }
  std::string primary;
  std::transform(locale.language.begin(), locale.language.end(), std::back_inserter(primary), ascii_upper);
  for (const PrimaryRegion& entry : kPrimaryRegions) {
    if (entry.language == locale.language) primary = entry.region;
  }
  locale.sublanguage = region.empty() || region == primary ? 1 : 2;
  return locale;
}

// --- The service ------------------------------------------------------------

class PosixProcessService final : public ProcessService {
 public:
  bool scan_processes(const std::function<bool(const std::string&)>& visit) override {
    std::unique_ptr<DIR, DirCloser> proc(::opendir("/proc"));
    if (!proc) return false;
    std::string image;
    while (const dirent* entry = ::readdir(proc.get())) {
      if (!all_digits(entry->d_name)) continue;
      // Other users' processes cannot be read; they are skipped.
      if (!read_link(std::string("/proc/") + entry->d_name + "/exe", &image)) continue;
      if (visit(image)) break;
    }
    return true;
  }

  bool launch_detached(const std::string& path) override {
    if (path.empty() || path.find('\0') != std::string::npos) return false;
    // Prepared before fork: the child may not allocate.
    char* const argv[] = {const_cast<char*>(path.c_str()), nullptr};
    const int highest_fd = highest_descriptor();
    // The program's exec failure comes back through this pipe; a successful
    // exec closes it without a byte.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return false;

    const pid_t middle = ::fork();
    if (middle < 0) {
      ::close(report[0]);
      ::close(report[1]);
      return false;
    }
    if (middle == 0) {
      // Its own session, and the program the child of a process that ends at
      // once: the caller reaps this one, init adopts the program, so the
      // host is left with no zombie and the program with no terminal.
      ::close(report[0]);
      ::setsid();
      const pid_t program = ::_Fork();  // async-signal-safe, unlike fork
      if (program < 0) report_and_exit(report[1], errno, 1);
      if (program > 0) ::_exit(0);
      const int report_fd = prepare_detached_child(report[1], highest_fd);
      ::execve(path.c_str(), argv, environ);
      report_and_exit(report_fd, errno, 127);
    }

    ::close(report[1]);
    int status;
    wait_for(middle, &status, 0);
    int error = 0;
    ssize_t n;
    do {
      n = ::read(report[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    return n == 0;
  }

  std::unique_ptr<ChildProcess> spawn(const std::string& path, const std::vector<std::string>& args,
                                      const SpawnOptions& options, std::string* error) override {
    std::vector<std::string> argument_texts = args;
    if (argument_texts.empty()) argument_texts.push_back(path);
    std::vector<std::string> environment;
    if (!child_environment(options.environment, &environment, error)) return nullptr;
    std::vector<char*> argv = pointers_to(argument_texts);
    std::vector<char*> envp = pointers_to(environment);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawnattr_init(&attributes);
    const auto stream = [&actions](int fd, const std::string& file, int flags) {
      return file.empty()
                 ? ::posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", flags & O_ACCMODE, 0)
                 : ::posix_spawn_file_actions_addopen(&actions, fd, file.c_str(), flags, 0644);
    };
    sigset_t all, none;
    ::sigfillset(&all);
    ::sigemptyset(&none);
    int rc = stream(0, options.stdin_file, O_RDONLY);
    if (rc == 0) rc = stream(1, options.stdout_file, O_WRONLY | O_CREAT | O_TRUNC);
    if (rc == 0) rc = stream(2, options.stderr_file, O_WRONLY | O_CREAT | O_TRUNC);
    // Descriptors the caller left inheritable (sockets, pipes) stay behind.
    if (rc == 0) rc = ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    // The program starts with default signal actions and nothing blocked,
    // whatever this process has arranged.
    if (rc == 0) rc = ::posix_spawnattr_setsigdefault(&attributes, &all);
    if (rc == 0) rc = ::posix_spawnattr_setsigmask(&attributes, &none);
    if (rc == 0) rc = ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    if (rc == 0) rc = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), envp.data());
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      *error = "cannot start " + path + ": " + std::strerror(rc);
      return nullptr;
    }
    return std::make_unique<PosixChildProcess>(pid);
  }

  std::unique_ptr<LoadedModule> load_module(const std::string& path, std::string* error) override {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* reason = ::dlerror();
      *error = reason ? reason : "cannot load " + path;
      return nullptr;
    }
    return std::make_unique<PosixLoadedModule>(handle);
  }

  void sleep_ms(std::uint32_t milliseconds) override {
    struct timespec left;
    left.tv_sec = static_cast<time_t>(milliseconds / 1000);
    left.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }

  UserLocale user_locale() override {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* value = std::getenv(name);
      if (value != nullptr && *value != '\0') return parse_locale(value);
    }
    return parse_locale("");
  }
};

}  // namespace

ProcessService& native_process_service() {
  static PosixProcessService service;
  return service;
}

}  // namespace vxp
