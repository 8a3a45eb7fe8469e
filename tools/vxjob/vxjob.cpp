// vxjob: the engineer's window on job payloads.
//
//   vxjob show [--hex] [--mask N] [FILE]
//   vxjob rewrite --mask N [--hex] [--hex-out] [FILE]
//   vxjob make [--hex-out] [FILE]
//
// show reads a payload with ReadJob and prints the job as one JSON object and
// a line feed. rewrite reads a payload (full content) and writes it again
// with WriteJob (mask 2 or 4) or as the export report (mask 52). make builds a
// job from JSON (the members show prints; "settings" and "definitions" as
// the "SR" and "Dp" messages) and writes the payload as Veloxa sends it.
// FILE absent or "-" means standard input. --hex reads hexadecimal text
// (white space ignored), --hex-out writes it (upper case, then a line feed).
//
// Exit status: 0 done, 1 input refused (the reader's error text on standard
// error), 2 usage error.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "datastruct/BJobFile.h"
#include "datastruct/CheckSettingTypes.h"
#include "platform/Platform.h"
#include "utils/encoding.h"
#include "utils/umessage.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage: vxjob <command> [options] [FILE]\n"
    "\n"
    "  show [--hex] [--mask N] [FILE]\n"
    "      read a job payload (mask N, default 4) and print it as JSON\n"
    "  rewrite --mask N [--hex] [--hex-out] [FILE]\n"
    "      read a job payload and write it again: N 2 or 4 as WriteJob,\n"
    "      52 as the export report\n"
    "  make [--hex-out] [FILE]\n"
    "      build a job from JSON and write its payload\n"
    "\n"
    "FILE absent or - reads standard input. vxjob <command> --help tells more.\n"
    "Exit status: 0 done, 1 input refused, 2 usage error.\n";

constexpr char kShowUsage[] =
    "usage: vxjob show [--hex] [--mask N] [FILE]\n"
    "\n"
    "Reads a job payload (raw key-stream bytes; with --hex, hexadecimal text as\n"
    "Veloxa sends it, white space ignored) with ReadJob and mask N (default 4)\n"
    "and prints the job as one JSON object followed by a line feed. Members\n"
    "carry the job model's names; rectangles are [x, y, width, height] and are\n"
    "left out while undefined; empty lists are left out; \"geometry\" holds the\n"
    "[width, depth] of trim, bleed and type area as ComputeGeometry gives them.\n";

constexpr char kRewriteUsage[] =
    "usage: vxjob rewrite --mask N [--hex] [--hex-out] [FILE]\n"
    "\n"
    "Reads a job payload with its full content and writes it again: with N 2\n"
    "(the copy stored in a document) or 4 (the full job) through WriteJob, with\n"
    "52 as the export report (WriteForExport). The payload goes to standard\n"
    "output as bytes, or as hexadecimal text with --hex-out. A job without a\n"
    "jobId gets a new one.\n";

constexpr char kMakeUsage[] =
    "usage: vxjob make [--hex-out] [FILE]\n"
    "\n"
    "Builds a job from one JSON object and writes its payload as Veloxa sends\n"
    "it. Members (all optional): the scalar members, rectangles, file locations,\n"
    "pageRanges, absolutePageRanges, exportedDestinations and groups as show\n"
    "prints them; \"settings\" (the check-settings message, field SR) and\n"
    "\"definitions\" (the setting definitions, field Dp) as JSON objects. A user\n"
    "field whose code the catalogue knows may leave out typeCode and label.\n"
    "Members show prints that make derives (firstPage, geometry, checkSettings,\n"
    "requiredPDFVersion) are ignored. Give a jobId for reproducible bytes.\n";

// Thrown for input that is refused; the text goes to standard error.
struct Refused : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// --- Input and output ---------------------------------------------------------

