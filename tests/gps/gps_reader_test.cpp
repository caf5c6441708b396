#include "gps/gps_reader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "reader_fixture.h"
#include "support/pseudo_terminal.h"

namespace quarbe {

void PrintTo(const GpsFix& fix, std::ostream* out) {
  const Position& p = fix.position;
  *out << "fix " << p.latitude.degrees << "d" << p.latitude.minutes << "'" << p.latitude.seconds << "\" h"
       << p.latitude.hemisphere << " / " << p.longitude.degrees << "d" << p.longitude.minutes << "'"
       << p.longitude.seconds << "\" h" << p.longitude.hemisphere << " heading " << fix.headingDeg << " source "
       << static_cast<int>(fix.headingSource);
}
void PrintTo(const GpsOpenError& error, std::ostream* out) {
  if (const auto* failure = std::get_if<DeviceOpenFailure>(&error.failure)) {
    *out << "open error " << failure->errorNumber << " on \"" << failure->device << "\"";
  } else {
    *out << "open error";
  }
}

void PrintTo(const GpsEvent& event, std::ostream* out) {
  std::visit([out](const auto& alternative) { PrintTo(alternative, out); }, event);
}

namespace {

using testing_support::DeviceLink;
using testing_support::FakeUiThread;
using testing_support::PseudoTerminal;
using testing_support::kPatience;
using Clock = std::chrono::steady_clock;

const std::string kGgaMunich = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
const std::string kGgaSydney = "$GNGGA,123519.00,3351.250,S,15112.500,W,1,08,0.9,545.4,M,46.9,M,,*7A\r\n";
const std::string kRmc84 = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
const std::string kRmc200 = "$GNRMC,123519.00,A,4807.038,N,01131.000,E,022.4,199.7,230394,003.1,W*54\r\n";
const std::string kRmcVoid = "$GPRMC,,V,,,,,,,,,,N*53\r\n";
const std::string kRmcNoCourse = "$GNRMC,012413.00,A,4327.6782,N,07238.9898,W,4.403,,280220,,,A,V*0D\r\n";

const Position kMunich{{48, 7, 2, kNorth}, {11, 31, 0, kEast}};
const Position kSydney{{33, 51, 15, kSouth}, {151, 12, 30, kWest}};

GpsEvent Fix(const Position& position, std::int32_t headingDeg, HeadingSource source = HeadingSource::kInitial) {
  return GpsFix{position, headingDeg, source};
}
constexpr HeadingSource kCourse = HeadingSource::kCourse;

PortMap MapGpsTo(const std::string& device) {
  PortMap ports;
  ports.serial[0] = device;
  return ports;
}

class GpsReaderTest : public testing::Test {
 protected:
  void TearDown() override { reader.Stop(); }

  // Starts the reader on COM1 mapped to `device` and waits until it holds it.
  void StartOn(const std::string& device, std::int32_t initialCourseDeg = 0) {
    reader.Start(1, MapGpsTo(device), initialCourseDeg);
    ASSERT_TRUE(WaitUntil([&](const GpsReaderStats&, bool) { return reader.PortOpen(); }));
  }

  bool WaitUntil(const std::function<bool(const GpsReaderStats&, bool)>& condition) {
    return reader.WaitFor(condition, kPatience);
  }

  bool WaitForBytes(std::uint64_t count) {
    return WaitUntil([&](const GpsReaderStats& s, bool) { return s.bytesRead >= count; });
  }

