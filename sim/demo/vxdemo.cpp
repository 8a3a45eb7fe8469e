// vxdemo: the whole road of a job, shown to a person. Starts vxdesk with a
// sample booking, runs vxhost with the plug-in and a designer's script,
// then tells step by step what happened, checks the PDF with the PDF tools,
// renders a PNG preview of the page with its guides and names the folder
// that holds it all. `vxdemo --help` describes it.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Base64.h"
#include "DemoBooking.h"
#include "JobJson.h"
#include "datastruct/BJobFile.h"
#include "platform/Platform.h"
#include "platform/Process.h"
#include "utils/utf.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr char kUsage[] = R"(usage: vxdemo [--out DIR]
       vxdemo --help

Plays one job from booking to print PDF, every piece a real process, and
tells what happened:
  1. makes the output folder DIR (default: demo/ beside the folder of this
     program, that is build/<preset>/demo) and a private runtime and
     registry folder under the temporary folder;
  2. starts vxdesk with a sample booking: a full-page A4 advertisement (trim
     210 x 297 mm, 3 mm bleed, type area 10 mm inside the trim, PDF 1.4
     required, one active group) whose PDF goes to DIR;
  3. runs vxhost with the plug-in and a designer's script (English menus,
     the plug-in's log and answer capture in DIR): "Job Details /
     Export..." with no document, the answer makes the document, an
     advertisement placed in the type area, "AdjustSize...", "Job Details /
     Export..." again, the export answer writes the PDF, a preview of the
     page with its guides;
  4. prints the requests, answers, document, guides, stored job, PDF
     (pdfinfo, qpdf --check) and the "exported" report Veloxa received;
  5. renders the preview as a PNG (pdftoppm);
  6. stops vxdesk and names the files it left in DIR.

DIR is emptied first when an earlier vxdemo made it; any other folder that
is not empty is refused. vxhost, vxdesk and VXIllustrator.so are found
beside this program; pdfinfo, qpdf and pdftoppm on PATH (poppler-utils,
qpdf; `./vx demo` installs them).

exit status: 0 every step worked; 1 a step failed (the line before says
which and why); 2 usage error.
)";

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Marks a folder as the demo's, so that a later run may empty it.
constexpr char kMarker[] = ".vxdemo";
constexpr double kPreviewDpi = 96;
// Generous bounds: every wait ends as soon as it can.
constexpr std::uint32_t kDeskStartMs = 15000;
constexpr std::uint32_t kHostRunMs = 90000;
constexpr std::uint32_t kToolMs = 30000;
// vxdesk ends by itself after this long, should this program die first.
constexpr char kDeskLifetimeSeconds[] = "300";

const char kTrimTag[] = "DA949A67-1B85-4922-B775-511D1A0504E6";

struct StepFailed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// --- Small helpers -------------------------------------------------------------

std::string utf8(const std::wstring& text) {
  std::string out;
  vxu::utf16_to_utf8(text.data(), text.size(), out);
  return out;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw StepFailed("cannot write " + path.string());
}

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// A length in millimetres as a person writes it: 210, 3, 297.5.
std::string mm(double points) {
  const double value = points / vxdemo::kPointsPerMm;
  std::string text = fixed(value, 1);
  if (text.size() > 2 && text.compare(text.size() - 2, 2, ".0") == 0) text.resize(text.size() - 2);
  return text;
}

std::string size_mm(double w, double h) { return mm(w) + " x " + mm(h) + " mm"; }
std::string size_pt(double w, double h) { return fixed(w, 3) + " x " + fixed(h, 3) + " pt"; }