std::string read_all(const std::string& file) {
  if (file.empty() || file == "-") {
    vxp::Platform::Default().set_binary_mode(stdin);
    std::string bytes;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) bytes.append(buffer, n);
    if (std::ferror(stdin)) throw Refused("cannot read standard input");
    return bytes;
  }
  std::ifstream in(file, std::ios::in | std::ios::binary);
  if (!in) throw Refused("cannot read " + file);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string from_hex(const std::string& text) {
  std::string bytes;
  bytes.reserve(text.size() / 2);
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') continue;
    const int d = hex_digit(c);
    if (d < 0) throw Refused("not hexadecimal text");
    if (high < 0) {
      high = d;
    } else {
      bytes.push_back(static_cast<char>((high << 4) | d));
      high = -1;
    }
  }
  if (high >= 0) throw Refused("hexadecimal text with an odd number of digits");
  return bytes;
}

void write_payload(const std::string& bytes, bool hex) {
  if (hex) {
    const ustring text = hex_encode(bytes.data(), bytes.size());
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
  } else {
    vxp::Platform::Default().set_binary_mode(stdout);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  }
  std::fflush(stdout);
}

// --- show -------------------------------------------------------------------------

void add_rect(umessage& out, const char* name, const Rect2D& r) {
  if (r.is_undefined()) return;
  for (double v : {r.x(), r.y(), r.width(), r.height()}) out.add_array(name, v);
}

void add_size(umessage& out, const char* name, const Rect2D& r) {
  out.add_array(name, r.width());
  out.add_array(name, r.height());
}

umessage range_json(const BPageRange& range, bool relative) {
  umessage m;
  if (relative) m.add("label", range.label());
  m.add("start", range.start());
  m.add("count", range.count());
  m.add("kind", range.kind());
  m.add("firstPage", range.firstPage());
  return m;
}

umessage destination_json(const BDestination& d) {
  umessage m;
  m.add("valueCo", d.valueCo());
  m.add("width", d.width());
  m.add("depth", d.depth());
  m.add("bleedLeft", d.bleedLeft());
  m.add("bleedRight", d.bleedRight());
  m.add("bleedTop", d.bleedTop());
  m.add("bleedBottom", d.bleedBottom());
  m.add("indentLeft", d.indentLeft());
  m.add("indentRight", d.indentRight());
  m.add("indentTop", d.indentTop());
  m.add("indentBottom", d.indentBottom());
  m.add("textCC", d.textCC());
  m.add("textRC", d.textRC());
  m.add("textNC", d.textNC());
  m.add("textSC", d.textSC());
  m.add("textR1", d.textR1());
  m.add("textN1", d.textN1());
  m.add("textS1", d.textS1());
  m.add("textNS", d.textNS());
  m.add("textCN", d.textCN());
  m.add("identifier", d.identifier());
  m.add("exported", d.exported());
  m.add("readOnly", d.readOnly());
  m.add("textMK", d.textMK());
  m.add("style", d.style());
  for (const UserField& f : d.userFields()) {
    umessage u;
    u.add("code", f.code);
    u.add("typeCode", f.typeCode);
    u.add("label", f.label);
    u.add("value", f.value);
    u.add("readOnly", f.readOnly);
    m.add_array("userFields", std::move(u));
  }
  return m;
}

// An enumerator by its name; a value without one (an unknown old-form
// type reads as -1) by its number.
void add_enum(umessage& m, const char* name, std::string_view text, int value) {
  if (text.empty()) {
    m.add(name, value);
  } else {
    m.add(name, ustring(text));
  }
}

umessage setting_json(const BCheckSetting& s) {
  umessage m;
  m.add("name", s.name());
  add_enum(m, "type", SettingTypeName(s.type()), s.type());
  add_enum(m, "severity", ProblemSeverityName(s.severity()), s.severity());
  for (int i = 0; i < 4; ++i) {
    m.add_array("limits", s.limit(i));
    m.add_array("limitNotSet", s.limitNotSet(i));
    m.add_array("texts", s.text(i));
    m.add_array("textNotSet", s.textNotSet(i));
  }
  m.add("precision", s.precision());
  m.add("userUnits", s.userUnits());
  m.add("parameterValue", s.parameterValue());
  m.add("parameterValueNotSet", s.parameterValueNotSet());
  return m;
}

