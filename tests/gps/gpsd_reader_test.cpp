// The gpsd client against a real gpsd fed by gpsfake: the recorded drives
// give the fixes the serial path gives (parked and heading-sensor stretches
// included), which heading sentences gpsd passes on, gpsd absent at start-up
// is reported once, and gpsd killed and restarted mid-drive is followed again.
// Against a gpsd of the test's own that floods reports, and an address whose
// connection hangs: the reader stops, or is let go, all the same.
#include "gps/gpsd_reader.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gps/gps_reader.h"
#include "gps/line_framer.h"
#include "gps/nmea_decoder.h"
#include "reader_fixture.h"
#include "support/daemons.h"
#include "support/scratch_dir.h"
#include "tests/e2e/drive_expectation.h"
#include "ui/operator_texts.h"

namespace quarbe {
namespace {

using testing_support::BlackholeListener;
using testing_support::FakeUiThread;
using testing_support::FreeLoopbackPort;
using testing_support::ScratchDir;
using testing_support::StartGpsfake;

// One sentence every 5 ms: a drive of 466 s replays in under 5 s.
constexpr double kFastCycleSeconds = 0.005;
constexpr std::chrono::seconds kPatience{20};

std::string DrivePath(const std::string& name) { return std::string(QUARBE_DRIVES_DIR) + "/" + name; }

std::vector<GpsFix> Collapsed(const std::vector<GpsFix>& fixes) {
  std::vector<GpsFix> out;
  for (const GpsFix& fix : fixes) {
    if (out.empty() || !(out.back() == fix)) out.push_back(fix);
  }
  return out;
}

// What the serial reader hands on for a log.
std::vector<GpsFix> SerialFixes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return e2e::ReceivedFixes(text.str(), 0);
}

std::vector<GpsFix> FixesOf(const std::vector<GpsEvent>& events) {
  std::vector<GpsFix> fixes;
  for (const GpsEvent& event : events) {
    if (const auto* fix = std::get_if<GpsFix>(&event)) fixes.push_back(*fix);
  }
  return fixes;
}

// Waits for the first fix, then until none has come for a second (the
// replay is over).
void WaitForQuiet(GpsdReader& reader) {
  reader.WaitFor([](const GpsdReaderStats& s) { return s.fixesPosted > 0; }, kPatience);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (;;) {
    const std::uint64_t seen = reader.Stats().fixesPosted;
    const bool more =
        reader.WaitFor([&](const GpsdReaderStats& s) { return s.fixesPosted != seen; }, std::chrono::seconds(1));
    if (!more || std::chrono::steady_clock::now() > deadline) return;
  }
}

// The fixes the reader hands on for a log gpsfake plays to a real gpsd, a
// sentence every `cycleSeconds`; nothing if gpsfake did not start.
std::optional<std::vector<GpsFix>> FixesThroughGpsd(const std::string& path, double cycleSeconds,
                                                    ScratchDir& scratch) {
  const int port = FreeLoopbackPort();
  const auto gpsfake = StartGpsfake(path, port, cycleSeconds, scratch.File("gpsfake.log"));
  if (!gpsfake) return std::nullopt;
  GpsdReader reader;
  FakeUiThread ui(reader);
  reader.Start(GpsdAddress{"127.0.0.1", std::to_string(port)}, 0);
  WaitForQuiet(reader);
  reader.Stop();
  return FixesOf(ui.Events());
}

class GpsdDriveTest : public testing::TestWithParam<const char*> {};

TEST_P(GpsdDriveTest, GivesTheFixesOfTheSerialPath) {
  ScratchDir scratch;
  const std::optional<std::vector<GpsFix>> fixes = FixesThroughGpsd(DrivePath(GetParam()), kFastCycleSeconds, scratch);
  ASSERT_TRUE(fixes) << "gpsfake did not start";

  // gpsd reports a fix after each RMC and GGA of a cycle until it has
  // learnt the cycle's end, and misses the sentences it hunts the device
  // with: collapsed, its fixes are one unbroken stretch of the serial path's.
  // Its first report may come from a lone GGA, without the course of the RMC
  // it missed; from the first fix with a course on they match.
  const std::vector<GpsFix> expected = Collapsed(SerialFixes(DrivePath(GetParam())));
  std::vector<GpsFix> got = Collapsed(*fixes);
  const auto known = std::find_if(got.begin(), got.end(), [&](const GpsFix& fix) {
    return std::find(expected.begin(), expected.end(), fix) != expected.end();
  });
  ASSERT_LE(known - got.begin(), 2) << "the first fixes through gpsd are not the drive's";
  got.erase(got.begin(), known);
  ASSERT_GE(got.size(), expected.size() * 3 / 4) << "too few fixes through gpsd";
  const auto offset = static_cast<std::size_t>(std::find(expected.begin(), expected.end(), got.front()) -
                                               expected.begin());
  ASSERT_LE(offset + got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i], expected[offset + i]) << "fix " << i << " through gpsd";
  }
  // The stretch covers the stop (course held) and the gap without a fix.
  EXPECT_EQ(expected.size() - offset - got.size(), 0u) << "the end of the drive is missing";
}

