#include "PdfTools.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/Platform.h"
#include "platform/Process.h"

namespace vxpdf_test {

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kToolTimeoutMs = 30000;

std::string find_tool(const std::string& tool) {
  std::string path;
  if (!vxp::Platform::Default().environment_variable("PATH", &path)) path = "/usr/bin:/bin";
  std::istringstream folders(path);
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (folder.empty()) continue;
    const fs::path candidate = fs::path(folder) / tool;
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate.string();
  }
  return {};
}

// The number after the label on pdfinfo's line that starts with it.
std::string field(const std::string& text, const std::string& label) {
  const std::size_t at = text.find("\n" + label);
  const std::size_t start =
      at == std::string::npos ? (text.rfind(label, 0) == 0 ? 0 : std::string::npos) : at + 1;
  if (start == std::string::npos) return {};
  std::size_t p = start + label.size();
  while (p < text.size() && text[p] == ' ') ++p;
  const std::size_t end = text.find('\n', p);
  return text.substr(p, end == std::string::npos ? std::string::npos : end - p);
}

}  // namespace

TempFolder::TempFolder() {
  std::string pattern = "/tmp/vxpdf-XXXXXX";
  if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool have_tool(const std::string& tool) { return !find_tool(tool).empty(); }

ToolRun run_tool(const std::string& tool, const std::vector<std::string>& args, const TempFolder& folder) {
  ToolRun run;
  const std::string program = find_tool(tool);
  if (program.empty() || folder.path().empty()) {
    run.out = tool + " is not installed (./vx installs it)";
    return run;
  }
  std::vector<std::string> argv{tool};
  argv.insert(argv.end(), args.begin(), args.end());
  vxp::SpawnOptions options;
  options.stdout_file = folder.file(tool + ".out");
  options.stderr_file = folder.file(tool + ".err");
  std::string error;
  std::unique_ptr<vxp::ChildProcess> child =
      vxp::ProcessService::Default().spawn(program, argv, options, &error);
  if (!child) {
    run.out = "cannot start " + program + ": " + error;
    return run;
  }
  if (!child->wait(kToolTimeoutMs, &run.exit_code)) {
    child->kill();
    run.out = tool + " did not end within " + std::to_string(kToolTimeoutMs / 1000) + " s";
    return run;
  }
  run.ran = true;
  run.out = read_file(options.stdout_file) + read_file(options.stderr_file);
  return run;
}

PdfInfo pdf_info(const std::string& pdf, const TempFolder& folder) {
  PdfInfo info;
  const ToolRun run = run_tool("pdfinfo", {pdf}, folder);
  info.text = run.out;
  if (!run.ran || run.exit_code != 0) return info;
  info.version = field(run.out, "PDF version:");
  info.pages = std::atoi(field(run.out, "Pages:").c_str());
  // "Page size:       595.276 x 841.89 pts (A4)"
  std::istringstream size(field(run.out, "Page size:"));
  std::string by;
  size >> info.width >> by >> info.height;
  info.ok = !size.fail() && by == "x";
  return info;
}

Raster render(const std::string& pdf, double dpi, const TempFolder& folder) {
  Raster raster;
  const std::string prefix = folder.file("page");
  char resolution[32];
  std::snprintf(resolution, sizeof resolution, "%g", dpi);
  const ToolRun run = run_tool("pdftoppm", {"-r", resolution, "-singlefile", pdf, prefix}, folder);
  if (!run.ran || run.exit_code != 0) {
    raster.error = "pdftoppm failed: " + run.out;
    return raster;
  }
  const std::string ppm = read_file(prefix + ".ppm");
  // "P6" width height maxval, each after white space, then one white space
  // and the pixels.
  std::istringstream header(ppm);
  std::string magic;
  int maxval = 0;
  header >> magic >> raster.width >> raster.height >> maxval;
  if (header.fail() || magic != "P6" || maxval != 255 || raster.width <= 0 || raster.height <= 0) {
    raster.error = "not an 8-bit PPM image";
    return raster;
  }
  const std::size_t start = static_cast<std::size_t>(header.tellg()) + 1;
  const std::size_t size =
      static_cast<std::size_t>(raster.width) * static_cast<std::size_t>(raster.height) * 3;
  if (ppm.size() < start + size) {
    raster.error = "the image is cut short";
    return raster;
  }
  raster.rgb.assign(ppm.begin() + static_cast<std::ptrdiff_t>(start),
                    ppm.begin() + static_cast<std::ptrdiff_t>(start + size));
  raster.ok = true;
  return raster;
}

Raster::Pixel Raster::at_point(double x, double y, double page_height, double dpi) const {
  Pixel pixel;
  const double scale = dpi / 72.0;
  const int column = static_cast<int>(std::floor(x * scale));
  const int row = static_cast<int>(std::floor((page_height - y) * scale));
  if (!ok || column < 0 || row < 0 || column >= width || row >= height) return pixel;
  const std::size_t at =
      (static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(column)) *
      3;
  pixel.r = rgb[at];
  pixel.g = rgb[at + 1];
  pixel.b = rgb[at + 2];
  pixel.ok = true;
  return pixel;
}

}  // namespace vxpdf_test
