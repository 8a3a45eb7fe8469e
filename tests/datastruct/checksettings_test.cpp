#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "datastruct/BCheckSetting.h"
#include "datastruct/BCheckSettingList.h"
#include "datastruct/CheckSettingDefinitions.h"
#include "datastruct/CheckSettingTypes.h"
#include "datastruct/LoadSettings.h"
#include "datastruct/ProblemNames.h"
#include "datastruct/ProfilePathRule.h"
#include "datastruct/WCheckSetting.h"
#include "platform/Platform.h"
#include "settings_fixtures.h"
#include "support/captured_log.h"
#include "utils/UFileSpecCore.h"
#include "utils/UUnits.h"

namespace {

using vxtest::Definition;
using vxtest::DefinitionsTest;
using vxtest::install_definitions;
using vxtest::Rec;
using vxtest::Record;

constexpr double kUnset = std::numeric_limits<double>::quiet_NaN();

// ---- names and words -----------------------------------------------------------

TEST(CheckSettingTypesTest, TextsMapToValuesAndBack) {
  static const struct {
    const char* text;
    int word;         // ParseSeverityWord
    int rank;         // SeverityRank
    int severityName; // ParseProblemSeverityName
    int typeName;     // ParseSettingTypeName
    int definition;   // ParseDefinitionType
  } kCases[] = {
      {"ignore", 1, 1, 0, -1, 0},
      {"note", 2, 2, 0, -1, 0},
      {"warn", 3, 3, 0, -1, 0},
      {"fault", 4, 4, 0, -1, 0},
      {"dynamic", 5, 0, 0, -1, 0},
      {"parameter", 6, 0, 0, -1, 5},
      {"parameterNotSet", 7, 0, 0, -1, 0},
      {"Warn", 0, 0, 0, -1, 0},
      {"", 0, 0, 0, -1, 0},
      {"eProblemSeverity_NotSet", 0, 0, 0, -1, 0},
      {"eProblemSeverity_Fault", 0, 0, 4, -1, 0},
      {"eProblemSeverity_ParameterNotSet", 0, 0, 7, -1, 0},
      {"eSettingType_Undefined", 0, 0, 0, 0, 0},
      {"eSettingType_LimitsHigh", 0, 0, 0, 3, 0},
      {"eSettingType_CombiningParameterLow", 0, 0, 0, 9, 0},
      // The last type name is never read back.
      {"eSettingType_CombiningParameterHigh", 0, 0, 0, -1, 0},
      {"boolean", 0, 0, 0, -1, 1},
      {"limitsLow", 0, 0, 0, -1, 2},
      {"limitsHigh", 0, 0, 0, -1, 3},
      {"stringParameter", 0, 0, 0, -1, 6},
      {"combiningParameterLow", 0, 0, 0, -1, 9},
      {"combiningParameterHigh", 0, 0, 0, -1, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseSeverityWord(c.text), c.word);
    EXPECT_EQ(SeverityRank(c.text), c.rank);
    EXPECT_EQ(ParseProblemSeverityName(c.text), c.severityName);
    EXPECT_EQ(ParseSettingTypeName(c.text), c.typeName);
    EXPECT_EQ(ParseDefinitionType(c.text), c.definition);
  }
  for (int i = 0; i < kProblemSeverityCount; ++i) {
    EXPECT_EQ(ParseProblemSeverityName(ProblemSeverityName(i)), i);
    if (i > 0) {
      EXPECT_EQ(ParseSeverityWord(SeverityWord(i)), i);
    }
  }
  EXPECT_EQ(SeverityWord(0), "");
  EXPECT_EQ(SeverityWord(8), "");
  EXPECT_EQ(SettingTypeName(-1), "");
  EXPECT_EQ(SettingTypeName(10), "eSettingType_CombiningParameterHigh");
}

TEST(ProblemNamesTest, CatalogueHoldsEveryNameOnceInByteOrder) {
  using namespace problem_names;
  EXPECT_EQ(kSettingNames.size(), 23u);
  EXPECT_EQ(kProblemNames.size(), 300u);
  EXPECT_TRUE(std::is_sorted(kProblemNames.begin(), kProblemNames.end()));
  EXPECT_EQ(std::adjacent_find(kProblemNames.begin(), kProblemNames.end()), kProblemNames.end());
  for (std::string_view name : kSettingNames) EXPECT_TRUE(name.starts_with("Setting_")) << name;
  for (std::string_view name : kProblemNames) EXPECT_FALSE(name.starts_with("Setting_")) << name;
  EXPECT_EQ(kSetting_PDFVersion, "Setting_PDFVersion");
  EXPECT_EQ(kSetting_WorkingSpaceProfiles, "Setting_WorkingSpaceProfiles");
  EXPECT_EQ(kProblem_PDFVersionTooHigh, "PDFVersionTooHigh");
  EXPECT_EQ(kProblem_TransparencyFlattenerWillCauseTextToBeConvertedToOutlines,
            "TransparencyFlattenerWillCauseTextToBeConvertedToOutlines");
  EXPECT_EQ(kProblem_ZentrimICCMustBeUsedToProof, "ZentrimICCMustBeUsedToProof");
}

// ---- definitions catalogue ---------------------------------------------------

using DefinitionCatalogueTest = DefinitionsTest;

TEST_F(DefinitionCatalogueTest, BuiltOnceFromTheFirstNonEmptyMessage) {
  EXPECT_EQ(SettingDefinitionCatalogue(), nullptr);
  InstallSettingDefinitions(umessage());
  EXPECT_EQ(SettingDefinitionCatalogue(), nullptr) << "an empty message defines nothing";

  install_definitions({{"A", "boolean"}});
  install_definitions({{"B", "limitsLow"}});  // arrives before any use
  const auto catalogue = SettingDefinitionCatalogue();
  ASSERT_NE(catalogue, nullptr);
  EXPECT_EQ(catalogue->TypeOf("A"), eSettingType_Boolean);
  EXPECT_EQ(catalogue->Find("B"), nullptr);
  EXPECT_TRUE(SettingDefinitions()->has("B")) << "the stored message is the last one";

  InstallSettingDefinitions(umessage());  // a payload without "Dp"
  EXPECT_TRUE(SettingDefinitions()->empty());
  EXPECT_EQ(SettingDefinitionCatalogue(), catalogue) << "later messages never replace the catalogue";

  ResetSettingDefinitionsForTesting();
  EXPECT_EQ(SettingDefinitionCatalogue(), nullptr);
  EXPECT_EQ(catalogue->TypeOf("A"), eSettingType_Boolean) << "a snapshot outlives a reset";
}

TEST_F(DefinitionCatalogueTest, ReadsTypeDefaultsAndUnitsAndSkipsNonRecords) {
  umessage m = vxtest::definitions_message({
      {"Bool", "boolean", Rec()("sev", "warn")},
      {"Len", "limitsLow", Rec(), true},
      {"Odd", "colourful"},
      {"NoType", nullptr},
  });
  m.add("Number", 5);
  m.add("Text", "boolean");
  auto wrongType = std::make_shared<umessage>();
  wrongType->add("type", 2);
  wrongType->add("defaults", "not a record");
  m.add("WrongTypes", wrongType);

  const SettingCatalogue catalogue(m);
  EXPECT_EQ(catalogue.size(), 5u);
  EXPECT_EQ(catalogue.Find("Number"), nullptr);
  EXPECT_EQ(catalogue.Find("Text"), nullptr);
  ASSERT_NE(catalogue.Find("Bool"), nullptr);
  EXPECT_TRUE(catalogue.Find("Bool")->HasDefaults());
  EXPECT_FALSE(catalogue.Find("Len")->HasDefaults()) << "an empty defaults record counts as none";
  EXPECT_TRUE(catalogue.Find("Len")->userUnits);
  EXPECT_EQ(catalogue.TypeOf("Len"), eSettingType_LimitsLow);
  EXPECT_EQ(catalogue.TypeOf("Odd"), eSettingType_Undefined);
  EXPECT_EQ(catalogue.TypeOf("NoType"), eSettingType_Undefined);
  EXPECT_EQ(catalogue.TypeOf("WrongTypes"), eSettingType_Undefined);
  EXPECT_EQ(catalogue.Find("WrongTypes")->defaults, nullptr);
  EXPECT_EQ(catalogue.Find("Missing"), nullptr);
}

// ---- new form ------------------------------------------------------------------

// The expected state of a setting after it was read.
struct Expected {
  int type;
  int severity;
  double limits[4];  // kUnset for an absent limit
  const char* texts[3];  // null for an absent text
  int precision;
  std::optional<double> pv;
};

void expect_setting(const BCheckSetting& s, const Expected& e) {
  EXPECT_EQ(s.type(), e.type);
  EXPECT_EQ(s.severity(), e.severity);
  for (int i = 0; i < 4; ++i) {
    if (std::isnan(e.limits[i])) {
      EXPECT_TRUE(s.limitNotSet(i)) << "limit " << i;
    } else {
      EXPECT_FALSE(s.limitNotSet(i)) << "limit " << i;
      EXPECT_EQ(s.limit(i), e.limits[i]) << "limit " << i;
    }
  }
  for (int i = 0; i < 3; ++i) {
    if (e.texts[i] == nullptr) {
      EXPECT_TRUE(s.textNotSet(i)) << "text " << i;
    } else {
      EXPECT_FALSE(s.textNotSet(i)) << "text " << i;
      EXPECT_EQ(s.text(i), e.texts[i]) << "text " << i;
    }
  }
  EXPECT_EQ(s.precision(), e.precision);
  EXPECT_EQ(s.parameterValueNotSet(), !e.pv.has_value());
  if (e.pv) {
    EXPECT_EQ(s.parameterValue(), *e.pv);
  }
}

using NewFormTest = DefinitionsTest;

TEST_F(NewFormTest, EachTypeReadsItsKeysAndDerivesItsSeverity) {
  install_definitions({{"Bool", "boolean"},
                       {"Low", "limitsLow", nullptr, true},
                       {"High", "limitsHigh"},
                       {"Param", "parameter"},
                       {"Combo", "combiningParameterLow"},
                       {"Str", "stringParameter"},
                       {"Undef", "whatever"}});
  const double u = kUnset;
  static const struct {
    const char* label;
    const char* name;
    Rec message;
    Expected expected;
  } kCases[] = {
      {"boolean word", "Bool", Rec()("sev", "warn"), {1, 3, {u, u, u, u}, {}, 2, {}}},
      {"boolean dynamic capped", "Bool", Rec()("sev", "dynamic"), {1, 4, {u, u, u, u}, {}, 2, {}}},
      {"boolean parameterNotSet capped", "Bool", Rec()("sev", "parameterNotSet"), {1, 4, {u, u, u, u}, {}, 2, {}}},
      {"unknown word keeps ignore", "Bool", Rec()("sev", "severe"), {1, 1, {u, u, u, u}, {}, 2, {}}},
      {"boolean limits are not read", "Bool", Rec()("sev", "note")("fault", 3.0), {1, 2, {u, u, u, u}, {}, 2, {}}},
      {"low: limits decide over the word", "Low", Rec()("sev", "note")("fault", 150)("warn", 200.5),
       {2, 4, {u, 200.5, 150, u}, {}, 2, {}}},
      {"low: note only", "Low", Rec()("sev", "fault")("note", 1.0)("ignore", 9.0), {2, 2, {1.0, u, u, 9.0}, {}, 2, {}}},
      {"low: no limits is ignore", "Low", Rec()("sev", "fault"), {2, 1, {u, u, u, u}, {}, 2, {}}},
      {"high: int64 and precision", "High", Rec()("warn", std::int64_t{7})("precision", 0),
       {3, 3, {u, 7.0, u, u}, {}, 0, {}}},
      {"high: a text limit reads as absent", "High", Rec()("fault", "3")("note", 1), {3, 2, {1.0, u, u, u}, {}, 2, {}}},
      {"parameter with a value", "Param", Rec()("note", 1.4)("PV", 2.5), {5, 6, {1.4, u, u, u}, {}, 2, 2.5}},
      {"parameter without limits", "Param", Rec()("sev", "warn")("ignore", 1.0), {5, 7, {u, u, u, 1.0}, {}, 2, {}}},
      {"combining parameter", "Combo", Rec()("fault", 0.5), {9, 6, {u, u, 0.5, u}, {}, 2, {}}},
      {"string parameter", "Str", Rec()("P", "a")("P", "b")("P", "c")("P", "d"),
       {6, 6, {u, u, u, u}, {"a", "b", "c"}, 2, {}}},
      {"string parameter without texts keeps the word", "Str", Rec()("sev", "warn")("P", 3),
       {6, 3, {u, u, u, u}, {}, 2, {}}},
      {"undefined type reads nothing", "Undef", Rec()("sev", "fault")("fault", 1.0)("P", "x"),
       {0, 4, {u, u, u, u}, {}, 2, {}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.label);
    BCheckSetting s;
    ASSERT_TRUE(s.DeserialiseSetting2(c.name, WCheckSetting(c.message.ptr())));
    EXPECT_EQ(s.name(), c.name);
    expect_setting(s, c.expected);
    EXPECT_EQ(s.userUnits(), std::string(c.name) == "Low");
  }
}

TEST_F(NewFormTest, MissingDefinitionFailsWithAnInfoLineAndChangesNothing) {
  BCheckSetting s("before");
  {
    vxtest::CapturedLog log;
    EXPECT_FALSE(s.DeserialiseSetting2("Bool", WCheckSetting(Rec()("sev", "fault").ptr())));
    EXPECT_EQ(log.text(), "") << "without a catalogue nothing is logged";
  }
  install_definitions({{"Bool", "boolean"}});
  vxtest::CapturedLog log;
  EXPECT_FALSE(s.DeserialiseSetting2("ResTooLowContone", WCheckSetting(Rec()("sev", "fault").ptr())));
  EXPECT_TRUE(log.contains("[INFO]")) << log.text();
  EXPECT_TRUE(log.contains("[BCheckSetting.cpp:BCheckSetting::DeserialiseSetting2:")) << log.text();
  EXPECT_TRUE(log.contains("] new setting not found\n")) << log.text();
  EXPECT_EQ(s.name(), "before");
  EXPECT_EQ(s.severity(), eProblemSeverity_Ignore);
}

TEST_F(NewFormTest, ReadingAgainForgetsTheEarlierParameterValue) {
  install_definitions({{"Param", "parameter"}});
  BCheckSetting s;
  ASSERT_TRUE(s.DeserialiseSetting2("Param", WCheckSetting(Rec()("PV", 3.0).ptr())));
  ASSERT_TRUE(s.DeserialiseSetting2("Param", WCheckSetting(Rec()("note", 1.0).ptr())));
  EXPECT_TRUE(s.parameterValueNotSet());
  EXPECT_EQ(s.parameterValue(), 0.0);
}

// ---- old form ------------------------------------------------------------------

using OldFormTest = DefinitionsTest;

TEST_F(OldFormTest, KeysTypesAndSeverityNames) {
  install_definitions({{"Known", "limitsHigh"}});
  const double u = kUnset;
  static const struct {
    const char* label;
    Rec message;
    const char* name;
    Expected expected;
    bool userUnits;
  } kCases[] = {
      {"limits low, severity re-derived", Rec()("problem", "A")("subtype", "eSettingType_LimitsLow")("warn", 5)
           ("severity", "eProblemSeverity_Fault"),
       "A", {2, 3, {u, 5.0, u, u}, {}, 0, {}}, false},
      {"subtype wins over type", Rec()("problem", "A")("subtype", "eSettingType_Boolean")
           ("type", "eSettingType_LimitsLow")("severity", "eProblemSeverity_Dynamic"),
       "A", {1, 4, {u, u, u, u}, {}, 0, {}}, false},
      {"type when there is no subtype", Rec()("problem", "A")("type", "eSettingType_StringParameter")("P0", "x")
           ("P2", "z")("P1", 7),
       "A", {6, 6, {u, u, u, u}, {"x", nullptr, "z"}, 0, {}}, false},
      {"the definition's type wins", Rec()("problem", "Known")("subtype", "eSettingType_LimitsLow")("fault", 3.0)
           ("precision", 3)("UserUnit", true),
       "Known", {3, 4, {u, u, 3.0, u}, {}, 3, {}}, true},
      {"unknown type name reads nothing", Rec()("problem", "A")("type", "limitsLow")("fault", 3.0)
           ("severity", "eProblemSeverity_Warn"),
       "A", {-1, 3, {u, u, u, u}, {}, 0, {}}, false},
      {"unknown severity name is NotSet", Rec()("problem", "A")("type", "eSettingType_Range")
           ("severity", "warn")("PV", 4),
       "A", {4, 0, {u, u, u, u}, {}, 0, 4.0}, false},
      {"no type at all", Rec()("problem", "Unknown")("note", 1.0), "Unknown", {0, 1, {u, u, u, u}, {}, 0, {}}, false},
      {"parameter", Rec()("problem", "A")("type", "eSettingType_Parameter")("note", 1.8),
       "A", {5, 6, {1.8, u, u, u}, {}, 0, {}}, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.label);
    BCheckSetting s;
    s.DeserialiseSetting(*c.message);
    EXPECT_EQ(s.name(), c.name);
    expect_setting(s, c.expected);
    EXPECT_EQ(s.userUnits(), c.userUnits);
  }
}

// ---- setters and severity --------------------------------------------------------

TEST_F(NewFormTest, EveryChangeOfALimitOrTextReDerivesTheSeverity) {
  install_definitions({{"Low", "limitsLow"}, {"Param", "parameter"}, {"Str", "stringParameter"}, {"Bool", "boolean"}});
  BCheckSetting low, param, str, boolean;
  ASSERT_TRUE(low.DeserialiseSetting2("Low", WCheckSetting(Rec()("x", 1).ptr())));
  ASSERT_TRUE(param.DeserialiseSetting2("Param", WCheckSetting(Rec()("x", 1).ptr())));
  ASSERT_TRUE(str.DeserialiseSetting2("Str", WCheckSetting(Rec()("x", 1).ptr())));
  ASSERT_TRUE(boolean.DeserialiseSetting2("Bool", WCheckSetting(Rec()("sev", "warn").ptr())));

  low.SetLimit(0, 1.0);
  EXPECT_EQ(low.severity(), eProblemSeverity_Note);
  low.SetLimit(2, 3.0);
  EXPECT_EQ(low.severity(), eProblemSeverity_Fault);
  low.ClearLimit(2);
  EXPECT_EQ(low.severity(), eProblemSeverity_Note);
  low.SetLimit(3, 1.0);
  low.ClearLimit(0);
  EXPECT_EQ(low.severity(), eProblemSeverity_Ignore) << "the ignore limit alone is ignore";

  EXPECT_EQ(param.severity(), eProblemSeverity_ParameterNotSet);
  param.SetLimit(1, 2.0);
  EXPECT_EQ(param.severity(), eProblemSeverity_Parameter);
  param.ClearLimit(1);
  param.SetLimit(3, 2.0);
  EXPECT_EQ(param.severity(), eProblemSeverity_ParameterNotSet);

  EXPECT_EQ(str.severity(), eProblemSeverity_Ignore) << "nothing read, nothing derived";
  str.SetText(3, "slot 3 does not count");
  EXPECT_EQ(str.severity(), eProblemSeverity_ParameterNotSet);
  str.SetText(1, "x");
  EXPECT_EQ(str.severity(), eProblemSeverity_Parameter);

  boolean.SetLimit(2, 1.0);
  EXPECT_EQ(boolean.severity(), eProblemSeverity_Warn) << "other types keep their severity";

  low.SetLimit(4, 1.0);
  low.SetLimit(-1, 1.0);
  low.SetText(7, "x");
  EXPECT_TRUE(low.limitNotSet(4));
  EXPECT_EQ(low.limit(-1), 0.0);
  EXPECT_EQ(low.text(7), "");
}

TEST(SeverityForTest, MeasuredValuesAgainstLimits) {
  set_display_units(UUnits(UUnits::eUnit_Millimeters));
  static const struct {
    const char* label;
    const char* type;
    std::vector<std::pair<const char*, double>> limits;
    int precision;
    bool userUnits;
    double value;
    int severity;
    double limit;  // kUnset: out limit untouched
  } kCases[] = {
      {"high between warn and fault", "eSettingType_LimitsHigh", {{"note", 1.0}, {"warn", 2.0}, {"fault", 3.0}}, 2,
       false, 2.5, 3, 2.0},
      {"high above fault", "eSettingType_LimitsHigh", {{"note", 1.0}, {"warn", 2.0}, {"fault", 3.0}}, 2, false, 3.5,
       4, 3.0},
      {"high below every limit", "eSettingType_LimitsHigh", {{"note", 1.0}, {"warn", 2.0}, {"fault", 3.0}}, 2, false,
       0.5, 1, kUnset},
      {"high equal to a limit does not pass it", "eSettingType_LimitsHigh", {{"warn", 2.0}}, 2, false, 2.0, 1,
       kUnset},
      {"high ignore limit", "eSettingType_LimitsHigh", {{"ignore", 1.0}}, 2, false, 2.0, 1, 1.0},
      {"low below fault", "eSettingType_LimitsLow", {{"note", 300.0}, {"warn", 200.0}, {"fault", 150.0}}, 2, false,
       100.0, 4, 150.0},
      {"low between", "eSettingType_LimitsLow", {{"note", 300.0}, {"warn", 200.0}, {"fault", 150.0}}, 2, false,
       250.0, 2, 300.0},
      {"low rounding to precision 0 makes them equal", "eSettingType_LimitsLow", {{"fault", 299.6}, {"warn", 400.0}},
       0, false, 299.5, 3, 400.0},
      {"low precision 2 keeps them apart", "eSettingType_LimitsLow", {{"fault", 299.6}, {"warn", 400.0}}, 2, false,
       299.5, 4, 299.6},
      // 2.84 pt and 2.83 pt both show as 1.00 mm.
      {"user units compare in the display unit", "eSettingType_LimitsLow", {{"fault", 2.84}}, 2, true, 2.83, 1,
       kUnset},
      {"user units apart", "eSettingType_LimitsLow", {{"fault", 2.9}}, 2, true, 2.83, 4, 2.9},
      {"a huge precision does not hang", "eSettingType_LimitsLow", {{"fault", 2.0}}, 2000000000, false, 1.0, 4, 2.0},
      {"parameters earn nothing", "eSettingType_Parameter", {{"note", 1.0}}, 2, false, 5.0, 1, kUnset},
      {"not a number matches nothing", "eSettingType_LimitsLow", {{"fault", 1.0}}, 2, false, kUnset, 1, kUnset},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.label);
    Rec r;
    r("problem", "X")("type", c.type)("precision", c.precision)("UserUnit", c.userUnits);
    for (const auto& [key, value] : c.limits) r(key, value);
    BCheckSetting s;
    s.DeserialiseSetting(*r);
    double limit = -7.0;
    EXPECT_EQ(s.SeverityFor(c.value, &limit), c.severity);
    EXPECT_EQ(limit, std::isnan(c.limit) ? -7.0 : c.limit);
    EXPECT_EQ(s.SeverityFor(c.value), c.severity) << "the out limit is optional";
  }
}

// ---- list --------------------------------------------------------------------

std::unique_ptr<BCheckSetting> named(const char* name, double note) {
  auto s = std::make_unique<BCheckSetting>();
  s->DeserialiseSetting(*Rec()("problem", name)("type", "eSettingType_Parameter")("note", note));
  return s;
}

using CheckSettingListTest = DefinitionsTest;

TEST_F(CheckSettingListTest, KeepsNameOrderAndFindsTheLastAdded) {
  BCheckSettingList list;
  for (const char* name : {"b", "a", "c", "B", "ab"}) list.Add(named(name, 1.0));
  list.Add(named("b", 2.0));
  list.Add(nullptr);
  std::vector<std::string> order;
  for (std::size_t i = 0; i < list.size(); ++i) order.push_back(list[i].name().str());
  EXPECT_EQ(order, (std::vector<std::string>{"B", "a", "ab", "b", "b", "c"}));
  ASSERT_NE(list.Find("b"), nullptr);
  EXPECT_EQ(list.Find("b")->limit(0), 2.0);
  EXPECT_EQ(list.Find("bb"), nullptr);
  EXPECT_EQ(list.Find(""), nullptr);
  list.Clear();
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.Find("b"), nullptr);
}