umessage job_json(BJobFile& job) {
  umessage out;
  out.add("style", job.style());
  out.add("jobId", job.jobId());
  out.add("documentName", job.documentName());
  out.add("textSN", job.textSN());
  out.add("textLN", job.textLN());
  add_rect(out, "bleedBox", job.bleedBox());
  add_rect(out, "trimBox", job.trimBox());
  add_rect(out, "typeArea", job.typeArea());
  out.add("layoutBleedH", job.layoutBleedH());
  out.add("layoutBleedV", job.layoutBleedV());
  out.add("layoutWidth", job.layoutWidth());
  out.add("layoutDepth", job.layoutDepth());
  out.add("flagSE", job.flagSE());
  out.add("combineGroups", job.combineGroups());
  out.add("valueNP", job.valueNP());
  out.add("valueCP", job.valueCP());
  out.add("valueLC", job.valueLC());
  out.add("locationTF", job.textTF());
  out.add("outputFile", job.outputFile().path());
  out.add("locationPD", job.textPD());
  out.add("pageInfoFile", job.pageInfoFile().path());
  for (const auto& range : job.pageRanges()) out.add_array("pageRanges", range_json(*range, true));
  for (const auto& range : job.absolutePageRanges())
    out.add_array("absolutePageRanges", range_json(*range, false));
  for (const auto& record : job.exportedDestinations()) {
    umessage m;
    m.add("identifier", record->identifier());
    for (const auto& range : record->pageRanges()) m.add_array("pageRanges", range_json(*range, false));
    out.add_array("exportedDestinations", std::move(m));
  }
  for (const auto& group : job.groups()) {
    umessage g;
    g.add("active", group->active());
    g.add("flagGd", group->flagGd());
    for (const auto& d : *group) g.add_array("destinations", destination_json(*d));
    out.add_array("groups", std::move(g));
  }
  for (std::size_t i = 0; i < job.checkSettings().size(); ++i) {
    out.add_array("checkSettings", setting_json(job.checkSettings()[i]));
  }
  out.add("requiredPDFVersion", job.RequiredPDFVersion());

  // Last, as it sets the job's rectangles.
  job.ComputeGeometry();
  auto geometry = std::make_shared<umessage>();
  add_size(*geometry, "trim", job.trimBox());
  add_size(*geometry, "bleed", job.bleedBox());
  add_size(*geometry, "type", job.typeArea());
  out.add("geometry", geometry);
  return out;
}

// --- make ---------------------------------------------------------------------------

// Reads members of one JSON record into the job, refusing a member of the
// wrong kind.
class Members {
 public:
  Members(const umessage& m, std::string where) : m_(m), where_(std::move(where)) {}

  template <class T>
  std::optional<T> get(const char* name) const {
    if (m_.find(name) == nullptr) return std::nullopt;
    T value{};
    if (!m_.get(name, 0, value)) fail(name, kind_of<T>());
    return value;
  }
  std::optional<ustring> text(const char* name) const { return get<ustring>(name); }

  std::optional<Rect2D> rect(const char* name) const {
    if (m_.find(name) == nullptr) return std::nullopt;
    double c[4];
    if (m_.count(name) != 4) fail(name, "[x, y, width, height]");
    for (std::size_t i = 0; i < 4; ++i) {
      if (!m_.get(name, i, c[i])) fail(name, "[x, y, width, height]");
    }
    return Rect2D(c[0], c[1], c[2], c[3]);
  }

