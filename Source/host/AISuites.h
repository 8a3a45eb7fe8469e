// The host suites as the plug-in holds them.
//
// ai::suite: the process-wide pointers to the suites held for the plug-in's
// lifetime. They are null until a SuiteSet acquires them and null again once
// the last SuiteSet releases them (SuiteSet.h); code that runs inside a host
// message of a started plug-in may rely on them. `basic` is the basic suite of
// the message being handled (set by PluginMain on every call).
//
// ai::AcquiredSuite: a suite held around one use.
#pragma once

#include <cstdint>

#include "AIHost.h"

namespace ai {

namespace suite {
extern BasicSuite* basic;
extern const AccessSuite* access;
extern const PluginsSuite* plugins;
extern const NotifierSuite* notifier;
extern const ContextSuite* context;
extern const UserSuite* user;
extern const FilePathSuite* filePath;
extern const FoldersSuite* folders;
extern const BlocksSuite* blocks;
extern const MenuSuite* menu;
extern const UnicodeStringSuite* unicodeString;
extern const DocumentSuite* document;
extern const DocumentListSuite* documentList;
extern const DictionarySuite* dictionary;
extern const ActionManagerSuite* actionManager;
extern const MatchingArtSuite* matchingArt;
extern const MdMemorySuite* mdMemory;
extern const ArtSuite* art;
extern const ArtboardSuite* artboard;
}  // namespace suite

// Acquires one suite through a basic suite and releases it on destruction
// (only when the acquisition succeeded). A null basic suite fails with
// kSuiteNotFoundErr. Not copyable: one acquisition, one release.
template <class Suite>
class AcquiredSuite {
 public:
  AcquiredSuite(BasicSuite* basic, const char* name, std::int32_t version)
      : basic_(basic), name_(name), version_(version) {
    if (basic_ == nullptr || basic_->AcquireSuite == nullptr) {
      error_ = kSuiteNotFoundErr;
      return;
    }
    const void* table = nullptr;
    error_ = basic_->AcquireSuite(name_, version_, &table);
    if (error_ == kNoErr && table == nullptr) error_ = kSuiteNotFoundErr;
    if (error_ == kNoErr) suite_ = static_cast<const Suite*>(table);
  }
  ~AcquiredSuite() {
    if (suite_ != nullptr) basic_->ReleaseSuite(name_, version_);
  }
  AcquiredSuite(const AcquiredSuite&) = delete;
  AcquiredSuite& operator=(const AcquiredSuite&) = delete;

  // kNoErr when the suite is held.
  Err error() const { return error_; }
  explicit operator bool() const { return suite_ != nullptr; }
  const Suite* get() const { return suite_; }
  const Suite* operator->() const { return suite_; }

 private:
  BasicSuite* basic_;
  const char* name_;
  std::int32_t version_;
  Err error_ = kNoErr;
  const Suite* suite_ = nullptr;
};

}  // namespace ai
