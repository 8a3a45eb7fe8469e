// The document operations end to end, every piece a real process: vxdesk
// answers with jobs, vxhost runs the plug-in module, which makes documents,
// draws guides, stores the job in the document, saves the PDF and reports the
// export. What the host saw comes from vxhost's report and standard error
// (the plug-in's log), what Veloxa saw from vxdesk's record, and the PDF is
// judged by qpdf and pdfinfo.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Base64.h"
#include "DeskJob.h"
#include "DeskScenario.h"
#include "JobJson.h"
#include "PdfTools.h"
#include "VeloxaLink.h"
#include "datastruct/BJobFile.h"
#include "platform/Link.h"
#include "platform/WindowSystem.h"

namespace vxdesktest {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Lengths of the A4 booking in points (1 mm = 72 / 25.4 pt).
constexpr double kTrimWidth = 595.2755906;   // 210 mm
constexpr double kTrimHeight = 841.8897638;  // 297 mm
constexpr double kBleed = 8.5039370;         // 3 mm
constexpr double kIndent = 28.3464567;       // 10 mm
constexpr double kTolerance = 0.001;

constexpr char kPick[] = "menu Job Details / Export...\n";

// A full-page A4 advertisement: 3 mm bleed on every side, a type area 10 mm
// inside the trim. The active group books it twice, once already exported;
// the other group books it once more.
std::string BookingJob(const std::string& trim = "\"width\": 595.2755906, \"depth\": 841.8897638") {
  const std::string size = trim +
                           ", \"bleedLeft\": 8.503937, \"bleedRight\": 8.503937,"
                           " \"bleedTop\": 8.503937, \"bleedBottom\": 8.503937,"
                           " \"indentLeft\": 28.3464567, \"indentRight\": 28.3464567,"
                           " \"indentTop\": 28.3464567, \"indentBottom\": 28.3464567";
  return R"({"jobId": "0C1D2E3F-4A5B-4C6D-8E7F-901A2B3C4D5E", "documentName": "A4 booking.ai", "groups": [
    {"active": true, "destinations": [
      {"identifier": "101", "textNC": "Daily News", )" +
         size + R"(},
      {"identifier": "102", "exported": true, )" +
         size + R"(}]},
    {"active": false, "destinations": [{"identifier": "201", )" +
         size + "}]}]}";
}

// Check settings that require PDF 1.4, and ones that require nothing.
constexpr char kRequiresPdf14[] =
    R"({"settings": [{"problem": "Setting_PDFVersion", "type": "eSettingType_Parameter",
                      "note": 1.4, "precision": 1}]})";
constexpr char kRequiresNothing[] = R"({"settings": []})";

json Report(const HostRun& run) {
  json report = json::parse(run.report, nullptr, false);
  if (report.is_discarded() || !report.is_object()) {
    ADD_FAILURE() << "no report; vxhost said: " << run.err;
    return json::object();
  }
  return report;
}

// The window a recorded request names.
vxp::WindowHandle WindowOf(const std::string& line) {
  const json request = json::parse(line, nullptr, false);
  if (request.is_discarded() || !request.contains("hwnd")) {
    ADD_FAILURE() << "no window in " << line;
    return 0;
  }
  return std::stoull(request["hwnd"].get<std::string>());
}

// The recorded requests of one kind ("details", "exported").
std::vector<json> RequestsOf(const std::vector<std::string>& record, const std::string& what) {
  std::vector<json> found;
  for (const std::string& line : record) {
    json request = json::parse(line, nullptr, false);
    if (!request.is_discarded() && request.value("what", "") == what) found.push_back(request);
  }
  return found;
}

// The job a request carries in "v" (Base64 of the job's bytes).
bool RequestJob(const json& request, BJobFile* job) {
  std::string bytes;
  if (!request.contains("v") || !base64_decode(request["v"].get<std::string>(), &bytes)) {
    ADD_FAILURE() << "no job in " << request;
    return false;
  }
  std::istringstream in(bytes);
  try {
    job->ReadJob(in, eJobFileContent_Full);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "the request's job cannot be read: " << e.what();
    return false;
  }
  return true;
}

// Identifiers of every destination in every group, with their exported flag.
std::vector<std::pair<std::string, bool>> Destinations(const BJobFile& job) {
  std::vector<std::pair<std::string, bool>> found;
  for (std::size_t g = 0; g < job.groups().Count(); ++g) {
    const BGroup& group = job.groups().At(g);
    for (std::size_t d = 0; d < group.Count(); ++d)
      found.emplace_back(group.At(d).identifier().str(), group.At(d).exported());
  }
  return found;
}
// The same of a job as the report shows it.
std::vector<std::pair<std::string, bool>> Destinations(const json& job) {
  std::vector<std::pair<std::string, bool>> found;
  for (const json& group : job.value("groups", json::array()))
    for (const json& d : group.value("destinations", json::array()))
      found.emplace_back(d["identifier"].get<std::string>(), d["exported"].get<bool>());
  return found;
}

// A rectangle's four corners as a guide's points list them.
json Corners(double x, double y, double w, double h) {
  return json::array(
      {json::array({x, y}), json::array({x + w, y}), json::array({x + w, y + h}), json::array({x, y + h})});
}

// Numbers (nested in arrays) equal within kTolerance.
bool Near(const json& actual, const json& expected) {
  if (expected.is_number())
    return actual.is_number() && std::abs(actual.get<double>() - expected.get<double>()) <= kTolerance;
  if (!expected.is_array() || !actual.is_array() || actual.size() != expected.size()) return false;
  for (std::size_t i = 0; i < expected.size(); ++i)
    if (!Near(actual[i], expected[i])) return false;
  return true;
}

constexpr char kGuideTag[] = "DA127AE0-01B3-42C6-BADB-8D6C6E488FC8";
constexpr char kTrimTag[] = "DA949A67-1B85-4922-B775-511D1A0504E6";

// The guides of a document: each rectangle's corners, locked, with the tags
// of a plug-in guide (the trim's with its own tag too).
struct Guide {
  double width;
  double height;
  bool trim;
};
void ExpectGuides(const json& document, double left, double bottom, double page_width, double page_height,
                  const std::vector<Guide>& guides) {
  ASSERT_EQ(document["guides"].size(), guides.size()) << document["guides"];
  for (std::size_t i = 0; i < guides.size(); ++i) {
    SCOPED_TRACE(i);
    const Guide& g = guides[i];
    const json& actual = document["guides"][i];
    EXPECT_TRUE(Near(actual["points"], Corners(left + (page_width - g.width) / 2,
                                               bottom + (page_height - g.height) / 2, g.width, g.height)))
        << actual["points"];
    EXPECT_EQ(actual["locked"], true);
    const json tags = g.trim ? json::array({kGuideTag, kTrimTag}) : json::array({kGuideTag});
    EXPECT_EQ(actual["tags"], tags);
  }
}

// The played save actions' parameters by key.
json SaveParams(const json& report) {
  for (const json& action : report["actions"])
    if (action["event"] == "adobe_saveACopyAs") return action["params"];
  ADD_FAILURE() << "no save was played";
  return json::array();
}

bool HasKey(const json& params, const std::string& key) {
  for (const json& p : params)
    if (p["key"] == key) return true;
  return false;
}

json ParamValue(const json& params, const std::string& key) {
  for (const json& p : params)
    if (p["key"] == key) return p["value"];
  return nullptr;
}

class DocumentsEndToEnd : public DeskScenario {
 protected:
  // Starts vxdesk with the job and check settings given as JSON text and the
  // output folder out in the test's folder (made unless told otherwise).
  void StartDeskWith(const std::string& job, const std::string& checks = kRequiresPdf14,
                     bool make_output_folder = true, const std::vector<std::string>& more = {}) {
    if (make_output_folder) fs::create_directory(Out());
    std::vector<std::string> args{
        "--job", WriteFile("job.json", job), "--checks", WriteFile("checks.json", checks), "--out", Out()};
    args.insert(args.end(), more.begin(), more.end());
    StartDesk(args);
  }
  std::string Out() const { return InFolder("out"); }

