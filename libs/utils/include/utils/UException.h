// The system's own exception: a four-character domain tag, a numeric code and
// a message. what() returns the message text.
#pragma once

#include <cstdint>
#include <exception>

#include "utils/ustring.h"

class UException : public std::exception {
 public:
  // The domain of every exception raised by the utility library: "UTIL".
  static constexpr std::uint32_t kUtilDomain = 0x5554494C;

  explicit UException(std::int32_t code) : code_(code) {}
  UException(const ustring& message, std::int32_t code) : code_(code), message_(message) {}

  const char* what() const noexcept override { return message_.c_str(); }

  std::uint32_t domain() const noexcept { return domain_; }
  std::int32_t code() const noexcept { return code_; }
  const ustring& message() const noexcept { return message_; }

 private:
  std::uint32_t domain_ = kUtilDomain;
  std::int32_t code_ = 0;
  ustring message_;
};
