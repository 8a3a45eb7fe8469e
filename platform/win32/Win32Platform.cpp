// Win32 implementation of the platform seam (the shipping plug-in).
//
// File services take the path exactly as the caller prepared it (long paths
// already in the extended-length form). Folder queries grow their buffers
// until the whole path fits, so a long path is never returned cut short, and
// they drop an extended-length prefix so the result is an ordinary path.
#include "platform/Platform.h"

// <windows.h> first: the other Windows headers build on it.
#include <windows.h>

#include <icm.h>
#include <rpc.h>
#include <shellapi.h>
#include <shlobj.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>

namespace vxp {
namespace {

// Windows file times count 100 ns ticks since 1601-01-01.
constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;

std::int64_t seconds_from_file_time(const FILETIME& ft) {
  const std::int64_t ticks =
      static_cast<std::int64_t>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
  return ticks / kTicksPerSecond - kSecondsFrom1601To1970;
}

FILETIME file_time_from_seconds(std::int64_t seconds) {
  const auto ticks = static_cast<std::uint64_t>((seconds + kSecondsFrom1601To1970) * kTicksPerSecond);
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

// "\\?\C:\x" -> "C:\x", "\\?\UNC\server\share" -> "\\server\share".
std::wstring without_extended_prefix(std::wstring path) {
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
  if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
  return path;
}

std::wstring widened(const char* text) {
  std::wstring out;
  if (text == nullptr || *text == 0) return out;
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (n <= 1) return out;
  out.resize(static_cast<std::size_t>(n));
  ::MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), n);
  out.resize(static_cast<std::size_t>(n - 1));
  return out;
}

std::string narrowed(const wchar_t* text) {
  std::string out;
  if (text == nullptr || *text == 0) return out;
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return out;
  out.resize(static_cast<std::size_t>(n));
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(n - 1));
  return out;
}

int shell_folder_id(ShellFolder folder) {
  switch (folder) {
    case eShellFolder_Documents:
      return CSIDL_PERSONAL;
    case eShellFolder_ApplicationData:
      return CSIDL_APPDATA;
    case eShellFolder_CommonApplicationData:
      return CSIDL_COMMON_APPDATA;
    case eShellFolder_Desktop:
      return CSIDL_DESKTOPDIRECTORY;
  }
  return -1;
}

bool file_identity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION* info) {
  const HANDLE file = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool ok = ::GetFileInformationByHandle(file, info) != 0;
  ::CloseHandle(file);
  return ok;
}

std::atomic<void (*)(int)> exit_hook{nullptr};

void run_exit_hook() {
  if (auto hook = exit_hook.load()) hook(1);
}