  GpsReader reader;
  PseudoTerminal receiver;
  std::optional<FakeUiThread> ui{std::in_place, reader};
};

TEST_F(GpsReaderTest, PortIndexZeroStartsNothing) {
  reader.Start(0, MapGpsTo(receiver.DevicePath()), 0);
  EXPECT_FALSE(reader.Running());
  EXPECT_FALSE(reader.PortOpen());
  EXPECT_EQ(reader.Stop(), kGpsReaderNoPort);
  EXPECT_EQ(reader.Stats().openAttempts, 0u);
  EXPECT_EQ(ui->Notifications(), 0u);
  EXPECT_EQ(receiver.OpenCountOfDevice(), 1);  // only the test's own descriptor
}

struct OpenFailureCase {
  const char* name;
  int gpsPort;
  std::string device;
  int errorNumber;
};
void PrintTo(const OpenFailureCase& row, std::ostream* out) { *out << row.name; }

class GpsReaderOpenFailureTest : public GpsReaderTest, public testing::WithParamInterface<OpenFailureCase> {};

TEST_P(GpsReaderOpenFailureTest, NamesTheDeviceThenEndsWithZero) {
  const OpenFailureCase& c = GetParam();
  reader.Start(c.gpsPort, MapGpsTo(c.device), 0);
  ASSERT_TRUE(ui->WaitForEvents(1));
  const std::vector<GpsEvent> expected{GpsOpenError{DeviceOpenFailure{DeviceKind::kSerial, c.device, c.errorNumber}}};
  EXPECT_EQ(ui->Events(), expected);
  // Once the message has been dealt with, the reader ends by itself.
  EXPECT_TRUE(WaitUntil([](const GpsReaderStats&, bool running) { return !running; }));
  EXPECT_FALSE(reader.PortOpen());
  EXPECT_EQ(reader.Stop(), kGpsReaderNoPort);
  EXPECT_EQ(ui->Events().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Devices, GpsReaderOpenFailureTest,
                         testing::Values(OpenFailureCase{"Missing", 1, "/nonexistent/ttyGPS", ENOENT},
                                         OpenFailureCase{"Directory", 1, "/", EISDIR},
                                         OpenFailureCase{"NegativeIndexNamesNoDevice", -1, "", ENODEV}),
                         [](const testing::TestParamInfo<OpenFailureCase>& row) { return std::string(row.param.name); });

TEST_F(GpsReaderTest, StopWhileOpenFailureMessageIsUp) {
  ui.reset();
  FakeUiThread silent(reader, /*serving=*/false);
  reader.Start(1, MapGpsTo("/nonexistent/ttyGPS"), 0);
  ASSERT_TRUE(silent.WaitForNotifications(1));
  EXPECT_EQ(reader.Stop(), kGpsReaderNoPort);
}

struct LineSpeedCase {
  const char* name;
  int baud;
  speed_t expected;
};
void PrintTo(const LineSpeedCase& row, std::ostream* out) { *out << row.name; }

class GpsReaderLineSettingsTest : public GpsReaderTest, public testing::WithParamInterface<LineSpeedCase> {};

TEST_P(GpsReaderLineSettingsTest, Raw8N1WithoutFlowControl) {
  PortMap ports = MapGpsTo(receiver.DevicePath());
  ports.gpsBaud = GetParam().baud;
  reader.Start(1, ports, 0);
  ASSERT_TRUE(WaitUntil([&](const GpsReaderStats&, bool) { return reader.PortOpen(); }));
  const termios settings = receiver.DeviceSettings();
  EXPECT_EQ(cfgetispeed(&settings), GetParam().expected);
  EXPECT_EQ(cfgetospeed(&settings), GetParam().expected);
  EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
  EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u);
}

INSTANTIATE_TEST_SUITE_P(Speeds, GpsReaderLineSettingsTest,
                         testing::Values(LineSpeedCase{"Default4800", 4800, B4800},
                                         LineSpeedCase{"Configured9600", 9600, B9600},
                                         LineSpeedCase{"UnsupportedFallsBackTo4800", 12345, B4800},
                                         LineSpeedCase{"ZeroFallsBackTo4800", 0, B4800}),
                         [](const testing::TestParamInfo<LineSpeedCase>& row) { return std::string(row.param.name); });

TEST_F(GpsReaderTest, TwoSentencesInOneWriteDecodedInOrder) {
  StartOn(receiver.DevicePath());
  ASSERT_TRUE(receiver.Send(kGgaMunich + kGgaSydney));
  ASSERT_TRUE(WaitUntil([](const GpsReaderStats& s, bool) { return s.fixesPosted == 2; }));
  // The UI thread may have taken only the later one: it is the last served.
  ASSERT_TRUE(ui->WaitForEvents(1));
  EXPECT_TRUE(WaitUntil([&](const GpsReaderStats&, bool) { return ui->Events().back() == Fix(kSydney, 0); }));
}

// What the window's status line reads: the port open, the last sentence and
// the last position, and a call when data comes after a silence; nothing
// more for the sentences that follow.
TEST_F(GpsReaderTest, ActivityTellsDataFromPositions) {
  const auto started = Clock::now();
  StartOn(receiver.DevicePath());
  ASSERT_TRUE(ui->WaitForNotifications(1));  // the port opened
  GpsActivity activity = reader.Activity();
  EXPECT_TRUE(activity.linkOpen);
  EXPECT_FALSE(activity.lastDataAt);
  ASSERT_TRUE(receiver.Send(kRmcVoid));
  ASSERT_TRUE(ui->WaitForNotifications(2));
  activity = reader.Activity();
  ASSERT_TRUE(activity.lastDataAt);
  EXPECT_GE(*activity.lastDataAt, started);
  EXPECT_FALSE(activity.lastPositionAt);
  ASSERT_TRUE(receiver.Send(kRmcVoid + kRmcVoid));
  ASSERT_TRUE(WaitUntil([](const GpsReaderStats& s, bool) { return s.lines == 3; }));
  EXPECT_EQ(ui->Notifications(), 2u);
  ASSERT_TRUE(receiver.Send(kGgaMunich));
  ASSERT_TRUE(ui->WaitForEvents(1));
  activity = reader.Activity();
  ASSERT_TRUE(activity.lastPositionAt);
  EXPECT_GE(*activity.lastPositionAt, *activity.lastDataAt);
  EXPECT_EQ(ui->Notifications(), 3u);
}

TEST_F(GpsReaderTest, SplitSentenceSurvivesAnEmptyWakeUp) {
  StartOn(receiver.DevicePath());
  const std::size_t half = 31;
  ASSERT_TRUE(receiver.Send(kGgaMunich.substr(0, half)));
  ASSERT_TRUE(WaitForBytes(half));
  // A wake-up with nothing to read must keep the unfinished line.
  const std::uint64_t wakeups = reader.Stats().wakeups;
  reader.Nudge();
  ASSERT_TRUE(WaitUntil([&](const GpsReaderStats& s, bool) { return s.wakeups > wakeups; }));
  EXPECT_EQ(ui->Notifications(), 1u);  // the port opening only
  ASSERT_TRUE(receiver.Send(kGgaMunich.substr(half)));
  ASSERT_TRUE(ui->WaitForEvents(1));
  EXPECT_EQ(ui->Events(), std::vector<GpsEvent>{Fix(kMunich, 0)});
}

TEST_F(GpsReaderTest, JunkAfterLastLineFeedIsDropped) {
  StartOn(receiver.DevicePath());
  const std::string first = kGgaMunich + "noise";
  ASSERT_TRUE(receiver.Send(first));
  ASSERT_TRUE(WaitForBytes(first.size()));
  ASSERT_TRUE(ui->WaitForEvents(1));
  // Had the junk been kept, it would prefix the next sentence and spoil it.
  ASSERT_TRUE(receiver.Send(kGgaSydney));
  ASSERT_TRUE(ui->WaitForEvents(2));
  EXPECT_EQ(ui->Events(), (std::vector<GpsEvent>{Fix(kMunich, 0), Fix(kSydney, 0)}));
}

TEST_F(GpsReaderTest, PositionsCarryTheHeldCourse) {
  StartOn(receiver.DevicePath(), /*initialCourseDeg=*/123);
  // Before any RMC: the heading given at start. Then the RMC course, kept
  // across a void RMC, an RMC without course and later reads.
  ASSERT_TRUE(receiver.Send(kGgaMunich));
  ASSERT_TRUE(ui->WaitForEvents(1));
  ASSERT_TRUE(receiver.Send(kRmc84 + kGgaSydney));
  ASSERT_TRUE(ui->WaitForEvents(2));
  ASSERT_TRUE(receiver.Send(kRmcVoid + kRmcNoCourse + kGgaMunich));
  ASSERT_TRUE(ui->WaitForEvents(3));
  ASSERT_TRUE(receiver.Send(kRmc200));
  ASSERT_TRUE(receiver.Send(kGgaSydney));
  ASSERT_TRUE(ui->WaitForEvents(4));
  EXPECT_EQ(ui->Events(), (std::vector<GpsEvent>{Fix(kMunich, 123), Fix(kSydney, 84, kCourse),
                                                  Fix(kMunich, 84, kCourse), Fix(kSydney, 200, kCourse)}));
}

TEST_F(GpsReaderTest, GpsUseOffIgnoresPositionsButTracksCourse) {
  reader.SetGpsUse(false);
  StartOn(receiver.DevicePath());
  ASSERT_TRUE(receiver.Send(kGgaMunich + kRmc200 + kGgaSydney));
  ASSERT_TRUE(WaitUntil([](const GpsReaderStats& s, bool) { return s.lines >= 3; }));
  EXPECT_EQ(reader.Stats().fixesPosted, 0u);
  reader.SetGpsUse(true);
  ASSERT_TRUE(receiver.Send(kGgaMunich));
  ASSERT_TRUE(ui->WaitForEvents(1));
  EXPECT_EQ(ui->Events(), std::vector<GpsEvent>{Fix(kMunich, 200, kCourse)});
}

TEST_F(GpsReaderTest, StopEndsAtOnceWithMinusOneAndClosesThePort) {
  StartOn(receiver.DevicePath());
  EXPECT_EQ(receiver.OpenCountOfDevice(), 2);
  ASSERT_TRUE(receiver.Send("$GPGGA,123519,48"));  // no line feed will come
  ASSERT_TRUE(WaitForBytes(16));
  const auto before = Clock::now();
  EXPECT_EQ(reader.Stop(), kGpsReaderStopped);
  EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(500));
  EXPECT_FALSE(reader.PortOpen());
  EXPECT_FALSE(reader.Running());
  EXPECT_EQ(receiver.OpenCountOfDevice(), 1);
}

// A UI thread that does not serve (a box waiting for OK) never holds the
// reader up: it reads on, its fixes replacing the one not taken yet, and
// stops at once.
TEST_F(GpsReaderTest, NobodyServingNeverHoldsTheReaderUp) {
  ui.reset();
  FakeUiThread silent(reader, /*serving=*/false);
  StartOn(receiver.DevicePath());
  std::uint64_t sent = 0;
  for (const std::string& sentence : {kGgaMunich, kRmc84, kGgaSydney}) {
    ASSERT_TRUE(receiver.Send(sentence));
    sent += sentence.size();
    ASSERT_TRUE(WaitForBytes(sent));
  }
  // The second position waits for the course of its time, at most 200 ms.
  ASSERT_TRUE(WaitUntil([](const GpsReaderStats& s, bool) { return s.fixesPosted == 2; }));
  const auto before = Clock::now();
  EXPECT_EQ(reader.Stop(), kGpsReaderStopped);
  EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(500));
  EXPECT_FALSE(reader.PortOpen());
  // The port opening, the first data, then the first fix; the second
  // replaced it.
  EXPECT_EQ(silent.Notifications(), 3u);
}

