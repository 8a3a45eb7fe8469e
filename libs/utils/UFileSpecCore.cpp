#include "utils/UFileSpecCore.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <istream>
#include <mutex>
#include <ostream>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "platform/Platform.h"
#include "utils/Logger.h"

namespace {

// Where the documented log lines come from; the file is spelled as the
// Windows build's compiler spells it, so lines read the same on every OS.
constexpr const char* kSourceFile = "..\\..\\libs\\utils\\UFileSpecCore.cpp";
constexpr vxu::LogSite kSiteMkdirFailed{kSourceFile, 1131, "UFileSpecCore::mkdir"};
constexpr vxu::LogSite kSiteMoveInvalidDestination{kSourceFile, 1165, "UFileSpecCore::move"};
constexpr vxu::LogSite kSiteMoveExistingDestination{kSourceFile, 1170, "UFileSpecCore::move"};
constexpr vxu::LogSite kSiteMoveMissingSource{kSourceFile, 1176, "UFileSpecCore::move"};
constexpr vxu::LogSite kSiteCopyInvalidDestination{kSourceFile, 1192, "UFileSpecCore::copy"};
constexpr vxu::LogSite kSiteCopyExistingDestination{kSourceFile, 1201, "UFileSpecCore::copy"};
constexpr vxu::LogSite kSiteCopyIntoItself{kSourceFile, 1205, "UFileSpecCore::copy"};
constexpr vxu::LogSite kSiteCopyMissingSource{kSourceFile, 1219, "UFileSpecCore::copy"};
constexpr vxu::LogSite kSiteOpenTemporaryFailed{kSourceFile, 1342, "UFileSpecCore::open_temporary"};

vxp::Platform& platform() { return vxp::Platform::Default(); }

bool is_separator(char c) { return c == '/' || c == '\\'; }

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool has_separator(std::string_view text) { return text.find_first_of("/\\") != std::string_view::npos; }

// "?" and NUL never reach the OS inside a path: "?" would start Windows'
// device namespace, NUL would end the path early.
bool has_forbidden_byte(std::string_view text) {
  return text.find('?') != std::string_view::npos || text.find('\0') != std::string_view::npos;
}

bool posix_paths() { return platform().path_style() == vxp::ePathStyle_Posix; }

// A POSIX path rooted at one "/" (two separators are the network form).
bool is_posix_rooted(std::string_view text) {
  return !text.empty() && text[0] == '/' && !(text.size() > 1 && is_separator(text[1])) && posix_paths();
}

// Bytes at the start of a path that trimming and `up` never remove.
std::size_t root_length(std::string_view text) { return is_posix_rooted(text) ? 1 : 3; }

void trim_trailing_separators(ustring& text) {
  const std::size_t root = root_length(text);
  std::size_t n = text.size();
  while (n > root && is_separator(text[n - 1])) --n;
  if (n != text.size()) text.resize(n);
}

// Removes the last component of a path text (see UFileSpecCore::up).
bool up_text(ustring& text) {
  const std::size_t root = root_length(text);
  if (text.size() <= root) return false;
  const std::size_t last = text.find_last_of("/\\");
  if (last == ustring::npos || last + 1 < root) return false;
  text.resize(last + 1);
  trim_trailing_separators(text);
  return true;
}

// Adds one piece after a separator.
void add_piece(ustring& text, const ustring& piece) {
  if (!text.empty() && !is_separator(text.back())) text.push_back('/');
  text.append(piece);
}

// True when `inner` lies inside the folder `outer` (separators equal; on
// Windows ASCII letters compared without case, as the file system does).
bool lies_within(const ustring& inner, const ustring& outer) {
  if (outer.empty() || inner.size() <= outer.size()) return false;
  const bool fold_case = !posix_paths();
  for (std::size_t i = 0; i < outer.size(); ++i) {
    char a = inner[i], b = outer[i];
    if (is_separator(a) && is_separator(b)) continue;
    if (fold_case) {
      if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
      if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    }
    if (a != b) return false;
  }
  return is_separator(outer.back()) || is_separator(inner[outer.size()]);
}

// A path text from the OS, accepted only when the conversion kept all of it.
bool text_from_native(const std::wstring& native, ustring* out) {
  ustring text(native);
  if (text.to_wstring() != native) return false;
  *out = std::move(text);
  return true;
}

// --- Process-wide state. Never destroyed: exit cleanups still use it. ------

struct CleanupList {
  std::mutex mutex;
  std::vector<std::function<void(int)>> cleanups;
};

CleanupList& cleanup_list() {
  static CleanupList* list = new CleanupList;
  return *list;
}

// Installed as the platform's exit and signal hook.
void run_cleanups(int reason) {
  CleanupList& list = cleanup_list();
  std::vector<std::function<void(int)>> pending;
  {
    // A signal may arrive while this thread holds the lock: then skip rather
    // than deadlock. At exit, wait for a registration in progress.
    std::unique_lock<std::mutex> lock(list.mutex, std::defer_lock);
    if (reason == 0) {
      if (!lock.try_lock()) return;
    } else {
      lock.lock();
    }
    pending.swap(list.cleanups);
  }
  for (auto& cleanup : pending) {
    try {
      cleanup(reason);
    } catch (...) {
    }
  }
}

struct ScratchState {
  std::mutex mutex;
  ustring path;             // empty until first use
  std::uint32_t owner = 0;  // process that chose the path
  bool cleanup_registered = false;
};

ScratchState& scratch_state() {
  static ScratchState* state = new ScratchState;
  return *state;
}

std::atomic<std::uint64_t> unique_name_counter{0};

}  // namespace

