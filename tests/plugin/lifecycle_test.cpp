// The plug-in through PluginMain: start-up, the menu and the timer, shut-down,
// unload and reload, and what a failed start-up leaves behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "AISuites.h"
#include "ErrorCodes.h"
#include "SuiteSet.h"
#include "datastruct/BJobFile.h"
#include "plugin_fixture.h"
#include "support/captured_log.h"
#include "utils/UUnits.h"
#include "utils/encoding.h"

namespace {

using vxtest::PluginTest;

// What a plug-in that is gone must not have left.
void ExpectNothingLeft(void* globals, const vxtest::FakeHost& host, const vxtest::FakeWindows& windows) {
  EXPECT_EQ(globals, nullptr) << "object left in the globals slot";
  EXPECT_EQ(GlobalPluginPointer(), nullptr) << "process-wide plug-in pointer left";
  EXPECT_EQ(ReplyWindow(), 0u) << "reply window handle left";
  EXPECT_TRUE(windows.windows.empty()) << "reply window left";
  EXPECT_TRUE(windows.classes.empty()) << "window class left registered";
  EXPECT_EQ(host.access_holds, 0) << "keep-loaded hold left";
  EXPECT_EQ(host.HeldSuiteCount(), 0) << "suites left acquired";
  EXPECT_EQ(SuiteSet::holders(), 0);
}

TEST_F(PluginTest, StartupHoldsSuitesNamesThePluginAndStartsTimerAndWindow) {
  set_display_units(UUnits(UUnits::eUnit_Inches));
  ASSERT_EQ(Startup(), 0);
  ASSERT_NE(plugin(), nullptr);
  EXPECT_EQ(GlobalPluginPointer(), plugin());
  EXPECT_EQ(host.HeldSuiteCount(), 18);
  EXPECT_EQ(host.plugin_name, "VXIllustrator");
  ASSERT_EQ(host.notifiers.size(), 2u);
  EXPECT_EQ(host.notifiers[0].name, "VXIllustrator App Started Notifier");
  EXPECT_EQ(host.notifiers[1].name, "VXIllustrator Application Shutdown Notifier");
  EXPECT_EQ(host.access_holds, 1);
  EXPECT_EQ(display_units().index(), UUnits::eUnit_Millimeters);

  // The timer suite is held around its one use only.
  EXPECT_EQ(host.held_suites.count("AI Timer Suite"), 0u);
  ASSERT_EQ(host.timers.size(), 1u);
  EXPECT_EQ(host.timers[0].name, "VeloxaTimer");
  EXPECT_EQ(host.timers[0].period, 60);
  EXPECT_TRUE(host.timers[0].active);
  EXPECT_EQ(plugin()->Timer(), host.timers[0].handle);

  ASSERT_NE(ReplyWindow(), 0u);
  const auto& window = services.windows.windows.at(ReplyWindow());
  EXPECT_EQ(window.class_name, "VXIllWndProc");
  EXPECT_EQ(window.title, "VXIllWndProc");
  EXPECT_FALSE(window.visible);
  EXPECT_EQ(services.windows.classes.at("VXIllWndProc"), &ReplyWindowProcedure);
  EXPECT_TRUE(host.strings.empty()) << "host strings not disposed of";
}

TEST_F(PluginTest, MenuIsAddedExactly) {
  ASSERT_EQ(Startup(), 0);
  struct Item {
    const char* group;
    const char* text;
    std::int32_t options;
  };
  const Item expected[] = {
      {"Place Document", "", 4},
      {"Place Document", "Veloxa", 0},
      {"Veloxa Group", "About Veloxa...", 0},
      {"Veloxa Group", "Show Job List Window", 0},
      {"Veloxa Group", "", 4},
      {"Veloxa Group", "Job Details / Export...", 0},
      {"Veloxa Group", "AdjustSize...", 1},
  };
  ASSERT_EQ(host.menu_items.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(host.menu_items[i].key, "Veloxa Group");
    EXPECT_EQ(host.menu_items[i].group, expected[i].group);
    EXPECT_EQ(host.menu_items[i].text, expected[i].text);
    EXPECT_EQ(host.menu_items[i].options, expected[i].options);
  }
  ASSERT_EQ(host.menu_groups.size(), 1u);
  EXPECT_EQ(host.menu_groups[0].name, "Veloxa Group");
  EXPECT_EQ(host.menu_groups[0].options, 0);
  EXPECT_EQ(host.menu_groups[0].parent, host.menu_items[1].handle);
  // The group is made before its items are added.
  const auto& calls = host.calls;
  const auto group_call = std::find(calls.begin(), calls.end(), "AddMenuGroupAsSubMenu");
  EXPECT_EQ(std::count(calls.begin(), group_call, "AddMenuItem"), 2);

  const VXMenuItems& items = plugin()->MenuItems();
  EXPECT_EQ(items.about, host.menu_items[2].handle);
  EXPECT_EQ(items.jobList, host.menu_items[3].handle);
  EXPECT_EQ(items.details, host.menu_items[5].handle);
  EXPECT_EQ(items.adjustSize, host.menu_items[6].handle);
}

TEST_F(PluginTest, StartupWritesItsDebugRecords) {
  vxtest::CapturedLog log;
  ASSERT_EQ(Startup(), 0);
  EXPECT_TRUE(log.contains("[DEBUG]")) << log.text();
  EXPECT_TRUE(log.contains("[VXIllustrator:VXIllustratorInit:86] timer err = 0\n")) << log.text();
  EXPECT_TRUE(log.contains("[VXIllustrator:VXIllustratorInit:90] activate timer err = 0\n")) << log.text();
  EXPECT_TRUE(log.contains("[VXIllustrator:pluginStartup:1262] init res = true\n")) << log.text();
}

TEST_F(PluginTest, FailuresOfOnePieceAreLoggedAndLeaveThePluginRunning) {
  const std::string code = std::to_string(ai::FourCC("tErr"));
  // The first item added is the separator of "Place Document".
  const std::string item_record =
      "[VXIllustrator:menu_add:118] addmenu error (" + code + ") (agroup=Place Document, txt=)\n";
  struct Case {
    const char* operation;
    std::string record;
  };
  const Case cases[] = {
      {"AddTimer", "[VXIllustrator:VXIllustratorInit:86] timer err = " + code + "\n"},
      {"SetTimerActive", "[VXIllustrator:VXIllustratorInit:90] activate timer err = " + code + "\n"},
      {"AddMenuItem", item_record},
      {"NewFromUTF8", item_record},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operation);
    host.Fail(c.operation, ai::FourCC("tErr"), 1);
    vxtest::CapturedLog log;
    EXPECT_EQ(Startup(), 0);
    EXPECT_TRUE(log.contains(c.record)) << log.text();
    EXPECT_NE(plugin(), nullptr);
    EXPECT_NE(ReplyWindow(), 0u);
    EXPECT_EQ(Send(ai::kCallerInterface, ai::kSelectorShutdown), 0);
    ForgetVXIllustratorInit();
  }
}

