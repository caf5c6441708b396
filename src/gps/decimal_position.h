#pragma once
// A fix given in decimal degrees (as gpsd reports it) turned into what the
// NMEA decoder makes of the same fix, so that one drive gives the same
// positions, headings and rotator targets through either source.

#include <cstdint>
#include <optional>

#include "geodesy/station.h"

namespace quarbe {

// Latitude and longitude in signed decimal degrees (south and west negative,
// a negative zero counts as south or west, as "0000.000,S" does) to whole
// degrees, minutes and seconds with hemispheres. The seconds are the fraction
// of a minute times 60, truncated, as the NMEA decoder does.
//
// gpsd computes degrees + minutes / 60 from the sentence and hands the value
// on with nine decimals of a degree, so the minutes come back only to within
// a few hundred-millionths. The total is therefore rounded to a millionth of
// a minute first: a receiver's minutes, which carry at most six decimals in
// practice, are recovered exactly, and 4838.750 gives 45" again, not 44".
// Nothing (nullopt) for a value that is not finite, a latitude of 90 degrees
// or more or a longitude of 180 degrees or more (as for the NMEA decoder).
std::optional<Position> PositionFromDecimalDegrees(double latitudeDeg, double longitudeDeg);

// A course over ground in degrees true to whole degrees: + 0.5, truncated, so
// 359.6 gives 360, as for an RMC course. Nothing for a value that is not
// finite or lies outside 0..360.
std::optional<std::int32_t> CourseFromDecimalDegrees(double trackDeg);

}  // namespace quarbe