  // Waits until vxdesk has answered the next About pick of the test
  // (42609), so that the answers a test sends afterwards find the window of
  // the plug-in that runs now.
  bool AboutAnswered() {
    ++abouts_;
    return PumpUntil([&] { return Occurrences(Log(), "answer 42609 (0 bytes) to window ") >= abouts_; });
  }

  // `vxdesk send attach` with the job vxdesk was started with: the sender
  // reads its settings from R, not from the serving vxdesk's command line.
  RunResult SendAttach() { return RunDesk({"send", "attach", InFolder("job.json")}); }

  // Waits until the plug-in's log (vxhost's standard error) says text.
  bool HostSays(const std::string& text) {
    return PumpUntil([&] { return FileText(InFolder("host.err")).find(text) != std::string::npos; });
  }

  // Sends an answer of code with the payload's bytes to the plug-in's
  // window, as Veloxa sends it; returns the window procedure's result.
  std::int64_t SendAnswer(vxp::WindowHandle window, std::uint64_t code, const std::string& payload) {
    const std::string text = AnswerText(payload);
    return vxp::WindowSystem::Default().send_copy_data(
        window, 0, code, text.data(), static_cast<std::uint32_t>(text.size()), 5000, nullptr);
  }

  // The payload of the booking as Veloxa writes it, with changes made to
  // the job first.
  static std::string Payload(const std::string& job_json, const std::function<void(BJobFile&)>& change) {
    umessage m;
    std::istringstream in(job_json);
    EXPECT_TRUE(m.read(in));
    BJobFile job;
    const JobMessages messages = PayloadMessages(job_from_json(job, m), std::nullopt);
    change(job);
    return write_job_payload(job, messages);
  }

