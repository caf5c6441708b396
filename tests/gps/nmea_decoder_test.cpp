#include "gps/nmea_decoder.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace quarbe {

void PrintTo(const NmeaCourse& course, std::ostream* out) { *out << "course " << course.degrees; }
void PrintTo(const Position& p, std::ostream* out) {
  *out << p.latitude.degrees << "d" << p.latitude.minutes << "'" << p.latitude.seconds << "\" h"
       << p.latitude.hemisphere << " / " << p.longitude.degrees << "d" << p.longitude.minutes << "'"
       << p.longitude.seconds << "\" h" << p.longitude.hemisphere;
}

void PrintTo(const NmeaResult& result, std::ostream* out) {
  if (const auto* course = std::get_if<NmeaCourse>(&result)) return PrintTo(*course, out);
  if (const auto* position = std::get_if<Position>(&result)) return PrintTo(*position, out);
  *out << "nothing";
}

namespace {

using namespace std::string_literals;

const NmeaResult kNothing{};

NmeaResult Course(std::int32_t degrees) { return NmeaCourse{degrees}; }

NmeaResult At(std::int32_t latDeg, std::int32_t latMin, std::int32_t latSec, std::int32_t latHemisphere,
              std::int32_t lonDeg, std::int32_t lonMin, std::int32_t lonSec, std::int32_t lonHemisphere) {
  return Position{{latDeg, latMin, latSec, latHemisphere}, {lonDeg, lonMin, lonSec, lonHemisphere}};
}

struct DecoderCase {
  const char* name;
  std::string line;
  bool gpsUse;
  NmeaResult expected;
};
void PrintTo(const DecoderCase& row, std::ostream* out) { *out << row.name; }


// Names the generated tests after the table rows.
struct CaseName {
  template <typename Case>
  std::string operator()(const testing::TestParamInfo<Case>& row) const {
    return row.param.name;
  }
};

class NmeaDecoderTest : public testing::TestWithParam<DecoderCase> {};

TEST_P(NmeaDecoderTest, Decodes) {
  const DecoderCase& c = GetParam();
  EXPECT_EQ(NmeaDecoder(c.line, c.gpsUse), c.expected) << c.line;
}

// The reference lines and their reviewed results.
const std::string kRmcPart = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A";
const std::string kGgaNorthEast = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47";
const std::string kGgaSouthWest = "$GPGGA,123519,3351.250,S,15112.500,W,1,08,0.9,545.4,M,46.9,M,,*4A";

INSTANTIATE_TEST_SUITE_P(
    ReferenceLines, NmeaDecoderTest,
    testing::Values(
        DecoderCase{"RmcCourseRounded", kRmcPart, true, Course(84)},
        DecoderCase{"RmcCourseWhileGpsUseOff", kRmcPart, false, Course(84)},
        DecoderCase{"GgaNorthEastSecondsTruncated", kGgaNorthEast, true, At(48, 7, 2, kNorth, 11, 31, 0, kEast)},
        DecoderCase{"GgaSouthWest", kGgaSouthWest, true, At(33, 51, 15, kSouth, 151, 12, 30, kWest)},
        DecoderCase{"GgaWhileGpsUseOff", kGgaNorthEast, false, kNothing},
        DecoderCase{"RmcCourseRoundsUpTo360", "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,359.6,230394,003.1,W*6B",
                    true, Course(360)},
        DecoderCase{"RmcCourse360", "$GPRMC,081836,A,3751.65,S,14507.36,E,000.0,360.0,130998,011.3,E*62", true,
                    Course(360)},
        DecoderCase{"RmcCourseJustBelowHalf", "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,84.49,230394,,*18", true,
                    Course(84)},
        DecoderCase{"RmcCourseExactlyHalf", "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,84.5,230394,,*20", true,
                    Course(85)},
        DecoderCase{"RmcCourseWithoutDecimals", "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,7,230394,,", true,
                    Course(7)}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    CurrentReceivers, NmeaDecoderTest,
    testing::Values(
        DecoderCase{"GgaDecimalTime", "$GPGGA,123519.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*69", true,
                    At(48, 7, 2, kNorth, 11, 31, 0, kEast)},
        DecoderCase{"GnGgaDecimalTime", "$GNGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47", true,
                    At(48, 7, 2, kNorth, 11, 31, 0, kEast)},
        DecoderCase{"GnGgaSouthWestDecimalTime", "$GNGGA,123519.50,3351.250,S,15112.500,W,2,08,0.9,545.4,M,46.9,M,,",
                    true, At(33, 51, 15, kSouth, 151, 12, 30, kWest)},
        DecoderCase{"GnRmcDecimalTime", "$GNRMC,123519.00,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W,A*37",
                    true, Course(84)},
        DecoderCase{"GnGgaRecorded", "$GNGGA,012413.00,4327.6782,N,07238.9898,W,1,05,4.66,430.1,M,,M,,*4B", true,
                    At(43, 27, 40, kNorth, 72, 38, 59, kWest)},
        DecoderCase{"GnRmcSouthEastRecorded",
                    "$GNRMC,135958.000,A,3505.55665,S,13852.35605,E,0.00,75.47,160524,,,A,V*2F", true, Course(75)},
        DecoderCase{"GgaFiveDecimalsOfMinutes", "$GNGGA,001031.00,4404.13993,N,12118.86023,W,1,09,1.0,84.0,M,,M,,",
                    true, At(44, 4, 8, kNorth, 121, 18, 51, kWest)},
        DecoderCase{"GgaWithoutFractionOfMinutes", "$GPGGA,123519,4807,N,01131,E,1,08,0.9,545.4,M,46.9,M,,", true,
                    At(48, 7, 0, kNorth, 11, 31, 0, kEast)},
        DecoderCase{"GgaCarriageReturn", kGgaNorthEast + "\r", true, At(48, 7, 2, kNorth, 11, 31, 0, kEast)},
        DecoderCase{"GlonassTalker", "$GLRMC,1,A,,,,,,12.0,,", true, Course(12)},
        DecoderCase{"GalileoTalker", "$GARMC,1,A,,,,,,13.0,,", true, Course(13)},
        DecoderCase{"BeidouGbTalker", "$GBRMC,1,A,,,,,,14.0,,", true, Course(14)},
        DecoderCase{"BeidouBdTalker", "$BDRMC,1,A,,,,,,15.0,,", true, Course(15)},
        DecoderCase{"InertialNavigationTalker", "$INRMC,1,A,,,,,,16.0,,", true, Course(16)},
        DecoderCase{"QzssTalker", "$QZGGA,1,4807.038,N,01131.000,E,1,08,,,,,,,", true,
                    At(48, 7, 2, kNorth, 11, 31, 0, kEast)},
        DecoderCase{"AnyLetterButEIsWest", "$GPGGA,1,4807.038,N,01131.000,O,1,08,,,,,,,", true,
                    At(48, 7, 2, kNorth, 11, 31, 0, kWest)},
        DecoderCase{"LowerCaseEIsWest", "$GPGGA,1,4807.038,n,01131.000,e,1,08,,,,,,,", true,
                    At(48, 7, 2, kNorth, 11, 31, 0, kWest)},
        DecoderCase{"LargestAcceptedValues", "$GPGGA,1,8959.999,S,17959.999,W,1,08,,,,,,,", true,
                    At(89, 59, 59, kSouth, 179, 59, 59, kWest)},
        DecoderCase{"FractionRoundingToAWholeMinuteStays59",
                    "$GPGGA,1,4807.99999999999999999,N,01131.000,E,1,08,,,,,,,", true,
                    At(48, 7, 59, kNorth, 11, 31, 0, kEast)}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    NoFix, NmeaDecoderTest,
    testing::Values(
        DecoderCase{"GgaFixQualityZero", "$GPGGA,123519,4807.038,N,01131.000,E,0,00,,,,,,,*52", true, kNothing},
        DecoderCase{"GgaEmptyFixQuality", "$GPGGA,123519,4807.038,N,01131.000,E,,08,,,,,,,", true, kNothing},
        DecoderCase{"GgaEverythingEmpty", "$GPGGA,,,,,,0,00,99.99,,,,,,*48", true, kNothing},
        DecoderCase{"GgaEmptyLatitude", "$GPGGA,123519,,N,01131.000,E,1,08,,,,,,,", true, kNothing},
        DecoderCase{"GgaEmptyLongitude", "$GPGGA,123519,4807.038,N,,E,1,08,,,,,,,", true, kNothing},
        DecoderCase{"GgaEmptyHemisphere", "$GPGGA,123519,4807.038,,01131.000,E,1,08,,,,,,,", true, kNothing},
        DecoderCase{"RmcVoid", "$GPRMC,,V,,,,,,,,,,N*53", true, kNothing},
        DecoderCase{"RmcVoidWithCourse", "$GPRMC,123519,V,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W", true,
                    kNothing},
        DecoderCase{"RmcEmptyCourse", "$GNRMC,012413.00,A,4327.6782,N,07238.9898,W,4.403,,280220,,,A,V*0D", true,
                    kNothing}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    OutOfRange, NmeaDecoderTest,
    testing::Values(
        DecoderCase{"LatitudeMinutes60", "$GPGGA,1,4860.000,N,01131.000,E,1,08,,,,,,,", true, kNothing},
        DecoderCase{"LongitudeMinutes60", "$GPGGA,1,4807.038,N,01160.000,E,1,08,,,,,,,", true, kNothing},
        DecoderCase{"Latitude90", "$GPGGA,1,9000.000,N,01131.000,E,1,08,,,,,,,", true, kNothing},
        DecoderCase{"Longitude180", "$GPGGA,1,4807.038,N,18000.000,E,1,08,,,,,,,", true, kNothing},
        DecoderCase{"NegativeLatitude", "$GPGGA,1,-4807.038,N,01131.000,E,1,08,,,,,,,", true, kNothing},
        DecoderCase{"CourseAbove360", "$GPRMC,1,A,,,,,,360.1,,", true, kNothing},
        DecoderCase{"NegativeCourse", "$GPRMC,1,A,,,,,,-5.0,,", true, kNothing},
        DecoderCase{"CourseWithExponent", "$GPRMC,1,A,,,,,,1e2,,", true, kNothing},
        DecoderCase{"CourseWithSpaces", "$GPRMC,1,A,,,,,, 84.4,,", true, kNothing}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Garbage, NmeaDecoderTest,
    testing::Values(DecoderCase{"Empty", "", true, kNothing}, DecoderCase{"DollarOnly", "$", true, kNothing},
                    DecoderCase{"NoDollar", kGgaNorthEast.substr(1), true, kNothing},
                    DecoderCase{"OtherSentence", "$GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74",
                                true, kNothing},
                    DecoderCase{"TalkerNotTwoCapitals", "$G1GGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,",
                                true, kNothing},
                    DecoderCase{"LongerSentenceId", "$GPRMCX,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,,",
                                true, kNothing},
                    DecoderCase{"LowerCaseSentenceId", "$gprmc,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,,",
                                true, kNothing},
                    DecoderCase{"OnlyCommas", "$GPGGA,,,,,,,,,,,,,,,,,,,,,,,,,,,", true, kNothing},
                    DecoderCase{"LettersInCoordinates", "$GPGGA,1,48O7.038,N,01131.000,E,1,08,,,,,,,", true, kNothing},
                    DecoderCase{"TwoPointsInCoordinates", "$GPGGA,1,4807.0.38,N,01131.000,E,1,08,,,,,,,", true,
                                kNothing},
                    DecoderCase{"EmbeddedNul", "$GPGGA,1,48\0" "7.038,N,01131.000,E,1,08,,,,,,,"s,
                                true, kNothing},
                    DecoderCase{"ChecksumBeforeCourse", "$GPRMC,1,A,,,,,*12,84.4,,", true, kNothing}),
    CaseName());

// Noise on the line: a sentence whose checksum does not hold is dropped.
INSTANTIATE_TEST_SUITE_P(
    Checksum, NmeaDecoderTest,
    testing::Values(
        DecoderCase{"GgaWrongChecksum", "$GPGGA,123519,3351.250,S,15112.500,W,1,08,0.9,545.4,M,46.9,M,,*47", true,
                    kNothing},
        DecoderCase{"GgaDigitChangedByNoise", "$GPGGA,123519,4807.938,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47",
                    true, kNothing},
        DecoderCase{"RmcWrongChecksum", "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6B", true,
                    kNothing},
        DecoderCase{"LowerCaseHexHolds", "$GPGGA,123519,3351.250,S,15112.500,W,1,08,0.9,545.4,M,46.9,M,,*4a", true,
                    At(33, 51, 15, kSouth, 151, 12, 30, kWest)},
        DecoderCase{"OneHexDigit", "$GPRMC,1,A,,,,,,12.0,,*5", true, kNothing},
        DecoderCase{"ThreeHexDigits", "$GPRMC,1,A,,,,,,12.0,,*5F0", true, kNothing},
        DecoderCase{"NotHex", "$GPRMC,1,A,,,,,,12.0,,*G5", true, kNothing}),
    CaseName());

// A line cut anywhere decodes to nothing until the field after the last one
// read has begun; from there on the complete result is given, except for a
// line cut inside its checksum.
struct TruncationCase {
  const char* name;
  std::string line;
  std::size_t firstCompleteLength;
  NmeaResult expected;
};
void PrintTo(const TruncationCase& row, std::ostream* out) { *out << row.name; }


class NmeaTruncationTest : public testing::TestWithParam<TruncationCase> {};

TEST_P(NmeaTruncationTest, EveryPrefix) {
  const TruncationCase& c = GetParam();
  const std::size_t star = c.line.find('*');
  for (std::size_t length = 0; length <= c.line.size(); ++length) {
    // A copy of exactly `length` bytes, so reading past it is caught by ASan.
    const std::string prefix = c.line.substr(0, length);
    const NmeaResult got = NmeaDecoder(prefix, true);
    const bool complete = length >= c.firstCompleteLength && (length <= star || length == c.line.size());
    EXPECT_EQ(got, complete ? c.expected : kNothing) << '"' << prefix << '"';
  }
}

INSTANTIATE_TEST_SUITE_P(
    ReferenceLines, NmeaTruncationTest,
    testing::Values(
        // "...,084.4," : the comma after the course is column 50.
        TruncationCase{"Rmc", kRmcPart, 51, Course(84)},
        // "...,E,1," : the comma after the fix quality is column 38.
        TruncationCase{"Gga", kGgaNorthEast, 39, At(48, 7, 2, kNorth, 11, 31, 0, kEast)}),
    CaseName());

TEST(NmeaDecoder, ReadsOnlyTheGivenBytes) {
  // The view ends inside a longer buffer: what follows must not be taken in.
  const std::string buffer = "$GPRMC,1,A,,,,,,12.0,,\n$GPRMC,1,A,,,,,,99.0,,";
  const std::string_view firstLine(buffer.data(), buffer.find('\n'));
  EXPECT_EQ(NmeaDecoder(firstLine, true), Course(12));
  // The same line without its last two commas is too short, whatever follows.
  EXPECT_EQ(NmeaDecoder(firstLine.substr(0, firstLine.size() - 2), true), kNothing);
}

}  // namespace
}  // namespace quarbe
