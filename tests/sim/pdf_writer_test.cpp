// The one-page PDF writer, judged by real readers: qpdf checks the structure,
// pdfinfo reads the version and page size, pdftoppm draws the page.
#include "PdfWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "PdfTools.h"

namespace {

using vxpdf::Colour;
using vxpdf::Corner;
using vxpdf::Page;
using vxpdf::Path;
using vxpdf_test::Raster;
using vxpdf_test::TempFolder;

Path rectangle(double x, double y, double w, double h, std::optional<Colour> fill,
               std::optional<Colour> stroke = std::nullopt, double line_width = 1) {
  Path path;
  path.anchors = {Corner(x, y), Corner(x + w, y), Corner(x + w, y + h), Corner(x, y + h)};
  path.closed = true;
  path.fill = fill;
  path.stroke = stroke;
  path.line_width = line_width;
  return path;
}

// A circle of four cubic pieces, each control point at the usual distance
// along the tangent.
Path circle(double cx, double cy, double r, Colour fill) {
  const double k = 0.5522847498 * r;
  Path path;
  path.anchors = {
      {{cx + r, cy}, {cx + r, cy - k}, {cx + r, cy + k}},
      {{cx, cy + r}, {cx + k, cy + r}, {cx - k, cy + r}},
      {{cx - r, cy}, {cx - r, cy + k}, {cx - r, cy - k}},
      {{cx, cy - r}, {cx - k, cy - r}, {cx + k, cy - r}},
  };
  path.closed = true;
  path.fill = fill;
  return path;
}

// A number in exponent form ("1e-07", "1.2E+05") anywhere in text.
bool HasExponent(const std::string& text) {
  const auto digit = [&](std::size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
  for (std::size_t i = 1; i < text.size(); ++i) {
    if ((text[i] != 'e' && text[i] != 'E') || !digit(i - 1)) continue;
    const std::size_t next =
        i + 1 < text.size() && (text[i + 1] == '-' || text[i + 1] == '+') ? i + 2 : i + 1;
    if (digit(next)) return true;
  }
  return false;
}

std::string write(const Page& page, int minor_version) {
  std::string bytes, error;
  EXPECT_TRUE(vxpdf::WritePdf(page, minor_version, &bytes, &error)) << error;
  return bytes;
}

std::string save(const TempFolder& folder, const std::string& name, const std::string& bytes) {
  const std::string path = folder.file(name);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

class PdfWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder.path().empty()) << "cannot make a temporary folder";
    for (const char* tool : {"qpdf", "pdfinfo", "pdftoppm"}) {
      ASSERT_TRUE(vxpdf_test::have_tool(tool)) << tool << " is not installed (./vx installs it)";
    }
  }

  // qpdf finds no fault at all: exit status 0 (3 would be warnings, such as
  // a cross-reference table it had to rebuild).
  void ExpectCleanCheck(const std::string& path) {
    const vxpdf_test::ToolRun check = vxpdf_test::run_tool("qpdf", {"--check", path}, folder);
    ASSERT_TRUE(check.ran) << check.out;
    EXPECT_EQ(check.exit_code, 0) << check.out;
  }

  TempFolder folder;
};

TEST_F(PdfWriterTest, ReadersFindTheVersionAndPageSizeAsked) {
  const struct {
    double width;
    double height;
    int minor;
    bool art;
  } cases[] = {
      {612, 792, 3, true},
      {595.276, 841.89, 4, true},
      {612.28346, 858.89764, 5, true},  // A4 with 3 mm of bleed
      {1, 1, 6, false},                 // the smallest page, empty
      {14400, 14400, 7, true},          // the largest page older readers take
      {3.125, 1000.5, 7, false},
      {210.00001, 297.5, 3, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + " 1." +
                 std::to_string(c.minor));
    Page page;
    page.width = c.width;
    page.height = c.height;
    if (c.art) page.paths.push_back(rectangle(0.5, 0.5, c.width / 2, c.height / 2, Colour::Grey(0.25)));
    const std::string path = save(folder, "page.pdf", write(page, c.minor));
    ExpectCleanCheck(path);
    const vxpdf_test::PdfInfo info = vxpdf_test::pdf_info(path, folder);
    ASSERT_TRUE(info.ok) << info.text;
    EXPECT_EQ(info.version, "1." + std::to_string(c.minor));
    EXPECT_EQ(info.pages, 1);
    // pdfinfo shows six significant digits.
    EXPECT_NEAR(info.width, c.width, 0.001);
    EXPECT_NEAR(info.height, c.height, 0.001);
  }
}

