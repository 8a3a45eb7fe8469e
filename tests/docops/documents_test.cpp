// Documents from job details: the new document, its guides and artboard, the
// job's colour profiles, and the job-details request.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "Base64.h"
#include "Documents.h"
#include "JobJson.h"
#include "VeloxaLink.h"
#include "docops_fixture.h"
#include "support/captured_log.h"
#include "utils/umessage.h"

namespace vxdoctest {
namespace {

constexpr double kTolerance = 1e-9;

void ExpectRectangles(const std::vector<Rectangle>& actual, const std::vector<Rectangle>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    SCOPED_TRACE("guide " + std::to_string(i));
    EXPECT_NEAR(actual[i].x, expected[i].x, kTolerance);
    EXPECT_NEAR(actual[i].y, expected[i].y, kTolerance);
    EXPECT_NEAR(actual[i].w, expected[i].w, kTolerance);
    EXPECT_NEAR(actual[i].h, expected[i].h, kTolerance);
  }
}

// --- New documents -------------------------------------------------------------

TEST_F(DocOpsTest, NewDetailsMakeADocumentOfTheBleedBoxWithCentredGuides) {
  const double type_w = 595.28 - 2 * 28.35, type_h = 841.89 - 2 * 28.35;
  struct Case {
    const char* name;
    std::int32_t version;
    std::string job;
    double width, height;  // the new document
    std::vector<Rectangle> guides;
    std::vector<bool> trim;  // which guides carry the trim tag
    const char* record;
  };
  const Case cases[] = {
      {"A4 with bleed, current host",
       28,
       Job(kDemoJob, ""),
       612.28,
       858.89,
       {{8.5, 8.5, 595.28, 841.89}},
       {true},
       "new details 595.28,841.89,612.28,858.89,0,0\n"},
      {"A4 with bleed, host 14: artboard 0",
       14,
       Job(kDemoJob, ""),
       612.28,
       858.89,
       {{8.5, 8.5, 595.28, 841.89}},
       {true},
       "new details 595.28,841.89,612.28,858.89,0,0\n"},
      {"A4 with bleed, host 13: the page",
       13,
       Job(kDemoJob, ""),
       612.28,
       858.89,
       {{8.5, 8.5, 595.28, 841.89}},
       {true},
       "new details 595.28,841.89,612.28,858.89,0,0\n"},
      {"type area first, then trim",
       28,
       Job(kDemoJobWithTypeArea, ""),
       612.28,
       858.89,
       {{8.5 + 28.35, 8.5 + 28.35, type_w, type_h}, {8.5, 8.5, 595.28, 841.89}},
       {false, true},
       "new details 595.28,841.89,612.28,858.89,538.58,785.19\n"},
      {"bleed box equal to the trim: no trim guides",
       28,
       R"({"groups":[{"active":true,"destinations":[{"identifier":"1","width":595.28,"depth":841.89}]}]})",
       595.28,
       841.89,
       {},
       {},
       "new details 595.28,841.89,595.28,841.89,0,0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    host_->set_major_version(c.version);
    vxtest::CapturedLog log;
    Answer(vxlink::kAnswerNewDetails, Payload(c.job));
    EXPECT_TRUE(log.contains("[DEBUG]")) << log.text();
    EXPECT_TRUE(log.contains("[VXIllustrator:HandleNewDetailsReply:1337] " + std::string(c.record)))
        << log.text();

    ASSERT_EQ(host_->documents().size(), 1u);
    const ai::DocumentData* document = host_->documents()[0];
    EXPECT_EQ(document, host_->current_document());
    EXPECT_NEAR(document->width, c.width, kTolerance);
    EXPECT_NEAR(document->height, c.height, kTolerance);
    ASSERT_TRUE(document->created_by_plugin.has_value());
    const vxsim::NewDocumentRecord& made = *document->created_by_plugin;
    EXPECT_EQ(made.preset_name, "");
    EXPECT_EQ(made.dialog_status, 0);
    EXPECT_EQ(made.title, "");
    const ai::NewDocumentPreset& p = made.preset;
    EXPECT_EQ(std::vector<std::int32_t>({p.artboardCount, p.field28, p.field40, p.colorModel, p.rulerUnits,
                                         p.field52, p.field56, p.field60}),
              std::vector<std::int32_t>({1, 0, 1, 2, 3, 2, 1, 2}));
    EXPECT_EQ(p.field32, 0.0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.reserved), sizeof p.reserved),
              std::string(sizeof p.reserved, '\0'));

    ExpectRectangles(Guides(document), c.guides);
    std::size_t i = 0;
    for (const ai::ArtData* art : document->art) {
      if (!art->guide) continue;
      EXPECT_TRUE(art->attributes & ai::kArtAttr_Locked) << i;
      EXPECT_TRUE(Tagged(art, kGuideTagKey)) << i;
      if (i < c.trim.size()) {
        EXPECT_EQ(Tagged(art, kTrimGuideTagKey), c.trim[i]) << i;
      }
      ++i;
    }
    EXPECT_EQ(OtherArt(document), 0u) << "a rectangle that is not a guide would print";

    BJobFile stored;
    ASSERT_TRUE(StoredJob(document, &stored));
    EXPECT_NEAR(stored.layoutBleedH(), (c.width - 595.28) / 2, kTolerance);
    EXPECT_NEAR(stored.layoutBleedV(), (c.height - 841.89) / 2, kTolerance);
    EXPECT_NEAR(stored.layoutWidth(), 595.28, kTolerance);
    EXPECT_NEAR(stored.layoutDepth(), 841.89, kTolerance);
    EXPECT_TRUE(document->modified);
    EXPECT_TRUE(Requests().empty());
  }
}

