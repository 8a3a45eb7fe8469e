// The host's actions on the model: guides made from the selection, and the
// PDF copy "adobe_saveACopyAs" writes, judged by qpdf, pdfinfo and pdftoppm.
#include "HostActions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "HostReport.h"
#include "PdfTools.h"

namespace {

namespace fs = std::filesystem;
using vxpdf_test::Raster;
using vxpdf_test::TempFolder;
using vxsim::HostModel;

const ai::Err kPARM = ai::kBadParameterErr;
constexpr const char* kGuideKey = "DA127AE0-01B3-42C6-BADB-8D6C6E488FC8";

// The names of the files in a folder, sorted.
std::vector<std::string> listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class HostActionsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder.path().empty()); }

  template <class Suite>
  const Suite& suite(const char* name, std::int32_t version) {
    const void* table = nullptr;
    EXPECT_EQ(host.basic_suite()->AcquireSuite(name, version, &table), ai::kNoErr) << name;
    return *static_cast<const Suite*>(table);
  }

  // A closed path made as a plug-in makes one: NewArt, then its corners.
  ai::ArtHandle plugin_rectangle(double x, double y, double w, double h) {
    ai::ArtHandle art = nullptr;
    EXPECT_EQ(arts.NewArt(ai::kArtType_Path, ai::kPaintOrder_PlaceAboveAll, nullptr, &art), ai::kNoErr);
    std::vector<ai::PathSegment> segments;
    for (const ai::RealPoint p : {ai::RealPoint{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}) {
      segments.push_back({p, p, p, true});
    }
    EXPECT_EQ(paths.SetPathSegmentCount(art, 4), ai::kNoErr);
    EXPECT_EQ(paths.SetPathSegments(art, 0, 4, segments.data()), ai::kNoErr);
    EXPECT_EQ(paths.SetPathClosed(art, true), ai::kNoErr);
    return art;
  }

  void tag(ai::ArtHandle art, const char* key) {
    ai::DictionaryRef dictionary = nullptr;
    ai::DictKey k = nullptr;
    ASSERT_EQ(arts.GetDictionary(art, &dictionary), ai::kNoErr);
    ASSERT_EQ(dictionaries.Key(key, &k), ai::kNoErr);
    ASSERT_EQ(dictionaries.SetBooleanEntry(dictionary, k, true), ai::kNoErr);
    ASSERT_EQ(dictionaries.Release(dictionary), ai::kNoErr);
  }

  // What the plug-in does to draw a guide: select only the path, play the
  // action, lock the path.
  ai::ArtHandle guide(double x, double y, double w, double h, bool trim) {
    ai::ArtHandle art = plugin_rectangle(x, y, w, h);
    tag(art, kGuideKey);
    if (trim) tag(art, vxsim::kTrimGuideKey);
    EXPECT_EQ(matching.DeselectAll(), ai::kNoErr);
    EXPECT_EQ(arts.SetArtUserAttr(art, ai::kArtAttr_Selected, ai::kArtAttr_Selected), ai::kNoErr);
    EXPECT_EQ(actions.PlayActionEvent("adobe_makeGuide", ai::kDialogStatusNone, nullptr), ai::kNoErr);
    EXPECT_EQ(arts.SetArtUserAttr(art, ai::kArtAttr_Locked, ai::kArtAttr_Locked), ai::kNoErr);
    return art;
  }

  // Plays "adobe_saveACopyAs" with the parameters fill sets.
  ai::Err save(const std::function<void(ai::ActionParamBlock)>& fill) {
    ai::ActionParamBlock block = nullptr;
    EXPECT_EQ(actions.NewParamBlock(&block), ai::kNoErr);
    fill(block);
    const ai::Err result = actions.PlayActionEvent("adobe_saveACopyAs", ai::kDialogStatusNone, block);
    EXPECT_EQ(actions.DisposeParamBlock(block), ai::kNoErr);
    return result;
  }
  ai::Err save_to(const std::string& path, int compatibility) {
    return save([&](ai::ActionParamBlock block) {
      actions.SetEnumerated(block, ai::FourCC("comp"), "Compatibility", compatibility);
      actions.SetString(block, ai::FourCC("name"), path.c_str());
    });
  }

  TempFolder folder;
  HostModel host;
  const ai::ArtSuite& arts = suite<ai::ArtSuite>(ai::kArtSuite, ai::kArtSuiteVersion);
  const ai::PathSuite& paths = suite<ai::PathSuite>(ai::kPathSuite, ai::kPathSuiteVersion);
  const ai::DictionarySuite& dictionaries =
      suite<ai::DictionarySuite>(ai::kDictionarySuite, ai::kDictionarySuiteVersion);
  const ai::MatchingArtSuite& matching =
      suite<ai::MatchingArtSuite>(ai::kMatchingArtSuite, ai::kMatchingArtSuiteVersion);
  const ai::ArtboardSuite& artboards =
      suite<ai::ArtboardSuite>(ai::kArtboardSuite, ai::kArtboardSuiteVersion);
  const ai::ActionManagerSuite& actions =
      suite<ai::ActionManagerSuite>(ai::kActionManagerSuite, ai::kActionManagerSuiteVersion);
};

