#include "utils/UUnits.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>


namespace {

struct UnitInfo {
  const char* name;
  double points_per_unit;
  int digits;
};

constexpr double kPointsPerMillimeter = 72.0 / 25.4;

constexpr UnitInfo kUnits[UUnits::kUnitCount] = {
    {"inches", 72.0, 3},
    {"cm", 72.0 / 2.54, 3},
    {"mm", kPointsPerMillimeter, 2},
    {"picas", 12.0, 3},
    {"pt", 1.0, 2},
    {"agates", 72.0 / 14.0, 2},
    {"ciceros", 4.512 * 72.0 / 25.4, 3},  // 4.512 mm
};

int checked_index(int index) {
  return index >= 0 && index < UUnits::kUnitCount ? index : UUnits::eUnit_Millimeters;
}

double power_of_ten(int n) {
  // Past 10^+-330 a double holds only infinity or zero; the clamp keeps a
  // hostile decimal count from looping for billions of steps.
  n = std::clamp(n, -330, 330);
  double p = 1.0;
  for (int i = 0; i < n; ++i) p *= 10.0;
  for (int i = 0; i > n; --i) p /= 10.0;
  return p;
}

UUnits& display_units_storage() {
  static UUnits units(UUnits::eUnit_Millimeters);
  return units;
}

}  // namespace

UUnits::UUnits(int index) : index_(checked_index(index)) {}

UUnits::UUnits(const ustring& name) : index_(eUnit_Millimeters) {
  for (int i = 0; i < kUnitCount; ++i) {
    if (name.compare_nocase(ustring(kUnits[i].name)) == 0) {
      index_ = i;
      break;
    }
  }
}

ustring UUnits::unit_name(int index) { return ustring(kUnits[checked_index(index)].name); }

ustring UUnits::default_unit_name() { return unit_name(eUnit_Millimeters); }

double UUnits::to_points(double value) const { return value * kUnits[index_].points_per_unit; }

double UUnits::from_points(double points) const { return points / kUnits[index_].points_per_unit; }

int UUnits::digits() const { return kUnits[index_].digits; }

bool UUnits::to_text(ustring& out, double points) const { return out.number(from_points(points), digits()); }

ustring UUnits::to_text(double points) const {
  ustring text;
  to_text(text, points);
  return text;
}

double UUnits::round_trip(double points) const { return to_text(points).to_double(); }

double UUnits::round_to(double value, int n) {
  const double scale = power_of_ten(n);
  // Steps beyond what a double can hold: a step larger than any double
  // rounds everything to 0, more decimals than a double has change nothing.
  if (scale == 0.0) return 0.0;
  const double shifted = value * scale + 0.5;
  if (std::isinf(shifted) && std::isfinite(value)) return value;
  // The truncation goes through a 32-bit integer; values that do not fit
  // (or are not numbers) are truncated in floating point instead of
  // overflowing the conversion.
  if (shifted > static_cast<double>(std::numeric_limits<std::int32_t>::min()) - 1.0 &&
      shifted < static_cast<double>(std::numeric_limits<std::int32_t>::max()) + 1.0) {
    return static_cast<std::int32_t>(shifted) / scale;
  }
  return std::trunc(shifted) / scale;
}

double UUnits::resolution() const { return to_points(1.0 / power_of_ten(digits())); }

const UUnits& display_units() { return display_units_storage(); }

void set_display_units(const UUnits& units) { display_units_storage() = units; }
