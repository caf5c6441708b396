#include "geodesy/station.h"

#include <cmath>

namespace quarbe {

// Dynamic initialisation on purpose: the value is whatever this platform's
// atan2 gives, once, before anything else runs.
const double HALF_PI = 2.0 * std::atan2(1.0, 1.0);

namespace {
constexpr double kOneSixtieth = 0.016666666666666666;
constexpr double kOneThreeThousandSixHundredth = 0.0002777777777777778;
constexpr double kOneNinetieth = 0.011111111111111112;
}  // namespace

double DecimalDegreesLeftToRight(const AngleDms& angle) {
  return (angle.degrees + angle.minutes * kOneSixtieth) + angle.seconds * kOneThreeThousandSixHundredth;
}

double DecimalDegreesFractionFirst(const AngleDms& angle) {
  // Written as the encoder keeps it: negated constants, their sum subtracted.
  // The result is exactly deg + (min/60 + sec/3600).
  const double negativeFraction =
      angle.minutes * -kOneSixtieth + angle.seconds * -kOneThreeThousandSixHundredth;
  return angle.degrees - negativeFraction;
}

double SignedRadians(const AngleDms& angle) {
  const double radians = DecimalDegreesLeftToRight(angle) * HALF_PI * kOneNinetieth;
  return angle.hemisphere == 1 ? -radians : radians;
}

}  // namespace quarbe
