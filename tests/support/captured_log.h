// Captures what the process-wide logger writes (standard error) while the
// object lives. Not thread-safe: use from one test thread.
#pragma once

#include <iostream>
#include <sstream>
#include <string>

namespace vxtest {

class CapturedLog {
 public:
  CapturedLog() : previous_(std::cerr.rdbuf(captured_.rdbuf())) {}
  ~CapturedLog() { std::cerr.rdbuf(previous_); }
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;

  std::string text() const { return captured_.str(); }
  bool contains(const std::string& piece) const { return text().find(piece) != std::string::npos; }

 private:
  std::ostringstream captured_;
  std::streambuf* previous_;
};

}  // namespace vxtest
