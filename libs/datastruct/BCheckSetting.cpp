#include "datastruct/BCheckSetting.h"

#include <algorithm>
#include <optional>

#include "datastruct/CheckSettingDefinitions.h"
#include "datastruct/WCheckSetting.h"
#include "utils/Logger.h"
#include "utils/UUnits.h"
#include "utils/umessage.h"

namespace {

// The documented record for a new-form setting without a definition; the
// file is spelled as the Windows build's compiler spells it.
constexpr vxu::LogSite kSiteSettingNotFound{"..\\old\\Base\\BCheckSetting.cpp", 412,
                                            "BCheckSetting::DeserialiseSetting2"};

// Limits are read, and compared, in this order of slots.
constexpr int kLimitReadOrder[BCheckSetting::kSlots] = {2, 1, 0, 3};
constexpr int kOldPrecisionDefault = 0;

const ustring kEmptyText;

bool has_limits(int type) {
  return type == eSettingType_LimitsLow || type == eSettingType_LimitsHigh || type == eSettingType_Parameter ||
         type == eSettingType_CombiningParameterLow;
}

eProblemSeverity severity_of_slot(int slot) {
  static constexpr eProblemSeverity kBySlot[BCheckSetting::kSlots] = {
      eProblemSeverity_Note, eProblemSeverity_Warn, eProblemSeverity_Fault, eProblemSeverity_Ignore};
  return kBySlot[slot];
}

}  // namespace

BCheckSetting::~BCheckSetting() = default;

const ustring& BCheckSetting::text(int i) const { return valid(i) ? texts_[i] : kEmptyText; }

void BCheckSetting::SetLimit(int i, double value) {
  if (!valid(i)) return;
  limits_[i] = value;
  limitNotSet_[i] = false;
  DeriveSeverity();
}

void BCheckSetting::ClearLimit(int i) {
  if (!valid(i)) return;
  limits_[i] = 0.0;
  limitNotSet_[i] = true;
  DeriveSeverity();
}

void BCheckSetting::SetText(int i, const ustring& text) {
  if (!valid(i)) return;
  texts_[i] = text;
  textNotSet_[i] = false;
  DeriveSeverity();
}

void BCheckSetting::DeriveSeverity() {
  switch (type_) {
    case eSettingType_LimitsLow:
    case eSettingType_LimitsHigh:
      severity_ = !limitNotSet_[2]   ? eProblemSeverity_Fault
                  : !limitNotSet_[1] ? eProblemSeverity_Warn
                  : !limitNotSet_[0] ? eProblemSeverity_Note
                                     : eProblemSeverity_Ignore;
      break;
    case eSettingType_Parameter:
    case eSettingType_CombiningParameterLow:
      severity_ = limitNotSet_[0] && limitNotSet_[1] && limitNotSet_[2] ? eProblemSeverity_ParameterNotSet
                                                                        : eProblemSeverity_Parameter;
      break;
    case eSettingType_StringParameter:
      severity_ = textNotSet_[0] && textNotSet_[1] && textNotSet_[2] ? eProblemSeverity_ParameterNotSet
                                                                     : eProblemSeverity_Parameter;
      break;
    default:
      break;
  }
}

bool BCheckSetting::DeserialiseSetting2(const ustring& name, const WCheckSetting& setting) {
  const std::shared_ptr<const SettingCatalogue> catalogue = SettingDefinitionCatalogue();
  if (!catalogue) return false;
  const BSettingDefinition* definition = catalogue->Find(name.view());
  if (definition == nullptr) {
    VX_LOG(vxu::eLogLevel_Info, kSiteSettingNotFound) << "new setting not found";
    return false;
  }

  name_ = name;
  type_ = definition->type;
  precision_ = setting.Precision();
  userUnits_ = definition->userUnits;
  if (const eProblemSeverity stated = setting.Severity(); stated != eProblemSeverity_NotSet) severity_ = stated;

  // A reused setting must not keep an earlier "PV" flag beside the reset value.
  parameterValue_ = 0.0;
  parameterValueNotSet_ = true;
  if (const std::optional<double> pv = setting.ParameterValue()) {
    parameterValue_ = *pv;
    parameterValueNotSet_ = false;
  }

  if (type_ == eSettingType_Boolean) {
    severity_ = std::min(severity_, eProblemSeverity_Fault);
  } else if (has_limits(type_)) {
    ReadLimits(nullptr, &setting);
  } else if (type_ == eSettingType_StringParameter) {
    for (int i = 0; i < 3; ++i)
      if (const std::optional<ustring> text = setting.Text(i)) SetText(i, *text);
  }
  return true;
}

