// vxdesk as a program: what it records, what it answers to the windows of
// the test, its options, `send`, `stop`, and a vxdesk started without
// arguments as the plug-in starts it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "DeskScenario.h"
#include "JobJson.h"
#include "PipeName.h"
#include "VeloxaLink.h"
#include "datastruct/CheckSettingDefinitions.h"
#include "platform/Link.h"
#include "utils/encoding.h"

namespace vxdesktest {
namespace {

namespace fs = std::filesystem;

// A job as a person writes it for vxdesk (vxjob make's form).
constexpr char kJobFile[] = R"({
  "jobId": "11111111-2222-4333-8444-555555555555",
  "documentName": "Test advert.ai",
  "groups": [{"active": true, "destinations": [
    {"identifier": "7", "width": 300, "depth": 200,
     "bleedLeft": 5, "bleedRight": 5, "bleedTop": 5, "bleedBottom": 5}]}],
  "settings": {"settings": [
    {"problem": "Setting_PDFVersion", "type": "eSettingType_Parameter", "note": 1.6, "precision": 1}]}
})";

constexpr char kChecksPdf15[] = R"({"settings": [
  {"problem": "Setting_PDFVersion", "type": "eSettingType_Parameter", "note": 1.5, "precision": 1}]})";

constexpr char kBuiltInJobId[] = "5D1B6E2A-7C3F-4A8E-9B04-D35C0F1E2A77";

// The job the plug-in keeps in a document (layout content only), from JSON.
std::string StoredCopy(const std::string& json) {
  umessage m;
  std::istringstream in(json);
  EXPECT_TRUE(m.read(in)) << json;
  BJobFile job;
  job_from_json(job, m);
  std::ostringstream out;
  EXPECT_TRUE(job.WriteJob(out, eJobFileContent_Layout));
  return out.str();
}

std::string DetailsForDocument(const std::string& payload) {
  return R"("v":")" + base64_encode(payload.data(), payload.size()).str() + R"(","x":true,)";
}

class DeskTest : public DeskScenario {};

// --- The record and the answers ------------------------------------------------------

TEST_F(DeskTest, RecordsEveryJsonObjectByteForByteAndNothingElse) {
  StartDesk();
  const std::string big = R"({"what":"exported","v":")" + std::string(1 << 20, 'Q') + "\"}";
  const std::vector<std::string> objects = {
      R"({"what":"ping"})",
      " {\t\"what\" : \"joblist\" ,\r\n \"hwnd\" : \"0\" } ",  // white space and a line break kept
      "{\"what\":\"exported\",\"note\":\"Gr\xC3\xBC\xC3\x9F"
      "e \\\"quoted\\\"\"}",
      big,
  };
  const std::vector<std::string> refused = {"not json", "[1,2]", "{\"what\":"};
  for (const std::string& message : objects) ASSERT_TRUE(SendToPipe(message));
  for (const std::string& message : refused) ASSERT_TRUE(SendToPipe(message));
  // A connection that brings no byte is no message at all.
  ASSERT_TRUE(SendToPipe(""));
  ASSERT_TRUE(SendToPipe(R"({"what":"ping","last":true})"));

  std::string expected;
  for (const std::string& message : objects) expected += message + "\n";
  expected += "{\"what\":\"ping\",\"last\":true}\n";
  const std::string record = InRuntime("vxdesk-record.jsonl");
  EXPECT_TRUE(PumpUntil([&] { return FileText(record).size() >= expected.size(); }));
  EXPECT_EQ(FileText(record), expected);
  EXPECT_EQ(Occurrences(Log(), "not a JSON object, not recorded"), refused.size()) << Log();
}

