// vxhost's script: parsing, and running it against a plug-in written in the
// test, "loaded" by a fake loader, over an in-memory window system whose
// clock the host's clock follows.
#include "HostRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeWindowSystem.h"
#include "HostScript.h"
#include "TestPlugin.h"

namespace {

using vxsim::ScriptCommand;
using vxsim_test::FakeLoader;
using vxsim_test::FakeWindowSystem;
using vxsim_test::TestPlugin;

TEST(HostScriptTest, CommandsAndTheirArguments) {
  const std::string script =
      "\xEF\xBB\xBF# a comment\n"
      "\n"
      "  fail AcquireSuite:AI Menu Suite S!Fd  \r\n"
      "fail AddTimer -7\n"
      "fail PlayActionEvent:adobe_makeGuide 'DOC '\n"
      "menu Job Details / Export...\n"
      "new 612.28 858.89\n"
      "new 10 20 /tmp/My Document.ai\n"
      "run 0.5\n"
      "wait-answer 3\n"
      "ticks off\n"
      "ticks on\n"
      "tick\n"
      "\tminimise\n"
      "front\n"
      "hang\n"
      "unload\n"
      "reload\n"
      "close\n"
      "quit\n";
  std::vector<ScriptCommand> commands;
  vxsim::ScriptError error;
  ASSERT_TRUE(vxsim::parse_script(script, &commands, &error)) << error.line << ": " << error.message;
  ASSERT_EQ(commands.size(), 18u);
  EXPECT_EQ(commands[0].kind, ScriptCommand::eKind_Fail);
  EXPECT_EQ(commands[0].line, 3);
  EXPECT_EQ(commands[0].argument, "AcquireSuite:AI Menu Suite");
  EXPECT_EQ(commands[0].code, ai::kSuiteNotFoundErr);
  EXPECT_EQ(commands[0].text, "fail AcquireSuite:AI Menu Suite S!Fd");
  EXPECT_EQ(commands[1].code, -7);
  EXPECT_EQ(commands[2].argument, "PlayActionEvent:adobe_makeGuide");
  EXPECT_EQ(commands[2].code, ai::FourCC("DOC "));
  EXPECT_EQ(commands[3].kind, ScriptCommand::eKind_Menu);
  EXPECT_EQ(commands[3].argument, "Job Details / Export...");
  EXPECT_EQ(commands[4].width, 612.28);
  EXPECT_EQ(commands[4].height, 858.89);
  EXPECT_FALSE(commands[4].path.has_value());
  EXPECT_EQ(commands[5].path.value_or(""), "/tmp/My Document.ai");
  EXPECT_EQ(commands[6].seconds, 0.5);
  EXPECT_EQ(commands[7].kind, ScriptCommand::eKind_WaitAnswer);
  const ScriptCommand::Kind rest[] = {
      ScriptCommand::eKind_TicksOff, ScriptCommand::eKind_TicksOn, ScriptCommand::eKind_Tick,
      ScriptCommand::eKind_Minimise, ScriptCommand::eKind_Front,   ScriptCommand::eKind_Hang,
      ScriptCommand::eKind_Unload,   ScriptCommand::eKind_Reload,  ScriptCommand::eKind_Close,
      ScriptCommand::eKind_Quit,
  };
  for (std::size_t i = 0; i < std::size(rest); ++i) EXPECT_EQ(commands[8 + i].kind, rest[i]) << i;
}

const char kRectUsage[] =
    "rect needs X Y WIDTH HEIGHT in points (WIDTH and HEIGHT above 0, none beyond 100000) and an optional "
    "GREY";

TEST(HostScriptTest, RectAndPreviewTakeTheirArguments) {
  std::vector<ScriptCommand> commands;
  vxsim::ScriptError error;
  ASSERT_TRUE(
      vxsim::parse_script("rect 28.35 -5 538.58 785.2\nrect 0 0 1 1 0\nrect 1 2 3 4 1\n"
                          "preview  out/my page.pdf \n",
                          &commands, &error))
      << error.message;
  ASSERT_EQ(commands.size(), 4u);
  EXPECT_EQ(commands[0].kind, ScriptCommand::eKind_Rect);
  EXPECT_EQ(commands[0].x, 28.35);
  EXPECT_EQ(commands[0].y, -5);
  EXPECT_EQ(commands[0].width, 538.58);
  EXPECT_EQ(commands[0].height, 785.2);
  EXPECT_EQ(commands[0].grey, vxsim::kDefaultRectGrey);
  EXPECT_EQ(commands[1].grey, 0);
  EXPECT_EQ(commands[2].grey, 1);
  EXPECT_EQ(commands[3].kind, ScriptCommand::eKind_Preview);
  EXPECT_EQ(commands[3].path.value_or(""), "out/my page.pdf");
}

TEST(HostScriptTest, FaultyLinesAreNamedWithTheirNumber) {
  const struct {
    const char* line;
    const char* message;
  } cases[] = {
      {"frobnicate", "unknown command \"frobnicate\""},
      {"Menu Hello", "unknown command \"Menu\""},
      {"menu", "menu needs the item's text"},
      {"new 100", "new needs a width and a height in points, both above 0"},
      {"new 0 100", "new needs a width and a height in points, both above 0"},
      {"new 100 -5", "new needs a width and a height in points, both above 0"},
      {"new 1e999 5", "new needs a width and a height in points, both above 0"},
      {"new 10x 5", "new needs a width and a height in points, both above 0"},
      {"run", "run needs a number of seconds from 0 to 3600"},
      {"run -1", "run needs a number of seconds from 0 to 3600"},
      {"run 1 2", "run needs a number of seconds from 0 to 3600"},
      {"wait-answer 3601", "wait-answer needs a number of seconds from 0 to 3600"},
      {"wait-answer nan", "wait-answer needs a number of seconds from 0 to 3600"},
      {"ticks", "ticks needs on or off"},
      {"ticks maybe", "ticks needs on or off"},
      {"close now", "close takes no arguments"},
      {"quit 0", "quit takes no arguments"},
      {"fail AddMenuItem", "fail needs an operation and a code"},
      {"fail", "fail needs an operation and a code"},
      {"fail AddMenuItems 5", "unknown host operation \"AddMenuItems\""},
      {"fail AcquireSuite:AI Layer Suite 5", "unknown host operation \"AcquireSuite:AI Layer Suite\""},
      {"fail AddTimer PARMS", "bad code \"PARMS\": a decimal number or four characters"},
      {"fail AddTimer 99999999999", "bad code \"99999999999\": a decimal number or four characters"},
      {"rect 1 2 3", kRectUsage},
      {"rect 1 2 3 4 0.5 6", kRectUsage},
      {"rect 1 2 0 4", kRectUsage},
      {"rect 1 2 3 -4", kRectUsage},
      {"rect x 2 3 4", kRectUsage},
      {"rect 1 nan 3 4", kRectUsage},
      {"rect 100001 2 3 4", kRectUsage},
      {"rect 1 2 3 4 1.5", "rect: GREY must be a number from 0 (black) to 1 (white)"},
      {"rect 1 2 3 4 -0.1", "rect: GREY must be a number from 0 (black) to 1 (white)"},
      {"rect 1 2 3 4 grey", "rect: GREY must be a number from 0 (black) to 1 (white)"},
      {"preview", "preview needs the path of the PDF to write"},
  };
  for (const auto& c : cases) {
    std::vector<ScriptCommand> commands;
    vxsim::ScriptError error;
    const std::string script = std::string("# header\nrun 1\n") + c.line + "\nrun 1\n";
    ASSERT_FALSE(vxsim::parse_script(script, &commands, &error)) << c.line;
    EXPECT_EQ(error.line, 3) << c.line;
    EXPECT_EQ(error.message, c.message) << c.line;
  }
}

TEST(HostScriptTest, ErrorCodesAreDecimalOrFourCharacters) {
  const struct {
    const char* text;
    bool ok;
    ai::Err code;
  } cases[] = {
      {"0", true, 0},
      {"-1", true, -1},
      {"1234", true, 1234},
      {"'1234'", true, ai::FourCC("1234")},
      {"S!Fd", true, ai::kSuiteNotFoundErr},
      {"'S!Fd'", true, ai::kSuiteNotFoundErr},
      {"2147483647", true, 2147483647},
      {"2147483648", false, 0},
      {"ABC", false, 0},
      {"'ABC'", false, 0},
      {"", false, 0},
  };
  for (const auto& c : cases) {
    ai::Err code = 12345;
    EXPECT_EQ(vxsim::parse_error_code(c.text, &code), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(code, c.code) << c.text;
    }
  }
}

// A script run: the fakes, the host and a plug-in with a 60-tick timer, a
// reply window, an item "Hello" and an item "Adjust" that is enabled only
// with a document open.
struct Rig {
  Rig() {
    options.plugin_path = "plugins/test.so";
    options.clock = [this] { return windows.now_ms() / 1000; };
    plugin.on(ai::kCallerInterface, ai::kSelectorStartup, [this](void*) { return startup(); });
    plugin.on(ai::kCallerMenu, ai::kSelectorUpdate, [this](void* m) {
      auto* item = static_cast<ai::MenuMessage*>(m)->menuItem;
      const auto* menus = plugin.suite<ai::MenuSuite>(ai::kMenuSuite, ai::kMenuSuiteVersion);
      return host.current_document() ? menus->EnableItem(item) : menus->DisableItem(item);
    });
    plugin.on(ai::kCallerAccess, ai::kSelectorUnload, [this](void*) {
      windows.destroy_window(reply);
      windows.unregister_class("VXTestReply");
      reply = 0;
      return ai::kNoErr;
    });
    plugin.on(ai::kCallerAccess, ai::kSelectorReload, [this](void*) {
      make_reply_window();
      return ai::kNoErr;
    });
    plugin.on(ai::kCallerInterface, ai::kSelectorShutdown, [this](void*) {
      windows.destroy_window(reply);
      windows.unregister_class("VXTestReply");
      reply = 0;
      return ai::kNoErr;
    });
  }