// The offsets are checked byte by byte here, beside qpdf: a reader that
// rebuilds a broken table would otherwise hide a wrong offset.
TEST_F(PdfWriterTest, CrossReferenceOffsetsAndStreamLengthAreExact) {
  Page empty;
  empty.width = 100;
  empty.height = 100;
  Page many = empty;
  for (int i = 0; i < 4000; ++i) {
    many.paths.push_back(rectangle(i % 100, (i / 100) * 2.5, 0.75, 1.25, Colour::Grey((i % 11) / 10.0)));
  }
  // Numbers far from 1 must not come out in exponent form, which PDF lacks.
  Page extremes = empty;
  extremes.paths.push_back(rectangle(1e-7, -1e-7, 123456.789, 0.00002, Colour::RGB(1, 0, 0)));
  extremes.guides.push_back({-0.0, 5e-6, 99999.5, 1, Colour::RGB(0, 1, 0)});

  for (const Page* page : {&empty, &many, &extremes}) {
    SCOPED_TRACE(page->paths.size());
    const std::string pdf = write(*page, 4);
    ExpectCleanCheck(save(folder, "x.pdf", pdf));

    const std::size_t startxref = pdf.rfind("startxref\n");
    ASSERT_NE(startxref, std::string::npos);
    const std::size_t xref = std::stoul(pdf.substr(startxref + 10));
    ASSERT_EQ(pdf.compare(xref, 9, "xref\n0 5\n"), 0);
    const std::size_t entries = xref + 9;
    for (int object = 0; object < 5; ++object) {
      const std::string entry = pdf.substr(entries + 20 * object, 20);
      ASSERT_EQ(entry.size(), 20u);
      EXPECT_EQ(entry.substr(17), object == 0 ? "f \n" : "n \n") << entry;
      if (object == 0) continue;
      const std::size_t offset = std::stoul(entry.substr(0, 10));
      const std::string header = std::to_string(object) + " 0 obj\n";
      EXPECT_EQ(pdf.compare(offset, header.size(), header), 0) << "object " << object << " at " << offset;
    }
    EXPECT_EQ(pdf.compare(entries + 100, 8, "trailer\n"), 0);

    const std::size_t length_at = pdf.find("/Length ");
    const std::size_t data = pdf.find("stream\n", length_at) + 7;
    const std::size_t end = pdf.find("\nendstream", data);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(std::stoul(pdf.substr(length_at + 8)), end - data);
    const std::string content = pdf.substr(data, end - data);
    EXPECT_FALSE(HasExponent(content)) << content.substr(0, 300);
  }
}

