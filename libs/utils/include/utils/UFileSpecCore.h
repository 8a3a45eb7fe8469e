// UFileSpecCore: a file specification. One path as UTF-8 text (a ustring),
// with the operations the system needs on files and folders: building paths
// from special folders and relative parts, asking the file system, creating,
// copying, moving and deleting files and folder trees, opening files and
// streams, and a per-process scratch folder.
//
// Path text (pure text rules, the same on every OS)
//   - A path is absolute when it is longer than 2 bytes and starts with a
//     letter, ":" and a separator (C:\) or with two separators (a network
//     path, \\server\share). Both "/" and "\" are separators everywhere.
//   - Where the platform uses POSIX paths (vxp::ePathStyle_Posix), a path
//     starting with a single "/" is absolute too. Its root "/" is one byte
//     long, so it takes the place of the 3-byte root below for such paths.
//   - Paths built here put "/" between the parts they add, so a path may mix
//     both separators (Windows accepts both).
//   - Trailing separators are removed where a path is stored or shortened,
//     but never below the root (3 bytes: C:\ keeps its separator).
//   - A stored path never holds "?" or a NUL byte: set_path and append refuse
//     such text, because the OS would read it as a different path.
//   - An empty specification means "no file". Every path operation accepts
//     any text (empty, 1-2 bytes, only separators, very long) without
//     throwing; failure is a false result and, where stated, an empty
//     specification.
//
// File system
//   Every call into the OS goes through vxp::Platform::Default() with
//   native_path(). Nothing here throws for file-system failures: queries
//   answer false or 0, changes answer false and, where documented, write one
//   WARN or ERROR line through vxu::system_logger (texts below).
//
// Concurrency
//   A UFileSpecCore value carries no lock: one value must not be changed by
//   two threads at once. The process-wide state (the scratch folder's path,
//   the make_unique counter, the cleanup list) is guarded, so different
//   values may be used from different threads; the system itself uses them
//   from one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "utils/ustring.h"

class UFileSpecCore {
 public:
  // Kinds for set_special.
  enum SpecialFolder : int {
    eSpecialFolder_Documents = 0,              // the user's documents
    eSpecialFolder_CurrentDirectory = 1,       // the process's working folder
    eSpecialFolder_ApplicationFile = 2,        // the running executable
    eSpecialFolder_ApplicationFolder = 3,      // the folder of that executable
    eSpecialFolder_CommonApplicationData = 4,  // data shared by all users
    eSpecialFolder_ApplicationData = 5,        // the user's application data
    eSpecialFolder_ColorProfiles = 6,          // installed colour profiles
    eSpecialFolder_Desktop = 7,                // the user's desktop
    eSpecialFolder_CommonData = 8,             // same as 4
    eSpecialFolder_UserDocuments = 9,          // same as 0
    eSpecialFolder_Temporary = 10,             // the per-process scratch folder
  };

  // Longest native path passed to the OS as it is; longer ones get the
  // extended-length form (Windows paths only).
  static constexpr std::size_t kMaxPlainNativePath = 248;

  UFileSpecCore() = default;
  // set_path(path) / set_path(path, base) / set_special(kind); on failure the
  // specification is empty.
  explicit UFileSpecCore(const ustring& path) { set_path(path); }
  UFileSpecCore(const ustring& path, const UFileSpecCore& base) { set_path(path, base); }
  explicit UFileSpecCore(SpecialFolder kind) { set_special(kind); }

  // --- Path text ------------------------------------------------------------

  // Clears, then stores an absolute path (without trailing separators).
  // Relative text, text with "?" or NUL, and empty text give false and an
  // empty specification. With a non-empty base a relative path (not empty
  // text) becomes base, then append(path).
  bool set_path(const ustring& path);
  bool set_path(const ustring& path, const UFileSpecCore& base);

  // Sets the folder of the given kind (SpecialFolder numbers). False, and
  // empty, when the OS cannot tell it, for eSpecialFolder_Temporary when the
  // scratch folder cannot be created, and for an unknown kind.
  bool set_special(int kind);

