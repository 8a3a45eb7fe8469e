// What a support engineer gets under VXILLUSTRATOR_LOG: the plug-in's log in
// a file and every answer with a job in the capture file beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "SupportLog.h"
#include "VeloxaLink.h"
#include "docops_fixture.h"
#include "platform/Platform.h"
#include "utils/encoding.h"

namespace vxdoctest {
namespace {

class SupportLogTest : public DocOpsTest {
 protected:
  void TearDown() override {
    vxp::Platform::Default().set_environment_variable(kSupportLogVariable, nullptr);
    DocOpsTest::TearDown();
  }
  // Names the log file and starts the plug-in again, as a host started
  // with the variable set would.
  void StartWithLog(const std::string& path) {
    vxp::Platform::Default().set_environment_variable(kSupportLogVariable, path.c_str());
    ASSERT_EQ(host_->shutdown(), 0);
    ASSERT_EQ(host_->startup(), 0);
  }
};

TEST_F(SupportLogTest, TheLogAndEveryAnswerWithAJobGoToTheFilesNamedByTheVariable) {
  const std::string log = InFolder("plugin.log");
  StartWithLog(log);
  EXPECT_EQ(AnswerCapturePath(), log + ".answers");
  const std::string details = Payload(Job(kDemoJob, ""));
  Answer(vxlink::kAnswerNewDetails, details);
  ASSERT_EQ(Send(vxlink::kAnswerAttachJob, "\x01\x02"), 1);
  host_->tick_now();
  // Not a job answer: nothing to capture.
  ASSERT_EQ(Send(vxlink::kAnswerBringToFront, ""), 1);

  const std::string text = ReadFile(log);
  EXPECT_NE(text.find("[VXIllustrator:HandleNewDetailsReply:1337] new details 595.28,"), std::string::npos)
      << text;
  EXPECT_NE(text.find("[ERROR]"), std::string::npos) << "the failed attach answer" << text;

  const std::string capture = ReadFile(log + ".answers");
  const std::regex line("(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d) (\\d+) ([0-9A-F]*)\n");
  std::smatch m;
  std::string rest = capture;
  ASSERT_TRUE(std::regex_search(rest, m, line, std::regex_constants::match_continuous)) << capture;
  EXPECT_EQ(m[2], std::to_string(vxlink::kAnswerNewDetails));
  EXPECT_EQ(m[3], hex_encode(details.data(), details.size()).str());
  rest = m.suffix();
  ASSERT_TRUE(std::regex_search(rest, m, line, std::regex_constants::match_continuous)) << capture;
  EXPECT_EQ(m[2], std::to_string(vxlink::kAnswerAttachJob));
  EXPECT_EQ(m[3], "0102");
  EXPECT_EQ(m.suffix(), "");
}

TEST_F(SupportLogTest, WithoutTheVariableNothingIsWrittenAndAnEarlierFileIsLetGo) {
  const std::string log = InFolder("plugin.log");
  StartWithLog(log);
  const std::size_t size = ReadFile(log).size();
  ASSERT_GT(size, 0u);

  vxp::Platform::Default().set_environment_variable(kSupportLogVariable, nullptr);
  ASSERT_EQ(host_->shutdown(), 0);
  ASSERT_EQ(host_->startup(), 0);
  EXPECT_EQ(AnswerCapturePath(), "");
  Answer(vxlink::kAnswerNewDetails, Payload(Job(kDemoJob, "")));
  EXPECT_EQ(ReadFile(log).size(), size);
  EXPECT_FALSE(std::filesystem::exists(log + ".answers"));
}

TEST(CaptureLineTest, TimeCodeAndTheBytesInUpperCaseHexadecimal) {
  const std::string line = CaptureLine(1700000000, 59655, std::string("\x00\xAB\x7F", 3));
  EXPECT_TRUE(std::regex_match(line, std::regex("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d 59655 00AB7F\n")))
      << line;
}

}  // namespace
}  // namespace vxdoctest