TEST_F(PluginTest, TimerThatWasNotAddedKeepsNoHandle) {
  host.Fail("AddTimer", ai::FourCC("tErr"), 1);
  ASSERT_EQ(Startup(), 0);
  EXPECT_EQ(plugin()->Timer(), nullptr);
}

TEST_F(PluginTest, ShutdownWithoutObjectDoesNothing) {
  EXPECT_EQ(Send(ai::kCallerInterface, ai::kSelectorShutdown), 0);
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(globals, nullptr);
}

TEST_F(PluginTest, ShutdownLeavesNothingBehind) {
  ASSERT_EQ(Startup(), 0);
  ASSERT_EQ(Answer(23293, u"0A1b"), 1);
  EXPECT_EQ(Send(ai::kCallerInterface, ai::kSelectorShutdown), 0);
  ExpectNothingLeft(globals, host, services.windows);
}

TEST_F(PluginTest, SecondStartupSkipsInitialisationButAddsTheMenuAgain) {
  ASSERT_EQ(Startup(), 0);
  ASSERT_EQ(Send(ai::kCallerInterface, ai::kSelectorShutdown), 0);
  ASSERT_EQ(Startup(), 0);
  EXPECT_EQ(host.CallsStartingWith("Acquire AI Timer Suite").size(), 1u);
  EXPECT_EQ(host.timers.size(), 1u);
  EXPECT_EQ(host.menu_items.size(), 14u);
  EXPECT_EQ(host.menu_groups.size(), 2u);
  // The new object has its own menu handles and a reply window again.
  EXPECT_EQ(plugin()->MenuItems().about, host.menu_items[9].handle);
  EXPECT_NE(ReplyWindow(), 0u);
}

