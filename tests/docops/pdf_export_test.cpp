// The PDF export: the save with its parameter block, the page information
// file, the report to Veloxa and the job marked exported in the document,
// and every way an export can fail without claiming success.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Base64.h"
#include "PdfExport.h"
#include "VeloxaLink.h"
#include "docops_fixture.h"
#include "platform/Platform.h"
#include "support/captured_log.h"
#include "utils/UFileSpecCore.h"
#include "utils/umessage.h"

namespace vxdoctest {
namespace {

// The members Veloxa adds to a job it sends for export: output file, page
// information file, one page, and the check settings that ask for a PDF
// version (none: no requirement).
std::string ExportMembers(const std::string& fs, const std::string& pi, const char* version = "1.4") {
  std::string members = R"(,"outputFile":")" + fs + R"(","pageInfoFile":")" + pi +
                        R"(","absolutePageRanges":[{"start":1,"count":1}])";
  if (version != nullptr) {
    members += R"(,"definitions":{"Setting_PDFVersion":{"type":"parameter"}},
      "settings":{"settings":[{"problem":"Setting_PDFVersion","type":"eSettingType_Parameter","note":)" +
               std::string(version) + R"(,"precision":1}]})";
  }
  return members;
}

// A four-character code from its text.
std::int32_t Key(const char* text) {
  std::uint32_t key = 0;
  for (int i = 0; i < 4; ++i) key = (key << 8) | static_cast<unsigned char>(text[i]);
  return static_cast<std::int32_t>(key);
}

// The identifiers of a job's destinations, in order.
std::vector<std::string> Destinations(const BJobFile& job) {
  std::vector<std::string> ids;
  for (const auto& group : job.groups())
    for (const auto& destination : *group) ids.push_back(destination->identifier().str());
  return ids;
}

// The job of an "exported" request.
bool ReportedJob(const std::string& request, BJobFile* job) {
  umessage m;
  std::istringstream text(request);
  ustring what, v;
  std::string bytes;
  if (!m.read(text) || !m.get("what", 0, what) || what != "exported" || !m.get("v", 0, v) ||
      !base64_decode(v.view(), &bytes)) {
    ADD_FAILURE() << "not an exported request: " << request;
    return false;
  }
  std::istringstream in(bytes);
  job->ReadJob(in, eJobFileContent_Full);
  return true;
}

class PdfExportTest : public DocOpsTest {
 protected:
  void SetUp() override {
    DocOpsTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    InstallSaveEffect();
  }
  // The document made for the demo job, then the export answer for it.
  void Export(const std::string& members) {
    Answer(vxlink::kAnswerNewDetails, Payload(Job(kDemoJob, "")));
    ASSERT_EQ(host_->documents().size(), 1u);
    Answer(vxlink::kAnswerExport, Payload(Job(kDemoJob, members)));
  }
  std::string Pdf() const { return InFolder("A1.pdf"); }
  std::string PageInfo() const { return InFolder("A1.pi"); }
  // The job the document holds now.
  BJobFile& Stored() {
    stored_ = std::make_unique<BJobFile>();
    EXPECT_TRUE(StoredJob(host_->documents()[0], stored_.get()));
    return *stored_;
  }

 private:
  std::unique_ptr<BJobFile> stored_;
};

TEST_F(PdfExportTest, ExportWritesThePdfAndThePageInformationThenReportsAndMarksTheJob) {
  vxtest::CapturedLog log;
  Export(ExportMembers(InFolder("A1"), PageInfo()));
  const std::vector<vxsim::PlayedAction> saves = Played("adobe_saveACopyAs");
  ASSERT_EQ(saves.size(), 1u);
  EXPECT_EQ(saves[0].dialog_status, 3);
  EXPECT_EQ(Param(saves[0], "name")->text, Pdf());
  EXPECT_EQ(ReadFile(Pdf()).substr(0, 8), "%PDF-1.4");
  EXPECT_FALSE(ReadFile(PageInfo()).empty());

  const std::vector<std::string> requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  BJobFile reported;
  ASSERT_TRUE(ReportedJob(requests[0], &reported));
  EXPECT_EQ(reported.jobId(), "0B5E2C1A-7D3F-4A8E-9B04-D35C0F1E2A77");
  EXPECT_EQ(Destinations(reported), std::vector<std::string>{"1"}) << "the newly exported destinations";
  EXPECT_TRUE(AllExported(Stored()));
  EXPECT_FALSE(log.contains("[ERROR]")) << log.text();
  EXPECT_FALSE(log.contains("[WARN]")) << log.text();
  EXPECT_EQ(host_->live().param_blocks, 0u);
}

TEST_F(PdfExportTest, TheRequiredPdfVersionSetsTheCompatibility) {
  struct Case {
    const char* version;  // null: the job requires none
    std::int64_t compatibility;
    const char* record;
  };
  const Case cases[] = {
      {nullptr, 19, "[VXIllustrator:GetExportPDFVersion:860] couldn't map PDF VER 0\n"},
      {"1.3", 19, "[VXIllustrator:GetExportPDFVersion:851] jobs file requires pdf version 1.3\n"},
      {"1.4", 20, "[VXIllustrator:GetExportPDFVersion:851] jobs file requires pdf version 1.4\n"},
      {"1.5", 21, "[VXIllustrator:GetExportPDFVersion:851] jobs file requires pdf version 1.5\n"},
      {"1.6", 22, "[VXIllustrator:GetExportPDFVersion:851] jobs file requires pdf version 1.6\n"},
      {"1.7", 23, "[VXIllustrator:GetExportPDFVersion:851] jobs file requires pdf version 1.7\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version ? c.version : "none");
    Restart();
    vxtest::CapturedLog log;
    Export(ExportMembers(InFolder("A1"), PageInfo(), c.version));
    const std::vector<vxsim::PlayedAction> saves = Played("adobe_saveACopyAs");
    ASSERT_EQ(saves.size(), 1u);
    const vxsim::ActionParam* comp = Param(saves[0], "comp");
    ASSERT_NE(comp, nullptr);
    EXPECT_EQ(comp->type, vxsim::ActionParam::eType_Enumerated);
    EXPECT_EQ(comp->type_name, "Compatibility");
    EXPECT_EQ(comp->integer, c.compatibility);
    EXPECT_TRUE(log.contains(c.record)) << log.text();
    EXPECT_EQ(Requests().size(), 1u);
  }
}

// The block as the host receives it: every key in order with its kind and
// value; hosts above version 13 also get the five keys of page selection.
TEST_F(PdfExportTest, TheSaveGetsTheWholeParameterBlockInOrder) {
  using T = vxsim::ActionParam;
  struct Expected {
    const char* key;
    T::Type type;
    std::int64_t integer;
    double real;
    std::string text;  // string value, or the enumerated type's name
  };
  std::vector<Expected> block = {
      {"optn", T::eType_Integer, 0, 0, ""},
      {"opnm", T::eType_String, 0, 0, "Custom"},
      {"comp", T::eType_Enumerated, 20, 0, "Compatibility"},
      {"rdtr", T::eType_Boolean, 1, 0, ""},
      {"thum", T::eType_Boolean, 0, 0, ""},
      {"fwev", T::eType_Boolean, 1, 0, ""},
      {"aclr", T::eType_Boolean, 0, 0, ""},
      {"cknd", T::eType_Enumerated, 23, 0, "Color Compression Kind"},
      {"ctil", T::eType_Integer, 128, 0, ""},
      {"crsl", T::eType_Enumerated, 4, 0, "Color Resample Kind"},
      {"cres", T::eType_Integer, 300, 0, ""},
      {"crab", T::eType_Integer, 450, 0, ""},
      {"gknd", T::eType_Enumerated, 23, 0, "Gray Compression Kind"},
      {"gtil", T::eType_Integer, 128, 0, ""},
      {"grsl", T::eType_Enumerated, 4, 0, "Gray Resample Kind"},
      {"gres", T::eType_Integer, 300, 0, ""},
      {"grab", T::eType_Integer, 450, 0, ""},
      {"mknd", T::eType_Enumerated, 3, 0, "Mono Compression Kind"},
      {"mrsl", T::eType_Enumerated, 4, 0, "Mono Resample Kind"},
      {"mres", T::eType_Integer, 1200, 0, ""},
      {"mrab", T::eType_Integer, 1800, 0, ""},
      {"cart", T::eType_Boolean, 1, 0, ""},
      {"ptrm", T::eType_Boolean, 0, 0, ""},
      {"pclb", T::eType_Boolean, 0, 0, ""},
      {"ppgi", T::eType_Boolean, 0, 0, ""},
      {"preg", T::eType_Boolean, 0, 0, ""},
      {"pmtp", T::eType_Enumerated, 1, 0, "Printer Mark Type"},
      {"ptmw", T::eType_Enumerated, 1, 0, "Trim Mark Weight"},
      {"post", T::eType_Real, 0, 6.0, ""},
      {"btop", T::eType_Real, 0, 0.0, ""},
      {"bbtm", T::eType_Real, 0, 0.0, ""},
      {"blft", T::eType_Real, 0, 0.0, ""},
      {"brht", T::eType_Integer, 0, 0, ""},
      {"rato", T::eType_Integer, 100, 0, ""},
      {"pvop", T::eType_Enumerated, 1, 0, "Overprints"},
      {"flsy", T::eType_Enumerated, 3, 0, "Flattener Preset"},
      {"flsn", T::eType_String, 0, 0, "[Medium Resolution]"},
      {"fmax", T::eType_Real, 0, 300.0, ""},
      {"fmin", T::eType_Real, 0, 150.0, ""},
      {"fvba", T::eType_Integer, 75, 0, ""},
      {"fccr", T::eType_Boolean, 1, 0, ""},
      {"fosk", T::eType_Boolean, 1, 0, ""},
      {"fotx", T::eType_Boolean, 1, 0, ""},
      {"fprs", T::eType_Real, 0, 800.0, ""},
      {"vpdf", T::eType_Boolean, 0, 0, ""},
      {"usrq", T::eType_Boolean, 0, 0, ""},
      {"usps", T::eType_String, 0, 0, ""},
      {"pmpr", T::eType_Enumerated, 3, 0, "Printing Allowed"},
      {"pmch", T::eType_Enumerated, 5, 0, "Changes Allowed"},
      {"ebcp", T::eType_Boolean, 1, 0, ""},
      {"ebac", T::eType_Boolean, 1, 0, ""},
      {"ebca", T::eType_Boolean, 1, 0, ""},
      {"ebpt", T::eType_Boolean, 0, 0, ""},
      {"name", T::eType_String, 0, 0, "(the PDF)"},
      {"frmt", T::eType_String, 0, 0, "PDF File Format"},
      {"extn", T::eType_String, 0, 0, "pdf"},
  };
  const std::vector<Expected> page_keys = {
      {"bdoc", T::eType_Boolean, 0, 0, ""}, {"blnk", T::eType_Integer, 1, 0, ""},
      {"sall", T::eType_Boolean, 1, 0, ""}, {"sran", T::eType_String, 0, 0, ""},
      {"smab", T::eType_Boolean, 1, 0, ""},
  };
  for (const std::int32_t version : {13, 14, 28}) {
    SCOPED_TRACE(version);
    Restart();
    host_->set_major_version(version);
    Export(ExportMembers(InFolder("A1"), PageInfo()));
    std::vector<Expected> expected = block;
    if (version > 13) expected.insert(expected.end(), page_keys.begin(), page_keys.end());
    const std::vector<vxsim::PlayedAction> saves = Played("adobe_saveACopyAs");
    ASSERT_EQ(saves.size(), 1u);
    const std::vector<vxsim::ActionParam>& params = saves[0].params;
    ASSERT_EQ(params.size(), expected.size());
    for (std::size_t i = 0; i < params.size(); ++i) {
      const Expected& e = expected[i];
      SCOPED_TRACE(e.key);
      const vxsim::ActionParam& p = params[i];
      EXPECT_EQ(p.key, Key(e.key));
      EXPECT_EQ(p.type, e.type);
      switch (e.type) {
        case T::eType_Real:
          EXPECT_EQ(p.real, e.real);
          break;
        case T::eType_String:
          EXPECT_EQ(p.text, std::string(e.key) == "name" ? Pdf() : e.text);
          break;
        case T::eType_Enumerated:
          EXPECT_EQ(p.type_name, e.text);
          EXPECT_EQ(p.integer, e.integer);
          break;
        default:
          EXPECT_EQ(p.integer, e.integer);
      }
    }
  }
}

// A save that did not leave a new PDF fails the export: no page information
// file, no report, nothing marked exported, and an ERROR record says why.
// The job the attach step stored stays in the document.
TEST_F(PdfExportTest, AFailedSaveExportsNothing) {
  struct Case {
    const char* name;
    bool earlier;  // the PDF of an earlier export, an hour old, is there before the save
    std::function<ai::Err(const std::string& pdf)> save;
    std::string reason;
  };
  const auto nothing = [](const std::string&) { return ai::kNoErr; };
  const Case cases[] = {
      {"the action fails", false, [](const std::string&) { return ai::FourCC("DSK!"); },
       "ILLE " + std::to_string(ai::FourCC("DSK!")) + ": "},
      {"the action succeeds and writes nothing", false, nothing, " is missing\n"},
      {"an empty file", false,
       [](const std::string& pdf) {
         WriteFile(pdf, "");
         return ai::kNoErr;
       },
       " is empty\n"},
      {"only the PDF of an earlier export", true, nothing, " is older than the save\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    const std::string pdf = Pdf();
    if (c.earlier) {
      WriteFile(pdf, "%PDF-1.4\n%%EOF\n");
      const std::int64_t an_hour_ago = vxp::Platform::Default().wall_clock_seconds() - 3600;
      ASSERT_TRUE(UFileSpecCore(ustring(pdf)).set_modification_time(an_hour_ago));
    }
    host_->set_action_effect("adobe_saveACopyAs",
                             [&](vxsim::HostModel&, const vxsim::PlayedAction&) { return c.save(pdf); });
    vxtest::CapturedLog log;
    Export(ExportMembers(InFolder("A1"), PageInfo()));
    EXPECT_EQ(Played("adobe_saveACopyAs").size(), 1u);
    EXPECT_TRUE(log.contains("[ERROR]")) << log.text();
    EXPECT_TRUE(log.contains("[VXIllustrator:ExportCurrentDocAsPDF:")) << log.text();
    EXPECT_TRUE(log.contains(c.reason)) << log.text();
    EXPECT_FALSE(std::filesystem::exists(PageInfo()));
    EXPECT_TRUE(Requests().empty());
    BJobFile& stored = Stored();
    EXPECT_FALSE(AllExported(stored));
    EXPECT_EQ(stored.groups().Count(), 1u) << "the attached job must stay";
  }
}

TEST_F(PdfExportTest, APdfOfAnotherVersionIsOnlyAWarning) {
  InstallSaveEffect("%PDF-1.6");
  vxtest::CapturedLog log;
  Export(ExportMembers(InFolder("A1"), PageInfo()));
  EXPECT_TRUE(log.contains("[WARN]")) << log.text();
  EXPECT_TRUE(log.contains("begins \"%PDF-1.6\", asked for PDF 1.4\n")) << log.text();
  EXPECT_EQ(Requests().size(), 1u);
  EXPECT_TRUE(AllExported(Stored()));
}

TEST_F(PdfExportTest, APageInformationFileIsWrittenOnlyWhenAskedForAndMustBeWritten) {
  struct Case {
    const char* name;
    bool unwritable;  // else: none asked for
  };
  for (const Case& c : {Case{"asked for, cannot be written", true}, Case{"none asked for", false}}) {
    SCOPED_TRACE(c.name);
    Restart();
    vxtest::CapturedLog log;
    Export(ExportMembers(InFolder("A1"), c.unwritable ? InFolder("no-folder/A1.pi") : ""));
    EXPECT_TRUE(std::filesystem::exists(Pdf()));
    EXPECT_EQ(Requests().size(), c.unwritable ? 0u : 1u);
    EXPECT_EQ(AllExported(Stored()), !c.unwritable);
    EXPECT_EQ(log.contains("[VXIllustrator:ExportJobs:"), c.unwritable) << log.text();
    if (c.unwritable) {
      EXPECT_TRUE(
          log.contains("the page information file " + InFolder("no-folder/A1.pi") + " cannot be written"))
          << log.text();
    }
  }
}

// Without an output file the PDF would land in whatever folder the host runs
// in, as ".pdf".
TEST_F(PdfExportTest, AJobWithoutAnOutputFileIsNotSaved) {
  vxtest::CapturedLog log;
  Export(ExportMembers("", PageInfo()));
  EXPECT_TRUE(Played("adobe_saveACopyAs").empty());
  EXPECT_TRUE(log.contains("[ERROR]")) << log.text();
  EXPECT_TRUE(log.contains("the job names no output file: nothing exported\n")) << log.text();
  EXPECT_TRUE(Requests().empty());
  EXPECT_FALSE(std::filesystem::exists(PageInfo()));
}

// With no document there is nothing to save.
TEST_F(PdfExportTest, AnExportAnswerWithoutADocumentOnlySaysSo) {
  vxtest::CapturedLog log;
  Answer(vxlink::kAnswerExport, Payload(Job(kDemoJob, ExportMembers(InFolder("A1"), PageInfo()))));
  EXPECT_TRUE(log.contains("[VXIllustrator:HandleExportReply:1389] WARNING LOST MY REPLY, NO DOC OPEN!\n"))
      << log.text();
  EXPECT_TRUE(host_->actions().empty());
  EXPECT_TRUE(Requests().empty());
  EXPECT_FALSE(std::filesystem::exists(PageInfo()));
  EXPECT_FALSE(std::filesystem::exists(Pdf()));
  EXPECT_TRUE(host_->documents().empty());
}

// The report goes first; the job is marked exported in the document only
// once Veloxa was told, so a lost report is sent again by the next export.
TEST_F(PdfExportTest, AReportThatCannotBeSentLeavesTheDestinationsUnexported) {
  link_.refuse_opens = -1;
  vxtest::CapturedLog log;
  Export(ExportMembers(InFolder("A1"), PageInfo()));
  EXPECT_TRUE(std::filesystem::exists(Pdf()));
  EXPECT_TRUE(log.contains("[ERROR]")) << log.text();
  EXPECT_TRUE(log.contains("the export report did not reach Veloxa; its destinations stay unexported\n"))
      << log.text();
  EXPECT_FALSE(AllExported(Stored()));

  link_.refuse_opens = 0;
  Answer(vxlink::kAnswerExport, Payload(Job(kDemoJob, ExportMembers(InFolder("A1"), PageInfo()))));
  ASSERT_EQ(Requests().size(), 1u);
  BJobFile reported;
  ASSERT_TRUE(ReportedJob(Requests()[0], &reported));
  EXPECT_EQ(Destinations(reported), std::vector<std::string>{"1"}) << "reported again";
  EXPECT_TRUE(AllExported(Stored()));
}

TEST(JobPdfPathTest, IsTheOutputFileWithPdfAppended) {
  struct Case {
    const char* output;
    const char* pdf;
  };
  const Case cases[] = {
      {"C:\\Jobs\\A1", "C:\\Jobs\\A1.pdf"},
      {"/jobs/Spring advert", "/jobs/Spring advert.pdf"},
      {"\\\\server\\share\\A1.v2", "\\\\server\\share\\A1.v2.pdf"},
  };
  for (const Case& c : cases) {
    BJobFile job;
    job.SetOutputFile(UFileSpecCore(ustring(c.output)));
    EXPECT_EQ(JobPdfPath(job), c.pdf);
  }
}

}  // namespace
}  // namespace vxdoctest
