// The host model in-process: suites, messages, timers, menus, documents,
// actions and failure injection, driven by a plug-in written in the test.
#include "HostModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "TestPlugin.h"

namespace {

using vxsim::HostModel;
using vxsim_test::TestPlugin;

const ai::Err kPARM = ai::kBadParameterErr;

class HostModelTest : public ::testing::Test {
 protected:
  template <class Suite>
  const Suite& suite(const char* name, std::int32_t version) {
    const void* table = nullptr;
    EXPECT_EQ(host.basic_suite()->AcquireSuite(name, version, &table), ai::kNoErr) << name;
    return *static_cast<const Suite*>(table);
  }

  ai::UnicodeStringRef text(const std::string& s) {
    ai::UnicodeStringRef out = nullptr;
    EXPECT_EQ(strings.NewFromUTF8(s.data(), s.size(), &out), ai::kNoErr);
    return out;
  }

  // Starts the plug-in with a start-up handler.
  void start(std::function<ai::Err()> on_startup) {
    plugin.on(ai::kCallerInterface, ai::kSelectorStartup, [=](void*) { return on_startup(); });
    ASSERT_EQ(host.startup(), ai::kNoErr);
  }

  ai::DictionaryRef document_dictionary() {
    ai::DictionaryRef d = nullptr;
    EXPECT_EQ(document.GetDictionary(&d), ai::kNoErr);
    return d;
  }

  ai::ArtHandle new_path(const std::vector<ai::RealPoint>& anchors) {
    ai::ArtHandle art = nullptr;
    EXPECT_EQ(arts.NewArt(ai::kArtType_Path, ai::kPaintOrder_PlaceAboveAll, nullptr, &art), ai::kNoErr);
    std::vector<ai::PathSegment> segments;
    for (const ai::RealPoint& p : anchors) segments.push_back({p, p, p, true});
    EXPECT_EQ(paths.SetPathSegmentCount(art, static_cast<std::int16_t>(segments.size())), ai::kNoErr);
    EXPECT_EQ(paths.SetPathSegments(art, 0, static_cast<std::int16_t>(segments.size()), segments.data()),
              ai::kNoErr);
    return art;
  }

  HostModel host;
  TestPlugin plugin;
  const ai::UnicodeStringSuite& strings =
      suite<ai::UnicodeStringSuite>(ai::kUnicodeStringSuite, ai::kUnicodeStringSuiteVersion);
  const ai::MenuSuite& menus = suite<ai::MenuSuite>(ai::kMenuSuite, ai::kMenuSuiteVersion);
  const ai::TimerSuite& timers = suite<ai::TimerSuite>(ai::kTimerSuite, ai::kTimerSuiteVersion);
  const ai::DocumentSuite& document = suite<ai::DocumentSuite>(ai::kDocumentSuite, ai::kDocumentSuiteVersion);
  const ai::DocumentListSuite& document_list =
      suite<ai::DocumentListSuite>(ai::kDocumentListSuite, ai::kDocumentListSuiteVersion);
  const ai::DictionarySuite& dictionaries =
      suite<ai::DictionarySuite>(ai::kDictionarySuite, ai::kDictionarySuiteVersion);
  const ai::ArtSuite& arts = suite<ai::ArtSuite>(ai::kArtSuite, ai::kArtSuiteVersion);
  const ai::PathSuite& paths = suite<ai::PathSuite>(ai::kPathSuite, ai::kPathSuiteVersion);
  const ai::MatchingArtSuite& matching =
      suite<ai::MatchingArtSuite>(ai::kMatchingArtSuite, ai::kMatchingArtSuiteVersion);
  const ai::MdMemorySuite& memory = suite<ai::MdMemorySuite>(ai::kMdMemorySuite, ai::kMdMemorySuiteVersion);
  const ai::ArtboardSuite& artboards =
      suite<ai::ArtboardSuite>(ai::kArtboardSuite, ai::kArtboardSuiteVersion);
  const ai::ActionManagerSuite& actions =
      suite<ai::ActionManagerSuite>(ai::kActionManagerSuite, ai::kActionManagerSuiteVersion);
  const ai::ColorConversionSuite& colors =
      suite<ai::ColorConversionSuite>(ai::kColorConversionSuite, ai::kColorConversionSuiteVersion);
};

// --- The basic suite ---------------------------------------------------------

struct SuiteId {
  const char* name;
  std::int32_t version;
};
const SuiteId kEverySuite[] = {
    {ai::kAccessSuite, ai::kAccessSuiteVersion},
    {ai::kPluginsSuite, ai::kPluginsSuiteVersion},
    {ai::kNotifierSuite, ai::kNotifierSuiteVersion},
    {ai::kContextSuite, ai::kContextSuiteVersion},
    {ai::kUserSuite, ai::kUserSuiteVersion},
    {ai::kFilePathSuite, ai::kFilePathSuiteVersion},
    {ai::kFoldersSuite, ai::kFoldersSuiteVersion},
    {ai::kBlocksSuite, ai::kBlocksSuiteVersion},
    {ai::kMenuSuite, ai::kMenuSuiteVersion},
    {ai::kUnicodeStringSuite, ai::kUnicodeStringSuiteVersion},
    {ai::kDocumentSuite, ai::kDocumentSuiteVersion},
    {ai::kDocumentListSuite, ai::kDocumentListSuiteVersion},
    {ai::kDictionarySuite, ai::kDictionarySuiteVersion},
    {ai::kActionManagerSuite, ai::kActionManagerSuiteVersion},
    {ai::kMatchingArtSuite, ai::kMatchingArtSuiteVersion},
    {ai::kMdMemorySuite, ai::kMdMemorySuiteVersion},
    {ai::kArtSuite, ai::kArtSuiteVersion},
    {ai::kArtboardSuite, ai::kArtboardSuiteVersion},
    {ai::kTimerSuite, ai::kTimerSuiteVersion},
    {ai::kRuntimeSuite, ai::kRuntimeSuiteVersion},
    {ai::kPathSuite, ai::kPathSuiteVersion},
    {ai::kColorConversionSuite, ai::kColorConversionSuiteVersion},
};

TEST_F(HostModelTest, EverySuiteIsFoundByItsNameAndExactVersionOnly) {
  ai::BasicSuite* basic = host.basic_suite();
  for (const SuiteId& s : kEverySuite) {
    SCOPED_TRACE(s.name);
    const void* table = nullptr;
    EXPECT_EQ(basic->AcquireSuite(s.name, s.version, &table), ai::kNoErr);
    EXPECT_NE(table, nullptr);
    for (std::int32_t other : {s.version - 1, s.version + 1}) {
      table = nullptr;
      EXPECT_EQ(basic->AcquireSuite(s.name, other, &table), ai::kSuiteNotFoundErr);
      EXPECT_EQ(table, nullptr);
    }
  }
  const void* table = nullptr;
  for (const char* unknown : {"AI Menu suite", "AI Menu Suite ", "", "AI Layer Suite"}) {
    EXPECT_EQ(basic->AcquireSuite(unknown, ai::kMenuSuiteVersion, &table), ai::kSuiteNotFoundErr) << unknown;
  }
  EXPECT_EQ(basic->AcquireSuite(nullptr, 1, &table), kPARM);
}

TEST_F(HostModelTest, AcquisitionsAndReleasesAreRecordedInOrderAndCounted) {
  ai::BasicSuite* basic = host.basic_suite();
  const std::size_t before = host.suite_events().size();  // the fixture's own acquisitions
  const void* table;
  basic->AcquireSuite(ai::kMenuSuite, ai::kMenuSuiteVersion, &table);
  basic->AcquireSuite(ai::kRuntimeSuite, ai::kRuntimeSuiteVersion, &table);
  basic->AcquireSuite(ai::kMenuSuite, ai::kMenuSuiteVersion, &table);
  EXPECT_EQ(basic->ReleaseSuite(ai::kMenuSuite, ai::kMenuSuiteVersion), ai::kNoErr);
  EXPECT_EQ(basic->ReleaseSuite(ai::kRuntimeSuite, ai::kRuntimeSuiteVersion), ai::kNoErr);
  // A release the plug-in does not hold is refused, not counted.
  EXPECT_EQ(basic->ReleaseSuite(ai::kRuntimeSuite, ai::kRuntimeSuiteVersion), kPARM);
  EXPECT_EQ(basic->ReleaseSuite(ai::kRuntimeSuite, 13), ai::kSuiteNotFoundErr);

  std::vector<std::string> order;
  for (std::size_t i = before; i < host.suite_events().size(); ++i) {
    const vxsim::SuiteEvent& e = host.suite_events()[i];
    order.push_back(std::string(e.acquire ? "+" : "-") + e.name + " " + std::to_string(e.result));
  }
  EXPECT_EQ(order, (std::vector<std::string>{"+AI Menu Suite 0", "+AI Runtime Suite 0", "+AI Menu Suite 0",
                                             "-AI Menu Suite 0", "-AI Runtime Suite 0",
                                             "-AI Runtime Suite " + std::to_string(kPARM),
                                             "-AI Runtime Suite " + std::to_string(ai::kSuiteNotFoundErr)}));
  std::vector<std::string> counts;
  for (const vxsim::SuiteCount& c : host.suite_counts()) {
    if (c.name == ai::kMenuSuite || c.name == ai::kRuntimeSuite) {
      counts.push_back(c.name + " " + std::to_string(c.acquired) + "/" + std::to_string(c.released));
    }
  }
  // The fixture holds the menu suite once more.
  EXPECT_EQ(counts, (std::vector<std::string>{"AI Menu Suite 3/1", "AI Runtime Suite 1/1"}));
}

// --- Messages ------------------------------------------------------------------

TEST_F(HostModelTest, GlobalsTheMessageLeavesComeBackInEveryLaterMessage) {
  int object = 0;
  std::vector<void*> globals_seen;
  plugin.on(ai::kCallerInterface, ai::kSelectorStartup, [&](void* m) {
    auto* header = static_cast<ai::PluginMessageData*>(m);
    EXPECT_EQ(header->check, ai::kMessageCheck);
    EXPECT_EQ(header->self, host.plugin_ref());
    EXPECT_EQ(header->basic, host.basic_suite());
    globals_seen.push_back(header->globals);
    header->globals = &object;
    return ai::kNoErr;
  });
  plugin.on(ai::kCallerAccess, ai::kSelectorUnload, [&](void* m) {
    globals_seen.push_back(static_cast<ai::PluginMessageData*>(m)->globals);
    return ai::kNoErr;
  });
  plugin.on(ai::kCallerAccess, ai::kSelectorReload, [&](void* m) {
    globals_seen.push_back(static_cast<ai::PluginMessageData*>(m)->globals);
    return ai::FourCC("oops");
  });
  plugin.on(ai::kCallerInterface, ai::kSelectorShutdown, [&](void* m) {
    auto* header = static_cast<ai::PluginMessageData*>(m);
    globals_seen.push_back(header->globals);
    header->globals = nullptr;
    return ai::kNoErr;
  });
  host.attach(&TestPlugin::Main);
  ASSERT_EQ(host.startup(), ai::kNoErr);
  host.unload();
  host.reload();
  host.shutdown();
  ASSERT_EQ(host.startup(), ai::kNoErr);
  EXPECT_EQ(globals_seen, (std::vector<void*>{nullptr, &object, &object, &object, nullptr}));

  std::vector<std::string> calls;
  for (const vxsim::MessageRecord& m : host.messages()) {
    calls.push_back(m.caller + "/" + m.selector + "=" + std::to_string(m.result));
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"SP Interface/Startup=0", "SP Access/Unload=0",
                                             "SP Access/Reload=" + std::to_string(ai::FourCC("oops")),
                                             "SP Interface/Shutdown=0", "SP Interface/Startup=0"}));
}

