// Small pieces the document operations share over the host's suites: the
// suites held for the plug-in's lifetime, the current document and
// dictionaries that are released however a function ends.
//
// Host calls here return codes; nothing logs. Main thread only.
#pragma once

#include "AIError.h"
#include "AIHost.h"
#include "AISuites.h"

// The suite behind a lifetime pointer of ai::suite; throws
// ai::Error(kSuiteNotFoundErr) while it is not held (the plug-in is not
// started), which the answer routing and the dispatcher report.
template <class Suite>
const Suite& Held(const Suite* suite) {
  if (suite == nullptr) throw ai::Error(ai::kSuiteNotFoundErr);
  return *suite;
}

// The host's current document, null when none is open.
ai::DocumentHandle CurrentDocument();
inline bool DocumentIsOpen() { return CurrentDocument() != nullptr; }

// A dictionary reference of the host, released (through the dictionary
// suite) when the object goes.
class HeldDictionary {
 public:
  HeldDictionary() = default;
  ~HeldDictionary();
  HeldDictionary(const HeldDictionary&) = delete;
  HeldDictionary& operator=(const HeldDictionary&) = delete;

  // Where the host stores the reference.
  ai::DictionaryRef* out() { return &ref_; }
  ai::DictionaryRef get() const { return ref_; }
  explicit operator bool() const { return ref_ != nullptr; }

 private:
  ai::DictionaryRef ref_ = nullptr;
};

// The dictionary key for text; null with the host's code in *error.
ai::DictKey DictionaryKey(const char* text, ai::Err* error);
