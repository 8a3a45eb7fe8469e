#include "DemoBooking.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vxdemo {

namespace {

double pt(double mm) { return mm * kPointsPerMm; }

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.5f", value);
  return text;
}

// A rectangle of printing art in page points (origin: the page's lower left
// corner, which is the bleed's), filled with a grey from 0 (black) to 1.
struct Rect {
  double x, y, w, h, grey;
};

// The advertisement, laid out in fractions of the type area so that it
// stays inside it whatever the booking's sizes are; only the background
// covers the whole page, into the bleed, as a print designer lays a
// background so that no white edge shows where the trim falls.
std::vector<Rect> Advertisement() {
  const double pageW = pt(kTrimWidthMm + 2 * kBleedMm);
  const double pageH = pt(kTrimHeightMm + 2 * kBleedMm);
  const double x0 = pt(kBleedMm + kTypeAreaInsetMm);
  const double y0 = x0;
  const double tw = pageW - 2 * x0;
  const double th = pageH - 2 * y0;
  auto in = [&](double fx, double fy, double fw, double fh, double grey) {
    return Rect{x0 + fx * tw, y0 + fy * th, fw * tw, fh * th, grey};
  };
  return {
      {0, 0, pageW, pageH, 0.93},         // background, into the bleed
      in(0, 0.84, 1, 0.16, 0.12),         // headline bar
      in(0.05, 0.93, 0.62, 0.035, 1.0),   //   headline
      in(0.05, 0.875, 0.42, 0.025, 0.7),  //   sub-headline
      in(0, 0.31, 1, 0.50, 0.62),         // picture box
      in(0.56, 0.52, 0.3, 0.2, 0.82),     //   the picture's subject
      in(0, 0.245, 0.92, 0.014, 0.42),    // body text, line 1
      in(0, 0.215, 0.86, 0.014, 0.42),    //   line 2
      in(0, 0.185, 0.64, 0.014, 0.42),    //   line 3
      in(0, 0, 0.26, 0.1, 0.3),           // logo
      in(0.6, 0, 0.4, 0.13, 0.05),        // price badge
      in(0.65, 0.05, 0.3, 0.03, 1.0),     //   price
  };
}

// The booking with its sizes in the places marked @NAME@.
constexpr char kBookingTemplate[] = R"({
  "jobId": "@ID@",
  "textSN": "@SN@",
  "textLN": "@LN@",
  "groups": [{"active": true, "destinations": [{
    "identifier": "1",
    "width": @WIDTH@, "depth": @DEPTH@,
    "bleedLeft": @BLEED@, "bleedRight": @BLEED@, "bleedTop": @BLEED@, "bleedBottom": @BLEED@,
    "indentLeft": @INSET@, "indentRight": @INSET@, "indentTop": @INSET@, "indentBottom": @INSET@,
    "textNC": "Daily News", "textSC": "Full page", "textCC": "DE"
  }]}],
  "settings": {"settings": [
    {"problem": "Setting_PDFVersion", "type": "eSettingType_Parameter", "note": @PDF@, "precision": 1}
  ]}
}
)";

}  // namespace

std::string BookingJson() {
  const std::pair<const char*, std::string> values[] = {
      {"@ID@", kJobId},
      {"@SN@", kJobShortName},
      {"@LN@", kJobLongName},
      {"@WIDTH@", number(pt(kTrimWidthMm))},
      {"@DEPTH@", number(pt(kTrimHeightMm))},
      {"@BLEED@", number(pt(kBleedMm))},
      {"@INSET@", number(pt(kTypeAreaInsetMm))},
      {"@PDF@", kRequiredPdfVersion},
  };
  std::string text = kBookingTemplate;
  for (const auto& [mark, value] : values) {
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size()))
      text.replace(at, std::string_view(mark).size(), value);
  }
  return text;
}

std::string DesignerScript(const std::string& previewPdf) {
  std::string script =
      "# The designer asks Veloxa for the job's details with no document open;\n"
      "# the answer makes the document.\n"
      "menu Job Details / Export...\n"
      "wait-answer 20\n"
      "# The advertisement.\n";
  for (const Rect& r : Advertisement()) {
    script += "rect " + number(r.x) + " " + number(r.y) + " " + number(r.w) + " " + number(r.h) + " " +
              number(r.grey) + "\n";
  }
  script +=
      "menu AdjustSize...\n"
      "# Done: the same command with the document open asks for the export.\n"
      "menu Job Details / Export...\n"
      "wait-answer 20\n"
      "preview " +
      previewPdf + "\n";
  return script;
}

int AdvertisementRects() { return static_cast<int>(Advertisement().size()); }

}  // namespace vxdemo
