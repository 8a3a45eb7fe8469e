// The two enumerations of the check settings, their text tables and the
// parsers that turn setting-message texts back into values.
//
// Two spellings exist for a severity: the enumerator name
// ("eProblemSeverity_Warn"), which the old setting form carries, and the
// short word ("warn"), which the new form and the ticket carry.
#pragma once

#include <string_view>

// Kind of a check setting. The numbers travel in messages; keep them.
// A setting read from the old form with an unknown type name holds -1, which
// has no enumerator (the underlying type is int).
enum eSettingType : int {
  eSettingType_Undefined = 0,
  eSettingType_Boolean = 1,
  eSettingType_LimitsLow = 2,
  eSettingType_LimitsHigh = 3,
  eSettingType_Range = 4,
  eSettingType_Parameter = 5,
  eSettingType_StringParameter = 6,
  eSettingType_LimitsLowSeverity = 7,
  eSettingType_LimitsHighSeverity = 8,
  eSettingType_CombiningParameterLow = 9,
  eSettingType_CombiningParameterHigh = 10,
};
inline constexpr int kSettingTypeCount = 11;

// How grave a problem is.
enum eProblemSeverity : int {
  eProblemSeverity_NotSet = 0,
  eProblemSeverity_Ignore = 1,
  eProblemSeverity_Note = 2,
  eProblemSeverity_Warn = 3,
  eProblemSeverity_Fault = 4,
  eProblemSeverity_Dynamic = 5,
  eProblemSeverity_Parameter = 6,
  eProblemSeverity_ParameterNotSet = 7,
};
inline constexpr int kProblemSeverityCount = 8;

// Enumerator names indexed by value ("eSettingType_Boolean"); an index
// outside the table gives the empty text.
std::string_view SettingTypeName(int type);
std::string_view ProblemSeverityName(int severity);

// Old-form type name to value: compared with the names of values 0 to 9
// (CombiningParameterHigh is never read back); -1 when none matches.
int ParseSettingTypeName(std::string_view name);
// Old-form severity name to value: compared with all eight names;
// eProblemSeverity_NotSet when none matches.
eProblemSeverity ParseProblemSeverityName(std::string_view name);

// The word of a severity ("ignore" .. "parameterNotSet"); empty for NotSet
// and for values outside the table.
std::string_view SeverityWord(int severity);
// A word back to its severity; eProblemSeverity_NotSet for any other text
// (the empty text included). Callers that keep the current severity on an
// unknown word test for NotSet.
eProblemSeverity ParseSeverityWord(std::string_view word);

// Rank of a word when settings are merged: "ignore" 1, "note" 2, "warn" 3,
// "fault" 4, anything else 0.
int SeverityRank(std::string_view word);

// The definition "type" texts: "boolean" 1, "limitsLow" 2, "limitsHigh" 3,
// "parameter" 5, "stringParameter" 6, "combiningParameterLow" 9; any other
// text eSettingType_Undefined.
eSettingType ParseDefinitionType(std::string_view text);
