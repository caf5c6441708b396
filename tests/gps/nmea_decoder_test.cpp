#include "gps/nmea_decoder.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <type_traits>
#include <variant>

namespace quarbe {

template <typename T>
void PrintOptional(const char* name, const std::optional<T>& value, std::ostream* out) {
  if (value) *out << " " << name << " " << *value;
}

void PrintTo(const NmeaCourse& course, std::ostream* out) {
  *out << "course";
  PrintOptional("time", course.time ? std::optional<std::int32_t>(course.time->msOfDay) : std::nullopt, out);
  PrintOptional("degrees", course.degrees, out);
  PrintOptional("speed", course.speedKn, out);
  PrintOptional("variation", course.variationDeg, out);
}
void PrintTo(const NmeaPosition& fix, std::ostream* out) {
  const Position& p = fix.position;
  *out << p.latitude.degrees << "d" << p.latitude.minutes << "'" << p.latitude.seconds << "\" h"
       << p.latitude.hemisphere << " / " << p.longitude.degrees << "d" << p.longitude.minutes << "'"
       << p.longitude.seconds << "\" h" << p.longitude.hemisphere;
  PrintOptional("time", fix.time ? std::optional<std::int32_t>(fix.time->msOfDay) : std::nullopt, out);
}
void PrintTo(const NmeaHeading& heading, std::ostream* out) {
  *out << "heading " << heading.headingDeg;
  PrintOptional("variation", heading.variationDeg, out);
}

void PrintTo(const NmeaResult& result, std::ostream* out) {
  if (std::holds_alternative<std::monostate>(result)) {
    *out << "nothing";
    return;
  }
  std::visit(
      [out](const auto& value) {
        if constexpr (!std::is_same_v<std::decay_t<decltype(value)>, std::monostate>) PrintTo(value, out);
      },
      result);
}

namespace {

using namespace std::string_literals;

const NmeaResult kNothing{};

std::optional<NmeaTime> Utc(std::int32_t hours, std::int32_t minutes, std::int32_t seconds, std::int32_t ms = 0) {
  return NmeaTime{((hours * 60 + minutes) * 60 + seconds) * 1000 + ms};
}
const std::optional<NmeaTime> k123519 = Utc(12, 35, 19);

// An RMC's result: the course, then what the line also gives.
NmeaResult Course(std::optional<std::int32_t> degrees, std::optional<double> speedKn = {},
                  std::optional<NmeaTime> time = {}, std::optional<double> variationDeg = {}) {
  return NmeaCourse{time, degrees, speedKn, variationDeg};
}
NmeaResult TimeOnly(std::optional<NmeaTime> time) { return NmeaCourse{time, {}, {}, {}}; }

NmeaResult At(std::int32_t latDeg, std::int32_t latMin, std::int32_t latSec, std::int32_t latHemisphere,
              std::int32_t lonDeg, std::int32_t lonMin, std::int32_t lonSec, std::int32_t lonHemisphere,
              std::optional<NmeaTime> time = {}) {
  return NmeaPosition{Position{{latDeg, latMin, latSec, latHemisphere}, {lonDeg, lonMin, lonSec, lonHemisphere}},
                      time};
}

NmeaResult Sensor(double headingDeg, std::optional<double> variationDeg = 0.0) {
  return NmeaHeading{headingDeg, variationDeg};
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
        DecoderCase{"RmcCourseRounded", kRmcPart, true, Course(84, 22.4, k123519, -3.1)},
        DecoderCase{"RmcCourseWhileGpsUseOff", kRmcPart, false, Course(84, 22.4, k123519, -3.1)},
        DecoderCase{"GgaNorthEastSecondsTruncated", kGgaNorthEast, true, At(48, 7, 2, kNorth, 11, 31, 0, kEast, k123519)},
        DecoderCase{"GgaSouthWest", kGgaSouthWest, true, At(33, 51, 15, kSouth, 151, 12, 30, kWest, k123519)},
        DecoderCase{"GgaWhileGpsUseOff", kGgaNorthEast, false, kNothing},
        DecoderCase{"RmcCourseRoundsUpTo360", "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,359.6,230394,003.1,W*6B",
                    true, Course(360, 22.4, k123519, -3.1)},
        DecoderCase{"RmcCourse360", "$GPRMC,081836,A,3751.65,S,14507.36,E,000.0,360.0,130998,011.3,E*62", true,
                    Course(360, 0.0, Utc(8, 18, 36), 11.3)},
        DecoderCase{"RmcCourseJustBelowHalf", "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,84.49,230394,,*18", true,
                    Course(84, 22.4, k123519)},
        DecoderCase{"RmcCourseExactlyHalf", "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,84.5,230394,,*20", true,
                    Course(85, 22.4, k123519)},
        DecoderCase{"RmcCourseWithoutDecimals", "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,7,230394,,", true,
                    Course(7, 22.4, k123519)}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    CurrentReceivers, NmeaDecoderTest,
    testing::Values(
        DecoderCase{"GgaDecimalTime", "$GPGGA,123519.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*69", true,
                    At(48, 7, 2, kNorth, 11, 31, 0, kEast, k123519)},
        DecoderCase{"GnGgaDecimalTime", "$GNGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47", true,
                    At(48, 7, 2, kNorth, 11, 31, 0, kEast, k123519)},
        DecoderCase{"GnGgaSouthWestDecimalTime", "$GNGGA,123519.50,3351.250,S,15112.500,W,2,08,0.9,545.4,M,46.9,M,,",
                    true, At(33, 51, 15, kSouth, 151, 12, 30, kWest, Utc(12, 35, 19, 500))},
        DecoderCase{"GnRmcDecimalTime", "$GNRMC,123519.00,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W,A*37",
                    true, Course(84, 22.4, k123519, -3.1)},
        DecoderCase{"GnGgaRecorded", "$GNGGA,012413.00,4327.6782,N,07238.9898,W,1,05,4.66,430.1,M,,M,,*4B", true,
                    At(43, 27, 40, kNorth, 72, 38, 59, kWest, Utc(1, 24, 13))},
        DecoderCase{"GnRmcSouthEastRecorded",
                    "$GNRMC,135958.000,A,3505.55665,S,13852.35605,E,0.00,75.47,160524,,,A,V*2F", true,
                    Course(75, 0.0, Utc(13, 59, 58))},
        DecoderCase{"GgaFiveDecimalsOfMinutes", "$GNGGA,001031.00,4404.13993,N,12118.86023,W,1,09,1.0,84.0,M,,M,,",
                    true, At(44, 4, 8, kNorth, 121, 18, 51, kWest, Utc(0, 10, 31))},
        DecoderCase{"GgaWithoutFractionOfMinutes", "$GPGGA,123519,4807,N,01131,E,1,08,0.9,545.4,M,46.9,M,,", true,
                    At(48, 7, 0, kNorth, 11, 31, 0, kEast, k123519)},
        DecoderCase{"GgaCarriageReturn", kGgaNorthEast + "\r", true, At(48, 7, 2, kNorth, 11, 31, 0, kEast, k123519)},
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
        DecoderCase{"RmcVoid", "$GPRMC,,V,,,,,,,,,,N*53", true, TimeOnly({})},
        DecoderCase{"RmcVoidWithCourse", "$GPRMC,123519,V,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W", true,
                    TimeOnly(k123519)},
        DecoderCase{"RmcEmptyCourse", "$GNRMC,012413.00,A,4327.6782,N,07238.9898,W,4.403,,280220,,,A,V*0D", true,
                    Course({}, 4.403, Utc(1, 24, 13))}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    OutOfRange, NmeaDecoderTest,
    testing::Values(
        DecoderCase{"LatitudeMinutes60", "$GPGGA,1,4860.000,N,01131.000,E,1,08,,,,,,,", true, kNothing},
        DecoderCase{"LongitudeMinutes60", "$GPGGA,1,4807.038,N,01160.000,E,1,08,,,,,,,", true, kNothing},
        DecoderCase{"Latitude90", "$GPGGA,1,9000.000,N,01131.000,E,1,08,,,,,,,", true, kNothing},
        DecoderCase{"Longitude180", "$GPGGA,1,4807.038,N,18000.000,E,1,08,,,,,,,", true, kNothing},
        DecoderCase{"NegativeLatitude", "$GPGGA,1,-4807.038,N,01131.000,E,1,08,,,,,,,", true, kNothing},
        DecoderCase{"CourseAbove360", "$GPRMC,1,A,,,,,,360.1,,", true, TimeOnly({})},
        DecoderCase{"NegativeCourse", "$GPRMC,1,A,,,,,,-5.0,,", true, TimeOnly({})},
        DecoderCase{"CourseWithExponent", "$GPRMC,1,A,,,,,,1e2,,", true, TimeOnly({})},
        DecoderCase{"CourseWithSpaces", "$GPRMC,1,A,,,,,, 84.4,,", true, TimeOnly({})}),
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
                    At(33, 51, 15, kSouth, 151, 12, 30, kWest, k123519)},
        DecoderCase{"OneHexDigit", "$GPRMC,1,A,,,,,,12.0,,*5", true, kNothing},
        DecoderCase{"ThreeHexDigits", "$GPRMC,1,A,,,,,,12.0,,*5F0", true, kNothing},
        DecoderCase{"NotHex", "$GPRMC,1,A,,,,,,12.0,,*G5", true, kNothing}),
    CaseName());

// What the heading rule needs: the speed, the variation, and the heading
// sensors' sentences from any talker; times for putting one fix together.
INSTANTIATE_TEST_SUITE_P(
    SpeedAndHeadings, NmeaDecoderTest,
    testing::Values(
        DecoderCase{"RmcStandingSpeed", "$GPRMC,123519,A,4807.038,N,01131.000,E,000.06,226.0,230394,,*2D", true,
                    Course(226, 0.06, k123519)},
        DecoderCase{"RmcEmptySpeedKeepsTheCourse", "$GPRMC,123519,A,4807.038,N,01131.000,E,,084.4,230394,,*3B", true,
                    Course(84, {}, k123519)},
        DecoderCase{"RmcUnreadableSpeedDropsTheCourse",
                    "$GPRMC,123519,A,4807.038,N,01131.000,E,1.2.3,084.4,230394,,*0B", true, TimeOnly(k123519)},
        DecoderCase{"RmcVariationEast", "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,E*78", true,
                    Course(84, 22.4, k123519, 3.1)},
        DecoderCase{"RmcVariationWithoutItsLetter",
                    "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,*3D", true,
                    Course(84, 22.4, k123519)},
        DecoderCase{"TimeWithThreeDecimals", "$GPGGA,120000.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,,M,,*42",
                    true, At(48, 7, 2, kNorth, 11, 31, 0, kEast, Utc(12, 0, 0))},
        DecoderCase{"LeapSecond", "$GPRMC,235960.5,A,4807.038,N,01131.000,E,022.4,084.4,230394,,*0C", true,
                    Course(84, 22.4, Utc(23, 59, 60, 500))},
        DecoderCase{"HourOutOfRangeIsNoTime", "$GPRMC,245959,A,4807.038,N,01131.000,E,022.4,084.4,230394,,*1A", true,
                    Course(84, 22.4)},
        DecoderCase{"HdtFromAGyro", "$HEHDT,205.0,T*28", true, Sensor(205.0)},
        DecoderCase{"HdtFromAReceiver", "$GPHDT,359.6,T*3C", true, Sensor(359.6)},
        DecoderCase{"HdtWithoutItsT", "$HEHDT,205.0,*7C", true, Sensor(205.0)},
        DecoderCase{"HdtMagnetic", "$HEHDT,205.0,M*31", true, kNothing},
        DecoderCase{"HdtAbove360", "$HEHDT,360.1,T*2B", true, kNothing},
        DecoderCase{"HdtEmpty", "$HEHDT,,T*01", true, kNothing},
        DecoderCase{"ThsAutonomous", "$GPTHS,77.52,A*30", true, Sensor(77.52)},
        DecoderCase{"ThsEstimated", "$INTHS,77.52,E*24", true, Sensor(77.52)},
        DecoderCase{"ThsManualInput", "$GPTHS,77.52,M*3C", true, kNothing},
        DecoderCase{"ThsSimulator", "$GPTHS,77.52,S*22", true, kNothing},
        DecoderCase{"ThsNotValid", "$GPTHS,77.52,V*27", true, kNothing},
        DecoderCase{"HdgDeviationAndVariation", "$HCHDG,101.1,0.6,E,7.1,W*51", true, Sensor(101.1 + 0.6, -7.1)},
        DecoderCase{"HdgVariationOnly", "$HCHDG,98.3,,,7.1,E*1D", true, Sensor(98.3, 7.1)},
        DecoderCase{"HdgWithoutVariation", "$IIHDG,98.3,,,,*7B", true, Sensor(98.3, std::nullopt)},
        DecoderCase{"HdgDeviationWithoutItsLetter", "$HCHDG,98.3,0.5,,,*5B", true, kNothing},
        DecoderCase{"HdgEmptyHeading", "$HCHDG,,,,7.1,E*01", true, kNothing},
        DecoderCase{"HdgVariationAbove180", "$HCHDG,98.3,,,181.0,E*13", true, kNothing},
        DecoderCase{"ProprietaryRmcLookAlike",
                    "$PGRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A", true, kNothing},
        DecoderCase{"ProprietaryHdtLookAlike", "$PXHDT,205.0,T*2D", true, kNothing},
        DecoderCase{"TwoCarriageReturnsAfterTheChecksum", kGgaNorthEast + "\r\r", true,
                    At(48, 7, 2, kNorth, 11, 31, 0, kEast, k123519)},
        DecoderCase{"BlanksAfterTheChecksum", kGgaNorthEast + " \t \r", true,
                    At(48, 7, 2, kNorth, 11, 31, 0, kEast, k123519)},
        DecoderCase{"BlanksInsideTheChecksum", "$HEHDT,205.0,T*2 8", true, kNothing}),
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
        TruncationCase{"Rmc", "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,,*11", 51,
                       Course(84, 22.4, k123519)},
        // "...,E,1," : the comma after the fix quality is column 38.
        TruncationCase{"Gga", kGgaNorthEast, 39, At(48, 7, 2, kNorth, 11, 31, 0, kEast, k123519)},
        TruncationCase{"Hdt", "$HEHDT,205.0,T*28", 13, Sensor(205.0)},
        TruncationCase{"Ths", "$GPTHS,77.52,A*30", 14, Sensor(77.52)},
        TruncationCase{"Hdg", "$HCHDG,101.1,0.6,E,7.1,W*51", 24, Sensor(101.1 + 0.6, -7.1)}),
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