TEST_F(HostModelTest, NoMessageReachesADetachedPlugin) {
  EXPECT_EQ(host.startup(), vxsim::kNotLoadedErr);
  EXPECT_FALSE(host.started());
  EXPECT_TRUE(host.messages().empty());
}

// --- Timers ------------------------------------------------------------------

class TimerTest : public HostModelTest {
 protected:
  // Starts a plug-in with timers of these periods, all active.
  void start_with_timers(const std::vector<std::pair<std::string, std::int32_t>>& specs) {
    host.attach(&TestPlugin::Main);
    start([&] {
      for (const auto& [name, period] : specs) {
        ai::TimerHandle t = nullptr;
        EXPECT_EQ(timers.AddTimer(plugin.ref, name.c_str(), period, &t), ai::kNoErr);
        EXPECT_EQ(timers.SetTimerActive(t, true), ai::kNoErr);
        handles[name] = t;
      }
      return ai::kNoErr;
    });
    plugin.on(ai::kCallerTimer, ai::kSelectorGo, [this](void* m) {
      ai::TimerHandle t = static_cast<ai::TimerMessage*>(m)->timer;
      for (const auto& [name, handle] : handles) {
        if (handle == t) fired.push_back(name + "@" + std::to_string(host.host_ticks()));
      }
      return ai::kNoErr;
    });
  }

  std::map<std::string, ai::TimerHandle> handles;
  std::vector<std::string> fired;
};

TEST_F(TimerTest, TimersFireEveryPeriodTicksInTheOrderAddedAndNotWhileInactive) {
  start_with_timers({{"A", 2}, {"B", 3}});
  EXPECT_EQ(host.advance_ticks(6), 5u);
  EXPECT_EQ(fired, (std::vector<std::string>{"A@2", "B@3", "A@4", "A@6", "B@6"}));

  // Switched off half-way through its period.
  fired.clear();
  host.advance_ticks(1);
  timers.SetTimerActive(handles["A"], false);
  host.advance_ticks(5);
  EXPECT_EQ(fired, (std::vector<std::string>{"B@9", "B@12"}));

  // Switched on again, a timer waits a whole period.
  fired.clear();
  timers.SetTimerActive(handles["A"], true);
  host.advance_ticks(1);
  EXPECT_TRUE(fired.empty());
  host.advance_ticks(1);
  EXPECT_EQ(fired, (std::vector<std::string>{"A@14"}));
}

TEST_F(TimerTest, LargeStepsDeliverEveryTickThatWasDue) {
  start_with_timers({{"T", 60}});
  host.advance_ticks(59);
  EXPECT_TRUE(fired.empty());
  EXPECT_EQ(host.ticks_to_next_timer(), 1u);
  host.advance_ticks(60 * 3 + 1);
  EXPECT_EQ(fired, (std::vector<std::string>{"T@60", "T@120", "T@180", "T@240"}));
}

TEST_F(TimerTest, OneTickNowFiresEachActiveTimerOnceAndRestartsItsPeriod) {
  start_with_timers({{"A", 5}, {"B", 7}});
  timers.SetTimerActive(handles["B"], false);
  host.advance_ticks(3);
  EXPECT_EQ(host.tick_now(), 1u);
  EXPECT_EQ(fired, (std::vector<std::string>{"A@3"}));
  host.advance_ticks(4);
  EXPECT_EQ(fired.size(), 1u);
  host.advance_ticks(1);
  EXPECT_EQ(fired, (std::vector<std::string>{"A@3", "A@8"}));
}

TEST_F(TimerTest, TimersHoldWhileThePluginIsUnloaded) {
  start_with_timers({{"A", 2}});
  host.advance_ticks(1);
  host.unload();
  host.advance_ticks(10);
  EXPECT_EQ(host.tick_now(), 0u);
  EXPECT_TRUE(fired.empty());
  host.reload();
  host.advance_ticks(1);
  EXPECT_EQ(fired, (std::vector<std::string>{"A@12"}));
}

TEST_F(TimerTest, AddTimerRefusesAPeriodBelowOneTick) {
  host.attach(&TestPlugin::Main);
  start([&] {
    ai::TimerHandle t = nullptr;
    EXPECT_EQ(timers.AddTimer(plugin.ref, "zero", 0, &t), kPARM);
    EXPECT_EQ(timers.AddTimer(plugin.ref, "negative", -60, &t), kPARM);
    EXPECT_EQ(timers.AddTimer(nullptr, "no plug-in", 60, &t), kPARM);
    return ai::kNoErr;
  });
  EXPECT_TRUE(host.timers().empty());
}

// --- Menus -------------------------------------------------------------------