TEST_F(PluginTest, UnloadAndReloadKeepTheObject) {
  ASSERT_EQ(Startup(), 0);
  VXIllustratorPlugin* const object = plugin();
  const VXMenuItems items = object->MenuItems();
  const ai::TimerHandle timer = object->Timer();
  ASSERT_EQ(Answer(23262, u"C0DE"), 1);

  EXPECT_EQ(Send(ai::kCallerAccess, ai::kSelectorUnload), 0);
  EXPECT_EQ(globals, object);
  EXPECT_EQ(GlobalPluginPointer(), nullptr);
  EXPECT_EQ(host.HeldSuiteCount(), 0);
  EXPECT_EQ(ReplyWindow(), 0u);
  EXPECT_TRUE(services.windows.classes.empty());

  // While unloaded, messages reach nothing.
  host.calls.clear();
  EXPECT_EQ(Tick(), 0);
  EXPECT_EQ(SendMenu(ai::kSelectorGo, items.about), 0);
  EXPECT_TRUE(host.calls.empty());
  EXPECT_TRUE(services.link.opened.empty());

  EXPECT_EQ(Send(ai::kCallerAccess, ai::kSelectorReload), 0);
  ASSERT_EQ(globals, object);
  EXPECT_EQ(GlobalPluginPointer(), object);
  EXPECT_EQ(host.HeldSuiteCount(), 18);
  EXPECT_NE(ReplyWindow(), 0u);
  EXPECT_STREQ(plugin()->Name(), "VXIllustrator");
  EXPECT_EQ(plugin()->Self(), host.self());
  EXPECT_EQ(plugin()->MenuItems().about, items.about);
  EXPECT_EQ(plugin()->MenuItems().adjustSize, items.adjustSize);
  EXPECT_EQ(plugin()->Timer(), timer);
  EXPECT_EQ(plugin()->KeepLoadedCount(), 1);
  EXPECT_EQ(plugin()->AppStartedNotifier(), nullptr);
  EXPECT_EQ(plugin()->AppShutdownNotifier(), nullptr);
  ASSERT_TRUE(plugin()->Pending().HasReply());
  EXPECT_EQ(*plugin()->Pending().Bytes(), "\xC0\xDE");

  // It works as before.
  EXPECT_EQ(SendMenu(ai::kSelectorGo, items.jobList), 0);
  EXPECT_EQ(services.link.connections.size(), 2u);
  EXPECT_EQ(Send(ai::kCallerInterface, ai::kSelectorShutdown), 0);
  ExpectNothingLeft(globals, host, services.windows);
}

TEST_F(PluginTest, FailedReloadKeepsTheObjectForShutdown) {
  ASSERT_EQ(Startup(), 0);
  ASSERT_EQ(Send(ai::kCallerAccess, ai::kSelectorUnload), 0);
  host.Fail("Acquire AI Menu Suite", ai::FourCC("gone"), 1);
  EXPECT_EQ(Send(ai::kCallerAccess, ai::kSelectorReload), ai::FourCC("gone"));
  EXPECT_NE(globals, nullptr);
  EXPECT_EQ(host.HeldSuiteCount(), 0);
  EXPECT_EQ(ReplyWindow(), 0u);
  EXPECT_EQ(Send(ai::kCallerInterface, ai::kSelectorShutdown), 0);
  ExpectNothingLeft(globals, host, services.windows);
}

