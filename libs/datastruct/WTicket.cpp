#include "datastruct/WTicket.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>

#include "utils/Logger.h"

template class WTicketT<std::shared_ptr<const umessage>>;
template class WTicketT<std::shared_ptr<umessage>>;

namespace ticket_detail {

std::shared_ptr<umessage> record_at(const umessage* message, const ustring& key, std::size_t i) {
  std::shared_ptr<umessage> record;
  if (message != nullptr) message->get(key, i, record);
  return record;
}

std::size_t record_count(const umessage* message, const ustring& key) {
  if (message == nullptr) return 0;
  const umessage::array_type* array = message->find(key);
  return array != nullptr && array->type() == umessage::type_message ? array->size() : 0;
}

}  // namespace ticket_detail

namespace {

// The documented records of the validators; the file is spelled as the
// Windows build's compiler spells it.
constexpr const char* kSourceFile = "..\\..\\libs\\datastruct\\WTicket.cpp";
constexpr vxu::LogSite kSiteInvalidTicket{kSourceFile, 118, "TicketIsWellFormed"};
constexpr vxu::LogSite kSiteInvalidDestination{kSourceFile, 204, "DestinationIsWellFormed"};

enum eValueKind { eValueKind_Any, eValueKind_Text, eValueKind_Number, eValueKind_Boolean, eValueKind_Record };
enum eCountRule { eCountRule_Any, eCountRule_Exactly, eCountRule_AtMost };

// One row of a validation table: the kind the first value must have and how
// many values the key may hold, each with the text of its violation.
struct FieldRule {
  std::string_view key;
  eValueKind kind;
  const char* kindMessage;
  eCountRule countRule;
  std::size_t count;
  const char* countMessage;
};

constexpr FieldRule kTicketRules[] = {
    {"identifier", eValueKind_Text, "identifier has wrong type", eCountRule_Exactly, 1,
     "there should be only 1 identifier"},
    {"operator", eValueKind_Text, "operator has wrong type", eCountRule_Exactly, 1, "there should be only 1 operator"},
    {"local", eValueKind_Text, "local has wrong type", eCountRule_Any, 0, nullptr},
    {"zts", eValueKind_Record, "zts has wrong type", eCountRule_Exactly, 1, "there should be only 1 zts"},
    {"style", eValueKind_Text, "style has wrong type", eCountRule_Exactly, 1, "there should be only 1 style"},
    // "destinations" has rules of its own (check_destinations).
    {"destinations", eValueKind_Record, "destinations has wrong type", eCountRule_Any, 0, nullptr},
    {"active", eValueKind_Boolean, "active field has wrong type", eCountRule_Exactly, 1,
     "there should be only 1 active field"},
    {"groupingDisabled", eValueKind_Boolean, "groupingDisabled field has wrong type", eCountRule_Exactly, 1,
     "there should be only 1 groupingDisabled field"},
    {"previous_report", eValueKind_Any, nullptr, eCountRule_Any, 0, nullptr},
    {"plugin_report", eValueKind_Any, nullptr, eCountRule_Any, 0, nullptr},
    {"bookingMatched", eValueKind_Any, nullptr, eCountRule_Any, 0, nullptr},
};

constexpr FieldRule kDestinationRules[] = {
    {"identifier", eValueKind_Text, "identifier has wrong type", eCountRule_Exactly, 1,
     "there should be only 1 identifier"},
    {"mlkey", eValueKind_Text, "medialink key has wrong type", eCountRule_Exactly, 1, "there should be only 1 mlkey"},
    {"country", eValueKind_Text, "country has wrong type", eCountRule_AtMost, 2, "country field has too many entries"},
    {"publication", eValueKind_Text, "publication has wrong type", eCountRule_AtMost, 2,
     "publication field has too many entries"},
    {"publisher", eValueKind_Text, "publisher has wrong type", eCountRule_AtMost, 2,
     "publisher field has too many entries"},
    {"section", eValueKind_Text, "section has wrong type", eCountRule_AtMost, 2, "section field has too many entries"},
    {"style", eValueKind_Text, "style has wrong type", eCountRule_Exactly, 1, "there should be only 1 style field"},
    {"zts", eValueKind_Record, "zts has wrong type", eCountRule_Any, 0, nullptr},
    {"printerMarkSize", eValueKind_Number, "printerMarkSize has wrong type", eCountRule_Exactly, 1,
     "there should be only 1 printerMarkSize field"},
    {"printerMarkOffset", eValueKind_Number, "printerMarkOffset has wrong type", eCountRule_Exactly, 1,
     "there should be only 1 printerMarkOffset field"},
    {"width", eValueKind_Number, "width has wrong type", eCountRule_Exactly, 1, "there should be only 1 width field"},
    {"depth", eValueKind_Number, "depth has wrong type", eCountRule_Exactly, 1, "there should be only 1 depth field"},
    {"columns", eValueKind_Number, "columns has wrong type", eCountRule_Exactly, 1,
     "there should be only 1 columns field"},
    {"colourName", eValueKind_Text, "colourName has wrong type", eCountRule_Exactly, 1,
     "there should be only 1 colourName field"},
    {"colourMakeup", eValueKind_Number, "colourMakeup has wrong type", eCountRule_Exactly, 4,
     "there should be 4 colourMakeup field"},
    {"namedSize", eValueKind_Text, "namedSize has wrong type", eCountRule_Exactly, 1,
     "there should be only 1 namedSize field"},
    {"requires2DPSFiles", eValueKind_Boolean, "requires2DPSFiles has wrong type", eCountRule_Exactly, 1,
     "there should be only 1 requires2DPSFiles field"},
    {"bleed", eValueKind_Number, "bleed has wrong type", eCountRule_Exactly, 4, "there should be exactly 4 bleed fields"},
    {"typeIndent", eValueKind_Number, "typeIndent has wrong type", eCountRule_Exactly, 4,
     "there should be exactly 4 typeIndent fields"},
    {"exported", eValueKind_Boolean, "exported has wrong type", eCountRule_Exactly, 1,
     "there should be exactly 1 exported fields"},
    {"ro", eValueKind_Boolean, "ro has wrong type", eCountRule_Exactly, 1, "there should be exactly 1 ro fields"},
    // "userFields" also requires a record under each of its keys (check_user_fields).
    {"userFields", eValueKind_Record, "userFields has wrong type", eCountRule_Exactly, 1,
     "there should be only 1 userFields"},
};

template <std::size_t N>
const FieldRule* rule_for(const FieldRule (&rules)[N], std::string_view key) {
  const auto it = std::find_if(std::begin(rules), std::end(rules), [&](const FieldRule& r) { return r.key == key; });
  return it != std::end(rules) ? it : nullptr;
}

bool is_kind(const umessage::array_type& array, eValueKind kind) {
  switch (kind) {
    case eValueKind_Any:
      return true;
    case eValueKind_Text:
      return array.type() == umessage::type_string;
    case eValueKind_Number:
      return array.type() == umessage::type_int || array.type() == umessage::type_double ||
             array.type() == umessage::type_int64;
    case eValueKind_Boolean:
      return array.type() == umessage::type_bool;
    case eValueKind_Record:
      return array.type() == umessage::type_message;
  }
  return false;
}

[[noreturn]] void fail(const char* reason) { throw std::runtime_error(reason); }

void check_field(const FieldRule* rule, const ustring& key, const umessage::array_type& array) {
  if (rule == nullptr) throw std::runtime_error("unexpected field: " + key.str());
  if (!is_kind(array, rule->kind)) fail(rule->kindMessage);
  const std::size_t n = array.size();
  if ((rule->countRule == eCountRule_Exactly && n != rule->count) ||
      (rule->countRule == eCountRule_AtMost && n > rule->count))
    fail(rule->countMessage);
}

// The destination's "identifier" text, empty when absent or not a text.
std::string_view identifier_of(const umessage* destination) {
  const umessage::array_type* array = destination ? destination->find(ticket_detail::kIdentifier) : nullptr;
  const auto* texts = array ? array->as<ustring>() : nullptr;
  return texts && !texts->values.empty() ? texts->values.front().view() : std::string_view();
}

void check_destinations(const umessage::array_type& array) {
  const auto& destinations = array.as<std::shared_ptr<umessage>>()->values;
  std::unordered_set<std::string_view> identifiers;
  identifiers.reserve(destinations.size());
  for (const auto& destination : destinations)
    if (!identifiers.insert(identifier_of(destination.get())).second) fail("duplicate destination identifier");
  for (const auto& destination : destinations)
    if (!DestinationIsWellFormed(destination.get())) fail("invalid destination");
}

void check_user_fields(const umessage::array_type& array) {
  const std::shared_ptr<umessage>& fields = array.as<std::shared_ptr<umessage>>()->values.front();
  if (!fields) return;
  for (const auto& [name, values] : *fields)
    if (values.type() != umessage::type_message) fail("userField has wrong type");
}

}  // namespace

bool TicketIsWellFormed(const umessage* ticket) {
  if (ticket == nullptr || ticket->empty()) return false;
  try {
    for (const auto& [key, array] : *ticket) {
      check_field(rule_for(kTicketRules, key.view()), key, array);
      if (key == "destinations") check_destinations(array);
    }
  } catch (const std::exception& e) {
    VX_LOG(vxu::eLogLevel_Error, kSiteInvalidTicket) << "invalid tickets : " << e.what();
    return false;
  }
  return true;
}

bool DestinationIsWellFormed(const umessage* destination) {
  if (destination == nullptr) return false;
  try {
    for (const auto& [key, array] : *destination) {
      check_field(rule_for(kDestinationRules, key.view()), key, array);
      if (key == "userFields") check_user_fields(array);
    }
  } catch (const std::exception& e) {
    VX_LOG(vxu::eLogLevel_Error, kSiteInvalidDestination) << "invalid tickets : " << e.what();
    return false;
  }
  return true;
}
