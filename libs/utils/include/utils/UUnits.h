// UUnits: a measurement unit. The job model keeps every length in points;
// a unit converts to and from points and renders values with the unit's
// number of decimals.
#pragma once

#include "utils/ustring.h"

class UUnits {
 public:
  // Indexes of the unit table; the order is fixed (stored unit numbers).
  enum Unit {
    eUnit_Inches = 0,
    eUnit_Centimeters = 1,
    eUnit_Millimeters = 2,
    eUnit_Picas = 3,
    eUnit_Points = 4,
    eUnit_Agates = 5,
    eUnit_Ciceros = 6,
  };
  static constexpr int kUnitCount = 7;

  // Millimetres unless told otherwise; an index outside the table is
  // millimetres too.
  explicit UUnits(int index = eUnit_Millimeters);
  // Looks the name up case-insensitively ("MM", "Picas"); millimetres when
  // no unit has that name.
  explicit UUnits(const ustring& name);
  virtual ~UUnits() = default;

  int index() const { return index_; }

  ustring unit_name() const { return unit_name(index_); }
  static ustring unit_name(int index);
  static ustring default_unit_name();

  double to_points(double value) const;
  double from_points(double points) const;

  // Decimals shown for this unit: 2 for mm, pt and agates, 3 for the others.
  int digits() const;

  // Renders a length given in points in this unit with digits() decimals and
  // no trailing zeros. Returns false when the rendering is zero ("0").
  bool to_text(ustring& out, double points) const;
  ustring to_text(double points) const;

  // The value in this unit (not in points) rounded to the unit's decimals,
  // read back from its rendering.
  double round_trip(double points) const;

  // trunc(value * 10^n + 0.5) / 10^n, truncating through a 32-bit integer.
  static double round_to(double value, int n);

  // The smallest step the unit shows, in points.
  double resolution() const;

 private:
  int index_;
};

// The display unit of the process (millimetres until the plug-in sets one).
// Set once at start-up on the main thread; read by the job model.
const UUnits& display_units();
void set_display_units(const UUnits& units);
