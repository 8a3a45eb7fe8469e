// The reply window: decoding Veloxa's answers, the window procedure's
// results, and raising the host's window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CSBoilerPlate/menuHandler_win32.h"
#include "VXIllustratorPlugin.h"
#include "VeloxaLink.h"
#include "fake_services.h"
#include "support/captured_log.h"

namespace {

// UTF-16LE bytes of a text.
std::string Utf16(const std::u16string& text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

TEST(DecodeHexText, Table) {
  struct Case {
    const char* name;
    std::string bytes;  // the answer's bytes
    bool accepted;
    std::string decoded;
  };
  const Case cases[] = {
      {"digits of both cases", Utf16(u"0A1b"), true, "\x0A\x1B"},
      {"every digit value", Utf16(u"0123456789abcdefABCDEF"), true,
       "\x01\x23\x45\x67\x89\xAB\xCD\xEF\xAB\xCD\xEF"},
      {"empty", "", true, ""},
      {"byte count 6: unpaired last character ignored", Utf16(u"0A1"), true, "\x0A"},
      {"unpaired last character need not be a digit", Utf16(u"0Az"), true, "\x0A"},
      {"odd byte count: last byte ignored", Utf16(u"0A") + "1", true, "\x0A"},
      {"byte 00 and FF", Utf16(u"00ff"), true, std::string("\x00\xFF", 2)},
      {"odd number of bytes over the loop's step", Utf16(u"010203"), true, "\x01\x02\x03"},
      {"letter past F", Utf16(u"0G"), false, ""},
      {"letter past f in the second byte", Utf16(u"0A1g"), false, ""},
      {"space", Utf16(u"0 "), false, ""},
      {"digit with a high byte (U+0130)", Utf16(u"0\u0130"), false, ""},
      {"digit with a high byte (U+FF10, fullwidth 0)", Utf16(u"\uFF100"), false, ""},
      {"NUL", Utf16(std::u16string(u"0\0", 2)), false, ""},
      {"bad character in the last pair of many", Utf16(u"00112233445566/7"), false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "untouched";
    EXPECT_EQ(DecodeHexText(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()), &out), c.accepted);
    EXPECT_EQ(out, c.accepted ? c.decoded : "untouched");
  }
}

TEST(DecodeHexText, BoundIsTheLargestAnswerAccepted) {
  const std::uint32_t bound = vxlink::kMaxAnswerTextBytes;
  std::string text(bound, '\0');
  for (std::uint32_t i = 0; i < bound; i += 2) text[i] = 'f';
  std::string out;
  ASSERT_TRUE(DecodeHexText(text.data(), bound, &out));
  EXPECT_EQ(out.size(), bound / 4);
  EXPECT_EQ(out.find_first_not_of('\xFF'), std::string::npos);
  // One byte more is refused before anything is read (the buffer is short).
  const std::string small = Utf16(u"00");
  out = "untouched";
  EXPECT_FALSE(DecodeHexText(small.data(), bound + 1, &out));
  EXPECT_FALSE(DecodeHexText(small.data(), 0xFFFFFFFFu, &out));
  EXPECT_FALSE(DecodeHexText(nullptr, 4, &out));
  EXPECT_EQ(out, "untouched");
  EXPECT_TRUE(DecodeHexText(nullptr, 0, &out));
}

TEST(DecodeHexPayload, RefusedAnswerKeepsTheWaitingOneAndIsLogged) {
  PendingReply pending;
  const std::string first = Utf16(u"C0DE");
  ASSERT_TRUE(DecodeHexPayload(first.data(), static_cast<std::uint32_t>(first.size()), eReplyKind_NewDetails,
                               pending));
  const std::string bad = Utf16(u"C0DEXX");
  {
    vxtest::CapturedLog log;
    EXPECT_FALSE(
        DecodeHexPayload(bad.data(), static_cast<std::uint32_t>(bad.size()), eReplyKind_Export, pending));
    EXPECT_TRUE(log.contains("[ERROR]")) << log.text();
    EXPECT_TRUE(log.contains("[menuHandler_win32:DecodeHexPayload:")) << log.text();
  }
  {
    vxtest::CapturedLog log;
    EXPECT_FALSE(DecodeHexPayload(bad.data(), vxlink::kMaxAnswerTextBytes + 2, eReplyKind_Export, pending));
    EXPECT_TRUE(log.contains("[ERROR]")) << log.text();
  }
  ASSERT_TRUE(pending.HasReply());
  EXPECT_EQ(*pending.Bytes(), "\xC0\xDE");
  EXPECT_EQ(pending.Kind(), eReplyKind_NewDetails);

  const std::string second = Utf16(u"01");
  ASSERT_TRUE(DecodeHexPayload(second.data(), static_cast<std::uint32_t>(second.size()), eReplyKind_AttachJob,
                               pending));
  EXPECT_EQ(*pending.Bytes(), "\x01");
  EXPECT_EQ(pending.Kind(), eReplyKind_AttachJob);
}

// --- The window procedure -------------------------------------------------------------

class ReplyWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    plugin.SetGlobal(&plugin);
    ASSERT_NE(CreateReplyWindow(), 0u);
  }
  void TearDown() override { DestroyReplyWindow(); }

