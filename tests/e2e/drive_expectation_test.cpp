#include "tests/e2e/drive_expectation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <ostream>
#include <set>
#include <sstream>
#include <string>

#include "geodesy/locator.h"
#include "rotator/rotator_port.h"

namespace quarbe::e2e {
namespace {

std::string ReadDrive(const std::string& name) {
  std::ifstream in(std::string(QUARBE_DRIVES_DIR) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Configuration DefaultConfiguration() { return Configuration{}; }  // LPT1, end stop 180, "Inverse"

TEST(StartUpTest, DefaultLocatorsComputeTwiceAndDriveTheRotatorOnceTo146) {
  DriveState state;
  const auto steps = StartUp("JN18AP", "JN08WV", DefaultConfiguration(), state);
  ASSERT_EQ(steps.size(), 2u);
  // Against the correspondent still at 0: shown, not sent to the rotator.
  EXPECT_EQ(steps[0].rotatorByte, std::nullopt);
  EXPECT_DOUBLE_EQ(steps[0].result.distanceKm, 5409.9);
  EXPECT_EQ(steps[0].result.trueAzimuthDeg, 183);
  EXPECT_EQ(steps[1].rotatorByte, std::optional<std::uint8_t>(146));
  EXPECT_DOUBLE_EQ(steps[1].result.distanceKm, 30.3);
  EXPECT_EQ(steps[1].result.trueAzimuthDeg, 336);
}

TEST(StartUpTest, LocatorOfTheZeroSquareOrRefusedComputesNothing) {
  DriveState state;
  // JJ00AA is the encoding of 0 deg with no hemisphere: the commit stops.
  auto steps = StartUp("JJ00AA", "JN08WV", DefaultConfiguration(), state);
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_EQ(steps[0].local, Position{});
  EXPECT_TRUE(steps[0].rotatorByte.has_value());
  steps = StartUp("JN18A", "zz99zz", DefaultConfiguration(), state);
  EXPECT_TRUE(steps.empty());
  EXPECT_EQ(state.local.position, Position{});
  // A refused local locator: the correspondent's computation is shown only.
  steps = StartUp("JN18", "JN08WV", DefaultConfiguration(), state);
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_EQ(steps[0].result.trueAzimuthDeg, 2);
  EXPECT_FALSE(steps[0].rotatorByte.has_value());
}

TEST(StartUpTest, RotatorPortZeroComputesWithoutBytes) {
  Configuration configuration;
  configuration.rotatorPort = 0;
  DriveState state;
  const auto steps = StartUp("JN18AP", "JN08WV", configuration, state);
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_FALSE(steps[0].rotatorByte.has_value());
  EXPECT_FALSE(steps[1].rotatorByte.has_value());
}

class RecordedDriveTest : public ::testing::Test {
 protected:
  std::vector<Computation> Run(const std::string& name) {
    DriveState state;
    StartUp("JN18AP", "JN08WV", DefaultConfiguration(), state);
    auto steps = Drive(ReadDrive(name), DefaultConfiguration(), state);
    lastLocator_ = state.local.locator;
    return steps;
  }
  std::string lastLocator_;
};

TEST_F(RecordedDriveTest, OneComputationPerFixAndNoneWithoutFix) {
  // Count the GGA sentences by their fix-quality field (the seventh).
  std::istringstream lines(ReadDrive("drive-jn18ap-gp.nmea"));
  std::size_t fixes = 0;
  std::size_t noFix = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("$GPGGA,", 0) != 0) continue;
    std::istringstream fields(line);
    std::string field;
    for (int i = 0; i < 7; ++i) std::getline(fields, field, ',');
    (field == "0" ? noFix : fixes) += 1;
  }
  const auto steps = Run("drive-jn18ap-gp.nmea");
  EXPECT_GT(noFix, 0u);
  EXPECT_EQ(steps.size(), fixes);
  EXPECT_GE(steps.size(), 300u);  // several minutes at one fix a second
  for (const auto& step : steps) EXPECT_TRUE(step.rotatorByte.has_value());
}

TEST_F(RecordedDriveTest, VehicleStaysNearJN18APAndTheCourseTurns) {
  const auto steps = Run("drive-jn18ap-gp.nmea");
  ASSERT_FALSE(steps.empty());
  EXPECT_EQ(steps.front().localLocator, "JN18AP");
  std::set<std::int32_t> headings;
  std::set<std::string> squares;
  for (const auto& step : steps) {
    headings.insert(step.headingDeg);
    squares.insert(step.localLocator.substr(0, 4));
    EXPECT_LT(step.result.distanceKm, 45.0);  // JN08WV is 30.3 km away; the drive covers a few km
  }
  EXPECT_EQ(squares, std::set<std::string>{"JN18"});
  for (const std::int32_t course : {45, 120, 210, 300, 10, 90}) EXPECT_TRUE(headings.count(course)) << course;
  // The turn through north: a course of 350 or more followed by one of 10 or less.
  bool throughNorth = false;
  for (std::size_t i = 1; i < steps.size(); ++i) {
    throughNorth = throughNorth || (steps[i - 1].headingDeg >= 350 && steps[i].headingDeg <= 10);
  }
  EXPECT_TRUE(throughNorth);
  // The drive ends in the next sub-square to the north.
  EXPECT_EQ(lastLocator_, "JN18AQ");
  EXPECT_EQ(lastLocator_, steps.back().localLocator);
  EXPECT_EQ(EncodeLocator(steps.back().local), lastLocator_);
}

TEST_F(RecordedDriveTest, StandingHoldsTheHeadingAndTheSensorOverridesTheCourse) {
  // For each GGA with a fix: the speed and course of the RMC before it and
  // the heading sensor's last HDT, if one came already.
  struct Second {
    double speedKn;
    std::string course;
    bool sensed;
  };
  std::istringstream lines(ReadDrive("drive-jn18ap-gp.nmea"));
  std::vector<Second> seconds;
  Second current{0.0, "", false};
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, ',');) fields.push_back(field);
    if (line.rfind("$GPRMC,", 0) == 0 && fields.size() > 8 && fields[2] == "A") {
      current.speedKn = std::stod(fields[7]);
      current.course = fields[8];
    }
    if (line.rfind("$GPHDT,", 0) == 0) current.sensed = true;
    if (line.rfind("$GPGGA,", 0) == 0 && fields.size() > 6 && fields[6] != "0") seconds.push_back(current);
  }
  const auto steps = Run("drive-jn18ap-gp.nmea");
  ASSERT_EQ(steps.size(), seconds.size());
  std::size_t standing = 0;
  std::size_t sensed = 0;
  std::size_t reversing = 0;
  for (std::size_t i = 1; i < steps.size(); ++i) {
    if (seconds[i].sensed) {
      // The sensor says 090 to the end, whatever the course over ground.
      ++sensed;
      if (seconds[i].speedKn >= 2.0 && seconds[i].course == "270.0") ++reversing;
      EXPECT_EQ(steps[i].headingDeg, 90) << "fix " << i;
      EXPECT_EQ(steps[i].headingSource, HeadingSource::kSensor) << "fix " << i;
    } else if (seconds[i].speedKn < 2.0) {
      // Braked to a halt on 210 and parked, the course at random.
      ++standing;
      EXPECT_EQ(steps[i].headingDeg, 210) << "fix " << i;
      EXPECT_EQ(steps[i].headingSource, HeadingSource::kHeld) << "fix " << i;
      EXPECT_EQ(steps[i].local, steps[i - 1].local) << "fix " << i;
      EXPECT_EQ(steps[i].rotatorByte, steps[i - 1].rotatorByte) << "fix " << i;
    } else {
      EXPECT_EQ(steps[i].headingSource, HeadingSource::kCourse) << "fix " << i;
    }
  }
  EXPECT_GE(standing, 60u);
  EXPECT_GE(sensed, 60u);
  EXPECT_GE(reversing, 3u);
}

