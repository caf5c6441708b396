// The heading handed with each position, from sentences as a receiver sends
// them: decoded by NmeaDecoder and put together by NmeaFixAssembler, whose
// HeadingRule decides between the course over ground, the heading held while
// standing and a heading sensor's. The clock is the table's.

#include "gps/heading_rule.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "gps/nmea_decoder.h"
#include "gps/nmea_fix_assembler.h"

namespace quarbe {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::int32_t kInitialDeg = 17;

std::string Time(int second) {
  char text[16];
  std::snprintf(text, sizeof text, "1200%02d", second);
  return text;
}

// Lines without checksums, which the decoder takes as they stand.
std::string Rmc(int second, const std::string& speedKn, const std::string& courseDeg,
                const std::string& variation = ",") {
  return "$GPRMC," + Time(second) + ",A,4807.038,N,01131.000,E," + speedKn + "," + courseDeg + ",230394," + variation;
}
std::string Gga(int second) { return "$GPGGA," + Time(second) + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"; }

// One line received at `ms`, or with an empty line the reader's wait
// running out at `ms`.
struct Step {
  int ms;
  std::string line;
};

// A fix handed on at `ms` with this heading.
struct Handed {
  int ms;
  std::int32_t degrees;
  HeadingSource source;

  friend bool operator==(const Handed&, const Handed&) = default;
};
void PrintTo(const Handed& fix, std::ostream* out) {
  *out << "{at " << fix.ms << " ms: " << fix.degrees << " deg, source " << static_cast<int>(fix.source) << "}";
}

struct RuleCase {
  const char* name;
  std::vector<Step> steps;
  std::vector<Handed> expected;
};
void PrintTo(const RuleCase& row, std::ostream* out) { *out << row.name; }

class HeadingRuleTest : public testing::TestWithParam<RuleCase> {};

TEST_P(HeadingRuleTest, HandsEachPositionWithItsHeading) {
  NmeaFixAssembler assembler(kInitialDeg);
  std::vector<Handed> handed;
  const auto record = [&](int ms, const GpsFix& fix) { handed.push_back({ms, fix.headingDeg, fix.headingSource}); };
  for (const Step& step : GetParam().steps) {
    const Clock::time_point now = Clock::time_point{} + milliseconds(step.ms);
    if (step.line.empty()) {
      if (const auto fix = assembler.Expire(now)) record(step.ms, *fix);
      continue;
    }
    for (const GpsFix& fix : assembler.Take(NmeaDecoder(step.line, true), now)) record(step.ms, fix);
  }
  EXPECT_EQ(handed, GetParam().expected);
}

constexpr HeadingSource kCourse = HeadingSource::kCourse;
constexpr HeadingSource kHeld = HeadingSource::kHeld;
constexpr HeadingSource kSensor = HeadingSource::kSensor;
constexpr HeadingSource kInitial = HeadingSource::kInitial;

INSTANTIATE_TEST_SUITE_P(
    CourseAndSpeed, HeadingRuleTest,
    testing::Values(
        RuleCase{"MovingCourseTaken", {{0, Rmc(0, "22.4", "84.4")}, {10, Gga(0)}}, {{10, 84, kCourse}}},
        RuleCase{"StandingCourseHeld",
                 {{0, Rmc(0, "22.4", "84.4")}, {10, Gga(0)},
                  {1000, Rmc(1, "0.06", "226.0")}, {1010, Gga(1)},
                  {2000, Rmc(2, "1.99", "202.0")}, {2010, Gga(2)}},
                 {{10, 84, kCourse}, {1010, 84, kHeld}, {2010, 84, kHeld}}},
        RuleCase{"TwoKnotsIsMoving", {{0, Rmc(0, "2.0", "150.0")}, {10, Gga(0)}}, {{10, 150, kCourse}}},
        RuleCase{"EmptySpeedTakesTheCourse", {{0, Rmc(0, "", "226.0")}, {10, Gga(0)}}, {{10, 226, kCourse}}},
        RuleCase{"StandingFromTheStartKeepsTheInitialHeading",
                 {{0, Rmc(0, "0.05", "226.0")}, {10, Gga(0)}}, {{10, kInitialDeg, kHeld}}},
        RuleCase{"NoCourseYet", {{0, Gga(0)}}, {{0, kInitialDeg, kInitial}}},
        RuleCase{"VoidFixOrEmptyCourseKeepsTheHeading",
                 {{0, Rmc(0, "22.4", "84.4")}, {10, Gga(0)},
                  {1000, "$GPRMC," + Time(1) + ",V,,,,,,,230394,,"}, {1010, Gga(1)},
                  {2000, Rmc(2, "4.4", "")}, {2010, Gga(2)}},
                 {{10, 84, kCourse}, {1010, 84, kCourse}, {2010, 84, kCourse}}}),
    [](const testing::TestParamInfo<RuleCase>& row) { return std::string(row.param.name); });

INSTANTIATE_TEST_SUITE_P(
    HeadingSensors, HeadingRuleTest,
    testing::Values(
        RuleCase{"SensorBeatsTheCourseAtAnySpeed",
                 {{0, Rmc(0, "22.4", "84.4")}, {5, "$HEHDT,205.0,T"}, {10, Gga(0)},
                  {1000, Rmc(1, "30.0", "90.0")}, {1010, Gga(1)}},
                 {{10, 205, kSensor}, {1010, 205, kSensor}}},
        RuleCase{"SensorForgottenAfterThreeSeconds",
                 {{0, "$HEHDT,205.0,T"},
                  {2999, Rmc(2, "22.4", "90.0")}, {2999, Gga(2)},
                  {3000, Rmc(3, "22.4", "91.0")}, {3000, Gga(3)}},
                 {{2999, 205, kSensor}, {3000, 91, kCourse}}},
        RuleCase{"StandingKeepsTheSensorsLastHeading",
                 {{0, "$HEHDT,205.0,T"}, {4000, Rmc(4, "0.1", "330.0")}, {4000, Gga(4)}}, {{4000, 205, kHeld}}},
        RuleCase{"HdgWithItsOwnDeviationAndVariation",
                 {{0, "$HCHDG,101.1,0.6,E,7.1,W"}, {10, Gga(0)}}, {{10, 95, kSensor}}},
        RuleCase{"HdgTakesTheLatestRmcVariation",
                 {{0, Rmc(0, "22.4", "84.4", "003.1,W")}, {5, "$IIHDG,98.3,,,,"}, {10, Gga(0)},
                  {1000, Rmc(1, "22.4", "84.4")}, {1005, "$IIHDG,50.0,,,,"}, {1010, Gga(1)}},
                 {{10, 95, kSensor}, {1010, 47, kSensor}}},
        RuleCase{"HdgWithoutAnyVariationIsNotUsed",
                 {{0, Rmc(0, "22.4", "84.4")}, {5, "$IIHDG,98.3,,,,"}, {10, Gga(0)}}, {{10, 84, kCourse}}},
        RuleCase{"HeadingsAcrossNorth",
                 {{0, "$HCHDG,359.0,,,2.0,E"}, {0, Gga(0)}, {10, "$GPHDT,359.6,T"}, {10, Gga(1)}},
                 {{0, 1, kSensor}, {10, 360, kSensor}}}),
    [](const testing::TestParamInfo<RuleCase>& row) { return std::string(row.param.name); });

// The position and the course of one fix go together whatever the order the
// receiver sends them in.
INSTANTIATE_TEST_SUITE_P(
    OneFixTime, HeadingRuleTest,
    testing::Values(
        RuleCase{"GgaBeforeRmcGetsItsOwnCourse",
                 {{0, Gga(0)}, {20, Rmc(0, "22.4", "10.0")},
                  {1000, Gga(1)}, {1020, Rmc(1, "22.4", "20.0")},
                  {2000, Gga(2)}, {2020, Rmc(2, "22.4", "30.0")}},
                 {{0, kInitialDeg, kInitial}, {1020, 20, kCourse}, {2020, 30, kCourse}}},
        RuleCase{"WithoutItsRmcAPositionWaits200ms",
                 {{0, Rmc(0, "22.4", "10.0")}, {0, Gga(0)}, {1000, Gga(1)}, {1199, ""}, {1200, ""}},
                 {{0, 10, kCourse}, {1200, 10, kCourse}}},
        RuleCase{"ASentenceOfAnotherTimeEndsTheWait",
                 {{0, Rmc(0, "22.4", "10.0")}, {0, Gga(0)},
                  {1000, Gga(1)}, {2000, Rmc(2, "22.4", "30.0")}, {2010, Gga(2)},
                  {3000, Gga(3)}, {4000, Gga(4)}, {4200, ""}},
                 {{0, 10, kCourse}, {2000, 10, kCourse}, {2010, 30, kCourse}, {4000, 30, kCourse},
                  {4200, 30, kCourse}}},
        RuleCase{"ReceiverWithoutRmc", {{0, Gga(0)}, {1000, Gga(1)}},
                 {{0, kInitialDeg, kInitial}, {1000, kInitialDeg, kInitial}}}),
    [](const testing::TestParamInfo<RuleCase>& row) { return std::string(row.param.name); });

TEST(HeadingRule, GpsdSpeedsInMetresPerSecond) {
  const Clock::time_point now{};
  HeadingRule rule(kInitialDeg);
  rule.TakeCourse(100, 1.02 * kKnotsPerMetrePerSecond, now);
  EXPECT_EQ(rule.Current(), (Heading{kInitialDeg, kHeld}));
  rule.TakeCourse(100, 1.03 * kKnotsPerMetrePerSecond, now);
  EXPECT_EQ(rule.Current(), (Heading{100, kCourse}));
}

TEST(NmeaFixAssembler, WaitsForTheReaderInWholeMilliseconds) {
  NmeaFixAssembler assembler(kInitialDeg);
  const Clock::time_point start{};
  EXPECT_EQ(assembler.WaitMs(start), -1);  // nothing waits: poll without a limit
  assembler.Take(NmeaDecoder(Rmc(0, "22.4", "10.0"), true), start);
  assembler.Take(NmeaDecoder(Gga(1), true), start);
  EXPECT_EQ(assembler.WaitMs(start), 200);
  EXPECT_EQ(assembler.WaitMs(start + std::chrono::microseconds(150'500)), 50);
  EXPECT_EQ(assembler.WaitMs(start + milliseconds(300)), 0);
  EXPECT_TRUE(assembler.Release().has_value());
  EXPECT_EQ(assembler.WaitMs(start), -1);
}

}  // namespace
}  // namespace quarbe