INSTANTIATE_TEST_SUITE_P(Drives, GpsdDriveTest, testing::Values("drive-jn18ap-gn.nmea", "drive-jn18ap-gp.nmea"));

TEST(GpsdReader, HostNameThatDoesNotResolveSaysWhy) {
  GpsdReader reader;
  FakeUiThread ui(reader);
  reader.Start(GpsdAddress{"no-such-host.invalid", "2947"}, 0);
  ASSERT_TRUE(ui.WaitForEvents(1));
  const std::vector<GpsEvent> events = ui.Events();
  const auto* error = std::get_if<GpsOpenError>(&events.front());
  ASSERT_NE(error, nullptr);
  const auto* unreachable = std::get_if<GpsdUnreachable>(&error->failure);
  ASSERT_NE(unreachable, nullptr);
  EXPECT_EQ(unreachable->cause, GpsdUnreachable::Cause::kUnknownHost);
  // Unknown, or not resolvable while this machine has no name server.
  const std::string text = Word(*error).text;
  const std::string address = "Impossible de joindre gpsd sur no-such-host.invalid:2947 : ";
  EXPECT_TRUE(text == address + "nom d'hôte inconnu" ||
              text.starts_with(address + "résolution du nom impossible pour le moment"))
      << text;
}

std::string Sentence(const std::string& body) {
  unsigned sum = 0;
  for (const char c : body) sum ^= static_cast<unsigned char>(c);
  char checksum[4];
  std::snprintf(checksum, sizeof checksum, "*%02X", sum);
  return "$" + body + checksum + "\r\n";
}

// The sensor headings among the fixes, each value once.
std::set<std::int32_t> SensorHeadings(const std::vector<GpsFix>& fixes) {
  std::set<std::int32_t> headings;
  for (const GpsFix& fix : fixes) {
    if (fix.headingSource == HeadingSource::kSensor) headings.insert(fix.headingDeg);
  }
  return headings;
}