  // Waits for n "exported" requests in the record (the report is written
  // before vxhost ends, but vxdesk records it on its own time).
  std::vector<json> ExportedReports(std::size_t n) {
    PumpUntil([&] { return RequestsOf(Record(), "exported").size() >= n; }, n == 0 ? 500 : kPatienceMs);
    return RequestsOf(Record(), "exported");
  }

  std::size_t abouts_ = 0;  // About picks answered so far
};

// --- The demo's round trip ------------------------------------------------------------

TEST_F(DocumentsEndToEnd, TheA4BookingBecomesADocumentWithGuidesAndAPdf14ThatIsReported) {
  StartDeskWith(BookingJob());
  const HostRun run = RunHost(std::string(kPick) +
                              "wait-answer 30\n"
                              "rect 100 150 400 500 0.3\n"
                              "menu AdjustSize...\n" +
                              kPick + "wait-answer 30\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  json report = Report(run);

  // The document is the bleed box, its artboard too.
  ASSERT_EQ(report["documents"].size(), 1u);
  const json& document = report["documents"][0];
  const double width = kTrimWidth + 2 * kBleed, height = kTrimHeight + 2 * kBleed;
  EXPECT_NEAR(document["width"].get<double>(), 612.283, kTolerance);
  EXPECT_NEAR(document["height"].get<double>(), 858.898, kTolerance);
  EXPECT_TRUE(Near(document["artboards"], json::array({json::array({0, height, width, 0})})))
      << document["artboards"];
  // Type area, then trim; no bleed guides on this host (version 15 or more).
  const double type_width = kTrimWidth - 2 * kIndent, type_height = kTrimHeight - 2 * kIndent;
  ExpectGuides(document, 0, 0, width, height,
               {{type_width, type_height, false}, {kTrimWidth, kTrimHeight, true}});

  // The stored job: its layout, and the destination just exported.
  const json& job = document["job"];
  ASSERT_TRUE(job.is_object()) << document;
  EXPECT_NEAR(job["layoutBleedH"].get<double>(), kBleed, kTolerance);
  EXPECT_NEAR(job["layoutBleedV"].get<double>(), kBleed, kTolerance);
  EXPECT_NEAR(job["layoutWidth"].get<double>(), kTrimWidth, kTolerance);
  EXPECT_NEAR(job["layoutDepth"].get<double>(), kTrimHeight, kTolerance);
  EXPECT_TRUE(Near(job["geometry"]["trim"], json::array({kTrimWidth, kTrimHeight}))) << job["geometry"];
  EXPECT_EQ(Destinations(job),
            (std::vector<std::pair<std::string, bool>>{{"101", true}, {"102", true}, {"201", false}}));

  // The PDF: version 1.4 as the check setting requires, one page of the
  // document's size, sound by qpdf.
  ASSERT_EQ(report["saves"].size(), 1u);
  const json& save = report["saves"][0];
  EXPECT_EQ(save["written"], true) << save;
  EXPECT_EQ(save["version"], "1.4");
  const std::string pdf = save["path"];
  // The document was never saved: the PDF is named after the job, so that
  // another unsaved job's export cannot replace it.
  EXPECT_EQ(fs::path(pdf), fs::path(Out()) / "0C1D2E3F-4A5B-4C6D-8E7F-901A2B3C4D5E.pdf");
  vxpdf_test::TempFolder tools;
  const vxpdf_test::ToolRun check = vxpdf_test::run_tool("qpdf", {"--check", pdf}, tools);
  EXPECT_TRUE(check.ran);
  EXPECT_EQ(check.exit_code, 0) << check.out;
  const vxpdf_test::PdfInfo info = vxpdf_test::pdf_info(pdf, tools);
  ASSERT_TRUE(info.ok) << info.text;
  EXPECT_EQ(info.version, "1.4");
  EXPECT_EQ(info.pages, 1);
  EXPECT_NEAR(info.width, 612.283, 0.01);  // pdfinfo prints two decimals
  EXPECT_NEAR(info.height, 858.898, 0.01);
  // The page information file beside it.
  EXPECT_TRUE(fs::exists(fs::path(pdf).replace_extension(".pi")));

  // Veloxa heard: details without a document, details for the document,
  // then the report of the export, whose job holds only the active group's
  // destination that was exported now.
  const std::vector<json> details = RequestsOf(Record(), "details");
  ASSERT_EQ(details.size(), 2u);
  EXPECT_FALSE(details[0].contains("x"));
  EXPECT_EQ(details[1]["x"], true);
  const std::vector<json> exported = ExportedReports(1);
  ASSERT_EQ(exported.size(), 1u);
  BJobFile reported;
  ASSERT_TRUE(RequestJob(exported[0], &reported));
  const std::vector<std::pair<std::string, bool>> written = Destinations(reported);
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(written[0].first, "101");
  EXPECT_EQ(Occurrences(run.err, "[ERROR]"), 0u) << run.err;
}

// --- Documents from job details ---------------------------------------------------------

TEST_F(DocumentsEndToEnd, AJobThatBooksNoTrimSizeMakesNoDocument) {
  struct Case {
    const char* name;
    std::string job;
  };
  const Case cases[] = {
      {"no height", BookingJob("\"width\": 595.2755906, \"depth\": 0")},
      {"no width", BookingJob("\"width\": 0, \"depth\": 841.8897638")},
      {"no destinations", R"({"groups": [{"active": true, "destinations": []}]})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartDeskWith(c.job);
    const HostRun run = RunHost(std::string(kPick) + "wait-answer 30\nrun 0.2\n");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    json report = Report(run);
    EXPECT_EQ(report["documents"].size(), 0u);
    EXPECT_EQ(Occurrences(run.err, "HandleNewDetailsReply:1337] new details"), 0u) << run.err;
    EXPECT_EQ(Occurrences(run.err, "[ERROR]"), 0u) << run.err;
    // The answer was taken and is not handled again on later ticks.
    ASSERT_EQ(report["answers"].size(), 1u);
    EXPECT_EQ(report["answers"][0]["taken"], true);
    EXPECT_EQ(Occurrences(run.err, "no usable size"), 1u) << run.err;
    ASSERT_EQ(RunDesk({"stop"}).exit_code, 0);
    desk_.reset();
  }
}

// The host cannot make the new document while the user's own is open: the
// job must not land in, nor draw guides on, the user's document, and the
// failed answer is not tried again on the ticks after.
TEST_F(DocumentsEndToEnd, ANewDocumentThatFailsLeavesTheUsersDocumentAlone) {
  StartDeskWith(BookingJob());
  StartHost("new 300 400 " + InFolder("other.ai") +
            "\nfail New NEW!\nmenu About Veloxa...\nwait-answer 30\nrun 0.3\n");
  ASSERT_TRUE(AboutAnswered()) << Log();
  EXPECT_EQ(RunDesk({"send", "details", InFolder("job.json")}).out, "1\n");
  const HostRun run = FinishHost();
  ASSERT_EQ(run.exit_code, 0) << run.err;
  json report = Report(run);
  EXPECT_EQ(Occurrences(run.err, "[VXIllustrator:NewDoc:772] New document failed 1313167137"), 1u) << run.err;
  ASSERT_EQ(report["documents"].size(), 1u);
  const json& document = report["documents"][0];
  EXPECT_EQ(document["dictionary"], json::object());
  EXPECT_EQ(document["art"], json::array());
  EXPECT_EQ(document["modified"], false);
  EXPECT_EQ(report["actions"], json::array());
}

// A guide that cannot be made must not leave its path behind: a tagged,
// unlocked rectangle in the artwork would print in the PDF.
TEST_F(DocumentsEndToEnd, GuidesThatCannotBeMadeLeaveNoPathInTheArtwork) {
  StartDeskWith(BookingJob());
  const char* const failures[] = {"PlayActionEvent:adobe_makeGuide", "DeselectAll"};
  for (const char* failure : failures) {
    SCOPED_TRACE(failure);
    StartHost(std::string("new 600 800\nfail ") + failure +
              " FAI2\nmenu About Veloxa...\nwait-answer 30\nrun 0.2\n");
    ASSERT_TRUE(AboutAnswered()) << Log();
    EXPECT_EQ(SendAttach().out, "1\n");
    const HostRun run = FinishHost();
    ASSERT_EQ(run.exit_code, 0) << run.err;
    json report = Report(run);
    ASSERT_EQ(report["documents"].size(), 1u);
    const json& document = report["documents"][0];
    EXPECT_NE(run.err.find("] ILLE 1178683698"), std::string::npos)
        << "no guide failed: " << run.err;  // 'FAI2'
    EXPECT_EQ(document["art"], json::array());
    EXPECT_TRUE(document["job"].is_object()) << "the job was not stored";
  }
}

// The booking attached to a document of another size (600 x 800), then
// "AdjustSize..." twice: the host's version decides where the guides go and
// whether the artboard becomes the bleed box.
TEST_F(DocumentsEndToEnd, AdjustSizeDrawsBleedGuidesBelowVersion15AndResizesTheArtboardFrom15) {
  StartDeskWith(BookingJob());
  const double bleed_width = kTrimWidth + 2 * kBleed, bleed_height = kTrimHeight + 2 * kBleed;
  const double type_width = kTrimWidth - 2 * kIndent, type_height = kTrimHeight - 2 * kIndent;
  const Guide type{type_width, type_height, false}, trim{kTrimWidth, kTrimHeight, true},
      bleed{bleed_width, bleed_height, false};
  struct Case {
    const char* version;
    bool resized;
    std::vector<Guide> guides;
  };
  const Case cases[] = {
      {"13", false, {type, trim, bleed}},
      {"14", false, {type, trim, bleed}},
      {"15", true, {type, trim}},
      {"28", true, {type, trim}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    host_options_ = {"--host-version", c.version};
    const std::size_t before = Record().size();
    StartHost("new 600 800\nmenu About Veloxa...\nwait-answer 30\nmenu AdjustSize...\nmenu AdjustSize...\n");
    ASSERT_TRUE(RecordHolds(before + 2));
    ASSERT_TRUE(AboutAnswered()) << Log();
    const RunResult sent = SendAttach();
    EXPECT_EQ(sent.out, "1\n") << sent.err;
    const HostRun run = FinishHost();
    ASSERT_EQ(run.exit_code, 0) << run.err;
    json report = Report(run);
    ASSERT_EQ(report["documents"].size(), 1u);
    const json& document = report["documents"][0];
    EXPECT_TRUE(document["job"].is_object()) << document["job"];
    // The item was enabled for the document with a job.
    for (const json& item : report["menu"])
      if (item["text"] == "AdjustSize...") {
        EXPECT_EQ(item["enabled"], true);
        EXPECT_EQ(item["picks"], 2);
      }
    // Artboard 0 is the bleed box centred on the old one, or as it was.
    const double left = c.resized ? (600 - bleed_width) / 2 : 0;
    const double bottom = c.resized ? (800 - bleed_height) / 2 : 0;
    const double width = c.resized ? bleed_width : 600, height = c.resized ? bleed_height : 800;
    EXPECT_TRUE(Near(document["artboards"],
                     json::array({json::array({left, bottom + height, left + width, bottom})})))
        << document["artboards"];
    // One set of guides, centred on the artboard (on the page below 14).
    ExpectGuides(document, left, bottom, width, height, c.guides);
    EXPECT_EQ(document["art"].size(), c.guides.size()) << "art beyond the guides";
  }
}

TEST_F(DocumentsEndToEnd, AnAttachedJobIsStoredInTheOpenDocumentAndDroppedWithoutOne) {
  StartDeskWith(BookingJob());
  struct Case {
    const char* name;
    const char* before;
    std::size_t documents;
  };
  const Case cases[] = {
      {"a document is open", "new 600 800\n", 1},
      {"no document is open", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartHost(std::string(c.before) + "menu About Veloxa...\nwait-answer 30\nrun 0.2\n");
    ASSERT_TRUE(AboutAnswered()) << Log();
    EXPECT_EQ(SendAttach().out, "1\n");
    const HostRun run = FinishHost();
    ASSERT_EQ(run.exit_code, 0) << run.err;
    json report = Report(run);
    ASSERT_EQ(report["documents"].size(), c.documents);
    if (c.documents == 1) {
      const json& document = report["documents"][0];
      EXPECT_EQ(Destinations(document["job"]),
                (std::vector<std::pair<std::string, bool>>{{"101", false}, {"102", true}, {"201", false}}));
      // Guides, but the document keeps its size and artboard.
      EXPECT_EQ(document["guides"].size(), 2u);
      EXPECT_EQ(document["width"], 600);
      EXPECT_TRUE(Near(document["artboards"], json::array({json::array({0, 800, 600, 0})})));
    }
    if (c.documents == 0) {
      EXPECT_EQ(report["actions"].size(), 0u) << "the dropped job did something";
    }
    EXPECT_EQ(Occurrences(run.err, "[ERROR]"), 0u) << run.err;
  }
}

// What "Job Details / Export..." tells Veloxa about the current document.
TEST_F(DocumentsEndToEnd, TheDetailsRequestDescribesTheCurrentDocument) {
  StartDeskWith(BookingJob());
  const std::string named = InFolder("My advert.ai");
  struct Case {
    const char* name;
    std::string before;
    bool for_document;
    int valueLC;
    double width;  // layoutWidth, layoutDepth
    double depth;
    std::string documentName;
  };
  const Case cases[] = {
      {"no document", "", false, 0, 0, 0, ""},
      {"a document without a job", "new 500 700 " + named + "\n", true, 1, 500, 700, named},
      {"a document made for the booking", std::string(kPick) + "wait-answer 30\n", true, 1, kTrimWidth,
       kTrimHeight, "?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t before = RequestsOf(Record(), "details").size();
    const HostRun run = RunHost(c.before + kPick + "run 0.2\n");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    ASSERT_TRUE(PumpUntil([&] { return RequestsOf(Record(), "details").size() > before; }));
    const json request = RequestsOf(Record(), "details").back();
    EXPECT_EQ(request.contains("x"), c.for_document) << request;
    BJobFile job;
    ASSERT_TRUE(RequestJob(request, &job));
    EXPECT_EQ(job.valueLC(), c.valueLC);
    EXPECT_NEAR(job.layoutWidth(), c.width, kTolerance);
    EXPECT_NEAR(job.layoutDepth(), c.depth, kTolerance);
    EXPECT_EQ(job.documentName().str(), c.documentName);
    EXPECT_FALSE(job.flagSE());
    EXPECT_FALSE(job.combineGroups());
  }
}

// --- The PDF export -----------------------------------------------------------------

TEST_F(DocumentsEndToEnd, TheSaveBlockAndPdfVersionFollowTheHostAndTheRequiredVersion) {
  const char* const kNewerKeys[] = {"bdoc", "blnk", "sall", "sran", "smab"};
  struct Case {
    const char* name;
    const char* version;
    const char* checks;
    int compatibility;
    const char* pdf;
    bool newer_keys;
    bool unmapped;
  };
  const Case cases[] = {
      {"version 13, PDF 1.4 required", "13", kRequiresPdf14, 20, "1.4", false, false},
      {"version 14, nothing required", "14", kRequiresNothing, 19, "1.3", true, true},
      {"version 28, PDF 1.4 required", "28", kRequiresPdf14, 20, "1.4", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartDeskWith(BookingJob(), c.checks);
    host_options_ = {"--host-version", c.version};
    const HostRun run = RunHost(std::string(kPick) + "wait-answer 30\n" + kPick + "wait-answer 30\n");
    ASSERT_EQ(run.exit_code, 0) << run.err;
    json report = Report(run);
    const json params = SaveParams(report);
    EXPECT_EQ(ParamValue(params, "comp"), c.compatibility);
    for (const char* key : kNewerKeys) EXPECT_EQ(HasKey(params, key), c.newer_keys) << key;
    EXPECT_EQ(Occurrences(run.err, "couldn't map PDF VER 0"), c.unmapped ? 1u : 0u) << run.err;
    ASSERT_EQ(report["saves"].size(), 1u);
    EXPECT_EQ(report["saves"][0]["version"], c.pdf);
    EXPECT_EQ(ExportedReports(1).size(), 1u);
    ASSERT_EQ(RunDesk({"stop"}).exit_code, 0);
    desk_.reset();
    fs::remove(InRuntime("vxdesk-record.jsonl"));
  }
}

// An export that did not leave a complete PDF and page information file
// behind is no export: nothing is reported, the stored job keeps its
// destinations unexported, and an ERROR record says why.
TEST_F(DocumentsEndToEnd, AFailedExportIsNeitherReportedNorMarked) {
  struct Case {
    const char* name;
    const char* fail;     // a host failure before the export
    bool output_folder;   // the output folder can be made (a file stands there otherwise)
    bool earlier_pdf;     // a PDF of an earlier export is there
    bool pi_is_a_folder;  // the page information file cannot be written
    const char* error;    // in the ERROR record
  };
  const Case cases[] = {
      {"the save fails", "fail PlayActionEvent:adobe_saveACopyAs WRT!\n", true, false, false, "not saved"},
      {"the output folder cannot be made", "", false, false, false, "not saved"},
      {"the save fails over an earlier export's PDF", "fail PlayActionEvent:adobe_saveACopyAs WRT!\n", true,
       true, false, "not saved"},
      {"the page information file cannot be written", "", true, false, true, "the page information file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(Out());
    if (!c.output_folder) WriteFile("out", "a file where the output folder should be");
    StartDeskWith(BookingJob(), kRequiresPdf14, c.output_folder);
    // The document gets a name, so that the PDF's is known: out/Advert.pdf.
    const std::string pdf = Out() + "/Advert.pdf", pi = Out() + "/Advert.pi";
    const std::string earlier = "%PDF-1.4\n% an earlier export\n";
    if (c.earlier_pdf) {
      WriteFile("out/Advert.pdf", earlier);
      fs::last_write_time(pdf, fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    if (c.pi_is_a_folder) fs::create_directory(pi);
    StartHost("new 612.2834646 858.8976378 " + InFolder("Advert.ai") +
              "\nmenu About Veloxa...\nwait-answer 30\n" + c.fail + kPick + "wait-answer 30\n");
    ASSERT_TRUE(AboutAnswered()) << Log();
    ASSERT_EQ(SendAttach().out, "1\n");
    const HostRun run = FinishHost();
    ASSERT_EQ(run.exit_code, 0) << run.err;
    json report = Report(run);

    EXPECT_TRUE(ExportedReports(0).empty()) << "a failed export was reported";
    EXPECT_NE(run.err.find("[ERROR]"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
    if (!c.pi_is_a_folder) {
      EXPECT_FALSE(fs::exists(pi));
    }
    if (c.earlier_pdf) {
      EXPECT_EQ(FileText(pdf), earlier);
    }
    ASSERT_EQ(report["documents"].size(), 1u);
    EXPECT_EQ(Destinations(report["documents"][0]["job"]),
              (std::vector<std::pair<std::string, bool>>{{"101", false}, {"102", true}, {"201", false}}));
    ASSERT_EQ(RunDesk({"stop"}).exit_code, 0);
    desk_.reset();
    fs::remove(InRuntime("vxdesk-record.jsonl"));
  }
}

// Veloxa ends between its export answer and the plug-in's report (vxdesk
// stops after the four messages of the two picks, while the ticks are held):
// the PDF is written, but the destinations stay unexported, so that the next
// export reports them again.
TEST_F(DocumentsEndToEnd, AReportThatCannotReachVeloxaLeavesTheDestinationsUnexported) {
  StartDeskWith(BookingJob(), kRequiresPdf14, true, {"--stop-after", "4"});
  // Nothing that could be started in its place.
  ASSERT_TRUE(vxp::LinkService::Default().write_registry_text(
      vxp::eRegistryHive_CurrentUser, vxlink::kApplicationKey, "", InFolder("no-such-program")));
  const HostRun run = RunHost(std::string(kPick) + "wait-answer 30\nticks off\n" + kPick +
                              "run 5\nticks on\nwait-answer 30\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  int code = -1;
  EXPECT_TRUE(DeskEnds(&code));
  json report = Report(run);
  ASSERT_EQ(report["saves"].size(), 1u);
  EXPECT_EQ(report["saves"][0]["written"], true);
  EXPECT_TRUE(RequestsOf(Record(), "exported").empty());
  EXPECT_NE(run.err.find("the export report did not reach Veloxa"), std::string::npos) << run.err;
  ASSERT_EQ(report["documents"].size(), 1u);
  EXPECT_EQ(Destinations(report["documents"][0]["job"]),
            (std::vector<std::pair<std::string, bool>>{{"101", false}, {"102", true}, {"201", false}}));
}

// Answers that Veloxa's own sender never makes, sent to the plug-in's window
// by the test: each is handled once, changes nothing it must not, and the
// plug-in goes on to handle the next answer.
TEST_F(DocumentsEndToEnd, AnswersThatCannotBeExportedOrReadChangeNothingAndThePlugInCarriesOn) {
  StartDeskWith(BookingJob());
  const std::string booking = BookingJob();
  const std::string no_output = Payload(booking, [](BJobFile& job) {
    job.groups().At(0).SetActive(true);
    job.SetPageInfoFile(UFileSpecCore(ustring("")));
  });
  const std::string pi = InFolder("lost.pi");
  const std::string complete = Payload(booking, [&](BJobFile& job) {
    job.SetOutputFile(UFileSpecCore(ustring(InFolder("lost"))));
    job.SetPageInfoFile(UFileSpecCore(ustring(pi)));
  });
  struct Case {
    const char* name;
    const char* before;
    std::uint64_t code;
    std::string payload;
    const char* logged;  // what the plug-in's log says of it
    bool error;          // as an ERROR record
    std::size_t documents;
  };
  const Case cases[] = {
      {"an export answer without an output file", "new 600 800\n", vxlink::kAnswerExport, no_output,
       "the job names no output file", true, 1},
      {"an export answer with no document open", "", vxlink::kAnswerExport, complete,
       "WARNING LOST MY REPLY, NO DOC OPEN!", false, 0},
      {"a details answer that is no job", "", vxlink::kAnswerNewDetails, "no job at all",
       "HandleReceivedEvent:76] UKeyInStream", true, 0},
      {"an export answer that is no job", "new 600 800\n", vxlink::kAnswerExport, std::string(40, '\xFF'),
       "HandleReceivedEvent:76] UKeyInStream", true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartHost(std::string(c.before) + "menu About Veloxa...\nwait-answer 30\nwait-answer 30\n");
    ASSERT_TRUE(AboutAnswered()) << Log();
    const vxp::WindowHandle window = WindowOf(Record().back());
    EXPECT_EQ(SendAnswer(window, c.code, c.payload), 1);
    ASSERT_TRUE(HostSays(c.logged)) << FileText(InFolder("host.err"));
    // The plug-in goes on: the next answer, good details, makes a document.
    EXPECT_EQ(RunDesk({"send", "details"}).out, "1\n");
    const HostRun run = FinishHost();
    ASSERT_EQ(run.exit_code, 0) << run.err;
    json report = Report(run);
    EXPECT_EQ(Occurrences(run.err, c.logged), 1u) << run.err;
    EXPECT_EQ(Occurrences(run.err, "[ERROR]"), c.error ? 1u : 0u) << run.err;
    EXPECT_EQ(report["saves"].size(), 0u);
    EXPECT_FALSE(fs::exists(pi));
    EXPECT_EQ(report["documents"].size(), c.documents + 1);
    EXPECT_EQ(Occurrences(run.err, "HandleNewDetailsReply:1337] new details"), 1u) << run.err;
  }
  EXPECT_TRUE(RequestsOf(Record(), "exported").empty());
}

// With Veloxa not running and nothing registered to start, the command
// returns at once and changes nothing; once Veloxa runs, it works.
TEST_F(DocumentsEndToEnd, JobDetailsWithVeloxaNotRunningChangesNothingUntilItRuns) {
  const HostRun lost = RunHost(std::string(kPick) + "run 0.2\n");
  ASSERT_EQ(lost.exit_code, 0) << lost.err;
  json report = Report(lost);
  EXPECT_EQ(report["documents"].size(), 0u);
  EXPECT_EQ(report["answers"].size(), 0u);
  for (const json& m : report["messages"]) EXPECT_EQ(m["result"], 0) << m;
  EXPECT_FALSE(fs::exists(InRuntime("vxdesk.log"))) << "something was started";

  StartDeskWith(BookingJob());
  const HostRun found = RunHost(std::string(kPick) + "wait-answer 30\n");
  ASSERT_EQ(found.exit_code, 0) << found.err;
  EXPECT_EQ(Report(found)["documents"].size(), 1u);
}

}  // namespace
}  // namespace vxdesktest