  // The records of a list member.
  std::vector<std::shared_ptr<umessage>> records(const char* name) const {
    std::vector<std::shared_ptr<umessage>> out;
    const std::size_t n = m_.count(name);
    for (std::size_t i = 0; i < n; ++i) {
      std::shared_ptr<umessage> r;
      if (!m_.get(name, i, r) || r == nullptr) fail(name, "a list of objects");
      out.push_back(r);
    }
    return out;
  }

  std::string at(const char* name, std::size_t i) const {
    return where_ + name + "[" + std::to_string(i) + "].";
  }

 private:
  template <class T>
  static const char* kind_of() {
    if constexpr (std::is_same_v<T, bool>) return "true or false";
    if constexpr (std::is_same_v<T, ustring>) return "a text";
    if constexpr (std::is_same_v<T, umessage>) return "an object";
    return "a number";
  }
  [[noreturn]] void fail(const char* name, const char* expected) const {
    throw Refused("member " + where_ + name + ": expected " + expected);
  }

  const umessage& m_;
  std::string where_;
};

BPageRange make_range(const umessage& m, const std::string& where, bool relative) {
  const Members in(m, where);
  BPageRange range(
      in.get<int>("start").value_or(0), in.get<int>("count").value_or(0),
      relative ? in.get<int>("kind").value_or(BPageRange::kKindRelative) : BPageRange::kKindAbsolute);
  if (relative) range.SetLabel(in.text("label").value_or(""));
  // Reading derives it; stated here only so that the model matches.
  range.SetFirstPage(in.get<int>("firstPage").value_or(relative ? 0 : range.start()));
  return range;
}

void make_destination(BDestination& d, const umessage& m, const std::string& where) {
  const Members in(m, where);
  if (auto v = in.get<int>("valueCo")) d.SetValueCo(*v);
  if (auto v = in.get<double>("width")) d.SetWidth(*v);
  if (auto v = in.get<double>("depth")) d.SetDepth(*v);
  d.SetBleeds(in.get<double>("bleedLeft").value_or(0), in.get<double>("bleedRight").value_or(0),
              in.get<double>("bleedTop").value_or(0), in.get<double>("bleedBottom").value_or(0));
  d.SetIndents(in.get<double>("indentLeft").value_or(0), in.get<double>("indentRight").value_or(0),
               in.get<double>("indentTop").value_or(0), in.get<double>("indentBottom").value_or(0));
  d.SetCC(in.text("textCC").value_or(""));
  d.SetRC(in.text("textRC").value_or(""));
  d.SetNC(in.text("textNC").value_or(""));
  d.SetSC(in.text("textSC").value_or(""));
  // The companions after their first texts, whose setters clear them.
  d.SetR1(in.text("textR1").value_or(""));
  d.SetN1(in.text("textN1").value_or(""));
  d.SetS1(in.text("textS1").value_or(""));
  d.SetNS(in.text("textNS").value_or(""));
  d.SetCN(in.text("textCN").value_or(""));
  d.SetIdentifier(in.text("identifier").value_or(""));
  d.SetExported(in.get<bool>("exported").value_or(false));
  d.SetReadOnly(in.get<bool>("readOnly").value_or(false));
  d.SetMK(in.text("textMK").value_or(""));
  d.SetStyle(in.get<int>("style").value_or(0));
  const auto fields = in.records("userFields");
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const Members f(*fields[i], in.at("userFields", i));
    UserField field;
    field.code = f.text("code").value_or("");
    if (auto known = MakeCatalogueUserField(field.code, "")) field = *known;
    if (auto v = f.text("typeCode")) field.typeCode = *v;
    if (auto v = f.text("label")) field.label = *v;
    field.value = f.text("value").value_or("");
    field.readOnly = f.get<bool>("readOnly").value_or(false);
    d.AddUserField(field);
  }
}

struct MadeJob {
  umessage definitions;
  umessage settings;
};