// The program on PATH, or "".
std::string find_on_path(const std::string& tool) {
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

// --- The run -----------------------------------------------------------------------

struct Ran {
  int exit_code = -1;
  std::string out;
  std::string err;
};

class Demo {
 public:
  Demo(fs::path bin, fs::path out) : bin_(std::move(bin)), out_(std::move(out)) {}
  ~Demo() { Cleanup(); }

  void Run();
  // Stops a vxdesk still running and removes the private folders; safe to
  // call more than once.
  void Cleanup();
  const fs::path& out() const { return out_; }
  // The step under way: its number and title.
  int step() const { return step_; }
  const std::string& title() const { return title_; }

 private:
  void Step(const std::string& title) {
    ++step_;
    title_ = title;
    std::cout << "\n[" << step_ << "] " << title << "\n" << std::flush;
  }
  static void Line(const std::string& label, const std::string& text) {
    std::string padded = "    " + label;
    if (padded.size() < 22) padded.resize(22, ' ');
    std::cout << padded << " " << text << "\n";
  }

  void Prepare();
  void StartDesk();
  void RunHost();
  void TellRequestAndDocument();
  void TellPdf();
  void TellExported();
  void RenderPreview();
  void StopDesk();

  // Runs a program to its end (at most timeout_ms), its output in files of
  // the private folder.
  Ran RunProgram(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& environment, std::uint32_t timeout_ms);
  Ran RunTool(const std::string& tool, const std::vector<std::string>& args);
  std::vector<std::string> LinkEnvironment() const {
    return {"VX_RUNTIME_DIR=" + runtime_.string(), "VX_REGISTRY_DIR=" + registry_.string()};
  }
  std::vector<json> Record() const;
  const json& Document() const;

  fs::path bin_;
  fs::path out_;
  fs::path work_;  // private: runtime, registry, tool output
  fs::path runtime_;
  fs::path registry_;
  std::unique_ptr<vxp::ChildProcess> desk_;
  int step_ = 0;
  std::string title_;
  int runs_ = 0;
  json report_;
  std::string pdf_;
  double page_w_ = 0;
  double page_h_ = 0;
};

Ran Demo::RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::vector<std::string>& environment, std::uint32_t timeout_ms) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string tag = std::to_string(++runs_);
  vxp::SpawnOptions options;
  options.stdout_file = (work_ / (tag + ".out")).string();
  options.stderr_file = (work_ / (tag + ".err")).string();
  options.environment = environment;
  std::string error;
  std::unique_ptr<vxp::ChildProcess> child =
      vxp::ProcessService::Default().spawn(program, argv, options, &error);
  if (child == nullptr) throw StepFailed("cannot start " + program + ": " + error);
  Ran ran;
  if (!child->wait(timeout_ms, &ran.exit_code)) {
    child->kill();
    throw StepFailed(fs::path(program).filename().string() + " did not end within " +
                     std::to_string(timeout_ms / 1000) + " s");
  }
  ran.out = read_file(options.stdout_file);
  ran.err = read_file(options.stderr_file);
  return ran;
}

Ran Demo::RunTool(const std::string& tool, const std::vector<std::string>& args) {
  const std::string program = find_on_path(tool);
  if (program.empty()) throw StepFailed(tool + " is not installed (`./vx demo` installs it)");
  // The tools' numbers and messages in the C locale, whatever the machine's.
  return RunProgram(program, args, {"LC_ALL=C"}, kToolMs);
}