TEST_F(GpsReaderTest, StopFromInsideTheHandler) {
  // A modal box runs a nested event loop: the window can be closed while
  // the handler for a hand-off is still running.
  std::optional<int> exitValue;
  ui->SetExtraHandler([&](const GpsEvent&) { exitValue = reader.Stop(); });
  StartOn(receiver.DevicePath());
  ASSERT_TRUE(receiver.Send(kGgaMunich));
  ASSERT_TRUE(ui->WaitForEvents(1));
  ASSERT_TRUE(WaitUntil([](const GpsReaderStats&, bool running) { return !running; }));
  ui.reset();  // joins the UI thread, so exitValue is set and visible
  EXPECT_EQ(exitValue, kGpsReaderStopped);
  EXPECT_FALSE(reader.PortOpen());
}

TEST_F(GpsReaderTest, RestartOnTheSameDevice) {
  StartOn(receiver.DevicePath());
  ASSERT_TRUE(receiver.Send(kRmc84 + kGgaMunich));
  ASSERT_TRUE(ui->WaitForEvents(1));
  // Accepting the configuration: stop, then start a reader on the same port
  // with the current heading.
  EXPECT_EQ(reader.Stop(), kGpsReaderStopped);
  StartOn(receiver.DevicePath(), 84);
  EXPECT_EQ(receiver.OpenCountOfDevice(), 2);
  ASSERT_TRUE(receiver.Send(kGgaSydney));
  ASSERT_TRUE(ui->WaitForEvents(2));
  EXPECT_EQ(ui->Events(), (std::vector<GpsEvent>{Fix(kMunich, 84, kCourse), Fix(kSydney, 84)}));
}