TEST_F(HostModelTest, EveryItemThatAskedForUpdatesIsUpdatedBeforeAPick) {
  ai::MenuItemHandle adjust = nullptr, go = nullptr;
  host.attach(&TestPlugin::Main);
  start([&] {
    EXPECT_EQ(menus.AddMenuItem(plugin.ref, "K", "Place Document", text("Adjust"), ai::kMenuItemWantsUpdate,
                                &adjust),
              ai::kNoErr);
    EXPECT_EQ(menus.AddMenuItem(plugin.ref, "K", "Place Document", text("Go"), 0, &go), ai::kNoErr);
    return ai::kNoErr;
  });
  std::vector<std::string> order;
  plugin.on(ai::kCallerMenu, ai::kSelectorUpdate, [&](void* m) {
    ai::MenuItemHandle item = static_cast<ai::MenuMessage*>(m)->menuItem;
    order.push_back(item == adjust ? "update Adjust" : "update ?");
    // As a plug-in does: the item works only with a document open.
    return host.current_document() ? menus.EnableItem(item) : menus.DisableItem(item);
  });
  plugin.on(ai::kCallerMenu, ai::kSelectorGo, [&](void* m) {
    ai::MenuItemHandle item = static_cast<ai::MenuMessage*>(m)->menuItem;
    order.push_back(item == go ? "go Go" : item == adjust ? "go Adjust" : "go ?");
    return ai::kNoErr;
  });

  std::string why;
  EXPECT_TRUE(host.pick(host.find_item("Go"), &why)) << why;
  EXPECT_FALSE(host.pick(host.find_item("Adjust"), &why));
  EXPECT_EQ(why, "the item is disabled");
  host.new_document(100, 100, std::nullopt);
  EXPECT_TRUE(host.pick(host.find_item("Adjust"), &why)) << why;
  EXPECT_EQ(order, (std::vector<std::string>{"update Adjust", "go Go", "update Adjust", "update Adjust",
                                             "go Adjust"}));
}

TEST_F(HostModelTest, MenuItemsKeepTheirTextsGroupsAndSubmenus) {
  host.attach(&TestPlugin::Main);
  ai::MenuItemHandle parent = nullptr, about = nullptr, separator = nullptr, item = nullptr;
  ai::MenuGroupHandle group = nullptr;
  start([&] {
    EXPECT_EQ(menus.AddMenuItem(plugin.ref, "Veloxa Group", "Place Document", text(""),
                                ai::kMenuItemIsSeparator, &separator),
              ai::kNoErr);
    EXPECT_EQ(menus.AddMenuItem(plugin.ref, "Veloxa Group", "Place Document", text("Veloxa"), 0, &parent),
              ai::kNoErr);
    EXPECT_EQ(menus.AddMenuGroupAsSubMenu("Veloxa Group", 0, parent, &group), ai::kNoErr);
    EXPECT_EQ(menus.AddMenuItem(plugin.ref, "Veloxa Group", "Veloxa Group",
                                text("\xC3\x9C"
                                     "ber Veloxa... "),
                                0, &about),
              ai::kNoErr);
    // Groups exist once, each item opens one submenu, and items go into known groups.
    EXPECT_EQ(menus.AddMenuGroupAsSubMenu("Veloxa Group", 0, about, &group), kPARM);
    EXPECT_EQ(menus.AddMenuGroupAsSubMenu("Other", 0, parent, &group), kPARM);
    EXPECT_EQ(menus.AddMenuGroupAsSubMenu("Place Document", 0, about, &group), kPARM);
    EXPECT_EQ(menus.AddMenuItem(plugin.ref, "K", "No Such Group", text("X"), 0, &item), kPARM);
    EXPECT_EQ(menus.AddMenuItem(plugin.ref, "K", "Place Document", nullptr, 0, &item), kPARM);
    return ai::kNoErr;
  });
  ASSERT_EQ(host.menu_items().size(), 3u);
  EXPECT_EQ(about->text,
            "\xC3\x9C"
            "ber Veloxa... ");
  EXPECT_EQ(about->group, "Veloxa Group");
  EXPECT_EQ(about->key, "Veloxa Group");
  EXPECT_EQ(separator->options, ai::kMenuItemIsSeparator);
  EXPECT_EQ(parent->submenu, group);
  EXPECT_EQ(host.find_item(""), nullptr);  // separators cannot be picked by text

  std::string why;
  EXPECT_FALSE(host.pick(parent, &why));
  EXPECT_EQ(why, "the item opens a submenu");
  bool enabled = false;
  EXPECT_EQ(menus.IsItemEnabled(about, &enabled), ai::kNoErr);
  EXPECT_TRUE(enabled);
  EXPECT_EQ(menus.DisableItem(about), ai::kNoErr);
  EXPECT_FALSE(host.pick(about, &why));
  EXPECT_EQ(why, "the item is disabled");
}

// A plug-in started again in the same process adds its menu again: the host
// took the first one off the menu when the plug-in stopped, or the group's
// name would still be taken.
TEST_F(HostModelTest, APluginThatStopsTakesItsMenuWithItAndMayAddItAgain) {
  host.attach(&TestPlugin::Main);
  std::vector<ai::MenuItemHandle> items;
  const auto add_menu = [&]() -> ai::Err {
    ai::MenuItemHandle parent = nullptr, go = nullptr;
    ai::MenuGroupHandle group = nullptr;
    if (ai::Err e = menus.AddMenuItem(plugin.ref, "K", "Place Document", text("Veloxa"), 0, &parent))
      return e;
    if (ai::Err e = menus.AddMenuGroupAsSubMenu("Veloxa Group", 0, parent, &group)) return e;
    if (ai::Err e =
            menus.AddMenuItem(plugin.ref, "K", "Veloxa Group", text("Go"), ai::kMenuItemWantsUpdate, &go))
      return e;
    items.push_back(go);
    return ai::kNoErr;
  };
  std::vector<ai::MenuItemHandle> updated;
  plugin.on(ai::kCallerMenu, ai::kSelectorUpdate, [&](void* m) {
    updated.push_back(static_cast<ai::MenuMessage*>(m)->menuItem);
    return ai::kNoErr;
  });
  start(add_menu);
  ASSERT_EQ(host.shutdown(), ai::kNoErr);
  // The old item's handle is stale now; the report still lists it.
  EXPECT_EQ(menus.DisableItem(items[0]), kPARM);
  EXPECT_EQ(host.find_item("Go"), items[0]);

  start(add_menu);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(host.menu_items().size(), 4u);
  EXPECT_EQ(host.find_item("Go"), items[1]);
  std::string why;
  EXPECT_FALSE(host.pick(items[0], &why));
  EXPECT_EQ(why, "no such menu item");
  EXPECT_TRUE(host.pick(items[1], &why)) << why;
  EXPECT_EQ(updated, std::vector<ai::MenuItemHandle>{items[1]})
      << "an item of the stopped plug-in was updated";

  // A start-up that fails takes its items off the menu too.
  ASSERT_EQ(host.shutdown(), ai::kNoErr);
  plugin.on(ai::kCallerInterface, ai::kSelectorStartup, [&](void*) {
    add_menu();
    return ai::FourCC("CANT");
  });
  EXPECT_EQ(host.startup(), ai::FourCC("CANT"));
  EXPECT_EQ(menus.DisableItem(items[2]), kPARM);
}

// --- Documents ---------------------------------------------------------------

ai::NewDocumentPreset preset(double width, double height) {
  ai::NewDocumentPreset p{};
  p.width = width;
  p.height = height;
  p.artboardCount = 1;
  p.colorModel = 2;
  p.rulerUnits = 3;
  return p;
}

TEST_F(HostModelTest, NewDocumentHasOneArtboardFromTheOriginUpward) {
  ai::NewDocumentPreset p = preset(612.28, 858.89);
  p.title = text("");
  ai::DocumentHandle made = nullptr, current = nullptr;
  ASSERT_EQ(document_list.New("", &p, 0, &made), ai::kNoErr);
  ASSERT_EQ(document.GetDocument(&current), ai::kNoErr);
  EXPECT_EQ(current, made);
  ai::RealPoint size{};
  EXPECT_EQ(document.GetDocumentPageSize(&size), ai::kNoErr);
  EXPECT_EQ(size.h, 612.28);
  EXPECT_EQ(size.v, 858.89);

  ai::ArtboardListRef list = nullptr;
  ai::ArtboardProperties properties = nullptr;
  ASSERT_EQ(artboards.GetArtboardList(&list), ai::kNoErr);
  ASSERT_EQ(artboards.GetArtboardProperties(list, 0, &properties), ai::kNoErr);
  ai::RealRect bounds{};
  EXPECT_EQ(artboards.GetPosition(properties, &bounds), ai::kNoErr);
  EXPECT_EQ(bounds.left, 0);
  EXPECT_EQ(bounds.top, 858.89);
  EXPECT_EQ(bounds.right, 612.28);
  EXPECT_EQ(bounds.bottom, 0);
  ai::ArtboardProperties second = nullptr;
  EXPECT_EQ(artboards.GetArtboardProperties(list, 1, &second), kPARM);

  ai::FilePathRef path = nullptr;
  EXPECT_EQ(document.GetDocumentFileSpecification(&path), vxsim::kNoFilePathErr);
  ASSERT_TRUE(made->created_by_plugin.has_value());
  EXPECT_EQ(made->created_by_plugin->preset.rulerUnits, 3);
  EXPECT_FALSE(made->modified);

  std::int32_t count = 0;
  EXPECT_EQ(document_list.Count(&count), ai::kNoErr);
  EXPECT_EQ(count, 1);
}