  ai::Err startup() {
    const auto* menus = plugin.suite<ai::MenuSuite>(ai::kMenuSuite, ai::kMenuSuiteVersion);
    if (menus == nullptr) return ai::FourCC("!IMP");
    const auto* strings =
        plugin.suite<ai::UnicodeStringSuite>(ai::kUnicodeStringSuite, ai::kUnicodeStringSuiteVersion);
    const auto* timers = plugin.suite<ai::TimerSuite>(ai::kTimerSuite, ai::kTimerSuiteVersion);
    ai::UnicodeStringRef text = nullptr;
    ai::MenuItemHandle item = nullptr;
    strings->NewFromUTF8("Hello", 5, &text);
    menus->AddMenuItem(plugin.ref, "K", "Place Document", text, 0, &item);
    strings->NewFromUTF8("Adjust", 6, &text);
    menus->AddMenuItem(plugin.ref, "K", "Place Document", text, ai::kMenuItemWantsUpdate, &item);
    ai::TimerHandle timer = nullptr;
    timers->AddTimer(plugin.ref, "VeloxaTimer", 60, &timer);
    if (hold_access) {
      const auto* access = plugin.suite<ai::AccessSuite>(ai::kAccessSuite, ai::kAccessSuiteVersion);
      ai::AccessRef ref = nullptr;
      access->AcquirePlugin(plugin.ref, &ref);
    }
    make_reply_window();
    return ai::kNoErr;
  }