void run_signal_hook(int signal_number) {
  if (auto hook = exit_hook.load()) hook(0);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

class Win32Platform final : public Platform {
 public:
  std::uint32_t current_thread_id() override { return static_cast<std::uint32_t>(::GetCurrentThreadId()); }

  std::int64_t wall_clock_seconds() override { return static_cast<std::int64_t>(::_time64(nullptr)); }

  bool local_time(std::int64_t seconds, std::tm* out) override {
    std::memset(out, 0, sizeof *out);
    const __time64_t t = static_cast<__time64_t>(seconds);
    if (::_localtime64_s(out, &t) != 0) {
      std::memset(out, 0, sizeof *out);
      return false;
    }
    return true;
  }

  void create_uuid(std::uint8_t out[16]) override {
    // The identifier holds whatever UuidCreate leaves in its buffer; its
    // status (local-only identifiers) does not matter for job identifiers.
    UUID id;
    std::memset(&id, 0, sizeof id);
    ::UuidCreate(&id);
    std::memcpy(out, &id, 16);
  }

  void lower_current_thread_priority() override {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_LOWEST);
  }

  std::uint32_t current_process_id() override { return static_cast<std::uint32_t>(::GetCurrentProcessId()); }

  bool environment_variable(const char* name, std::string* value) override {
    const std::wstring wide_name = widened(name);
    const wchar_t* found = wide_name.empty() ? nullptr : ::_wgetenv(wide_name.c_str());
    if (found == nullptr) return false;
    *value = narrowed(found);
    return true;
  }

  bool set_environment_variable(const char* name, const char* value) override {
    const std::wstring wide_name = widened(name);
    if (wide_name.empty()) return false;
    // An empty value removes the variable from the C runtime's copy.
    const std::wstring wide_value = value ? widened(value) : std::wstring();
    return ::_wputenv_s(wide_name.c_str(), wide_value.c_str()) == 0;
  }

  void install_exit_and_signal_hooks(void (*hook)(int)) override {
    exit_hook.store(hook);
    static std::once_flag once;
    std::call_once(once, [] {
      std::atexit(run_exit_hook);
      for (const int signal_number : {SIGINT, SIGTERM, SIGSEGV, SIGABRT, SIGBREAK}) {
        const auto previous = std::signal(signal_number, run_signal_hook);
        if (previous == SIG_IGN) std::signal(signal_number, SIG_IGN);
      }
    });
  }

  PathStyle path_style() override { return ePathStyle_Windows; }

  FileStatus file_status(const std::wstring& path) override {
    FileStatus status;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return status;
    status.exists = true;
    status.is_directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Names in the device namespace (\\.\pipe\..., \\.\COM1) are no files.
    status.is_regular = !status.is_directory && (attributes & FILE_ATTRIBUTE_DEVICE) == 0 &&
                        path.compare(0, 4, L"\\\\.\\") != 0;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      // Symbolic links and junctions lead elsewhere; other reparse points
      // (cloud placeholders, deduplicated files) hold their own content.
      WIN32_FIND_DATAW entry;
      const HANDLE find = ::FindFirstFileW(path.c_str(), &entry);
      if (find != INVALID_HANDLE_VALUE) {
        ::FindClose(find);
        status.is_link =
            entry.dwReserved0 == IO_REPARSE_TAG_SYMLINK || entry.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT;
      } else {
        status.is_link = true;  // unknown: never walk into it
      }
    }
    return status;
  }

  bool file_times(const std::wstring& path, std::int64_t* created, std::int64_t* modified) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    *created = seconds_from_file_time(data.ftCreationTime);
    *modified = seconds_from_file_time(data.ftLastWriteTime);
    return true;
  }

  bool set_modification_time(const std::wstring& path, std::int64_t seconds) override {
    const HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const FILETIME written = file_time_from_seconds(seconds);
    const bool ok = ::SetFileTime(file, nullptr, nullptr, &written) != 0;
    ::CloseHandle(file);
    return ok;
  }

  bool file_size(const std::wstring& path, std::uint64_t* size) override {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER value;
    const bool ok = ::GetFileSizeEx(file, &value) != 0;
    ::CloseHandle(file);
    if (ok) *size = static_cast<std::uint64_t>(value.QuadPart);
    return ok;
  }

  bool same_file(const std::wstring& a, const std::wstring& b) override {
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return file_identity(a, &ia) && file_identity(b, &ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
  }

  bool list_directory(const std::wstring& path, std::vector<std::wstring>* names) override {
    names->clear();
    if (path.empty()) return false;
    std::wstring pattern = path;
    if (pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L"*.*";
    WIN32_FIND_DATAW entry;
    const HANDLE find = ::FindFirstFileW(pattern.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return false;
    do {
      const std::wstring name = entry.cFileName;
      if (name != L"." && name != L"..") names->push_back(name);
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
    return true;
  }

  CreateDirectoryResult create_directory(const std::wstring& path, std::uint32_t* os_error) override {
    if (::CreateDirectoryW(path.c_str(), nullptr)) return eCreateDirectory_Created;
    const DWORD error = ::GetLastError();
    *os_error = static_cast<std::uint32_t>(error);
    return error == ERROR_ALREADY_EXISTS ? eCreateDirectory_AlreadyExists : eCreateDirectory_Failed;
  }

  bool move_path(const std::wstring& from, const std::wstring& to) override {
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED) != 0;
  }

  bool copy_file(const std::wstring& from, const std::wstring& to) override {
    return ::CopyFileW(from.c_str(), to.c_str(), TRUE) != 0;
  }

  bool reset_file_attributes(const std::wstring& path) override {
    return ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
  }

  bool delete_file(const std::wstring& path) override { return ::DeleteFileW(path.c_str()) != 0; }

  bool remove_directory(const std::wstring& path) override { return ::RemoveDirectoryW(path.c_str()) != 0; }

  bool recycle(const std::wstring& path) override {
    // The shell wants an ordinary path with backslashes, ended by two NULs.
    std::wstring from = without_extended_prefix(path);
    for (wchar_t& c : from)
      if (c == L'/') c = L'\\';
    if (from.empty()) return false;
    from.push_back(L'\0');
    SHFILEOPSTRUCTW operation;
    std::memset(&operation, 0, sizeof operation);
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    return ::SHFileOperationW(&operation) == 0 && !operation.fAnyOperationsAborted;
  }

  std::FILE* open_file(const std::wstring& path, const char* mode) override {
    const std::wstring wide_mode(mode, mode + std::strlen(mode));
    return ::_wfopen(path.c_str(), wide_mode.c_str());
  }

  bool open_filebuf(std::filebuf& buf, const std::wstring& path, std::ios::openmode mode) override {
    return buf.open(path.c_str(), mode) != nullptr;
  }

  bool set_binary_mode(std::FILE* stream) override {
    return stream != nullptr && ::_setmode(::_fileno(stream), _O_BINARY) != -1;
  }

  int open_temporary_file(const std::wstring& path, int* error_number) override {
    int fd = -1;
    const errno_t error = ::_wsopen_s(&fd, path.c_str(), _O_RDWR | _O_CREAT | _O_BINARY | _O_TEMPORARY,
                                      _SH_DENYNO, _S_IREAD | _S_IWRITE);
    if (error != 0 || fd < 0) {
      *error_number = error != 0 ? error : errno;
      return -1;
    }
    return fd;
  }

  int close_file_descriptor(int fd) override { return ::_close(fd); }

  bool current_directory(std::wstring* out) override {
    wchar_t* cwd = ::_wgetcwd(nullptr, 0);
    if (cwd == nullptr) return false;
    *out = without_extended_prefix(cwd);
    std::free(cwd);
    return true;
  }

  bool executable_path(std::wstring* out) override {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
      const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
      if (n == 0) return false;
      if (n < buf.size()) {
        buf.resize(n);
        *out = without_extended_prefix(buf);
        return true;
      }
      if (buf.size() >= 32768) return false;
      buf.resize(buf.size() * 2);
    }
  }

  bool shell_folder(ShellFolder folder, std::wstring* out) override {
    const int id = shell_folder_id(folder);
    wchar_t buf[MAX_PATH + 1] = {};
    if (id < 0 || ::SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, buf) != S_OK) return false;
    *out = buf;
    return true;
  }

  bool color_directory(std::wstring* out) override {
    wchar_t buf[MAX_PATH + 1] = {};
    DWORD size = sizeof buf;
    if (!::GetColorDirectoryW(nullptr, buf, &size)) return false;
    *out = buf;
    return true;
  }

  bool temporary_directory(std::wstring* out) override {
    std::wstring buf(MAX_PATH + 1, L'\0');
    for (;;) {
      const DWORD n = ::GetTempPathW(static_cast<DWORD>(buf.size()), buf.data());
      if (n == 0) return false;
      if (n < buf.size()) {
        buf.resize(n);
        *out = without_extended_prefix(buf);
        return true;
      }
      buf.resize(n + 1);
    }
  }
};

}  // namespace

Platform& native_platform() {
  static Win32Platform platform;
  return platform;
}

}  // namespace vxp
