// The PDF tools that judge the files the simulated host writes: qpdf
// (structure, cross-reference table), pdfinfo (version, page size) and
// pdftoppm (what a reader draws), each run as a program with a time-out,
// in a private temporary folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vxpdf_test {

// A new folder under /tmp, removed with everything in it on destruction.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct ToolRun {
  bool ran = false;  // started and ended within the time-out
  int exit_code = -1;
  std::string out;  // standard output and standard error, in that order
};

// Runs the tool found on PATH with args (not the program name), standard
// output and error to files in folder; a run longer than 30 s is ended.
ToolRun run_tool(const std::string& tool, const std::vector<std::string>& args, const TempFolder& folder);

// True when the tool is on PATH.
bool have_tool(const std::string& tool);

// What pdfinfo says of a file; ok false when it could not read it.
struct PdfInfo {
  bool ok = false;
  std::string version;  // "1.4"
  double width = 0;     // points
  double height = 0;
  int pages = 0;
  std::string text;  // all of pdfinfo's output
};
PdfInfo pdf_info(const std::string& pdf, const TempFolder& folder);

// The first page drawn by pdftoppm at dpi dots per inch, 8-bit RGB.
struct Raster {
  bool ok = false;
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // rows top to bottom
  std::string error;

  // The pixel that covers the point (x, y) of a page page_height points
  // high, in points from the page's lower left corner; ok false outside the
  // raster.
  struct Pixel {
    int r = 0, g = 0, b = 0;
    bool ok = false;
  };
  Pixel at_point(double x, double y, double page_height, double dpi) const;
};
Raster render(const std::string& pdf, double dpi, const TempFolder& folder);

// Reads a whole file; empty when it cannot be read.
std::string read_file(const std::string& path);

}  // namespace vxpdf_test