TEST_F(PluginTest, FailedStartupLeavesNothingBehind) {
  struct Case {
    const char* name;
    const char* operation;
    bool throws;
    ai::Err code;
    ai::Err result;
  };
  const ai::Err bad = ai::FourCC("bad!");
  const Case cases[] = {
      {"suite", "Acquire AI Art Suite", false, bad, bad},
      {"name", "SetPluginName", false, bad, bad},
      {"notifier", "AddNotifier", false, bad, bad},
      {"keep loaded", "AcquirePlugin", false, bad, bad},
      {"initialisation", "Acquire AI Timer Suite", false, bad, ErrNotImplemented},
      {"submenu", "AddMenuGroupAsSubMenu", false, bad, bad},
      {"host error thrown", "SetPluginName", true, 7, 7},
      {"other exception", "SetPluginName", true, 0, ErrUnexpected},
      {"exception after initialisation", "AddMenuGroupAsSubMenu", true, 0, ErrUnexpected},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vxtest::FakeHost fresh;
    if (c.throws)
      fresh.Throw(c.operation, c.code);
    else
      fresh.Fail(c.operation, c.code);
    ai::PluginMessageData message = fresh.Header(nullptr);
    EXPECT_EQ(PluginMain(ai::kCallerInterface, ai::kSelectorStartup, &message), c.result);
    ExpectNothingLeft(message.globals, fresh, services.windows);
    ForgetVXIllustratorInit();
  }
}

TEST_F(PluginTest, SubmenuFailureIsLogged) {
  host.Fail("AddMenuGroupAsSubMenu", ai::FourCC("tErr"));
  vxtest::CapturedLog log;
  EXPECT_EQ(Startup(), ai::FourCC("tErr"));
  EXPECT_TRUE(log.contains("[VXIllustrator:addMenu:142] submenu add error (" +
                           std::to_string(ai::FourCC("tErr")) + ")\n"))
      << log.text();
}

TEST_F(PluginTest, ExceptionsDuringReloadAndShutdownDoNotEscape) {
  ASSERT_EQ(Startup(), 0);
  ASSERT_EQ(Send(ai::kCallerAccess, ai::kSelectorUnload), 0);
  host.Throw("Acquire AI Menu Suite", 0, 1);
  EXPECT_EQ(Send(ai::kCallerAccess, ai::kSelectorReload), ErrUnexpected);
  EXPECT_NE(globals, nullptr);
  // What the broken acquisition took is given back, and no holder is left
  // counted (a later acquisition would otherwise skip the suites).
  EXPECT_EQ(host.HeldSuiteCount(), 0);
  EXPECT_EQ(SuiteSet::holders(), 0);
  EXPECT_EQ(Send(ai::kCallerAccess, ai::kSelectorReload), 0);
  host.Throw("ReleasePlugin");
  EXPECT_EQ(Send(ai::kCallerInterface, ai::kSelectorShutdown), 0);
  EXPECT_EQ(globals, nullptr);
}

// --- Messages of the running plug-in ------------------------------------------------

TEST_F(PluginTest, MessagesWithoutAHandlerAnswerZero) {
  ASSERT_EQ(Startup(), 0);
  host.calls.clear();
  EXPECT_EQ(Send("No Such Caller", "AI Go"), 0);
  EXPECT_EQ(Send(ai::kCallerInterface, ai::kSelectorAbout), 0);
  EXPECT_EQ(Send(ai::kCallerFilter, ai::kSelectorGo), 0);
  EXPECT_EQ(plugin()->ErrorMemory().LastCode(), 0) << "'!MSG' must not be reported";
}

TEST_F(PluginTest, MenuCommands) {
  ASSERT_EQ(Startup(), 0);
  const VXMenuItems items = plugin()->MenuItems();
  const std::string hwnd = std::to_string(ReplyWindow());
  struct Case {
    const char* name;
    ai::MenuItemHandle item;
    std::vector<testing::Matcher<std::string>> sent;
    const char* record;
  };
  const std::string ping = R"({"what":"ping"})";
  const Case cases[] = {
      {"about",
       items.about,
       {ping, R"({"hwnd":")" + hwnd + R"(","sender":"IllustratorCS","what":"about"})"},
       ""},
      {"job list",
       items.jobList,
       {ping, R"({"hwnd":")" + hwnd + R"(","sender":"IllustratorCS","what":"joblist"})"},
       ""},
      // No document is open: the empty job, without "x".
      {"details",
       items.details,
       {ping,
        testing::MatchesRegex(R"(\{"hwnd":")" + hwnd +
                              R"(","sender":"IllustratorCS","v":"[A-Za-z0-9+/]+=*","what":"details"\})")},
       ""},
      // No document: nothing to adjust.
      {"adjust size", items.adjustSize, {}, ""},
      {"someone else's item", host.NewHandle<ai::MenuItemHandle>(), {}, ""},
      {"no item", nullptr, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    services.link.connections.clear();
    vxtest::CapturedLog log;
    EXPECT_EQ(SendMenu(ai::kSelectorGo, c.item), 0);
    EXPECT_THAT(services.link.Messages(), testing::ElementsAreArray(c.sent));
    EXPECT_TRUE(log.contains("[DEBUG]")) << log.text();
    EXPECT_TRUE(log.contains("[VXIllustrator:goMenuItem:1292] goMenuItem\n")) << log.text();
    EXPECT_TRUE(log.contains(c.record)) << log.text();
  }
}

