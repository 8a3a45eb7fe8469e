#include "PdfExport.h"

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "DocumentJob.h"
#include "HostDocument.h"
#include "Requests.h"
#include "datastruct/BJobFile.h"
#include "platform/Platform.h"
#include "utils/Logger.h"
#include "utils/UFileSpecCore.h"

namespace {

constexpr const char* kSourceFile = "Source\\VXIllustrator";
constexpr vxu::LogSite kSiteNoDocument{kSourceFile, 1389, "HandleExportReply"};
constexpr vxu::LogSite kSiteReportLost{kSourceFile, __LINE__, "HandleExportReply"};
constexpr vxu::LogSite kSiteExportRefused{kSourceFile, __LINE__, "ExportJobs"};
constexpr vxu::LogSite kSiteNoBlock{kSourceFile, 1066, "ExportCurrentDocAsPDF"};
constexpr vxu::LogSite kSiteSaveFailed{kSourceFile, __LINE__, "ExportCurrentDocAsPDF"};
constexpr vxu::LogSite kSiteOtherVersion{kSourceFile, __LINE__, "ExportCurrentDocAsPDF"};
constexpr vxu::LogSite kSiteRequiredVersion{kSourceFile, 851, "GetExportPDFVersion"};
constexpr vxu::LogSite kSiteUnmappedVersion{kSourceFile, 860, "GetExportPDFVersion"};
constexpr vxu::LogSite kSiteReleaseFailed{kSourceFile, 841, "ActionReleaser::~ActionReleaser"};

// The compatibility used when the job's version has no value of its own.
constexpr std::int32_t kDefaultCompatibility = 19;

struct VersionValue {
  double version;
  std::int32_t compatibility;
  const char* text;
};
constexpr VersionValue kVersions[] = {
    {1.3, 19, "1.3"}, {1.4, 20, "1.4"}, {1.5, 21, "1.5"}, {1.6, 22, "1.6"}, {1.7, 23, "1.7"},
};

// --- The parameter block of "adobe_saveACopyAs" ------------------------------

enum ParamKind {
  eParam_Integer,
  eParam_Real,
  eParam_Boolean,
  eParam_String,
  eParam_Enumerated,
  eParam_Compatibility,  // enumerated "Compatibility": the job's value
  eParam_Path,           // string: the PDF's path
};

struct SaveParam {
  std::int32_t key;
  ParamKind kind;
  double value;      // integer, real, boolean (0 or 1), enumerated value
  const char* text;  // string, or the enumerated type's name
};

constexpr SaveParam Int(const char (&key)[5], std::int32_t v) {
  return {ai::FourCC(key), eParam_Integer, double(v), ""};
}
constexpr SaveParam Real(const char (&key)[5], double v) { return {ai::FourCC(key), eParam_Real, v, ""}; }
constexpr SaveParam Bool(const char (&key)[5], bool v) {
  return {ai::FourCC(key), eParam_Boolean, v ? 1.0 : 0.0, ""};
}
constexpr SaveParam Text(const char (&key)[5], const char* v) {
  return {ai::FourCC(key), eParam_String, 0, v};
}
constexpr SaveParam Enum(const char (&key)[5], const char* type, std::int32_t v) {
  return {ai::FourCC(key), eParam_Enumerated, double(v), type};
}

// In the order the host receives them.
constexpr SaveParam kSaveParams[] = {
    Int("optn", 0),
    Text("opnm", "Custom"),
    {ai::FourCC("comp"), eParam_Compatibility, 0, "Compatibility"},
    Bool("rdtr", true),
    Bool("thum", false),
    Bool("fwev", true),
    Bool("aclr", false),
    Enum("cknd", "Color Compression Kind", 23),
    Int("ctil", 128),
    Enum("crsl", "Color Resample Kind", 4),
    Int("cres", 300),
    Int("crab", 450),
    Enum("gknd", "Gray Compression Kind", 23),
    Int("gtil", 128),
    Enum("grsl", "Gray Resample Kind", 4),
    Int("gres", 300),
    Int("grab", 450),
    Enum("mknd", "Mono Compression Kind", 3),
    Enum("mrsl", "Mono Resample Kind", 4),
    Int("mres", 1200),
    Int("mrab", 1800),
    Bool("cart", true),
    Bool("ptrm", false),
    Bool("pclb", false),
    Bool("ppgi", false),
    Bool("preg", false),
    Enum("pmtp", "Printer Mark Type", 1),
    Enum("ptmw", "Trim Mark Weight", 1),
    Real("post", 6.0),
    Real("btop", 0.0),
    Real("bbtm", 0.0),
    Real("blft", 0.0),
    Int("brht", 0),  // an integer, unlike its three siblings: the host is given what it always got
    Int("rato", 100),
    Enum("pvop", "Overprints", 1),
    Enum("flsy", "Flattener Preset", 3),
    Text("flsn", "[Medium Resolution]"),
    Real("fmax", 300.0),
    Real("fmin", 150.0),
    Int("fvba", 75),
    Bool("fccr", true),
    Bool("fosk", true),
    Bool("fotx", true),
    Real("fprs", 800.0),
    Bool("vpdf", false),
    Bool("usrq", false),
    Text("usps", ""),
    Enum("pmpr", "Printing Allowed", 3),
    Enum("pmch", "Changes Allowed", 5),
    Bool("ebcp", true),
    Bool("ebac", true),
    Bool("ebca", true),
    Bool("ebpt", false),
    {ai::FourCC("name"), eParam_Path, 0, ""},
    Text("frmt", "PDF File Format"),
    Text("extn", "pdf"),
};

// Only hosts above version 13 know these.
constexpr std::int32_t kLastVersionWithoutPageKeys = 13;
constexpr SaveParam kNewerHostParams[] = {
    Bool("bdoc", false), Int("blnk", 1), Bool("sall", true), Text("sran", ""), Bool("smab", true),
};

template <std::size_t N>
ai::Err SetParams(const ai::ActionManagerSuite& actions, ai::ActionParamBlock block,
                  const SaveParam (&params)[N], std::int32_t compatibility, const ustring& path) {
  for (const SaveParam& p : params) {
    ai::Err err = ai::kNoErr;
    switch (p.kind) {
      case eParam_Integer:
        err = actions.SetInteger(block, p.key, static_cast<std::int32_t>(p.value));
        break;
      case eParam_Real:
        err = actions.SetReal(block, p.key, p.value);
        break;
      case eParam_Boolean:
        err = actions.SetBoolean(block, p.key, p.value != 0);
        break;
      case eParam_String:
        err = actions.SetString(block, p.key, p.text);
        break;
      case eParam_Enumerated:
        err = actions.SetEnumerated(block, p.key, p.text, static_cast<std::int32_t>(p.value));
        break;
      case eParam_Compatibility:
        err = actions.SetEnumerated(block, p.key, p.text, compatibility);
        break;
      case eParam_Path:
        err = actions.SetString(block, p.key, path.c_str());
        break;
    }
    if (err != ai::kNoErr) return err;
  }
  return ai::kNoErr;
}

// --- The saved file -----------------------------------------------------------

// Whether the save left a PDF at pdf (see PdfExport.h); ERROR records say why
// not, a WARN record names another PDF version than compatibility's.
bool CheckSavedPdf(const UFileSpecCore& pdf, std::int32_t compatibility, bool existedBefore,
                   std::int64_t start) {
  const char* fault = nullptr;
  if (!pdf.is_file()) {
    fault = "is missing";
  } else if (pdf.file_size() == 0) {
    fault = "is empty";
  } else if (existedBefore && pdf.modification_time() < start - kSaveTimeToleranceSeconds) {
    fault = "is older than the save";
  }
  if (fault != nullptr) {
    VX_LOG(vxu::eLogLevel_Error, kSiteSaveFailed) << "the saved PDF " << pdf.path() << " " << fault;
    return false;
  }

  char header[16] = {};
  std::size_t read = 0;
  if (std::FILE* in = pdf.open_file("rb")) {
    read = std::fread(header, 1, sizeof header - 1, in);
    std::fclose(in);
  }
  const std::string text(header, read);
  const std::string expected = std::string("%PDF-") + PdfVersionText(compatibility);
  if (text.compare(0, expected.size(), expected) != 0) {
    const std::size_t end = text.find_first_of("\r\n");
    VX_LOG(vxu::eLogLevel_Warn, kSiteOtherVersion)
        << "the saved PDF " << pdf.path() << " begins \"" << text.substr(0, end) << "\", asked for PDF "
        << PdfVersionText(compatibility);
  }
  return true;
}

}  // namespace

