#include "PdfWriter.h"

#include <charconv>
#include <cmath>

namespace vxpdf {

namespace {

constexpr int kDecimals = 5;

// A PDF real: fixed notation, trailing zeros and a bare point dropped, no
// negative zero. The caller has checked that v is finite and small enough.
void put_number(std::string& out, double v) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, kDecimals);
  std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  if (text.find('.') != std::string_view::npos) {
    while (text.back() == '0') text.remove_suffix(1);
    if (text.back() == '.') text.remove_suffix(1);
  }
  if (text == "-0") text = "0";
  out.append(text);
}

// Numbers separated by blanks, then the operator and a line feed.
void put_operation(std::string& out, std::initializer_list<double> operands, const char* op) {
  for (double v : operands) {
    put_number(out, v);
    out += ' ';
  }
  out += op;
  out += '\n';
}

class Checker {
 public:
  bool coordinate(double v, const char* what) {
    if (std::isfinite(v) && std::fabs(v) <= kMaxCoordinate) return true;
    return fail(std::string(what) + " is not a finite number within " + text(kMaxCoordinate));
  }
  bool colour(const Colour& c, const char* what) {
    const int count = c.space == Colour::eSpace_Grey ? 1 : 3;
    for (int i = 0; i < count; ++i) {
      const double v = c.component[i];
      if (!(v >= 0 && v <= 1)) return fail(std::string(what) + " has a component outside 0 to 1");
    }
    return true;
  }
  bool fail(std::string why) {
    error = std::move(why);
    return false;
  }
  static std::string text(double v) {
    std::string s;
    put_number(s, v);
    return s;
  }
  std::string error;
};

bool check_page(const Page& page, int minor_version, Checker& check) {
  if (minor_version < kMinMinorVersion || minor_version > kMaxMinorVersion) {
    return check.fail("PDF 1." + std::to_string(minor_version) + " is not a version this writer knows (1." +
                      std::to_string(kMinMinorVersion) + " to 1." + std::to_string(kMaxMinorVersion) + ")");
  }
  if (!check.coordinate(page.width, "the page width") || !check.coordinate(page.height, "the page height")) {
    return false;
  }
  if (!(page.width >= kMinPageSize && page.height >= kMinPageSize)) {
    return check.fail("the page must be at least " + Checker::text(kMinPageSize) + " point in both sizes");
  }
  for (std::size_t i = 0; i < page.paths.size(); ++i) {
    const Path& path = page.paths[i];
    const std::string name = "path " + std::to_string(i);
    for (const Anchor& a : path.anchors) {
      for (const Point& p : {a.p, a.in, a.out}) {
        if (!check.coordinate(p.x, name.c_str()) || !check.coordinate(p.y, name.c_str())) return false;
      }
    }
    if (path.fill && !check.colour(*path.fill, (name + "'s fill").c_str())) return false;
    if (path.stroke && !check.colour(*path.stroke, (name + "'s stroke").c_str())) return false;
    if (!check.coordinate(path.line_width, (name + "'s line width").c_str())) return false;
    if (path.line_width < 0) return check.fail(name + "'s line width is below 0");
  }
  for (std::size_t i = 0; i < page.guides.size(); ++i) {
    const GuideRect& g = page.guides[i];
    const std::string name = "guide " + std::to_string(i);
    for (double v : {g.x, g.y, g.width, g.height, g.x + g.width, g.y + g.height}) {
      if (!check.coordinate(v, name.c_str())) return false;
    }
    if (!check.colour(g.colour, name.c_str())) return false;
  }
  return true;
}

void put_colour(std::string& out, const Colour& c, bool stroke) {
  if (c.space == Colour::eSpace_Grey) {
    put_operation(out, {c.component[0]}, stroke ? "G" : "g");
  } else {
    put_operation(out, {c.component[0], c.component[1], c.component[2]}, stroke ? "RG" : "rg");
  }
}

bool straight(const Anchor& from, const Anchor& to) {
  return from.out.x == from.p.x && from.out.y == from.p.y && to.in.x == to.p.x && to.in.y == to.p.y;
}

void put_piece(std::string& out, const Anchor& from, const Anchor& to) {
  if (straight(from, to)) {
    put_operation(out, {to.p.x, to.p.y}, "l");
  } else {
    put_operation(out, {from.out.x, from.out.y, to.in.x, to.in.y, to.p.x, to.p.y}, "c");
  }
}

void put_path(std::string& out, const Path& path) {
  if (path.anchors.size() < 2 || (!path.fill && !path.stroke)) return;
  out += "q\n";
  if (path.fill) put_colour(out, *path.fill, false);
  if (path.stroke) {
    put_colour(out, *path.stroke, true);
    put_operation(out, {path.line_width}, "w");
  }
  const std::vector<Anchor>& a = path.anchors;
  put_operation(out, {a[0].p.x, a[0].p.y}, "m");
  for (std::size_t i = 1; i < a.size(); ++i) put_piece(out, a[i - 1], a[i]);
  if (path.closed) {
    // "h" draws the closing line itself; a curved closing piece is drawn
    // first, and "h" then only joins its ends.
    if (!straight(a.back(), a.front())) put_piece(out, a.back(), a.front());
    out += "h\n";
  }
  out += path.fill && path.stroke ? "B\n" : path.fill ? "f\n" : "S\n";
  out += "Q\n";
}

void put_guide(std::string& out, const GuideRect& g) {
  out += "q\n";
  put_colour(out, g.colour, true);
  put_operation(out, {kGuideLineWidth}, "w");
  put_operation(out, {g.x, g.y, g.width, g.height}, "re");
  out += "S\nQ\n";
}

// "OFFSET 00000 n " and a line feed: 20 bytes, the offset in ten digits.
std::string offset_entry(std::size_t offset) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, offset).ptr;
  const std::size_t count = static_cast<std::size_t>(end - digits);
  std::string entry(count < 10 ? 10 - count : 0, '0');
  entry.append(digits, count);
  entry += " 00000 n \n";
  return entry;
}

}  // namespace

bool WritePdf(const Page& page, int minor_version, std::string* out, std::string* error) {
  Checker check;
  if (!check_page(page, minor_version, check)) {
    *error = check.error;
    return false;
  }

  std::string content;
  for (const Path& path : page.paths) put_path(content, path);
  for (const GuideRect& guide : page.guides) put_guide(content, guide);

  std::string pdf = "%PDF-1." + std::to_string(minor_version) + "\n%\xE2\xE3\xCF\xD3\n";
  std::size_t offsets[5] = {};
  const auto begin_object = [&](int number) {
    offsets[number] = pdf.size();
    pdf += std::to_string(number) + " 0 obj\n";
  };
  begin_object(1);
  pdf += "<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
  begin_object(2);
  pdf += "<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n";
  begin_object(3);
  pdf += "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 ";
  put_number(pdf, page.width);
  pdf += ' ';
  put_number(pdf, page.height);
  pdf += "] /Resources << /ProcSet [/PDF] >> /Contents 4 0 R >>\nendobj\n";
  begin_object(4);
  pdf += "<< /Length " + std::to_string(content.size()) + " >>\nstream\n";
  pdf += content;
  pdf += "\nendstream\nendobj\n";

  const std::size_t xref = pdf.size();
  pdf += "xref\n0 5\n0000000000 65535 f \n";
  for (int number = 1; number <= 4; ++number) pdf += offset_entry(offsets[number]);
  pdf += "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  *out = std::move(pdf);
  return true;
}

}  // namespace vxpdf
