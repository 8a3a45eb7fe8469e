#include "HostDocument.h"

ai::DocumentHandle CurrentDocument() {
  ai::DocumentHandle document = nullptr;
  if (Held(ai::suite::document).GetDocument(&document) != ai::kNoErr) return nullptr;
  return document;
}

HeldDictionary::~HeldDictionary() {
  if (ref_ != nullptr && ai::suite::dictionary != nullptr) ai::suite::dictionary->Release(ref_);
}

ai::DictKey DictionaryKey(const char* text, ai::Err* error) {
  ai::DictKey key = nullptr;
  *error = Held(ai::suite::dictionary).Key(text, &key);
  if (*error == ai::kNoErr && key == nullptr) *error = ai::kBadParameterErr;
  return *error == ai::kNoErr ? key : nullptr;
}
