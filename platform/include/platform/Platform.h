// The operating-system seam. Everything the system needs from the OS goes
// through Platform; nothing outside platform/ includes an OS header.
//
// One implementation per OS is compiled in (posix/ or win32/, chosen by CMake).
// Tests replace services by deriving from PlatformWrapper and overriding only
// what they need, then installing the double with ScopedPlatform.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <ios>
#include <iosfwd>
#include <string>
#include <vector>

namespace vxp {

// How the OS spells file-system paths (see file services below).
enum PathStyle : int {
  // Drive-letter and network paths; long paths need the extended-length form.
  ePathStyle_Windows = 0,
  // Paths rooted at "/"; no length-dependent form.
  ePathStyle_Posix = 1,
};

// Folders the shell knows by kind.
enum ShellFolder : int {
  eShellFolder_Documents = 0,
  eShellFolder_ApplicationData = 1,
  eShellFolder_CommonApplicationData = 2,
  eShellFolder_Desktop = 3,
};

// What the file system holds at a path. Directory links count as
// directories; `is_link` tells that the entry itself is a link (a symbolic
// link, or a junction on Windows), so tree walks must not enter it.
// `is_regular`: a plain file (links followed), not a folder, device, pipe or
// socket, so reading it ends and never waits for a writer.
struct FileStatus {
  bool exists = false;
  bool is_directory = false;
  bool is_link = false;
  bool is_regular = false;
};

// Outcome of create_directory.
enum CreateDirectoryResult : int {
  eCreateDirectory_Created = 0,
  eCreateDirectory_AlreadyExists = 1,  // something (a folder or a file) has that name
  eCreateDirectory_Failed = 2,
};

class Platform {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  virtual ~Platform();

  // The platform in use: the OS implementation unless a test installed one.
  static Platform& Default();

  // Operating-system identifier of the calling thread.
  virtual std::uint32_t current_thread_id() = 0;

  // Wall-clock time in whole seconds since 1970-01-01 UTC.
  virtual std::int64_t wall_clock_seconds() = 0;

  // Converts seconds since 1970 to the local calendar time. Returns false and
  // leaves *out zeroed when the time cannot be represented.
  virtual bool local_time(std::int64_t seconds, std::tm* out) = 0;

  // Fills out with a new random 16-byte identifier laid out as the Windows
  // UUID structure in memory (version 4, RFC 4122 variant).
  virtual void create_uuid(std::uint8_t out[16]) = 0;

  // Runs the calling thread at the lowest priority the OS grants it
  // (background writers). Best effort: failures are ignored.
  virtual void lower_current_thread_priority() = 0;

  // --- Process -------------------------------------------------------------

  virtual std::uint32_t current_process_id() = 0;

  // Value of an environment variable (names and values UTF-8). False when it
  // is not set.
  virtual bool environment_variable(const char* name, std::string* value) = 0;
  // Sets a variable of this process, or removes it when value is null.
  virtual bool set_environment_variable(const char* name, const char* value) = 0;

  // Arranges that hook(1) runs at normal process exit and hook(0) when the
  // process receives SIGINT, SIGTERM, SIGSEGV, SIGABRT or the OS's break or
  // hang-up signal; after the hook the signal's default action is restored
  // and the signal raised again, so the process still ends as the signal
  // intends. Signals the process ignores stay ignored. Installing the same
  // hook again does nothing. The hook runs in signal context: best effort.
  virtual void install_exit_and_signal_hooks(void (*hook)(int reason)) = 0;

  // --- Files ---------------------------------------------------------------
  // Paths are UTF-16 code units held in wchar_t on every OS (the form
  // ustring::to_wstring gives), exactly as the caller prepared them for this
  // OS (path_style). Nothing here logs or throws; failure is a false result,
  // a null stream or a negative descriptor. The POSIX implementation refuses
  // any path that does not start with "/" and any text that is not valid
  // UTF-16.

  virtual PathStyle path_style() = 0;

  virtual FileStatus file_status(const std::wstring& path) = 0;
  // Creation and last-write times in seconds since 1970-01-01 UTC.
  virtual bool file_times(const std::wstring& path, std::int64_t* created, std::int64_t* modified) = 0;
  // Sets only the last-write time.
  virtual bool set_modification_time(const std::wstring& path, std::int64_t seconds) = 0;
  virtual bool file_size(const std::wstring& path, std::uint64_t* size) = 0;
  // True when both paths name one existing file or folder (links followed;
  // on Windows the names may differ in case).
  virtual bool same_file(const std::wstring& a, const std::wstring& b) = 0;
  // Names of the entries of a folder (without "." and ".."), in the order the
  // OS returns them.
  virtual bool list_directory(const std::wstring& path, std::vector<std::wstring>* names) = 0;

  // Creates one folder (not its parents). os_error receives the OS's error
  // number (GetLastError, errno) on failure.
  virtual CreateDirectoryResult create_directory(const std::wstring& path, std::uint32_t* os_error) = 0;
  // Moves or renames a file or folder; fails when `to` exists. Files may move
  // between volumes, folders only within one.
  virtual bool move_path(const std::wstring& from, const std::wstring& to) = 0;
  // Copies one file; fails when `to` exists.
  virtual bool copy_file(const std::wstring& from, const std::wstring& to) = 0;
  // Clears attributes that stop a deletion (read-only); a no-op on POSIX.
  virtual bool reset_file_attributes(const std::wstring& path) = 0;
  // Deletes a file or a link (not a folder).
  virtual bool delete_file(const std::wstring& path) = 0;
  // Deletes an empty folder (or a link to a folder).
  virtual bool remove_directory(const std::wstring& path) = 0;
  // Moves a file or folder to the user's waste basket.
  virtual bool recycle(const std::wstring& path) = 0;