TEST_F(HostModelTest, NewDocumentRefusesPresetsWithoutAPositiveSizeOrArtboard) {
  struct Case {
    const char* fault;
    double width, height;
    std::int32_t artboards;
  } cases[] = {
      {"zero width", 0, 100, 1},           {"negative height", 100, -1, 1},
      {"NaN width", std::nan(""), 100, 1}, {"infinite height", 100, INFINITY, 1},
      {"no artboard", 100, 100, 0},        {"artboards beyond the host's limit", 100, 100, 100000},
  };
  for (const Case& c : cases) {
    ai::NewDocumentPreset p = preset(c.width, c.height);
    p.artboardCount = c.artboards;
    ai::DocumentHandle made = nullptr;
    EXPECT_EQ(document_list.New("", &p, 0, &made), kPARM) << c.fault;
    EXPECT_EQ(made, nullptr) << c.fault;
  }
  ai::DocumentHandle made = nullptr;
  EXPECT_EQ(document_list.New("", nullptr, 0, &made), kPARM);
  EXPECT_TRUE(host.documents().empty());
}

TEST_F(HostModelTest, EveryDocumentOperationFailsWithoutADocument) {
  ai::DocumentHandle d;
  ai::DictionaryRef dict;
  ai::RealPoint size;
  ai::FilePathRef path;
  ai::ArtHandle art;
  ai::ArtboardListRef list;
  ai::ArtHandle* found;
  std::int32_t count;
  const ai::MatchingArtSpec any{ai::kArtType_Any, 0, 0};
  const std::pair<const char*, ai::Err> results[] = {
      {"GetDocument", document.GetDocument(&d)},
      {"GetDictionary", document.GetDictionary(&dict)},
      {"GetDocumentPageSize", document.GetDocumentPageSize(&size)},
      {"GetDocumentFileSpecification", document.GetDocumentFileSpecification(&path)},
      {"SetDocumentModified", document.SetDocumentModified(true)},
      {"SetDocumentProfiles", document.SetDocumentProfiles(nullptr, nullptr, nullptr)},
      {"SyncBeforeAction", document.SyncBeforeAction()},
      {"NewArt", arts.NewArt(ai::kArtType_Path, ai::kPaintOrder_PlaceAboveAll, nullptr, &art)},
      {"GetArtboardList", artboards.GetArtboardList(&list)},
      {"GetMatchingArt", matching.GetMatchingArt(&any, 1, &found, &count)},
      {"DeselectAll", matching.DeselectAll()},
  };
  for (const auto& [operation, result] : results) EXPECT_EQ(result, ai::kNoDocumentErr) << operation;
}

TEST_F(HostModelTest, ClosingTheCurrentDocumentMakesTheLatestOtherOneCurrent) {
  ai::DocumentData* first = host.new_document(100, 100, "/tmp/first.ai");
  ai::DocumentData* second = host.new_document(200, 200, std::nullopt);
  ai::DocumentData* third = host.new_document(300, 300, std::nullopt);
  ASSERT_TRUE(host.close_document());
  EXPECT_EQ(host.current_document(), second);
  ai::DocumentHandle nth = nullptr;
  EXPECT_EQ(document_list.GetNthDocument(1, &nth), ai::kNoErr);
  EXPECT_EQ(nth, second);
  EXPECT_EQ(document_list.GetNthDocument(2, &nth), kPARM);
  ASSERT_TRUE(host.close_document());
  EXPECT_EQ(host.current_document(), first);
  ai::FilePathRef path = nullptr;
  ai::UnicodeStringRef full = nullptr;
  ASSERT_EQ(document.GetDocumentFileSpecification(&path), ai::kNoErr);
  const auto& file_paths = suite<ai::FilePathSuite>(ai::kFilePathSuite, ai::kFilePathSuiteVersion);
  ASSERT_EQ(file_paths.GetFullPath(path, &full), ai::kNoErr);
  EXPECT_EQ(full->text, "/tmp/first.ai");
  ASSERT_TRUE(host.close_document());
  EXPECT_FALSE(host.close_document());
  EXPECT_EQ(host.current_document(), nullptr);
  (void)third;
}

TEST_F(HostModelTest, DictionaryKeepsBinaryAndBooleanEntriesWithASizeQuery) {
  host.new_document(100, 100, std::nullopt);
  ai::DictionaryRef dict = document_dictionary();
  ai::DictKey slug = nullptr, flag = nullptr, again = nullptr, missing = nullptr;
  ASSERT_EQ(dictionaries.Key("Veloxa5SLUGData", &slug), ai::kNoErr);
  ASSERT_EQ(dictionaries.Key("Flag", &flag), ai::kNoErr);
  ASSERT_EQ(dictionaries.Key("Veloxa5SLUGData", &again), ai::kNoErr);
  ASSERT_EQ(dictionaries.Key("Missing", &missing), ai::kNoErr);
  EXPECT_EQ(slug, again);

  const unsigned char first[] = {1, 2, 3, 4, 5};
  const unsigned char later[] = {0x0A, 0x1B, 0x00, 0xFF};
  ASSERT_EQ(dictionaries.SetBinaryEntry(dict, slug, first, sizeof first), ai::kNoErr);
  ASSERT_EQ(dictionaries.SetBinaryEntry(dict, slug, later, sizeof later), ai::kNoErr);  // replaces
  ASSERT_EQ(dictionaries.SetBooleanEntry(dict, flag, true), ai::kNoErr);

  std::size_t size = 0;
  EXPECT_EQ(dictionaries.GetBinaryEntry(dict, slug, nullptr, &size), ai::kNoErr);
  EXPECT_EQ(size, sizeof later);
  unsigned char buffer[8] = {};
  size = sizeof buffer;
  EXPECT_EQ(dictionaries.GetBinaryEntry(dict, slug, buffer, &size), ai::kNoErr);
  EXPECT_EQ(size, sizeof later);
  EXPECT_EQ(std::memcmp(buffer, later, sizeof later), 0);
  // A short buffer gets what fits, and the count says how much.
  unsigned char small[2] = {};
  size = sizeof small;
  EXPECT_EQ(dictionaries.GetBinaryEntry(dict, slug, small, &size), ai::kNoErr);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(small[1], 0x1B);

  bool value = false;
  EXPECT_EQ(dictionaries.GetBooleanEntry(dict, flag, &value), ai::kNoErr);
  EXPECT_TRUE(value);
  EXPECT_EQ(dictionaries.GetBinaryEntry(dict, missing, nullptr, &size), ai::kNoSuchKeyErr);
  EXPECT_EQ(dictionaries.GetBooleanEntry(dict, missing, &value), ai::kNoSuchKeyErr);
  EXPECT_EQ(dictionaries.GetBinaryEntry(dict, flag, nullptr, &size), ai::kWrongEntryTypeErr);
  EXPECT_EQ(dictionaries.GetBooleanEntry(dict, slug, &value), ai::kWrongEntryTypeErr);
  EXPECT_EQ(dictionaries.SetBinaryEntry(dict, slug, nullptr, 3), kPARM);

  // The entries belong to the document, not to the reference.
  EXPECT_EQ(dictionaries.Release(dict), ai::kNoErr);
  EXPECT_EQ(dictionaries.Release(dict), kPARM);
  ai::DictionaryRef reopened = document_dictionary();
  size = 0;
  EXPECT_EQ(dictionaries.GetBinaryEntry(reopened, slug, nullptr, &size), ai::kNoErr);
  EXPECT_EQ(size, sizeof later);
  EXPECT_EQ(host.current_document()->dictionary->size(), 2u);
}