void Demo::Prepare() {
  Step("Setting up");
  std::error_code ec;
  for (const char* program : {"vxhost", "vxdesk", "VXIllustrator.so"}) {
    if (!fs::is_regular_file(bin_ / program, ec))
      throw StepFailed((bin_ / program).string() + " is missing: build first (`./vx build`)");
  }
  // The output folder: new, empty, or one an earlier demo made.
  if (fs::exists(out_, ec)) {
    if (!fs::is_directory(out_, ec)) throw StepFailed(out_.string() + " is not a folder");
    const bool empty = fs::is_empty(out_, ec);
    if (!empty && !fs::exists(out_ / kMarker, ec))
      throw StepFailed(out_.string() + " holds files of something else: name another with --out");
    for (const auto& entry : fs::directory_iterator(out_, ec)) fs::remove_all(entry.path(), ec);
    if (ec) throw StepFailed("cannot empty " + out_.string() + ": " + ec.message());
  } else if (!fs::create_directories(out_, ec)) {
    throw StepFailed("cannot make " + out_.string() + ": " + ec.message());
  }
  write_file(out_ / kMarker, "made by vxdemo, which empties this folder when it runs again\n");

  // The link's sockets live in the runtime folder, whose paths must stay
  // short (108 bytes): a folder of its own under the temporary folder, which
  // only this user may enter, as the link demands.
  std::wstring temporary;
  fs::path base = "/tmp";
  if (vxp::Platform::Default().temporary_directory(&temporary) && !temporary.empty())
    base = fs::path(utf8(temporary));
  const std::string pid = std::to_string(vxp::Platform::Default().current_process_id());
  for (int attempt = 0; work_.empty() && attempt < 100; ++attempt) {
    fs::path candidate = base / ("vxdemo-" + pid + (attempt ? "-" + std::to_string(attempt) : ""));
    if (fs::create_directory(candidate, ec)) work_ = candidate;
  }
  if (work_.empty()) throw StepFailed("cannot make a private folder in " + base.string());
  runtime_ = work_ / "r";
  registry_ = work_ / "registry";
  for (const fs::path& folder : {work_, runtime_, registry_}) {
    fs::create_directories(folder, ec);
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
    if (ec) throw StepFailed("cannot make " + folder.string() + ": " + ec.message());
  }
  write_file(out_ / "booking.json", vxdemo::BookingJson());
  write_file(out_ / "designer.vxs", vxdemo::DesignerScript((out_ / "preview.pdf").string()));

  Line("output folder", out_.string());
  Line("runtime, registry", work_.string() + " (private, removed at the end)");
  Line("menus", "English (LANG=C), whatever the machine's locale");
  Line("support log", (out_ / "vxillustrator.log").string() + " (VXILLUSTRATOR_LOG)");
}

void Demo::StartDesk() {
  Step("Veloxa (vxdesk) serves the booking");
  const std::string program = (bin_ / "vxdesk").string();
  const std::vector<std::string> argv{program,
                                      "--job",
                                      (out_ / "booking.json").string(),
                                      "--out",
                                      out_.string(),
                                      "--record",
                                      (out_ / "vxdesk-record.jsonl").string(),
                                      "--end-after",
                                      kDeskLifetimeSeconds};
  vxp::SpawnOptions options;
  options.environment = LinkEnvironment();
  std::string error;
  desk_ = vxp::ProcessService::Default().spawn(program, argv, options, &error);
  if (desk_ == nullptr) throw StepFailed("cannot start vxdesk: " + error);
  // It says "serving" in its log once the pipe is served.
  const fs::path log = runtime_ / "vxdesk.log";
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kDeskStartMs);
  for (;;) {
    if (read_file(log).find("] serving ") != std::string::npos) break;
    int code = 0;
    if (desk_->wait(0, &code)) {
      desk_.reset();
      throw StepFailed("vxdesk ended with status " + std::to_string(code) + ": " + read_file(log));
    }
    if (Clock::now() >= deadline) throw StepFailed("vxdesk did not start serving: " + read_file(log));
    vxp::ProcessService::Default().sleep_ms(20);
  }
  const double bleed = vxdemo::kBleedMm, inset = vxdemo::kTypeAreaInsetMm;
  Line("job", std::string(vxdemo::kJobShortName) + " \"" + vxdemo::kJobLongName + "\"");
  Line("trim", fixed(vxdemo::kTrimWidthMm, 0) + " x " + fixed(vxdemo::kTrimHeightMm, 0) + " mm, bleed " +
                   fixed(bleed, 0) + " mm on every side");
  Line("type area", fixed(inset, 0) + " mm inside the trim");
  Line("check setting", std::string("PDF ") + vxdemo::kRequiredPdfVersion + " required");
  Line("group", "one, active: destination 1 (Daily News, Full page)");
  Line("PDF goes to", out_.string());
}

