// Processes: the machine's process list, starting programs, sleeping, and
// the user's language.
//
// Texts at this seam are UTF-8; the Win32 implementation converts to and
// from UTF-16 inside. Nothing here logs or throws.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Service.h"

namespace vxp {

// The user's language as the OS reports it.
struct UserLocale {
  // ISO 639 language name in lower case ("en", "de", "zh").
  std::string language;
  // The OS's sub-language number: 1 is the language's primary variant
  // (English as spoken in the United States, German in Germany), other
  // regions have other numbers. (Windows: the high six bits of
  // GetUserDefaultLangID.) On POSIX another region is always 2, and a locale
  // that names no region counts as the primary variant.
  int sublanguage = 0;
};

// A program started by spawn. Destroying the object neither waits for nor
// ends the program.
class ChildProcess {
 public:
  virtual ~ChildProcess() = default;

  virtual std::uint32_t id() const = 0;

  // Waits at most timeout_ms for the program to end. True when it ended
  // (now or before); *exit_code is its exit status, or 128 + the signal
  // number when a signal ended it.
  virtual bool wait(std::uint32_t timeout_ms, int* exit_code) = 0;

  // Ends the program at once (SIGKILL, TerminateProcess) and reaps it.
  virtual void kill() = 0;
};

// A shared library loaded into this process. Destroying the object unloads
// it; symbols found through it are then invalid.
class LoadedModule {
 public:
  virtual ~LoadedModule() = default;
  // The address of an exported symbol, or null.
  virtual void* symbol(const char* name) = 0;
};

struct SpawnOptions {
  // Files for the standard streams; empty: the null device. An output file
  // is created or truncated.
  std::string stdin_file;
  std::string stdout_file;
  std::string stderr_file;
  // Environment changes for the child only: "NAME=VALUE" sets a variable,
  // "NAME" alone removes it. The rest is inherited.
  std::vector<std::string> environment;
};

class ProcessService {
 public:
  ProcessService() = default;
  ProcessService(const ProcessService&) = delete;
  ProcessService& operator=(const ProcessService&) = delete;
  virtual ~ProcessService();

  static ProcessService& Default();

  // Calls visit with the image name of each process of the machine whose
  // image name can be read (the others are skipped), until visit returns
  // true. The image name is in the form this OS matches paths against: on
  // Windows the device form of the path, lower-cased (ASCII letters); on
  // POSIX the path of the executable as /proc/PID/exe gives it, unchanged
  // (file names are case-sensitive there). Returns false when no list of
  // processes can be taken (visit is then never called); every handle opened
  // is closed before returning.
  virtual bool scan_processes(const std::function<bool(const std::string& image)>& visit) = 0;

  // Starts the program at path as the shell's "open" would: detached from
  // the calling process, no arguments, no shell interpreting the path, the
  // standard streams on the null device and no descriptors inherited.
  // Returns false when the program could not be started.
  virtual bool launch_detached(const std::string& path) = 0;

  // Starts a program with arguments (args[0] is passed as the program's name)
  // and returns it, or null with the OS's reason in *error. For simulators
  // and tests; the plug-in never waits for a program.
  virtual std::unique_ptr<ChildProcess> spawn(const std::string& path, const std::vector<std::string>& args,
                                              const SpawnOptions& options, std::string* error) = 0;

  // Loads a shared library (a plug-in) by path; null with the OS's reason in
  // *error.
  virtual std::unique_ptr<LoadedModule> load_module(const std::string& path, std::string* error) = 0;

  // Blocks the calling thread.
  virtual void sleep_ms(std::uint32_t milliseconds) = 0;

  // The user's default language. On POSIX from the first of LC_ALL,
  // LC_MESSAGES and LANG that is set and not empty ("ll[_CC][.charset]
  // [@modifier]"); "C", "POSIX", a value naming no language, or none of
  // them count as English (United States).
  virtual UserLocale user_locale() = 0;

 protected:
  friend class ScopedService<ProcessService>;
  static ProcessService*& installed();
};

class ProcessServiceWrapper : public ProcessService {
 public:
  explicit ProcessServiceWrapper(ProcessService& target) : target_(target) {}

  bool scan_processes(const std::function<bool(const std::string&)>& visit) override {
    return target_.scan_processes(visit);
  }
  bool launch_detached(const std::string& path) override { return target_.launch_detached(path); }
  std::unique_ptr<ChildProcess> spawn(const std::string& path, const std::vector<std::string>& args,
                                      const SpawnOptions& options, std::string* error) override {
    return target_.spawn(path, args, options, error);
  }
  std::unique_ptr<LoadedModule> load_module(const std::string& path, std::string* error) override {
    return target_.load_module(path, error);
  }
  void sleep_ms(std::uint32_t milliseconds) override { target_.sleep_ms(milliseconds); }
  UserLocale user_locale() override { return target_.user_locale(); }

  ProcessService& target() { return target_; }

 private:
  ProcessService& target_;
};

// The OS implementation compiled into this build.
ProcessService& native_process_service();

}  // namespace vxp
