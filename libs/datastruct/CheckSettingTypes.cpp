#include "datastruct/CheckSettingTypes.h"

namespace {

constexpr std::string_view kSettingTypeNames[kSettingTypeCount] = {
    "eSettingType_Undefined",
    "eSettingType_Boolean",
    "eSettingType_LimitsLow",
    "eSettingType_LimitsHigh",
    "eSettingType_Range",
    "eSettingType_Parameter",
    "eSettingType_StringParameter",
    "eSettingType_LimitsLowSeverity",
    "eSettingType_LimitsHighSeverity",
    "eSettingType_CombiningParameterLow",
    "eSettingType_CombiningParameterHigh",
};

constexpr std::string_view kProblemSeverityNames[kProblemSeverityCount] = {
    "eProblemSeverity_NotSet", "eProblemSeverity_Ignore",  "eProblemSeverity_Note",
    "eProblemSeverity_Warn",   "eProblemSeverity_Fault",   "eProblemSeverity_Dynamic",
    "eProblemSeverity_Parameter", "eProblemSeverity_ParameterNotSet",
};

constexpr std::string_view kSeverityWords[kProblemSeverityCount] = {
    "", "ignore", "note", "warn", "fault", "dynamic", "parameter", "parameterNotSet",
};

// Old-form type names are read against the first ten entries only.
constexpr int kParsedSettingTypes = 10;

}  // namespace

std::string_view SettingTypeName(int type) {
  return type >= 0 && type < kSettingTypeCount ? kSettingTypeNames[type] : std::string_view();
}

std::string_view ProblemSeverityName(int severity) {
  return severity >= 0 && severity < kProblemSeverityCount ? kProblemSeverityNames[severity] : std::string_view();
}

int ParseSettingTypeName(std::string_view name) {
  for (int i = 0; i < kParsedSettingTypes; ++i)
    if (name == kSettingTypeNames[i]) return i;
  return -1;
}

eProblemSeverity ParseProblemSeverityName(std::string_view name) {
  for (int i = 0; i < kProblemSeverityCount; ++i)
    if (name == kProblemSeverityNames[i]) return static_cast<eProblemSeverity>(i);
  return eProblemSeverity_NotSet;
}

std::string_view SeverityWord(int severity) {
  return severity > 0 && severity < kProblemSeverityCount ? kSeverityWords[severity] : std::string_view();
}

eProblemSeverity ParseSeverityWord(std::string_view word) {
  if (word.empty()) return eProblemSeverity_NotSet;
  for (int i = 1; i < kProblemSeverityCount; ++i)
    if (word == kSeverityWords[i]) return static_cast<eProblemSeverity>(i);
  return eProblemSeverity_NotSet;
}

int SeverityRank(std::string_view word) {
  const eProblemSeverity severity = ParseSeverityWord(word);
  return severity >= eProblemSeverity_Ignore && severity <= eProblemSeverity_Fault ? severity : 0;
}

eSettingType ParseDefinitionType(std::string_view text) {
  static constexpr struct {
    std::string_view text;
    eSettingType type;
  } kTypes[] = {
      {"boolean", eSettingType_Boolean},
      {"limitsLow", eSettingType_LimitsLow},
      {"limitsHigh", eSettingType_LimitsHigh},
      {"parameter", eSettingType_Parameter},
      {"stringParameter", eSettingType_StringParameter},
      {"combiningParameterLow", eSettingType_CombiningParameterLow},
  };
  for (const auto& t : kTypes)
    if (text == t.text) return t.type;
  return eSettingType_Undefined;
}
