// The host's report: JSON text of what a plug-in did, members in a fixed order.
#include "HostReport.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>

#include "JobJson.h"
#include "JsonWriter.h"
#include "PdfTools.h"
#include "TestPlugin.h"
#include "datastruct/BJobFile.h"
#include "datastruct/CheckSettingDefinitions.h"
#include "utils/umessage.h"

namespace {

using vxsim::HostModel;
using vxsim::JsonWriter;
using vxsim_test::TestPlugin;

std::string as_json_string(const std::string& text) {
  std::string out;
  JsonWriter::append_string(out, text);
  return out;
}

TEST(JsonWriterTest, StringsAreEscapedAndAlwaysValidUtf8) {
  const struct {
    std::string text;
    std::string json;
  } cases[] = {
      {"plain", "\"plain\""},
      {"say \"hi\"\\", "\"say \\\"hi\\\"\\\\\""},
      {"tab\tline\nreturn\r", "\"tab\\tline\\nreturn\\r\""},
      {std::string("nul\0end", 7), "\"nul\\u0000end\""},
      {"\x01\x1f\x7f", "\"\\u0001\\u001f\\u007f\""},
      {"\xC3\x9C"
       "ber \xE2\x80\xA6 \xF0\x9F\x98\x80",
       "\"\xC3\x9C"
       "ber \xE2\x80\xA6 \xF0\x9F\x98\x80\""},
      // Ill-formed bytes become U+FFFD one by one; what follows is kept.
      {"a\xFF"
       "b",
       "\"a\xEF\xBF\xBD"
       "b\""},
      {"\xC3", "\"\xEF\xBF\xBD\""},                                  // truncated sequence
      {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // overlong "/"
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(as_json_string(c.text), c.json) << c.json;
}

TEST(JsonWriterTest, NumbersReadBackExactlyAndNonFiniteOnesAreNull) {
  std::string out;
  JsonWriter json(out);
  json.begin_array().number(612.28).number(0.1 + 0.2).number(-0.0).number(1e300).number(NAN).number(
      -INFINITY);
  json.integer(-2147483647 - 1).unsigned_integer(18446744073709551615ull).end_array();
  EXPECT_EQ(out, "[612.28,0.30000000000000004,0,1e+300,null,null,-2147483648,18446744073709551615]");
}

TEST(JsonWriterTest, SeparatorsFollowNesting) {
  std::string out;
  JsonWriter json(out);
  json.begin_object().key("a").begin_array().end_array().key("b").begin_object().end_object();
  json.key("c").begin_array().begin_array().integer(1).end_array().null().end_array().end_object();
  EXPECT_EQ(out, R"({"a":[],"b":{},"c":[[1],null]})");
}

TEST(HostReportTest, CodesAreShownAsNumbersAndTheirCharacters) {
  EXPECT_EQ(vxsim::describe_code(ai::kSuiteNotFoundErr), "1394689636 ('S!Fd')");
  EXPECT_EQ(vxsim::describe_code(-1), "-1");
  EXPECT_EQ(vxsim::describe_code(7), "7");
  EXPECT_EQ(vxsim::four_char_text(ai::FourCC("optn")), "optn");
  EXPECT_EQ(vxsim::four_char_text(0x1F), "0x0000001F");
}

// A plug-in that leaves a trace in every part of the report.
class ReportTest : public ::testing::Test {
 protected:
  template <class Suite>
  const Suite& suite(const char* name, std::int32_t version) {
    return *plugin.suite<Suite>(name, version);
  }
  ai::UnicodeStringRef text(const std::string& s) {
    ai::UnicodeStringRef out = nullptr;
    suite<ai::UnicodeStringSuite>(ai::kUnicodeStringSuite, ai::kUnicodeStringSuiteVersion)
        .NewFromUTF8(s.data(), s.size(), &out);
    return out;
  }

  void run_plugin() {
    host.set_major_version(15);
    host.attach(&TestPlugin::Main);
    plugin.on(ai::kCallerInterface, ai::kSelectorStartup, [&](void*) {
      suite<ai::PluginsSuite>(ai::kPluginsSuite, ai::kPluginsSuiteVersion)
          .SetPluginName(plugin.ref, "VXTest");
      ai::MenuItemHandle item;
      suite<ai::MenuSuite>(ai::kMenuSuite, ai::kMenuSuiteVersion)
          .AddMenuItem(plugin.ref, "K", "Place Document", text("H\xC3\xA9 \"quoted\""),
                       ai::kMenuItemWantsUpdate, &item);
      ai::TimerHandle timer;
      suite<ai::TimerSuite>(ai::kTimerSuite, ai::kTimerSuiteVersion)
          .AddTimer(plugin.ref, "VeloxaTimer", 60, &timer);
      ai::NotifierHandle notifier;
      suite<ai::NotifierSuite>(ai::kNotifierSuite, ai::kNotifierSuiteVersion)
          .AddNotifier(plugin.ref, "VXTest App Started Notifier", ai::kApplicationStartedNotifier, &notifier);
      plugin.basic->ReleaseSuite(ai::kTimerSuite, ai::kTimerSuiteVersion);
      return ai::kNoErr;
    });
    plugin.on(ai::kCallerMenu, ai::kSelectorUpdate, [&](void* m) {
      return suite<ai::MenuSuite>(ai::kMenuSuite, ai::kMenuSuiteVersion)
          .DisableItem(static_cast<ai::MenuMessage*>(m)->menuItem);
    });
    plugin.on(ai::kCallerTimer, ai::kSelectorGo, [&](void*) { return document_work(); });
    ASSERT_EQ(host.startup(), ai::kNoErr);
    host.notify(ai::kApplicationStartedNotifier);
    host.new_document(100, 50, "/tmp/a.ai");
    host.tick_now();
    host.update_menus();
    host.shutdown();
  }

  // What the timer does: a dictionary entry, a tagged path made a guide,
  // an action with parameters, an alert.
  ai::Err document_work() {
    const auto& docs = suite<ai::DocumentSuite>(ai::kDocumentSuite, ai::kDocumentSuiteVersion);
    const auto& dicts = suite<ai::DictionarySuite>(ai::kDictionarySuite, ai::kDictionarySuiteVersion);
    const auto& arts = suite<ai::ArtSuite>(ai::kArtSuite, ai::kArtSuiteVersion);
    const auto& paths = suite<ai::PathSuite>(ai::kPathSuite, ai::kPathSuiteVersion);
    const auto& actions =
        suite<ai::ActionManagerSuite>(ai::kActionManagerSuite, ai::kActionManagerSuiteVersion);
    ai::DictionaryRef dict;
    ai::DictKey slug, flag, tag;
    docs.GetDictionary(&dict);
    dicts.Key("Veloxa5SLUGData", &slug);
    dicts.Key("Flag", &flag);
    dicts.Key("GuideTag", &tag);
    const unsigned char bytes[] = {0x0A, 0x1B, 0xFF};
    dicts.SetBinaryEntry(dict, slug, bytes, sizeof bytes);
    dicts.SetBooleanEntry(dict, flag, false);
    dicts.Release(dict);

    ai::ArtHandle art;
    arts.NewArt(ai::kArtType_Path, ai::kPaintOrder_PlaceAboveAll, nullptr, &art);
    const ai::PathSegment segments[] = {{{1.5, 2}, {1.5, 2}, {1.5, 2}, true}, {{3, 4}, {3, 4}, {3, 4}, true}};
    paths.SetPathSegmentCount(art, 2);
    paths.SetPathSegments(art, 0, 2, segments);
    paths.SetPathClosed(art, true);
    arts.GetDictionary(art, &dict);
    dicts.SetBooleanEntry(dict, tag, true);
    dicts.SetBooleanEntry(dict, flag, false);
    dicts.Release(dict);
    arts.SetArtUserAttr(art, ai::kArtAttr_Selected, ai::kArtAttr_Selected);
    docs.SyncBeforeAction();
    actions.PlayActionEvent("adobe_makeGuide", ai::kDialogStatusNone, nullptr);
    arts.SetArtUserAttr(art, ai::kArtAttr_Locked, ai::kArtAttr_Locked);
    ai::ArtHandle plain;
    arts.NewArt(ai::kArtType_Path, ai::kPaintOrder_PlaceAboveAll, nullptr, &plain);

    ai::ActionParamBlock block;
    actions.NewParamBlock(&block);
    actions.SetInteger(block, ai::FourCC("optn"), 0);
    actions.SetEnumerated(block, ai::FourCC("comp"), "Compatibility", 20);
    actions.SetString(block, ai::FourCC("name"), "C:\\Jobs\\A1.pdf");
    actions.SetReal(block, ai::FourCC("post"), 6.0);
    actions.SetBoolean(block, ai::FourCC("thum"), false);
    actions.PlayActionEvent("adobe_saveACopyAs", ai::kDialogStatusNone, block);
    actions.DisposeParamBlock(block);

    suite<ai::UserSuite>(ai::kUserSuite, ai::kUserSuiteVersion).MessageAlert(text("Hello\n"));
    docs.SetDocumentModified(true);
    return ai::FourCC("DONE");
  }

  HostModel host;
  TestPlugin plugin;
};

TEST_F(ReportTest, ReportHoldsWhatThePluginDidInAFixedMemberOrder) {
  run_plugin();
  const std::string report = vxsim::report_json(host, "/p/test.so", std::nullopt);

  const std::string expected_parts[] = {
      R"({"version":15,"plugin":{"path":"/p/test.so","name":"VXTest","loaded":true,"started":false,)"
      R"("unloaded":false},)",
      R"("menu":[{"key":"K","group":"Place Document","text":"H)"
      "\xC3\xA9"
      R"( \"quoted\"","options":1,)"
      R"("enabled":false,"submenu":null,"updates":1,"picks":0}],)",
      R"("groups":[{"name":"Place Document","host":true,"parent":null,"options":0},)",
      R"("documents":[{"path":"/tmp/a.ai","width":100,"height":50,"current":true,"modified":true,)"
      R"("artboards":[[0,50,100,0]],)"
      R"("guides":[{"points":[[1.5,2],[3,4]],"locked":true,"tags":["GuideTag"]}],)"
      R"("art":[{"type":2,"points":[[1.5,2],[3,4]],"closed":true,"selected":true,"locked":true,"guide":true,)"
      R"("tags":["GuideTag"]},{"type":2,"points":[],"closed":false,"selected":false,"locked":false,)"
      R"("guide":false,"tags":[]}],)"
      R"("dictionary":{"Flag":false,"Veloxa5SLUGData":"0A1BFF"},)"
      R"("job":{"error":"UKeyInStream: meta key mismatch"},"profiles":null,"new":null}],)",
      R"("actions":[{"event":"adobe_makeGuide","dialog":3,"synced":true,"params":[],"result":0},)"
      R"({"event":"adobe_saveACopyAs","dialog":3,"synced":false,"params":[)"
      R"({"key":"optn","type":"integer","value":0},)"
      R"({"key":"comp","type":"enumerated","value":20,"name":"Compatibility"},)"
      R"({"key":"name","type":"string","value":"C:\\Jobs\\A1.pdf"},)"
      R"({"key":"post","type":"real","value":6},)"
      R"({"key":"thum","type":"boolean","value":false}],"result":1346458189}],)",
      R"("saves":[{"path":"C:\\Jobs\\A1.pdf","written":false,"version":null,"page":null,)"
      R"("result":1346458189,"error":"'name' is not an absolute path"}],)",
      R"("front":[],)",
      R"("messages":[{"caller":"SP Interface","selector":"Startup","result":0},)"
      R"({"caller":"AI Notifier","selector":"AI Notify","result":0},)"
      R"({"caller":"AI Timer","selector":"AI Go","result":1146048069},)"
      R"({"caller":"AI Menu","selector":"AI Update","result":0},)"
      R"({"caller":"SP Interface","selector":"Shutdown","result":0}],)",
      R"("answers":[],)",
      R"("suites":[{"op":"acquire","name":"SP Plug-ins Suite","version":6,"result":0},)",
      R"({"op":"release","name":"AI Timer Suite","version":5,"result":0},)",
      R"({"name":"AI Timer Suite","version":5,"acquired":1,"released":1})",
      R"("timers":[{"name":"VeloxaTimer","period":60,"active":true,"fired":1}],)",
      R"("notifiers":[{"name":"VXTest App Started Notifier","type":"AI Application Started Notifier",)"
      R"("notified":1}],)",
      R"("alerts":["Hello\n"],"contexts":{"pushed":0,"popped":0},)",
      R"("live":{"strings":2,"file_paths":0,"blocks":0,"dictionaries":0,"param_blocks":0,"art_arrays":0,)"
      R"("artboard_lists":0,"artboard_properties":0,"profiles":0,"contexts":0,"access":0},)",
      R"("calls":{"AcquireSuite":)",
      R"("AddMenuItem":1,)",
      R"("ticks":0,"error":null})"
      "\n",
  };
  std::size_t at = 0;
  for (const std::string& part : expected_parts) {
    const std::size_t found = report.find(part, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order:\n" << part << "\nin:\n" << report;
    at = found + part.size();
  }
  EXPECT_EQ(at, report.size());
}

TEST_F(ReportTest, ReportNamesTheFailureAndTheNewDocumentsPreset) {
  plugin.basic = host.basic_suite();  // the suites, outside any message
  ai::NewDocumentPreset preset{};
  preset.title = text("");
  preset.width = 612.28;
  preset.height = 858.89;
  preset.artboardCount = 1;
  preset.field40 = 1;
  preset.colorModel = 2;
  preset.rulerUnits = 3;
  preset.field52 = 2;
  preset.field56 = 1;
  preset.field60 = 2;
  preset.reserved[47] = 9;
  ai::DocumentHandle doc;
  ASSERT_EQ(suite<ai::DocumentListSuite>(ai::kDocumentListSuite, ai::kDocumentListSuiteVersion)
                .New("", &preset, 0, &doc),
            ai::kNoErr);
  const std::string report =
      vxsim::report_json(host, "/p/test.so", vxsim::RunError{7, "menu Missing", "no menu item \"Missing\""});
  EXPECT_NE(
      report.find(R"("new":{"preset_name":"","dialog_status":0,"title":"","width":612.28,"height":858.89,)"
                  R"("artboardCount":1,"field28":0,"field32":0,"field40":1,"colorModel":2,"rulerUnits":3,)"
                  R"("field52":2,"field56":1,"field60":2,"reserved_zero":false}})"),
      std::string::npos)
      << report;
  EXPECT_NE(report.find(R"("artboards":[[0,858.89,612.28,0]])"), std::string::npos) << report;
  EXPECT_NE(
      report.find(R"("error":{"line":7,"command":"menu Missing","message":"no menu item \"Missing\""}})"),
      std::string::npos)
      << report;
}