TEST_F(DeskTest, EachRequestKindGetsItsAnswerInOrder) {
  StartDesk();
  const vxp::WindowHandle other = MakeWindow();
  ASSERT_NE(other, 0u);
  struct Case {
    const char* name;
    std::string request;
    std::optional<std::uint64_t> code;  // none: no answer
    vxp::WindowHandle window;
  };
  const Case cases[] = {
      {"the probe", R"({"what":"ping"})", std::nullopt, 0},
      {"about", Request("about", window_), vxlink::kAnswerBringToFront, window_},
      {"job list, to the window it names", Request("joblist", other), vxlink::kAnswerBringToFront, other},
      {"details", Request("details", window_, R"("v":"",)"), vxlink::kAnswerNewDetails, window_},
      {"a report", Request("exported", window_, R"("v":"AAAA",)"), std::nullopt, 0},
      {"an unknown request", Request("frobnicate", window_), std::nullopt, 0},
      {"a window that is not a number", R"({"hwnd":"7x","what":"about"})", std::nullopt, 0},
      {"no window", R"({"what":"about"})", std::nullopt, 0},
      {"window 0 (the plug-in had none)", Request("about", 0), std::nullopt, 0},
  };
  std::vector<std::pair<vxp::WindowHandle, std::uint64_t>> expected;
  for (const Case& c : cases) {
    ASSERT_TRUE(SendToPipe(c.request)) << c.name;
    if (c.code) expected.emplace_back(c.window, *c.code);
  }
  // Answers leave in the order of their requests: once this one is there,
  // an answer to anything above would be there too.
  ASSERT_TRUE(SendToPipe(Request("about", window_)));
  expected.emplace_back(window_, vxlink::kAnswerBringToFront);

  ASSERT_TRUE(AnswersArrive(expected.size()));
  const std::vector<Received> answers = Answers();
  ASSERT_EQ(answers.size(), expected.size());
  for (std::size_t i = 0; i < answers.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(answers[i].window, expected[i].first);
    EXPECT_EQ(answers[i].code, expected[i].second);
    EXPECT_EQ(answers[i].wparam, 0u);
    if (answers[i].code == vxlink::kAnswerBringToFront) {
      EXPECT_EQ(answers[i].text, "");
    }
  }
  EXPECT_TRUE(
      LogSays("answer 42609 (0 bytes) to window " + std::to_string(other) + " for \"joblist\": result 1"))
      << Log();
}

TEST_F(DeskTest, NewDetailsCarryTheConfiguredJobWithItsChecks) {
  const std::string job_file = WriteFile("job.json", kJobFile);
  const std::string checks = WriteFile("checks.json", kChecksPdf15);
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* job_id;
    double trim_width, trim_depth, bleed_width, bleed_depth;
    double pdf_version;
  };
  const Case cases[] = {
      {"the built-in A4 job", {}, kBuiltInJobId, 595.2756, 841.8898, 612.2756, 858.8898, 1.4},
      {"a job file with its own checks",
       {"--job", job_file},
       "11111111-2222-4333-8444-555555555555",
       300,
       200,
       310,
       210,
       1.6},
      {"configured checks win over the job's",
       {"--job", job_file, "--checks", checks},
       "11111111-2222-4333-8444-555555555555",
       300,
       200,
       310,
       210,
       1.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t before = Answers().size();
    StartDesk(c.args);
    ASSERT_TRUE(SendToPipe(Request("details", window_, R"("v":"",)")));
    ASSERT_TRUE(AnswersArrive(before + 1));
    const Received answer = Answers().back();
    EXPECT_EQ(answer.code, vxlink::kAnswerNewDetails);

    ResetSettingDefinitionsForTesting();
    BJobFile job;
    ASSERT_TRUE(ReadAnswerJob(answer.text, &job));
    EXPECT_EQ(job.jobId(), c.job_id);
    EXPECT_DOUBLE_EQ(job.RequiredPDFVersion(), c.pdf_version);
    EXPECT_NE(SettingDefinitions()->find("Setting_PDFVersion"), nullptr) << "no definitions (Dp)";
    job.ComputeGeometry();
    EXPECT_DOUBLE_EQ(job.trimBox().width(), c.trim_width);
    EXPECT_DOUBLE_EQ(job.trimBox().height(), c.trim_depth);
    EXPECT_DOUBLE_EQ(job.bleedBox().width(), c.bleed_width);
    EXPECT_DOUBLE_EQ(job.bleedBox().height(), c.bleed_depth);

    EXPECT_EQ(RunDesk({"stop"}).exit_code, 0);
    int code = -1;
    EXPECT_TRUE(DeskEnds(&code));
  }
  ResetSettingDefinitionsForTesting();
}