TEST_F(PdfWriterTest, TheRendererDrawsEachPathWhereAndAsItIs) {
  constexpr double kDpi = 72;
  constexpr double kHeight = 100;
  const Colour black = Colour::Grey(0);
  Path open_v;
  open_v.anchors = {Corner(110, 20), Corner(140, 80), Corner(170, 20)};
  open_v.stroke = black;
  open_v.line_width = 4;
  Path closed_v = open_v;
  closed_v.closed = true;

  const struct {
    const char* name;
    Path path;
    struct Probe {
      double x, y;
      int r, g, b;  // expected, each within 40
    };
    std::vector<Probe> probes;
  } cases[] = {
      {"filled grey rectangle",
       rectangle(50, 20, 60, 40, Colour::Grey(0.2)),
       {{80, 40, 51, 51, 51}, {45, 40, 255, 255, 255}, {80, 65, 255, 255, 255}, {115, 40, 255, 255, 255}}},
      {"RGB fill", rectangle(10, 10, 30, 30, Colour::RGB(1, 0, 0)), {{25, 25, 255, 0, 0}}},
      {"stroke only: an outline",
       rectangle(20, 20, 60, 60, std::nullopt, black, 6),
       {{20, 50, 0, 0, 0}, {50, 50, 255, 255, 255}}},
      // Curves: inside the circle but outside the square its anchors make.
      {"cubic pieces",
       circle(100, 50, 30, black),
       {{100, 50, 0, 0, 0}, {120, 70, 0, 0, 0}, {124, 74, 255, 255, 255}}},
      {"open path is not closed", open_v, {{140, 20.5, 255, 255, 255}, {125, 50, 0, 0, 0}}},
      {"closed path is", closed_v, {{140, 20.5, 0, 0, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Page page;
    page.width = 200;
    page.height = kHeight;
    page.paths.push_back(c.path);
    const Raster raster = vxpdf_test::render(save(folder, "r.pdf", write(page, 3)), kDpi, folder);
    ASSERT_TRUE(raster.ok) << raster.error;
    EXPECT_EQ(raster.width, 200);
    EXPECT_EQ(raster.height, 100);
    for (const auto& p : c.probes) {
      const Raster::Pixel pixel = raster.at_point(p.x, p.y, kHeight, kDpi);
      ASSERT_TRUE(pixel.ok);
      EXPECT_NEAR(pixel.r, p.r, 40) << "at " << p.x << ", " << p.y;
      EXPECT_NEAR(pixel.g, p.g, 40) << "at " << p.x << ", " << p.y;
      EXPECT_NEAR(pixel.b, p.b, 40) << "at " << p.x << ", " << p.y;
    }
  }
}

TEST_F(PdfWriterTest, LaterPathsPaintOverEarlierOnesAndGuidesOverAll) {
  constexpr double kDpi = 144;
  Page page;
  page.width = 100;
  page.height = 100;
  page.paths.push_back(rectangle(10, 10, 80, 80, Colour::Grey(0)));
  page.paths.push_back(rectangle(30, 30, 40, 40, Colour::Grey(1)));
  page.guides.push_back({20, 20, 60, 60, Colour::RGB(0, 0.65, 0)});
  const Raster raster = vxpdf_test::render(save(folder, "g.pdf", write(page, 7)), kDpi, folder);
  ASSERT_TRUE(raster.ok) << raster.error;
  const auto at = [&](double x, double y) { return raster.at_point(x, y, page.height, kDpi); };
  EXPECT_EQ(at(50, 50).r, 255);  // the white square on top of the black one
  EXPECT_EQ(at(15, 50).r, 0);
  // The guide's line over the black square is green, and thin: half a point
  // beside it the black shows.
  const Raster::Pixel line = at(20.1, 50);
  EXPECT_LT(line.r, 80);
  EXPECT_GT(line.g, 100);
  EXPECT_LT(line.b, 80);
  EXPECT_EQ(at(21.5, 50).g, 0);
  EXPECT_EQ(at(18.5, 50).g, 0);
}

TEST_F(PdfWriterTest, BadInputIsRefusedAndLeavesTheOutputAlone) {
  const auto page_of = [](double w, double h, std::vector<Path> paths = {}) {
    Page page;
    page.width = w;
    page.height = h;
    page.paths = std::move(paths);
    return page;
  };
  Page bad_guide = page_of(100, 100);
  bad_guide.guides.push_back({NAN, 0, 10, 10, Colour::Grey(0)});
  Path nan_control = rectangle(0, 0, 10, 10, Colour::Grey(0));
  nan_control.anchors[2].out.y = NAN;
  const struct {
    const char* name;
    Page page;
    int minor;
    const char* reason;
  } cases[] = {
      {"version 1.2", page_of(100, 100), 2, "1.2"},
      {"version 1.8", page_of(100, 100), 8, "1.8"},
      {"no width", page_of(0, 100), 4, "at least 1"},
      {"below a point", page_of(100, 0.99), 4, "at least 1"},
      {"negative", page_of(-100, 100), 4, "at least 1"},
      {"NaN size", page_of(NAN, 100), 4, "page width"},
      {"infinite size", page_of(100, INFINITY), 4, "page height"},
      {"too large", page_of(2e6, 100), 4, "page width"},
      {"NaN control point", page_of(100, 100, {nan_control}), 4, "path 0"},
      {"grey above 1", page_of(100, 100, {rectangle(0, 0, 1, 1, Colour::Grey(1.5))}), 4, "fill"},
      {"NaN colour", page_of(100, 100, {rectangle(0, 0, 1, 1, Colour::Grey(NAN))}), 4, "fill"},
      {"red below 0", page_of(100, 100, {rectangle(0, 0, 1, 1, std::nullopt, Colour::RGB(-0.1, 0, 0))}), 4,
       "stroke"},
      {"negative line width", page_of(100, 100, {rectangle(0, 0, 1, 1, std::nullopt, Colour::Grey(0), -1)}),
       4, "line width"},
      {"guide", bad_guide, 4, "guide 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "untouched";
    std::string error;
    EXPECT_FALSE(vxpdf::WritePdf(c.page, c.minor, &out, &error));
    EXPECT_EQ(out, "untouched");
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
}

}  // namespace