// Out-of-order adds are sorted in lazily; the order must still be the one of
// inserting each setting before its equal names, also when reads come
// between adds (a sorted part and a newer unsorted part then meet).
TEST_F(CheckSettingListTest, EqualAndDescendingNamesKeepTheOrderOfInsertingEachBeforeItsEquals) {
  struct Case {
    const char* adds;  // one name a character; '|' reads the list there
  } const kCases[] = {
      {"aaaaaa"}, {"fedcba"}, {"abcabc"}, {"aa|aa"}, {"ab|ba|ab"}, {"cba|cba|a"}, {"a|a|a|"}, {"zyx|abc|xyz"},
  };
  for (const Case& c : kCases) {
    BCheckSettingList list;
    std::vector<std::pair<std::string, double>> expected;  // inserted one at a time
    double added = 0;
    for (const char* p = c.adds; *p != '\0'; ++p) {
      if (*p == '|') {
        (void)list.Find("a");
        continue;
      }
      const std::string name(1, *p);
      list.Add(named(name.c_str(), ++added));
      const auto at = std::find_if(expected.begin(), expected.end(), [&](const auto& e) { return e.first >= name; });
      expected.insert(at, {name, added});
    }
    std::vector<std::pair<std::string, double>> order;
    for (std::size_t i = 0; i < list.size(); ++i) order.emplace_back(list[i].name().str(), list[i].limit(0));
    EXPECT_EQ(order, expected) << c.adds;
    for (const auto& entry : expected) {
      const auto first =
          std::find_if(expected.begin(), expected.end(), [&](const auto& e) { return e.first == entry.first; });
      ASSERT_NE(list.Find(entry.first), nullptr) << c.adds;
      EXPECT_EQ(list.Find(entry.first)->limit(0), first->second) << c.adds << ": Find gives the one added last";
    }
  }
}