TEST_F(GpsReaderTest, APositionGoesWithTheCourseOfItsOwnTime) {
  const auto rmc = [](const char* time, const char* course) {
    return std::string("$GPRMC,") + time + ",A,4807.038,N,01131.000,E,022.4," + course + ",230394,,\r\n";
  };
  const auto gga = [](const char* time) {
    return std::string("$GPGGA,") + time + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,\r\n";
  };
  StartOn(receiver.DevicePath());
  ASSERT_TRUE(receiver.Send(rmc("120000", "10.0") + gga("120000")));
  ASSERT_TRUE(ui->WaitForEvents(1));
  // GGA before RMC, as SiRF receivers send them: the position waits for its
  // own course instead of going out with the last second's.
  ASSERT_TRUE(receiver.Send(gga("120001") + rmc("120001", "20.0")));
  ASSERT_TRUE(ui->WaitForEvents(2));
  // A position whose RMC never comes goes out all the same once its wait is
  // over, nothing else arriving meanwhile.
  ASSERT_TRUE(receiver.Send(gga("120002")));
  ASSERT_TRUE(ui->WaitForEvents(3));
  EXPECT_EQ(ui->Events(), (std::vector<GpsEvent>{Fix(kMunich, 10, kCourse), Fix(kMunich, 20, kCourse),
                                                  Fix(kMunich, 20, kCourse)}));
}

