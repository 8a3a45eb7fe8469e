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
// (white space ignored), or the plug-in's answer capture (lines "time code
// hex", see Source/SupportLog.h), of which it takes the last line's job;
// --hex-out writes hexadecimal text (upper case, then a line feed).
//
// Exit status: 0 done, 1 input refused (the reader's error text on standard
// error), 2 usage error.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "JobJson.h"
#include "datastruct/BJobFile.h"
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
    "Veloxa sends it, white space ignored, or the plug-in's answer capture, one\n"
    "answer a line as \"time code hex\", of which the last line is read) with\n"
    "ReadJob and mask N (default 4) and prints the job as one JSON object\n"
    "followed by a line feed. Members\n"
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

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// Whether text starts (after white space) with a time stamp
// "YYYY-MM-DDTHH:MM:SS", as a line of the answer capture does. Hexadecimal
// text never does: it holds no "-", "T" or ":".
bool is_capture(const std::string& text) {
  static constexpr char kPattern[] = "dddd-dd-ddTdd:dd:dd";
  std::size_t i = 0;
  while (i < text.size() && is_space(text[i])) ++i;
  for (const char* p = kPattern; *p != '\0'; ++p, ++i) {
    if (i >= text.size()) return false;
    const char c = text[i];
    if (*p == 'd' ? (c < '0' || c > '9') : c != *p) return false;
  }
  return true;
}

// The hexadecimal field of the capture's last line: "time code hex".
std::string last_captured(const std::string& text) {
  std::size_t end = text.size();
  while (end > 0 && is_space(text[end - 1])) --end;
  const std::size_t start = text.find_last_of('\n', end == 0 ? 0 : end - 1);
  const std::string line = text.substr(start == std::string::npos ? 0 : start + 1, end - (start + 1));
  std::vector<std::string> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && is_space(line[i])) ++i;
    const std::size_t from = i;
    while (i < line.size() && !is_space(line[i])) ++i;
    if (i > from) fields.push_back(line.substr(from, i - from));
  }
  if (fields.size() != 3 || !is_capture(fields[0]) ||
      fields[1].find_first_not_of("0123456789") != std::string::npos)
    throw Refused("not a line of the answer capture (time code hex)");
  return fields[2];
}

void write_payload(const std::string& bytes, bool hex) {
  if (hex) {
    // In slices: the text is twice the payload's size and need not be held.
    constexpr std::size_t kSlice = 32768;
    for (std::size_t at = 0; at < bytes.size(); at += kSlice) {
      const ustring text = hex_encode(bytes.data() + at, std::min(kSlice, bytes.size() - at));
      std::fwrite(text.data(), 1, text.size(), stdout);
    }
    std::fputc('\n', stdout);
  } else {
    vxp::Platform::Default().set_binary_mode(stdout);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  }
  std::fflush(stdout);
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
  if (!o.hexIn) return bytes;
  return from_hex(is_capture(bytes) ? last_captured(bytes) : bytes);
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
  job_to_json(job).write(std::cout);
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
  write_payload(std::move(out).str(), o.hexOut);
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
  std::string payload;
  try {
    const JobMessages made = job_from_json(job, m);
    payload = write_job_payload(job, made);
  } catch (const JobJsonError& e) {
    throw Refused(e.what());
  }
  write_payload(payload, o.hexOut);
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
