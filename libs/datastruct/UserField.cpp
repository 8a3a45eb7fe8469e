#include "datastruct/UserField.h"

#include <array>

namespace {

constexpr std::array<UserFieldDefinition, 33> kCatalogue{{
    {"PubC", "mZ00", "Publication code"},
    {"1PNm", "PZ00", "Publication name"},
    {"ClPo", "pZ00", "Class/position"},
    {"Styl", "CP00", "Job style"},
    {"Frmt", "CP00", "Document format"},
    {"Wdth", "Fp06", "Width"},
    {"Hght", "Fp06", "Depth"},
    {"Colm", "pZ00", "Booked width"},
    {"Colm", "pZ00", "Booked width"},
    {"UPHt", "Fp06", "Booked depth"},
    {"NmSz", "PZ00", "Named size"},
    {"1NSz", "PZ00", "Named size"},
    {"0ANm", "PZ40", "Artists name"},
    {"hiCp", "dX03", "Highest % Cyan"},
    {"hiMp", "dX03", "Highest % Magenta"},
    {"hiYp", "dX03", "Highest % Yellow"},
    {"hiKp", "dX03", "Highest % Black"},
    {"Spot", "PZ00", "Color style"},
    {"ZTIm", "BZ00", "Contains ZT images"},
    {"Bled", "PZ00", "Bleed box"},
    {"Trim", "PZ00", "Trim box"},
    {"1Trm", "PZ00", "Trim box destination"},
    {"0LPI", "Dz00", "Target LPI"},
    {"PMsz", "Fp06", "Printer marks size"},
    {"PMof", "Fp06", "Printer marks offset from trim"},
    {"1PSN", "PZ00", "Publisher name"},
    {"0VUK", "PZ00", "Identifier"},
    {"1ICC", "PZ00", "Profile Information"},
    {"1SEC", "PZ00", "Section name"},
    {"0VDt", "Yz00", "Veloxaed Date"},
    {"CCod", "mZ00", "Country code"},
    {"CNam", "PZ00", "Country name"},
    {"0CkS", "PZ00", "Check Setting Used"},
}};

}  // namespace

std::span<const UserFieldDefinition> UserFieldCatalogue() { return kCatalogue; }

std::int32_t FindUserFieldDefinition(const ustring& code) {
  for (std::size_t i = 0; i < kCatalogue.size(); ++i) {
    if (code == kCatalogue[i].code) return static_cast<std::int32_t>(i);
  }
  return -1;
}

std::optional<UserField> MakeCatalogueUserField(const ustring& code, const ustring& value) {
  const std::int32_t index = FindUserFieldDefinition(code);
  if (index < 0) return std::nullopt;
  const UserFieldDefinition& row = kCatalogue[static_cast<std::size_t>(index)];
  UserField field;
  field.catalogueIndex = index;
  field.code = row.code;
  field.typeCode = row.typeCode;
  field.label = row.label;
  field.value = value;
  return field;
}
