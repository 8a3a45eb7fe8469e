// Requests to Veloxa: the bytes on the pipe, the pipe's name, starting
// Veloxa when the probe fails, and writes the pipe takes in pieces.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "CSBoilerPlate/menuHandler_win32.h"
#include "PipeName.h"
#include "Requests.h"
#include "VeloxaLink.h"
#include "fake_services.h"

namespace {

const std::string kPing = R"({"what":"ping"})";

class RequestsTest : public testing::Test {
 protected:
  void SetUp() override { services.platform.environment = {{"USERNAME", "alice"}}; }
  void TearDown() override { DestroyReplyWindow(); }

  std::string Hwnd() { return std::to_string(ReplyWindow()); }

  vxtest::FakeServices services;
};

TEST_F(RequestsTest, EachRequestFollowsAPingWithExactlyItsEntries) {
  struct Case {
    RequestKind kind;
    std::string payload;
    std::string json;  // with H for the window
  };
  const Case cases[] = {
      {eRequestKind_About, "ignored", R"({"hwnd":"H","sender":"IllustratorCS","what":"about"})"},
      {eRequestKind_JobList, "", R"({"hwnd":"H","sender":"IllustratorCS","what":"joblist"})"},
      {eRequestKind_Details, "abcd",
       R"({"hwnd":"H","sender":"IllustratorCS","v":"YWJjZA==","what":"details"})"},
      {eRequestKind_DetailsForDocument, "abcd",
       R"({"hwnd":"H","sender":"IllustratorCS","v":"YWJjZA==","what":"details","x":true})"},
      {eRequestKind_Details, "", R"({"hwnd":"H","sender":"IllustratorCS","v":"","what":"details"})"},
      {eRequestKind_Exported, std::string("\x00\xFF\x10", 3),
       R"({"hwnd":"H","sender":"IllustratorCS","v":"AP8Q","what":"exported"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    services.link.connections.clear();
    SendRequest(c.payload, c.kind);
    std::string expected = c.json;
    expected.replace(expected.find('H'), 1, Hwnd());
    EXPECT_EQ(services.link.Messages(), (std::vector<std::string>{kPing, expected}));
    for (const auto& connection : services.link.connections) EXPECT_EQ(connection->name, "\\\\.\\pipe\\VeloxaIPC.alice");
  }
  EXPECT_TRUE(services.processes.launched.empty());
  EXPECT_TRUE(services.processes.sleeps.empty());
}

TEST_F(RequestsTest, DetailsForDocumentWithFourBytesCarriesXAndEightCharacters) {
  const umessage request = BuildRequest("\x01\x02\x03\x04", eRequestKind_DetailsForDocument, 1);
  EXPECT_TRUE(request.value<bool>("x"));
  const ustring v = request.value<ustring>("v");
  EXPECT_EQ(v.size(), 8u);
  EXPECT_EQ(v.substr(6), "==");
}

TEST_F(RequestsTest, RequestMakesTheReplyWindowItNames) {
  ASSERT_EQ(ReplyWindow(), 0u);
  SendRequest("", eRequestKind_JobList);
  ASSERT_NE(ReplyWindow(), 0u);
  ASSERT_EQ(services.link.connections.size(), 2u);
  EXPECT_NE(services.link.connections[1]->bytes.find(R"("hwnd":")" + Hwnd() + "\""), std::string::npos);
}

TEST_F(RequestsTest, WindowThatCannotBeMadeIsNamedZero) {
  services.windows.fail_create = true;
  SendRequest("", eRequestKind_About);
  ASSERT_EQ(services.link.connections.size(), 2u);
  EXPECT_EQ(services.link.connections[1]->bytes, R"({"hwnd":"0","sender":"IllustratorCS","what":"about"})");
}

TEST_F(RequestsTest, WindowHandleTextIsItsLow32BitsSigned) {
  struct Case {
    vxp::WindowHandle window;
    const char* text;
  };
  const Case cases[] = {
      {0, "0"},
      {0x101, "257"},
      {0x7FFFFFFF, "2147483647"},
      {0x80000000, "-2147483648"},
      {0xFFFFFFFF, "-1"},
      {0x1'00000005, "5"},
      {0xFFFFFFFF'80000001, "-2147483647"},
  };
  for (const Case& c : cases) EXPECT_EQ(WindowHandleText(c.window), c.text) << c.window;

  // Through a request, with a window whose low 32 bits are negative.
  services.windows.next_handle = 0x00000001'80000001;
  SendRequest("", eRequestKind_JobList);
  ASSERT_EQ(services.link.connections.size(), 2u);
  EXPECT_EQ(services.link.connections[1]->bytes,
            R"({"hwnd":"-2147483647","sender":"IllustratorCS","what":"joblist"})");
}

TEST_F(RequestsTest, PipeUserName) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> environment;
    const char* user;
  };
  const Case cases[] = {
      {"USERNAME first", {{"USERNAME", "alice"}, {"USER", "bob"}}, "alice"},
      {"else USER", {{"USER", "bob"}}, "bob"},
      {"else 123", {}, "123"},
      {"an empty USERNAME is a name", {{"USERNAME", ""}, {"USER", "bob"}}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    services.platform.environment = c.environment;
    services.link.opened.clear();
    EXPECT_EQ(vxlink::PipeUserName(), c.user);
    SendRequest("", eRequestKind_About);
    EXPECT_EQ(services.link.opened, (std::vector<std::string>(2, std::string("\\\\.\\pipe\\VeloxaIPC.") + c.user)));
  }
}

// --- Starting Veloxa -----------------------------------------------------------------

TEST_F(RequestsTest, FailedProbeStartsVeloxaUnlessItRuns) {
  const std::string path = "/opt/veloxa/Veloxa6";
  struct Case {
    const char* name;
    std::optional<std::string> registered;
    std::vector<std::string> images;
    bool scan_fails;
    bool launch_succeeds;
    std::vector<std::string> launched;
    std::vector<std::uint32_t> sleeps;
  };
  // clang-format off
  const Case cases[] = {
      {"registered, not running", path, {"/usr/bin/bash", "/opt/veloxa/Veloxa5"}, false, true, {path}, {3000}},
      {"registered and running", path, {"/usr/bin/bash", "/mnt/opt/veloxa/Veloxa6 (deleted)"}, false, true, {}, {}},
      {"image names are compared with their case", path, {"/opt/veloxa/veloxa6"}, false, true, {path}, {3000}},
      {"no process list: not running", path, {path}, true, true, {path}, {3000}},
      {"nothing registered", std::nullopt, {"/usr/bin/bash"}, false, true, {}, {}},
      {"registered as empty text", std::string(), {"/usr/bin/bash"}, false, true, {}, {}},
      {"start fails: no wait", path, {}, false, false, {path}, {}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vxtest::FakeServices fresh;
    fresh.link.registered = c.registered;
    fresh.link.refuse_opens = 1;  // the probe
    fresh.processes.images = c.images;
    fresh.processes.scan_fails = c.scan_fails;
    fresh.processes.launch_succeeds = c.launch_succeeds;

    SendRequest("", eRequestKind_JobList);
    EXPECT_EQ(fresh.processes.launched, c.launched);
    EXPECT_EQ(fresh.processes.sleeps, c.sleeps);
    // The request itself is tried once, after the start.
    EXPECT_EQ(fresh.link.opened.size(), 2u);
    ASSERT_EQ(fresh.link.connections.size(), 1u);
    EXPECT_NE(fresh.link.connections[0]->bytes.find(R"("what":"joblist")"), std::string::npos);
    EXPECT_EQ(fresh.link.registry_reads,
              std::vector<std::string>{
                  "0 SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Veloxa6.exe []"});
    DestroyReplyWindow();
  }
}

TEST_F(RequestsTest, RequestThatCannotBeDeliveredIsTriedOnceAndLost) {
  services.link.registered = "/opt/veloxa/Veloxa6";
  services.link.refuse_opens = -1;
  SendRequest("abcd", eRequestKind_Details);
  EXPECT_EQ(services.link.opened.size(), 2u);
  EXPECT_EQ(services.processes.launched.size(), 1u);
}

TEST_F(RequestsTest, ProbeThatSucceedsStartsNothing) {
  services.link.registered = "/opt/veloxa/Veloxa6";
  SendRequest("", eRequestKind_About);
  EXPECT_EQ(services.processes.scans, 0);
  EXPECT_TRUE(services.link.registry_reads.empty());
}

// --- Writing to the pipe ---------------------------------------------------------------

TEST_F(RequestsTest, ShortWritesAreContinuedUntilEveryByteIsWritten) {
  const umessage request = BuildRequest("payload bytes", eRequestKind_Exported, 42);
  std::ostringstream expected;
  request.write(expected);
  for (std::size_t chunk : {1u, 3u, 7u, 1000u}) {
    SCOPED_TRACE(chunk);
    services.link.connections.clear();
    services.link.max_chunk = chunk;
    WriteToPipe(request);
    ASSERT_EQ(services.link.connections.size(), 1u);
    EXPECT_EQ(services.link.connections[0]->bytes, expected.str());
    EXPECT_EQ(static_cast<std::size_t>(services.link.connections[0]->writes),
              (expected.str().size() + chunk - 1) / chunk);
  }
}

TEST_F(RequestsTest, PipeFailuresThrowTheirTexts) {
  const umessage request = BuildRequest("", eRequestKind_About, 1);
  services.link.refuse_opens = 1;
  try {
    WriteToPipe(request);
    FAIL() << "no exception";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "cannot open pipe");
  }
  services.link.max_chunk = 4;
  services.link.fail_after = 10;
  try {
    WriteToPipe(request);
    FAIL() << "no exception";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "cannot write to pipe");
  }
}

TEST_F(RequestsTest, BrokenPipeDuringTheProbeStartsVeloxa) {
  services.link.registered = "/opt/veloxa/Veloxa6";
  services.link.fail_after = 0;
  SendRequest("", eRequestKind_About);
  EXPECT_EQ(services.processes.launched.size(), 1u);
  EXPECT_EQ(services.link.opened.size(), 2u);
}

}  // namespace