// gpsd 3.22 passes HDT on as an ATT report only from some talkers (GP, GN, HC,
// IN, ... but not HE or HN, the gyro compasses' own), and THS and HDG not at
// all; over a serial line every one of them is read. The README says so.
TEST(GpsdReader, HeadingSentencesGpsdPassesOn) {
  std::string log;
  int second = 0;
  const auto cycle = [&](const std::string& heading) {
    char time[32];
    std::snprintf(time, sizeof time, "12%02d%02d.00", second / 60 % 60, second % 60);
    ++second;
    log += Sentence(std::string("GPRMC,") + time + ",A,4807.03800,N,01131.00000,E,10.0,45.0,230394,,,A");
    log += Sentence(std::string("GPGGA,") + time + ",4807.03800,N,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,");
    if (!heading.empty()) log += Sentence(heading);
  };
  for (int i = 0; i < 20; ++i) cycle("");  // gpsd takes the device and learns the cycle
  for (const char* heading : {"HEHDT,101.0,T", "HNHDT,102.0,T", "GPTHS,103.0,A", "INTHS,104.0,E",
                              "HCHDG,105.0,0.0,E,2.0,E", "GPHDT,110.0,T", "GNHDT,111.0,T", "HCHDT,112.0,T"}) {
    for (int i = 0; i < 6; ++i) cycle(heading);
  }
  ScratchDir scratch;
  const std::string path = scratch.File("headings.nmea");
  std::ofstream(path, std::ios::binary) << log;

  EXPECT_EQ(SensorHeadings(e2e::ReceivedFixes(log, 0)), (std::set<std::int32_t>{101, 102, 103, 104, 107, 110, 111, 112}));

  const std::optional<std::vector<GpsFix>> fixes = FixesThroughGpsd(path, 0.02, scratch);
  ASSERT_TRUE(fixes) << "gpsfake did not start";
  EXPECT_EQ(SensorHeadings(*fixes), (std::set<std::int32_t>{110, 111, 112}));
}

TEST(GpsdReader, AbsentAtStartReportedOnceThenFollowsAndSurvivesARestart) {
  ScratchDir scratch;
  const int port = FreeLoopbackPort();
  GpsdReader reader;
  FakeUiThread ui(reader);
  reader.Start(GpsdAddress{"127.0.0.1", std::to_string(port)}, 0);
  ASSERT_TRUE(ui.WaitForEvents(1));
  const std::vector<GpsEvent> first = ui.Events();
  const auto* error = std::get_if<GpsOpenError>(&first.front());
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(Word(*error).text, "Impossible de joindre gpsd sur 127.0.0.1:" + std::to_string(port) + " : connexion refusée");

  auto gpsfake = StartGpsfake(DrivePath("drive-jn18ap-gn.nmea"), port, 0.02, scratch.File("gpsfake1.log"));
  ASSERT_TRUE(gpsfake);
  ASSERT_TRUE(reader.WaitFor([](const GpsdReaderStats& s) { return s.fixesPosted >= 20; }, kPatience));
  gpsfake->Kill();
  ASSERT_TRUE(reader.WaitFor([](const GpsdReaderStats& s) { return s.connectionLosses == 1; }, kPatience));
  EXPECT_FALSE(reader.PortOpen());
  const std::uint64_t before = reader.Stats().fixesPosted;

  gpsfake = StartGpsfake(DrivePath("drive-jn18ap-gn.nmea"), port, 0.02, scratch.File("gpsfake2.log"));
  ASSERT_TRUE(gpsfake);
  EXPECT_TRUE(reader.WaitFor([&](const GpsdReaderStats& s) { return s.fixesPosted >= before + 20; }, kPatience));
  EXPECT_TRUE(reader.PortOpen());
  const std::vector<GpsEvent> events = ui.Events();
  EXPECT_EQ(std::count_if(events.begin(), events.end(),
                          [](const GpsEvent& e) { return std::holds_alternative<GpsOpenError>(e); }),
            1);
  EXPECT_EQ(reader.Stop(), -1);
  EXPECT_FALSE(reader.Running());
}

// A gpsd of the test's own: to its first client it sends one report over
// and over, as fast as the connection takes them, until Stop().
class FloodingGpsd {
 public:
  explicit FloodingGpsd(const std::string& report) {
    const testing_support::Listener listener = testing_support::ListenOnLoopback(1);
    listener_ = listener.fd;
    if (listener_ < 0) return;
    port_ = listener.port;
    std::string burst;
    while (burst.size() < 256 * 1024) burst += report;
    thread_ = std::thread([this, burst = std::move(burst)] { Flood(burst); });
  }
  ~FloodingGpsd() {
    Stop();
    if (listener_ >= 0) close(listener_);
  }

