#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "datastruct/BCheckSettingList.h"
#include "datastruct/CheckSettingDefinitions.h"
#include "datastruct/LoadSettings.h"
#include "datastruct/WEffectiveProfile.h"
#include "settings_fixtures.h"
#include "support/captured_log.h"

namespace {

using vxtest::DefinitionsTest;
using vxtest::install_definitions;
using vxtest::Rec;
using vxtest::Record;

// A check group whose "checks" hold the given settings.
Rec group(std::initializer_list<std::pair<const char*, Rec>> checks) {
  Rec c;
  for (const auto& [name, setting] : checks) c(name, setting);
  return Rec()("checks", c);
}

Rec destination(const char* id, const Rec& zts) { return Rec()("identifier", id)("zts", zts); }

// The severity words of collected settings, in order.
std::vector<std::string> words(const std::vector<WCheckSetting>& settings) {
  std::vector<std::string> out;
  for (const WCheckSetting& s : settings) out.push_back(s.SeverityText().str());
  return out;
}

class ProfileTest : public DefinitionsTest {
 protected:
  void SetUp() override {
    DefinitionsTest::SetUp();
    install_definitions({{"MissingBleedBox", "boolean", Rec()("sev", "warn")},
                         {"ResTooLowContone", "limitsLow", Rec()("warn", 250)},
                         {"InkWeightShadow", "limitsHigh"},
                         {"InkWeightTAC", "limitsHigh"},
                         {"Setting_ControlStrip", "stringParameter"},
                         {"Setting_MinimumBleed", "parameter"},
                         {"Transparency", "boolean"},
                         {"Setting_PDFXVersion", "combiningParameterLow"}});
  }
};

TEST_F(ProfileTest, ProblemNamesOfEveryGroupSortedOnce) {
  const Rec zts = group({{"b", Rec()("sev", "note")}, {"all", Rec()("sev", "warn")}});
  zts("restrictions", group({{"a", Rec()}, {"z", Rec()}}))("restrictions", Rec()("restrictions", group({{"d", Rec()}})));
  const Rec ticket = Rec()("zts", zts)("destinations", destination("1", group({{"c", Rec()}, {"b", Rec()}})))
      ("destinations", Rec()("identifier", "2"));
  EXPECT_EQ(WEffectiveProfileT(ticket.ptr()).ProblemNames(),
            (std::vector<ustring>{"a", "all", "b", "c", "d", "z"}));
  EXPECT_TRUE(WEffectiveProfileT().ProblemNames().empty());
}

TEST_F(ProfileTest, CollectOrderAndSpecialRules) {
  const Rec fault = Rec()("sev", "fault");
  const Rec warn = Rec()("sev", "warn");
  const Rec note = Rec()("sev", "note");
  const Rec ignore = Rec()("sev", "ignore");
  static const struct {
    const char* label;
    Rec ticket;
    const char* name;
    std::vector<std::string> expected;
  } kCases[] = {
      {"box problem only in the ticket's group gets a fault first",
       Rec()("destinations", destination("1", group({{"Other", warn}})))("zts", group({{"MissingBleedBox", ignore}})),
       "MissingBleedBox", {"fault", "ignore"}},
      {"no destinations, no special rule", Rec()("zts", group({{"MissingBleedBox", ignore}})), "MissingBleedBox",
       {"ignore"}},
      {"a destination without a group still counts as a destination",
       Rec()("destinations", Rec()("identifier", "1"))("zts", group({{"MediaTooSmall", note}})), "MediaTooSmall",
       {"fault", "note"}},
      {"destinations first, then restrictions before their group",
       Rec()("destinations", destination("1", group({{"Transparency", note}})))
           ("destinations", destination("2", group({{"Transparency", warn}})))
           ("zts", group({{"Transparency", ignore}})("restrictions", group({{"Transparency", fault}}))),
       "Transparency", {"note", "warn", "fault", "ignore"}},
      {"first-only problem: the ticket's own setting is dropped after others",
       Rec()("destinations", destination("1", group({{"InkWeightTAC", warn}})))
           ("zts", group({{"InkWeightTAC", note}})),
       "InkWeightTAC", {"warn"}},
      {"first-only problem: kept when nothing came before",
       Rec()("destinations", destination("1", group({})))("zts", group({{"InkWeightTAC", note}})), "InkWeightTAC",
       {"note"}},
      {"first-only problem: the ticket's restrictions count as before",
       Rec()("destinations", destination("1", group({})))
           ("zts", group({{"InkWeightTAC", note}})("restrictions", group({{"InkWeightTAC", fault}}))),
       "InkWeightTAC", {"fault"}},
      {"all fallback for a Boolean", Rec()("destinations", destination("1", group({{"all", warn}}))),
       "Transparency", {"warn"}},
      {"all fallback not for a string parameter", Rec()("destinations", destination("1", group({{"all", warn}}))),
       "Setting_ControlStrip", {}},
      {"all fallback not for an unknown problem", Rec()("destinations", destination("1", group({{"all", warn}}))),
       "Unknown", {}},
      {"own setting wins over all", Rec()("destinations", destination("1", group({{"all", warn}, {"Transparency", note}}))),
       "Transparency", {"note"}},
      {"groups of the wrong type are skipped",
       Rec()("destinations", Rec()("zts", 1))("zts", Rec()("checks", "x")("restrictions", 2)), "Transparency", {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(words(Collect(WEffectiveProfileT(c.ticket.ptr()), c.name)), c.expected);
  }
}

TEST_F(ProfileTest, CollectGroupAppendsOneGroup) {
  std::vector<WCheckSetting> out{WCheckSetting(Rec()("sev", "warn").ptr())};
  const Rec g = group({{"InkWeightTAC", Rec()("sev", "note")}});
  CollectGroup(WCheckGroup(g.ptr()), "InkWeightTAC", true, true, out);
  EXPECT_EQ(words(out), (std::vector<std::string>{"warn"}));
  CollectGroup(WCheckGroup(g.ptr()), "InkWeightTAC", false, true, out);
  EXPECT_EQ(words(out), (std::vector<std::string>{"warn", "note"}));
}

// Restrictions nested `depth` levels below a destination's group, with the
// deepest holding the only setting.
Rec nested(int depth) {
  Rec deepest = group({{"Transparency", Rec()("sev", "fault")}});
  for (int i = 0; i < depth; ++i) deepest = Rec()("restrictions", deepest);
  return Rec()("destinations", destination("1", deepest));
}

TEST_F(ProfileTest, RestrictionNestingIsBoundedAndCyclesEnd) {
  EXPECT_EQ(words(Collect(WEffectiveProfileT(nested(kMaxRestrictionDepth).ptr()), "Transparency")),
            (std::vector<std::string>{"fault"}));
  EXPECT_TRUE(Collect(WEffectiveProfileT(nested(kMaxRestrictionDepth + 1).ptr()), "Transparency").empty());
  EXPECT_TRUE(WEffectiveProfileT(nested(500).ptr()).ProblemNames().empty());

  // A hand-built group that holds itself, and one reachable twice.
  const Rec looped = group({{"Transparency", Rec()("sev", "warn")}});
  looped("restrictions", looped)("restrictions", looped);
  const Rec shared = group({{"Transparency", Rec()("sev", "note")}});
  const Rec twice = Rec()("restrictions", shared)("restrictions", shared);
  const Rec ticket = Rec()("destinations", destination("1", looped))("destinations", destination("2", twice))
      ("destinations", destination("3", twice));
  EXPECT_EQ(words(Collect(WEffectiveProfileT(ticket.ptr()), "Transparency")),
            (std::vector<std::string>{"warn", "note", "note"}))
      << "a record is walked once per destination";
  looped.ptr()->erase("restrictions");  // breaks the reference cycle
}

// The whole-ticket reduction against the name-by-name one, over a ticket
// that exercises every rule at once.
TEST_F(ProfileTest, AllAtOnceMatchesNameByName) {
  const Rec fault = Rec()("sev", "fault");
  const Rec note = Rec()("sev", "note")("fix", true);
  const Rec inner = group({{"Transparency", fault}, {"InkWeightTAC", Rec()("fault", 300)}, {"ResTooLowContone", Rec()}});
  const Rec ticket = Rec()
      ("destinations", destination("1", group({{"all", note}, {"ResTooLowContone", Rec()("fault", 150)},
                                               {"Setting_ControlStrip", Rec()("P", "x")}})
                                            ("restrictions", inner)))
      ("destinations", destination("2", group({{"ResTooLowContone", Rec()("warn", 250)("fault", 120)},
                                               {"InkWeightShadow", Rec()("fault", 280)}})))
      ("destinations", Rec()("identifier", "3"))
      ("destinations", destination("4", Rec()("checks", Rec()("Odd", 4)("all", Rec()))))
      ("zts", group({{"MissingBleedBox", Rec()("sev", "ignore")}, {"InkWeightTAC", Rec()("fault", 320)},
                     {"Setting_MinimumBleed", Rec()("PV", 2)}})
                  ("restrictions", group({{"all", Rec()("sev", "warn")}, {"InkWeightShadow", Rec()("fault", 290)}}))
                  ("restrictions", inner));
  const WEffectiveProfileT profile(ticket.ptr());
  const auto catalogue = SettingDefinitionCatalogue();
  std::vector<ustring> seen;
  ForEachEffectiveSetting(CheckGroupWalk(profile), catalogue.get(),
                          [&](const ustring& name, const WCheckSetting& setting) {
                            SCOPED_TRACE(name.str());
                            seen.push_back(name);
                            const WCheckSetting expected = EffectiveSetting(profile, name);
                            ASSERT_EQ(setting.empty(), expected.empty());
                            if (!expected.empty()) {
                              EXPECT_TRUE(*setting.message() == *expected.message());
                            }
                          });
  EXPECT_EQ(seen, profile.ProblemNames());
  EXPECT_EQ(seen.size(), 9u);
}

// A setting with random severity, limits and fix flag: ties, NaN, signed
// zeros and unknown words included, so that every rule of the merges meets
// every other.
Rec random_setting(std::mt19937& random) {
  static const char* const kWords[] = {"fault", "warn", "note", "ignore", "bogus"};
  static const double kValues[] = {1.0, 2.0, 2.0, -0.0, 0.0, std::numeric_limits<double>::quiet_NaN(), 300.0};
  Rec r;
  if (random() % 3 != 0) r("sev", kWords[random() % 5]);
  for (int slot = 0; slot < 3; ++slot)
    if (random() % 3 == 0) r(WCheckSetting::LimitKey(slot).c_str(), kValues[random() % 7]);
  if (random() % 4 == 0) r("fix", random() % 2 == 0);
  return r;
}

// A check group with random own settings, an "all" fallback most of the time
// and a run of restrictions (nested now and then) that are mostly fallbacks.
Rec random_group(std::mt19937& random, int depth) {
  static const char* const kNames[] = {"MissingBleedBox", "InkWeightTAC", "ResTooLowContone", "Transparency",
                                       "InkWeightShadow", "Setting_ControlStrip", "Setting_MinimumBleed", "Odd"};
  Rec checks;
  for (const char* name : kNames)
    if (random() % 6 == 0) checks(name, random_setting(random));
  if (random() % 4 != 0) checks("all", random_setting(random));
  Rec group;
  group("checks", checks);
  const int restrictions = depth == 0 ? 0 : static_cast<int>(random() % 12);
  for (int i = 0; i < restrictions; ++i) group("restrictions", random_group(random, random() % 5 == 0 ? depth - 1 : 0));
  return group;
}

std::string flat_bytes(const WCheckSetting& setting) {
  std::ostringstream out;
  if (!setting.empty()) setting.message()->flatten(out);
  return out.str();
}

// The pass over all names merges runs of fallbacks from precomputed
// summaries; over random tickets with long runs of fallbacks between a
// name's own settings it must give, byte for byte, what gathering the
// settings name by name and merging them gives.
TEST_F(ProfileTest, AllAtOnceMatchesNameByNameOverRunsOfFallbacks) {
  for (unsigned seed = 1; seed <= 200; ++seed) {
    std::mt19937 random(seed);
    Rec ticket;
    const int destinations = static_cast<int>(random() % 3);
    for (int d = 0; d < destinations; ++d)
      ticket("destinations", destination(std::to_string(d).c_str(), random_group(random, 2)));
    ticket("zts", random_group(random, 2));
    const WEffectiveProfileT profile(ticket.ptr());
    const auto catalogue = SettingDefinitionCatalogue();
    std::vector<ustring> seen;
    ForEachEffectiveSetting(CheckGroupWalk(profile), catalogue.get(),
                            [&](const ustring& name, const WCheckSetting& setting) {
                              seen.push_back(name);
                              EXPECT_EQ(flat_bytes(setting), flat_bytes(EffectiveSetting(profile, name)))
                                  << "seed " << seed << ", " << name.str();
                            });
    EXPECT_EQ(seen, profile.ProblemNames()) << "seed " << seed;
  }
}

// ---- merges ----------------------------------------------------------------------

std::vector<WCheckSetting> settings(std::initializer_list<Rec> records) {
  std::vector<WCheckSetting> out;
  for (const Rec& r : records) out.emplace_back(r.ptr());
  return out;
}

TEST(MergeTest, Boolean) {
  static const struct {
    const char* label;
    std::vector<WCheckSetting> in;
    Record expected;  // null: empty result
  } kCases[] = {
      {"gravest wins", settings({Rec()("sev", "note")("x", 1), Rec()("sev", "fault")("x", 2), Rec()("sev", "warn")}),
       Rec()("sev", "fault")("x", 2)},
      {"fix demotes a fault to warn",
       settings({Rec()("sev", "warn"), Rec()("sev", "fault")("x", 2), Rec()("sev", "note")("fix", true)}),
       Rec()("sev", "warn")("x", 2)("fix", true)},
      {"fix stays on a warn", settings({Rec()("sev", "warn")("fix", true), Rec()("sev", "note")}),
       Rec()("sev", "warn")("fix", true)},
      {"fix false is dropped", settings({Rec()("sev", "fault")("fix", false), Rec()("sev", "note")}),
       Rec()("sev", "fault")},
      {"first of equal rank", settings({Rec()("sev", "warn")("x", 1), Rec()("sev", "warn")("x", 2)}),
       Rec()("sev", "warn")("x", 1)},
      {"unknown words rank below ignore", settings({Rec()("sev", "dynamic"), Rec()("sev", "ignore")("x", 1)}),
       Rec()("sev", "ignore")("x", 1)},
      {"no known severity", settings({Rec()("sev", "dynamic"), Rec()("sev", 4), Rec()}), nullptr},
      {"nothing", {}, nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.label);
    const WCheckSetting merged = MergeBoolean(c.in);
    if (!c.expected) {
      EXPECT_TRUE(merged.empty());
      continue;
    }
    ASSERT_FALSE(merged.empty());
    EXPECT_TRUE(*merged.message() == *c.expected);
  }
}

TEST(MergeTest, Limits) {
  static const struct {
    const char* label;
    std::vector<WCheckSetting> in;
    eLimitMerge winner;
    Record expected;
  } kCases[] = {
      {"larger fault wins", settings({Rec()("fault", 150), Rec()("fault", 200)}), eLimitMerge_LargerWins,
       Rec()("sev", "fault")("fault", 200.0)},
      {"smaller fault wins", settings({Rec()("fault", 300), Rec()("fault", 280.0)}), eLimitMerge_SmallerWins,
       Rec()("sev", "fault")("fault", 280.0)},
      {"levels merge separately, copy of the first with the gravest level",
       settings({Rec()("warn", 200)("note", 300)("x", 1), Rec()("fault", 100)("note", 350)("x", 2)("sev", "note")}),
       eLimitMerge_LargerWins, Rec()("sev", "fault")("fault", 100.0)("warn", 200.0)("note", 350.0)("x", 2)},
      {"a fault result drops fix", settings({Rec()("fault", 1)("fix", true), Rec()("fault", 2)}),
       eLimitMerge_LargerWins, Rec()("sev", "fault")("fault", 2.0)},
      {"a warn result keeps fix", settings({Rec()("warn", 1), Rec()("warn", 2)("fix", true)}),
       eLimitMerge_LargerWins, Rec()("sev", "warn")("warn", 2.0)("fix", true)},
      {"ignore limits are carried unchanged", settings({Rec()("note", 1)("ignore", 9), Rec()("note", 0.5)}),
       eLimitMerge_SmallerWins, Rec()("sev", "note")("note", 0.5)("ignore", 9)},
      {"a text where a number belongs is no limit", settings({Rec()("fault", "9")("warn", 1), Rec()("warn", 2)}),
       eLimitMerge_LargerWins, Rec()("sev", "warn")("warn", 2.0)},
      {"no limits at all", settings({Rec()("sev", "fault"), Rec()("ignore", 3)}), eLimitMerge_LargerWins, nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.label);
    const WCheckSetting merged = MergeLimits(c.in, c.winner);
    if (!c.expected) {
      EXPECT_TRUE(merged.empty());
      continue;
    }
    ASSERT_FALSE(merged.empty());
    EXPECT_TRUE(*merged.message() == *c.expected);
  }
}

TEST_F(ProfileTest, EffectiveSettingByDefinitionType) {
  const auto two = [](const char* name, const Rec& a, const Rec& b) {
    return WEffectiveProfileT(Rec()("destinations", destination("1", group({{name, a}})))
                                  ("destinations", destination("2", group({{name, b}}))).ptr());
  };
  const WCheckSetting low = EffectiveSetting(two("ResTooLowContone", Rec()("fault", 150), Rec()("fault", 200)),
                                             "ResTooLowContone");
  EXPECT_EQ(low.Limit(2), 200.0);
  EXPECT_EQ(low.SeverityText(), "fault");
  const WCheckSetting high = EffectiveSetting(two("InkWeightShadow", Rec()("fault", 300), Rec()("fault", 280)),
                                              "InkWeightShadow");
  EXPECT_EQ(high.Limit(2), 280.0);
  const WCheckSetting boolean = EffectiveSetting(
      two("Transparency", Rec()("sev", "warn"), Rec()("sev", "fault")("fix", true)), "Transparency");
  EXPECT_EQ(boolean.SeverityText(), "warn");
  EXPECT_TRUE(boolean.Fix());
  const WCheckSetting text = EffectiveSetting(
      two("Setting_ControlStrip", Rec()("sev", "parameter"), Rec()("P", "a")("P", "strip")), "Setting_ControlStrip");
  EXPECT_EQ(text.Text(1), ustring("strip"));
  EXPECT_TRUE(EffectiveSetting(two("Setting_MinimumBleed", Rec()("PV", 1), Rec()("PV", 2)), "Setting_MinimumBleed")
                  .empty())
      << "parameters without texts give nothing";
  EXPECT_TRUE(EffectiveSetting(two("Setting_PDFXVersion", Rec()("note", 1), Rec()("note", 2)), "Setting_PDFXVersion")
                  .empty())
      << "no merge for other types";
  const WCheckSetting one = EffectiveSetting(two("Setting_PDFXVersion", Rec()("note", 1), Rec()), "Setting_PDFXVersion");
  EXPECT_EQ(one.Limit(0), 1.0) << "a single setting is taken as it is";
  EXPECT_EQ(EffectiveSetting(WEffectiveProfileT(), "ResTooLowContone").Limit(1), 250.0) << "definition defaults";
  EXPECT_TRUE(EffectiveSetting(WEffectiveProfileT(), "InkWeightShadow").empty());

  ResetSettingDefinitionsForTesting();
  EXPECT_TRUE(EffectiveSetting(two("Transparency", Rec()("sev", "warn"), Rec()("sev", "fault")), "Transparency")
                  .empty())
      << "no catalogue, no merge";
  EXPECT_TRUE(EffectiveSetting(WEffectiveProfileT(), "ResTooLowContone").empty());
}

// ---- loading --------------------------------------------------------------------

int lines_with(const std::string& text, const std::string& piece) {
  int n = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

std::vector<std::string> names_of(const BCheckSettingList& list) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < list.size(); ++i) out.push_back(list[i].name().str());
  return out;
}

TEST_F(ProfileTest, LoadSettingsFromTheOldForm) {
  auto message = std::make_shared<umessage>();
  message->add_array("settings", *Rec()("problem", "Zed")("type", "eSettingType_Boolean")
                                      ("severity", "eProblemSeverity_Warn"));
  message->add_array("settings", *Rec()("type", "eSettingType_Boolean"));  // no problem: skipped
  message->add_array("settings", *Rec()("problem", "ResTooLowContone")("fault", 100)("note", 300));
  message->add_array("settings", *Rec()("problem", "")("type", "eSettingType_Boolean"));

  BCheckSettingList list;
  list.Add(std::make_unique<BCheckSetting>("stale"));
  LoadSettings(list, *message);
  EXPECT_EQ(names_of(list), (std::vector<std::string>{"ResTooLowContone", "Zed"}));
  EXPECT_EQ(list.Find("Zed")->severity(), eProblemSeverity_Warn);
  EXPECT_EQ(list.Find("ResTooLowContone")->type(), eSettingType_LimitsLow) << "type from the definitions";
  EXPECT_EQ(list.Find("ResTooLowContone")->severity(), eProblemSeverity_Fault);
}

TEST_F(ProfileTest, LoadSettingsFromATicket) {
  const Rec ticket = Rec()("identifier", "T")
      ("destinations", destination("1", group({{"ResTooLowContone", Rec()("fault", 150)},
                                               {"Transparency", Rec()("sev", "warn")},
                                               {"all", Rec()("sev", "note")},
                                               {"NotDefined", Rec()("sev", "fault")}})))
      ("destinations", destination("2", group({{"ResTooLowContone", Rec()("fault", 200)("precision", 0)}})))
      ("zts", group({{"MissingBleedBox", Rec()("sev", "ignore")}}));
  BCheckSettingList list;
  vxtest::CapturedLog log;
  LoadSettings(list, ticket.ptr());
  EXPECT_EQ(names_of(list), (std::vector<std::string>{"MissingBleedBox", "ResTooLowContone", "Transparency"}));
  EXPECT_EQ(list.Find("MissingBleedBox")->severity(), eProblemSeverity_Fault) << "the box rule's fault wins";
  const BCheckSetting* res = list.Find("ResTooLowContone");
  EXPECT_EQ(res->limit(2), 200.0);
  EXPECT_EQ(res->precision(), 2) << "the copy is made of the first setting with a fault limit";
  EXPECT_EQ(list.Find("Transparency")->severity(), eProblemSeverity_Warn);
  // "all" and "NotDefined" have no definition.
  EXPECT_EQ(lines_with(log.text(), "new setting not found"), 2);
}

TEST_F(ProfileTest, LoadSettingsSurvivesMalformedMessages) {
  const Rec cases[] = {
      Rec(),
      Rec()("settings", 3),
      Rec()("settings", "x")("destinations", 4)("zts", "y"),
      Rec()("destinations", Rec()("zts", Rec()("checks", Rec()("Transparency", 1)("ResTooLowContone", "x")))),
      Rec()("zts", Rec()("checks", Rec()("ResTooLowContone", Rec()("fault", "high")("sev", 5)("precision", "p")))),
      Rec()("zts", Rec()("restrictions", 1)("checks", 2)),
      nested(10000 / 20),
  };
  for (const Rec& message : cases) {
    BCheckSettingList list;
    vxtest::CapturedLog log;
    EXPECT_NO_THROW(LoadSettings(list, message.ptr()));
  }
  BCheckSettingList list;
  LoadSettings(list, std::shared_ptr<const umessage>());
  EXPECT_TRUE(list.empty());
}

}  // namespace
