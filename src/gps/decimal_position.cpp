#include "gps/decimal_position.h"

#include <cmath>

namespace quarbe {
namespace {

constexpr double kMicroMinutesPerDegree = 60.0 * 1e6;
constexpr std::int64_t kMicroMinutesPerMinute = 1'000'000;
constexpr std::int64_t kMinutesPerDegree = 60;
constexpr std::int64_t kSecondsPerMinute = 60;

std::optional<AngleDms> ToDms(double valueDeg, std::int32_t maxDegrees, int positive, int negative) {
  if (!std::isfinite(valueDeg)) return std::nullopt;
  const double magnitude = std::fabs(valueDeg);
  if (magnitude >= maxDegrees + 1.0) return std::nullopt;
  const auto microMinutes = static_cast<std::int64_t>(std::llround(magnitude * kMicroMinutesPerDegree));
  const std::int64_t wholeMinutes = microMinutes / kMicroMinutesPerMinute;
  AngleDms angle;
  angle.degrees = static_cast<std::int32_t>(wholeMinutes / kMinutesPerDegree);
  // Rounding can carry a value just under the limit onto it.
  if (angle.degrees > maxDegrees) return std::nullopt;
  angle.minutes = static_cast<std::int32_t>(wholeMinutes % kMinutesPerDegree);
  angle.seconds =
      static_cast<std::int32_t>(microMinutes % kMicroMinutesPerMinute * kSecondsPerMinute / kMicroMinutesPerMinute);
  angle.hemisphere = std::signbit(valueDeg) ? negative : positive;
  return angle;
}

}  // namespace

std::optional<Position> PositionFromDecimalDegrees(double latitudeDeg, double longitudeDeg) {
  const auto latitude = ToDms(latitudeDeg, 89, kNorth, kSouth);
  const auto longitude = ToDms(longitudeDeg, 179, kEast, kWest);
  if (!latitude || !longitude) return std::nullopt;
  return Position{*latitude, *longitude};
}

std::optional<std::int32_t> CourseFromDecimalDegrees(double trackDeg) {
  if (!std::isfinite(trackDeg) || trackDeg < 0.0 || trackDeg > 360.0) return std::nullopt;
  return static_cast<std::int32_t>(trackDeg + 0.5);
}

}  // namespace quarbe
