// The link between the plug-in and the desktop application: named pipes
// (client and server) and the registry.
//
// Names, paths and texts at this seam are UTF-8; the Win32 implementation
// converts to UTF-16 inside. Nothing here logs or throws.
//
// On POSIX the pipes and the registry are stand-ins built from real
// inter-process mechanisms; docs/posix-link.md describes them so that any
// program can take part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Service.h"

namespace vxp {

// Why a pipe could not be opened or served.
enum PipeError : int {
  ePipeError_None = 0,
  // No server with that name (or a stale name nobody serves).
  ePipeError_NoSuchPipe = 1,
  // A server exists but takes no connection now (all instances busy, or its
  // queue is full). The caller does not wait.
  ePipeError_Busy = 2,
  // A server is already serving the name (serve_pipe only).
  ePipeError_InUse = 3,
  // Anything else: a bad name, a refused runtime folder, an OS failure.
  ePipeError_Failed = 4,
};

// The client end of one pipe connection. Destroying it closes it.
class PipeConnection {
 public:
  virtual ~PipeConnection() = default;

  // Writes some of the bytes (at least one when size > 0 and it succeeds)
  // and stores how many in *written. False when the pipe failed (the server
  // went away); a broken pipe never raises a signal in the caller.
  virtual bool write(const void* data, std::size_t size, std::size_t* written) = 0;
};

// How a pipe server treats clients (simulators and tests).
enum PipeServeMode : int {
  // Accepts every connection.
  ePipeServe_Accept = 0,
  // Holds the name but refuses every connection: clients see
  // ePipeError_NoSuchPipe.
  ePipeServe_Refuse = 1,
};

// The server end: one listening name; one client message per connection.
class PipeServer {
 public:
  virtual ~PipeServer() = default;

  // Waits at most timeout_ms for a client, then reads what it writes until
  // it closes, at most max_bytes (more is a failed read). True with the bytes
  // in *message; false on time-out (*message empty) or a failed read.
  // *timed_out tells the two apart when it is not null. A client that stays
  // silent for 5 seconds without closing is a failed read too; after a
  // failed read the server goes on serving. A client that closes without
  // writing a byte brings no message (another server probing whether the
  // name is in use does that): receive goes on waiting for the next one.
  virtual bool receive(std::uint32_t timeout_ms, std::size_t max_bytes, std::string* message,
                       bool* timed_out) = 0;
};

// Registry hives the system reads.
enum RegistryHive : int {
  eRegistryHive_CurrentUser = 0,  // HKEY_CURRENT_USER
};

class LinkService {
 public:
  LinkService() = default;
  LinkService(const LinkService&) = delete;
  LinkService& operator=(const LinkService&) = delete;
  virtual ~LinkService();

  static LinkService& Default();

  // Opens the client end of the pipe with the Win32 name `\\.\pipe\NAME`
  // for writing, without waiting for a busy pipe. Null with the reason in
  // *error when it cannot be opened.
  virtual std::unique_ptr<PipeConnection> open_pipe(const std::string& name, PipeError* error) = 0;

  // Starts serving the pipe `\\.\pipe\NAME`. Null with the reason in *error:
  // ePipeError_InUse when a live server holds the name (a stale one is
  // replaced).
  virtual std::unique_ptr<PipeServer> serve_pipe(const std::string& name, PipeServeMode mode,
                                                 PipeError* error) = 0;

  // Reads a text value (REG_SZ on Windows) of key (levels separated by "\")
  // under hive; an empty value name is the key's default value. False when
  // the key or the value is missing, the value is not text or it is longer
  // than 16,383 bytes; *value is then empty. The text ends at the length the
  // registry gives (and at the first NUL within it).
  virtual bool read_registry_text(RegistryHive hive, const std::string& key, const std::string& value_name,
                                  std::string* value) = 0;

  // Creates the key as needed and sets a text value, as an installer does
  // (simulators and tests).
  virtual bool write_registry_text(RegistryHive hive, const std::string& key, const std::string& value_name,
                                   const std::string& value) = 0;

  // The per-user folder where the link's stand-ins and the simulators keep
  // their state (on POSIX the runtime folder R of docs/posix-link.md),
  // created on first use. False with a clear reason in *error when it cannot
  // be made or is not safe to use.
  virtual bool runtime_directory(std::string* path, std::string* error) = 0;

 protected:
  friend class ScopedService<LinkService>;
  static LinkService*& installed();
};

class LinkServiceWrapper : public LinkService {
 public:
  explicit LinkServiceWrapper(LinkService& target) : target_(target) {}

  std::unique_ptr<PipeConnection> open_pipe(const std::string& name, PipeError* error) override {
    return target_.open_pipe(name, error);
  }
  std::unique_ptr<PipeServer> serve_pipe(const std::string& name, PipeServeMode mode, PipeError* error) override {
    return target_.serve_pipe(name, mode, error);
  }
  bool read_registry_text(RegistryHive hive, const std::string& key, const std::string& value_name,
                          std::string* value) override {
    return target_.read_registry_text(hive, key, value_name, value);
  }
  bool write_registry_text(RegistryHive hive, const std::string& key, const std::string& value_name,
                           const std::string& value) override {
    return target_.write_registry_text(hive, key, value_name, value);
  }
  bool runtime_directory(std::string* path, std::string* error) override {
    return target_.runtime_directory(path, error);
  }

  LinkService& target() { return target_; }

 private:
  LinkService& target_;
};

// The OS implementation compiled into this build.
LinkService& native_link_service();

}  // namespace vxp
