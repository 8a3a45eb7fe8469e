#include "SuiteSet.h"

#include <cstdint>
#include <iterator>
#include <type_traits>

#include "AISuites.h"

namespace {

struct SuiteEntry {
  const char* name;
  std::int32_t version;
  // Stores a table (or null) into the entry's typed ai::suite pointer.
  void (*assign)(const void* table);
};

template <auto& Pointer>
void Assign(const void* table) {
  Pointer = static_cast<std::remove_reference_t<decltype(Pointer)>>(table);
}

namespace s = ai::suite;
constexpr SuiteEntry kEntries[] = {
    {ai::kAccessSuite, ai::kAccessSuiteVersion, Assign<s::access>},
    {ai::kPluginsSuite, ai::kPluginsSuiteVersion, Assign<s::plugins>},
    {ai::kNotifierSuite, ai::kNotifierSuiteVersion, Assign<s::notifier>},
    {ai::kContextSuite, ai::kContextSuiteVersion, Assign<s::context>},
    {ai::kUserSuite, ai::kUserSuiteVersion, Assign<s::user>},
    {ai::kFilePathSuite, ai::kFilePathSuiteVersion, Assign<s::filePath>},
    {ai::kFoldersSuite, ai::kFoldersSuiteVersion, Assign<s::folders>},
    {ai::kBlocksSuite, ai::kBlocksSuiteVersion, Assign<s::blocks>},
    {ai::kMenuSuite, ai::kMenuSuiteVersion, Assign<s::menu>},
    {ai::kUnicodeStringSuite, ai::kUnicodeStringSuiteVersion, Assign<s::unicodeString>},
    {ai::kDocumentSuite, ai::kDocumentSuiteVersion, Assign<s::document>},
    {ai::kDocumentListSuite, ai::kDocumentListSuiteVersion, Assign<s::documentList>},
    {ai::kDictionarySuite, ai::kDictionarySuiteVersion, Assign<s::dictionary>},
    {ai::kActionManagerSuite, ai::kActionManagerSuiteVersion, Assign<s::actionManager>},
    {ai::kMatchingArtSuite, ai::kMatchingArtSuiteVersion, Assign<s::matchingArt>},
    {ai::kMdMemorySuite, ai::kMdMemorySuiteVersion, Assign<s::mdMemory>},
    {ai::kArtSuite, ai::kArtSuiteVersion, Assign<s::art>},
    {ai::kArtboardSuite, ai::kArtboardSuiteVersion, Assign<s::artboard>},
};
constexpr int kEntryCount = static_cast<int>(std::size(kEntries));

// Which suites of the list are held.
bool acquired[kEntryCount] = {};
int holder_count = 0;
// The error of the first holder's acquisition, shared by the later ones.
ai::Err acquisition_error = ai::kNoErr;
// The basic suite the suites were acquired through: releases go back to it,
// whatever basic suite the message that ends the last holder carries.
ai::BasicSuite* acquired_through = nullptr;

ai::Err AcquireAll() {
  if (acquired_through == nullptr || acquired_through->AcquireSuite == nullptr) return ai::kSuiteNotFoundErr;
  for (int i = 0; i < kEntryCount; ++i) {
    const void* table = nullptr;
    ai::Err err = acquired_through->AcquireSuite(kEntries[i].name, kEntries[i].version, &table);
    if (err == ai::kNoErr && table == nullptr) {
      // Success without a table would have us call through null later: a
      // missing suite, and nothing to release.
      err = ai::kSuiteNotFoundErr;
    }
    if (err != ai::kNoErr) return err;
    kEntries[i].assign(table);
    acquired[i] = true;
  }
  return ai::kNoErr;
}

void ReleaseAll() {
  for (int i = 0; i < kEntryCount; ++i) {
    if (!acquired[i]) continue;
    if (acquired_through != nullptr && acquired_through->ReleaseSuite != nullptr)
      acquired_through->ReleaseSuite(kEntries[i].name, kEntries[i].version);
    kEntries[i].assign(nullptr);
    acquired[i] = false;
  }
  acquired_through = nullptr;
  acquisition_error = ai::kNoErr;
}

}  // namespace

int SuiteSet::holders() { return holder_count; }

SuiteSet::SuiteSet() {
  if (holder_count++ > 0) {
    error_ = acquisition_error;
    return;
  }
  acquired_through = ai::suite::basic;
  try {
    error_ = acquisition_error = AcquireAll();
  } catch (...) {
    // No holder came to be, so no destructor will release what was taken.
    holder_count = 0;
    ReleaseAll();
    throw;
  }
}

SuiteSet::~SuiteSet() {
  if (--holder_count > 0) return;
  holder_count = 0;
  ReleaseAll();
}