TEST_F(DeskTest, ExportAnswerAddsWhatVeloxaAddsToTheStoredCopy) {
  struct Case {
    const char* name;
    bool first_active, second_active;
    bool expect_first, expect_second;
  };
  const Case cases[] = {
      {"no active group: the first becomes active", false, false, true, false},
      {"an active group stays the one", false, true, false, true},
  };
  StartDesk();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string stored =
        StoredCopy(std::string(R"({"jobId":"AB","documentName":"C:\\Docs\\Spring advert.ai",)") +
                   R"("groups":[{"active":)" + (c.first_active ? "true" : "false") +
                   R"(,"destinations":[{"identifier":"1","width":100,"depth":50}]},)" + R"({"active":)" +
                   (c.second_active ? "true" : "false") +
                   R"(,"destinations":[{"identifier":"2","width":80,"depth":40}]}]})");
    const std::size_t before = Answers().size();
    ASSERT_TRUE(SendToPipe(Request("details", window_, DetailsForDocument(stored))));
    ASSERT_TRUE(AnswersArrive(before + 1));
    const Received answer = Answers().back();
    EXPECT_EQ(answer.code, vxlink::kAnswerExport);

    ResetSettingDefinitionsForTesting();
    BJobFile job;
    ASSERT_TRUE(ReadAnswerJob(answer.text, &job));
    EXPECT_EQ(job.jobId(), "AB");
    EXPECT_EQ(job.outputFile().path(), InRuntime("out/Spring advert"));
    EXPECT_EQ(job.pageInfoFile().path(), InRuntime("out/Spring advert.pi"));
    ASSERT_EQ(job.groups().Count(), 2u);
    EXPECT_EQ(job.groups().At(0).active(), c.expect_first);
    EXPECT_EQ(job.groups().At(1).active(), c.expect_second);
    ASSERT_EQ(job.absolutePageRanges().Count(), 1u);
    EXPECT_EQ(job.absolutePageRanges().At(0).start(), 1);
    EXPECT_EQ(job.absolutePageRanges().At(0).count(), 1);
    EXPECT_DOUBLE_EQ(job.RequiredPDFVersion(), 1.4);
    EXPECT_NE(SettingDefinitions()->find("Setting_PDFVersion"), nullptr) << "no definitions (Dp)";
  }
  // The plug-in writes the PDF there.
  EXPECT_TRUE(fs::is_directory(InRuntime("out")));
  ResetSettingDefinitionsForTesting();
}

TEST_F(DeskTest, DetailsForTheDocumentWithoutAReadableJobGetNoAnswer) {
  StartDesk();
  const std::string garbage = "JOB5 but not a key stream";
  const std::string requests[] = {
      Request("details", window_, R"("v":"not Base64!","x":true,)"),
      Request("details", window_, R"("v":"QQ=","x":true,)"),
      Request("details", window_, DetailsForDocument(garbage)),
      Request("details", window_, R"("x":true,)"),
  };
  for (const std::string& request : requests) ASSERT_TRUE(SendToPipe(request));
  ASSERT_TRUE(SendToPipe(Request("about", window_)));
  ASSERT_TRUE(AnswersArrive(1));
  // The about answer comes after anything the requests above would get.
  const std::vector<Received> answers = Answers();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].code, vxlink::kAnswerBringToFront);
  const std::string log = Log();
  EXPECT_EQ(Occurrences(log, "\"v\" is not Base64 text"), 3u) << log;
  EXPECT_EQ(Occurrences(log, "cannot make the answer"), 1u) << log;
}

// --- Options ----------------------------------------------------------------------

TEST_F(DeskTest, StartLateServesThePipeOnlyAfterItsWait) {
  StartDesk({"--start-late", "1500"}, false);
  ASSERT_TRUE(LogSays("waiting 1500 ms")) << Log();
  vxp::PipeError error = vxp::ePipeError_None;
  EXPECT_EQ(vxp::LinkService::Default().open_pipe(vxlink::PipeName(), &error), nullptr);
  EXPECT_EQ(error, vxp::ePipeError_NoSuchPipe);
  ASSERT_TRUE(LogSays("serving ")) << Log();
  ASSERT_TRUE(SendToPipe(Request("about", window_)));
  EXPECT_TRUE(AnswersArrive(1));
}

TEST_F(DeskTest, StopAfterMessagesSendsTheirAnswersThenEnds) {
  StartDesk({"--stop-after", "3"});
  // The window is not pumped yet, so the first answer waits for it and the
  // second is still queued when the third message ends the run.
  ASSERT_TRUE(SendToPipe(R"({"what":"ping"})"));
  ASSERT_TRUE(SendToPipe(Request("about", window_)));
  ASSERT_TRUE(SendToPipe(Request("joblist", window_)));
  ASSERT_TRUE(LogSays("stopping after 3 messages")) << Log();
  int code = -1;
  ASSERT_TRUE(PumpUntil([&] { return DeskEnds(&code, 0); }));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Answers().size(), 2u) << "queued answers were dropped";
  EXPECT_FALSE(SendToPipe(R"({"what":"ping"})"));
  EXPECT_FALSE(fs::exists(InRuntime("vxdesk.pid")));
}