TEST_F(CheckSettingListTest, MovedFromListIsEmptyAndUsable) {
  BCheckSettingList list;
  for (const char* name : {"c", "b", "a"}) list.Add(named(name, 1.0));
  BCheckSettingList moved(std::move(list));
  EXPECT_EQ(moved.size(), 3u);
  EXPECT_EQ(moved[0].name().str(), "a");
  EXPECT_TRUE(list.empty());  // NOLINT(bugprone-use-after-move): the contract says empty
  for (const char* name : {"b", "a"}) list.Add(named(name, 2.0));
  EXPECT_EQ(list[0].name().str(), "a");
  EXPECT_EQ(list.size(), 2u);
}

TEST_F(CheckSettingListTest, FindBuildsADefaultSettingOnceFromTheDefinition) {
  BCheckSettingList list;
  EXPECT_EQ(list.Find("ResTooLowContone"), nullptr) << "no catalogue, no defaults";
  install_definitions({{"ResTooLowContone", "limitsLow", Rec()("warn", 200)("note", 300)},
                       {"NoDefaults", "boolean"},
                       {"EmptyDefaults", "boolean", Rec()}});
  const BCheckSetting* made = list.Find("ResTooLowContone");
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->type(), eSettingType_LimitsLow);
  EXPECT_EQ(made->severity(), eProblemSeverity_Warn);
  EXPECT_EQ(made->limit(1), 200.0);
  EXPECT_EQ(list.Find("ResTooLowContone"), made) << "the same object on the next call";
  EXPECT_TRUE(list.empty()) << "defaults do not enter the sorted list";
  EXPECT_EQ(list.Find("NoDefaults"), nullptr);
  EXPECT_EQ(list.Find("EmptyDefaults"), nullptr);

  list.Add(named("ResTooLowContone", 5.0));
  EXPECT_NE(list.Find("ResTooLowContone"), made) << "the job's own setting comes first";
  list.Clear();
  EXPECT_EQ(list.Find("ResTooLowContone"), made) << "defaults live as long as the list";
}