TEST_F(PluginTest, AdjustSizeIsDisabledOnUpdate) {
  ASSERT_EQ(Startup(), 0);
  const VXMenuItems items = plugin()->MenuItems();
  host.calls.clear();
  EXPECT_EQ(SendMenu(ai::kSelectorUpdate, items.about), 0);
  EXPECT_TRUE(host.CallsStartingWith("EnableItem").empty());
  EXPECT_TRUE(host.CallsStartingWith("DisableItem").empty());

  EXPECT_EQ(SendMenu(ai::kSelectorUpdate, items.adjustSize), 0);
  EXPECT_EQ(host.CallsStartingWith("DisableItem").size(), 1u);
  EXPECT_FALSE(host.FindItem(items.adjustSize)->enabled);
  EXPECT_TRUE(host.FindItem(items.details)->enabled);
}

TEST_F(PluginTest, HostErrorInAMenuUpdateReachesTheHost) {
  ASSERT_EQ(Startup(), 0);
  host.Fail("DisableItem", 7, 1);
  EXPECT_EQ(SendMenu(ai::kSelectorUpdate, plugin()->MenuItems().adjustSize), 7);
}

// The answer text of a job Veloxa could send: an empty job.
std::u16string EmptyJobText() {
  BJobFile job;
  std::ostringstream bytes;
  job.WriteJob(bytes, eJobFileContent_Full);
  const std::string payload = bytes.str();
  const ustring hex = hex_encode(payload.data(), payload.size());
  return std::u16string(hex.begin(), hex.end());
}

// Two bytes are no job: the handling ends with the routing's ERROR record,
// and the answer, taken out first, is not handled again.
TEST_F(PluginTest, TickTakesThePendingAnswerOnce) {
  ASSERT_EQ(Startup(), 0);
  ASSERT_EQ(Answer(23293, u"0A1b"), 1);
  {
    vxtest::CapturedLog log;
    EXPECT_EQ(Tick(), 0);
    EXPECT_TRUE(log.contains("[ERROR]")) << log.text();
    EXPECT_TRUE(
        log.contains("[menuHandler_win32:`anonymous-namespace'::HandleReceivedEvent:76] UKeyInStream: "))
        << log.text();
    EXPECT_FALSE(plugin()->Pending().HasReply());
  }
  vxtest::CapturedLog log;
  EXPECT_EQ(Tick(), 0);
  EXPECT_FALSE(log.contains("HandleReceivedEvent")) << log.text();
}

TEST_F(PluginTest, TwoAnswersBeforeOneTickKeepOnlyTheSecond) {
  ASSERT_EQ(Startup(), 0);
  ASSERT_EQ(Answer(23262, u"0102"), 1);
  ASSERT_EQ(Answer(59655, EmptyJobText()), 1);
  vxtest::CapturedLog log;
  EXPECT_EQ(Tick(), 0);
  // The export answer, with no document open; the first answer, no job at
  // all, would have ended in an ERROR record.
  EXPECT_TRUE(log.contains("[VXIllustrator:HandleExportReply:1389] WARNING LOST MY REPLY, NO DOC OPEN!\n"))
      << log.text();
  EXPECT_FALSE(log.contains("[ERROR]")) << log.text();
}

TEST_F(PluginTest, ShutdownDropsTheWaitingAnswer) {
  ASSERT_EQ(Startup(), 0);
  ASSERT_EQ(Answer(23293, u"0A1b"), 1);
  ASSERT_EQ(Send(ai::kCallerInterface, ai::kSelectorShutdown), 0);
  ASSERT_EQ(Startup(), 0);
  EXPECT_FALSE(plugin()->Pending().HasReply());
}

}  // namespace
