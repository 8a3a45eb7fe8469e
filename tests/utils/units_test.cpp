#include "utils/UUnits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(UUnitsTest, LookupByNameIgnoresCaseAndFallsBackToMillimetres) {
  static const struct {
    const char* name;
    int index;
  } cases[] = {
      {"mm", UUnits::eUnit_Millimeters},    {"MM", UUnits::eUnit_Millimeters},
      {"Mm", UUnits::eUnit_Millimeters},    {"furlong", UUnits::eUnit_Millimeters},
      {"", UUnits::eUnit_Millimeters},      {"Picas", UUnits::eUnit_Picas},
      {"inches", UUnits::eUnit_Inches},     {"CM", UUnits::eUnit_Centimeters},
      {"pt", UUnits::eUnit_Points},         {"Agates", UUnits::eUnit_Agates},
      {"ciceros", UUnits::eUnit_Ciceros},   {"mm ", UUnits::eUnit_Millimeters},
  };
  for (const auto& c : cases) EXPECT_EQ(UUnits(ustring(c.name)).index(), c.index) << c.name;
}

TEST(UUnitsTest, TableOfFactorsNamesAndDigits) {
  static const struct {
    int index;
    const char* name;
    double points_per_unit;
    int digits;
  } table[] = {
      {0, "inches", 72.0, 3},
      {1, "cm", 28.346456692913385, 3},
      {2, "mm", 2.834645669291339, 2},
      {3, "picas", 12.0, 3},
      {4, "pt", 1.0, 2},
      {5, "agates", 5.142857142857143, 2},
      {6, "ciceros", 12.789921259842519, 3},
  };
  for (const auto& row : table) {
    const UUnits unit(row.index);
    EXPECT_EQ(unit.unit_name(), row.name);
    EXPECT_EQ(UUnits::unit_name(row.index), row.name);
    EXPECT_EQ(unit.to_points(1.0), row.points_per_unit) << row.name;
    EXPECT_EQ(unit.digits(), row.digits) << row.name;
    EXPECT_EQ(UUnits(ustring(row.name)).index(), row.index);
  }
  EXPECT_EQ(UUnits::default_unit_name(), "mm");
}

TEST(UUnitsTest, IndexOutsideTheTableIsMillimetres) {
  for (int index : {-1, 7, 1000, std::numeric_limits<int>::min()}) {
    EXPECT_EQ(UUnits(index).index(), UUnits::eUnit_Millimeters) << index;
    EXPECT_EQ(UUnits::unit_name(index), "mm") << index;
  }
}

TEST(UUnitsTest, MillimetreConversionsAndRendering) {
  const UUnits mm(UUnits::eUnit_Millimeters);
  EXPECT_EQ(mm.to_points(210), 595.2755905511812);
  EXPECT_EQ(mm.to_text(595.2755905511812), "210");
  EXPECT_EQ(mm.to_text(1.0), "0.35");
  EXPECT_EQ(mm.resolution(), 0.02834645669291339);
  EXPECT_EQ(mm.round_trip(595.2755905511812), 210.0);
  EXPECT_NEAR(mm.from_points(mm.to_points(123.456)), 123.456, 1e-12);

  ustring out = "stale";
  EXPECT_FALSE(mm.to_text(out, 0.001));  // 0.00035 mm renders as zero
  EXPECT_EQ(out, "0");
  EXPECT_TRUE(mm.to_text(out, 2.834645669291339));
  EXPECT_EQ(out, "1");
}

TEST(UUnitsTest, OtherUnitsRenderWithTheirOwnDecimals) {
  EXPECT_EQ(UUnits(UUnits::eUnit_Inches).to_text(36), "0.5");
  EXPECT_EQ(UUnits(UUnits::eUnit_Inches).to_text(1), "0.014");
  EXPECT_EQ(UUnits(UUnits::eUnit_Points).to_text(12.345), "12.35");
  EXPECT_EQ(UUnits(UUnits::eUnit_Picas).to_text(18), "1.5");
  EXPECT_EQ(UUnits(UUnits::eUnit_Inches).round_trip(100), 1.389);
}

TEST(UUnitsTest, RoundToTruncatesAfterAddingAHalf) {
  static const struct {
    double value;
    int n;
    double expected;
  } cases[] = {
      {1.234, 2, 1.23},  {1.236, 2, 1.24}, {2.5, 0, 3.0},
      {-1.234, 2, -1.22},  // truncation toward zero after adding 0.5
      {0.0, 3, 0.0},     {123.4567, 3, 123.457},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(UUnits::round_to(c.value, c.n), c.expected) << c.value;
}

TEST(UUnitsTest, RoundToOutsideTheIntegerRangeStaysDefined) {
  EXPECT_EQ(UUnits::round_to(1e12, 2), 1e12);
  EXPECT_NEAR(UUnits::round_to(-1e12, 2), -1e12, 0.02);
  EXPECT_TRUE(std::isnan(UUnits::round_to(std::nan(""), 2)));
  EXPECT_TRUE(std::isinf(UUnits::round_to(std::numeric_limits<double>::infinity(), 2)));
  // A decimal count from outside the process must not make it loop.
  EXPECT_EQ(UUnits::round_to(1.5, std::numeric_limits<int>::max()), 1.5);
  EXPECT_EQ(UUnits::round_to(1.5, std::numeric_limits<int>::min()), 0.0);
}

TEST(UUnitsTest, DisplayUnitsDefaultToMillimetresAndCanBeReplaced) {
  EXPECT_EQ(display_units().index(), UUnits::eUnit_Millimeters);
  set_display_units(UUnits(UUnits::eUnit_Inches));
  EXPECT_EQ(display_units().index(), UUnits::eUnit_Inches);
  set_display_units(UUnits(UUnits::eUnit_Millimeters));
  EXPECT_EQ(display_units().index(), UUnits::eUnit_Millimeters);
}

}  // namespace