// --- The export ------------------------------------------------------------------

void HandleExportReply(std::istream& stream, BJobFile& job) {
  AttachReceivedJob(stream, job, false);
  if (!DocumentIsOpen()) {
    VX_LOG(vxu::eLogLevel_Debug, kSiteNoDocument) << "WARNING LOST MY REPLY, NO DOC OPEN!";
    return;
  }
  if (!ExportJobs(job)) return;
  std::ostringstream report;
  if (!job.WriteForExport(report)) {
    VX_LOG(vxu::eLogLevel_Error, kSiteReportLost) << "the export report cannot be written";
    return;
  }
  // Reported first: a report sent twice is better than one lost, and the
  // document says "exported" only for what Veloxa was told.
  if (!SendRequest(report.str(), eRequestKind_Exported)) {
    VX_LOG(vxu::eLogLevel_Error, kSiteReportLost)
        << "the export report did not reach Veloxa; its destinations stay unexported";
    return;
  }
  if (DocumentIsOpen()) PutIntoDocumentSLUG(job, ai::suite::document);
}

bool ExportJobs(BJobFile& job) {
  if (job.OutputFileSpec().empty()) {
    VX_LOG(vxu::eLogLevel_Error, kSiteExportRefused) << "the job names no output file: nothing exported";
    return false;
  }
  const ustring path = JobPdfPath(job);
  ai::AcquiredSuite<ai::DocumentListSuite> list(ai::suite::basic, ai::kDocumentListSuite,
                                                ai::kDocumentListSuiteVersion);
  if (!list) {
    VX_LOG(vxu::eLogLevel_Error, kSiteExportRefused) << "ILLE " << static_cast<int>(list.error());
    return false;
  }
  if (!ExportCurrentDocAsPDF(path, job)) return false;
  if (!job.pageInfoFile().empty() && !job.WritePageInfoFile()) {
    VX_LOG(vxu::eLogLevel_Error, kSiteExportRefused)
        << "the page information file " << job.pageInfoFile().path() << " cannot be written";
    return false;
  }
  return true;
}