  int Port() const { return port_; }
  void Stop() {
    quit_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  void Flood(const std::string& burst) {
    pollfd waiting{listener_, POLLIN, 0};
    while (!quit_ && poll(&waiting, 1, 100) == 0) {
    }
    if (quit_) return;
    const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return;
    // Sends give up now and then, so that Stop() is seen.
    const timeval patience{0, 100000};
    setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
    // Whole reports only: each send goes on where the last one stopped.
    std::size_t at = 0;
    while (!quit_) {
      const ssize_t sent = send(client, burst.data() + at, burst.size() - at, MSG_NOSIGNAL);
      if (sent > 0) {
        at = (at + static_cast<std::size_t>(sent)) % burst.size();
      } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        break;  // the client went away
      }
    }
    close(client);
  }

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> quit_{false};
  std::thread thread_;
};

struct FloodCase {
  const char* name;
  const char* report;
  bool gpsUse;
};
void PrintTo(const FloodCase& row, std::ostream* out) { *out << row.name; }

class GpsdFloodTest : public testing::TestWithParam<FloodCase> {};

TEST_P(GpsdFloodTest, StopsWhileReportsPourIn) {
  FloodingGpsd gpsd(GetParam().report);
  ASSERT_GT(gpsd.Port(), 0);
  GpsdReader reader;
  FakeUiThread ui(reader);
  reader.SetGpsUse(GetParam().gpsUse);
  reader.Start(GpsdAddress{"127.0.0.1", std::to_string(gpsd.Port())}, 0);
  ASSERT_TRUE(reader.WaitFor([](const GpsdReaderStats& s) { return s.reports >= 2000; }, kPatience));

  // Stopped on a thread of its own: a reader that never looks at its stop
  // flag fails the test instead of hanging it, and ending the flood then
  // lets it end.
  std::promise<int> exit;
  std::future<int> stopped = exit.get_future();
  std::thread stopper([&] { exit.set_value(reader.Stop()); });
  const bool inTime = stopped.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  gpsd.Stop();
  stopper.join();
  EXPECT_TRUE(inTime) << "the reader went on reading the flood for more than 5 s after the stop";
  EXPECT_EQ(stopped.get(), kGpsReaderStopped);
  EXPECT_EQ(reader.Stats().fixesPosted, 0u);
  EXPECT_TRUE(ui.Events().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Floods, GpsdFloodTest,
    testing::Values(FloodCase{"ReportsWithoutAFix", "{\"class\":\"TPV\",\"device\":\"/dev/ttyUSB0\",\"mode\":1}\n", true},
                    FloodCase{"FixesWithGpsUseOff",
                              "{\"class\":\"TPV\",\"device\":\"/dev/ttyUSB0\",\"mode\":3,"
                              "\"lat\":48.1173,\"lon\":11.516667,\"track\":84.4}\n",
                              false}),
    [](const testing::TestParamInfo<FloodCase>& row) { return std::string(row.param.name); });

// Nothing wakes libgps while it connects to a host that drops packets: the
// reader is let go at once, ends by itself once the connection fails, and
// reports nothing.
TEST(GpsdReader, LetGoWhileConnectingEndsByItselfAndReportsNothing) {
  BlackholeListener blackhole;
  ASSERT_GT(blackhole.Port(), 0);
  auto reader = std::make_unique<GpsdReader>();
  // Shared with the reader's thread, which may outlive this test if it fails.
  auto notified = std::make_shared<std::atomic<int>>(0);
  reader->SetNotifier([notified] { ++*notified; });
  reader->Start(GpsdAddress{"127.0.0.1", std::to_string(blackhole.Port())}, 0);
  ASSERT_TRUE(reader->WaitFor([](const GpsdReaderStats& s) { return s.connectAttempts >= 1; }, kPatience));
  EXPECT_FALSE(reader->RequestStop());
  ReaderThreadCore::Release(std::move(reader));
  EXPECT_EQ(ReaderThreadCore::ReleasedStillRunning(), 1);

  blackhole.Close();  // refused at the next try
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (ReaderThreadCore::ReleasedStillRunning() > 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(ReaderThreadCore::ReleasedStillRunning(), 0);
  EXPECT_EQ(notified->load(), 0);
}

}  // namespace
}  // namespace quarbe