TEST_F(RecordedDriveTest, CurrentReceiverLogDrivesTheRotatorTheSameWay) {
  const auto classic = Run("drive-jn18ap-gp.nmea");
  const auto current = Run("drive-jn18ap-gn.nmea");
  ASSERT_EQ(classic.size(), current.size());
  for (std::size_t i = 0; i < classic.size(); ++i) {
    EXPECT_EQ(classic[i].local, current[i].local) << "fix " << i;
    EXPECT_EQ(classic[i].headingDeg, current[i].headingDeg) << "fix " << i;
    EXPECT_EQ(classic[i].headingSource, current[i].headingSource) << "fix " << i;
    EXPECT_EQ(classic[i].rotatorByte, current[i].rotatorByte) << "fix " << i;
  }
}

TEST_F(RecordedDriveTest, BytesFollowTheRelativeAzimuth) {
  for (const auto& step : Run("drive-jn18ap-gn.nmea")) {
    EXPECT_EQ(step.rotatorByte, RotatorByte(step.result.relativeAzimuthDeg, DefaultConfiguration()));
    EXPECT_EQ(step.result.relativeAzimuthDeg, ((step.result.trueAzimuthDeg - step.headingDeg) % 360 + 360) % 360);
  }
}

TEST(DriveTest, LineCutShortAndCommentsApplyNothing) {
  DriveState state;
  StartUp("JN18AP", "JN08WV", DefaultConfiguration(), state);
  const std::string log =
      "# a comment\r\n"
      "$GPRMC,074201,A,4838.751,N,00202.501,E,002.2,045.0,140626,,*1B\r\n"
      "$GPGGA,074201,4838.751,N,00202.501,E,1,08,0.9,094.5,M,46.9,M,,*40\r\n"
      "$GPGGA,074202,4838.7";
  const auto steps = Drive(log, DefaultConfiguration(), state);
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_EQ(steps[0].headingDeg, 45);
  EXPECT_EQ(steps[0].local.latitude, (AngleDms{48, 38, 45, kNorth}));
  EXPECT_EQ(steps[0].local.longitude, (AngleDms{2, 2, 30, kEast}));
}

