// What the demo books and what its designer does: a full-page A4
// advertisement (trim 210 x 297 mm, 3 mm bleed on every side, a type area
// 10 mm inside the trim, PDF 1.4 required, one active group), the job file
// vxdesk serves it from, and the vxhost script that plays the designer.
//
// All sizes of the booking are in millimetres; the job and the script are in
// points (72 / 25.4 to the millimetre), as the job model and the host count.
#pragma once

#include <string>

namespace vxdemo {

inline constexpr double kPointsPerMm = 72.0 / 25.4;

inline constexpr double kTrimWidthMm = 210;
inline constexpr double kTrimHeightMm = 297;
inline constexpr double kBleedMm = 3;
// The type area's distance from the trim, on every side.
inline constexpr double kTypeAreaInsetMm = 10;
inline constexpr char kRequiredPdfVersion[] = "1.4";

inline constexpr char kJobShortName[] = "DEMO-0001";
inline constexpr char kJobLongName[] = "Summer sale, full-page A4 advertisement";
inline constexpr char kJobId[] = "7E3A1C52-4B9D-4F60-8A21-5C0D9E6B3F14";

// The job as vxdesk reads it (`vxjob make`'s JSON): one destination in one
// active group with the sizes above, the check setting that requires PDF 1.4.
std::string BookingJson();

// The designer's session as a vxhost script: "Job Details / Export..." with
// no document open, then wait for the answer that makes the document; place
// the advertisement (a background that runs into the bleed, everything else
// inside the type area); "AdjustSize..."; "Job Details / Export..." again and
// wait for the export answer; then draw the page with its guides into
// previewPdf.
std::string DesignerScript(const std::string& previewPdf);

// How many rectangles the script places (for the story the demo tells).
int AdvertisementRects();

}  // namespace vxdemo