MadeJob make_job(BJobFile& job, const umessage& m) {
  const Members in(m, "");
  if (auto v = in.get<int>("style")) job.SetStyle(*v);
  if (auto v = in.text("jobId")) job.SetJobId(*v);
  if (auto v = in.text("documentName")) job.SetDocumentName(*v);
  if (auto v = in.text("textSN")) job.SetTextSN(*v);
  if (auto v = in.text("textLN")) job.SetTextLN(*v);
  if (auto v = in.rect("bleedBox")) job.SetBleedBox(*v);
  if (auto v = in.rect("trimBox")) job.SetTrimBox(*v);
  if (auto v = in.rect("typeArea")) job.SetTypeArea(*v);
  if (auto v = in.get<double>("layoutBleedH")) job.SetLayoutBleedH(*v);
  if (auto v = in.get<double>("layoutBleedV")) job.SetLayoutBleedV(*v);
  if (auto v = in.get<double>("layoutWidth")) job.SetLayoutWidth(*v);
  if (auto v = in.get<double>("layoutDepth")) job.SetLayoutDepth(*v);
  if (auto v = in.get<bool>("flagSE")) job.SetFlagSE(*v);
  if (auto v = in.get<bool>("combineGroups")) job.SetCombineGroups(*v);
  if (auto v = in.get<int>("valueNP")) job.SetValueNP(*v);
  if (auto v = in.get<int>("valueCP")) job.SetValueCP(*v);
  if (auto v = in.get<int>("valueLC")) job.SetValueLC(*v);
  if (auto v = in.text("locationTF")) job.SetLocationTF(UFileSpecCore(*v));
  if (auto v = in.text("outputFile")) job.SetOutputFile(UFileSpecCore(*v));
  if (auto v = in.text("locationPD")) job.SetLocationPD(UFileSpecCore(*v));
  if (auto v = in.text("pageInfoFile")) job.SetPageInfoFile(UFileSpecCore(*v));

  const auto ranges = in.records("pageRanges");
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    job.pageRanges().Append(make_range(*ranges[i], in.at("pageRanges", i), true));
  }
  const auto absolute = in.records("absolutePageRanges");
  for (std::size_t i = 0; i < absolute.size(); ++i) {
    job.absolutePageRanges().Append(make_range(*absolute[i], in.at("absolutePageRanges", i), false));
  }
  const auto exported = in.records("exportedDestinations");
  for (std::size_t i = 0; i < exported.size(); ++i) {
    const Members e(*exported[i], in.at("exportedDestinations", i));
    auto record = std::make_unique<BExportedDestination>(e.get<int>("identifier").value_or(0));
    const auto pages = e.records("pageRanges");
    for (std::size_t p = 0; p < pages.size(); ++p) {
      record->pageRanges().Append(make_range(*pages[p], e.at("pageRanges", p), false));
    }
    job.exportedDestinations().Insert(std::move(record));
  }
  const auto groups = in.records("groups");
  for (std::size_t i = 0; i < groups.size(); ++i) {
    const Members g(*groups[i], in.at("groups", i));
    BGroup* group = job.groups().NewGroup();
    group->SetActive(g.get<bool>("active").value_or(false));
    group->SetFlagGd(g.get<bool>("flagGd").value_or(false));
    const auto destinations = g.records("destinations");
    for (std::size_t d = 0; d < destinations.size(); ++d) {
      make_destination(*group->NewDestination(), *destinations[d], g.at("destinations", d));
    }
  }

  MadeJob made;
  made.definitions = in.get<umessage>("definitions").value_or(umessage());
  made.settings = in.get<umessage>("settings").value_or(umessage());
  return made;
}

// --- Commands -------------------------------------------------------------------

