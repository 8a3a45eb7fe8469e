// The plug-in as a host sees it, in-process: a fake host, the OS doubles and
// the host's globals slot, with helpers that send messages through
// PluginMain. Each test starts from a process that never started the
// plug-in and leaves nothing of it behind.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "AIHost.h"
#include "CSBoilerPlate/menuHandler_win32.h"
#include "PluginMain.h"
#include "VXIllustrator.h"
#include "VXIllustratorPlugin.h"
#include "fake_host.h"
#include "fake_services.h"

namespace vxtest {

class PluginTest : public testing::Test {
 protected:
  void SetUp() override { ForgetVXIllustratorInit(); }

  void TearDown() override {
    if (globals != nullptr) Send(ai::kCallerInterface, ai::kSelectorShutdown);
    DestroyReplyWindow();
    ForgetVXIllustratorInit();
  }

  ai::Err Send(const char* caller, const char* selector) {
    ai::PluginMessageData message = host.Header(globals);
    const ai::Err result = PluginMain(caller, selector, &message);
    globals = message.globals;
    return result;
  }
  ai::Err Startup() { return Send(ai::kCallerInterface, ai::kSelectorStartup); }

  ai::Err SendMenu(const char* selector, ai::MenuItemHandle item) {
    ai::MenuMessage message{host.Header(globals), item};
    const ai::Err result = PluginMain(ai::kCallerMenu, selector, &message);
    globals = message.d.globals;
    return result;
  }
  ai::Err Tick() {
    ai::TimerMessage message{host.Header(globals), plugin() != nullptr ? plugin()->Timer() : nullptr};
    const ai::Err result = PluginMain(ai::kCallerTimer, ai::kSelectorGo, &message);
    globals = message.d.globals;
    return result;
  }

  VXIllustratorPlugin* plugin() { return static_cast<VXIllustratorPlugin*>(globals); }

  // Sends an answer to the reply window as Veloxa would: UTF-16LE text.
  std::int64_t Answer(std::uint64_t code, const std::u16string& text) {
    std::string bytes;
    for (char16_t c : text) {
      bytes.push_back(static_cast<char>(c & 0xFF));
      bytes.push_back(static_cast<char>(c >> 8));
    }
    vxp::CopyData data{code, static_cast<std::uint32_t>(bytes.size()), bytes.data()};
    return ReplyWindowProcedure(ReplyWindow(), vxp::kMessage_CopyData, 0,
                                reinterpret_cast<std::int64_t>(&data));
  }

  FakeServices services;
  FakeHost host;
  void* globals = nullptr;
};

}  // namespace vxtest