TEST_F(HostActionsTest, MakeGuideTurnsExactlyTheSelectedPathsIntoGuides) {
  ASSERT_EQ(actions.PlayActionEvent("adobe_makeGuide", ai::kDialogStatusNone, nullptr), ai::kNoDocumentErr);
  host.new_document(200, 100, std::nullopt);
  ai::ArtHandle chosen = plugin_rectangle(10, 10, 50, 50);
  tag(chosen, kGuideKey);
  tag(chosen, vxsim::kTrimGuideKey);
  ai::ArtHandle other = plugin_rectangle(70, 10, 50, 50);
  ai::ArtHandle not_a_path = nullptr;
  ASSERT_EQ(arts.NewArt(7, ai::kPaintOrder_PlaceAboveAll, nullptr, &not_a_path), ai::kNoErr);
  ASSERT_EQ(arts.SetArtUserAttr(not_a_path, ai::kArtAttr_Selected, ai::kArtAttr_Selected), ai::kNoErr);
  // Nothing a guide can be made of is selected: an error, and nothing changes.
  EXPECT_EQ(actions.PlayActionEvent("adobe_makeGuide", ai::kDialogStatusNone, nullptr),
            vxsim::kNothingSelectedErr);
  EXPECT_FALSE(not_a_path->guide);

  ASSERT_EQ(arts.SetArtUserAttr(chosen, ai::kArtAttr_Selected | ai::kArtAttr_Locked,
                                ai::kArtAttr_Selected | ai::kArtAttr_Locked),
            ai::kNoErr);
  const std::vector<ai::PathSegment> before = chosen->segments;
  ASSERT_EQ(actions.PlayActionEvent("adobe_makeGuide", ai::kDialogStatusNone, nullptr), ai::kNoErr);
  EXPECT_TRUE(chosen->guide);
  EXPECT_FALSE(other->guide);
  EXPECT_FALSE(not_a_path->guide);
  // The guide keeps its lock, selection, corners and tags.
  EXPECT_EQ(chosen->attributes, ai::kArtAttr_Selected | ai::kArtAttr_Locked);
  ASSERT_EQ(chosen->segments.size(), before.size());
  EXPECT_EQ(chosen->segments[2].p.h, before[2].p.h);
  const std::string report = vxsim::report_json(host, "/p.so", std::nullopt);
  EXPECT_NE(report.find(R"("guides":[{"points":[[10,10],[60,10],[60,60],[10,60]],"locked":true,"tags":[")" +
                        std::string(kGuideKey) + R"(",")" + vxsim::kTrimGuideKey + R"("]}],)"),
            std::string::npos)
      << report;
}

