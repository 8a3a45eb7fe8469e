// A container entered for the length of a scope: the reader leaves it again
// however the scope ends, so a read that throws half-way does not leave the
// reader one level too deep for its caller.
#pragma once

#include <cstdint>

#include "utils/UKeyStream.h"

class UKeyInScope {
 public:
  enum Kind { eKind_Record, eKind_Array };

  // Throws what enter_record / enter_array throw; nothing is entered then.
  UKeyInScope(UKeyInStream& reader, std::uint16_t key, Kind kind = eKind_Record) : reader_(reader) {
    kind == eKind_Record ? reader.enter_record(key) : reader.enter_array(key);
  }
  ~UKeyInScope() { reader_.leave(); }
  UKeyInScope(const UKeyInScope&) = delete;
  UKeyInScope& operator=(const UKeyInScope&) = delete;

 private:
  UKeyInStream& reader_;
};
