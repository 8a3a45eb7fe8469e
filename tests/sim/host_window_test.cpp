// The host's main window, the answers other processes send to plug-in
// windows, and what became of each bring-to-front request - over an
// in-memory window system.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FakeWindowSystem.h"
#include "HostModel.h"
#include "TestPlugin.h"

namespace {

using vxsim::HostModel;
using vxsim_test::FakeWindowSystem;
using vxsim_test::TestPlugin;

constexpr const char* kReplyClass = "VXTestReply";

// What a plug-in does for a bring-to-front request: find the host's main
// window and restore it, leave it, or make it the foreground window.
void bring_host_to_front() {
  vxp::WindowSystem& windows = vxp::WindowSystem::Default();
  vxp::WindowHandle host = windows.find_window(vxsim::kMainWindowClass);
  if (host == 0) return;
  if (vxp::WindowHandle popup = windows.enabled_popup(host)) host = popup;
  if (!windows.is_window(host) || windows.is_hung(host)) return;
  if (windows.is_minimised(host)) {
    windows.post_message(host, vxp::kMessage_SysCommand, vxp::kSysCommand_Restore, 0);
    return;
  }
  if (windows.foreground_window() == host) return;
  windows.bring_to_top(host);
  windows.set_foreground(host);
}

// The test plug-in's reply window: answers with a job are parked (result 1),
// unknown codes refused (0).
std::int64_t reply_procedure(vxp::WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                             std::int64_t lparam) {
  if (message != vxp::kMessage_CopyData) {
    return vxp::WindowSystem::Default().default_procedure(window, message, wparam, lparam);
  }
  const auto* data = reinterpret_cast<const vxp::CopyData*>(static_cast<std::intptr_t>(lparam));
  switch (data->code) {
    case 23262:
    case 23293:
    case 59655:
      return 1;
    case vxsim::kBringToFrontCode:
      bring_host_to_front();
      return 1;
    default:
      return 0;
  }
}

// The window system, the host with its main window open, and the plug-in's
// reply window.
struct Desktop {
  Desktop() {
    std::string error;
    EXPECT_TRUE(host.open_main_window(&error)) << error;
    windows.register_class(kReplyClass, reply_procedure);
    reply = windows.create_window(kReplyClass, kReplyClass, false);
  }
  ~Desktop() { windows.destroy_window(reply); }