  // Adds a relative path: "." pieces are skipped, ".." removes the last
  // component (up), other pieces are added after "/" (none when the path
  // already ends with a separator). Pieces are split at "/" only; trailing
  // separators of `relative` are ignored. False, leaving the path EMPTY,
  // when this is empty, when `relative` is absolute or holds "?" or
  // NUL, or when ".." would climb above the root. Empty text changes nothing.
  bool append(const ustring& relative);

  // Removes the last component (and the separators before it). False, with
  // nothing changed, at the root (3 bytes or less) and when only the root's
  // own separators would remain (\\server gives no "\\").
  bool up();

  // Text after the last separator; empty for the root (3 bytes or less).
  // Without the extension, the part from the last "." of that name is cut.
  ustring leaf_name(bool with_extension = true) const;
  // Text after the last "." of the last component; empty when it has none.
  ustring extension() const;
  // Replaces the last component by its name without extension, plus "." and
  // ext when ext is not empty. False, with nothing changed, at the root, when
  // the name would become empty, or when ext holds a separator, "?" or NUL.
  bool set_extension(const ustring& ext);

  const ustring& path() const { return path_; }
  bool empty() const { return path_.empty(); }
  void clear() { path_.clear(); }
  // Longer than 2 bytes (or a POSIX root "/").
  bool is_valid() const;

  // The UTF-16 form handed to the OS. For Windows paths longer than
  // kMaxPlainNativePath units every "/" becomes "\" and "\\?\" is put in
  // front ("\\?\UNC\server\..." for a network path); POSIX paths pass as
  // they are. Empty when the text is not well-formed UTF-8 (a shorter,
  // different path must never reach the OS).
  std::wstring native_path() const;

  // Absolute by the rules above (needs the platform only for the POSIX form).
  static bool is_absolute_path(const ustring& text);
  // Pieces between separator characters, empty pieces dropped.
  static std::vector<ustring> split(const ustring& text, char separator);

  // --- Queries (none logs) --------------------------------------------------

  bool exists() const;
  bool is_directory() const;
  bool is_file() const;
  // An existing folder without entries.
  bool is_empty_directory() const;
  // Every entry of this folder as path + "/" + name, in the OS's order;
  // empty for an empty specification or when the folder cannot be read.
  std::vector<UFileSpecCore> children() const;
  // Seconds since 1970-01-01 UTC; 0 when the OS cannot tell.
  std::int64_t creation_time() const;
  std::int64_t modification_time() const;
  // Sets only the last-write time.
  bool set_modification_time(std::int64_t seconds) const;
  // Size in bytes; 0 when the file cannot be opened.
  std::uint64_t file_size() const;

  // --- Changes --------------------------------------------------------------
  //
  // Log lines (level, function name as written, text):
  //   WARN  UFileSpecCore::mkdir  <the OS's error number>
  //   WARN  UFileSpecCore::move   attempt to move a file to an invalid destination
  //   WARN  UFileSpecCore::move   attempt to move a file to an already existing destination
  //   WARN  UFileSpecCore::move   attempt to move a non-existing file
  //   WARN  UFileSpecCore::copy   attempt to copy a file to an invalid destination
  //   WARN  UFileSpecCore::copy   attempt to copy a file to an already existing destination
  //   WARN  UFileSpecCore::copy   attempt to copy a folder into itself
  //   WARN  UFileSpecCore::copy   attempt to copy a non-existing file
  //   ERROR UFileSpecCore::open_temporary  <the C library's text for the error>

