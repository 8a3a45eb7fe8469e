// User fields: the named values Veloxa attaches to a destination, and the
// catalogue of the fields the system knows by code.
//
// Key-stream record, inside a destination item:
//
//   'UF' record { item* }   item := UP:string(code) Uf:string(type code)
//                                   UT:string(label) UV:string(value) Ro:bool
//
// Readers drop items whose code is empty or "RDts".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "utils/ustring.h"

struct UserField {
  // Row of the catalogue the field was built from; -1 for fields read from a
  // payload.
  std::int32_t catalogueIndex = -1;
  ustring code;      // four characters
  ustring typeCode;  // four characters
  ustring label;
  ustring value;
  bool readOnly = false;

  // Every member but catalogueIndex, which does not travel.
  bool SameContent(const UserField& other) const {
    return code == other.code && typeCode == other.typeCode && label == other.label && value == other.value &&
           readOnly == other.readOnly;
  }
};

struct UserFieldDefinition {
  const char* code;
  const char* typeCode;
  const char* label;
};

// The 33 rows of the catalogue, in their fixed order ("Colm" appears twice;
// searches find the first).
std::span<const UserFieldDefinition> UserFieldCatalogue();

// Index of the first row with this code, or -1.
std::int32_t FindUserFieldDefinition(const ustring& code);

// A field taking index, code, type code and label from the catalogue row of
// `code` and the value from the caller; nothing when the catalogue has no such
// code.
std::optional<UserField> MakeCatalogueUserField(const ustring& code, const ustring& value);
