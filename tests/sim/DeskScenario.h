// A scenario around one vxdesk: a private runtime folder and registry, the
// windows vxdesk answers (made and pumped by the test), vxdesk processes
// that are always ended, and readers for the answers it sends. The plug-in
// joins through vxhost, run as a program with a script of the test.
//
// Every wait is bounded; a vxdesk still running at the end of a test is
// stopped (`vxdesk stop`) and then killed, a vxhost still running is killed,
// and a vxdesk that the plug-in launched (its pid file is in R) is stopped.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "datastruct/BJobFile.h"
#include "platform/Process.h"
#include "platform/WindowSystem.h"

namespace vxdesktest {

// One WM_COPYDATA that reached a test window.
struct Received {
  vxp::WindowHandle window;
  std::uint64_t wparam;
  std::uint64_t code;
  std::string text;
};

// What a vxdesk command printed and how it ended.
struct RunResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// How a vxhost run ended: its exit status, its standard error (the
// plug-in's log goes there) and its report (JSON text, "" when none).
struct HostRun {
  int exit_code = -1;
  std::string err;
  std::string report;
};

// Long enough for anything that works; waits end as soon as they can.
inline constexpr std::uint32_t kPatienceMs = 15000;

class DeskScenario : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A path in the runtime folder R.
  std::string InRuntime(const std::string& name) const { return runtime_ + "/" + name; }
  // A path in the test's own folder (beside R).
  std::string InFolder(const std::string& name) const { return folder_ + "/" + name; }

  // Starts a serving vxdesk with args (none: as the plug-in starts it) and,
  // unless told otherwise, waits until its log says it serves. environment
  // changes the child's variables as vxp::SpawnOptions::environment does.
  void StartDesk(const std::vector<std::string>& args = {}, bool wait_until_serving = true,
                 const std::vector<std::string>& environment = {});
  // Waits for the started vxdesk to end by itself; false when it does not
  // within timeout_ms.
  bool DeskEnds(int* exit_code, std::uint32_t timeout_ms = kPatienceMs);
  // Runs a vxdesk command to its end, pumping the test's windows meanwhile
  // (a `send` waits for their result).
  RunResult RunDesk(const std::vector<std::string>& args);

  // Starts vxhost --fast with the plug-in module and the script text (one
  // run at a time), after the options in host_options_ (such as
  // "--host-version", "13"); environment as for StartDesk. FinishHost waits
  // for it to end (pumping the test's windows meanwhile) and reads its
  // report; RunHost does both.
  void StartHost(const std::string& script, const std::vector<std::string>& environment = {});
  HostRun FinishHost();
  HostRun RunHost(const std::string& script, const std::vector<std::string>& environment = {}) {
    StartHost(script, environment);
    return FinishHost();
  }

  // Copies the vxdesk program into the test's folder and registers the copy
  // as Veloxa, so that a test that counts launches sees only its own
  // processes. Returns the copy's path ("" with a test failure).
  std::string RegisterDeskCopy();

  // The messages vxdesk recorded, one a line, in order.
  std::vector<std::string> Record() const;
  // Pumps the test's windows until the record holds n messages.
  bool RecordHolds(std::size_t n, std::uint32_t timeout_ms = kPatienceMs);

  // Writes bytes over one connection to the pipe vxdesk serves, waiting
  // while the server's queue is full. False when the pipe cannot be opened
  // or written.
  bool SendToPipe(const std::string& bytes);
  // A request as the plug-in writes it, naming the window; extra members
  // (JSON text, each followed by a comma) go first.
  std::string Request(const char* what, vxp::WindowHandle window, const std::string& extra = "") const;

  // Pumps the test's windows until done() or the time runs out.
  bool PumpUntil(const std::function<bool()>& done, std::uint32_t timeout_ms = kPatienceMs);
  // Pumps until n answers have arrived; false after the patience.
  bool AnswersArrive(std::size_t n) {
    return PumpUntil([&] { return Answers().size() >= n; });
  }
  // Waits until the log holds text.
  bool LogSays(const std::string& text, std::uint32_t timeout_ms = kPatienceMs);
  std::string Log() const;

  // A new window of the test whose procedure records kMessage_CopyData and
  // returns the result set by SetWindowResult (1 unless changed).
  vxp::WindowHandle MakeWindow();
  static void SetWindowResult(std::int64_t result);
  static std::vector<Received> Answers();

  // Writes a file in the test's folder and returns its path.
  std::string WriteFile(const std::string& name, const std::string& content) const;

  vxp::WindowHandle window_ = 0;
  std::vector<std::string> host_options_;
  std::unique_ptr<vxp::ChildProcess> desk_;
  std::unique_ptr<vxp::ChildProcess> host_;

 private:
  std::string folder_;
  std::string runtime_;
  std::vector<vxp::WindowHandle> windows_;
  // Variables this test changed, with their values before (none: unset).
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_environment_;
};

// The bytes of an answer text: checks that it is UTF-16LE text of upper-case
// hexadecimal digits, two per byte; false otherwise.
bool DecodeAnswerText(const std::string& text, std::string* bytes);

// Reads the job of an answer text (full content); false with a test failure
// when the text or the job cannot be read.
bool ReadAnswerJob(const std::string& text, BJobFile* job);

// The file's bytes ("" when it cannot be read).
std::string FileText(const std::string& path);

// How often part occurs in text.
std::size_t Occurrences(const std::string& text, const std::string& part);

}  // namespace vxdesktest