struct ByteCase {
  std::uint32_t endStopDeg;
  int sense;
};

void PrintTo(const ByteCase& row, std::ostream* out) {
  *out << "end stop " << row.endStopDeg << (row.sense == kSenseInverse ? ", Inverse" : ", Montre");
}

class AzimuthForByteTest : public ::testing::TestWithParam<ByteCase> {};

// Reading a byte back gives an azimuth that writes the same byte, and lies in
// the 1.40625-degree span below the azimuth that wrote it.
TEST_P(AzimuthForByteTest, InvertsTheByteArithmetic) {
  Configuration configuration;
  configuration.endStopDeg = GetParam().endStopDeg;
  configuration.rotationSense = GetParam().sense;
  for (std::int32_t azimuth = 0; azimuth < 360; ++azimuth) {
    const auto byte = RotatorByte(azimuth, configuration);
    ASSERT_TRUE(byte.has_value());
    const std::int32_t back = AzimuthForByte(*byte, configuration);
    EXPECT_EQ(RotatorByte(back, configuration), byte) << azimuth;
    EXPECT_LE((azimuth - back + 360) % 360, 1) << azimuth;
  }
}

INSTANTIATE_TEST_SUITE_P(EndStopsAndSenses, AzimuthForByteTest,
                         ::testing::Values(ByteCase{180, kSenseInverse}, ByteCase{180, kSenseClockwise},
                                           ByteCase{0, kSenseClockwise}, ByteCase{0, kSenseInverse},
                                           ByteCase{97, kSenseInverse}),
                         [](const ::testing::TestParamInfo<ByteCase>& row) {
                           return "EndStop" + std::to_string(row.param.endStopDeg) +
                                  (row.param.sense == kSenseInverse ? "Inverse" : "Clockwise");
                         });

}  // namespace
}  // namespace quarbe::e2e
