#pragma once
// Great-circle distance and azimuths between the local station (the vehicle)
// and the correspondent.

#include <cstdint>

#include "geodesy/station.h"

namespace quarbe {

// The results shown in the window. All start at 0.
struct BearingResult {
  double distanceKm = 0.0;             // a multiple of 0.1 km, 0.0 .. 20004.5
  std::int32_t trueAzimuthDeg = 0;     // local -> correspondent, clockwise from north, 0..360
  std::int32_t relativeAzimuthDeg = 0; // true azimuth minus the heading, 0..359
  std::int32_t reverseAzimuthDeg = 0;  // correspondent -> local, 0..359

  friend bool operator==(const BearingResult&, const BearingResult&) = default;
};

// Updates `result` in place from the two positions and the vehicle's heading
// (whole degrees, 0..360).
//
// The azimuths are the initial great-circle courses: true azimuth from the
// local station, reverse azimuth from the correspondent back, each rounded
// as trunc(R + 0.5), so a course from 359.5 up to 360 shows as 360 (true) or
// 0 (reverse, taken mod 360). Due north gives 0, due south 180, paths across
// the 180 deg meridian are handled like any other.
//
// Degenerate cases: when the cosine of the central angle is exactly 1 (the
// same point, to the last bit) only the distance is set, to 0.0, the
// azimuths keep their previous values and the function returns false; the
// caller then does not drive the rotator. Positions that coincide but round
// to a cosine just below 1 give distance 0.0 and a reverse azimuth of
// true + 180. Antipodal positions give 20004.5 km and finite azimuths.
//
// Returns true when the azimuths were computed.
bool ComputeBearing(const Position& local, const Position& correspondent, std::int32_t headingDeg,
                    BearingResult& result);

}  // namespace quarbe