TEST_F(HostModelTest, PathArtKeepsSegmentsUserAttributesAndItsOwnDictionary) {
  host.new_document(100, 100, std::nullopt);
  ai::ArtHandle path = new_path({{1, 2}, {3, 2}, {3, 4}, {1, 4}});
  EXPECT_EQ(paths.SetPathClosed(path, true), ai::kNoErr);
  std::int16_t count = 0;
  EXPECT_EQ(paths.GetPathSegmentCount(path, &count), ai::kNoErr);
  EXPECT_EQ(count, 4);
  ai::PathSegment segment[2] = {};
  EXPECT_EQ(paths.GetPathSegments(path, 2, 2, segment), ai::kNoErr);
  EXPECT_EQ(segment[0].p.h, 3);
  EXPECT_EQ(segment[1].p.v, 4);
  EXPECT_EQ(paths.GetPathSegments(path, 3, 2, segment), kPARM);  // past the end
  EXPECT_EQ(paths.GetPathSegments(path, -1, 1, segment), kPARM);

  // User attributes: which selects the bits, attr holds their values.
  std::int32_t attr = -1;
  EXPECT_EQ(arts.SetArtUserAttr(path, ai::kArtAttr_Selected, ai::kArtAttr_Selected), ai::kNoErr);
  EXPECT_EQ(arts.SetArtUserAttr(path, ai::kArtAttr_Locked, ai::kArtAttr_Locked), ai::kNoErr);
  EXPECT_EQ(arts.GetArtUserAttr(path, ai::kArtAttr_Selected | ai::kArtAttr_Locked, &attr), ai::kNoErr);
  EXPECT_EQ(attr, ai::kArtAttr_Selected | ai::kArtAttr_Locked);
  EXPECT_EQ(arts.GetArtUserAttr(path, ai::kArtAttr_Locked, &attr), ai::kNoErr);
  EXPECT_EQ(attr, ai::kArtAttr_Locked);
  // Bits of attr outside which are ignored.
  EXPECT_EQ(arts.SetArtUserAttr(path, ai::kArtAttr_Selected, ai::kArtAttr_Locked), ai::kNoErr);
  EXPECT_EQ(arts.GetArtUserAttr(path, ai::kArtAttr_Selected | ai::kArtAttr_Locked, &attr), ai::kNoErr);
  EXPECT_EQ(attr, ai::kArtAttr_Locked);

  ai::DictionaryRef dict = nullptr;
  ai::DictKey tag = nullptr;
  ASSERT_EQ(arts.GetDictionary(path, &dict), ai::kNoErr);
  ASSERT_EQ(dictionaries.Key("DA127AE0-01B3-42C6-BADB-8D6C6E488FC8", &tag), ai::kNoErr);
  EXPECT_EQ(dictionaries.SetBooleanEntry(dict, tag, true), ai::kNoErr);
  EXPECT_EQ(dictionaries.Release(dict), ai::kNoErr);
  EXPECT_EQ(path->dictionary->count("DA127AE0-01B3-42C6-BADB-8D6C6E488FC8"), 1u);
  EXPECT_TRUE(host.current_document()->dictionary->empty());

  // Locked art stays until it is unlocked.
  EXPECT_EQ(arts.DisposeArt(path), vxsim::kLockedArtErr);
  EXPECT_EQ(arts.SetArtUserAttr(path, ai::kArtAttr_Locked, 0), ai::kNoErr);
  EXPECT_EQ(arts.DisposeArt(path), ai::kNoErr);
  EXPECT_TRUE(host.current_document()->art.empty());
  EXPECT_EQ(arts.DisposeArt(path), kPARM);
  EXPECT_EQ(paths.SetPathClosed(path, false), kPARM);
}

TEST_F(HostModelTest, MatchingArtSelectsByTypeAndAttributesIntoADisposableArray) {
  host.new_document(100, 100, std::nullopt);
  ai::ArtHandle plain = new_path({{0, 0}});
  ai::ArtHandle selected = new_path({{1, 1}});
  ai::ArtHandle locked = new_path({{2, 2}});
  arts.SetArtUserAttr(selected, ai::kArtAttr_Selected, ai::kArtAttr_Selected);
  arts.SetArtUserAttr(locked, ai::kArtAttr_Locked | ai::kArtAttr_Selected,
                      ai::kArtAttr_Locked | ai::kArtAttr_Selected);
  struct Case {
    ai::MatchingArtSpec spec;
    std::vector<ai::ArtHandle> expected;
  } cases[] = {
      {{ai::kArtType_Any, 0, 0}, {plain, selected, locked}},
      {{ai::kArtType_Path, 0, 0}, {plain, selected, locked}},
      {{7, 0, 0}, {}},
      {{ai::kArtType_Any, ai::kArtAttr_Selected, ai::kArtAttr_Selected}, {selected, locked}},
      {{ai::kArtType_Any, ai::kArtAttr_Selected | ai::kArtAttr_Locked, ai::kArtAttr_Selected}, {selected}},
      {{ai::kArtType_Any, ai::kArtAttr_Locked, 0}, {plain, selected}},
  };
  for (const Case& c : cases) {
    ai::ArtHandle* found = nullptr;
    std::int32_t count = -1;
    ASSERT_EQ(matching.GetMatchingArt(&c.spec, 1, &found, &count), ai::kNoErr);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(std::vector<ai::ArtHandle>(found, found + count), c.expected)
        << "type " << c.spec.type << " which " << c.spec.whichAttr << " attr " << c.spec.attr;
    EXPECT_EQ(memory.DisposeArray(found), ai::kNoErr);
    EXPECT_EQ(memory.DisposeArray(found), kPARM);
  }
  EXPECT_EQ(host.live().art_arrays, 0u);

  EXPECT_EQ(matching.DeselectAll(), ai::kNoErr);
  const ai::MatchingArtSpec selected_only{ai::kArtType_Any, ai::kArtAttr_Selected, ai::kArtAttr_Selected};
  ai::ArtHandle* found = nullptr;
  std::int32_t count = -1;
  ASSERT_EQ(matching.GetMatchingArt(&selected_only, 1, &found, &count), ai::kNoErr);
  EXPECT_EQ(count, 0);
  memory.DisposeArray(found);
}

TEST_F(HostModelTest, ArtboardBoundsChangeOnlyThroughUpdate) {
  host.new_document(612, 792, std::nullopt);
  ai::ArtboardListRef list = nullptr;
  ai::ArtboardProperties properties = nullptr;
  ASSERT_EQ(artboards.GetArtboardList(&list), ai::kNoErr);
  ASSERT_EQ(artboards.GetArtboardProperties(list, 0, &properties), ai::kNoErr);
  const ai::RealRect moved{-8.5, 800.5, 620.5, -8.5};
  ASSERT_EQ(artboards.SetPosition(properties, &moved), ai::kNoErr);
  EXPECT_EQ(host.current_document()->artboards[0].right, 612);  // not yet written back
  ASSERT_EQ(artboards.Update(list, 0, properties), ai::kNoErr);
  const ai::RealRect& now = host.current_document()->artboards[0];
  EXPECT_EQ(now.left, -8.5);
  EXPECT_EQ(now.top, 800.5);
  EXPECT_EQ(now.right, 620.5);
  EXPECT_EQ(now.bottom, -8.5);

  const ai::RealRect improper[] = {
      {10, 0, 0, 10},        // top below bottom, right left of left
      {0, 10, 0, 0},         // no width
      {0, 10, 10, 10},       // no height
      {0, INFINITY, 10, 0},  // not finite
  };
  for (const ai::RealRect& r : improper) EXPECT_EQ(artboards.SetPosition(properties, &r), kPARM);
  EXPECT_EQ(artboards.Update(list, 1, properties), kPARM);
  EXPECT_EQ(artboards.DisposeArtboardProperties(properties), ai::kNoErr);
  EXPECT_EQ(artboards.ReleaseArtboardList(list), ai::kNoErr);
  EXPECT_EQ(host.live().artboard_lists + host.live().artboard_properties, 0u);
}

TEST_F(HostModelTest, DocumentKeepsTheProfilesSetEvenAfterTheyAreFreed) {
  host.new_document(100, 100, std::nullopt);
  const std::string icc = "fake ICC profile bytes";
  ai::ColorProfile rgb = nullptr;
  ASSERT_EQ(colors.ProfileFromBytes(icc.data(), icc.size(), &rgb), ai::kNoErr);
  ai::ColorProfile none = nullptr;
  EXPECT_EQ(colors.ProfileFromBytes(icc.data(), 0, &none), kPARM);
  EXPECT_EQ(colors.ProfileFromBytes(nullptr, 4, &none), kPARM);
  EXPECT_EQ(document.SetDocumentProfiles(rgb, reinterpret_cast<ai::ColorProfile>(&none), nullptr), kPARM);
  EXPECT_FALSE(host.current_document()->profiles_set);

  ASSERT_EQ(document.SetDocumentProfiles(rgb, nullptr, nullptr), ai::kNoErr);
  EXPECT_EQ(colors.FreeProfile(rgb), ai::kNoErr);
  const auto& profiles = host.current_document()->profiles;
  ASSERT_TRUE(profiles[0].has_value());
  EXPECT_EQ(profiles[0]->size, icc.size());
  EXPECT_EQ(profiles[0]->digest, vxsim::fnv1a64(icc.data(), icc.size()));
  EXPECT_FALSE(profiles[1].has_value());
  EXPECT_FALSE(profiles[2].has_value());
}

