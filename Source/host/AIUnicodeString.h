// ai::UnicodeString: a host Unicode string owned by the plug-in.
//
// Made through the process-wide Unicode String suite (AISuites.h) and
// disposed of when the object goes. Failures throw ai::Error: the host's
// code, or kSuiteNotFoundErr when the suite is not held.
#pragma once

#include <string>
#include <string_view>

#include "AIHost.h"

namespace ai {

class UnicodeString {
 public:
  // A host string holding the UTF-8 text (empty text: an empty string).
  explicit UnicodeString(std::string_view utf8);
  ~UnicodeString();
  UnicodeString(UnicodeString&& other) noexcept : ref_(other.ref_) { other.ref_ = nullptr; }
  UnicodeString& operator=(UnicodeString&& other) noexcept;
  UnicodeString(const UnicodeString&) = delete;
  UnicodeString& operator=(const UnicodeString&) = delete;

  // The host's handle; stays owned by this object.
  UnicodeStringRef get() const { return ref_; }
  // The text as UTF-8, read back from the host.
  std::string utf8() const;

 private:
  void dispose() noexcept;

  UnicodeStringRef ref_ = nullptr;
};

}  // namespace ai