  // Creates this one folder (not its parents). True when it was created or a
  // folder of that name exists already (no log line); otherwise WARN and
  // false, also when a file has that name.
  bool mkdir() const;
  // Moves this file or folder to `destination`, which must not exist.
  bool move(const UFileSpecCore& destination) const;
  // Copies a file, or a folder tree, to `destination`; into it, under this
  // name, when `destination` is an existing folder. Copying onto itself (same
  // text) is true at once. A tree copy stops at the first failure and keeps
  // what it copied; a folder is never copied into its own tree.
  bool copy(const UFileSpecCore& destination) const;
  // Deletes a file, or a folder with everything inside. Links are deleted,
  // never entered. True when this entry is gone.
  bool remove() const;
  // Gives the last component the name `new_name` (no separators, "?" or NUL,
  // not "." or ".."). Another entry already holding that name is removed
  // first; a name that differs only in case on Windows is the same entry and
  // is kept. False, with nothing removed, when this does not exist. On
  // success this specification names the renamed entry.
  bool rename(const ustring& new_name);
  // Moves this entry to the user's waste basket (Windows: the recycle bin).
  bool recycle() const;
  // This must be an existing folder: becomes the first path inside it named
  // prefix + n (+ "." + extension) that does not exist, n being a process-wide
  // counter incremented before each try (never reset). An empty prefix is
  // "t". False, with nothing changed, when this is not a folder or prefix or
  // extension holds a separator, "?" or NUL.
  bool make_unique(const ustring& prefix, const ustring& extension);

  // --- Opening --------------------------------------------------------------

  // C stdio stream (fopen modes such as "rb"); null on failure.
  std::FILE* open_file(const char* mode) const;
  // File streams, other readers and writers allowed; a stream that could not
  // be opened has failbit set and is_open() false. The input mode always
  // includes std::ios::in, the output mode std::ios::out.
  std::ifstream open_input(std::ios::openmode mode = std::ios::in) const;
  std::ofstream open_output(std::ios::openmode mode = std::ios::out) const;
  std::fstream open_stream(std::ios::openmode mode = std::ios::in | std::ios::out) const;
  // A read/write, binary C runtime descriptor on this file, created when
  // missing, whose file is deleted when it is closed (on POSIX its name goes
  // at once). On failure: ERROR line and a negative value. Close it with
  // close_temporary.
  int open_temporary() const;
  static int close_temporary(int fd);

  // --- References -----------------------------------------------------------

  // "PATH:" + this path relative to base + NUL ("../" once for each
  // component of base after the common leading ones, components compared
  // byte by byte with "\" read as "/"). The whole path is kept when base is
  // empty or the two share no leading component (another drive or server).
  // Empty when this is empty.
  std::vector<std::uint8_t> to_reference(const UFileSpecCore& base) const;
  // Reads a reference: false when it does not start with "PATH:". The text up
  // to the first NUL is appended to base when base is given, not empty and
  // the append succeeds; otherwise it is taken as an absolute path.
  bool from_reference(const std::vector<std::uint8_t>& blob);
  bool from_reference(const std::vector<std::uint8_t>& blob, const UFileSpecCore& base);

  // --- Scratch folder and exit cleanups -------------------------------------

  // The scratch folder: "vx" + process id in the OS's temporary folder.
  // Created on first use (removing whatever an earlier process with the same
  // id left there), removed at process exit or on a fatal signal. A forked
  // child gets its own. Empty when it cannot be created.
  static UFileSpecCore temporary_folder();

  // Registers a cleanup that runs once: at normal exit with the argument 1,
  // or with 0 when the process receives SIGINT, SIGTERM, SIGSEGV, SIGABRT or
  // the OS's break (Windows) or hang-up (POSIX) signal; the signal then ends
  // the process as it would have without the cleanups. Cleanups run in the
  // order registered; an exception from one is swallowed. In signal context
  // they are best effort (a signal that interrupts a registration skips
  // them).
  static void on_exit_or_signal(std::function<void(int)> cleanup);

  friend bool operator==(const UFileSpecCore& a, const UFileSpecCore& b) { return a.path_ == b.path_; }

 private:
  bool set_scratch_folder();

  ustring path_;
};

// Writes the path text.
std::ostream& operator<<(std::ostream& os, const UFileSpecCore& spec);
// Reads one whitespace-delimited word and applies set_path to it (no base).
std::istream& operator>>(std::istream& is, UFileSpecCore& spec);
