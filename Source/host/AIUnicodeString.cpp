#include "AIUnicodeString.h"

#include "AIError.h"
#include "AISuites.h"

namespace ai {

namespace {

const UnicodeStringSuite& Suite() {
  if (suite::unicodeString == nullptr) throw Error(kSuiteNotFoundErr);
  return *suite::unicodeString;
}

}  // namespace

UnicodeString::UnicodeString(std::string_view utf8) {
  UnicodeStringRef made = nullptr;
  check(Suite().NewFromUTF8(utf8.data(), utf8.size(), &made));
  ref_ = made;
}

UnicodeString::~UnicodeString() { dispose(); }

UnicodeString& UnicodeString::operator=(UnicodeString&& other) noexcept {
  if (this != &other) {
    dispose();
    ref_ = other.ref_;
    other.ref_ = nullptr;
  }
  return *this;
}

std::string UnicodeString::utf8() const {
  const char* text = nullptr;
  std::size_t length = 0;
  check(Suite().GetUTF8(ref_, &text, &length));
  return text == nullptr ? std::string() : std::string(text, length);
}

void UnicodeString::dispose() noexcept {
  // The suite is held whenever a string exists: strings live inside host
  // messages of a started plug-in.
  if (ref_ != nullptr && suite::unicodeString != nullptr) suite::unicodeString->DisposeString(ref_);
  ref_ = nullptr;
}

}  // namespace ai