// --- Path text ---------------------------------------------------------------

bool UFileSpecCore::set_path(const ustring& path) {
  ustring text(path);  // path may be path_ itself
  path_.clear();
  if (!is_absolute_path(text) || has_forbidden_byte(text)) return false;
  trim_trailing_separators(text);
  path_ = std::move(text);
  return true;
}

bool UFileSpecCore::set_path(const ustring& path, const UFileSpecCore& base) {
  // An empty name is no file, not the base folder itself.
  if (is_absolute_path(path) || base.empty() || path.empty()) return set_path(path);
  const ustring text(path);
  path_ = base.path_;
  return append(text);
}

bool UFileSpecCore::is_valid() const { return path_.size() > 2 || is_posix_rooted(path_); }

bool UFileSpecCore::append(const ustring& relative) {
  ustring pieces_text(relative);  // relative may be path_ itself
  ustring text;
  text.swap(path_);
  if (text.empty() || is_absolute_path(pieces_text) || has_forbidden_byte(pieces_text)) return false;
  std::size_t n = pieces_text.size();
  while (n > 0 && is_separator(pieces_text[n - 1])) --n;
  pieces_text.resize(n);
  try {
    for (const ustring& piece : split(pieces_text, '/')) {
      if (piece == ".") continue;
      if (piece == "..") {
        if (!up_text(text)) return false;
        continue;
      }
      add_piece(text, piece);
    }
  } catch (const std::length_error&) {
    return false;  // longer than a ustring can hold
  }
  path_ = std::move(text);
  return true;
}

bool UFileSpecCore::up() { return up_text(path_); }

ustring UFileSpecCore::leaf_name(bool with_extension) const {
  if (path_.size() <= root_length(path_)) return ustring();
  const std::size_t last = path_.find_last_of("/\\");
  ustring leaf = last == ustring::npos ? path_ : path_.substr(last + 1);
  if (!with_extension) {
    const std::size_t dot = leaf.rfind('.');
    if (dot != ustring::npos) leaf.resize(dot);
  }
  return leaf;
}

ustring UFileSpecCore::extension() const {
  const ustring leaf = leaf_name(true);
  const std::size_t dot = leaf.rfind('.');
  return dot == ustring::npos ? ustring() : leaf.substr(dot + 1);
}