// The job of a payload built in code, for sizes JSON cannot carry.
std::string PayloadOf(double width, double depth, double indent) {
  BJobFile job;
  BDestination* destination = job.groups().NewGroup()->NewDestination();
  destination->SetWidth(width);
  destination->SetDepth(depth);
  destination->SetIndents(indent, indent, indent, indent);
  return write_job_payload(job, JobMessages{});
}

TEST_F(DocOpsTest, JobsWithoutAUsableSizeMakeNoDocument) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    std::string payload;
  };
  const Case cases[] = {
      {"trim height 0", PayloadOf(595.28, 0, 0)},
      {"no destinations", Payload(R"({"groups":[{"active":true}]})")},
      {"infinite width", PayloadOf(inf, 841.89, 0)},
      {"a type area that is not a number", PayloadOf(595.28, 841.89, nan)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vxtest::CapturedLog log;
    Answer(vxlink::kAnswerNewDetails, c.payload);
    EXPECT_TRUE(host_->documents().empty());
    EXPECT_TRUE(host_->actions().empty());
    EXPECT_TRUE(Requests().empty());
    EXPECT_FALSE(log.contains("new details ")) << log.text();
    EXPECT_FALSE(log.contains("[ERROR]")) << log.text();
  }
}

// A new document that is refused must not turn the job and its guides onto
// the document the user has open.
TEST_F(DocOpsTest, ANewDocumentThatFailsLeavesTheOpenDocumentAlone) {
  ai::DocumentData* open = host_->new_document(300, 400, std::string("/jobs/other.ai"));
  host_->fail("New", ai::FourCC("NEW!"));
  vxtest::CapturedLog log;
  Answer(vxlink::kAnswerNewDetails, Payload(Job(kDemoJob, "")));
  EXPECT_TRUE(log.contains("[VXIllustrator:NewDoc:772] New document failed 1313167137\n")) << log.text();
  ASSERT_EQ(host_->documents().size(), 1u);
  EXPECT_TRUE(open->dictionary->empty());
  EXPECT_TRUE(open->art.empty());
  EXPECT_FALSE(open->modified);
}

// --- AdjustSize ---------------------------------------------------------------------