TEST_F(GpsReaderTest, UnpluggedReceiverIsReopenedWithoutBusyLoop) {
  DeviceLink link;
  link.PointAt(receiver.DevicePath());
  StartOn(link.Path(), 0);
  ASSERT_TRUE(receiver.Send(kRmc84 + kGgaMunich));
  ASSERT_TRUE(ui->WaitForEvents(1));

  receiver.Unplug();
  link.Remove();
  ASSERT_TRUE(WaitUntil([&](const GpsReaderStats& s, bool) { return s.deviceLosses == 1 && !reader.PortOpen(); }));
  const GpsReaderStats lost = reader.Stats();
  const auto lostAt = Clock::now();
  // Two failed tries later the reader must still be calm: about one wake-up
  // a try, and the tries spaced out.
  ASSERT_TRUE(WaitUntil([&](const GpsReaderStats& s, bool) { return s.openAttempts >= lost.openAttempts + 2; }));
  const GpsReaderStats waiting = reader.Stats();
  EXPECT_GE(Clock::now() - lostAt, std::chrono::milliseconds(1500));
  EXPECT_LE(waiting.wakeups - lost.wakeups, 3u);

  PseudoTerminal pluggedBack;
  ASSERT_TRUE(pluggedBack.Send(kGgaSydney));
  link.PointAt(pluggedBack.DevicePath());
  ASSERT_TRUE(ui->WaitForEvents(2));
  // No message for the failed tries; the course survives the unplugging.
  EXPECT_EQ(ui->Events(), (std::vector<GpsEvent>{Fix(kMunich, 84, kCourse), Fix(kSydney, 84, kCourse)}));
  EXPECT_TRUE(reader.PortOpen());

  const auto before = Clock::now();
  EXPECT_EQ(reader.Stop(), kGpsReaderStopped);
  EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(500));
}

TEST_F(GpsReaderTest, StopWhileWaitingForTheDeviceToComeBack) {
  DeviceLink link;
  link.PointAt(receiver.DevicePath());
  StartOn(link.Path(), 0);
  receiver.Unplug();
  link.Remove();
  ASSERT_TRUE(WaitUntil([&](const GpsReaderStats& s, bool) { return s.deviceLosses == 1; }));
  const auto before = Clock::now();
  EXPECT_EQ(reader.Stop(), kGpsReaderStopped);
  EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(500));
  EXPECT_FALSE(reader.PortOpen());
}

}  // namespace
}  // namespace quarbe
