#include "status/status_model.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ostream>
#include <vector>

namespace quarbe {
namespace {

using std::chrono::hours;
using std::chrono::milliseconds;
using std::chrono::minutes;
using std::chrono::seconds;
using Time = StatusClock::time_point;
using GpsState = GpsLine::State;
using RotatorState = RotatorLine::State;

const Time kNow = Time(hours(5));

// What the GPS source has received, as offsets before now.
struct GpsCase {
  const char* name;
  GpsStatusInput::Source source;
  bool use;
  bool linkOpen;
  std::optional<milliseconds> dataAgo;
  std::optional<milliseconds> positionAgo;
  GpsState state;
  std::optional<seconds> age;
  std::optional<milliseconds> changesIn;  // from now
};
void PrintTo(const GpsCase& row, std::ostream* out) { *out << row.name; }

class GpsLineTest : public testing::TestWithParam<GpsCase> {};

TEST_P(GpsLineTest, StateAgeAndNextChange) {
  const GpsCase& c = GetParam();
  GpsStatusInput input;
  input.source = c.source;
  input.where = "/dev/ttyUSB0";
  input.use = c.use;
  input.activity.linkOpen = c.linkOpen;
  if (c.dataAgo) input.activity.lastDataAt = kNow - *c.dataAgo;
  if (c.positionAgo) input.activity.lastPositionAt = kNow - *c.positionAgo;
  std::optional<Time> changesAt;
  const GpsLine line = GpsLineAt(input, kNow, &changesAt);
  EXPECT_EQ(line.state, c.state);
  EXPECT_EQ(line.positionAge, c.age);
  EXPECT_EQ(changesAt, c.changesIn ? std::optional(kNow + *c.changesIn) : std::nullopt);
  EXPECT_EQ(line.where, "/dev/ttyUSB0");
}

using Source = GpsStatusInput::Source;
constexpr auto kSerial = Source::kSerial;
constexpr auto ms = [](int count) { return std::optional(milliseconds(count)); };
constexpr auto s = [](int count) { return std::optional(seconds(count)); };

INSTANTIATE_TEST_SUITE_P(
    Table, GpsLineTest,
    testing::Values(
        GpsCase{"NoneConfigured", Source::kNone, true, false, {}, {}, GpsState::kNone, {}, {}},
        GpsCase{"UnreadableEntry", Source::kUnreadableEntry, true, false, {}, {}, GpsState::kClosed, {}, {}},
        // Use off: the position is typed, whatever the receiver sends.
        GpsCase{"UseOff", kSerial, false, true, ms(100), ms(100), GpsState::kUnused, {}, {}},
        GpsCase{"OpenNothingYet", kSerial, true, true, {}, {}, GpsState::kSilent, {}, {}},
        GpsCase{"NotOpen", Source::kGpsd, true, false, {}, {}, GpsState::kClosed, {}, {}},
        GpsCase{"DataWithoutPosition", kSerial, true, true, ms(1000), {}, GpsState::kNoPosition, {}, ms(2000)},
        GpsCase{"FreshPosition", kSerial, true, true, ms(200), ms(1200), GpsState::kPosition, {}, ms(1800)},
        // Sentences still come, positions stopped: the age from 3 s on,
        // ticking at the next whole second of it.
        GpsCase{"PositionLost", kSerial, true, true, ms(500), ms(4200), GpsState::kNoPosition, s(4), ms(800)},
        GpsCase{"SilentAtThreeSeconds", kSerial, true, true, ms(3000), ms(3000), GpsState::kSilent, s(3), ms(1000)},
        GpsCase{"SilentAMinute", kSerial, true, true, ms(75000), ms(75000), GpsState::kSilent, s(60), ms(45000)},
        GpsCase{"SilentHours", kSerial, true, true, {}, ms(7800000), GpsState::kSilent, s(7200), ms(3000000)},
        // Unplugged: the port closes, the last position keeps its age.
        GpsCase{"UnpluggedAfterAPosition", kSerial, true, false, ms(5500), ms(5500), GpsState::kClosed, s(5),
                ms(500)},
        GpsCase{"UnpluggedJustNow", kSerial, true, false, ms(400), ms(400), GpsState::kPosition, {}, ms(2600)}),
    [](const testing::TestParamInfo<GpsCase>& row) { return std::string(row.param.name); });

struct RotatorCase {
  const char* name;
  RotatorStatus status;
  RotatorState state;
  std::optional<seconds> nextTryIn;
  std::optional<milliseconds> changesIn;
};
void PrintTo(const RotatorCase& row, std::ostream* out) { *out << row.name; }

RotatorStatus Hamlib(RotatorStatus::Link link) {
  RotatorStatus status;
  status.kind = RotatorStatus::Kind::kHamlib;
  status.model = 603;
  status.device = "/dev/ttyUSB1";
  status.link = link;
  return status;
}

RotatorStatus NotAnswering(std::optional<milliseconds> tryIn, HamlibFailure::Stage stage, int errorNumber,
                           bool daemonAnswered = false) {
  RotatorStatus status = Hamlib(RotatorStatus::Link::kNotAnswering);
  HamlibFailure failure{stage, HamlibAddress{603, "/dev/ttyUSB1"}};
  failure.errorNumber = errorNumber;
  failure.daemonAnswered = daemonAnswered;
  status.problem = failure;
  if (tryIn) status.nextTryAt = kNow + *tryIn;
  return status;
}

class RotatorLineTest : public testing::TestWithParam<RotatorCase> {};

TEST_P(RotatorLineTest, StateAndCountdown) {
  const RotatorCase& c = GetParam();
  std::optional<Time> changesAt;
  const RotatorLine line = RotatorLineAt(c.status, kNow, &changesAt);
  EXPECT_EQ(line.state, c.state);
  EXPECT_EQ(line.nextTryIn, c.nextTryIn);
  EXPECT_EQ(changesAt, c.changesIn ? std::optional(kNow + *c.changesIn) : std::nullopt);
}

using Stage = HamlibFailure::Stage;
INSTANTIATE_TEST_SUITE_P(
    Table, RotatorLineTest,
    testing::Values(RotatorCase{"None", RotatorStatus{}, RotatorState::kNone, {}, {}},
                    RotatorCase{"Opening", Hamlib(RotatorStatus::Link::kOpening), RotatorState::kOpening, {}, {}},
                    RotatorCase{"Connected", Hamlib(RotatorStatus::Link::kConnected), RotatorState::kConnected, {}, {}},
                    // 2.4 s left reads "3 s" until 2 s are left.
                    RotatorCase{"Mute", NotAnswering(ms(2400), Stage::kReadback, 0), RotatorState::kNotAnswering,
                                s(3), ms(400)},
                    RotatorCase{"Unplugged", NotAnswering(ms(1000), Stage::kOpen, ENOENT), RotatorState::kAbsent,
                                s(1), ms(1000)},
                    RotatorCase{"DaemonNotRunning", NotAnswering(ms(500), Stage::kOpen, ECONNREFUSED),
                                RotatorState::kAbsent, s(1), ms(500)},
                    RotatorCase{"Permission", NotAnswering(ms(3000), Stage::kOpen, EACCES),
                                RotatorState::kNotAnswering, s(3), ms(1000)},
                    RotatorCase{"TryUnderWay", NotAnswering(ms(-200), Stage::kOpen, ENOENT), RotatorState::kAbsent,
                                s(0), {}},
                    RotatorCase{"NotRetried", NotAnswering({}, Stage::kUnknownModel, 0),
                                RotatorState::kOutOfService, {}, {}}),
    [](const testing::TestParamInfo<RotatorCase>& row) { return std::string(row.param.name); });

TEST(RotatorLine, CarriesWhatTheStatusLineNames) {
  RotatorStatus parallel;
  parallel.kind = RotatorStatus::Kind::kParallelByte;
  parallel.device = "/dev/parport0";
  parallel.lastByte = 128;
  RotatorLine line = RotatorLineAt(parallel, kNow);
  EXPECT_EQ(line.state, RotatorState::kParallelByte);
  EXPECT_EQ(line.lastByte, std::optional<std::uint8_t>(128));
  EXPECT_EQ(line.device, "/dev/parport0");

  RotatorStatus connected = Hamlib(RotatorStatus::Link::kConnected);
  connected.modelName = "Yaesu GS-232B";
  connected.antennaDeg = 87;
  line = RotatorLineAt(connected, kNow);
  EXPECT_EQ(line.modelName, "Yaesu GS-232B");
  EXPECT_EQ(line.antennaDeg, std::optional(87));

  EXPECT_TRUE(RotatorLineAt(NotAnswering(ms(1000), Stage::kCommand, 0, true), kNow).behindDaemon);
}

// The fixes applied, in order, with GPS restarts between them (-1).
struct HeadingCase {
  const char* name;
  std::vector<int> fixes;
  bool gpsGivesHeading;
  HeadingOrigin origin;
};
void PrintTo(const HeadingCase& row, std::ostream* out) { *out << row.name; }

class HeadingOriginTest : public testing::TestWithParam<HeadingCase> {};

TEST_P(HeadingOriginTest, FromTheFixesApplied) {
  const HeadingCase& c = GetParam();
  HeadingOriginTracker tracker;
  for (const int fix : c.fixes) {
    if (fix < 0) {
      tracker.SourceRestarted();
    } else {
      tracker.FixApplied(static_cast<HeadingSource>(fix));
    }
  }
  EXPECT_EQ(tracker.Origin(c.gpsGivesHeading), c.origin);
}

constexpr int kInitial = static_cast<int>(HeadingSource::kInitial);
constexpr int kCourse = static_cast<int>(HeadingSource::kCourse);
constexpr int kHeld = static_cast<int>(HeadingSource::kHeld);
constexpr int kSensor = static_cast<int>(HeadingSource::kSensor);
INSTANTIATE_TEST_SUITE_P(
    Table, HeadingOriginTest,
    testing::Values(HeadingCase{"NoFixYet", {}, true, HeadingOrigin::kTyped},
                    HeadingCase{"NoCourseYet", {kInitial}, true, HeadingOrigin::kTyped},
                    HeadingCase{"Moving", {kInitial, kCourse}, true, HeadingOrigin::kCourse},
                    HeadingCase{"Stopped", {kCourse, kHeld}, true, HeadingOrigin::kHeld},
                    HeadingCase{"Sensor", {kCourse, kSensor}, true, HeadingOrigin::kSensor},
                    // Restarted by the configuration: the heading handed on is
                    // the course taken before, held.
                    HeadingCase{"RestartedAfterACourse", {kCourse, -1, kInitial}, true, HeadingOrigin::kHeld},
                    HeadingCase{"RestartedBeforeAFix", {kCourse, -1}, true, HeadingOrigin::kTyped},
                    HeadingCase{"GpsOff", {kCourse}, false, HeadingOrigin::kTyped}),
    [](const testing::TestParamInfo<HeadingCase>& row) { return std::string(row.param.name); });

// The whole line changes by time at the earliest of its parts' changes.
TEST(StatusModel, ChangesAtTheEarliestPart) {
  StatusModel model;
  model.FixApplied(HeadingSource::kCourse);
  GpsStatusInput gps{Source::kSerial, "/dev/ttyUSB0", true, GpsActivity{true, kNow, kNow - milliseconds(2500)}};
  const StatusReading reading =
      model.Read(gps, NotAnswering(milliseconds(1700), Stage::kOpen, ENOENT), kNow);
  EXPECT_EQ(reading.line.gps.state, GpsState::kPosition);
  EXPECT_EQ(reading.line.heading, HeadingOrigin::kCourse);
  EXPECT_EQ(reading.line.rotator.state, RotatorState::kAbsent);
  EXPECT_EQ(reading.changesAt, kNow + milliseconds(500));
  // Nothing that time changes: no time to wake up at.
  gps.activity = GpsActivity{true, std::nullopt, std::nullopt};
  EXPECT_EQ(model.Read(gps, RotatorStatus{}, kNow).changesAt, std::nullopt);
}

}  // namespace
}  // namespace quarbe
