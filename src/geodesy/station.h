#pragma once
// A station's position as the operator sees it: whole degrees, minutes and
// seconds with a hemisphere index, and the fixed conversions to decimal
// degrees and to radians that the locator codec and the bearing use.

#include <cstdint>
#include <string>

namespace quarbe {

// pi/2, computed once during static initialisation as 2 * atan2(1, 1). It is
// the only source of pi in the program: every degree/radian conversion goes
// through it so that all computations round the same way.
extern const double HALF_PI;

// Hemisphere indices are the item positions of the hemisphere lists:
// latitude 0 = "N", 1 = "S"; longitude 0 = "E", 1 = "O" (west).
// kHemisphereUnset means "no list item selected" and counts as north or east.
inline constexpr std::int32_t kHemisphereUnset = -1;
inline constexpr std::int32_t kNorth = 0;
inline constexpr std::int32_t kSouth = 1;
inline constexpr std::int32_t kEast = 0;
inline constexpr std::int32_t kWest = 1;

// One angle as typed: degrees, minutes, seconds and a hemisphere index.
// Values are held as entered; nothing here normalises them (a longitude of
// 200 degrees east stays 200).
struct AngleDms {
  std::int32_t degrees = 0;
  std::int32_t minutes = 0;
  std::int32_t seconds = 0;
  std::int32_t hemisphere = kHemisphereUnset;

  friend bool operator==(const AngleDms&, const AngleDms&) = default;
};

// Latitude and longitude of a station.
struct Position {
  AngleDms latitude;
  AngleDms longitude;

  friend bool operator==(const Position&, const Position&) = default;
};

// One station: its locator text (held whole, whatever its length; upper-cased
// once committed) and its position. A fresh record is at 0 with both
// hemispheres unset.
struct StationRecord {
  std::string locator;
  Position position;

  friend bool operator==(const StationRecord&, const StationRecord&) = default;
};

// Decimal degrees summed left to right: (deg + min/60) + sec/3600.
// This is the order the bearing computation uses.
double DecimalDegreesLeftToRight(const AngleDms& angle);

// Decimal degrees with the minute and second terms summed first:
// deg + (min/60 + sec/3600). This is the order the locator encoder uses; it
// can differ from the other order in the last bit, which decides the
// encoder's letter at exact 2.5' latitude boundaries.
double DecimalDegreesFractionFirst(const AngleDms& angle);

// Signed radians for the bearing computation: left-to-right decimal degrees
// times HALF_PI times 1/90, negated in the south or west (hemisphere 1).
// An unset hemisphere counts as north or east. Not reduced to +-pi.
double SignedRadians(const AngleDms& angle);

}  // namespace quarbe
