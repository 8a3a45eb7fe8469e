// 2-D value types for page boxes: points, rectangles and affine matrices.
// Lengths are in points. Rectangles may have negative sizes; their extent is
// then measured from the far edge (min x is min(x, x + w)).
#pragma once

#include <iosfwd>

struct Point2D {
  double x = 0.0;
  double y = 0.0;

  constexpr Point2D() = default;
  constexpr Point2D(double x_, double y_) : x(x_), y(y_) {}

  // Rounds each coordinate to the nearest 1/1024.
  void snap();
  void offset(double dx, double dy) {
    x += dx;
    y += dy;
  }

  friend constexpr bool operator==(const Point2D&, const Point2D&) = default;
};

struct Size2D {
  double w = 0.0;
  double h = 0.0;

  constexpr Size2D() = default;
  constexpr Size2D(double w_, double h_) : w(w_), h(h_) {}

  friend constexpr bool operator==(const Size2D&, const Size2D&) = default;
};

struct Rect2D {
  Point2D origin;
  Size2D size;

  constexpr Rect2D() = default;
  constexpr Rect2D(double x, double y, double w, double h) : origin(x, y), size(w, h) {}

  void set(double x, double y, double w, double h) { *this = Rect2D(x, y, w, h); }

  double x() const { return origin.x; }
  double y() const { return origin.y; }
  double width() const { return size.w; }
  double height() const { return size.h; }
  double min_x() const;
  double max_x() const;
  double min_y() const;
  double max_y() const;

  // Empty: no area (a zero width or height).
  bool is_empty() const { return size.w == 0.0 || size.h == 0.0; }
  // Undefined: equal to undefined_rect, i.e. no rectangle known yet.
  bool is_undefined() const;

  // Makes width and height non-negative without moving the covered area.
  void normalise();
  // Moves every edge inwards by dx and dy (outwards for negative values).
  void inset(double dx, double dy);
  // Grows to cover r as well. Empty rectangles do not contribute; two empty
  // rectangles give the zero rectangle.
  void unite(const Rect2D& r);
  // Shrinks to the common area with r; the zero rectangle when they only
  // touch or do not overlap.
  void intersect(const Rect2D& r);
  // True when the rectangles share a positive area.
  bool intersects(const Rect2D& r) const;
  // Edges included.
  bool contains(const Point2D& p) const;
  // False for an empty r.
  bool contains(const Rect2D& r) const;
  // Rounds origin and size to the nearest 1/1024.
  void snap();

  friend constexpr bool operator==(const Rect2D&, const Rect2D&) = default;
};

// "No rectangle yet": infinite origin, zero size.
extern const Rect2D undefined_rect;
inline constexpr Rect2D zero_rect{};
inline constexpr Size2D zero_size{};
inline constexpr Point2D zero_point{};

// (x,y)
std::ostream& operator<<(std::ostream& os, const Point2D& p);
// (x,y)-(w,h)
std::ostream& operator<<(std::ostream& os, const Rect2D& r);

namespace vxu {

// Affine map x' = a x + c y + tx, y' = b x + d y + ty (row vectors).
struct Matrix2D {
  double a = 1.0, b = 0.0, c = 0.0, d = 1.0, tx = 0.0, ty = 0.0;

  constexpr Matrix2D() = default;
  constexpr Matrix2D(double a_, double b_, double c_, double d_, double tx_, double ty_)
      : a(a_), b(b_), c(c_), d(d_), tx(tx_), ty(ty_) {}

  bool is_identity() const { return *this == Matrix2D(); }

  // Replaces the matrix by its inverse. A singular matrix is left unchanged,
  // logged at WARN, and false is returned.
  bool invert();
  // this x m: the map that applies this, then m.
  Matrix2D concat(const Matrix2D& m) const;
  // Rotates the linear part by angle (radians); the translation stays.
  void rotate(double angle);
  Point2D transform(const Point2D& p) const;

  friend constexpr bool operator==(const Matrix2D&, const Matrix2D&) = default;
};

}  // namespace vxu
