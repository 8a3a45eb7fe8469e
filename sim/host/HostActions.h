// What the host's actions do to the model, and the document as a PDF page.
//
// "adobe_makeGuide" (make_guide): every selected path of the current
// document becomes a guide; its selection, lock and dictionary stay as they
// were. No document: kNoDocumentErr. No selected path: kNothingSelectedErr,
// and nothing changes.
//
// "adobe_saveACopyAs" (save_a_copy_as): writes the current document as a
// one-page PDF (document_page) to the file its parameter block names and
// notes the outcome in the action's SaveRecord. Parameters read (when a key
// was set twice, the last value counts; all others are accepted and
// ignored):
//   'name'  string, required: an absolute path of this system (on POSIX
//           beginning with "/", on Windows a drive or network path)
//   'comp'  integer or enumerated, the compatibility: 19 to 23 write PDF 1.3
//           to 1.7; absent: PDF 1.3, the oldest this host writes
// Failures write nothing and leave a file already at the path as it was:
//   no document open                                    kNoDocumentErr
//   'name' missing, not a string, empty or relative     kBadParameterErr
//   'comp' of another kind or outside 19 to 23          kBadParameterErr
//   the file cannot be written (no such folder, a
//   folder at the path, no room) or the art cannot be
//   put in a PDF (coordinates beyond vxpdf limits)      kCannotWriteErr
// The file is written beside its final name and renamed into place only
// when complete, so a reader never sees half a PDF.
#pragma once

#include <string>

#include "HostModel.h"
#include "PdfWriter.h"

namespace vxsim {

// The key of the art dictionary entry that marks the plug-in's trim guide
// (a boolean true); a preview draws that guide in its own colour.
inline constexpr const char* kTrimGuideKey = "DA949A67-1B85-4922-B775-511D1A0504E6";

// Preview colours of guides: the trim guide, a guide around a trim guide
// (the bleed) and every other guide (the type area).
inline const vxpdf::Colour kTrimGuideColour = vxpdf::Colour::RGB(0, 0.65, 0);
inline const vxpdf::Colour kBleedGuideColour = vxpdf::Colour::RGB(0, 0.45, 1);
inline const vxpdf::Colour kOtherGuideColour = vxpdf::Colour::RGB(0.9, 0, 0.9);

ai::Err make_guide(HostModel& host, PlayedAction& action);
ai::Err save_a_copy_as(HostModel& host, PlayedAction& action);

// The page that artboard 0 of the document frames, with the document's
// printing art: every path that is not a guide, painted as its ArtPaint
// says, bottom to top, moved so that the artboard's lower left corner is
// the page's origin. With guides (a preview), every guide is drawn over the
// art as its bounding rectangle in its preview colour.
vxpdf::Page document_page(const ai::DocumentData& document, bool guides);

// Writes the document as PDF 1.<minor_version> to path, through the
// platform's file services, replacing a file there only when the new one is
// complete. False with the reason.
bool write_document_pdf(const ai::DocumentData& document, bool guides, int minor_version,
                        const std::string& path, std::string* error);

// True for a path that names a file from the root under the platform's
// path style.
bool is_absolute_path(const std::string& path);

}  // namespace vxsim
