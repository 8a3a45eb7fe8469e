// Sending answers to the plug-in's window, as Veloxa does: WM_COPYDATA with
// wParam 0, waiting at most a time-out for the window procedure's result,
// from a thread of its own so that reading the pipe never waits for a window.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "DeskAnswers.h"
#include "utils/Logger.h"

using DeskLogger = vxu::Logger<127>;

// Where vxdesk's log records come from: the log names the program, no site.
inline constexpr vxu::LogSite kDeskLogSite{nullptr, 0, nullptr};

// Sends one answer (through vxp::WindowSystem::send_copy_data) and returns
// the window procedure's result; *delivered tells whether one came back (no
// window, a time-out or a window that went away: false, result 0).
std::int64_t SendAnswer(const DeskAnswer& answer, std::uint32_t timeout_ms, bool* delivered);

// A queue of answers and the thread that sends them in order, logging each
// answer's code, text size, window and result.
class DeskSender {
 public:
  DeskSender(std::uint32_t timeout_ms, DeskLogger& log);
  // Finish(false) unless it was called.
  ~DeskSender();
  DeskSender(const DeskSender&) = delete;
  DeskSender& operator=(const DeskSender&) = delete;

  // Queues an answer; label names its request in the log.
  void Post(DeskAnswer answer, std::string label);

  // Ends the thread and waits for it: with drain after every queued answer
  // is sent, without after the answer being sent now (the others are dropped
  // and counted in the log). Posting afterwards drops the answer.
  void Finish(bool drain);

 private:
  struct Item {
    DeskAnswer answer;
    std::string label;
  };

  void Run();

  const std::uint32_t timeout_ms_;
  DeskLogger& log_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Item> queue_;
  bool finishing_ = false;
  bool drain_ = false;
  std::thread thread_;
};