  void make_reply_window() {
    windows.register_class(
        "VXTestReply",
        [](vxp::WindowHandle, std::uint32_t message, std::uint64_t, std::int64_t) -> std::int64_t {
          return message == vxp::kMessage_CopyData ? 1 : 0;
        });
    reply = windows.create_window("VXTestReply", "VXTestReply", false);
  }

  std::optional<vxsim::RunError> run(const std::string& text) {
    std::vector<ScriptCommand> script;
    vxsim::ScriptError error;
    EXPECT_TRUE(vxsim::parse_script(text, &script, &error)) << error.message;
    vxsim::HostRunner runner(host, options);
    std::string why;
    EXPECT_TRUE(runner.load(&why)) << why;
    EXPECT_TRUE(host.open_main_window(&why)) << why;
    return runner.run(script);
  }

  // The messages the plug-in received, as "caller/selector".
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (const vxsim::MessageRecord& m : host.messages()) out.push_back(m.caller + "/" + m.selector);
    return out;
  }

  FakeWindowSystem windows;
  vxp::ScopedService<vxp::WindowSystem> installed_windows{windows};
  FakeLoader loader;
  vxp::ScopedService<vxp::ProcessService> installed_loader{loader};
  vxsim::HostModel host;
  TestPlugin plugin;
  vxsim::RunnerOptions options;
  vxp::WindowHandle reply = 0;
  bool hold_access = false;
};

class RunnerTest : public ::testing::Test {
 protected:
  Rig rig;
};

TEST_F(RunnerTest, FailLinesBeforeTheFirstCommandReachStartUp) {
  const auto failure =
      rig.run("# the host refuses the menu suite\nfail AcquireSuite:AI Menu Suite S!Fd\nmenu Hello\n");
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->line, 3);
  EXPECT_EQ(failure->command, "menu Hello");
  EXPECT_EQ(failure->message,
            "the plug-in's start-up failed with code " + vxsim::describe_code(ai::FourCC("!IMP")));
  EXPECT_NE(failure->message.find("('!IMP')"), std::string::npos);
  // A plug-in that did not start hears nothing more.
  EXPECT_EQ(rig.messages(), std::vector<std::string>{"SP Interface/Startup"});
  EXPECT_EQ(rig.host.suite_events().front().result, ai::kSuiteNotFoundErr);
  EXPECT_EQ(rig.loader.paths.size(), 1u);
  EXPECT_EQ(rig.loader.paths[0].front(), '/');  // made absolute
  EXPECT_NE(rig.loader.paths[0].find("/plugins/test.so"), std::string::npos);
}

