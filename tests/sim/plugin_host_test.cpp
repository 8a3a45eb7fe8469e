// The plug-in core in-process against the simulated host's model (the host
// vxhost is made of) and the real window system: the frame cases that a
// script of vxhost cannot reach, such as a second start-up in one process.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "CSBoilerPlate/menuHandler_win32.h"
#include "DeskScenario.h"
#include "HostModel.h"
#include "PluginMain.h"
#include "VXIllustrator.h"
#include "platform/WindowSystem.h"

namespace vxdesktest {
namespace {

namespace fs = std::filesystem;

// The host model with the plug-in core attached and the host's main window
// open, in the scenario's private runtime folder.
class PluginHostTest : public DeskScenario {
 protected:
  void SetUp() override {
    DeskScenario::SetUp();
    ForgetVXIllustratorInit();
    host_model_.attach(&PluginMain);
    std::string error;
    ASSERT_TRUE(host_model_.open_main_window(&error)) << error;
  }
  void TearDown() override {
    if (host_model_.started()) host_model_.shutdown();
    host_model_.close_main_window();
    DestroyReplyWindow();
    ForgetVXIllustratorInit();
    DeskScenario::TearDown();
  }

  std::uint64_t Acquired(const std::string& suite) const {
    std::uint64_t n = 0;
    for (const vxsim::SuiteEvent& event : host_model_.suite_events())
      if (event.acquire && event.name == suite && event.result == 0) ++n;
    return n;
  }

  vxsim::HostModel host_model_;
};

TEST_F(PluginHostTest, SecondStartupSkipsTheInitialisationButAddsTheMenuAgain) {
  ASSERT_EQ(host_model_.startup(), 0);
  ASSERT_EQ(host_model_.shutdown(), 0);
  EXPECT_EQ(ReplyWindow(), 0u);

  ASSERT_EQ(host_model_.startup(), 0);
  // The timer of the first start-up goes on; no second one is added.
  EXPECT_EQ(Acquired("AI Timer Suite"), 1u);
  ASSERT_EQ(host_model_.timers().size(), 1u);
  EXPECT_TRUE(host_model_.timers()[0]->active);
  // The whole menu again, and the new object answers its own items.
  std::vector<std::string> texts;
  for (const auto& item : host_model_.menu_items()) texts.push_back(item->text);
  const std::vector<std::string> once = {"",
                                         "Veloxa",
                                         "About Veloxa...",
                                         "Show Job List Window",
                                         "",
                                         "Job Details / Export...",
                                         "AdjustSize..."};
  std::vector<std::string> twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(texts, twice);
  EXPECT_NE(ReplyWindow(), 0u);
  const ai::MenuItemData* about = host_model_.menu_items()[9].get();
  std::string why;
  ai::Err result = -1;
  EXPECT_TRUE(host_model_.pick(const_cast<ai::MenuItemData*>(about), &why, &result)) << why;
  EXPECT_EQ(result, 0);
  EXPECT_EQ(about->picks, 1u);
}

// The reply window is made during the initialisation, before the menu: a
// start-up that fails at the menu must not leave it listening in R.
TEST_F(PluginHostTest, StartupThatFailsAtTheMenuLeavesNoWindowBehind) {
  host_model_.fail("AddMenuGroupAsSubMenu", 9);
  ASSERT_EQ(host_model_.startup(), 9);
  EXPECT_EQ(ReplyWindow(), 0u);
  EXPECT_FALSE(vxp::WindowSystem::Default().is_class_registered(kReplyWindowClass));
  std::vector<std::string> sockets;
  for (const auto& entry : fs::directory_iterator(InRuntime("hwnd")))
    sockets.push_back(entry.path().filename());
  std::sort(sockets.begin(), sockets.end());
  std::vector<std::string> expected = {std::to_string(window_), std::to_string(host_model_.main_window())};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(sockets, expected);
  EXPECT_FALSE(host_model_.holds_access());
}

}  // namespace
}  // namespace vxdesktest