  FakeWindowSystem windows;
  vxp::ScopedService<vxp::WindowSystem> installed{windows};
  HostModel host;
  vxp::WindowHandle reply = 0;
};

TEST(HostWindowTest, MainWindowIsAVisibleNormalIllustratorWindowBehindAnother) {
  Desktop desk;
  const vxp::WindowHandle main = desk.host.main_window();
  ASSERT_NE(main, 0u);
  EXPECT_EQ(desk.windows.find_window("illustrator"), main);
  EXPECT_TRUE(desk.windows.visible(main));
  EXPECT_FALSE(desk.windows.is_minimised(main));
  EXPECT_FALSE(desk.windows.is_hung(main));
  EXPECT_NE(desk.windows.foreground_window(), main);

  desk.host.close_main_window();
  EXPECT_FALSE(desk.windows.is_window(main));
  EXPECT_FALSE(desk.windows.is_class_registered("illustrator"));
}

TEST(HostWindowTest, ARestoreCommandUnminimisesTheMainWindow) {
  Desktop desk;
  const vxp::WindowHandle main = desk.host.main_window();
  desk.windows.set_minimised(main, true);
  // The low four bits of a system command are the system's own.
  desk.windows.post_message(main, vxp::kMessage_SysCommand, vxp::kSysCommand_Restore | 2, 0);
  desk.windows.post_message(main, vxp::kMessage_SysCommand, 0xF020, 0);  // minimise: not a restore
  desk.windows.pump_messages(0);
  EXPECT_FALSE(desk.windows.is_minimised(main));
  EXPECT_EQ(desk.host.restore_commands(), 1u);
}

TEST(HostWindowTest, AnswersParkUntilATimerTickReachesThePlugin) {
  Desktop desk;
  TestPlugin plugin;
  desk.host.attach(&TestPlugin::Main);
  plugin.on(ai::kCallerInterface, ai::kSelectorStartup, [&](void*) {
    const auto* timers = plugin.suite<ai::TimerSuite>(ai::kTimerSuite, ai::kTimerSuiteVersion);
    ai::TimerHandle t = nullptr;
    return timers->AddTimer(plugin.ref, "VeloxaTimer", 60, &t);
  });
  ASSERT_EQ(desk.host.startup(), ai::kNoErr);

  // Two answers before a tick: the later one is the one the tick takes.
  desk.windows.deliver_now(desk.reply, 23293, std::string(8, '0'));
  desk.windows.deliver_now(desk.reply, 59655, std::string(12, '1'));
  EXPECT_FALSE(desk.host.answer_taken_since(0));
  desk.host.tick_now();
  // Refused codes, bring-to-front requests and messages to the host's own
  // window are not answers to take.
  desk.windows.deliver_now(desk.reply, 12345, "x");
  desk.windows.deliver_now(desk.reply, vxsim::kBringToFrontCode, "");
  desk.windows.deliver_now(desk.host.main_window(), 23293, "00");
  desk.host.advance_ticks(60);

  const auto& answers = desk.host.answers();
  ASSERT_EQ(answers.size(), 4u);
  const struct {
    std::uint64_t code;
    std::uint32_t size;
    std::int64_t result;
    bool taken;
  } expected[] = {{23293, 8, 1, false}, {59655, 12, 1, true}, {12345, 1, 0, false}, {42609, 0, 1, false}};
  for (std::size_t i = 0; i < answers.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(answers[i].code, expected[i].code);
    EXPECT_EQ(answers[i].size, expected[i].size);
    EXPECT_EQ(answers[i].result, expected[i].result);
    EXPECT_EQ(answers[i].taken, expected[i].taken);
  }
  EXPECT_TRUE(desk.host.answer_taken_since(0));
  EXPECT_FALSE(desk.host.answer_taken_since(2));
}

TEST(HostWindowTest, BringToFrontOutcomeFollowsWhatTheHostSaw) {
  struct Case {
    const char* name;
    bool hung;
    bool minimised;
    bool in_front;
    bool focus_refused;
    vxsim::FrontOutcome expected;
  } cases[] = {
      {"behind another window", false, false, false, false, vxsim::eFront_Activated},
      {"already in front", false, false, true, false, vxsim::eFront_AlreadyFront},
      {"minimised", false, true, false, false, vxsim::eFront_Restored},
      {"minimised while in front", false, true, true, false, vxsim::eFront_Restored},
      {"hung", true, false, false, false, vxsim::eFront_Hung},
      {"hung and minimised", true, true, false, false, vxsim::eFront_Hung},
      {"focus refused", false, false, false, true, vxsim::eFront_None},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Desktop desk;
    const vxp::WindowHandle main = desk.host.main_window();
    desk.windows.set_hung(main, c.hung);
    desk.windows.set_minimised(main, c.minimised);
    if (c.in_front) desk.windows.set_foreground(main);
    desk.windows.allow_set_foreground = !c.focus_refused;
    desk.host.note_front_state();

    EXPECT_EQ(desk.windows.deliver_now(desk.reply, vxsim::kBringToFrontCode, ""), 1);
    desk.windows.pump_messages(0);  // a posted restore reaches the main window
    EXPECT_EQ(desk.host.front(), std::vector<vxsim::FrontOutcome>{c.expected});
    EXPECT_EQ(desk.windows.is_minimised(main), c.minimised && c.hung);
  }
}

TEST(HostWindowTest, EachRestoreCommandGoesToTheRequestThatFoundTheWindowMinimised) {
  Desktop desk;
  const vxp::WindowHandle main = desk.host.main_window();
  desk.windows.allow_set_foreground = false;
  desk.windows.deliver_now(desk.reply, vxsim::kBringToFrontCode, "");  // behind, focus refused
  desk.windows.set_minimised(main, true);
  desk.windows.deliver_now(desk.reply, vxsim::kBringToFrontCode, "");  // minimised: posts a restore
  desk.windows.pump_messages(0);
  desk.windows.allow_set_foreground = true;
  desk.windows.deliver_now(desk.reply, vxsim::kBringToFrontCode, "");  // restored, behind: activates
  desk.windows.deliver_now(desk.reply, vxsim::kBringToFrontCode, "");  // now in front
  EXPECT_EQ(desk.host.front(),
            (std::vector<vxsim::FrontOutcome>{vxsim::eFront_None, vxsim::eFront_Restored,
                                              vxsim::eFront_Activated, vxsim::eFront_AlreadyFront}));
}

}  // namespace