TEST_F(RunnerTest, AScriptOfFailLinesOnlyStillStartsAndShutsDown) {
  const auto failure = rig.run("fail AddTimer 5\n");
  EXPECT_FALSE(failure.has_value());
  EXPECT_TRUE(rig.host.timers().empty());
  EXPECT_EQ(rig.messages(),
            (std::vector<std::string>{"SP Interface/Startup", "AI Menu/AI Update", "SP Interface/Shutdown"}));
}

TEST_F(RunnerTest, AFailingCommandShutsThePluginDownAfterUpdatingTheMenu) {
  const auto failure = rig.run("menu Hello\nmenu Adjust\nmenu Hello\n");
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->line, 2);
  EXPECT_EQ(failure->message, "menu item \"Adjust\": the item is disabled");
  EXPECT_EQ(rig.messages(),
            (std::vector<std::string>{"SP Interface/Startup", "AI Menu/AI Update", "AI Menu/AI Go",
                                      "AI Menu/AI Update", "AI Menu/AI Update", "SP Interface/Shutdown"}));
  EXPECT_EQ(rig.host.find_item("Hello")->picks, 1u);
}

TEST(HostRunnerTest, CommandFailuresNameTheReason) {
  const struct {
    const char* script;
    int line;
    const char* message;
  } cases[] = {
      {"menu Goodbye\n", 1, "no menu item \"Goodbye\""},
      {"new 10 10\nclose\nclose\n", 3, "no document is open"},
      {"reload\n", 1, "the plug-in is not unloaded"},
      {"unload\nunload\n", 2, "the plug-in is unloaded already"},
      {"unload\nmenu Hello\n", 2, "menu item \"Hello\": the plug-in is unloaded"},
      {"ticks off\nwait-answer 2\n", 2, "no answer was taken by a timer tick within 2 seconds"},
      {"rect 1 1 2 2\n", 1, "no document is open"},
      {"preview /tmp/p.pdf\n", 1, "no document is open"},
      {"new 10 10\npreview /nonexistent-vxhost-folder/p.pdf\n", 2,
       "preview: cannot create a file beside /nonexistent-vxhost-folder/p.pdf"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    Rig rig;
    const auto failure = rig.run(c.script);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->line, c.line);
    EXPECT_EQ(failure->message, c.message);
    EXPECT_FALSE(rig.host.started());
    EXPECT_EQ(rig.messages().back(), "SP Interface/Shutdown");
  }
}

TEST_F(RunnerTest, RectPlacesAFilledClosedPathOfFourCornersOnTheCurrentDocument) {
  EXPECT_FALSE(rig.run("new 100 100\nrect 10 20 30 40 0.25\n").has_value());
  const ai::DocumentData* doc = rig.host.documents().front();
  ASSERT_EQ(doc->art.size(), 1u);
  const ai::ArtData& art = *doc->art.front();
  EXPECT_EQ(art.type, ai::kArtType_Path);
  EXPECT_TRUE(art.closed);
  EXPECT_FALSE(art.guide);
  std::vector<std::pair<double, double>> corners;
  for (const ai::PathSegment& s : art.segments) {
    EXPECT_TRUE(s.corner);
    EXPECT_EQ(s.in.h, s.p.h);
    EXPECT_EQ(s.out.v, s.p.v);
    corners.emplace_back(s.p.h, s.p.v);
  }
  EXPECT_EQ(corners, (std::vector<std::pair<double, double>>{{10, 20}, {40, 20}, {40, 60}, {10, 60}}));
  EXPECT_EQ(art.paint.fill, 0.25);
  EXPECT_FALSE(art.paint.stroke.has_value());
}

TEST_F(RunnerTest, RunAdvancesTheHostClockAndFastRunsItSixtyTimesFaster) {
  EXPECT_FALSE(rig.run("run 2.5\n").has_value());
  EXPECT_EQ(rig.host.timers().front()->fired, 2u);
  EXPECT_EQ(rig.host.host_ticks(), 150u);
}

TEST_F(RunnerTest, FastClockFiresSixtyTimesASecond) {
  rig.options.fast = true;
  EXPECT_FALSE(rig.run("run 1\nticks off\nrun 1\nticks on\nrun 0.5\n").has_value());
  EXPECT_EQ(rig.host.timers().front()->fired, 90u);
}

