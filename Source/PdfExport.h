// The PDF export: when Veloxa sends the job back for export, the plug-in
// stores it in the current document, writes a PDF copy of the document next
// to the job's file through the host action "adobe_saveACopyAs", writes the
// page information file, reports the newly exported destinations to Veloxa
// ("exported") and keeps the job, marked, in the document.
//
// A save counts only when the host's action succeeded and the PDF is there
// afterwards: a file, not empty, and not older than the save (so a stale PDF
// of an earlier export never passes). A failed save, or a page information
// file that was asked for and cannot be written, fails the export: nothing is
// marked exported, nothing is reported, and an ERROR record says why.
//
// Records: DEBUG as the source "Source\VXIllustrator" at the documented
// lines; failures of the export are ERROR records of the same source; a PDF
// whose header names another version than the one asked for is a WARN record
// (which version the host writes is the host's business).
#pragma once

#include <cstdint>
#include <istream>

#include "AIHost.h"
#include "utils/ustring.h"

class BJobFile;

inline constexpr char kSaveCopyAction[] = "adobe_saveACopyAs";
// How much older than the start of the save a PDF that existed before may be
// and still count as written by it: file systems keep times more coarsely
// than the clock (FAT: two seconds).
inline constexpr std::int64_t kSaveTimeToleranceSeconds = 2;

// The export answer: attaches the job (AttachReceivedJob with no guides).
// With no document open there is nothing to export: DEBUG 1389 "WARNING LOST
// MY REPLY, NO DOC OPEN!" and nothing else. Otherwise ExportJobs; when it
// succeeds the report (WriteForExport) is sent first, and only when it was
// written to the pipe is the job, its destinations now marked exported,
// stored in the document. A report that cannot be sent gives an ERROR record
// and leaves the document's job unmarked, so the next export reports those
// destinations again.
void HandleExportReply(std::istream& stream, BJobFile& job);

// Saves the current document as JobPdfPath and writes the page information
// file when the job names one ("PI"; empty: none wanted). False, with an
// ERROR record, for a job without an output file ("FS": a relative ".pdf"
// would land wherever the host runs), a failed save, or a page information
// file that cannot be written.
bool ExportJobs(BJobFile& job);

// Plays "adobe_saveACopyAs" for path with the whole parameter block: the
// fixed print settings, the job's PDF compatibility and, on a host above
// version 13, five more keys. True only when the action succeeded and the
// saved file checks out (see above).
bool ExportCurrentDocAsPDF(const ustring& path, BJobFile& job);

// The host's compatibility value for the job's required PDF version: 1.3 ..
// 1.7 give 19 .. 23 (exact values); anything else, 0 included, gives 19 with
// DEBUG 860 "couldn't map PDF VER " and the version. DEBUG 851 first.
std::int32_t GetExportPDFVersion(BJobFile& job);

// The PDF version text ("1.4") of a compatibility value 19 .. 23; "" for
// others.
const char* PdfVersionText(std::int32_t compatibility);

// The full path of the job's output file with ".pdf" appended.
ustring JobPdfPath(const BJobFile& job);

// Owns an action parameter block and disposes of it when it goes; a failed
// disposal gives DEBUG 841 "failed to release action".
class ActionReleaser {
 public:
  ActionReleaser() = default;
  ~ActionReleaser();
  ActionReleaser(const ActionReleaser&) = delete;
  ActionReleaser& operator=(const ActionReleaser&) = delete;

  // Where the host stores the new block.
  ai::ActionParamBlock* out() { return &block_; }
  ai::ActionParamBlock get() const { return block_; }

 private:
  ai::ActionParamBlock block_ = nullptr;
};