void Demo::RunHost() {
  Step("The designer at work in the illustration program (vxhost)");
  std::cout << "    picks \"Job Details / Export...\" with no document open; the answer\n"
               "    makes the document; places an advertisement of "
            << vxdemo::AdvertisementRects()
            << " rectangles (a background\n"
               "    into the bleed, the rest inside the type area); picks \"AdjustSize...\";\n"
               "    picks \"Job Details / Export...\" again; the answer exports the PDF\n"
            << std::flush;
  std::vector<std::string> environment = LinkEnvironment();
  // English menu texts: the plug-in takes the language from the first of
  // LC_ALL, LC_MESSAGES and LANG that is set.
  environment.insert(environment.end(), {"LANG=C", "LC_ALL", "LC_MESSAGES",
                                         "VXILLUSTRATOR_LOG=" + (out_ / "vxillustrator.log").string()});
  const fs::path report = out_ / "host-report.json";
  const Ran ran = RunProgram(
      (bin_ / "vxhost").string(),
      {"--report", report.string(), (bin_ / "VXIllustrator.so").string(), (out_ / "designer.vxs").string()},
      environment, kHostRunMs);
  write_file(out_ / "vxhost.err", ran.err);
  report_ = json::parse(read_file(report), nullptr, false);
  if (ran.exit_code != 0) {
    std::string why = ran.err;
    if (const std::size_t line = why.rfind("vxhost: "); line != std::string::npos) why = why.substr(line);
    throw StepFailed("vxhost ended with status " + std::to_string(ran.exit_code) + ": " + why);
  }
  if (!report_.is_object()) throw StepFailed("vxhost wrote no readable report " + report.string());
  Line("vxhost", "ran the script through (exit status 0)");
}

std::vector<json> Demo::Record() const {
  std::vector<json> messages;
  std::istringstream lines(read_file(out_ / "vxdesk-record.jsonl"));
  std::string line;
  while (std::getline(lines, line)) {
    json message = json::parse(line, nullptr, false);
    if (message.is_object()) messages.push_back(std::move(message));
  }
  return messages;
}

const json& Demo::Document() const {
  const json& documents = report_.at("documents");
  if (!documents.is_array() || documents.size() != 1 || !documents.at(0).is_object())
    throw StepFailed("the host holds " + std::to_string(documents.size()) + " documents instead of one");
  return documents.at(0);
}

// The bytes of a request's "v" (Base64), or a failed step.
std::string request_job(const json& request) {
  std::string bytes;
  if (!request.contains("v") || !request.at("v").is_string() ||
      !base64_decode(request.at("v").get<std::string>(), &bytes))
    throw StepFailed("a request without a readable job: " + request.dump().substr(0, 200));
  return bytes;
}

// A rectangle of guide or art points: left, bottom, width, height.
struct Box {
  double x = 0, y = 0, w = 0, h = 0;
};

Box box_of(const json& points) {
  double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
  for (const json& p : points) {
    x0 = std::min(x0, p.at(0).get<double>());
    y0 = std::min(y0, p.at(1).get<double>());
    x1 = std::max(x1, p.at(0).get<double>());
    y1 = std::max(y1, p.at(1).get<double>());
  }
  if (!(x1 >= x0 && y1 >= y0)) throw StepFailed("a guide without points");
  return Box{x0, y0, x1 - x0, y1 - y0};
}

std::string answer_name(std::uint64_t code) {
  switch (code) {
    case 23262:
      return "attach";
    case 23293:
      return "new details";
    case 59655:
      return "export";
    case 42609:
      return "bring to front";
    default:
      return "unknown";
  }
}