  std::int64_t Send(std::uint32_t message, std::int64_t lparam = 0) {
    return ReplyWindowProcedure(ReplyWindow(), message, 0, lparam);
  }
  std::int64_t CopyData(std::uint64_t code, const std::string& bytes) {
    vxp::CopyData data{code, static_cast<std::uint32_t>(bytes.size()), bytes.data()};
    return Send(vxp::kMessage_CopyData, reinterpret_cast<std::int64_t>(&data));
  }

  vxtest::FakeServices services;
  VXIllustratorPlugin plugin{nullptr};
};

TEST_F(ReplyWindowTest, Results) {
  struct Case {
    const char* name;
    std::uint64_t code;
    std::u16string text;
    std::int64_t result;
    ReplyKind kind;  // eReplyKind_None: nothing parked
  };
  const Case cases[] = {
      {"attach job", 23262, u"0A1b", 1, eReplyKind_AttachJob},
      {"new details", 23293, u"0A1b", 1, eReplyKind_NewDetails},
      {"export", 59655, u"0A1b", 1, eReplyKind_Export},
      {"bring to front", 42609, u"zz", 1, eReplyKind_None},
      {"unknown code", 12345, u"0A1b", 0, eReplyKind_None},
      {"code that differs in a high bit", (1ull << 32) | 23293, u"0A1b", 0, eReplyKind_None},
      {"not hexadecimal", 23293, u"0A1x", 0, eReplyKind_None},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    plugin.Pending().Drop();
    EXPECT_EQ(CopyData(c.code, Utf16(c.text)), c.result);
    EXPECT_EQ(plugin.Pending().HasReply(), c.kind != eReplyKind_None);
    if (c.kind != eReplyKind_None) {
      EXPECT_EQ(plugin.Pending().Kind(), c.kind);
      EXPECT_EQ(*plugin.Pending().Bytes(), "\x0A\x1B");
    }
  }
  EXPECT_EQ(Send(vxp::kMessage_CopyData, 0), 0) << "no data record";
  EXPECT_EQ(Send(vxp::kMessage_ActivateApp), 0);
  EXPECT_EQ(Send(vxp::kMessage_Create), 0);
  EXPECT_EQ(Send(vxp::kMessage_Destroy), 0);
  // Everything else goes to the default procedure (the double answers -7).
  EXPECT_EQ(Send(0x000F), -7);
  EXPECT_EQ(services.windows.calls.back(), "default_procedure " + std::to_string(ReplyWindow()) + " 15");
}

TEST_F(ReplyWindowTest, HandlingThatThrowsAnswersZero) {
  SetGlobalPlugin(nullptr);  // the pending answer has no owner: the handling throws
  EXPECT_EQ(CopyData(23293, Utf16(u"0A1b")), 0);
  EXPECT_FALSE(plugin.Pending().HasReply());
}