// Equal JSON, numbers within a relative 1e-5: vxjob show writes six
// significant digits, the report all that a double holds.
void ExpectSameJson(const nlohmann::json& shown, const nlohmann::json& expected, const std::string& where) {
  if (expected.is_number() && shown.is_number()) {
    const double a = shown.get<double>(), b = expected.get<double>();
    EXPECT_LE(std::fabs(a - b), 1e-5 * std::max(1.0, std::fabs(b))) << where;
    return;
  }
  ASSERT_EQ(shown.type_name(), std::string(expected.type_name())) << where;
  if (expected.is_object()) {
    ASSERT_EQ(shown.size(), expected.size()) << where << ": " << shown.dump() << " / " << expected.dump();
    for (auto it = expected.begin(); it != expected.end(); ++it) {
      ASSERT_TRUE(shown.contains(it.key())) << where << "." << it.key();
      ExpectSameJson(shown[it.key()], it.value(), where + "." + it.key());
    }
  } else if (expected.is_array()) {
    ASSERT_EQ(shown.size(), expected.size()) << where;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      ExpectSameJson(shown[i], expected[i], where + "[" + std::to_string(i) + "]");
    }
  } else {
    EXPECT_EQ(shown, expected) << where;
  }
}

TEST(HostReportJobTest, TheStoredJobIsDecodedAsVxjobShowsItBesideItsHex) {
  umessage spec;
  // A destination name with a quote, a tab and a dash of three UTF-8 bytes.
  std::istringstream spec_text(
      R"({"layoutWidth":595.28,"layoutDepth":841.89,"layoutBleedH":8.50394,"layoutBleedV":8.50394,)"
      R"("groups":[{"active":true,"destinations":[{"width":595.28,"depth":841.89,)"
      R"("identifier":"D \"1\"\t)"
      "\xE2\x80\x93"
      R"( A4"}]}]})");
  ASSERT_TRUE(spec.read(spec_text));
  BJobFile job;
  job_from_json(job, spec);
  std::ostringstream stored;
  ASSERT_TRUE(job.WriteJob(stored, eJobFileContent_Layout));

  HostModel host;
  host.new_document(100, 100, std::nullopt);  // no job
  ai::DocumentData* doc = host.new_document(612.28, 858.89, std::nullopt);
  vxsim::DictionaryEntry entry;
  entry.bytes = stored.str();
  (*doc->dictionary)["Veloxa5SLUGData"] = entry;
  const nlohmann::json report = nlohmann::json::parse(vxsim::report_json(host, "/p.so", std::nullopt));

  BJobFile back;
  std::istringstream in(stored.str());
  ASSERT_TRUE(back.ReadJob(in, eJobFileContent_Layout));
  std::ostringstream shown_by_vxjob;
  job_to_json(back).write(shown_by_vxjob);
  const nlohmann::json& documents = report["documents"];
  ASSERT_EQ(documents.size(), 2u);
  EXPECT_TRUE(documents[0]["job"].is_null());
  const nlohmann::json& shown = documents[1]["job"];
  ExpectSameJson(shown, nlohmann::json::parse(shown_by_vxjob.str()), "job");
  EXPECT_EQ(shown["layoutBleedH"], 8.50394);  // every digit, unlike vxjob's six
  EXPECT_EQ(shown["groups"][0]["destinations"][0]["identifier"], "D \"1\"\t\xE2\x80\x93 A4");
  // Beside it, the bytes as they are stored.
  EXPECT_EQ(documents[1]["dictionary"]["Veloxa5SLUGData"].get<std::string>().size(), stored.str().size() * 2);
}