struct Options {
  bool help = false;
  bool hexIn = false;
  bool hexOut = false;
  std::optional<int> mask;
  std::string file;
};

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Parses the options a command accepts (a subset of --hex, --hex-out,
// --mask N) and at most one FILE.
Options parse(const std::vector<std::string>& args, bool hexIn, bool hexOut, bool mask) {
  Options o;
  bool haveFile = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (hexIn && a == "--hex") {
      o.hexIn = true;
    } else if (hexOut && a == "--hex-out") {
      o.hexOut = true;
    } else if (mask && a == "--mask") {
      if (i + 1 == args.size()) throw UsageError("--mask needs a number");
      const std::string& n = args[++i];
      char* end = nullptr;
      const long v = std::strtol(n.c_str(), &end, 10);
      if (n.empty() || *end != '\0' || v < 0 || v > 0xFFFF)
        throw UsageError("--mask needs a number, not '" + n + "'");
      o.mask = static_cast<int>(v);
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError("unknown option '" + a + "'");
    } else if (haveFile) {
      throw UsageError("more than one FILE");
    } else {
      o.file = a;
      haveFile = true;
    }
  }
  return o;
}

std::string payload_of(const Options& o) {
  const std::string bytes = read_all(o.file);
  return o.hexIn ? from_hex(bytes) : bytes;
}

void read_job(BJobFile& job, const std::string& bytes, int mask) {
  std::istringstream in(bytes);
  try {
    job.ReadJob(in, mask);
  } catch (const std::exception& e) {
    throw Refused(e.what());
  }
}

int show(const std::vector<std::string>& args) {
  const Options o = parse(args, true, false, true);
  if (o.help) {
    std::cout << kShowUsage;
    return kExitDone;
  }
  BJobFile job;
  read_job(job, payload_of(o), o.mask.value_or(eJobFileContent_Full));
  job_json(job).write(std::cout);
  std::cout << '\n' << std::flush;
  return kExitDone;
}

int rewrite(const std::vector<std::string>& args) {
  const Options o = parse(args, true, true, true);
  if (o.help) {
    std::cout << kRewriteUsage;
    return kExitDone;
  }
  if (!o.mask) throw UsageError("rewrite needs --mask N");
  const int mask = *o.mask;
  if (mask != eJobFileContent_Layout && mask != eJobFileContent_Full && mask != kJobFileContent_Export) {
    throw UsageError("--mask for rewrite is 2, 4 or 52");
  }
  BJobFile job;
  read_job(job, payload_of(o), eJobFileContent_Full);
  std::ostringstream out;
  const bool ok = mask == kJobFileContent_Export ? job.WriteForExport(out) : job.WriteJob(out, mask);
  if (!ok) throw Refused("cannot write the payload");
  write_payload(out.str(), o.hexOut);
  return kExitDone;
}

int make(const std::vector<std::string>& args) {
  const Options o = parse(args, false, true, false);
  if (o.help) {
    std::cout << kMakeUsage;
    return kExitDone;
  }
  std::istringstream text(read_all(o.file));
  umessage m;
  if (!m.read(text)) throw Refused("not a JSON object");
  BJobFile job;
  const MadeJob made = make_job(job, m);
  std::ostringstream out;
  {
    UKeyOutStream w(out, BJobFile::kSignature);
    if (!made.definitions.empty()) w.key(make_key("Dp")).write_message(made.definitions);
    job.WriteContent(w, eJobFileContent_Full);
    if (!made.settings.empty()) w.key(make_key("SR")).write_message(made.settings);
    w.close_all();
    if (w.failed()) throw Refused("cannot write the payload");
  }
  write_payload(out.str(), o.hexOut);
  return kExitDone;
}

int run(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError("no command");
  const std::string& command = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsage;
    return kExitDone;
  }
  if (command == "show") return show(rest);
  if (command == "rewrite") return rewrite(rest);
  if (command == "make") return make(rest);
  throw UsageError("unknown command '" + command + "'");
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& e) {
    std::cerr << "vxjob: " << e.what() << "\n" << kUsage;
    return kExitUsage;
  } catch (const Refused& e) {
    std::cerr << "vxjob: " << e.what() << "\n";
    return kExitRefused;
  } catch (const std::exception& e) {
    std::cerr << "vxjob: " << e.what() << "\n";
    return kExitRefused;
  }
}
