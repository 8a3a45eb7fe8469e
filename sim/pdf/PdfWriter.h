// PdfWriter: one page of vector art as a complete PDF file, in memory.
//
// The simulated host writes the copies that "adobe_saveACopyAs" asks for
// with it, here and in its Windows build, so it needs nothing beyond the
// standard library. It knows just enough of PDF for that: one page, filled
// and stroked paths of straight lines and cubic curves in DeviceGray or
// DeviceRGB, nothing else (no text, images, fonts or compression).
//
// The file, for version 1.N (N from 3 to 7):
//
//   file     := header object{4} xref trailer
//   header   := "%PDF-1.N" LF "%" 4 bytes above 127 LF
//   object   := NUM " 0 obj" LF body LF "endobj" LF
//     1: << /Type /Catalog /Pages 2 0 R >>
//     2: << /Type /Pages /Kids [3 0 R] /Count 1 >>
//     3: << /Type /Page /Parent 2 0 R /MediaBox [0 0 W H]
//           /Resources << /ProcSet [/PDF] >> /Contents 4 0 R >>
//     4: << /Length L >> "stream" LF L bytes of content LF "endstream"
//   xref     := "xref" LF "0 5" LF entry{5}       each entry exactly 20 bytes:
//   entry    := OFFSET(10 digits) " " GEN(5 digits) " " ("n"|"f") " " LF
//   trailer  := "trailer" LF "<< /Size 5 /Root 1 0 R >>" LF
//               "startxref" LF OFFSET-OF-xref LF "%%EOF" LF
//
// Offsets count bytes from the start of the file. Content: each painted
// path is "q", its colours and line width, the construction ("m", "l",
// "c", "h"), the painting operator ("f" fill, "S" stroke, "B" both), "Q".
// Numbers are written in fixed notation with at most five decimals, since
// PDF has no exponent form.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vxpdf {

// The versions this writer can declare: 1.3 to 1.7.
inline constexpr int kMinMinorVersion = 3;
inline constexpr int kMaxMinorVersion = 7;

// No length or coordinate may be larger than this (in points): readers are
// not made for more, and the fixed notation must stay short.
inline constexpr double kMaxCoordinate = 1e6;

// The smallest page: one point each way (a page that rounds to nothing in
// the file's numbers would have no media box).
inline constexpr double kMinPageSize = 1;

// Width of the strokes that draw guides in a preview.
inline constexpr double kGuideLineWidth = 1.0;

// A colour with components from 0 to 1: a grey level (0 black, 1 white)
// or red, green and blue.
struct Colour {
  enum Space { eSpace_Grey, eSpace_RGB };
  Space space = eSpace_Grey;
  double component[3] = {0, 0, 0};

  static Colour Grey(double level) { return {eSpace_Grey, {level, 0, 0}}; }
  static Colour RGB(double red, double green, double blue) { return {eSpace_RGB, {red, green, blue}}; }
};

struct Point {
  double x = 0;
  double y = 0;
};

// One anchor of a path with the control points of the curves that meet it,
// as the illustration program keeps them: the piece from anchor A to the
// next anchor B is a cubic curve through A.out and B.in, and a straight line
// when A.out lies on A and B.in on B.
struct Anchor {
  Point p;
  Point in;
  Point out;
};

// A corner anchor: both control points on it.
inline Anchor Corner(double x, double y) { return {{x, y}, {x, y}, {x, y}}; }

struct Path {
  std::vector<Anchor> anchors;
  bool closed = false;         // a piece from the last anchor back to the first
  std::optional<Colour> fill;  // nonzero winding rule; an open path is filled as if closed
  std::optional<Colour> stroke;
  double line_width = 1;  // of the stroke; 0 is the thinnest line a device draws
};

// A rectangle drawn over the art in a preview, in page coordinates.
struct GuideRect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  Colour colour;
};

// Page coordinates: points, origin at the lower left corner of the media
// box [0 0 width height], y growing upward.
struct Page {
  double width = 0;
  double height = 0;
  // Painted in order, each on top of the ones before. A path with fewer
  // than two anchors, or with neither fill nor stroke, paints nothing.
  std::vector<Path> paths;
  // Preview only: drawn after every path as strokes kGuideLineWidth wide in
  // their colour. A copy of a document leaves them empty: guides do not print.
  std::vector<GuideRect> guides;
};

// The whole file for page as PDF 1.<minor_version> in *out. False, with
// *out untouched and the reason in *error, when the version is not one of
// kMinMinorVersion..kMaxMinorVersion, the page is smaller than
// kMinPageSize either way, or a number is not finite, a length or coordinate beyond
// kMaxCoordinate, a colour component outside 0..1, or a line width below 0.
bool WritePdf(const Page& page, int minor_version, std::string* out, std::string* error);

}  // namespace vxpdf
