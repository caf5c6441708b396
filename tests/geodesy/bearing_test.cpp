#include "geodesy/bearing.h"

#include <cmath>
#include <random>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "geodesy/locator.h"

namespace quarbe {
namespace {

Position Decoded(std::string locator) {
  const DecodedLocator decoded = DecodeLocator(locator);
  return std::get<Position>(decoded);
}

Position At(int latDeg, int latHemisphere, int lonDeg, int lonHemisphere) {
  return {{latDeg, 0, 0, latHemisphere}, {lonDeg, 0, 0, lonHemisphere}};
}

struct BearingCase {
  const char* name;
  Position local;
  Position correspondent;
  int headingDeg;
  double distanceKm;
  int trueDeg;
  int relativeDeg;
  int reverseDeg;
};

// Rows print as their names in test listings.
void PrintTo(const BearingCase& row, std::ostream* os) { *os << row.name; }

class BearingTable : public testing::TestWithParam<BearingCase> {};

TEST_P(BearingTable, DistanceAndAzimuths) {
  const BearingCase& c = GetParam();
  BearingResult result;
  ASSERT_TRUE(ComputeBearing(c.local, c.correspondent, c.headingDeg, result));
  // Distances are compared to the 0.1 km the window shows.
  EXPECT_NEAR(result.distanceKm, c.distanceKm, 0.01);
  EXPECT_EQ(result.trueAzimuthDeg, c.trueDeg);
  EXPECT_EQ(result.relativeAzimuthDeg, c.relativeDeg);
  EXPECT_EQ(result.reverseAzimuthDeg, c.reverseDeg);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, BearingTable,
    testing::Values(
        BearingCase{"ShortPath", Decoded("JN18AP"), Decoded("JN08WV"), 0, 30.3, 336, 336, 156},
        BearingCase{"ShortPathBack", Decoded("JN08WV"), Decoded("JN18AP"), 0, 30.3, 156, 156, 336},
        BearingCase{"HeadingEast", Decoded("JN18AP"), Decoded("JN08WV"), 90, 30.3, 336, 246, 156},
        BearingCase{"Heading360IsHeading0", Decoded("JN18AP"), Decoded("JN08WV"), 360, 30.3, 336, 336, 156},
        BearingCase{"AtlanticEastbound", Decoded("FN31PR"), Decoded("IO91WM"), 0, 5411.9, 52, 52, 289},
        BearingCase{"AtlanticWestbound", Decoded("IO91WM"), Decoded("FN31PR"), 0, 5411.9, 289, 289, 52},
        BearingCase{"LongPathSouthEast", Decoded("JN18AP"), Decoded("QF56OD"), 0, 16980.1, 69, 69, 312},
        BearingCase{"Across180Heading0", At(10, kNorth, 170, kWest), At(20, kNorth, 170, kEast), 0, 2414.0, 300, 300,
                    114},
        BearingCase{"Across180Heading360", At(10, kNorth, 170, kWest), At(20, kNorth, 170, kEast), 360, 2414.0, 300,
                    300, 114},
        BearingCase{"Across180Eastbound", At(10, kNorth, 179, kEast), At(11, kNorth, 179, kWest), 0, 245.2, 63, 63,
                    243},
        BearingCase{"MirroredAcrossGreenwich", At(10, kNorth, 1, kWest), At(11, kNorth, 1, kEast), 0, 245.2, 63, 63,
                    243},
        BearingCase{"EquatorEastbound", At(0, kNorth, 0, kEast), At(0, kNorth, 1, kEast), 0, 111.1, 90, 90, 270},
        BearingCase{"EquatorWestbound", At(0, kNorth, 1, kEast), At(0, kNorth, 0, kEast), 0, 111.1, 270, 270, 90},
        BearingCase{"UnsetHemispheresAtOrigin", Decoded("JN18AP"),
                    At(0, kHemisphereUnset, 0, kHemisphereUnset), 0, 5409.9, 183, 183, 2},
        BearingCase{"DueSouth", At(48, kNorth, 2, kEast), At(40, kNorth, 2, kEast), 0, 889.1, 180, 180, 0},
        BearingCase{"DueNorth", At(40, kNorth, 2, kEast), At(48, kNorth, 2, kEast), 0, 889.1, 0, 0, 180},
        BearingCase{"DueNorthWithHeading", At(40, kNorth, 2, kEast), At(48, kNorth, 2, kEast), 270, 889.1, 0, 90,
                    180}),
    [](const testing::TestParamInfo<BearingCase>& row) { return std::string(row.param.name); });

TEST(ComputeBearing, ExactlyCoincidentKeepsTheAzimuthsAndReportsNoAzimuthStage) {
  BearingResult result{123.4, 10, 20, 30};
  const Position same = Decoded("JN08WV");
  EXPECT_FALSE(ComputeBearing(same, same, 0, result));
  EXPECT_EQ(result, (BearingResult{0.0, 10, 20, 30}));
}

TEST(ComputeBearing, CourseJustBelow360RoundsTo360) {
  // One second of longitude west of due north: the course is 359.99 deg.
  const Position local = At(0, kNorth, 0, kEast);
  const Position correspondent{{10, 0, 0, kNorth}, {0, 0, 1, kWest}};
  BearingResult result;
  ASSERT_TRUE(ComputeBearing(local, correspondent, 0, result));
  EXPECT_EQ(result.trueAzimuthDeg, 360);
  EXPECT_EQ(result.relativeAzimuthDeg, 0);
  EXPECT_EQ(result.reverseAzimuthDeg, 180);
  ASSERT_TRUE(ComputeBearing(local, correspondent, 90, result));
  EXPECT_EQ(result.relativeAzimuthDeg, 270);
}

TEST(ComputeBearing, AntipodesGiveHalfTheCircumferenceAndFiniteAzimuths) {
  BearingResult result;
  ASSERT_TRUE(ComputeBearing(At(0, kNorth, 0, kEast), At(0, kNorth, 180, kEast), 0, result));
  EXPECT_DOUBLE_EQ(result.distanceKm, 20004.5);
  EXPECT_GE(result.trueAzimuthDeg, 0);
  EXPECT_LE(result.trueAzimuthDeg, 360);

  const Position local{{45, 0, 0, kNorth}, {10, 0, 0, kEast}};
  const Position antipode{{45, 0, 0, kSouth}, {170, 0, 0, kWest}};
  ASSERT_TRUE(ComputeBearing(local, antipode, 0, result));
  EXPECT_NEAR(result.distanceKm, 20004.5, 0.11);
}

TEST(ComputeBearing, ResultsStayFiniteAndInRangeEverywhere) {
  std::mt19937 random(7);
  const auto randomPosition = [&random] {
    return Position{{static_cast<int>(random() % 90), static_cast<int>(random() % 60),
                     static_cast<int>(random() % 60), static_cast<int>(random() % 3) - 1},
                    {static_cast<int>(random() % 360), static_cast<int>(random() % 60),
                     static_cast<int>(random() % 60), static_cast<int>(random() % 3) - 1}};
  };
  for (int i = 0; i < 100000; ++i) {
    const Position a = randomPosition();
    // Every fourth pair is the same point or its near neighbour.
    Position b = i % 4 == 0 ? a : randomPosition();
    if (i % 8 == 0) b.longitude.seconds = (b.longitude.seconds + 1) % 60;
    const int heading = static_cast<int>(random() % 361);
    BearingResult result;
    if (!ComputeBearing(a, b, heading, result)) {
      ASSERT_EQ(result.distanceKm, 0.0);
      continue;
    }
    ASSERT_TRUE(std::isfinite(result.distanceKm));
    ASSERT_GE(result.distanceKm, 0.0);
    ASSERT_LE(result.distanceKm, 20004.5);
    ASSERT_GE(result.trueAzimuthDeg, 0);
    ASSERT_LE(result.trueAzimuthDeg, 360);
    ASSERT_GE(result.relativeAzimuthDeg, 0);
    ASSERT_LE(result.relativeAzimuthDeg, 359);
    ASSERT_GE(result.reverseAzimuthDeg, 0);
    ASSERT_LE(result.reverseAzimuthDeg, 359);
    ASSERT_EQ(result.relativeAzimuthDeg, (result.trueAzimuthDeg - heading + 360) % 360);
  }
}

TEST(ComputeBearing, SwappingTheStationsSwapsTrueAndReverse) {
  std::mt19937 random(99);
  for (int i = 0; i < 20000; ++i) {
    const Position a{{static_cast<int>(random() % 80), 0, 0, static_cast<int>(random() % 2)},
                     {static_cast<int>(random() % 180), 0, 0, static_cast<int>(random() % 2)}};
    const Position b{{static_cast<int>(random() % 80), 30, 0, static_cast<int>(random() % 2)},
                     {static_cast<int>(random() % 180), 30, 0, static_cast<int>(random() % 2)}};
    BearingResult forward;
    BearingResult back;
    ASSERT_TRUE(ComputeBearing(a, b, 0, forward));
    ASSERT_TRUE(ComputeBearing(b, a, 0, back));
    ASSERT_EQ(forward.distanceKm, back.distanceKm);
    ASSERT_EQ(forward.reverseAzimuthDeg, back.trueAzimuthDeg % 360);
    ASSERT_EQ(back.reverseAzimuthDeg, forward.trueAzimuthDeg % 360);
  }
}

}  // namespace
}  // namespace quarbe