TEST_F(DeskTest, RefuseHoldsThePipeButTakesNoConnection) {
  StartDesk({"--refuse"});
  EXPECT_NE(Log().find("refusing every connection"), std::string::npos);
  vxp::PipeError error = vxp::ePipeError_None;
  EXPECT_EQ(vxp::LinkService::Default().open_pipe(vxlink::PipeName(), &error), nullptr);
  EXPECT_EQ(error, vxp::ePipeError_NoSuchPipe);
  EXPECT_EQ(FileText(InRuntime("vxdesk-record.jsonl")), "");
}

TEST_F(DeskTest, EndAfterEndsARunNobodyStops) {
  // Even while it still waits to serve.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--end-after", "1"}, {"--end-after", "1", "--start-late", "60000"}}) {
    StartDesk(args, false);
    int code = -1;
    ASSERT_TRUE(DeskEnds(&code));
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(fs::exists(InRuntime("vxdesk.pid")));
  }
}

TEST_F(DeskTest, ASecondDeskLeavesTheServingOneAlone) {
  StartDesk();
  const std::string pid = FileText(InRuntime("vxdesk.pid"));
  const RunResult second = RunDesk({"--end-after", "5"});
  EXPECT_EQ(second.exit_code, 1);
  EXPECT_NE(Log().find("is served by another program"), std::string::npos) << Log();
  EXPECT_EQ(FileText(InRuntime("vxdesk.pid")), pid);
  ASSERT_TRUE(SendToPipe(Request("about", window_)));
  EXPECT_TRUE(AnswersArrive(1));
}

// --- send -------------------------------------------------------------------------

TEST_F(DeskTest, SendAnswersTheLastWindowRecorded) {
  const vxp::WindowHandle earlier = MakeWindow();
  const std::string job_file = WriteFile("job.json", kJobFile);
  // As a serving vxdesk writes it; the last line with a window wins, lines
  // without one are passed over.
  std::ofstream(InRuntime("vxdesk-record.jsonl")) << Request("about", earlier) << "\n"
                                                  << Request("joblist", window_) << "\n"
                                                  << R"({"what":"ping"})"
                                                  << "\n";
  struct Case {
    std::vector<std::string> args;
    std::uint64_t code;
    const char* job_id;  // null: no payload
    bool completed;      // FS and PI set
  };
  const Case cases[] = {
      {{"send", "attach"}, vxlink::kAnswerAttachJob, kBuiltInJobId, false},
      {{"send", "details", job_file},
       vxlink::kAnswerNewDetails,
       "11111111-2222-4333-8444-555555555555",
       false},
      {{"send", "export", job_file}, vxlink::kAnswerExport, "11111111-2222-4333-8444-555555555555", true},
      {{"send", "front"}, vxlink::kAnswerBringToFront, nullptr, false},
      {{"send", "777"}, 777, kBuiltInJobId, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1]);
    const std::size_t before = Answers().size();
    const RunResult run = RunDesk(c.args);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, "1\n");
    ASSERT_EQ(Answers().size(), before + 1);
    const Received answer = Answers().back();
    EXPECT_EQ(answer.window, window_);
    EXPECT_EQ(answer.code, c.code);
    if (c.job_id == nullptr) {
      EXPECT_EQ(answer.text, "");
      continue;
    }
    BJobFile job;
    ASSERT_TRUE(ReadAnswerJob(answer.text, &job));
    EXPECT_EQ(job.jobId(), c.job_id);
    EXPECT_EQ(job.outputFile().path(), c.completed ? InRuntime("out/Test advert") : "");
  }
  ResetSettingDefinitionsForTesting();
}