void Demo::TellRequestAndDocument() {
  const std::vector<json> record = Record();
  std::vector<json> details;
  for (const json& m : record)
    if (m.value("what", "") == "details") details.push_back(m);
  const json& answers = report_.at("answers");
  if (details.size() != 2) {
    throw StepFailed("Veloxa received " + std::to_string(details.size()) +
                     " \"details\" requests instead of two");
  }
  if (!answers.is_array() || answers.size() != 2) throw StepFailed("the plug-in did not get two answers");

  auto tell_answer = [&](const json& a, std::uint64_t expected) {
    const std::uint64_t code = a.value("code", std::uint64_t{0});
    Line("answer received",
         std::to_string(code) + " (" + answer_name(code) + "), " + std::to_string(a.value("size", 0)) +
             " bytes" + (a.value("taken", false) ? ", handled on the next timer tick" : ", NOT handled"));
    if (code != expected || !a.value("taken", false))
      throw StepFailed("expected answer " + std::to_string(expected) + ", taken");
  };

  Step("\"Job Details / Export...\" with no document open");
  Line("request sent", "\"details\" from " + details[0].value("sender", "?") + ", reply window " +
                           details[0].value("hwnd", "?") + ", an empty job of " +
                           std::to_string(request_job(details[0]).size()) + " bytes");
  tell_answer(answers[0], 23293);

  Step("The document made for the job");
  const json& document = Document();
  page_w_ = document.value("width", 0.0);
  page_h_ = document.value("height", 0.0);
  Line("size", size_mm(page_w_, page_h_) + " = " + size_pt(page_w_, page_h_) + " (trim plus bleed)");
  const json& guides = document.at("guides");
  if (!guides.is_array() || guides.empty()) throw StepFailed("the document has no guides");
  for (const json& guide : guides) {
    bool trim = false;
    for (const json& tag : guide.at("tags"))
      if (tag == kTrimTag) trim = true;
    const Box b = box_of(guide.at("points"));
    // Hosts before version 15 also get a guide around the whole page.
    const bool bleed = !trim && b.w >= page_w_ - 0.01 && b.h >= page_h_ - 0.01;
    Line(trim    ? "guide: trim"
         : bleed ? "guide: bleed"
                 : "guide: type area",
         "at " + mm(b.x) + ", " + mm(b.y) + " mm, " + size_mm(b.w, b.h) +
             (guide.value("locked", false) ? ", locked" : ", NOT locked"));
  }
  Line("bleed", "the page's edge, " + mm(page_w_) + " x " + mm(page_h_) + " mm");
  const json& job = document.at("job");
  if (!job.is_object() || job.contains("error")) throw StepFailed("the document holds no readable job");
  const json& g = job.at("geometry");
  Line("stored job", std::string("\"Veloxa5SLUGData\", job ") + job.value("jobId", "?"));
  Line("  its sizes", "trim " + size_mm(g.at("trim").at(0).get<double>(), g.at("trim").at(1)) + ", bleed " +
                          size_mm(g.at("bleed").at(0).get<double>(), g.at("bleed").at(1)) + ", type area " +
                          size_mm(g.at("type").at(0).get<double>(), g.at("type").at(1)));
  std::size_t placed = 0;
  for (const json& art : document.at("art"))
    if (!art.value("guide", false)) ++placed;
  Line("artwork", std::to_string(placed) + " rectangles placed by the designer");

  Step("\"AdjustSize...\", then \"Job Details / Export...\" with the document open");
  Line("request sent", "\"details\" with the document's job (\"x\"), " +
                           std::to_string(request_job(details[1]).size()) + " bytes");
  tell_answer(answers[1], 59655);
}

void Demo::TellPdf() {
  Step("The PDF");
  const json& saves = report_.at("saves");
  if (!saves.is_array() || saves.size() != 1) throw StepFailed("the host saved no PDF");
  const json& save = saves[0];
  if (!save.value("written", false)) throw StepFailed("the PDF was not written: " + save.at("error").dump());
  pdf_ = save.value("path", "");
  std::error_code ec;
  if (fs::path(pdf_).parent_path() != out_ || !fs::is_regular_file(pdf_, ec))
    throw StepFailed("the PDF " + pdf_ + " is not in " + out_.string());
  Line("written", pdf_);

  const Ran info = RunTool("pdfinfo", {pdf_});
  if (info.exit_code != 0) throw StepFailed("pdfinfo cannot read the PDF: " + info.err);
  auto field = [&](const std::string& label) {
    const std::size_t at = info.out.find(label);
    if (at == std::string::npos) return std::string();
    std::size_t p = at + label.size();
    while (p < info.out.size() && info.out[p] == ' ') ++p;
    return info.out.substr(p, info.out.find('\n', p) - p);
  };
  const std::string version = field("PDF version:");
  const std::string pages = field("Pages:");
  double w = 0, h = 0;
  std::sscanf(field("Page size:").c_str(), "%lf x %lf", &w, &h);
  Line("pdfinfo", "PDF " + version + ", " + pages + " page, " + size_pt(w, h) + " = " + size_mm(w, h));
  if (version != vxdemo::kRequiredPdfVersion)
    throw StepFailed("the booking requires PDF " + std::string(vxdemo::kRequiredPdfVersion));
  if (pages != "1" || std::fabs(w - page_w_) > 0.01 || std::fabs(h - page_h_) > 0.01)
    throw StepFailed("the PDF's page is not the document's");

  const Ran check = RunTool("qpdf", {"--check", pdf_});
  if (check.exit_code != 0) throw StepFailed("qpdf --check: " + check.out + check.err);
  Line("qpdf --check", "ok, no syntax or stream errors");
  const fs::path info_file = fs::path(pdf_).replace_extension(".pi");
  if (fs::is_regular_file(info_file, ec)) Line("page information", info_file.string());
}