TEST_F(CheckSettingListTest, RequiredPDFVersion) {
  const auto version = [](std::initializer_list<Rec> settings) {
    auto all = std::make_shared<umessage>();
    for (const Rec& s : settings) all->add_array("settings", *s);
    BCheckSettingList list;
    LoadSettings(list, *all);
    return list.RequiredPDFVersion();
  };
  const Rec pdf = Rec()("problem", "Setting_PDFVersion")("type", "eSettingType_Parameter");
  const auto pdfAt = [](double v) {
    return Rec()("problem", "Setting_PDFVersion")("type", "eSettingType_Parameter")("note", v);
  };
  const auto tooHigh = [](const char* level, double v) {
    return Rec()("problem", "PDFVersionTooHigh")("type", "eSettingType_LimitsHigh")(level, v);
  };
  const auto tooLow = [](const char* level, double v) {
    return Rec()("problem", "PDFVersionTooLow")("type", "eSettingType_LimitsLow")(level, v);
  };

  EXPECT_EQ(version({}), 0.0);
  EXPECT_EQ(version({pdf}), 0.0) << "a version setting without its limit";
  EXPECT_EQ(version({pdfAt(1.8)}), 1.7);
  EXPECT_EQ(version({pdfAt(1.2)}), 1.3);
  EXPECT_EQ(version({pdfAt(1.5)}), 1.5);
  EXPECT_EQ(version({pdfAt(1.5), tooHigh("warn", 1.4)}), 1.4);
  EXPECT_EQ(version({pdfAt(1.4), tooHigh("fault", 1.6)}), 1.4);
  EXPECT_EQ(version({tooHigh("fault", 1.6)}), 1.6);
  EXPECT_EQ(version({pdfAt(1.5), tooHigh("note", 1.4)}), 1.5) << "a note does not lower it";
  EXPECT_EQ(version({pdfAt(1.4), tooLow("warn", 1.6)}), 1.6);
  EXPECT_EQ(version({tooLow("fault", 1.5)}), 1.5);
  EXPECT_EQ(version({pdfAt(1.6), tooLow("fault", 1.5)}), 1.6);
  EXPECT_EQ(version({tooHigh("warn", 1.2)}), 1.3);
  EXPECT_EQ(version({pdfAt(kUnset)}), 0.0) << "not a number is no requirement";
  EXPECT_EQ(version({pdfAt(std::numeric_limits<double>::infinity())}), 1.7);
}