// The user's document is 700 x 900 with artboard 0 moved to (100, 100); the
// attach answer stores the A4 job and draws its trim guides, then
// "AdjustSize..." adds bleed guides or resizes the artboard by host version.
TEST_F(DocOpsTest, AdjustSizeDrawsBleedGuidesOrResizesTheArtboardByHostVersion) {
  const double trim_x = (700 - 595.28) / 2, trim_y = (900 - 841.89) / 2;
  const double bleed_x = (700 - 612.28) / 2, bleed_y = (900 - 858.89) / 2;
  const ai::RealRect moved{100, 1000, 800, 100};
  struct Case {
    std::int32_t version;
    std::vector<Rectangle> guides;
    ai::RealRect artboard;
  };
  const Case cases[] = {
      // The page has no position: guides from (0, 0).
      {13, {{trim_x, trim_y, 595.28, 841.89}, {bleed_x, bleed_y, 612.28, 858.89}}, moved},
      {14,
       {{100 + trim_x, 100 + trim_y, 595.28, 841.89}, {100 + bleed_x, 100 + bleed_y, 612.28, 858.89}},
       moved},
      {15,
       {{100 + trim_x, 100 + trim_y, 595.28, 841.89}},
       {100 + bleed_x, 100 + bleed_y + 858.89, 100 + bleed_x + 612.28, 100 + bleed_y}},
      {28,
       {{100 + trim_x, 100 + trim_y, 595.28, 841.89}},
       {100 + bleed_x, 100 + bleed_y + 858.89, 100 + bleed_x + 612.28, 100 + bleed_y}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    Restart();
    host_->set_major_version(c.version);
    ai::DocumentData* document = host_->new_document(700, 900, std::nullopt);
    document->artboards[0] = moved;
    Answer(vxlink::kAnswerAttachJob, Payload(Job(kDemoJob, "")));
    ASSERT_EQ(Guides(document).size(), 1u) << "the attach answer draws the trim guides";

    ASSERT_TRUE(Pick("AdjustSize..."));
    ExpectRectangles(Guides(document), c.guides);
    const ai::RealRect& a = document->artboards[0];
    EXPECT_NEAR(a.left, c.artboard.left, kTolerance);
    EXPECT_NEAR(a.top, c.artboard.top, kTolerance);
    EXPECT_NEAR(a.right, c.artboard.right, kTolerance);
    EXPECT_NEAR(a.bottom, c.artboard.bottom, kTolerance);
    EXPECT_EQ(OtherArt(document), 0u);
    EXPECT_EQ(host_->live().artboard_lists, 0u);
    EXPECT_EQ(host_->live().artboard_properties, 0u);
  }
}

TEST_F(DocOpsTest, AdjustingTwiceLeavesOneSetOfGuides) {
  host_->set_major_version(14);
  Answer(vxlink::kAnswerNewDetails, Payload(Job(kDemoJobWithTypeArea, "")));
  const ai::DocumentData* document = host_->current_document();
  ASSERT_NE(document, nullptr);
  ASSERT_TRUE(Pick("AdjustSize..."));
  const std::vector<Rectangle> once = Guides(document);
  ASSERT_EQ(once.size(), 3u) << "type area, trim, bleed";
  ASSERT_TRUE(Pick("AdjustSize..."));
  ExpectRectangles(Guides(document), once);
  EXPECT_EQ(document->art.size(), 3u);
}

// A path that does not become a guide would print in the PDF: whatever step
// fails after it was made, it is disposed of.
TEST_F(DocOpsTest, GuidesThatCannotBeMadeLeaveNoPathBehind) {
  const std::string code = std::to_string(ai::FourCC("FAI2"));
  struct Case {
    const char* operation;
    std::string record;  // expected record, "" for none in particular
  };
  const Case cases[] = {
      {"PlayActionEvent:adobe_makeGuide", "[VXIllustrator:DoAction:462] ILLE " + code + "\n"},
      {"DeselectAll", "[VXIllustrator:MakeGuides:485] ILLE " + code + "\n"},
      {"SetBooleanEntry", ""},
      {"SetPathSegments", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operation);
    Restart();
    host_->fail(c.operation, ai::FourCC("FAI2"));
    vxtest::CapturedLog log;
    Answer(vxlink::kAnswerNewDetails, Payload(Job(kDemoJobWithTypeArea, "")));
    ASSERT_EQ(host_->documents().size(), 1u);
    const ai::DocumentData* document = host_->documents()[0];
    EXPECT_TRUE(document->art.empty()) << document->art.size() << " paths left";
    EXPECT_TRUE(log.contains(c.record)) << log.text();
    BJobFile stored;
    EXPECT_TRUE(StoredJob(document, &stored));
  }
}

// --- Colour profiles ----------------------------------------------------------------

// Texts 0 and 1 of "Setting_WorkingSpaceProfiles" (RGB, CMYK); the
// definitions give the setting defaults without texts.
std::string ProfileSettings(const std::string& p0, const std::string& p1) {
  const std::string definitions = R"("definitions":{"Setting_WorkingSpaceProfiles":)"
                                  R"({"type":"stringParameter","defaults":{"sev":"parameter"}}})";
  const std::string settings = R"("settings":{"settings":[{"problem":"Setting_WorkingSpaceProfiles",)"
                               R"("type":"eSettingType_StringParameter","P0":")" +
                               p0 + R"(","P1":")" + p1 + R"("}]})";
  return "," + definitions + "," + settings;
}