void Demo::TellExported() {
  Step("The \"exported\" report Veloxa received");
  // The plug-in wrote the report to the pipe before vxhost ended; vxdesk
  // records it from a thread of its own, so give it a moment.
  std::vector<json> record;
  const json* exported = nullptr;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kDeskStartMs);
  for (;;) {
    record = Record();
    for (const json& m : record)
      if (m.value("what", "") == "exported") exported = &m;
    if (exported != nullptr) break;
    if (Clock::now() >= deadline) throw StepFailed("Veloxa received no \"exported\" report");
    vxp::ProcessService::Default().sleep_ms(20);
  }
  const std::string bytes = request_job(*exported);
  BJobFile job;
  std::istringstream in(bytes);
  try {
    job.ReadJob(in, eJobFileContent_Full);
  } catch (const std::exception& e) {
    throw StepFailed(std::string("the report's job does not read: ") + e.what());
  }
  std::ostringstream text;
  job_to_json(job).write(text);
  const json shown = json::parse(text.str(), nullptr, false);
  Line("its job", shown.value("jobId", "?") + ", " + std::to_string(bytes.size()) + " bytes");
  std::size_t destinations = 0;
  for (const json& group : shown.value("groups", json::array())) {
    for (const json& d : group.value("destinations", json::array())) {
      ++destinations;
      Line(group.value("active", false) ? "  active group" : "  other group",
           "destination " + d.value("identifier", "?") + ": " +
               size_mm(d.value("width", 0.0), d.value("depth", 0.0)) + ", " + d.value("textNC", "") + ", " +
               d.value("textSC", ""));
    }
  }
  if (destinations == 0) throw StepFailed("the report carries no destination");
  Line("  output file", shown.value("outputFile", ""));

  // What the document's stored job says afterwards.
  std::string marked;
  for (const json& group : Document().at("job").value("groups", json::array()))
    for (const json& d : group.value("destinations", json::array()))
      if (d.value("exported", false)) marked += (marked.empty() ? "" : ", ") + d.value("identifier", "?");
  Line("document's job",
       marked.empty() ? "no destination marked exported" : "destination " + marked + " now marked exported");
}

void Demo::RenderPreview() {
  Step("The preview");
  const fs::path preview = out_ / "preview.pdf";
  std::error_code ec;
  if (!fs::is_regular_file(preview, ec)) throw StepFailed("vxhost wrote no preview " + preview.string());
  const fs::path png = out_ / "preview.png";
  const Ran ran = RunTool("pdftoppm", {"-png", "-r", fixed(kPreviewDpi, 0), "-singlefile", preview.string(),
                                       (out_ / "preview").string()});
  if (ran.exit_code != 0) throw StepFailed("pdftoppm: " + ran.err);
  // The size from the PNG's header: signature, then IHDR with width and
  // height big-endian.
  const std::string head = read_file(png).substr(0, 24);
  if (head.size() < 24 || head.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || head.compare(12, 4, "IHDR") != 0)
    throw StepFailed("pdftoppm wrote no PNG " + png.string());
  auto be32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(head[at + i]);
    return v;
  };
  Line("image", png.string());
  Line("", std::to_string(be32(16)) + " x " + std::to_string(be32(20)) + " pixels at " +
               fixed(kPreviewDpi, 0) + " dpi: the page (to the bleed) with");
  Line("", "the trim guide in green and the type-area guide in magenta");
}

void Demo::StopDesk() {
  Step("Veloxa stops");
  const Ran stop = RunProgram((bin_ / "vxdesk").string(), {"stop"}, LinkEnvironment(), kDeskStartMs);
  int code = -1;
  if (stop.exit_code != 0 || desk_ == nullptr || !desk_->wait(kDeskStartMs, &code) || code != 0)
    throw StepFailed("vxdesk did not stop as told: " + stop.out + stop.err);
  desk_.reset();
  Line("vxdesk", "stopped (" + stop.out.substr(0, stop.out.find('\n')) + ")");
}

