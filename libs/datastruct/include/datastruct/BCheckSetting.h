// BCheckSetting: one check setting of a job, how grave a problem is and, for
// measurable problems, the limits at which it becomes a note, a warning or a
// fault, or the parameter values of a production setting ("Setting_...").
//
// A setting is created with a name and precision 2, then filled from a
// message: DeserialiseSetting2 for the new form (a ticket's check groups,
// definition defaults), DeserialiseSetting for the old form (elements of a
// "settings" list). Both read through the definitions catalogue
// (CheckSettingDefinitions.h).
//
// Severity follows the limits and texts: every SetLimit, ClearLimit and
// SetText re-derives it for the types that have limits or texts:
//   LimitsLow, LimitsHigh            fault set 4, else warn 3, else note 2, else 1
//   Parameter, CombiningParameterLow 7 when limits 0..2 are all absent, else 6
//   StringParameter                  7 when texts 0..2 are all absent, else 6
//   other types                      unchanged
//
// Indices: limits and texts have four slots (limit 0 note, 1 warn, 2 fault,
// 3 ignore); an index outside 0..3 reads as absent and is ignored by the
// setters.
#pragma once

#include <array>
#include <utility>

#include "datastruct/CheckSettingTypes.h"
#include "utils/ustring.h"

class WCheckSetting;
class umessage;

class BCheckSetting {
 public:
  static constexpr int kSlots = 4;
  static constexpr int kDefaultPrecision = 2;
  // Precision beyond this many decimals (either sign) is treated as this
  // many when values are compared: rounding further changes no double.
  static constexpr int kMaxComparePrecision = 20;

  explicit BCheckSetting(ustring name = ustring()) : name_(std::move(name)) {}
  virtual ~BCheckSetting();

  const ustring& name() const { return name_; }
  eSettingType type() const { return type_; }
  eProblemSeverity severity() const { return severity_; }
  int precision() const { return precision_; }
  bool userUnits() const { return userUnits_; }

  double limit(int i) const { return valid(i) ? limits_[i] : 0.0; }
  bool limitNotSet(int i) const { return !valid(i) || limitNotSet_[i]; }
  const ustring& text(int i) const;
  bool textNotSet(int i) const { return !valid(i) || textNotSet_[i]; }
  double parameterValue() const { return parameterValue_; }
  bool parameterValueNotSet() const { return parameterValueNotSet_; }

  // Change one slot and re-derive the severity.
  void SetLimit(int i, double value);
  void ClearLimit(int i);
  void SetText(int i, const ustring& text);

  // Fills the setting from a new-form message for the problem `name`.
  // Fails (false, nothing changed) when there is no definitions catalogue,
  // or when it has no definition for the name; the latter writes the INFO
  // line "new setting not found". The type and userUnits come from the
  // definition; precision from "precision" (default 2); the severity from
  // "sev" (an unknown word keeps the current one); a Boolean setting's
  // severity is capped at Fault; limits (LimitsLow/High, Parameter,
  // CombiningParameterLow) are set from their keys or cleared; string
  // parameters are taken from "P".
  bool DeserialiseSetting2(const ustring& name, const WCheckSetting& setting);

  // Fills the setting from an old-form message:
  //   "problem" name; "subtype", else "type": an eSettingType name (unknown:
  //   -1, which reads no limits or texts), else the definition's type; a name
  //   the definitions know always takes the definition's type;
  //   "precision" (default 0); "UserUnit" (default false); "severity": an
  //   eProblemSeverity name (unknown: NotSet), absent keeps the current one;
  //   "PV"; limits from "fault", "warn", "note", "ignore" (types 2, 3, 5, 9);
  //   texts from "P0", "P1", "P2" (type 6).
  // Never fails; keys of the wrong type read as absent.
  void DeserialiseSetting(const umessage& message);

  // The severity a measured value earns. Only LimitsLow (the first set limit,
  // in the order fault, warn, note, ignore, that is greater than the value)
  // and LimitsHigh (... that is less than the value) can match; values and
  // limits are compared after rounding: to the display unit's decimals, in
  // that unit, when userUnits, else to `precision` decimals. A match gives
  // Fault, Warn, Note or Ignore and stores the limit's own (unrounded) value
  // in *limit when limit is not null; no match gives Ignore and leaves
  // *limit alone.
  eProblemSeverity SeverityFor(double value, double* limit = nullptr) const;

 private:
  static bool valid(int i) { return i >= 0 && i < kSlots; }
  void DeriveSeverity();
  void ReadLimits(const umessage* message, const WCheckSetting* setting);

  ustring name_;
  eSettingType type_ = eSettingType_Undefined;
  eProblemSeverity severity_ = eProblemSeverity_Ignore;
  std::array<double, kSlots> limits_{};
  std::array<bool, kSlots> limitNotSet_{true, true, true, true};
  std::array<ustring, kSlots> texts_;
  std::array<bool, kSlots> textNotSet_{true, true, true, true};
  int precision_ = kDefaultPrecision;
  bool userUnits_ = false;
  double parameterValue_ = 0.0;
  bool parameterValueNotSet_ = true;
};