  // C stdio stream (mode as for fopen); null on failure.
  virtual std::FILE* open_file(const std::wstring& path, const char* mode) = 0;
  // Opens buf on the file, other readers and writers allowed.
  virtual bool open_filebuf(std::filebuf& buf, const std::wstring& path, std::ios::openmode mode) = 0;
  // Makes a C stdio stream (stdin, stdout) pass bytes unchanged, without
  // line-end translation; true where the OS makes no such difference.
  virtual bool set_binary_mode(std::FILE* stream) = 0;
  // A read/write descriptor, binary, created when missing, whose file is
  // deleted when closed (on POSIX: its name is removed at once). Returns -1
  // and the C library's errno value in *error_number on failure.
  virtual int open_temporary_file(const std::wstring& path, int* error_number) = 0;
  virtual int close_file_descriptor(int fd) = 0;

  // --- Folders -------------------------------------------------------------

  virtual bool current_directory(std::wstring* out) = 0;
  // Full path of the running executable.
  virtual bool executable_path(std::wstring* out) = 0;
  virtual bool shell_folder(ShellFolder folder, std::wstring* out) = 0;
  // Where colour profiles are installed.
  virtual bool color_directory(std::wstring* out) = 0;
  // The folder for temporary files, possibly with a trailing separator.
  virtual bool temporary_directory(std::wstring* out) = 0;

 protected:
  friend class ScopedPlatform;
  static Platform*& installed();
};

// Forwards every call to another platform; a test double derives from it and
// overrides only the services it fakes.
class PlatformWrapper : public Platform {
 public:
  explicit PlatformWrapper(Platform& target) : target_(target) {}

  std::uint32_t current_thread_id() override { return target_.current_thread_id(); }
  std::int64_t wall_clock_seconds() override { return target_.wall_clock_seconds(); }
  bool local_time(std::int64_t seconds, std::tm* out) override { return target_.local_time(seconds, out); }
  void create_uuid(std::uint8_t out[16]) override { target_.create_uuid(out); }
  void lower_current_thread_priority() override { target_.lower_current_thread_priority(); }

  std::uint32_t current_process_id() override { return target_.current_process_id(); }
  bool environment_variable(const char* name, std::string* value) override {
    return target_.environment_variable(name, value);
  }
  bool set_environment_variable(const char* name, const char* value) override {
    return target_.set_environment_variable(name, value);
  }
  void install_exit_and_signal_hooks(void (*hook)(int)) override {
    target_.install_exit_and_signal_hooks(hook);
  }

  PathStyle path_style() override { return target_.path_style(); }
  FileStatus file_status(const std::wstring& path) override { return target_.file_status(path); }
  bool file_times(const std::wstring& path, std::int64_t* created, std::int64_t* modified) override {
    return target_.file_times(path, created, modified);
  }
  bool set_modification_time(const std::wstring& path, std::int64_t seconds) override {
    return target_.set_modification_time(path, seconds);
  }
  bool file_size(const std::wstring& path, std::uint64_t* size) override {
    return target_.file_size(path, size);
  }
  bool same_file(const std::wstring& a, const std::wstring& b) override { return target_.same_file(a, b); }
  bool list_directory(const std::wstring& path, std::vector<std::wstring>* names) override {
    return target_.list_directory(path, names);
  }
  CreateDirectoryResult create_directory(const std::wstring& path, std::uint32_t* os_error) override {
    return target_.create_directory(path, os_error);
  }
  bool move_path(const std::wstring& from, const std::wstring& to) override {
    return target_.move_path(from, to);
  }
  bool copy_file(const std::wstring& from, const std::wstring& to) override {
    return target_.copy_file(from, to);
  }
  bool reset_file_attributes(const std::wstring& path) override {
    return target_.reset_file_attributes(path);
  }
  bool delete_file(const std::wstring& path) override { return target_.delete_file(path); }
  bool remove_directory(const std::wstring& path) override { return target_.remove_directory(path); }
  bool recycle(const std::wstring& path) override { return target_.recycle(path); }
  std::FILE* open_file(const std::wstring& path, const char* mode) override {
    return target_.open_file(path, mode);
  }
  bool open_filebuf(std::filebuf& buf, const std::wstring& path, std::ios::openmode mode) override {
    return target_.open_filebuf(buf, path, mode);
  }
  bool set_binary_mode(std::FILE* stream) override { return target_.set_binary_mode(stream); }
  int open_temporary_file(const std::wstring& path, int* error_number) override {
    return target_.open_temporary_file(path, error_number);
  }
  int close_file_descriptor(int fd) override { return target_.close_file_descriptor(fd); }

  bool current_directory(std::wstring* out) override { return target_.current_directory(out); }
  bool executable_path(std::wstring* out) override { return target_.executable_path(out); }
  bool shell_folder(ShellFolder folder, std::wstring* out) override {
    return target_.shell_folder(folder, out);
  }
  bool color_directory(std::wstring* out) override { return target_.color_directory(out); }
  bool temporary_directory(std::wstring* out) override { return target_.temporary_directory(out); }

  Platform& target() { return target_; }

 private:
  Platform& target_;
};

// Installs a platform for the lifetime of this object (tests only); restores
// the previous one on destruction. Not thread-safe: install before starting
// threads that use the platform.
class ScopedPlatform {
 public:
  explicit ScopedPlatform(Platform& replacement) : previous_(Platform::installed()) {
    Platform::installed() = &replacement;
  }
  ~ScopedPlatform() { Platform::installed() = previous_; }
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform* previous_;
};

// The OS implementation compiled into this build.
Platform& native_platform();

}  // namespace vxp