TEST_F(HostModelTest, HandlesTheHostNeverGaveOrTookBackAreRefused) {
  host.new_document(100, 100, std::nullopt);
  ai::UnicodeStringRef string = text("gone");
  ASSERT_EQ(strings.DisposeString(string), ai::kNoErr);
  const char* utf8 = nullptr;
  std::size_t length = 0;
  EXPECT_EQ(strings.GetUTF8(string, &utf8, &length), kPARM);
  EXPECT_EQ(strings.DisposeString(string), kPARM);

  int bogus = 0;
  EXPECT_EQ(menus.EnableItem(reinterpret_cast<ai::MenuItemHandle>(&bogus)), kPARM);
  EXPECT_EQ(timers.SetTimerActive(reinterpret_cast<ai::TimerHandle>(&bogus), true), kPARM);
  EXPECT_EQ(arts.DisposeArt(reinterpret_cast<ai::ArtHandle>(&bogus)), kPARM);
  EXPECT_EQ(dictionaries.Release(reinterpret_cast<ai::DictionaryRef>(&bogus)), kPARM);
  EXPECT_EQ(memory.DisposeArray(&bogus), kPARM);
  EXPECT_EQ(actions.DisposeParamBlock(reinterpret_cast<ai::ActionParamBlock>(&bogus)), kPARM);

  // Art and artboard lists of a closed document are gone with it.
  ai::ArtHandle art = new_path({{0, 0}});
  ai::ArtboardListRef list = nullptr;
  ASSERT_EQ(artboards.GetArtboardList(&list), ai::kNoErr);
  ASSERT_TRUE(host.close_document());
  std::int16_t type = 0;
  EXPECT_EQ(arts.GetArtType(art, &type), kPARM);
  ai::ArtboardProperties properties = nullptr;
  EXPECT_EQ(artboards.GetArtboardProperties(list, 0, &properties), kPARM);
  EXPECT_EQ(artboards.ReleaseArtboardList(list), ai::kNoErr);
}

// --- Actions -------------------------------------------------------------------

TEST_F(HostModelTest, PlayedActionsRecordEveryParameterInTheOrderSet) {
  host.new_document(100, 100, std::nullopt);
  ai::ActionParamBlock block = nullptr;
  ASSERT_EQ(actions.NewParamBlock(&block), ai::kNoErr);
  actions.SetInteger(block, ai::FourCC("optn"), 0);
  actions.SetString(block, ai::FourCC("opnm"), "Custom");
  actions.SetEnumerated(block, ai::FourCC("comp"), "Compatibility", 20);
  actions.SetBoolean(block, ai::FourCC("rdtr"), true);
  actions.SetReal(block, ai::FourCC("post"), 6.0);
  actions.SetInteger(block, ai::FourCC("optn"), 1);  // a repeated key is recorded again
  EXPECT_EQ(actions.SetString(block, ai::FourCC("name"), nullptr), kPARM);
  // Without a 'name' the host refuses to save; the action is recorded all the same.
  ASSERT_EQ(actions.PlayActionEvent("adobe_saveACopyAs", ai::kDialogStatusNone, block), kPARM);
  EXPECT_EQ(actions.DisposeParamBlock(block), ai::kNoErr);

  // The effect of an action is installed on the model; its result is the action's.
  int effects = 0;
  host.set_action_effect("adobe_makeGuide", [&](HostModel&, const vxsim::PlayedAction& action) {
    ++effects;
    EXPECT_TRUE(action.synced);
    return ai::FourCC("GDE!");
  });
  ASSERT_EQ(document.SyncBeforeAction(), ai::kNoErr);
  EXPECT_EQ(actions.PlayActionEvent("adobe_makeGuide", ai::kDialogStatusNone, nullptr), ai::FourCC("GDE!"));
  EXPECT_EQ(actions.PlayActionEvent("adobe_noSuchAction", ai::kDialogStatusNone, nullptr), kPARM);
  EXPECT_EQ(effects, 1);

  const auto& played = host.actions();
  ASSERT_EQ(played.size(), 3u);
  EXPECT_EQ(played[0].event, "adobe_saveACopyAs");
  EXPECT_EQ(played[0].dialog_status, ai::kDialogStatusNone);
  EXPECT_FALSE(played[0].synced);
  EXPECT_EQ(played[0].result, kPARM);
  std::vector<std::string> params;
  for (const vxsim::ActionParam& p : played[0].params) {
    params.push_back(std::to_string(p.key) + " " + vxsim::action_param_type_name(p.type) + " " +
                     std::to_string(p.integer) + " " + std::to_string(p.real) + " " + p.text + p.type_name);
  }
  const auto key = [](const char(&k)[5]) { return std::to_string(ai::FourCC(k)); };
  EXPECT_EQ(params, (std::vector<std::string>{
                        key("optn") + " integer 0 0.000000 ",
                        key("opnm") + " string 0 0.000000 Custom",
                        key("comp") + " enumerated 20 0.000000 Compatibility",
                        key("rdtr") + " boolean 1 0.000000 ",
                        key("post") + " real 0 6.000000 ",
                        key("optn") + " integer 1 0.000000 ",
                    }));
  EXPECT_TRUE(played[1].synced);
  EXPECT_EQ(played[1].result, ai::FourCC("GDE!"));
  EXPECT_FALSE(played[2].synced);
  EXPECT_EQ(played[2].result, kPARM);
}

// --- Failure injection ---------------------------------------------------------