TEST_F(RunnerTest, WaitAnswerEndsWhenATickTakesTheAnswer) {
  // The answer arrives after 1.5 s; the tick at 2 s takes it.
  rig.plugin.on(ai::kCallerInterface, ai::kSelectorStartup, [this](void*) {
    const ai::Err result = rig.startup();
    rig.windows.send_from_other_process(rig.reply, 23293, "0A1B", 1500);
    return result;
  });
  EXPECT_FALSE(rig.run("wait-answer 5\n").has_value());
  EXPECT_EQ(rig.windows.now_ms(), 2000);
  ASSERT_EQ(rig.host.answers().size(), 1u);
  EXPECT_TRUE(rig.host.answers()[0].taken);
}

TEST_F(RunnerTest, HeldTicksLeaveTheAnswerParkedUntilOneTick) {
  rig.plugin.on(ai::kCallerInterface, ai::kSelectorStartup, [this](void*) {
    const ai::Err result = rig.startup();
    rig.windows.send_from_other_process(rig.reply, 23293, "0A1B", 100);
    return result;
  });
  const auto failure = rig.run("ticks off\nrun 3\ntick\nwait-answer 0\nwait-answer 0.5\n");
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->line, 5);  // the answer was taken by `tick`; none came after it
  ASSERT_EQ(rig.host.answers().size(), 1u);
  EXPECT_TRUE(rig.host.answers()[0].taken);
  EXPECT_EQ(rig.host.timers().front()->fired, 1u);
}

TEST_F(RunnerTest, UnloadDropsTheModuleUnlessThePluginHoldsAccess) {
  EXPECT_FALSE(rig.run("unload\nrun 2\nreload\nmenu Hello\n").has_value());
  EXPECT_EQ(rig.loader.loads, 2);
  EXPECT_EQ(rig.host.timers().front()->fired, 0u);  // no ticks while unloaded
  EXPECT_EQ(rig.messages(),
            (std::vector<std::string>{"SP Interface/Startup", "SP Access/Unload", "SP Access/Reload",
                                      "AI Menu/AI Update", "AI Menu/AI Go", "AI Menu/AI Update",
                                      "SP Interface/Shutdown"}));
}

TEST_F(RunnerTest, APluginHoldingAccessStaysLoadedAndIsReloadedBeforeShutdown) {
  rig.hold_access = true;
  EXPECT_FALSE(rig.run("unload\n").has_value());
  EXPECT_EQ(rig.loader.loads, 1);
  EXPECT_EQ(rig.messages(),
            (std::vector<std::string>{"SP Interface/Startup", "SP Access/Unload", "SP Access/Reload",
                                      "AI Menu/AI Update", "SP Interface/Shutdown"}));
}

TEST_F(RunnerTest, AnUnloadedModuleIsLoadedAgainForShutdown) {
  EXPECT_FALSE(rig.run("unload\nquit\nmenu Never\n").has_value());
  EXPECT_EQ(rig.loader.loads, 2);
  EXPECT_EQ(rig.messages(),
            (std::vector<std::string>{"SP Interface/Startup", "SP Access/Unload", "SP Access/Reload",
                                      "AI Menu/AI Update", "SP Interface/Shutdown"}));
}

TEST_F(RunnerTest, WindowCommandsReachTheMainWindow) {
  EXPECT_FALSE(rig.run("new 10 10 /tmp/x.ai\nmenu Adjust\nminimise\nhang\n").has_value());
  EXPECT_TRUE(rig.windows.is_minimised(rig.host.main_window()));
  EXPECT_TRUE(rig.windows.is_hung(rig.host.main_window()));
  EXPECT_EQ(rig.host.find_item("Adjust")->picks, 1u);
  EXPECT_EQ(rig.host.documents().size(), 1u);
}

TEST(HostRunnerLoadTest, AModuleThatCannotBeLoadedOrHasNoEntryIsReported) {
  FakeLoader loader;
  vxp::ScopedService<vxp::ProcessService> installed(loader);
  vxsim::HostModel host;
  vxsim::RunnerOptions options;
  options.plugin_path = "/no/such/plugin.so";
  loader.load_error = "No such file or directory";
  vxsim::HostRunner runner(host, options);
  std::string why;
  EXPECT_FALSE(runner.load(&why));
  EXPECT_EQ(why, "cannot load the plug-in /no/such/plugin.so: No such file or directory");
  EXPECT_FALSE(host.attached());
}

}  // namespace