// The adjustment after the new document stores the copy read back from the
// document, which holds no check settings; its profiles (the definitions'
// defaults: none) must not replace the job's.
TEST_F(DocOpsTest, TheJobsColourProfilesReachTheDocumentAndStayThere) {
  const std::string rgb(3000, 'r'), cmyk(5000, 'c');
  WriteFile(InFolder("rgb.icc"), rgb);
  WriteFile(InFolder("cmyk.icc"), cmyk);
  Answer(vxlink::kAnswerNewDetails,
         Payload(Job(kDemoJob, ProfileSettings(InFolder("rgb.icc"), InFolder("cmyk.icc")))));
  ASSERT_EQ(host_->documents().size(), 1u);
  const ai::DocumentData* document = host_->documents()[0];
  ASSERT_TRUE(document->profiles_set);
  ASSERT_TRUE(document->profiles[0].has_value());
  EXPECT_EQ(document->profiles[0]->size, rgb.size());
  EXPECT_EQ(document->profiles[0]->digest, vxsim::fnv1a64(rgb.data(), rgb.size()));
  ASSERT_TRUE(document->profiles[1].has_value());
  EXPECT_EQ(document->profiles[1]->digest, vxsim::fnv1a64(cmyk.data(), cmyk.size()));
  EXPECT_FALSE(document->profiles[2].has_value());
  EXPECT_EQ(host_->live().profiles, 0u) << "the plug-in's profile handles were not given back";

  ASSERT_TRUE(Pick("AdjustSize..."));
  EXPECT_TRUE(document->profiles[0].has_value()) << "AdjustSize reset the profiles";
}