void BCheckSetting::DeserialiseSetting(const umessage& message) {
  name_ = message.value<ustring>("problem");

  const std::shared_ptr<const SettingCatalogue> catalogue = SettingDefinitionCatalogue();
  const BSettingDefinition* definition =
      catalogue && !name_.empty() ? catalogue->Find(name_.view()) : nullptr;
  ustring type_name;
  if (definition != nullptr) {
    type_ = definition->type;
  } else if (message.get("subtype", 0, type_name) || message.get("type", 0, type_name)) {
    type_ = static_cast<eSettingType>(ParseSettingTypeName(type_name.view()));
  }
  // With neither key nor definition the type stays Undefined.

  precision_ = message.value<int>("precision", 0, kOldPrecisionDefault);
  userUnits_ = message.value<bool>("UserUnit");
  ustring severity_name;
  if (message.get("severity", 0, severity_name)) severity_ = ParseProblemSeverityName(severity_name.view());

  parameterValue_ = 0.0;
  parameterValueNotSet_ = true;
  double pv = 0.0;
  if (message.get("PV", 0, pv)) {
    parameterValue_ = pv;
    parameterValueNotSet_ = false;
  }

  if (type_ == eSettingType_Boolean) {
    severity_ = std::min(severity_, eProblemSeverity_Fault);
  } else if (type_ == eSettingType_StringParameter) {
    static const ustring kTextKeys[3] = {ustring("P0"), ustring("P1"), ustring("P2")};
    for (int i = 0; i < 3; ++i) {
      ustring text;
      if (message.get(kTextKeys[i], 0, text)) SetText(i, text);
    }
  } else if (has_limits(type_)) {
    ReadLimits(&message, nullptr);
  }
}

// Sets each limit from its key, or clears it, in the order fault, warn,
// note, ignore; exactly one of the two sources is given.
void BCheckSetting::ReadLimits(const umessage* message, const WCheckSetting* setting) {
  for (const int slot : kLimitReadOrder) {
    std::optional<double> value;
    if (setting != nullptr) {
      value = setting->Limit(slot);
    } else if (double v = 0.0; message->get(WCheckSetting::LimitKey(slot), 0, v)) {
      value = v;
    }
    if (value)
      SetLimit(slot, *value);
    else
      ClearLimit(slot);
  }
}

eProblemSeverity BCheckSetting::SeverityFor(double value, double* limit) const {
  const bool low = type_ == eSettingType_LimitsLow;
  if (!low && type_ != eSettingType_LimitsHigh) return eProblemSeverity_Ignore;

  const UUnits& units = display_units();
  const int digits = std::clamp(precision_, -kMaxComparePrecision, kMaxComparePrecision);
  const auto comparable = [&](double x) {
    return userUnits_ ? units.round_trip(x) : UUnits::round_to(x, digits);
  };

  const double v = comparable(value);
  for (const int slot : kLimitReadOrder) {
    if (limitNotSet_[slot]) continue;
    const double l = comparable(limits_[slot]);
    if (low ? l > v : l < v) {
      if (limit != nullptr) *limit = limits_[slot];
      return severity_of_slot(slot);
    }
  }
  return eProblemSeverity_Ignore;
}