void Demo::Cleanup() {
  std::error_code ec;
  if (desk_ != nullptr) {
    int code = 0;
    if (!desk_->wait(0, &code)) {
      try {
        RunProgram((bin_ / "vxdesk").string(), {"stop"}, LinkEnvironment(), kDeskStartMs);
      } catch (const StepFailed&) {
      }
      if (!desk_->wait(2000, &code)) desk_->kill();
    }
    desk_.reset();
  }
  if (!work_.empty()) {
    // vxdesk keeps its log in the runtime folder: keep it with the rest.
    if (fs::exists(runtime_ / "vxdesk.log", ec))
      fs::copy_file(runtime_ / "vxdesk.log", out_ / "vxdesk.log", fs::copy_options::overwrite_existing, ec);
    fs::remove_all(work_, ec);
    work_.clear();
  }
}

void Demo::Run() {
  std::cout << "VXIllustrator demo: a full-page A4 advertisement from booking to print PDF\n";
  Prepare();
  StartDesk();
  RunHost();
  TellRequestAndDocument();
  TellPdf();
  TellExported();
  RenderPreview();
  StopDesk();
  Cleanup();
  std::cout << "\nEverything worked. The files are in " << out_.string() << "/:\n";
  const std::pair<std::string, const char*> files[] = {
      {fs::path(pdf_).filename().string(), "the print PDF Veloxa asked for (.pi: its page information)"},
      {"preview.png", "the page with its guides (preview.pdf: the same as a PDF)"},
      {"host-report.json", "vxhost's report: documents, guides, stored job, actions, saves"},
      {"vxdesk-record.jsonl", "every request Veloxa received, as received"},
      {"vxdesk.log", "Veloxa's log"},
      {"vxillustrator.log", "the plug-in's support log (VXILLUSTRATOR_LOG)"},
      {"vxillustrator.log.answers", "the answers captured (`vxjob show --hex` reads them)"},
      {"vxhost.err", "vxhost's standard error"},
      {"booking.json", "the booking vxdesk served"},
      {"designer.vxs", "the designer's script vxhost played"},
  };
  for (const auto& [name, what] : files) {
    if (name.size() > 26) {
      std::cout << "  " << name << "\n" << std::string(30, ' ') << what << "\n";
    } else {
      std::cout << "  " << name << std::string(28 - name.size(), ' ') << what << "\n";
    }
  }
}

fs::path program_folder() {
  std::wstring path;
  if (!vxp::Platform::Default().executable_path(&path)) return {};
  return fs::path(utf8(path)).parent_path();
}

}  // namespace

int main(int argc, char** argv) {
  fs::path out;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--help" || arg == "-h") {
        std::cout << kUsage;
        return 0;
      }
      if (arg == "--out" && i + 1 < argc) {
        out = argv[++i];
      } else if (arg.rfind("--out=", 0) == 0) {
        out = arg.substr(6);
      } else {
        throw UsageError(arg == "--out" ? "--out needs a folder" : "unknown argument " + arg);
      }
    }
  } catch (const UsageError& e) {
    std::cerr << "vxdemo: " << e.what() << "\nusage: vxdemo [--out DIR]\n";
    return kExitUsage;
  }
  const fs::path bin = program_folder();
  if (bin.empty()) {
    std::cerr << "vxdemo: cannot find the folder of this program\n";
    return kExitFailed;
  }
  if (out.empty()) out = bin.parent_path() / "demo";
  std::error_code ec;
  out = fs::absolute(out, ec).lexically_normal();
  if (!out.empty() && !out.has_filename()) out = out.parent_path();

  Demo demo(bin, out);
  try {
    demo.Run();
  } catch (const std::exception& e) {
    std::cout << std::flush;
    std::cerr << "\nvxdemo: step " << demo.step() << " (" << demo.title() << ") failed: " << e.what() << "\n";
    demo.Cleanup();
    std::cerr << "vxdemo: what there is lies in " << demo.out().string() << "\n";
    return kExitFailed;
  }
  return 0;
}