TEST_F(DocOpsTest, OnlyPlainProfileFilesOfASaneSizeAreRead) {
  struct Case {
    std::string file;     // in the folder, or an absolute or relative path
    const char* refusal;  // the ERROR record's end, "" for none
  };
  const Case cases[] = {
      {"empty.icc", " of 0 bytes refused\n"},
      {"huge.icc", " of 67108865 bytes refused\n"},
      {"folder.icc", " is not a regular file\n"},
      {"/dev/null", " is not a regular file\n"},
      {"missing.icc", ""},
      {"relative.icc", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Restart();
    WriteFile(InFolder("cmyk.icc"), std::string(500, 'c'));
    WriteFile(InFolder("empty.icc"), "");
    std::filesystem::create_directory(InFolder("folder.icc"));
    WriteFile(InFolder("huge.icc"), "");
    std::filesystem::resize_file(InFolder("huge.icc"), kMaxProfileBytes + 1);  // sparse: costs nothing
    const std::string path = c.file == "/dev/null"      ? c.file
                             : c.file == "relative.icc" ? c.file
                                                        : InFolder(c.file);
    vxtest::CapturedLog log;
    Answer(vxlink::kAnswerNewDetails, Payload(Job(kDemoJob, ProfileSettings(path, InFolder("cmyk.icc")))));
    ASSERT_EQ(host_->documents().size(), 1u);
    const ai::DocumentData* document = host_->documents()[0];
    EXPECT_FALSE(document->profiles[0].has_value());
    EXPECT_TRUE(document->profiles[1].has_value()) << "one bad file must not cost the others";
    if (*c.refusal != '\0') {
      EXPECT_TRUE(log.contains("[ERROR]")) << log.text();
      EXPECT_TRUE(log.contains("[VXIllustrator:load_profile:")) << log.text();
      EXPECT_TRUE(log.contains("colour profile " + path + c.refusal)) << log.text();
    } else {
      EXPECT_FALSE(log.contains("[ERROR]")) << log.text();
    }
  }
}

// --- The details request ----------------------------------------------------------------

// The job a details request carries, and whether it was sent for a document.
bool RequestedJob(const std::string& request, BJobFile* job, bool* forDocument) {
  umessage m;
  std::istringstream text(request);
  ustring v, what;
  if (!m.read(text) || !m.get("what", 0, what) || what != "details" || !m.get("v", 0, v)) {
    ADD_FAILURE() << "not a details request: " << request;
    return false;
  }
  *forDocument = false;
  m.get("x", 0, *forDocument);
  std::string bytes;
  if (!base64_decode(v.view(), &bytes)) return false;
  std::istringstream in(bytes);
  job->ReadJob(in, eJobFileContent_Full);
  return true;
}

TEST_F(DocOpsTest, TheDetailsRequestDescribesTheCurrentDocument) {
  struct Case {
    const char* name;
    int document;  // 0 none, 1 a saved one without a job, 2 one made for the demo job
    bool forDocument;
    std::int32_t valueLC;
    double width, depth;
    const char* documentName;
    bool record;  // DEBUG 326
  };
  const Case cases[] = {
      {"no document", 0, false, 0, 0, 0, "", false},
      {"a document without a job", 1, true, 1, 500, 700, "/jobs/advert.ai", false},
      {"a document with a job", 2, true, 1, 595.28, 841.89, "?", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    if (c.document == 1) host_->new_document(500, 700, std::string("/jobs/advert.ai"));
    if (c.document == 2) Answer(vxlink::kAnswerNewDetails, Payload(Job(kDemoJob, "")));
    vxtest::CapturedLog log;
    ASSERT_TRUE(Pick("Job Details / Export..."));
    const std::vector<std::string> requests = Requests();
    ASSERT_EQ(requests.size(), 1u);
    BJobFile job;
    bool forDocument = false;
    ASSERT_TRUE(RequestedJob(requests[0], &job, &forDocument));
    EXPECT_EQ(forDocument, c.forDocument);
    EXPECT_EQ(job.valueLC(), c.valueLC);
    EXPECT_NEAR(job.layoutWidth(), c.width, kTolerance);
    EXPECT_NEAR(job.layoutDepth(), c.depth, kTolerance);
    EXPECT_EQ(job.documentName(), c.documentName);
    EXPECT_FALSE(job.flagSE());
    EXPECT_FALSE(job.combineGroups());
    EXPECT_EQ(log.contains("[VXIllustrator:BuildDetailsRequest:326] details request "
                           "595.28,841.89,612.28,858.89,0,0\n"),
              c.record)
        << log.text();
    if (c.document == 2) {
      EXPECT_EQ(job.jobId(), "0B5E2C1A-7D3F-4A8E-9B04-D35C0F1E2A77");
      EXPECT_EQ(job.groups().Count(), 1u);
    }
  }
}

}  // namespace
}  // namespace vxdoctest
