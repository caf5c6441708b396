// Decimal degrees as gpsd hands them on give the degrees, minutes and
// seconds the NMEA decoder gives for the sentence gpsd read.
#include "gps/decimal_position.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "gps/nmea_decoder.h"

namespace quarbe {
namespace {

// The value gpsd's client receives for "dddmm.mmmm": degrees + minutes / 60,
// printed with nine decimals and read back.
double AsGpsdReports(const char* nmeaCoordinate, bool negative) {
  const double raw = std::strtod(nmeaCoordinate, nullptr);
  const double degrees = std::trunc(raw / 100.0);
  double value = degrees + (raw - degrees * 100.0) / 60.0;
  if (negative) value = -value;
  char text[64];
  std::snprintf(text, sizeof text, "%.9f", value);
  return std::strtod(text, nullptr);
}

struct SentenceCase {
  const char* name;
  const char* latitude;   // ddmm.mmm as in the sentence
  char latHemisphere;
  const char* longitude;  // dddmm.mmm
  char lonHemisphere;
};
void PrintTo(const SentenceCase& row, std::ostream* out) { *out << row.name; }

class DecimalPositionTest : public testing::TestWithParam<SentenceCase> {};

TEST_P(DecimalPositionTest, SameAsTheNmeaDecoder) {
  const SentenceCase& c = GetParam();
  const std::string gga = std::string("$GPGGA,123519,") + c.latitude + "," + c.latHemisphere + "," + c.longitude +
                          "," + c.lonHemisphere + ",1,08,0.9,545.4,M,46.9,M,,";
  const NmeaResult fromNmea = NmeaDecoder(gga, true);
  ASSERT_TRUE(std::holds_alternative<NmeaPosition>(fromNmea));
  const auto fromDegrees = PositionFromDecimalDegrees(AsGpsdReports(c.latitude, c.latHemisphere == 'S'),
                                                      AsGpsdReports(c.longitude, c.lonHemisphere == 'W'));
  ASSERT_TRUE(fromDegrees.has_value());
  EXPECT_EQ(*fromDegrees, std::get<NmeaPosition>(fromNmea).position);
}

INSTANTIATE_TEST_SUITE_P(
    Sentences, DecimalPositionTest,
    testing::Values(
        // Whole seconds land exactly on the integer: truncating the raw
        // decimal degrees would give one second less.
        SentenceCase{"ExactSecondsNorthEast", "4838.750", 'N', "00202.500", 'E'},
        SentenceCase{"ExactSecondsSouthWest", "3351.250", 'S', "15112.500", 'W'},
        SentenceCase{"JustBelowASecond", "4807.0499", 'N', "01131.0166", 'E'},
        SentenceCase{"FiveDecimals", "4838.75198", 'N', "00202.50177", 'E'},
        SentenceCase{"SouthOfTheEquatorByZero", "0000.000", 'S', "00000.000", 'W'},
        SentenceCase{"LastSecondBeforeLimits", "8959.999", 'N', "17959.999", 'W'}),
    [](const testing::TestParamInfo<SentenceCase>& row) { return std::string(row.param.name); });

TEST(DecimalPosition, OutOfRangeOrMissingGivesNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(PositionFromDecimalDegrees(90.0, 0.0));
  EXPECT_FALSE(PositionFromDecimalDegrees(0.0, -180.0));
  EXPECT_FALSE(PositionFromDecimalDegrees(nan, 2.0));
  EXPECT_EQ(CourseFromDecimalDegrees(359.6), 360);
  EXPECT_EQ(CourseFromDecimalDegrees(84.4), 84);
  EXPECT_FALSE(CourseFromDecimalDegrees(nan));
  EXPECT_FALSE(CourseFromDecimalDegrees(-1.0));
}

}  // namespace
}  // namespace quarbe