TEST_F(ReplyWindowTest, WindowIsMadeOnceAndItsClassGoesWithIt) {
  const vxp::WindowHandle window = ReplyWindow();
  EXPECT_EQ(CreateReplyWindow(), window);
  EXPECT_EQ(services.windows.windows.size(), 1u);
  DestroyReplyWindow();
  EXPECT_EQ(ReplyWindow(), 0u);
  EXPECT_TRUE(services.windows.windows.empty());
  EXPECT_TRUE(services.windows.classes.empty());
  // A class that is already registered is used as it is.
  ASSERT_TRUE(services.windows.register_class(kReplyWindowClass, ReplyWindowProcedure));
  services.windows.calls.clear();
  EXPECT_NE(CreateReplyWindow(), 0u);
  EXPECT_EQ(services.windows.calls,
            std::vector<std::string>{"create_window VXIllWndProc VXIllWndProc hidden"});
}

TEST_F(ReplyWindowTest, WindowThatCannotBeMadeLeavesNoHandle) {
  DestroyReplyWindow();
  services.windows.fail_create = true;
  EXPECT_EQ(CreateReplyWindow(), 0u);
  EXPECT_EQ(ReplyWindow(), 0u);
}

// --- Raising the host's window -------------------------------------------------------

TEST(BringHostToFront, Paths) {
  constexpr vxp::WindowHandle kHost = 50, kPopup = 60, kOther = 70, kTray = 80;
  struct Case {
    const char* name;
    bool host_exists;
    bool popup;
    bool hung;
    bool minimised;
    vxp::WindowHandle foreground;
    std::vector<bool> foreground_answers;
    std::vector<std::string> calls;
    std::vector<std::uint32_t> sleeps;
  };
  const std::string alt = "send_key_events 18:1 18:3 18:1 18:3";
  const std::string find = "find_window illustrator";
  // clang-format off
  const Case cases[] = {
      {"no host window", false, false, false, false, 0, {}, {find}, {}},
      {"hung", true, false, true, false, 0, {}, {find}, {}},
      {"minimised: restored, no sleep", true, false, false, true, 0, {},
       {find, "post_message 50 274 61728 0"}, {}},
      {"already in front", true, false, false, false, kHost, {}, {find}, {50}},
      {"made foreground", true, false, false, false, kOther, {true},
       {find, "bring_to_top 50", "set_foreground 50"}, {50}},
      {"enabled pop-up raised instead", true, true, false, false, kOther, {true},
       {find, "bring_to_top 60", "set_foreground 60"}, {50}},
      {"through the foreground thread's input", true, false, false, false, kOther, {false, true},
       {find, "bring_to_top 50", "set_foreground 50", "attach 7 5", "set_foreground 50", "detach 7 5"}, {50}},
      {"with the Alt key", true, false, false, false, kOther, {false, false, true},
       {find, "bring_to_top 50", "set_foreground 50", "attach 7 5", "set_foreground 50", alt,
        "set_foreground 50", "detach 7 5"}, {50}},
      {"no foreground window: the task bar's thread", true, false, false, false, 0, {false, true},
       {find, "bring_to_top 50", "set_foreground 50", "find_window Shell_TrayWnd", "attach 8 5",
        "set_foreground 50", "detach 8 5"}, {50}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vxtest::FakeServices services;
    auto& windows = services.windows;
    if (c.host_exists) windows.other_windows["illustrator"] = kHost;
    windows.other_windows["other"] = kOther;
    windows.other_windows["Shell_TrayWnd"] = kTray;
    if (c.popup) windows.popups[kHost] = kPopup;
    if (c.hung) windows.hung.insert(kHost);
    if (c.minimised) windows.minimised.insert(kHost);
    windows.foreground = c.foreground;
    windows.foreground_answers = c.foreground_answers;
    windows.threads = {{kHost, 5}, {kPopup, 5}, {kOther, 7}, {kTray, 8}};

    BringHostToFront();
    EXPECT_EQ(windows.calls, c.calls);
    EXPECT_EQ(services.processes.sleeps, c.sleeps);
  }
}

}  // namespace
