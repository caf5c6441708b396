#include "geodesy/station.h"

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

namespace quarbe {
namespace {

TEST(HalfPi, IsTwiceAtanOfOne) {
  EXPECT_EQ(HALF_PI, 2.0 * std::atan2(1.0, 1.0));
  EXPECT_DOUBLE_EQ(HALF_PI, std::numbers::pi / 2.0);
}

TEST(DecimalDegrees, BothSummingOrdersGiveTheSameValueToRounding) {
  const AngleDms angle{48, 38, 45, kNorth};
  EXPECT_NEAR(DecimalDegreesLeftToRight(angle), 48.645833333, 1e-9);
  EXPECT_NEAR(DecimalDegreesFractionFirst(angle), 48.645833333, 1e-9);
}

TEST(DecimalDegrees, SummingOrdersDifferInTheLastBitAtA2Point5MinuteBoundary) {
  // 64 deg 12' 30" is where the encoder's order decides the sub-square.
  const AngleDms angle{64, 12, 30, kNorth};
  EXPECT_NE(DecimalDegreesLeftToRight(angle), DecimalDegreesFractionFirst(angle));
  EXPECT_EQ(DecimalDegreesFractionFirst(angle), 64.0 + (12 * 0.016666666666666666 + 30 * 0.0002777777777777778));
}

TEST(SignedRadians, HemisphereSetsTheSignAndUnsetCountsAsNorthOrEast) {
  EXPECT_NEAR(SignedRadians({48, 38, 45, kNorth}), 0.849030, 1e-6);
  EXPECT_NEAR(SignedRadians({48, 38, 45, kSouth}), -0.849030, 1e-6);
  EXPECT_EQ(SignedRadians({48, 38, 45, kHemisphereUnset}), SignedRadians({48, 38, 45, kNorth}));
  EXPECT_EQ(SignedRadians({2, 2, 30, kWest}), -SignedRadians({2, 2, 30, kEast}));
}

TEST(SignedRadians, LongitudePast180IsNotReduced) {
  EXPECT_NEAR(SignedRadians({200, 0, 0, kEast}), 3.490658, 1e-6);
}

}  // namespace
}  // namespace quarbe
