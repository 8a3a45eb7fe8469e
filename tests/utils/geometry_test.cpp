#include "utils/Geometry2D.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>

#include "support/captured_log.h"

namespace {

using vxu::Matrix2D;

template <typename T>
std::string text_of(const T& value) {
  std::ostringstream os;
  os << value;
  return os.str();
}

TEST(Point2DTest, SnapRoundsToTheNearest1024th) {
  Point2D p(0.1, -0.1);
  p.snap();
  EXPECT_EQ(p.x, 0.099609375);  // 102 / 1024
  EXPECT_EQ(p.y, -0.099609375);
  p.offset(1, 2);
  EXPECT_EQ(p, Point2D(1.099609375, 1.900390625));
  EXPECT_EQ(text_of(Point2D(1.5, -2)), "(1.5,-2)");
}

TEST(Rect2DTest, ExtentOfNegativeSizes) {
  Rect2D r(10, 20, -4, -6);
  EXPECT_EQ(r.min_x(), 6);
  EXPECT_EQ(r.max_x(), 10);
  EXPECT_EQ(r.min_y(), 14);
  EXPECT_EQ(r.max_y(), 20);
  r.normalise();
  EXPECT_EQ(r, Rect2D(6, 14, 4, 6));
}

TEST(Rect2DTest, UndefinedAndEmpty) {
  EXPECT_TRUE(undefined_rect.is_undefined());
  EXPECT_TRUE(undefined_rect.is_empty());
  EXPECT_TRUE(std::isinf(undefined_rect.x()));
  EXPECT_FALSE(zero_rect.is_undefined());
  EXPECT_TRUE(zero_rect.is_empty());
  EXPECT_TRUE(Rect2D(0, 0, 5, 0).is_empty());
  EXPECT_FALSE(Rect2D(0, 0, -5, 1).is_empty());
  EXPECT_EQ(zero_size, Size2D(0, 0));
  EXPECT_EQ(zero_point, Point2D(0, 0));
}

TEST(Rect2DTest, Union) {
  static const struct {
    const char* name;
    Rect2D a, b, expected;
  } cases[] = {
      {"both empty", Rect2D(5, 5, 0, 3), Rect2D(1, 1, 2, 0), zero_rect},
      {"this empty", zero_rect, Rect2D(10, 10, 5, 5), Rect2D(10, 10, 5, 5)},
      {"other empty", Rect2D(10, 10, 5, 5), Rect2D(0, 0, 0, 9), Rect2D(10, 10, 5, 5)},
      {"overlapping", Rect2D(0, 0, 10, 10), Rect2D(5, -5, 10, 10), Rect2D(0, -5, 15, 15)},
      {"negative size", Rect2D(10, 10, -10, -10), Rect2D(20, 20, 1, 1), Rect2D(0, 0, 21, 21)},
  };
  for (const auto& c : cases) {
    Rect2D r = c.a;
    r.unite(c.b);
    EXPECT_EQ(r, c.expected) << c.name;
  }
}

TEST(Rect2DTest, IntersectionAndOverlap) {
  static const struct {
    const char* name;
    Rect2D a, b, expected;
    bool intersects;
  } cases[] = {
      {"edges touching", Rect2D(0, 0, 10, 10), Rect2D(10, 0, 5, 5), zero_rect, false},
      {"apart", Rect2D(0, 0, 10, 10), Rect2D(0, 20, 5, 5), zero_rect, false},
      {"overlap", Rect2D(0, 0, 10, 10), Rect2D(5, 5, 10, 10), Rect2D(5, 5, 5, 5), true},
      {"inside", Rect2D(0, 0, 10, 10), Rect2D(2, 3, 4, 5), Rect2D(2, 3, 4, 5), true},
  };
  for (const auto& c : cases) {
    Rect2D r = c.a;
    r.intersect(c.b);
    EXPECT_EQ(r, c.expected) << c.name;
    EXPECT_EQ(c.a.intersects(c.b), c.intersects) << c.name;
    EXPECT_EQ(c.b.intersects(c.a), c.intersects) << c.name;
  }
}

TEST(Rect2DTest, Containment) {
  const Rect2D r(0, 0, 10, 10);
  EXPECT_TRUE(r.contains(Point2D(0, 0)));
  EXPECT_TRUE(r.contains(Point2D(10, 10)));
  EXPECT_FALSE(r.contains(Point2D(10.001, 5)));
  EXPECT_TRUE(r.contains(Rect2D(0, 0, 10, 10)));
  EXPECT_TRUE(r.contains(Rect2D(10, 10, -10, -10)));
  EXPECT_FALSE(r.contains(Rect2D(1, 1, 0, 5)));  // empty
  EXPECT_FALSE(r.contains(Rect2D(5, 5, 6, 1)));
}

TEST(Rect2DTest, InsetSnapAndText) {
  Rect2D r(0, 0, 100, 50);
  r.inset(10, -5);
  EXPECT_EQ(r, Rect2D(10, -5, 80, 60));
  Rect2D s(0.1, 0.1, 0.1, 0.1);
  s.snap();
  EXPECT_EQ(s, Rect2D(0.099609375, 0.099609375, 0.099609375, 0.099609375));
  EXPECT_EQ(text_of(Rect2D(0, 0, 595.2755905511812, 841.8897637795276)), "(0,0)-(595.276,841.89)");
}

TEST(Matrix2DTest, InvertRegularMatrix) {
  Matrix2D m(2, 0, 0, 2, 10, 20);
  ASSERT_TRUE(m.invert());
  EXPECT_EQ(m, Matrix2D(0.5, 0, 0, 0.5, -5, -10));
  const Matrix2D general(1, 2, 3, 4, 5, 6);
  Matrix2D inverse = general;
  ASSERT_TRUE(inverse.invert());
  const Matrix2D product = general.concat(inverse);
  for (double v : {product.a - 1, product.b, product.c, product.d - 1, product.tx, product.ty})
    EXPECT_NEAR(v, 0.0, 1e-12);
}

TEST(Matrix2DTest, SingularMatrixIsLeftUnchanged) {
  Matrix2D m(1, 2, 2, 4, 0, 0);
  vxtest::CapturedLog log;
  EXPECT_FALSE(m.invert());
  EXPECT_EQ(m, Matrix2D(1, 2, 2, 4, 0, 0));
  EXPECT_TRUE(log.contains("][WARN]["));
  EXPECT_TRUE(log.contains("[Geometry2D.cpp:vxu::Matrix2D::invert:171] non invertible matrix\n"));
}

TEST(Matrix2DTest, ConcatAppliesThisThenOther) {
  const Matrix2D scale(2, 0, 0, 3, 0, 0);
  const Matrix2D move(1, 0, 0, 1, 10, 20);
  const Point2D p(1, 1);
  EXPECT_EQ(scale.concat(move).transform(p), Point2D(12, 23));
  EXPECT_EQ(move.concat(scale).transform(p), Point2D(22, 63));
  EXPECT_TRUE(Matrix2D().is_identity());
  EXPECT_FALSE(move.is_identity());
}

TEST(Matrix2DTest, RotateKeepsTranslation) {
  Matrix2D m(1, 0, 0, 1, 5, 6);
  m.rotate(std::numbers::pi / 2);
  const Point2D q = m.transform(Point2D(1, 0));
  EXPECT_NEAR(q.x, 5, 1e-12);
  EXPECT_NEAR(q.y, 7, 1e-12);  // (1,0) turns onto (0,1), then moves by (5,6)
  EXPECT_EQ(m.tx, 5);
  EXPECT_EQ(m.ty, 6);
}

}  // namespace