bool UFileSpecCore::set_extension(const ustring& ext) {
  if (has_separator(ext) || has_forbidden_byte(ext)) return false;
  const ustring name = leaf_name(false);
  if (name.empty()) return false;
  const std::size_t last = path_.find_last_of("/\\");
  if (last == ustring::npos) return false;
  try {
    ustring text = path_.substr(0, last + 1) + name;
    if (!ext.empty()) {
      text.push_back('.');
      text.append(ext);
    }
    path_ = std::move(text);
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

std::wstring UFileSpecCore::native_path() const {
  if (path_.view().find('\0') != std::string_view::npos) return std::wstring();
  std::wstring native = path_.to_wstring();
  if (ustring(native) != path_) return std::wstring();  // ill-formed UTF-8: conversion stopped early
  if (native.size() > kMaxPlainNativePath && !posix_paths()) {
    for (wchar_t& c : native)
      if (c == L'/') c = L'\\';
    if (native.size() > 1 && native[0] == L'\\' && native[1] == L'\\')
      native.replace(0, 2, L"\\\\?\\UNC\\");
    else
      native.insert(0, L"\\\\?\\");
  }
  return native;
}

bool UFileSpecCore::is_absolute_path(const ustring& text) {
  if (text.size() > 2) {
    if (is_ascii_letter(text[0]) && text[1] == ':' && is_separator(text[2])) return true;
    if (is_separator(text[0]) && is_separator(text[1])) return true;
  }
  return is_posix_rooted(text);
}

std::vector<ustring> UFileSpecCore::split(const ustring& text, char separator) {
  std::vector<ustring> pieces;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == ustring::npos) end = text.size();
    if (end > start) pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

// --- Queries -------------------------------------------------------------------

namespace {

vxp::FileStatus status_of(const UFileSpecCore& spec) {
  const std::wstring native = spec.native_path();
  return native.empty() ? vxp::FileStatus() : platform().file_status(native);
}

}  // namespace

bool UFileSpecCore::exists() const { return status_of(*this).exists; }

bool UFileSpecCore::is_directory() const { return status_of(*this).is_directory; }

bool UFileSpecCore::is_file() const {
  const vxp::FileStatus status = status_of(*this);
  return status.exists && !status.is_directory;
}

bool UFileSpecCore::is_empty_directory() const { return is_directory() && children().empty(); }

std::vector<UFileSpecCore> UFileSpecCore::children() const {
  std::vector<UFileSpecCore> result;
  const std::wstring native = native_path();
  std::vector<std::wstring> names;
  if (native.empty() || !platform().list_directory(native, &names)) return result;
  result.reserve(names.size());
  ustring name;
  for (const std::wstring& entry : names) {
    if (!text_from_native(entry, &name) || name.empty() || name == "." || name == "..") continue;
    UFileSpecCore child;
    child.path_ = path_;
    try {
      add_piece(child.path_, name);
    } catch (const std::length_error&) {
      continue;  // no ustring can name it
    }
    result.push_back(std::move(child));
  }
  return result;
}

std::int64_t UFileSpecCore::creation_time() const {
  const std::wstring native = native_path();
  std::int64_t created = 0, modified = 0;
  if (native.empty() || !platform().file_times(native, &created, &modified)) return 0;
  return created;
}

std::int64_t UFileSpecCore::modification_time() const {
  const std::wstring native = native_path();
  std::int64_t created = 0, modified = 0;
  if (native.empty() || !platform().file_times(native, &created, &modified)) return 0;
  return modified;
}

bool UFileSpecCore::set_modification_time(std::int64_t seconds) const {
  const std::wstring native = native_path();
  return !native.empty() && platform().set_modification_time(native, seconds);
}

std::uint64_t UFileSpecCore::file_size() const {
  const std::wstring native = native_path();
  std::uint64_t size = 0;
  if (native.empty() || !platform().file_size(native, &size)) return 0;
  return size;
}

// --- Changes -------------------------------------------------------------------

bool UFileSpecCore::mkdir() const {
  // An empty native path still goes to the OS: its refusal gives the error
  // number for the log line.
  std::uint32_t error = 0;
  switch (platform().create_directory(native_path(), &error)) {
    case vxp::eCreateDirectory_Created:
      return true;
    case vxp::eCreateDirectory_AlreadyExists:
      if (is_directory()) return true;
      break;  // a file holds the name: there is no folder
    default:
      break;
  }
  VX_LOG(vxu::eLogLevel_Warn, kSiteMkdirFailed) << static_cast<unsigned int>(error);
  return false;
}

bool UFileSpecCore::move(const UFileSpecCore& destination) const {
  if (!destination.is_valid()) {
    VX_LOG(vxu::eLogLevel_Warn, kSiteMoveInvalidDestination)
        << "attempt to move a file to an invalid destination";
    return false;
  }
  if (destination.exists()) {
    VX_LOG(vxu::eLogLevel_Warn, kSiteMoveExistingDestination)
        << "attempt to move a file to an already existing destination";
    return false;
  }
  if (exists()) return platform().move_path(native_path(), destination.native_path());
  VX_LOG(vxu::eLogLevel_Warn, kSiteMoveMissingSource) << "attempt to move a non-existing file";
  return false;
}

bool UFileSpecCore::copy(const UFileSpecCore& destination) const {
  if (destination.path_ == path_) return true;
  UFileSpecCore target(destination);
  if (destination.is_valid() && destination.is_directory() && !target.append(leaf_name(true)))
    target.clear();  // a leaf the path rules refuse
  if (!target.is_valid()) {
    VX_LOG(vxu::eLogLevel_Warn, kSiteCopyInvalidDestination)
        << "attempt to copy a file to an invalid destination";
    return false;
  }
  if (target.exists()) {
    VX_LOG(vxu::eLogLevel_Warn, kSiteCopyExistingDestination)
        << "attempt to copy a file to an already existing destination";
    return false;
  }
  const vxp::FileStatus source = status_of(*this);
  if (!source.exists) {
    VX_LOG(vxu::eLogLevel_Warn, kSiteCopyMissingSource) << "attempt to copy a non-existing file";
    return false;
  }
  if (!source.is_directory) return platform().copy_file(native_path(), target.native_path());

  // A copy inside its own tree would find itself among the children again
  // and again.
  if (lies_within(target.path_, path_)) {
    VX_LOG(vxu::eLogLevel_Warn, kSiteCopyIntoItself) << "attempt to copy a folder into itself";
    return false;
  }
  if (!target.mkdir()) return false;
  for (const UFileSpecCore& child : children()) {
    UFileSpecCore child_target(target);
    if (!child_target.append(child.leaf_name(true)) || !child.copy(child_target)) return false;
  }
  return true;
}

bool UFileSpecCore::remove() const {
  const std::wstring native = native_path();
  if (native.empty()) return false;
  vxp::Platform& os = platform();
  // A link is removed itself; walking into it would empty its target.
  const vxp::FileStatus status = os.file_status(native);
  if (status.is_directory && !status.is_link)
    for (const UFileSpecCore& child : children()) child.remove();
  os.reset_file_attributes(native);
  return os.delete_file(native) || os.remove_directory(native);
}

bool UFileSpecCore::rename(const ustring& new_name) {
  if (new_name.empty() || new_name == "." || new_name == ".." || has_separator(new_name) ||
      has_forbidden_byte(new_name) || !exists())
    return false;
  UFileSpecCore target(*this);
  if (!target.up() || !target.append(new_name)) return false;
  if (target == *this) return true;
  vxp::Platform& os = platform();
  const std::wstring from = native_path();
  const std::wstring to = target.native_path();
  // Removing the other name first must never remove this entry itself (a
  // name differing only in case on Windows, or a second link to it).
  if (target.exists() && !os.same_file(from, to)) target.remove();
  if (!os.move_path(from, to)) return false;
  path_ = target.path_;
  return true;
}

bool UFileSpecCore::recycle() const {
  if (!exists()) {
    VX_LOG(vxu::eLogLevel_Warn, kSiteMoveMissingSource) << "attempt to move a non-existing file";
    return false;
  }
  return platform().recycle(native_path());
}

bool UFileSpecCore::make_unique(const ustring& prefix, const ustring& extension) {
  const ustring stem = prefix.empty() ? ustring("t") : prefix;
  if (has_separator(stem) || has_forbidden_byte(stem) || has_separator(extension) ||
      has_forbidden_byte(extension) || !is_directory())
    return false;
  // Bounded so that a file system claiming every name exists cannot hang us.
  for (int attempt = 0; attempt < 1000000; ++attempt) {
    ustring name = stem + ustring(std::to_string(++unique_name_counter));
    if (!extension.empty()) name += '.' + extension;
    UFileSpecCore candidate(*this);
    if (!candidate.append(name)) return false;
    if (!candidate.exists()) {
      path_ = std::move(candidate.path_);
      return true;
    }
  }
  return false;
}

// --- Opening -------------------------------------------------------------------

std::FILE* UFileSpecCore::open_file(const char* mode) const {
  const std::wstring native = native_path();
  return native.empty() || mode == nullptr ? nullptr : platform().open_file(native, mode);
}

namespace {

template <class Stream>
Stream open_file_stream(const std::wstring& native, std::ios::openmode mode) {
  Stream stream;
  if (native.empty() || !platform().open_filebuf(*stream.rdbuf(), native, mode))
    stream.setstate(std::ios::failbit);
  return stream;
}

}  // namespace

std::ifstream UFileSpecCore::open_input(std::ios::openmode mode) const {
  return open_file_stream<std::ifstream>(native_path(), mode | std::ios::in);
}

std::ofstream UFileSpecCore::open_output(std::ios::openmode mode) const {
  return open_file_stream<std::ofstream>(native_path(), mode | std::ios::out);
}

std::fstream UFileSpecCore::open_stream(std::ios::openmode mode) const {
  return open_file_stream<std::fstream>(native_path(), mode);
}

int UFileSpecCore::open_temporary() const {
  const std::wstring native = native_path();
  int error = EINVAL;
  const int fd = native.empty() ? -1 : platform().open_temporary_file(native, &error);
  if (fd < 0) {
    VX_LOG(vxu::eLogLevel_Error, kSiteOpenTemporaryFailed) << std::strerror(error);
    return -1;
  }
  return fd;
}

int UFileSpecCore::close_temporary(int fd) { return fd < 0 ? -1 : platform().close_file_descriptor(fd); }

// --- References ----------------------------------------------------------------

std::vector<std::uint8_t> UFileSpecCore::to_reference(const UFileSpecCore& base) const {
  std::vector<std::uint8_t> blob;
  if (path_.empty()) return blob;
  ustring relative = path_;
  if (!base.empty()) {
    auto slashed = [](ustring text) {
      for (char& c : text)
        if (c == '\\') c = '/';
      return text;
    };
    const std::vector<ustring> mine = split(slashed(path_), '/');
    const std::vector<ustring> theirs = split(slashed(base.path_), '/');
    std::size_t common = 0;
    while (common < mine.size() && common < theirs.size() && mine[common] == theirs[common]) ++common;
    // Without a shared first component (drive, server, top folder) a
    // relative form would climb out of the base's root: keep the whole path.
    if (common > 0) {
      try {
        ustring text;
        for (std::size_t i = common; i < theirs.size(); ++i) text += "../";
        for (std::size_t i = common; i < mine.size(); ++i) {
          text += mine[i];
          text += '/';
        }
        while (!text.empty() && is_separator(text.back())) text.pop_back();
        relative = std::move(text);
      } catch (const std::length_error&) {
        // Too many "../" for a ustring: the whole path still resolves.
      }
    }
  }
  static constexpr char kTag[] = "PATH:";
  blob.assign(kTag, kTag + 5);
  blob.insert(blob.end(), relative.begin(), relative.end());
  blob.push_back(0);
  return blob;
}

namespace {

// The text of a reference blob, or false when it is not one.
bool reference_text(const std::vector<std::uint8_t>& blob, ustring* text) {
  if (blob.size() < 5 || std::memcmp(blob.data(), "PATH:", 5) != 0) return false;
  const auto* begin = reinterpret_cast<const char*>(blob.data()) + 5;
  const std::size_t available = blob.size() - 5;
  const void* nul = std::memchr(begin, '\0', available);
  const std::size_t length =
      nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - begin) : available;
  *text = ustring(begin, length);
  return true;
}

}  // namespace

bool UFileSpecCore::from_reference(const std::vector<std::uint8_t>& blob) {
  ustring text;
  path_.clear();
  return reference_text(blob, &text) && set_path(text);
}

bool UFileSpecCore::from_reference(const std::vector<std::uint8_t>& blob, const UFileSpecCore& base) {
  ustring text;
  const ustring base_path = base.path_;  // base may be *this
  path_.clear();
  if (!reference_text(blob, &text)) return false;
  if (!base_path.empty()) {
    path_ = base_path;
    if (append(text)) return true;
  }
  return set_path(text);
}

// --- Special folders and the scratch folder -----------------------------------

bool UFileSpecCore::set_special(int kind) {
  path_.clear();
  vxp::Platform& os = platform();
  std::wstring folder;
  bool found = false;
  switch (kind) {
    case eSpecialFolder_Documents:
    case eSpecialFolder_UserDocuments:
      found = os.shell_folder(vxp::eShellFolder_Documents, &folder);
      break;
    case eSpecialFolder_CurrentDirectory:
      found = os.current_directory(&folder);
      break;
    case eSpecialFolder_ApplicationFile:
    case eSpecialFolder_ApplicationFolder:
      found = os.executable_path(&folder);
      break;
    case eSpecialFolder_CommonApplicationData:
    case eSpecialFolder_CommonData:
      found = os.shell_folder(vxp::eShellFolder_CommonApplicationData, &folder);
      break;
    case eSpecialFolder_ApplicationData:
      found = os.shell_folder(vxp::eShellFolder_ApplicationData, &folder);
      break;
    case eSpecialFolder_ColorProfiles:
      found = os.color_directory(&folder);
      break;
    case eSpecialFolder_Desktop:
      found = os.shell_folder(vxp::eShellFolder_Desktop, &folder);
      break;
    case eSpecialFolder_Temporary:
      return set_scratch_folder();
    default:
      return false;
  }
  ustring text;
  if (!found || !text_from_native(folder, &text) || !set_path(text)) return false;
  if (kind == eSpecialFolder_ApplicationFolder && !up()) {
    path_.clear();
    return false;
  }
  return true;
}

bool UFileSpecCore::set_scratch_folder() {
  vxp::Platform& os = platform();
  ScratchState& state = scratch_state();
  std::lock_guard<std::mutex> lock(state.mutex);
  const std::uint32_t pid = os.current_process_id();
  if (state.path.empty() || state.owner != pid) {
    state.path.clear();
    state.cleanup_registered = false;
    std::wstring temporary;
    ustring text;
    if (!os.temporary_directory(&temporary) || !text_from_native(temporary, &text) ||
        !is_absolute_path(text) || has_forbidden_byte(text))
      return false;
    UFileSpecCore folder;
    folder.path_ = text;  // as the OS gave it: its trailing separator saves adding "/"
    if (!folder.append(ustring("vx" + std::to_string(pid)))) return false;
    folder.remove();  // left over by an earlier process with the same id
    state.path = folder.path_;
    state.owner = pid;
  }
  path_ = state.path;
  if (is_directory()) return true;
  if (!mkdir()) {
    path_.clear();
    return false;
  }
  if (!state.cleanup_registered) {
    state.cleanup_registered = true;
    // Only the process that made the folder removes it (not a forked child).
    on_exit_or_signal([folder = state.path, pid](int) {
      if (platform().current_process_id() != pid) return;
      UFileSpecCore scratch;
      scratch.path_ = folder;
      scratch.remove();
    });
  }
  return true;
}

UFileSpecCore UFileSpecCore::temporary_folder() {
  UFileSpecCore folder;
  folder.set_special(eSpecialFolder_Temporary);
  return folder;
}

void UFileSpecCore::on_exit_or_signal(std::function<void(int)> cleanup) {
  if (!cleanup) return;
  CleanupList& list = cleanup_list();
  {
    std::lock_guard<std::mutex> lock(list.mutex);
    list.cleanups.push_back(std::move(cleanup));
  }
  platform().install_exit_and_signal_hooks(&run_cleanups);
}

// --- Streams -------------------------------------------------------------------

std::ostream& operator<<(std::ostream& os, const UFileSpecCore& spec) { return os << spec.path(); }

std::istream& operator>>(std::istream& is, UFileSpecCore& spec) {
  ustring word;
  is >> word;
  spec.set_path(word);
  return is;
}