TEST_F(DeskTest, SendFailsWhenTheWindowDoesNotTakeTheAnswer) {
  const std::string record = InRuntime("vxdesk-record.jsonl");
  // A window that refuses the answer.
  std::ofstream(record) << Request("about", window_) << "\n";
  SetWindowResult(0);
  RunResult run = RunDesk({"send", "attach"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "0\n");

  // A window that is gone.
  std::ofstream(record) << Request("about", 2147483000) << "\n";
  run = RunDesk({"send", "attach", "--answer-timeout", "500"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("not delivered to window 2147483000"), std::string::npos) << run.err;

  // No request with a window.
  std::ofstream(record) << R"({"what":"ping"})"
                        << "\n";
  run = RunDesk({"send", "attach"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("no request with a window"), std::string::npos) << run.err;

  for (const std::vector<std::string>& args : {std::vector<std::string>{"send"},
                                               {"send", "sideways"},
                                               {"send", "attach", "a.json", "b.json"},
                                               {"--slow"}}) {
    run = RunDesk(args);
    EXPECT_EQ(run.exit_code, 2) << args.back();
  }
}

// --- stop -------------------------------------------------------------------------

TEST_F(DeskTest, StopEndsTheRunningDeskAndIsContentWithNone) {
  StartDesk();
  const std::string pid = std::to_string(desk_->id());
  RunResult run = RunDesk({"stop"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "stopped vxdesk " + pid + "\n");
  // Done serving when stop returns; the process itself ends right after.
  EXPECT_FALSE(fs::exists(InRuntime("vxdesk.pid")));
  EXPECT_FALSE(SendToPipe(R"({"what":"ping"})"));
  int code = -1;
  EXPECT_TRUE(DeskEnds(&code));
  EXPECT_EQ(code, 0);

  run = RunDesk({"stop"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, "no vxdesk running\n");
}

TEST_F(DeskTest, StopRemovesThePidFileOfADeskThatDied) {
  std::ofstream(InRuntime("vxdesk.pid")) << "4000000\n";
  const RunResult run = RunDesk({"stop"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_FALSE(fs::exists(InRuntime("vxdesk.pid")));
  EXPECT_FALSE(fs::exists(InRuntime("vxdesk.stop")));
}

// --- Started without arguments ------------------------------------------------------

TEST_F(DeskTest, StartedWithoutArgumentsItTakesItsSettingsFromTheRuntimeFolder) {
  const std::string job_file = WriteFile("job.json", kJobFile);
  RunResult config = RunDesk({"--config", "--job", job_file, "--stop-after", "2"});
  ASSERT_EQ(config.exit_code, 0) << config.err;
  ASSERT_TRUE(fs::exists(InRuntime("vxdesk.json")));

  StartDesk();
  std::string registered;
  ASSERT_TRUE(vxp::LinkService::Default().read_registry_text(vxp::eRegistryHive_CurrentUser,
                                                             vxlink::kApplicationKey, "", &registered));
  EXPECT_TRUE(fs::equivalent(registered, VXDESK)) << registered;
  EXPECT_EQ(FileText(InRuntime("vxdesk.pid")), std::to_string(desk_->id()) + "\n");

  ASSERT_TRUE(SendToPipe(R"({"what":"ping"})"));
  ASSERT_TRUE(SendToPipe(Request("details", window_, R"("v":"",)")));
  int code = -1;
  ASSERT_TRUE(PumpUntil([&] { return DeskEnds(&code, 0); })) << "stop-after from the settings file";
  EXPECT_EQ(code, 0);
  ASSERT_EQ(Answers().size(), 1u);
  BJobFile job;
  ASSERT_TRUE(ReadAnswerJob(Answers()[0].text, &job));
  EXPECT_EQ(job.jobId(), "11111111-2222-4333-8444-555555555555");
  ResetSettingDefinitionsForTesting();

  // Everything went to the log.
  EXPECT_EQ(FileText(InFolder("desk.out")), "");
  EXPECT_EQ(FileText(InFolder("desk.err")), "");
  EXPECT_NE(Log().find("stopped"), std::string::npos);
}

TEST_F(DeskTest, BadSettingsEndTheStartWithTheReasonInTheLog) {
  std::ofstream(InRuntime("vxdesk.json")) << R"({"stopafter": 2})";
  StartDesk({}, false);
  int code = -1;
  ASSERT_TRUE(DeskEnds(&code));
  EXPECT_EQ(code, 1);
  EXPECT_NE(Log().find("unknown member stopafter"), std::string::npos) << Log();
  EXPECT_EQ(FileText(InFolder("desk.err")), "");

  // --config checks before it writes.
  const RunResult config = RunDesk({"--config", "--job", WriteFile("bad.json", R"({"groups": 5})")});
  EXPECT_EQ(config.exit_code, 1);
  EXPECT_NE(config.err.find("member groups"), std::string::npos) << config.err;
  EXPECT_EQ(FileText(InRuntime("vxdesk.json")), R"({"stopafter": 2})");
}

}  // namespace
}  // namespace vxdesktest