bool ExportCurrentDocAsPDF(const ustring& path, BJobFile& job) {
  ai::AcquiredSuite<ai::RuntimeSuite> runtime(ai::suite::basic, ai::kRuntimeSuite, ai::kRuntimeSuiteVersion);
  if (!runtime) {
    VX_LOG(vxu::eLogLevel_Error, kSiteSaveFailed) << "ILLE " << static_cast<int>(runtime.error());
    return false;
  }
  const ai::ActionManagerSuite& actions = Held(ai::suite::actionManager);
  ActionReleaser block;
  ai::Err err = actions.NewParamBlock(block.out());
  if (err == ai::kNoErr && block.get() == nullptr) err = ai::kBadParameterErr;
  if (err != ai::kNoErr) {
    VX_LOG(vxu::eLogLevel_Debug, kSiteNoBlock) << "ILLE " << static_cast<int>(err);
    return false;
  }
  const std::int32_t compatibility = GetExportPDFVersion(job);
  std::int32_t version = 0;
  err = runtime->GetAppMajorVersion(&version);
  if (err == ai::kNoErr) err = SetParams(actions, block.get(), kSaveParams, compatibility, path);
  if (err == ai::kNoErr && version > kLastVersionWithoutPageKeys)
    err = SetParams(actions, block.get(), kNewerHostParams, compatibility, path);
  if (err != ai::kNoErr) {
    VX_LOG(vxu::eLogLevel_Error, kSiteSaveFailed)
        << "ILLE " << static_cast<int>(err) << ": " << path << " not saved";
    return false;
  }

  const UFileSpecCore pdf(path);
  const bool existed = pdf.exists();
  const std::int64_t start = vxp::Platform::Default().wall_clock_seconds();
  err = actions.PlayActionEvent(kSaveCopyAction, ai::kDialogStatusNone, block.get());
  if (err != ai::kNoErr) {
    VX_LOG(vxu::eLogLevel_Error, kSiteSaveFailed)
        << "ILLE " << static_cast<int>(err) << ": " << path << " not saved";
    return false;
  }
  return CheckSavedPdf(pdf, compatibility, existed, start);
}

std::int32_t GetExportPDFVersion(BJobFile& job) {
  const double version = job.RequiredPDFVersion();
  VX_LOG(vxu::eLogLevel_Debug, kSiteRequiredVersion) << "jobs file requires pdf version " << version;
  for (const VersionValue& v : kVersions)
    if (version == v.version) return v.compatibility;
  VX_LOG(vxu::eLogLevel_Debug, kSiteUnmappedVersion) << "couldn't map PDF VER " << version;
  return kDefaultCompatibility;
}

const char* PdfVersionText(std::int32_t compatibility) {
  for (const VersionValue& v : kVersions)
    if (compatibility == v.compatibility) return v.text;
  return "";
}

ustring JobPdfPath(const BJobFile& job) { return job.OutputFileSpec().path() + ".pdf"; }

ActionReleaser::~ActionReleaser() {
  if (block_ == nullptr || ai::suite::actionManager == nullptr) return;
  if (ai::suite::actionManager->DisposeParamBlock(block_) != ai::kNoErr)
    VX_LOG(vxu::eLogLevel_Debug, kSiteReleaseFailed) << "failed to release action";
}
