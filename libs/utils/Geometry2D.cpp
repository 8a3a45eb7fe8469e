#include "utils/Geometry2D.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>

#include "utils/Logger.h"

namespace {

double snap_value(double v) { return std::floor(v * 1024.0 + 0.5) / 1024.0; }

Rect2D from_edges(double min_x, double min_y, double max_x, double max_y) {
  return Rect2D(min_x, min_y, max_x - min_x, max_y - min_y);
}

}  // namespace

const Rect2D undefined_rect(std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                            0.0, 0.0);

void Point2D::snap() {
  x = snap_value(x);
  y = snap_value(y);
}

double Rect2D::min_x() const { return std::min(origin.x, origin.x + size.w); }
double Rect2D::max_x() const { return std::max(origin.x, origin.x + size.w); }
double Rect2D::min_y() const { return std::min(origin.y, origin.y + size.h); }
double Rect2D::max_y() const { return std::max(origin.y, origin.y + size.h); }

bool Rect2D::is_undefined() const { return *this == undefined_rect; }

void Rect2D::normalise() {
  if (size.w < 0) {
    origin.x += size.w;
    size.w = -size.w;
  }
  if (size.h < 0) {
    origin.y += size.h;
    size.h = -size.h;
  }
}

void Rect2D::inset(double dx, double dy) {
  origin.x += dx;
  origin.y += dy;
  size.w -= 2 * dx;
  size.h -= 2 * dy;
}

void Rect2D::unite(const Rect2D& r) {
  if (is_empty()) {
    *this = r.is_empty() ? zero_rect : r;
    return;
  }
  if (r.is_empty()) return;
  *this = from_edges(std::min(min_x(), r.min_x()), std::min(min_y(), r.min_y()), std::max(max_x(), r.max_x()),
                     std::max(max_y(), r.max_y()));
}

void Rect2D::intersect(const Rect2D& r) {
  if (r.min_x() >= max_x() || min_x() >= r.max_x() || r.min_y() >= max_y() || min_y() >= r.max_y()) {
    *this = zero_rect;
    return;
  }
  *this = from_edges(std::max(min_x(), r.min_x()), std::max(min_y(), r.min_y()), std::min(max_x(), r.max_x()),
                     std::min(max_y(), r.max_y()));
}

bool Rect2D::intersects(const Rect2D& r) const {
  return r.min_x() < max_x() && min_x() < r.max_x() && r.min_y() < max_y() && min_y() < r.max_y();
}

bool Rect2D::contains(const Point2D& p) const {
  return min_x() <= p.x && p.x <= max_x() && min_y() <= p.y && p.y <= max_y();
}

bool Rect2D::contains(const Rect2D& r) const {
  if (r.is_empty()) return false;
  return min_x() <= r.min_x() && min_y() <= r.min_y() && max_x() >= r.max_x() && max_y() >= r.max_y();
}

void Rect2D::snap() {
  origin.snap();
  size.w = snap_value(size.w);
  size.h = snap_value(size.h);
}

std::ostream& operator<<(std::ostream& os, const Point2D& p) { return os << '(' << p.x << ',' << p.y << ')'; }

std::ostream& operator<<(std::ostream& os, const Rect2D& r) {
  return os << r.origin << "-(" << r.size.w << ',' << r.size.h << ')';
}

namespace vxu {
namespace {

inline constexpr LogSite kSiteMatrixInvert{"..\\..\\libs\\utils\\Geometry2D.cpp", 171, "vxu::Matrix2D::invert"};

}  // namespace

bool Matrix2D::invert() {
  const double det = a * d - b * c;
  if (det == 0.0) {
    VX_LOG(eLogLevel_Warn, kSiteMatrixInvert) << "non invertible matrix";
    return false;
  }
  *this = Matrix2D(d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det);
  return true;
}

Matrix2D Matrix2D::concat(const Matrix2D& m) const {
  return Matrix2D(a * m.a + b * m.c, a * m.b + b * m.d, c * m.a + d * m.c, c * m.b + d * m.d,
                  tx * m.a + ty * m.c + m.tx, tx * m.b + ty * m.d + m.ty);
}

void Matrix2D::rotate(double angle) {
  const double cs = std::cos(angle);
  const double sn = std::sin(angle);
  const double na = a * cs + c * sn;
  const double nb = b * cs + d * sn;
  const double nc = c * cs - a * sn;
  const double nd = d * cs - b * sn;
  a = na;
  b = nb;
  c = nc;
  d = nd;
}

Point2D Matrix2D::transform(const Point2D& p) const { return Point2D(a * p.x + c * p.y + tx, b * p.x + d * p.y + ty); }

}  // namespace vxu