TEST_F(HostModelTest, AnInjectedFailureReturnsItsCodeAndChangesNothing) {
  host.attach(&TestPlugin::Main);
  start([] { return ai::kNoErr; });
  host.new_document(100, 100, std::nullopt);
  const ai::Err code = ai::FourCC("FAIL");
  struct Case {
    const char* operation;
    std::function<ai::Err()> call;
    std::function<bool()> unchanged;
  };
  ai::MenuItemHandle item = nullptr;
  ai::TimerHandle timer = nullptr;
  ai::DocumentHandle doc = nullptr;
  ai::DictionaryRef dict = document_dictionary();
  ai::DictKey key = nullptr;
  dictionaries.Key("k", &key);
  const unsigned char byte = 1;
  const ai::NewDocumentPreset p = preset(10, 10);
  const Case cases[] = {
      {"AddMenuItem",
       [&] { return menus.AddMenuItem(plugin.ref, "K", "Place Document", text("X"), 0, &item); },
       [&] { return host.menu_items().empty() && item == nullptr; }},
      {"AddTimer", [&] { return timers.AddTimer(plugin.ref, "T", 60, &timer); },
       [&] { return host.timers().empty() && timer == nullptr; }},
      {"GetDocument", [&] { return document.GetDocument(&doc); }, [&] { return doc == nullptr; }},
      {"SetBinaryEntry", [&] { return dictionaries.SetBinaryEntry(dict, key, &byte, 1); },
       [&] { return host.current_document()->dictionary->empty(); }},
      {"New", [&] { return document_list.New("", &p, 0, &doc); },
       [&] { return host.documents().size() == 1 && doc == nullptr; }},
      {"SetDocumentModified", [&] { return document.SetDocumentModified(true); },
       [&] { return !host.current_document()->modified; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operation);
    item = nullptr;
    timer = nullptr;
    doc = nullptr;
    ASSERT_TRUE(host.fail(c.operation, code));
    EXPECT_EQ(c.call(), code);
    EXPECT_TRUE(c.unchanged());
    ASSERT_TRUE(host.fail(c.operation, 0));
    EXPECT_EQ(c.call(), ai::kNoErr);
    EXPECT_FALSE(c.unchanged());
  }
}

// `fail` reaches every call a plug-in can make: each operation of the
// suite tables, by the name the host gives it, returns the injected code.
TEST_F(HostModelTest, EveryOperationOfTheSuitesHearsAnInjectedFailure) {
  ai::BasicSuite* basic = host.basic_suite();
  const auto& access = suite<ai::AccessSuite>(ai::kAccessSuite, ai::kAccessSuiteVersion);
  const auto& plugins = suite<ai::PluginsSuite>(ai::kPluginsSuite, ai::kPluginsSuiteVersion);
  const auto& notifiers = suite<ai::NotifierSuite>(ai::kNotifierSuite, ai::kNotifierSuiteVersion);
  const auto& contexts = suite<ai::ContextSuite>(ai::kContextSuite, ai::kContextSuiteVersion);
  const auto& user = suite<ai::UserSuite>(ai::kUserSuite, ai::kUserSuiteVersion);
  const auto& file_paths = suite<ai::FilePathSuite>(ai::kFilePathSuite, ai::kFilePathSuiteVersion);
  const auto& folders = suite<ai::FoldersSuite>(ai::kFoldersSuite, ai::kFoldersSuiteVersion);
  const auto& blocks = suite<ai::BlocksSuite>(ai::kBlocksSuite, ai::kBlocksSuiteVersion);
  const auto& runtime = suite<ai::RuntimeSuite>(ai::kRuntimeSuite, ai::kRuntimeSuiteVersion);
  host.new_document(100, 100, std::nullopt);
  // Every call would succeed, or fail for another reason, without the
  // injected failure: the handles and pointers do not matter, since a
  // failure is applied before anything is looked at.
  const ai::PluginRef self = host.plugin_ref();
  const ai::MatchingArtSpec spec{ai::kArtType_Any, 0, 0};
  const ai::RealRect rect{0, 10, 10, 0};
  const std::map<std::string, std::function<ai::Err()>> calls = {
      {"AcquireSuite",
       [&] {
         const void* t;
         return basic->AcquireSuite(ai::kMenuSuite, ai::kMenuSuiteVersion, &t);
       }},
      {"ReleaseSuite", [&] { return basic->ReleaseSuite(ai::kMenuSuite, ai::kMenuSuiteVersion); }},
      {"AcquirePlugin",
       [&] {
         ai::AccessRef r;
         return access.AcquirePlugin(self, &r);
       }},
      {"ReleasePlugin", [&] { return access.ReleasePlugin(nullptr); }},
      {"SetPluginName", [&] { return plugins.SetPluginName(self, "X"); }},
      {"GetPluginName",
       [&] {
         const char* n;
         return plugins.GetPluginName(self, &n);
       }},
      {"AddNotifier",
       [&] {
         ai::NotifierHandle n;
         return notifiers.AddNotifier(self, "N", "T", &n);
       }},
      {"PushAppContext",
       [&] {
         ai::AppContext c;
         return contexts.PushAppContext(self, &c);
       }},
      {"PopAppContext", [&] { return contexts.PopAppContext(nullptr); }},
      {"MessageAlert", [&] { return user.MessageAlert(nullptr); }},
      {"NewFilePath",
       [&] {
         ai::FilePathRef f;
         return file_paths.NewFilePath("/x", &f);
       }},
      {"GetFullPath",
       [&] {
         ai::UnicodeStringRef t;
         return file_paths.GetFullPath(nullptr, &t);
       }},
      {"DisposeFilePath", [&] { return file_paths.DisposeFilePath(nullptr); }},
      {"FindFolder",
       [&] {
         ai::FilePathRef f;
         return folders.FindFolder(ai::kFolder_Temporary, &f);
       }},
      {"AllocateBlock",
       [&] {
         void* b;
         return blocks.AllocateBlock(1, &b);
       }},
      {"FreeBlock", [&] { return blocks.FreeBlock(nullptr); }},
      {"AddMenuItem",
       [&] {
         ai::MenuItemHandle i;
         return menus.AddMenuItem(self, "K", "Help", nullptr, 0, &i);
       }},
      {"AddMenuGroupAsSubMenu",
       [&] {
         ai::MenuGroupHandle g;
         return menus.AddMenuGroupAsSubMenu("G", 0, nullptr, &g);
       }},
      {"EnableItem", [&] { return menus.EnableItem(nullptr); }},
      {"DisableItem", [&] { return menus.DisableItem(nullptr); }},
      {"IsItemEnabled",
       [&] {
         bool e;
         return menus.IsItemEnabled(nullptr, &e);
       }},
      {"NewFromUTF8",
       [&] {
         ai::UnicodeStringRef t;
         return strings.NewFromUTF8("x", 1, &t);
       }},
      {"GetUTF8",
       [&] {
         const char* t;
         std::size_t n;
         return strings.GetUTF8(nullptr, &t, &n);
       }},
      {"DisposeString", [&] { return strings.DisposeString(nullptr); }},
      {"GetDocument",
       [&] {
         ai::DocumentHandle d;
         return document.GetDocument(&d);
       }},
      {"GetDictionary",
       [&] {
         ai::DictionaryRef d;
         return document.GetDictionary(&d);
       }},
      {"GetDocumentPageSize",
       [&] {
         ai::RealPoint p;
         return document.GetDocumentPageSize(&p);
       }},
      {"GetDocumentFileSpecification",
       [&] {
         ai::FilePathRef f;
         return document.GetDocumentFileSpecification(&f);
       }},
      {"SetDocumentModified", [&] { return document.SetDocumentModified(true); }},
      {"SetDocumentProfiles", [&] { return document.SetDocumentProfiles(nullptr, nullptr, nullptr); }},
      {"SyncBeforeAction", [&] { return document.SyncBeforeAction(); }},
      {"New",
       [&] {
         ai::DocumentHandle d;
         return document_list.New("", nullptr, 0, &d);
       }},
      {"Count",
       [&] {
         std::int32_t n;
         return document_list.Count(&n);
       }},
      {"GetNthDocument",
       [&] {
         ai::DocumentHandle d;
         return document_list.GetNthDocument(0, &d);
       }},
      {"Key",
       [&] {
         ai::DictKey k;
         return dictionaries.Key("k", &k);
       }},
      {"GetBinaryEntry",
       [&] {
         std::size_t n = 0;
         return dictionaries.GetBinaryEntry(nullptr, nullptr, nullptr, &n);
       }},
      {"SetBinaryEntry", [&] { return dictionaries.SetBinaryEntry(nullptr, nullptr, nullptr, 0); }},
      {"GetBooleanEntry",
       [&] {
         bool b;
         return dictionaries.GetBooleanEntry(nullptr, nullptr, &b);
       }},
      {"SetBooleanEntry", [&] { return dictionaries.SetBooleanEntry(nullptr, nullptr, true); }},
      {"Release", [&] { return dictionaries.Release(nullptr); }},
      {"NewParamBlock",
       [&] {
         ai::ActionParamBlock b;
         return actions.NewParamBlock(&b);
       }},
      {"DisposeParamBlock", [&] { return actions.DisposeParamBlock(nullptr); }},
      {"SetInteger", [&] { return actions.SetInteger(nullptr, 1, 1); }},
      {"SetReal", [&] { return actions.SetReal(nullptr, 1, 1); }},
      {"SetBoolean", [&] { return actions.SetBoolean(nullptr, 1, true); }},
      {"SetString", [&] { return actions.SetString(nullptr, 1, "x"); }},
      {"SetEnumerated", [&] { return actions.SetEnumerated(nullptr, 1, "T", 1); }},
      {"PlayActionEvent", [&] { return actions.PlayActionEvent("adobe_makeGuide", 3, nullptr); }},
      {"GetMatchingArt",
       [&] {
         ai::ArtHandle* a;
         std::int32_t n;
         return matching.GetMatchingArt(&spec, 1, &a, &n);
       }},
      {"DeselectAll", [&] { return matching.DeselectAll(); }},
      {"DisposeArray", [&] { return memory.DisposeArray(nullptr); }},
      {"NewArt",
       [&] {
         ai::ArtHandle a;
         return arts.NewArt(ai::kArtType_Path, 5, nullptr, &a);
       }},
      {"DisposeArt", [&] { return arts.DisposeArt(nullptr); }},
      {"GetArtType",
       [&] {
         std::int16_t t;
         return arts.GetArtType(nullptr, &t);
       }},
      {"GetArtUserAttr",
       [&] {
         std::int32_t a;
         return arts.GetArtUserAttr(nullptr, 1, &a);
       }},
      {"SetArtUserAttr", [&] { return arts.SetArtUserAttr(nullptr, 1, 1); }},
      {"GetArtboardList",
       [&] {
         ai::ArtboardListRef l;
         return artboards.GetArtboardList(&l);
       }},
      {"ReleaseArtboardList", [&] { return artboards.ReleaseArtboardList(nullptr); }},
      {"GetArtboardProperties",
       [&] {
         ai::ArtboardProperties p;
         return artboards.GetArtboardProperties(nullptr, 0, &p);
       }},
      {"DisposeArtboardProperties", [&] { return artboards.DisposeArtboardProperties(nullptr); }},
      {"GetPosition",
       [&] {
         ai::RealRect r;
         return artboards.GetPosition(nullptr, &r);
       }},
      {"SetPosition", [&] { return artboards.SetPosition(nullptr, &rect); }},
      {"Update", [&] { return artboards.Update(nullptr, 0, nullptr); }},
      {"AddTimer",
       [&] {
         ai::TimerHandle t;
         return timers.AddTimer(self, "T", 60, &t);
       }},
      {"SetTimerActive", [&] { return timers.SetTimerActive(nullptr, true); }},
      {"GetAppMajorVersion",
       [&] {
         std::int32_t v;
         return runtime.GetAppMajorVersion(&v);
       }},
      {"SetPathSegmentCount", [&] { return paths.SetPathSegmentCount(nullptr, 0); }},
      {"SetPathSegments", [&] { return paths.SetPathSegments(nullptr, 0, 0, nullptr); }},
      {"GetPathSegmentCount",
       [&] {
         std::int16_t n;
         return paths.GetPathSegmentCount(nullptr, &n);
       }},
      {"GetPathSegments", [&] { return paths.GetPathSegments(nullptr, 0, 0, nullptr); }},
      {"SetPathClosed", [&] { return paths.SetPathClosed(nullptr, true); }},
      {"ProfileFromBytes",
       [&] {
         ai::ColorProfile p;
         return colors.ProfileFromBytes("x", 1, &p);
       }},
      {"FreeProfile", [&] { return colors.FreeProfile(nullptr); }},
  };
  // The table holds every operation the host names, and no other.
  std::vector<std::string> named = HostModel::operations();
  std::sort(named.begin(), named.end());
  std::vector<std::string> tabled;
  for (const auto& [name, call] : calls) tabled.push_back(name);
  EXPECT_EQ(tabled, named);

  const ai::Err code = ai::FourCC("INJ!");
  for (const auto& [name, call] : calls) {
    ASSERT_TRUE(host.fail(name, code)) << name;
    EXPECT_EQ(call(), code) << name;
    ASSERT_TRUE(host.fail(name, 0));
  }

  // The document's and the art's GetDictionary, one at a time.
  ai::ArtHandle art = new_path({{0, 0}});
  ai::DictionaryRef dictionary = nullptr;
  ASSERT_TRUE(host.fail("GetDictionary:AI Document Suite", code));
  EXPECT_EQ(document.GetDictionary(&dictionary), code);
  EXPECT_EQ(arts.GetDictionary(art, &dictionary), ai::kNoErr);
  ASSERT_TRUE(host.fail("GetDictionary:AI Document Suite", 0));
  ASSERT_TRUE(host.fail("GetDictionary:AI Art Suite", code));
  EXPECT_EQ(arts.GetDictionary(art, &dictionary), code);
  EXPECT_EQ(document.GetDictionary(&dictionary), ai::kNoErr);
  EXPECT_FALSE(host.fail("GetDictionary:AI Menu Suite", code));
}

TEST_F(HostModelTest, AcquireSuiteFailsForOneSuiteOrForAll) {
  ai::BasicSuite* basic = host.basic_suite();
  const void* table = nullptr;
  ASSERT_TRUE(host.fail("AcquireSuite:AI Menu Suite", ai::kSuiteNotFoundErr));
  EXPECT_EQ(basic->AcquireSuite(ai::kMenuSuite, ai::kMenuSuiteVersion, &table), ai::kSuiteNotFoundErr);
  EXPECT_EQ(table, nullptr);
  EXPECT_EQ(basic->AcquireSuite(ai::kTimerSuite, ai::kTimerSuiteVersion, &table), ai::kNoErr);
  ASSERT_TRUE(host.fail("AcquireSuite", ai::kOutOfMemoryErr));
  EXPECT_EQ(basic->AcquireSuite(ai::kTimerSuite, ai::kTimerSuiteVersion, &table), ai::kOutOfMemoryErr);
  EXPECT_EQ(host.suite_events().back().result, ai::kOutOfMemoryErr);
  ASSERT_TRUE(host.fail("AcquireSuite", 0));
  EXPECT_EQ(basic->AcquireSuite(ai::kMenuSuite, ai::kMenuSuiteVersion, &table), ai::kSuiteNotFoundErr);

  // A failed action is still recorded, with the injected result.
  host.new_document(1, 1, std::nullopt);
  ASSERT_TRUE(host.fail("PlayActionEvent:adobe_makeGuide", ai::FourCC("NOPE")));
  // Another action fails for its own reason (a save without a 'name'), not the injected one.
  EXPECT_EQ(actions.PlayActionEvent("adobe_saveACopyAs", 3, nullptr), kPARM);
  EXPECT_EQ(actions.PlayActionEvent("adobe_makeGuide", 3, nullptr), ai::FourCC("NOPE"));
  ASSERT_EQ(host.actions().size(), 2u);
  EXPECT_EQ(host.actions()[1].result, ai::FourCC("NOPE"));

  for (const char* unknown : {"AddMenuItems", "AcquireSuite:AI Layer Suite", "PlayActionEvent:", ""}) {
    EXPECT_FALSE(host.fail(unknown, 1)) << unknown;
  }
}

TEST_F(HostModelTest, FoldersBlocksAndFilePathsAreTheHostsToGiveAndTakeBack) {
  const auto& folders = suite<ai::FoldersSuite>(ai::kFoldersSuite, ai::kFoldersSuiteVersion);
  const auto& file_paths = suite<ai::FilePathSuite>(ai::kFilePathSuite, ai::kFilePathSuiteVersion);
  const auto& blocks = suite<ai::BlocksSuite>(ai::kBlocksSuite, ai::kBlocksSuiteVersion);
  host.set_folder(ai::kFolder_Plugins, "/opt/host/plugins");
  ai::FilePathRef folder = nullptr;
  ASSERT_EQ(folders.FindFolder(ai::kFolder_Plugins, &folder), ai::kNoErr);
  EXPECT_EQ(folders.FindFolder(ai::kFolder_Temporary, &folder), kPARM);  // not known to this host
  ai::UnicodeStringRef full = nullptr;
  ASSERT_EQ(file_paths.GetFullPath(folder, &full), ai::kNoErr);
  EXPECT_EQ(full->text, "/opt/host/plugins");
  EXPECT_EQ(file_paths.DisposeFilePath(folder), ai::kNoErr);
  EXPECT_EQ(file_paths.GetFullPath(folder, &full), kPARM);
  EXPECT_EQ(file_paths.NewFilePath(nullptr, &folder), kPARM);

  void* block = nullptr;
  ASSERT_EQ(blocks.AllocateBlock(0, &block), ai::kNoErr);  // a block even of no bytes
  EXPECT_NE(block, nullptr);
  EXPECT_EQ(blocks.FreeBlock(block), ai::kNoErr);
  EXPECT_EQ(blocks.FreeBlock(block), kPARM);
  EXPECT_EQ(blocks.FreeBlock(nullptr), ai::kNoErr);
  void* huge = nullptr;
  EXPECT_EQ(blocks.AllocateBlock(std::size_t{1} << 40, &huge), ai::kOutOfMemoryErr);
  EXPECT_EQ(huge, nullptr);
  EXPECT_EQ(host.live().blocks, 0u);
}

TEST_F(HostModelTest, ContextsNestAndAreCountedInPairs) {
  const auto& context = suite<ai::ContextSuite>(ai::kContextSuite, ai::kContextSuiteVersion);
  ai::AppContext outer = nullptr, inner = nullptr;
  ASSERT_EQ(context.PushAppContext(host.plugin_ref(), &outer), ai::kNoErr);
  ASSERT_EQ(context.PushAppContext(host.plugin_ref(), &inner), ai::kNoErr);
  EXPECT_EQ(context.PopAppContext(outer), kPARM);  // not the innermost
  EXPECT_EQ(context.PopAppContext(inner), ai::kNoErr);
  EXPECT_EQ(context.PopAppContext(outer), ai::kNoErr);
  EXPECT_EQ(context.PopAppContext(outer), kPARM);
  EXPECT_EQ(host.contexts_pushed(), 2u);
  EXPECT_EQ(host.contexts_popped(), 2u);
}

}  // namespace
