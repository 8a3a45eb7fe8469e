// The host's report: JSON text of what a plug-in did, members in a fixed order.
#include "HostReport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "JsonWriter.h"
#include "TestPlugin.h"

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
  // The guide action's effect comes with the host's document model; here a
  // stand-in marks the selected art, so that the report shows guides.
  host.set_action_effect("adobe_makeGuide", [](HostModel& h, const vxsim::PlayedAction&) {
    for (ai::ArtData* art : h.current_document()->art) {
      if (art->attributes & ai::kArtAttr_Selected) art->guide = true;
    }
    return ai::kNoErr;
  });
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
      R"("dictionary":{"Flag":false,"Veloxa5SLUGData":"0A1BFF"},"profiles":null,"new":null}],)",
      R"("actions":[{"event":"adobe_makeGuide","dialog":3,"synced":true,"params":[],"result":0},)"
      R"({"event":"adobe_saveACopyAs","dialog":3,"synced":false,"params":[)"
      R"({"key":"optn","type":"integer","value":0},)"
      R"({"key":"comp","type":"enumerated","value":20,"name":"Compatibility"},)"
      R"({"key":"name","type":"string","value":"C:\\Jobs\\A1.pdf"},)"
      R"({"key":"post","type":"real","value":6},)"
      R"({"key":"thum","type":"boolean","value":false}],"result":0}],)",
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

}  // namespace
