// Builders for setting messages, tickets and definitions used by the
// datastruct tests.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <utility>

#include "datastruct/CheckSettingDefinitions.h"
#include "utils/umessage.h"

namespace vxtest {

using Record = std::shared_ptr<umessage>;

// Rec()("sev", "warn")("fault", 3.0)("P", "a")("P", "b") builds a shared
// record; repeating a key appends another value.
class Rec {
 public:
  Rec() : record_(std::make_shared<umessage>()) {}
  // A Rec is a handle: adding changes the shared record, not the handle.
  template <class T>
  const Rec& operator()(const char* key, T value) const {
    record_->add(key, value);
    return *this;
  }
  const Rec& operator()(const char* key, const Rec& value) const {
    record_->add(key, value.record_);
    return *this;
  }
  const Rec& operator()(const char* key, const Record& value) const {
    record_->add(key, value);
    return *this;
  }
  operator Record() const { return record_; }
  const Record& ptr() const { return record_; }
  umessage& operator*() const { return *record_; }

 private:
  Record record_;
};

// One problem of a definitions message.
struct Definition {
  const char* name;
  const char* type;  // null: no "type" key
  Record defaults = nullptr;
  bool userUnits = false;
};

inline umessage definitions_message(std::initializer_list<Definition> definitions) {
  umessage m;
  for (const Definition& d : definitions) {
    Rec r;
    if (d.type != nullptr) r("type", d.type);
    if (d.defaults) r("defaults", d.defaults);
    if (d.userUnits) r("userUnits", true);
    m.add(d.name, r.ptr());
  }
  return m;
}

inline void install_definitions(std::initializer_list<Definition> definitions) {
  InstallSettingDefinitions(definitions_message(definitions));
}

// The definitions are process-wide: every test that touches them starts and
// ends without any.
class DefinitionsTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetSettingDefinitionsForTesting(); }
  void TearDown() override { ResetSettingDefinitionsForTesting(); }
};

}  // namespace vxtest