TEST_F(HostActionsTest, SaveWritesThePdfVersionThatCompatibilityAsks) {
  host.new_document(612.28346, 858.89764, std::nullopt);
  host.add_rectangle(28.35, 28.35, 555.59, 802.2, 0.3);
  const struct {
    const char* name;
    std::function<void(ai::ActionParamBlock)> comp;
    const char* version;
  } cases[] = {
      {"no comp", [](ai::ActionParamBlock) {}, "1.3"},
      {"19",
       [&](ai::ActionParamBlock b) { actions.SetEnumerated(b, ai::FourCC("comp"), "Compatibility", 19); },
       "1.3"},
      {"20",
       [&](ai::ActionParamBlock b) { actions.SetEnumerated(b, ai::FourCC("comp"), "Compatibility", 20); },
       "1.4"},
      {"21 as an integer", [&](ai::ActionParamBlock b) { actions.SetInteger(b, ai::FourCC("comp"), 21); },
       "1.5"},
      {"22",
       [&](ai::ActionParamBlock b) { actions.SetEnumerated(b, ai::FourCC("comp"), "Compatibility", 22); },
       "1.6"},
      {"the last of 19 and 23",
       [&](ai::ActionParamBlock b) {
         actions.SetEnumerated(b, ai::FourCC("comp"), "Compatibility", 19);
         actions.SetEnumerated(b, ai::FourCC("comp"), "Compatibility", 23);
       },
       "1.7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string pdf = folder.file("copy.pdf");  // written over each time
    ASSERT_EQ(save([&](ai::ActionParamBlock b) {
                c.comp(b);
                actions.SetString(b, ai::FourCC("name"), pdf.c_str());
              }),
              ai::kNoErr);
    const vxsim::PlayedAction& played = host.actions().back();
    ASSERT_TRUE(played.save.has_value());
    EXPECT_TRUE(played.save->written);
    EXPECT_EQ(played.save->path.value_or(""), pdf);
    EXPECT_EQ("1." + std::to_string(played.save->minor_version), c.version);
    EXPECT_EQ(played.save->width, 612.28346);

    const vxpdf_test::ToolRun check = vxpdf_test::run_tool("qpdf", {"--check", pdf}, folder);
    EXPECT_TRUE(check.ran && check.exit_code == 0) << check.out;
    const vxpdf_test::PdfInfo info = vxpdf_test::pdf_info(pdf, folder);
    ASSERT_TRUE(info.ok) << info.text;
    EXPECT_EQ(info.version, c.version);
    EXPECT_NEAR(info.width, 612.28346, 0.001);
    EXPECT_NEAR(info.height, 858.89764, 0.001);
  }
  // Only the copy is left: the file written beside it went into its place.
  EXPECT_EQ(listing(folder.path()),
            (std::vector<std::string>{"copy.pdf", "pdfinfo.err", "pdfinfo.out", "qpdf.err", "qpdf.out"}));
}

// A document whose artboard 0 is not at the origin, with a rectangle of the
// user's, a path a plug-in made (the host's default style: white fill,
// black stroke) and a guide over them.
TEST_F(HostActionsTest, ThePageIsArtboardZeroAndGuidesDoNotPrint) {
  constexpr double kDpi = 72;
  host.new_document(400, 300, std::nullopt);
  ai::ArtboardListRef list = nullptr;
  ai::ArtboardProperties properties = nullptr;
  ASSERT_EQ(artboards.GetArtboardList(&list), ai::kNoErr);
  ASSERT_EQ(artboards.GetArtboardProperties(list, 0, &properties), ai::kNoErr);
  const ai::RealRect bounds{50, 120, 250, 20};  // left, top, right, bottom: 200 x 100
  ASSERT_EQ(artboards.SetPosition(properties, &bounds), ai::kNoErr);
  ASSERT_EQ(artboards.Update(list, 0, properties), ai::kNoErr);
  artboards.DisposeArtboardProperties(properties);
  artboards.ReleaseArtboardList(list);

  host.add_rectangle(60, 30, 40, 40, 0);    // page (10, 10) - (50, 50)
  plugin_rectangle(150, 40, 40, 40);        // page (100, 20) - (140, 60)
  guide(120, 25, 120, 90, /*trim=*/false);  // page (70, 5) - (190, 95)

  const std::string pdf = folder.file("page.pdf");
  ASSERT_EQ(save_to(pdf, 20), ai::kNoErr);
  const vxpdf_test::PdfInfo info = vxpdf_test::pdf_info(pdf, folder);
  EXPECT_EQ(info.width, 200);
  EXPECT_EQ(info.height, 100);
  const Raster raster = vxpdf_test::render(pdf, kDpi, folder);
  ASSERT_TRUE(raster.ok) << raster.error;
  const auto grey = [&](double x, double y) { return raster.at_point(x, y, 100, kDpi).g; };
  EXPECT_EQ(grey(30, 30), 0);      // the user's rectangle
  EXPECT_EQ(grey(5, 5), 255);      // beside it
  EXPECT_LT(grey(100.2, 40), 60);  // the plug-in path's stroke
  EXPECT_EQ(grey(120, 40), 255);   // its white fill
  EXPECT_EQ(grey(70.2, 50), 255);  // where the guide runs: nothing

  // The preview draws the guide over the art.
  const std::string preview = folder.file("preview.pdf");
  std::string error;
  ASSERT_TRUE(vxsim::write_document_pdf(*host.current_document(), true, 7, preview, &error)) << error;
  const Raster shown = vxpdf_test::render(preview, kDpi, folder);
  ASSERT_TRUE(shown.ok) << shown.error;
  const Raster::Pixel line = shown.at_point(70.2, 50, 100, kDpi);
  EXPECT_GT(line.r, line.g + 60) << line.r << "," << line.g << "," << line.b;
  EXPECT_GT(line.b, line.g + 60);
}

TEST_F(HostActionsTest, PreviewDrawsEachGuideInTheColourOfItsRole) {
  constexpr double kDpi = 144;
  host.new_document(300, 300, std::nullopt);
  guide(50, 50, 200, 200, /*trim=*/false);  // around the trim: the bleed
  guide(60, 60, 180, 180, /*trim=*/true);   // the trim
  guide(80, 80, 140, 140, /*trim=*/false);  // inside: the type area
  const std::string preview = folder.file("preview.pdf");
  std::string error;
  ASSERT_TRUE(vxsim::write_document_pdf(*host.current_document(), true, 7, preview, &error)) << error;
  const Raster raster = vxpdf_test::render(preview, kDpi, folder);
  ASSERT_TRUE(raster.ok) << raster.error;
  const struct {
    double x;
    vxpdf::Colour colour;
  } edges[] = {
      {50.1, vxsim::kBleedGuideColour}, {60.1, vxsim::kTrimGuideColour}, {80.1, vxsim::kOtherGuideColour}};
  for (const auto& e : edges) {
    const Raster::Pixel p = raster.at_point(e.x, 150, 300, kDpi);
    EXPECT_NEAR(p.r, e.colour.component[0] * 255, 30) << e.x;
    EXPECT_NEAR(p.g, e.colour.component[1] * 255, 30) << e.x;
    EXPECT_NEAR(p.b, e.colour.component[2] * 255, 30) << e.x;
  }
  EXPECT_EQ(raster.at_point(150, 150, 300, kDpi).g, 255);
}

TEST_F(HostActionsTest, AFailedSaveWritesNothingAndLeavesAnOldCopyAsItWas) {
  const std::string old_copy = folder.file("old.pdf");
  std::ofstream(old_copy) << "OLD";
  std::ofstream(folder.file("plain.txt")) << "text";
  const std::vector<std::string> files = listing(folder.path());

  ASSERT_EQ(save_to(old_copy, 20), ai::kNoDocumentErr);
  EXPECT_EQ(host.actions().back().save->error, "no document is open");
  host.new_document(100, 100, std::nullopt);
  const struct {
    const char* name;
    std::function<void(ai::ActionParamBlock)> fill;
    ai::Err code;
    const char* error;
  } cases[] = {
      {"no name", [&](ai::ActionParamBlock b) { actions.SetEnumerated(b, ai::FourCC("comp"), "C", 20); },
       kPARM, "the parameter block has no 'name'"},
      {"name not a string", [&](ai::ActionParamBlock b) { actions.SetInteger(b, ai::FourCC("name"), 1); },
       kPARM, "'name' is not a string"},
      {"empty name", [&](ai::ActionParamBlock b) { actions.SetString(b, ai::FourCC("name"), ""); }, kPARM,
       "'name' is not an absolute path"},
      {"relative name", [&](ai::ActionParamBlock b) { actions.SetString(b, ai::FourCC("name"), ".pdf"); },
       kPARM, "'name' is not an absolute path"},
      {"comp 18",
       [&](ai::ActionParamBlock b) {
         actions.SetString(b, ai::FourCC("name"), old_copy.c_str());
         actions.SetEnumerated(b, ai::FourCC("comp"), "Compatibility", 18);
       },
       kPARM, "'comp' 18 is not a compatibility this host knows (19 to 23)"},
      {"comp 24",
       [&](ai::ActionParamBlock b) {
         actions.SetString(b, ai::FourCC("name"), old_copy.c_str());
         actions.SetEnumerated(b, ai::FourCC("comp"), "Compatibility", 24);
       },
       kPARM, "'comp' 24 is not"},
      {"comp a string",
       [&](ai::ActionParamBlock b) {
         actions.SetString(b, ai::FourCC("name"), old_copy.c_str());
         actions.SetString(b, ai::FourCC("comp"), "1.4");
       },
       kPARM, "'comp' is not an enumerated value"},
      {"no such folder",
       [&](ai::ActionParamBlock b) {
         actions.SetString(b, ai::FourCC("name"), folder.file("missing/copy.pdf").c_str());
       },
       vxsim::kCannotWriteErr, "cannot create a file beside"},
      {"a folder of that name",
       [&](ai::ActionParamBlock b) { actions.SetString(b, ai::FourCC("name"), folder.path().c_str()); },
       vxsim::kCannotWriteErr, "a folder has the name"},
      {"a file where a folder should be",
       [&](ai::ActionParamBlock b) {
         actions.SetString(b, ai::FourCC("name"), folder.file("plain.txt/copy.pdf").c_str());
       },
       vxsim::kCannotWriteErr, "cannot create a file beside"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(save(c.fill), c.code);
    const vxsim::PlayedAction& played = host.actions().back();
    EXPECT_EQ(played.result, c.code);
    ASSERT_TRUE(played.save.has_value());
    EXPECT_FALSE(played.save->written);
    EXPECT_NE(played.save->error.find(c.error), std::string::npos) << played.save->error;
    EXPECT_EQ(listing(folder.path()), files);
    EXPECT_EQ(vxpdf_test::read_file(old_copy), "OLD");
  }

  // Art the PDF cannot hold: the writer refuses it, and the old copy stays.
  host.add_rectangle(2e6, 0, 10, 10, 0);
  EXPECT_EQ(save_to(old_copy, 20), vxsim::kCannotWriteErr);
  EXPECT_NE(host.actions().back().save->error.find("cannot be written as PDF"), std::string::npos);
  // An injected failure stops the action before the save.
  ASSERT_TRUE(host.fail("PlayActionEvent:adobe_saveACopyAs", ai::FourCC("NOPE")));
  EXPECT_EQ(save_to(old_copy, 20), ai::FourCC("NOPE"));
  EXPECT_FALSE(host.actions().back().save.has_value());
  EXPECT_EQ(listing(folder.path()), files);
  EXPECT_EQ(vxpdf_test::read_file(old_copy), "OLD");
}

}  // namespace
