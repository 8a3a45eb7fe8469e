// The routing of Veloxa's answers on the timer tick: what ends the handling
// of an answer, and that the plug-in goes on with the next.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "VeloxaLink.h"
#include "docops_fixture.h"
#include "support/captured_log.h"
#include "utils/UException.h"

namespace vxdoctest {
namespace {

constexpr char kRecordStart[] = "[ERROR]";
constexpr char kRecordSite[] = "[menuHandler_win32:`anonymous-namespace'::HandleReceivedEvent:76] ";

// The handling of a job-details answer fails after its document was made
// (the host throws while the guides are drawn). The answer is handled once:
// a failing answer must not make a new document on every tick.
TEST_F(DocOpsTest, AnAnswerWhoseHandlingThrowsIsHandledOnceWithOneErrorRecord) {
  struct Case {
    const char* name;
    std::function<void()> thrower;
    const char* text;
  };
  const Case cases[] = {
      {"UException", [] { throw UException(ustring("the host lost its guides"), 7); },
       "the host lost its guides"},
      {"a standard exception", [] { throw std::runtime_error("guides out of memory"); },
       "guides out of memory"},
      {"anything else", [] { throw 42; }, "unknown exception"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    host_->set_action_effect("adobe_makeGuide",
                             [&](vxsim::HostModel&, const vxsim::PlayedAction&) -> ai::Err {
                               c.thrower();
                               return ai::kNoErr;
                             });
    vxtest::CapturedLog log;
    Answer(vxlink::kAnswerNewDetails, Payload(Job(kDemoJob, "")));
    EXPECT_EQ(host_->documents().size(), 1u);
    EXPECT_NE(log.text().find(std::string(kRecordStart)), std::string::npos) << log.text();
    EXPECT_NE(log.text().find(kRecordSite + std::string(c.text) + "\n"), std::string::npos) << log.text();
    for (int tick = 0; tick < 3; ++tick) host_->tick_now();
    EXPECT_EQ(host_->documents().size(), 1u) << "the failed answer was handled again";

    // The plug-in carries on: the next answer is handled.
    host_->set_action_effect("adobe_makeGuide", nullptr);
    Answer(vxlink::kAnswerNewDetails, Payload(Job(kDemoJob, "")));
    EXPECT_EQ(host_->documents().size(), 2u);
  }
}

TEST_F(DocOpsTest, AnAnswerThatIsNoJobEndsWithOneErrorRecordAndChangesNothing) {
  const ai::DocumentData* document = host_->new_document(500, 700, std::nullopt);
  const std::uint64_t codes[] = {vxlink::kAnswerAttachJob, vxlink::kAnswerNewDetails, vxlink::kAnswerExport};
  for (const std::uint64_t code : codes) {
    SCOPED_TRACE(code);
    vxtest::CapturedLog log;
    Answer(code, "not a job at all");
    const std::string text = log.text();
    const std::size_t first = text.find(kRecordSite);
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_EQ(text.find(kRecordSite, first + 1), std::string::npos) << text;
    EXPECT_NE(text.find("UKeyInStream: ", first), std::string::npos) << text;
  }
  EXPECT_EQ(host_->documents().size(), 1u);
  EXPECT_TRUE(document->dictionary->empty());
  EXPECT_TRUE(host_->actions().empty());
  EXPECT_TRUE(Requests().empty());
}

}  // namespace
}  // namespace vxdoctest
