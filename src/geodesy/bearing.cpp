#include "geodesy/bearing.h"

#include <algorithm>
#include <cmath>

namespace quarbe {

namespace {

// Ten times the kilometres in a quarter of the earth's circumference
// (10002.25 km), negated: the distance is counted in tenths of a kilometre
// and rounded half up before scaling back to kilometres.
constexpr double kMinusTenthsKmPerQuarterCircle = -100022.5;

// Initial great-circle course from point 1 towards point 2, in degrees, in
// [0, 360]. Undefined (both components zero) when the points coincide or
// are antipodal on a meridian; `defined` says which.
double InitialCourseDeg(double lat1, double lat2, double deltaLon, bool& defined) {
  const double east = std::sin(deltaLon) * std::cos(lat2);
  const double north = std::cos(lat1) * std::sin(lat2) - std::sin(lat1) * std::cos(lat2) * std::cos(deltaLon);
  defined = east != 0.0 || north != 0.0;
  double course = std::atan2(east, north) / HALF_PI * 90.0;
  if (course < 0.0) course += 360.0;
  return course;
}

// Whole degrees as the window shows them: R + 0.5 truncated.
std::int32_t RoundCourse(double courseDeg) { return static_cast<std::int32_t>(courseDeg + 0.5); }

}  // namespace

bool ComputeBearing(const Position& local, const Position& correspondent, std::int32_t headingDeg,
                    BearingResult& result) {
  const double latLocal = SignedRadians(local.latitude);
  const double lonLocal = SignedRadians(local.longitude);
  const double latCorr = SignedRadians(correspondent.latitude);
  const double lonCorr = SignedRadians(correspondent.longitude);
  const double deltaLon = lonCorr - lonLocal;

  // Cosine of the central angle, clamped: rounding can push it just past 1
  // (near-coincident points) or -1 (antipodes).
  double cosCentral = std::sin(latLocal) * std::sin(latCorr) + (std::cos(latLocal) * std::cos(deltaLon)) * std::cos(latCorr);
  cosCentral = std::clamp(cosCentral, -1.0, 1.0);
  if (cosCentral == 1.0) {
    result.distanceKm = 0.0;
    return false;
  }

  // arccos written as pi/2 - atan(x / sqrt(1 - x^2)); at x = -1 the ratio is
  // -infinity and the angle is pi, taken directly to avoid dividing by zero.
  const double central = cosCentral == -1.0
                             ? 2.0 * HALF_PI
                             : HALF_PI - std::atan2(cosCentral / std::sqrt(1.0 - cosCentral * cosCentral), 1.0);
  const double distanceKm = std::floor(0.5 - central * kMinusTenthsKmPerQuarterCircle / HALF_PI) * 0.1;

  bool forwardDefined = false;
  const std::int32_t trueAzimuth = RoundCourse(InitialCourseDeg(latLocal, latCorr, deltaLon, forwardDefined));
  const std::int32_t relativeAzimuth = (trueAzimuth - headingDeg + 360) % 360;
  bool backDefined = false;
  const double backCourse = InitialCourseDeg(latCorr, latLocal, -deltaLon, backDefined);
  const std::int32_t reverseAzimuth = backDefined ? RoundCourse(backCourse) % 360 : (trueAzimuth + 180) % 360;

  result.distanceKm = distanceKm;
  result.trueAzimuthDeg = trueAzimuth;
  result.relativeAzimuthDeg = relativeAzimuth;
  result.reverseAzimuthDeg = reverseAzimuth;
  return true;
}

}  // namespace quarbe