TEST_F(CheckSettingListTest, RequiredPDFVersionFromDefinitionDefaults) {
  install_definitions({{"Setting_PDFVersion", "parameter", Rec()("note", 1.6)},
                       {"PDFVersionTooHigh", "limitsHigh", Rec()("warn", 1.5)}});
  BCheckSettingList list;
  EXPECT_EQ(list.RequiredPDFVersion(), 1.5);
}

// ---- colour profile paths ----------------------------------------------------------

// Points the colour-profile folder at a scratch folder holding one profile.
class ColourFolder : public vxp::PlatformWrapper {
 public:
  ColourFolder() : PlatformWrapper(vxp::native_platform()), scope_(*this) {
    root_ = UFileSpecCore::temporary_folder();
    colour_ = root_;
    colour_.append("colour");
    colour_.mkdir();
    write(colour_, "sRGB.icc");
    write(root_, "outside.icc");
  }
  bool color_directory(std::wstring* out) override {
    *out = colour_.native_path();
    return true;
  }
  ustring path_of(const char* name) const {
    UFileSpecCore f = colour_;
    f.append(name);
    return f.path();
  }

 private:
  static void write(UFileSpecCore folder, const char* name) {
    folder.append(name);
    folder.open_output() << "profile";
  }
  vxp::ScopedPlatform scope_;
  UFileSpecCore root_, colour_;
};

