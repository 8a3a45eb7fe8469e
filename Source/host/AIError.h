// ai::Error: a failed host call as an exception, and ai::check, which turns a
// host result into one.
//
// Host suites report failure by a non-zero code; the plug-in's wrappers of
// those calls throw ai::Error instead, and the dispatcher hands the code back
// to the host (Plugin::Message, PluginMain).
#pragma once

#include <exception>

#include "AIHost.h"

namespace ai {

class Error : public std::exception {
 public:
  explicit Error(Err code) noexcept;

  Err code() const noexcept { return code_; }
  // "host error 'CODE'" for a four-character code of printable ASCII,
  // otherwise "host error " and the decimal value.
  const char* what() const noexcept override { return text_; }

 private:
  Err code_;
  char text_[32];
};

// Throws Error(err) unless err is kNoErr.
inline void check(Err err) {
  if (err != kNoErr) throw Error(err);
}

}  // namespace ai
