// Fuzz target for BJobFile::ReadJob: any bytes may arrive as a job payload.
//
// A read either succeeds or throws one of the key-stream reader's texts, and a
// refused read leaves the job as it was. A job that was read is written,
// read again and must come out the same, apart from what writing normalises
// (an empty destination identifier travels as 0; a rectangle travels as its
// corners, so its size may move by rounding).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>

#include "datastruct/BJobFile.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

bool documented(const std::runtime_error& e) {
  return std::strcmp(e.what(), "UKeyInStream: meta key mismatch") == 0 ||
         std::strcmp(e.what(), "UKeyInStream: expecting record") == 0 ||
         std::strcmp(e.what(), "UKeyInStream: reading field longer than expected") == 0;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool near(double a, double b) {
  if (same_bits(a, b)) return true;
  return std::fabs(a - b) <= 1e-9 * std::fmax(1.0, std::fmax(std::fabs(a), std::fabs(b)));
}

bool same_rect(const Rect2D& a, const Rect2D& b) {
  if (a.is_undefined() || b.is_undefined()) return a.is_undefined() && b.is_undefined();
  return near(a.x(), b.x()) && near(a.y(), b.y()) && near(a.width(), b.width()) && near(a.height(), b.height());
}

bool same_destination(const BDestination& a, const BDestination& b) {
  const ustring& ida = a.identifier().empty() ? ustring("0") : a.identifier();
  if (ida != b.identifier()) return false;
  if (a.userFields().size() != b.userFields().size()) return false;
  for (std::size_t i = 0; i < a.userFields().size(); ++i) {
    if (!a.userFields()[i].SameContent(b.userFields()[i])) return false;
  }
  return a.valueCo() == b.valueCo() && same_bits(a.width(), b.width()) && same_bits(a.depth(), b.depth()) &&
         same_bits(a.bleedLeft(), b.bleedLeft()) && same_bits(a.bleedRight(), b.bleedRight()) &&
         same_bits(a.bleedTop(), b.bleedTop()) && same_bits(a.bleedBottom(), b.bleedBottom()) &&
         same_bits(a.indentLeft(), b.indentLeft()) && same_bits(a.indentRight(), b.indentRight()) &&
         same_bits(a.indentTop(), b.indentTop()) && same_bits(a.indentBottom(), b.indentBottom()) &&
         a.textCC() == b.textCC() && a.textRC() == b.textRC() && a.textNC() == b.textNC() &&
         a.textSC() == b.textSC() && a.textR1() == b.textR1() && a.textN1() == b.textN1() &&
         a.textS1() == b.textS1() && a.textNS() == b.textNS() && a.textCN() == b.textCN() &&
         a.exported() == b.exported() && a.readOnly() == b.readOnly() && a.textMK() == b.textMK() &&
         a.style() == b.style();
}

void check_same_job(const BJobFile& a, const BJobFile& b) {
  check(a.locationTF() == b.locationTF() && a.outputFile() == b.outputFile() && a.locationPD() == b.locationPD() &&
        a.pageInfoFile() == b.pageInfoFile());
  check(a.documentName() == b.documentName() && a.textLN() == b.textLN() && a.textSN() == b.textSN() &&
        a.jobId() == b.jobId());
  check(same_rect(a.bleedBox(), b.bleedBox()) && same_rect(a.trimBox(), b.trimBox()) &&
        same_rect(a.typeArea(), b.typeArea()));
  check(a.valueNP() == b.valueNP() && a.valueCP() == b.valueCP() && a.valueLC() == b.valueLC() &&
        a.style() == b.style());
  check(same_bits(a.layoutBleedH(), b.layoutBleedH()) && same_bits(a.layoutBleedV(), b.layoutBleedV()) &&
        same_bits(a.layoutWidth(), b.layoutWidth()) && same_bits(a.layoutDepth(), b.layoutDepth()));
  check(a.flagSE() == b.flagSE() && a.combineGroups() == b.combineGroups());
  check(a.pageRanges() == b.pageRanges() && a.absolutePageRanges() == b.absolutePageRanges() &&
        a.exportedDestinations() == b.exportedDestinations());
  check(a.groups().Count() == b.groups().Count());
  for (std::size_t g = 0; g < a.groups().Count(); ++g) {
    const BGroup& ga = a.groups().At(g);
    const BGroup& gb = b.groups().At(g);
    check(ga.active() == gb.active() && ga.flagGd() == gb.flagGd() && ga.Count() == gb.Count());
    for (std::size_t i = 0; i < ga.Count(); ++i) check(same_destination(ga.At(i), gb.At(i)));
  }
}

std::string write(BJobFile& job) {
  std::ostringstream out;
  check(job.WriteJob(out, eJobFileContent_Full));
  return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  // The document copy's mask reads less; it must cope all the same, and a
  // refused read must leave a job that was filled before untouched.
  {
    BJobFile layout;
    layout.SetStyle(77);
    layout.SetTextSN("before");
    std::istringstream in(input);
    try {
      layout.ReadJob(in, eJobFileContent_Layout);
    } catch (const std::runtime_error& e) {
      check(documented(e));
      check(layout.style() == 77 && layout.textSN() == "before" && layout.groups().empty());
    }
  }

  BJobFile job;
  try {
    std::istringstream in(input);
    job.ReadJob(in, eJobFileContent_Full);
  } catch (const std::runtime_error& e) {
    check(documented(e));
    return 0;
  }
  job.ComputeGeometry();  // any numbers: no crash

  BJobFile fresh;
  std::istringstream back(input);
  fresh.ReadJob(back, eJobFileContent_Full);
  const std::string written = write(fresh);
  BJobFile again;
  std::istringstream in(written);
  again.ReadJob(in, eJobFileContent_Full);  // must not throw
  check_same_job(fresh, again);
  return 0;
}