using ProfilePathTest = DefinitionsTest;

TEST_F(ProfilePathTest, ExistingProfilesInTheColourFolderBecomeFullPaths) {
  ColourFolder folder;
  const Rec texts = Rec()("P", "sRGB.icc")("P", "missing.icc")("P", "../outside.icc");
  install_definitions({{"Setting_WorkingSpaceProfiles", "stringParameter", texts},
                       {"Setting_GrayscaleProfile", "stringParameter", texts},
                       {"Setting_ControlStrip", "stringParameter", texts}});
  BCheckSettingList list;
  for (const char* name : {"Setting_WorkingSpaceProfiles", "Setting_GrayscaleProfile"}) {
    SCOPED_TRACE(name);
    const BCheckSetting* s = list.Find(name);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->text(0), folder.path_of("sRGB.icc"));
    EXPECT_EQ(s->text(1), "missing.icc");
    EXPECT_EQ(s->text(2), "../outside.icc") << "never resolved outside the colour folder";
  }
  EXPECT_EQ(list.Find("Setting_ControlStrip")->text(0), "sRGB.icc") << "only the four profile settings";

  BCheckSetting absolute("Setting_ProcessProfile");
  absolute.SetText(3, folder.path_of("sRGB.icc"));
  absolute.SetText(0, "sRGB.icc");
  ApplyProfilePathRule(absolute);
  EXPECT_EQ(absolute.text(0), folder.path_of("sRGB.icc"));
  EXPECT_EQ(absolute.text(3), folder.path_of("sRGB.icc"));
  EXPECT_TRUE(IsColourProfileSetting("Setting_LocalOutputProfiles"));
  EXPECT_FALSE(IsColourProfileSetting("Setting_PDFVersion"));
}

}  // namespace