// A stored job carries no setting definitions: reading it as ReadJob does
// would install empty ones for the whole process, under a plug-in that runs
// in the same process.
TEST(HostReportJobTest, ReportingAStoredJobLeavesTheProcessSettingDefinitionsAlone) {
  umessage definitions;
  definitions.add("what", "definitions");
  InstallSettingDefinitions(definitions);
  const std::shared_ptr<const umessage> before = SettingDefinitions();
  BJobFile job;
  std::ostringstream stored;
  ASSERT_TRUE(job.WriteJob(stored, eJobFileContent_Layout));
  HostModel host;
  ai::DocumentData* doc = host.new_document(100, 100, std::nullopt);
  vxsim::DictionaryEntry entry;
  entry.bytes = stored.str();
  (*doc->dictionary)["Veloxa5SLUGData"] = entry;
  const nlohmann::json report = nlohmann::json::parse(vxsim::report_json(host, "/p.so", std::nullopt));
  EXPECT_TRUE(report["documents"][0]["job"].is_object());
  EXPECT_EQ(SettingDefinitions(), before);
}

TEST(HostReportSavesTest, EverySaveIsListedWithItsFileVersionPageAndResult) {
  vxpdf_test::TempFolder folder;
  ASSERT_FALSE(folder.path().empty());
  HostModel host;
  host.new_document(200, 100.5, std::nullopt);
  const void* table = nullptr;
  ASSERT_EQ(host.basic_suite()->AcquireSuite(ai::kActionManagerSuite, ai::kActionManagerSuiteVersion, &table),
            ai::kNoErr);
  const auto& actions = *static_cast<const ai::ActionManagerSuite*>(table);
  const auto save = [&](const char* name) {
    ai::ActionParamBlock block = nullptr;
    actions.NewParamBlock(&block);
    actions.SetEnumerated(block, ai::FourCC("comp"), "Compatibility", 22);
    if (name != nullptr) actions.SetString(block, ai::FourCC("name"), name);
    actions.PlayActionEvent("adobe_saveACopyAs", ai::kDialogStatusNone, block);
    actions.DisposeParamBlock(block);
  };
  const std::string written = folder.file("a.pdf");
  const std::string refused = folder.file("b.pdf");
  save(written.c_str());
  save(nullptr);
  ASSERT_TRUE(host.fail("PlayActionEvent:adobe_saveACopyAs", ai::FourCC("NOPE")));
  save(refused.c_str());

  const nlohmann::json report = nlohmann::json::parse(vxsim::report_json(host, "/p.so", std::nullopt));
  EXPECT_EQ(report["actions"].size(), 3u);
  const nlohmann::json expected = {
      {{"path", written},
       {"written", true},
       {"version", "1.6"},
       {"page", {200, 100.5}},
       {"result", 0},
       {"error", nullptr}},
      {{"path", nullptr},
       {"written", false},
       {"version", nullptr},
       {"page", nullptr},
       {"result", ai::kBadParameterErr},
       {"error", "the parameter block has no 'name'"}},
      {{"path", refused},
       {"written", false},
       {"version", nullptr},
       {"page", nullptr},
       {"result", ai::FourCC("NOPE")},
       {"error", "the action failed before the save began"}},
  };
  EXPECT_EQ(report["saves"], expected) << report["saves"].dump();
  EXPECT_FALSE(std::filesystem::exists(refused));
}

}  // namespace
