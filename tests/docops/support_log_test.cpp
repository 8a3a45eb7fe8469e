// What a support engineer gets under VXILLUSTRATOR_LOG: the plug-in's log in
// a file and every answer with a job in the capture file beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "SupportLog.h"
#include "VeloxaLink.h"
#include "docops_fixture.h"
#include "platform/Platform.h"
#include "utils/encoding.h"

namespace vxdoctest {
namespace {

// One capture line without its line feed, split into code and bytes: false
// unless it reads "TIME CODE HEX" with TIME as in 2026-03-05T14:02:40, CODE
// decimal digits and HEX upper-case hexadecimal digits. (Read by hand: g++ 12
// warns inside std::regex under the sanitizers.)
bool SplitCaptureLine(const std::string& line, std::string* code, std::string* hex) {
  const std::string shape = "dddd-dd-ddTdd:dd:dd ";
  if (line.size() < shape.size()) return false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const bool digit = line[i] >= '0' && line[i] <= '9';
    if (shape[i] == 'd' ? !digit : line[i] != shape[i]) return false;
  }
  const std::size_t space = line.find(' ', shape.size());
  if (space == std::string::npos || space == shape.size()) return false;
  *code = line.substr(shape.size(), space - shape.size());
  *hex = line.substr(space + 1);
  return code->find_first_not_of("0123456789") == std::string::npos &&
         hex->find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

// The capture's lines, each of which must end with a line feed.
std::vector<std::string> CaptureLines(const std::string& capture) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < capture.size();) {
    const std::size_t end = capture.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(capture.substr(start) + " (no line feed)");
      break;
    }
    lines.push_back(capture.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

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
  const std::vector<std::string> lines = CaptureLines(capture);
  ASSERT_EQ(lines.size(), 2u) << capture;
  std::string code, hex;
  ASSERT_TRUE(SplitCaptureLine(lines[0], &code, &hex)) << capture;
  EXPECT_EQ(code, std::to_string(vxlink::kAnswerNewDetails));
  EXPECT_EQ(hex, hex_encode(details.data(), details.size()).str());
  ASSERT_TRUE(SplitCaptureLine(lines[1], &code, &hex)) << capture;
  EXPECT_EQ(code, std::to_string(vxlink::kAnswerAttachJob));
  EXPECT_EQ(hex, "0102");
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
  ASSERT_EQ(CaptureLines(line).size(), 1u) << line;
  ASSERT_EQ(line.back(), '\n');
  std::string code, hex;
  ASSERT_TRUE(SplitCaptureLine(line.substr(0, line.size() - 1), &code, &hex)) << line;
  EXPECT_EQ(code, "59655");
  EXPECT_EQ(hex, "00AB7F");
}

}  // namespace
}  // namespace vxdoctest
